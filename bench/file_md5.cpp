// SPDX-License-Identifier: GPL-3.0-or-later
// MD5 of a large file (CBCT uploads fingerprint archives of gigabytes): our piecewise
// OpenSSL digest against the md5sum tool and Qt's own hash over the same file.
//
// The file is 512 MiB by default; RIVELA_MD5_BENCH_MIB sets another size (2048 for
// the 2 GiB of a large CBCT archive). It is written once into the temporary folder,
// so later runs read it from the page cache like an archive just downloaded.
#include "bench/BenchMain.h"

#include "app/shell/foundation/Digest.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QRandomGenerator>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

qint64 FileBytes()
{
    const char* mib = std::getenv("RIVELA_MD5_BENCH_MIB");
    const qint64 n = mib ? std::atoll(mib) : 512;
    return (n > 0 ? n : 512) << 20;
}

const QString& BenchFile()
{
    static const QString path = [] {
        const qint64 bytes = FileBytes();
        const QString p = QDir::temp().filePath(QStringLiteral("rivela-md5-bench-%1.bin").arg(bytes));
        if (QFileInfo(p).size() != bytes) {
            QFile f(p);
            if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
                std::abort();
            QByteArray chunk(8 << 20, Qt::Uninitialized);
            QRandomGenerator random(2);
            for (qint64 done = 0; done < bytes; done += chunk.size()) {
                random.fillRange(reinterpret_cast<quint32*>(chunk.data()), chunk.size() / 4);
                f.write(chunk.constData(), std::min<qint64>(chunk.size(), bytes - done));
            }
        }
        return p;
    }();
    return path;
}

void BM_FileMD5_OpenSSL(benchmark::State& state)
{
    const QString path = BenchFile();
    for (auto _ : state) {
        auto digest = foundation::FileMd5Hex(path);
        benchmark::DoNotOptimize(digest);
    }
    state.SetBytesProcessed(state.iterations() * FileBytes());
}

void BM_FileMD5_md5sum(benchmark::State& state)
{
    const std::string command = "md5sum '" + BenchFile().toStdString() + "'";
    for (auto _ : state) {
        FILE* pipe = ::popen(command.c_str(), "r");
        char line[256] = {};
        if (!pipe || !std::fgets(line, sizeof line, pipe))
            state.SkipWithError("md5sum failed");
        if (pipe)
            ::pclose(pipe);
        benchmark::DoNotOptimize(line);
    }
    state.SetBytesProcessed(state.iterations() * FileBytes());
}

void BM_FileMD5_QCryptographicHash(benchmark::State& state)
{
    const QString path = BenchFile();
    for (auto _ : state) {
        QFile f(path);
        f.open(QIODevice::ReadOnly);
        QCryptographicHash hash(QCryptographicHash::Md5);
        hash.addData(&f);
        auto digest = hash.result();
        benchmark::DoNotOptimize(digest);
    }
    state.SetBytesProcessed(state.iterations() * FileBytes());
}

// The digests agree before anything is timed.
void CheckAgreement()
{
    const std::string command = "md5sum '" + BenchFile().toStdString() + "'";
    FILE* pipe = ::popen(command.c_str(), "r");
    char line[256] = {};
    if (!pipe || !std::fgets(line, sizeof line, pipe))
        std::abort();
    ::pclose(pipe);
    const auto ours = foundation::FileMd5Hex(BenchFile());
    if (!ours || std::string(line, 32) != ours->toStdString()) {
        std::fprintf(stderr, "digests differ\n");
        std::abort();
    }
}

} // namespace

BENCHMARK(BM_FileMD5_OpenSSL)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);
BENCHMARK(BM_FileMD5_md5sum)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);
BENCHMARK(BM_FileMD5_QCryptographicHash)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);

int main(int argc, char** argv)
{
    CheckAgreement();
    return benchmain::RunWithKeptHeap(argc, argv);
}
