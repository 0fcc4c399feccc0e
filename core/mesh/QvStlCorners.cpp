// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/mesh/QvStlCorners.h"

#include <charconv>
#include <cstring>
#include <fstream>
#include <system_error>

#include "core/geometry/QvStreamIO.h"

namespace {

constexpr std::uint64_t kHeaderBytes = 80;
constexpr std::uint64_t kCountBytes = 4;
constexpr std::uint64_t kRecordBytes = 50;
constexpr std::size_t kCornerOffset = 12; // after the facet normal

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f' || c == '\v'; }

// One real in the "C" form after optional white space (a leading '+' is allowed).
bool ParseReal(const char*& p, const char* end, double& value)
{
    while (p != end && IsSpace(*p))
        ++p;
    if (p != end && *p == '+')
        ++p;
    const auto res = std::from_chars(p, end, value);
    if (res.ec != std::errc())
        return false;
    p = res.ptr;
    return true;
}

// " vertex x y z": optional white space, the keyword, three reals.
bool ParseVertexLine(const std::string& line, QvPoint& point)
{
    const char* p = line.data();
    const char* end = p + line.size();
    while (p != end && IsSpace(*p))
        ++p;
    static constexpr char kKeyword[] = "vertex";
    const std::size_t keywordLength = sizeof(kKeyword) - 1;
    if (static_cast<std::size_t>(end - p) < keywordLength || std::memcmp(p, kKeyword, keywordLength) != 0)
        return false;
    p += keywordLength;
    double x = 0.0, y = 0.0, z = 0.0;
    if (!ParseReal(p, end, x) || !ParseReal(p, end, y) || !ParseReal(p, end, z))
        return false;
    point.Set(x, y, z);
    return true;
}

std::uint64_t FileSize(std::ifstream& is)
{
    is.seekg(0, std::ios::end);
    const std::streamoff size = is.tellg();
    is.seekg(0);
    return size < 0 ? 0 : static_cast<std::uint64_t>(size);
}

} // namespace

QvStlForm QvDetectStlForm(const std::string& path, std::uint32_t& count)
{
    count = 0;
    std::ifstream is(path, std::ios::binary);
    if (!is)
        return QvStlForm::Missing;
    const std::uint64_t size = FileSize(is);
    if (size < kHeaderBytes + kCountBytes)
        return QvStlForm::Text;
    is.seekg(static_cast<std::streamoff>(kHeaderBytes));
    std::uint32_t stored = 0;
    if (!qvio::ReadU32(is, stored))
        return QvStlForm::Text;
    if (size != kHeaderBytes + kCountBytes + kRecordBytes * static_cast<std::uint64_t>(stored))
        return QvStlForm::Text;
    count = stored;
    return QvStlForm::Binary;
}

bool QvReadBinaryStlCorners(const std::string& path, std::vector<QvPoint>& corners)
{
    std::uint32_t count = 0;
    if (QvDetectStlForm(path, count) != QvStlForm::Binary)
        return false;
    std::ifstream is(path, std::ios::binary);
    is.seekg(static_cast<std::streamoff>(kHeaderBytes + kCountBytes));
    if (!is)
        return false;
    // The size matched the count, so the count is bounded by the bytes on disk.
    std::vector<QvPoint> read;
    read.reserve(static_cast<std::size_t>(count) * 3);
    char record[kRecordBytes];
    for (std::uint32_t i = 0; i < count; ++i)
    {
        if (!is.read(record, sizeof(record)))
            return false;
        for (std::size_t k = 0; k < 3; ++k)
        {
            float xyz[3];
            std::memcpy(xyz, record + kCornerOffset + sizeof(xyz) * k, sizeof(xyz));
            read.emplace_back(xyz[0], xyz[1], xyz[2]);
        }
    }
    corners.insert(corners.end(), read.begin(), read.end());
    return true;
}

bool QvReadTextStlCorners(const std::string& path, std::vector<QvPoint>& corners)
{
    std::ifstream is(path, std::ios::binary);
    if (!is)
        return false;
    std::vector<QvPoint> read;
    std::string line;
    if (std::getline(is, line))
    {
        while (std::getline(is, line))
        {
            if (line.find("facet normal") == std::string::npos)
                break;
            if (!std::getline(is, line))
                return false;
            for (int k = 0; k < 3; ++k)
            {
                QvPoint corner;
                if (!std::getline(is, line) || !ParseVertexLine(line, corner))
                    return false;
                read.push_back(corner);
            }
            for (int k = 0; k < 2; ++k)
                if (!std::getline(is, line))
                    break;
        }
    }
    corners.insert(corners.end(), read.begin(), read.end());
    return true;
}

bool QvReadStlCorners(const std::string& path, std::vector<QvPoint>& corners)
{
    std::uint32_t count = 0;
    switch (QvDetectStlForm(path, count))
    {
    case QvStlForm::Binary: return QvReadBinaryStlCorners(path, corners);
    case QvStlForm::Text: return QvReadTextStlCorners(path, corners);
    case QvStlForm::Missing: break;
    }
    return false;
}
