// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/model/QvCompress.h"

#include <lzma.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <memory>
#include <sys/stat.h>

#include "core/base/QvText.h"
#include "core/geometry/QvTextUtil.h"
#include "core/model/QvInputBounds.h"
#include "core/model/QvReplaceFile.h"

namespace {

constexpr std::size_t kPropsSize = 5;
constexpr std::size_t kHeaderSize = kPropsSize + 4;
constexpr std::size_t kChunk = 1 << 16;
constexpr std::uint32_t kDictSize = 0x1000000;
// LZMA cannot expand a byte of stream into more than about 7000 bytes of data (a run
// of saturated long repeat matches); a stated size beyond twice that is damage.
constexpr std::uint64_t kMaxExpansion = 16384;

void Complain(const char* utf8)
{
    const std::string bytes = Gb18030FromUtf8(utf8);
    std::fwrite(bytes.data(), 1, bytes.size(), stderr);
    std::fflush(stderr);
}

struct FileCloser
{
    void operator()(std::FILE* f) const { std::fclose(f); }
};
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

struct StreamEnder
{
    void operator()(lzma_stream* s) const { lzma_end(s); }
};

// Bytes of the open file from the current position to its end; -1 when unknown.
std::int64_t BytesToEnd(std::FILE* f)
{
    const off_t here = ::ftello(f);
    if (here < 0 || ::fseeko(f, 0, SEEK_END) != 0)
        return -1;
    const off_t end = ::ftello(f);
    if (end < 0 || ::fseeko(f, here, SEEK_SET) != 0)
        return -1;
    return static_cast<std::int64_t>(end - here);
}

// Feeds `in` through the coder until it ends, handing every produced chunk to sink.
// True when the coder reported the end of its stream.
template <typename Sink>
bool RunCoder(lzma_stream& strm, std::FILE* in, Sink&& sink)
{
    // Left uninitialised: every byte is written before it is read.
    const std::unique_ptr<std::uint8_t[]> inBuf(new std::uint8_t[kChunk]);
    const std::unique_ptr<std::uint8_t[]> outBuf(new std::uint8_t[kChunk]);
    lzma_action action = LZMA_RUN;
    strm.next_out = outBuf.get();
    strm.avail_out = kChunk;
    for (;;)
    {
        if (strm.avail_in == 0 && action == LZMA_RUN)
        {
            const std::size_t n = std::fread(inBuf.get(), 1, kChunk, in);
            if (std::ferror(in))
                return false;
            strm.next_in = inBuf.get();
            strm.avail_in = n;
            if (n == 0)
                action = LZMA_FINISH;
        }
        const lzma_ret ret = lzma_code(&strm, action);
        if (strm.avail_out == 0 || ret == LZMA_STREAM_END)
        {
            const std::size_t produced = kChunk - strm.avail_out;
            if (produced > 0 && !sink(outBuf.get(), produced))
                return false;
            strm.next_out = outBuf.get();
            strm.avail_out = kChunk;
        }
        if (ret == LZMA_STREAM_END)
            return true;
        if (ret != LZMA_OK)
            return false;
    }
}

} // namespace

int QvCompress::Decompress(const std::string& packedPath, const std::string& outputPath)
{
    FilePtr in(std::fopen(packedPath.c_str(), "rb"));
    if (!in)
    {
        Complain("Error to Open the file!");
        return -1;
    }
    std::uint8_t header[kHeaderSize];
    if (!SafeRead(header, 1, static_cast<std::int32_t>(kHeaderSize), in.get()))
        return -1;
    std::int32_t unpackedSize = 0;
    std::memcpy(&unpackedSize, header + kPropsSize, 4);
    const std::int64_t streamBytes = BytesToEnd(in.get());
    if (unpackedSize < 0 || streamBytes < 0 ||
        static_cast<std::uint64_t>(unpackedSize) > static_cast<std::uint64_t>(streamBytes) * kMaxExpansion ||
        static_cast<std::uint64_t>(unpackedSize) >
            QvUnpackLimit(static_cast<std::uint64_t>(streamBytes) + kHeaderSize, kQvUnpackMaxRatio,
                          kQvUnpackFloorBytes))
        return -1;

    QvReplaceFile out;
    if (!out.Open(outputPath))
    {
        Complain("写入数据出错！");
        return -1;
    }

    lzma_filter filters[2] = {{LZMA_FILTER_LZMA1, nullptr}, {LZMA_VLI_UNKNOWN, nullptr}};
    if (lzma_properties_decode(&filters[0], nullptr, header, kPropsSize) != LZMA_OK)
        return -1;
    std::unique_ptr<lzma_options_lzma, decltype(&std::free)> options(
        static_cast<lzma_options_lzma*>(filters[0].options), &std::free);
    // Matches never reach before the first byte, so a dictionary larger than the data is
    // never used; capping it keeps a damaged properties block from reserving gigabytes.
    options->dict_size = std::max<std::uint32_t>(
        LZMA_DICT_SIZE_MIN, std::min<std::uint32_t>(options->dict_size, static_cast<std::uint32_t>(unpackedSize)));
    // The stated size ends the stream; an end marker right after it is accepted as well.
    filters[0].id = LZMA_FILTER_LZMA1EXT;
    options->ext_flags = LZMA_LZMA1EXT_ALLOW_EOPM;
    lzma_set_ext_size(*options, static_cast<std::uint64_t>(unpackedSize));

    lzma_stream strm = LZMA_STREAM_INIT;
    if (lzma_raw_decoder(&strm, filters) != LZMA_OK)
        return -1;
    std::unique_ptr<lzma_stream, StreamEnder> ender(&strm);

    bool writeFailed = false;
    std::uint64_t written = 0;
    const bool decoded = RunCoder(strm, in.get(), [&](const std::uint8_t* data, std::size_t n) {
        written += n;
        if (!out.Write(data, n))
            writeFailed = true;
        return !writeFailed;
    });
    if (writeFailed)
    {
        Complain("写入数据出错！");
        return -1;
    }
    if (!decoded || written != static_cast<std::uint64_t>(unpackedSize))
        return -1;
    if (!out.Commit())
    {
        Complain("写入数据出错！");
        return -1;
    }
    return 0;
}

int QvCompress::Compress(const std::string& inputPath, const std::string& outputPath)
{
    FilePtr in(std::fopen(inputPath.c_str(), "rb"));
    struct stat st;
    if (!in || ::fstat(::fileno(in.get()), &st) != 0 || S_ISDIR(st.st_mode))
    {
        Complain("Error to Open the file!");
        return -1;
    }
    const std::int64_t inputSize = BytesToEnd(in.get());
    if (inputSize < 0 || inputSize > std::numeric_limits<std::int32_t>::max())
    {
        Complain("压缩时出错！");
        return -1;
    }

    lzma_options_lzma options;
    if (lzma_lzma_preset(&options, 9))
    {
        Complain("压缩时出错！");
        return -1;
    }
    // A dictionary beyond the input is never filled; a smaller one saves the encoder
    // most of its memory on small files and decodes the same way.
    std::uint32_t dict = LZMA_DICT_SIZE_MIN;
    while (dict < kDictSize && dict < static_cast<std::uint64_t>(inputSize))
        dict <<= 1;
    options.dict_size = dict;
    options.lc = 3;
    options.lp = 0;
    options.pb = 2;
    options.nice_len = 32;
    options.ext_flags = 0; // no end marker: the size field ends the stream
    lzma_filter filters[2] = {{LZMA_FILTER_LZMA1EXT, &options}, {LZMA_VLI_UNKNOWN, nullptr}};

    lzma_stream strm = LZMA_STREAM_INIT;
    if (lzma_raw_encoder(&strm, filters) != LZMA_OK)
    {
        Complain("压缩时出错！");
        return -1;
    }
    std::unique_ptr<lzma_stream, StreamEnder> ender(&strm);

    QvReplaceFile out;
    if (!out.Open(outputPath))
    {
        Complain("创建文件出错!");
        return -1;
    }
    std::uint8_t header[kHeaderSize];
    header[0] = static_cast<std::uint8_t>((options.pb * 5 + options.lp) * 9 + options.lc);
    for (int i = 0; i < 4; ++i)
        header[1 + i] = static_cast<std::uint8_t>(options.dict_size >> (8 * i));
    const std::int32_t size32 = static_cast<std::int32_t>(inputSize);
    std::memcpy(header + kPropsSize, &size32, 4);
    bool writeFailed = !out.Write(header, kHeaderSize);

    const bool encoded = !writeFailed && RunCoder(strm, in.get(), [&](const std::uint8_t* data, std::size_t n) {
        if (!out.Write(data, n))
            writeFailed = true;
        return !writeFailed;
    });
    if (writeFailed)
    {
        Complain("写入数据出错！");
        return -1;
    }
    // The file changed while it was read: the size field would not match the stream.
    if (!encoded || strm.total_in != static_cast<std::uint64_t>(inputSize))
    {
        Complain("压缩时出错！");
        return -1;
    }
    if (!out.Commit())
    {
        Complain("写入数据出错！");
        return -1;
    }
    return 0;
}
