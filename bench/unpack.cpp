// SPDX-License-Identifier: GPL-3.0-or-later
// Unpacking: our zip extraction against libarchive's bsdtar on the same archive, and our
// LZMA package reader against xz on the same stream (the package turned into a .lzma
// file by widening its size field). The payload is about 50 MB of mesh-like binary data.
// The peers run as subprocesses, so times are wall-clock; both sides write the file.
#include <benchmark/benchmark.h>

#include <minizip/zip.h>
#include <zlib.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>
#include <vector>

#include "core/model/QvCompress.h"
#include "core/model/QvZipArchive.h"

namespace {

namespace fs = std::filesystem;

constexpr std::size_t kPayloadBytes = 50u << 20;

struct Fixture
{
    fs::path dir;
    std::string payload;
    std::string zip;
    std::string package;
    std::string alone;
    bool bsdtar = false;
    bool xz = false;

    Fixture()
    {
        dir = fs::temp_directory_path() / ("rivela_bench_unpack_" + std::to_string(::getpid()));
        fs::create_directories(dir / "out");
        payload = (dir / "model.bin").string();
        zip = (dir / "model.zip").string();
        package = (dir / "model.pkg").string();
        alone = (dir / "model.lzma").string();
        WritePayload();
        WriteZip();
        if (QvCompress::Compress(payload, package) != 0)
            std::fprintf(stderr, "packing failed\n");
        WriteAlone();
        bsdtar = std::system("command -v bsdtar >/dev/null 2>&1") == 0;
        xz = std::system("command -v xz >/dev/null 2>&1") == 0;
        std::fprintf(stderr, "payload %zu bytes, zip %ju bytes, package %ju bytes\n", kPayloadBytes,
                     static_cast<std::uintmax_t>(fs::file_size(zip)), static_cast<std::uintmax_t>(fs::file_size(package)));
    }
    ~Fixture()
    {
        std::error_code ec;
        fs::remove_all(dir, ec);
    }

    // Vertices of a wavy surface as float triples, then triangle indices: compressible
    // the way a mesh is, not like text.
    void WritePayload() const
    {
        std::string bytes;
        bytes.reserve(kPayloadBytes);
        std::uint64_t state = 12345;
        const int side = 1024;
        for (int i = 0; bytes.size() < kPayloadBytes / 2; ++i)
        {
            const float x = static_cast<float>(i % side) * 0.05f;
            const float y = static_cast<float>(i / side) * 0.05f;
            state = state * 6364136223846793005ull + 1442695040888963407ull;
            const float z = 3.0f * std::sin(x * 0.3f) * std::cos(y * 0.2f) + static_cast<float>(state >> 40) * 1e-9f;
            for (const float v : {x, y, z})
                bytes.append(reinterpret_cast<const char*>(&v), 4);
        }
        for (std::int32_t i = 0; bytes.size() < kPayloadBytes; ++i)
        {
            const std::int32_t tri[3] = {i, i + 1, i + side};
            bytes.append(reinterpret_cast<const char*>(tri), 12);
        }
        bytes.resize(kPayloadBytes);
        std::ofstream(payload, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    }

    void WriteZip() const
    {
        std::ifstream in(payload, std::ios::binary);
        std::vector<char> data(kPayloadBytes);
        in.read(data.data(), static_cast<std::streamsize>(data.size()));
        zipFile zf = zipOpen64(zip.c_str(), APPEND_STATUS_CREATE);
        zip_fileinfo info{};
        zipOpenNewFileInZip64(zf, "model.bin", &info, nullptr, 0, nullptr, 0, nullptr, Z_DEFLATED,
                              Z_DEFAULT_COMPRESSION, 0);
        zipWriteInFileInZip(zf, data.data(), static_cast<unsigned>(data.size()));
        zipCloseFileInZip(zf);
        zipClose(zf, nullptr);
    }

    // Properties, 64-bit size, the same stream.
    void WriteAlone() const
    {
        std::ifstream in(package, std::ios::binary);
        std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        if (bytes.size() < 9)
            return;
        std::string out = bytes.substr(0, 9) + std::string(4, '\0') + bytes.substr(9);
        std::ofstream(alone, std::ios::binary).write(out.data(), static_cast<std::streamsize>(out.size()));
    }
};

const Fixture& Data()
{
    static const Fixture fixture;
    return fixture;
}

// Our extraction reports progress on standard output; keep it out of the table.
class QuietStdout
{
public:
    QuietStdout()
    {
        std::fflush(stdout);
        m_saved = ::dup(1);
        const int null = ::open("/dev/null", O_WRONLY);
        ::dup2(null, 1);
        ::close(null);
    }
    ~QuietStdout()
    {
        std::fflush(stdout);
        ::dup2(m_saved, 1);
        ::close(m_saved);
    }

private:
    int m_saved;
};

void BM_Unzip_QvZipArchive(benchmark::State& state)
{
    const Fixture& f = Data();
    const std::string out = (f.dir / "out").string() + "/";
    for (auto _ : state)
    {
        QuietStdout quiet;
        QvZipArchive zip;
        std::vector<std::string> names;
        if (!zip.Unzip(f.zip, out, &names))
            state.SkipWithError("extraction failed");
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kPayloadBytes));
}

void BM_Unzip_Bsdtar(benchmark::State& state)
{
    const Fixture& f = Data();
    if (!f.bsdtar)
    {
        state.SkipWithError("bsdtar is not installed (libarchive-tools)");
        return;
    }
    const std::string command = "bsdtar -xf '" + f.zip + "' -C '" + (f.dir / "out").string() + "'";
    for (auto _ : state)
        if (std::system(command.c_str()) != 0)
            state.SkipWithError("bsdtar failed");
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kPayloadBytes));
}

void BM_Lzma_QvCompress(benchmark::State& state)
{
    const Fixture& f = Data();
    const std::string out = (f.dir / "out/model.bin").string();
    for (auto _ : state)
        if (QvCompress::Decompress(f.package, out) != 0)
            state.SkipWithError("unpacking failed");
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kPayloadBytes));
}

void BM_Lzma_Xz(benchmark::State& state)
{
    const Fixture& f = Data();
    if (!f.xz)
    {
        state.SkipWithError("xz is not installed");
        return;
    }
    const std::string command =
        "xz --format=lzma -dc '" + f.alone + "' > '" + (f.dir / "out/model.bin").string() + "'";
    for (auto _ : state)
        if (std::system(command.c_str()) != 0)
            state.SkipWithError("xz failed");
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kPayloadBytes));
}

BENCHMARK(BM_Unzip_QvZipArchive)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);
BENCHMARK(BM_Unzip_Bsdtar)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);
BENCHMARK(BM_Lzma_QvCompress)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);
BENCHMARK(BM_Lzma_Xz)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);

} // namespace

BENCHMARK_MAIN();
