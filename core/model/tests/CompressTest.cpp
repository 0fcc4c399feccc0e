// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <lzma.h>

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <string>

#include "core/base/QvText.h"
#include "core/model/QvCompress.h"
#include "core/model/QvInputBounds.h"
#include "core/model/tests/ScratchFolder.h"
#include "testing/ByteSweep.h"
#include "testing/PointSets.h"

namespace {

using qvtest::ReadWholeFile;
using qvtest::ScratchFolder;
using qvtest::WriteWholeFile;

// Text-like data: compressible, but not trivially.
std::string Words(std::size_t size, std::uint64_t seed)
{
    static const char* const kWords[] = {"tooth ", "jaw ", "step ", "gum ", "root ", "arch ", "0.25 ", "\n"};
    qvtest::Rng rng(seed);
    std::string s;
    while (s.size() < size)
        s += kWords[rng() % 8];
    s.resize(size);
    return s;
}

std::string Noise(std::size_t size, std::uint64_t seed)
{
    qvtest::Rng rng(seed);
    std::string s(size, '\0');
    for (char& c : s)
        c = static_cast<char>(rng() & 0xff);
    return s;
}

std::int32_t StatedSize(const std::string& package)
{
    std::int32_t size = 0;
    std::memcpy(&size, package.data() + 5, 4);
    return size;
}

void SetStatedSize(std::string& package, std::int32_t size)
{
    std::memcpy(package.data() + 5, &size, 4);
}

std::string Pack(const ScratchFolder& dir, const std::string& data)
{
    EXPECT_TRUE(WriteWholeFile(dir / "plain", data));
    EXPECT_EQ(QvCompress::Compress(dir / "plain", dir / "packed"), 0);
    return ReadWholeFile(dir / "packed");
}

// Decodes a .lzma ("LZMA alone") file with liblzma's own reader of that container.
bool DecodeAlone(const std::string& alone, std::string& out)
{
    lzma_stream strm = LZMA_STREAM_INIT;
    if (lzma_alone_decoder(&strm, UINT64_MAX) != LZMA_OK)
        return false;
    out.assign(1 << 20, '\0');
    std::size_t produced = 0;
    strm.next_in = reinterpret_cast<const std::uint8_t*>(alone.data());
    strm.avail_in = alone.size();
    lzma_ret ret = LZMA_OK;
    while (ret == LZMA_OK)
    {
        if (produced == out.size())
            out.resize(out.size() * 2);
        strm.next_out = reinterpret_cast<std::uint8_t*>(out.data()) + produced;
        strm.avail_out = out.size() - produced;
        ret = lzma_code(&strm, LZMA_FINISH);
        produced = out.size() - strm.avail_out;
    }
    lzma_end(&strm);
    out.resize(produced);
    return ret == LZMA_STREAM_END;
}

TEST(Compress, RoundTripsAndWritesTheStatedLayout)
{
    const std::string cases[] = {"", "x", Words(1000, 1), Words(200000, 2), Noise(150000, 3), std::string(300000, 'z')};
    for (const std::string& data : cases)
    {
        SCOPED_TRACE(data.size());
        ScratchFolder dir;
        const std::string package = Pack(dir, data);
        ASSERT_GE(package.size(), 9u);
        EXPECT_EQ(static_cast<unsigned char>(package[0]), 0x5D); // lc 3, lp 0, pb 2
        EXPECT_EQ(StatedSize(package), static_cast<std::int32_t>(data.size()));
        ASSERT_EQ(QvCompress::Decompress(dir / "packed", dir / "unpacked"), 0);
        EXPECT_TRUE(std::filesystem::is_regular_file(dir / "unpacked"));
        EXPECT_TRUE(ReadWholeFile(dir / "unpacked") == data);

        // The same bytes as a standard .lzma file (64-bit size) decode with another reader:
        // the properties block and the stream are the common LZMA ones.
        std::string alone = package.substr(0, 5);
        const std::uint64_t size64 = data.size();
        alone.append(reinterpret_cast<const char*>(&size64), 8);
        alone += package.substr(9);
        std::string decoded;
        ASSERT_TRUE(DecodeAlone(alone, decoded));
        EXPECT_TRUE(decoded == data);
    }
}

TEST(Compress, UnpacksStreamsThatCarryAnEndMarker)
{
    // Other LZMA writers end the stream with a marker; it is accepted after the stated size.
    const std::string data = Words(50000, 4);
    lzma_options_lzma options;
    ASSERT_FALSE(lzma_lzma_preset(&options, 6));
    lzma_stream strm = LZMA_STREAM_INIT;
    ASSERT_EQ(lzma_alone_encoder(&strm, &options), LZMA_OK);
    std::string alone(data.size() + 4096, '\0');
    strm.next_in = reinterpret_cast<const std::uint8_t*>(data.data());
    strm.avail_in = data.size();
    strm.next_out = reinterpret_cast<std::uint8_t*>(alone.data());
    strm.avail_out = alone.size();
    ASSERT_EQ(lzma_code(&strm, LZMA_FINISH), LZMA_STREAM_END);
    alone.resize(alone.size() - strm.avail_out);
    lzma_end(&strm);

    std::string package = alone.substr(0, 5) + std::string(4, '\0') + alone.substr(13);
    SetStatedSize(package, static_cast<std::int32_t>(data.size()));
    ScratchFolder dir;
    ASSERT_TRUE(WriteWholeFile(dir / "packed", package));
    ASSERT_EQ(QvCompress::Decompress(dir / "packed", dir / "unpacked"), 0);
    EXPECT_TRUE(ReadWholeFile(dir / "unpacked") == data);
}

TEST(Compress, DamagedPackagesFailAndLeaveTheOutputAlone)
{
    const std::string data = Words(20000, 5);
    ScratchFolder dir;
    const std::string good = Pack(dir, data);

    struct Case
    {
        const char* what;
        std::string package;
    } cases[] = {
        {"empty file", ""},
        {"shorter than the header", good.substr(0, 8)},
        {"header only", good.substr(0, 9)},
        {"cut in the stream", good.substr(0, good.size() / 2)},
        {"last byte missing", good.substr(0, good.size() - 1)},
        {"negative size", good},
        {"size one too large", good},
        {"size one too small", good},
        {"size far beyond the stream", good},
        {"bad properties", good},
    };
    SetStatedSize(cases[5].package, -1);
    SetStatedSize(cases[6].package, static_cast<std::int32_t>(data.size() + 1));
    SetStatedSize(cases[7].package, static_cast<std::int32_t>(data.size() - 1));
    SetStatedSize(cases[8].package, 0x7FFFFFFF);
    cases[9].package[0] = static_cast<char>(225);

    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.what);
        ASSERT_TRUE(WriteWholeFile(dir / "damaged", c.package));
        std::filesystem::remove(dir / "fresh");
        ASSERT_TRUE(WriteWholeFile(dir / "old", "old content"));
        testing::internal::CaptureStderr();
        EXPECT_EQ(QvCompress::Decompress(dir / "damaged", dir / "fresh"), -1);
        EXPECT_EQ(QvCompress::Decompress(dir / "damaged", dir / "old"), -1);
        EXPECT_EQ(testing::internal::GetCapturedStderr(), ""); // damage fails without a message
        EXPECT_FALSE(std::filesystem::exists(dir / "fresh"));
        EXPECT_EQ(ReadWholeFile(dir / "old"), "old content");
        EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path()), {}), 4) << "a temporary file was left";
    }
}

TEST(Compress, StatedSizePastTheBoundIsRefusedBeforeWriting)
{
    ScratchFolder dir;
    // 128 KiB of package, as good as incompressible.
    const std::string data = Noise(128 << 10, 7);
    std::string package = Pack(dir, data);
    ASSERT_GE(package.size(), data.size());
    const std::uint64_t bound = QvUnpackLimit(package.size(), kQvUnpackMaxRatio, kQvUnpackFloorBytes);
    ASSERT_LT(bound, 0x7FFFFFFFu);
    for (const std::int64_t stated : {std::int64_t{0x7FFFFFFF}, static_cast<std::int64_t>(bound) + 1})
    {
        SCOPED_TRACE(stated);
        SetStatedSize(package, static_cast<std::int32_t>(stated));
        ASSERT_TRUE(WriteWholeFile(dir / "bomb", package));
        // The target cannot be made: a refusal after opening it would say so.
        testing::internal::CaptureStderr();
        EXPECT_EQ(QvCompress::Decompress(dir / "bomb", dir / "missing/out"), -1);
        EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    }
    // At its own size it unpacks.
    SetStatedSize(package, static_cast<std::int32_t>(data.size()));
    ASSERT_TRUE(WriteWholeFile(dir / "bomb", package));
    EXPECT_EQ(QvCompress::Decompress(dir / "bomb", dir / "out"), 0);
    EXPECT_TRUE(ReadWholeFile(dir / "out") == data);
}

TEST(Compress, MessagesAndUnwritableTargets)
{
    ScratchFolder dir;
    const std::string packed = Pack(dir, Words(3000, 6));
    const std::string missing = dir / "missing";

    testing::internal::CaptureStderr();
    EXPECT_EQ(QvCompress::Decompress(missing, dir / "out"), -1);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Error to Open the file!");
    testing::internal::CaptureStderr();
    EXPECT_EQ(QvCompress::Compress(missing, dir / "out"), -1);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Error to Open the file!");
    EXPECT_FALSE(std::filesystem::exists(dir / "out"));

    // A read-only file keeps its content; a folder in the way and a missing parent folder
    // cannot be written either.
    ASSERT_TRUE(WriteWholeFile(dir / "readonly", "keep me"));
    std::filesystem::permissions(dir / "readonly", std::filesystem::perms::owner_read | std::filesystem::perms::group_read);
    std::filesystem::create_directory(dir / "folder");
    const std::string targets[] = {dir / "readonly", dir / "folder", dir / "no/such/folder/out"};
    for (const std::string& target : targets)
    {
        SCOPED_TRACE(target);
        testing::internal::CaptureStderr();
        EXPECT_EQ(QvCompress::Decompress(dir / "packed", target), -1);
        EXPECT_EQ(testing::internal::GetCapturedStderr(), Gb18030FromUtf8("写入数据出错！"));
        testing::internal::CaptureStderr();
        EXPECT_EQ(QvCompress::Compress(dir / "plain", target), -1);
        EXPECT_EQ(testing::internal::GetCapturedStderr(), Gb18030FromUtf8("创建文件出错!"));
    }
    EXPECT_EQ(ReadWholeFile(dir / "readonly"), "keep me");
    EXPECT_TRUE(std::filesystem::is_directory(dir / "folder"));
    EXPECT_TRUE(std::filesystem::is_empty(dir / "folder"));
}

TEST(Compress, SurvivesTruncationAndByteFlips)
{
    ScratchFolder dir;
    const std::string package = Pack(dir, Words(1500, 7));
    const std::string damaged = dir / "damaged";
    const std::string out = dir / "out";
    testing::internal::CaptureStderr();
    qvtest::ExpectReaderSurvivesDamage(package, [&](std::istream& is) {
        if (!WriteWholeFile(damaged, qvtest::AllOf(is)))
            return false;
        return QvCompress::Decompress(damaged, out) == 0;
    });
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
}

} // namespace
