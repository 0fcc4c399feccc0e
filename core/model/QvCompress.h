// SPDX-License-Identifier: GPL-3.0-or-later
// Packing a whole file into the LZMA package layout and back.
//
// Package layout: the 5-byte LZMA properties block, the unpacked size as a
// little-endian int32, then the raw LZMA stream (no end marker is written; one is
// accepted after the stated size) up to the end of the file.
#pragma once

#include <string>

class QvCompress
{
public:
    virtual ~QvCompress() = default;

    // 0 when outputPath holds the unpacked data, -1 on any failure. The output is
    // replaced only on success: a failed unpack leaves an existing file as it was.
    // Messages (no line feed) on standard error: "Error to Open the file!" when the
    // package cannot be opened, "写入数据出错！" (GB18030) when the output cannot be
    // written; a damaged package fails without a message, and so does one that states
    // more unpacked bytes than QvInputBounds.h allows for its size (nothing is written).
    [[nodiscard]] static int Decompress(const std::string& packedPath, const std::string& outputPath);

    // 0 when outputPath holds the package of inputPath, -1 on failure, with the output
    // untouched. Inputs above 2^31 - 1 bytes are refused: the size field cannot hold them.
    // Messages: "Error to Open the file!", "压缩时出错！" on an encoder error,
    // "创建文件出错!" when the output cannot be created, "写入数据出错！" when writing fails.
    [[nodiscard]] static int Compress(const std::string& inputPath, const std::string& outputPath);
};
