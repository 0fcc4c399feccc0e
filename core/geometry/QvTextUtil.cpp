// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/geometry/QvTextUtil.h"

#include <bit>
#include <charconv>
#include <filesystem>
#include <fstream>
#include <system_error>

namespace {

// to_chars with a precision prints exactly as printf's "%.Nf" would in the "C" locale, so the
// read-outs never pick up a decimal comma. The buffer grows for the few values (up to DBL_MAX,
// 309 integer digits) that do not fit the first one.
std::string FormatFixed(double value, int decimals)
{
    char small[64];
    std::to_chars_result r = std::to_chars(small, small + sizeof(small), value, std::chars_format::fixed, decimals);
    if (r.ec == std::errc())
        return std::string(small, r.ptr);
    std::string big(512, '\0');
    r = std::to_chars(big.data(), big.data() + big.size(), value, std::chars_format::fixed, decimals);
    big.resize(r.ec == std::errc() ? static_cast<std::size_t>(r.ptr - big.data()) : 0);
    return big;
}

bool IsSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

} // namespace

std::string FormatTwoDecimals(double value)
{
    std::string text = FormatFixed(value, 2);
    if (text == "-0.00")
        text = "0.00";
    return text;
}

std::string FormatDegrees(double value)
{
    return FormatFixed(value, 1) + "\xC2\xB0";
}

std::string FormatOneDecimal(double value)
{
    return FormatFixed(value, 1);
}

void SplitString(const std::string& text, char separator, std::vector<std::string>& pieces)
{
    std::string rest = text;
    Trim(rest);
    std::string::size_type pos;
    while ((pos = rest.find(separator)) != std::string::npos)
    {
        pieces.push_back(rest.substr(0, pos));
        rest.erase(0, pos + 1);
        Trim(rest);
    }
    pieces.push_back(rest);
}

std::string& Trim(std::string& text)
{
    TrimRight(text);
    return TrimLeft(text);
}

std::string& TrimLeft(std::string& text)
{
    std::string::size_type n = 0;
    while (n < text.size() && IsSpace(text[n]))
        ++n;
    text.erase(0, n);
    return text;
}

std::string& TrimRight(std::string& text)
{
    std::string::size_type n = text.size();
    while (n > 0 && IsSpace(text[n - 1]))
        --n;
    text.erase(n);
    return text;
}

std::string StripUrlScheme(const std::string& text)
{
    std::string out = text;
    Trim(out);
    for (const char* scheme : {"https://", "http://"})
    {
        const std::string::size_type pos = out.find(scheme);
        if (pos != std::string::npos)
        {
            out.erase(pos, std::char_traits<char>::length(scheme));
            break;
        }
    }
    return out;
}

double GetFileSizeMB(const std::string& path)
{
    std::streamoff size = -1;
    // A directory opens like a file here and seeks to LLONG_MAX; it has no size to report.
    std::error_code ec;
    if (std::filesystem::is_directory(path, ec))
        return static_cast<double>(size) * 9.5367431640625e-7;
    std::ifstream in(path, std::ios::in | std::ios::binary);
    if (in.is_open() && in.seekg(0, std::ios::end))
        size = static_cast<std::streamoff>(in.tellg());
    return static_cast<double>(size) * 9.5367431640625e-7;
}

std::int32_t IntPower(std::int32_t base, std::int32_t exponent)
{
    // Unsigned arithmetic wraps where the signed product would be undefined; squaring gives the
    // same residue modulo 2^32 as repeated multiplication without 2^31 steps for a large exponent.
    std::uint32_t result = 1;
    std::uint32_t b = static_cast<std::uint32_t>(base);
    for (std::uint32_t e = exponent > 0 ? static_cast<std::uint32_t>(exponent) : 0u; e != 0; e >>= 1)
    {
        if (e & 1u)
            result *= b;
        b *= b;
    }
    return static_cast<std::int32_t>(result);
}

std::uint16_t SwapBytes16(std::uint16_t value)
{
    return static_cast<std::uint16_t>((value >> 8) | (value << 8));
}

std::uint32_t SwapBytes32(std::uint32_t value)
{
    return (value >> 24) | ((value >> 8) & 0x0000FF00u) | ((value << 8) & 0x00FF0000u) | (value << 24);
}

bool IsBigEndian()
{
    return std::endian::native == std::endian::big;
}

bool SafeRead(void* buffer, std::int32_t size, std::int32_t count, std::FILE* file)
{
    if (file == nullptr || size < 0 || count < 0 || std::feof(file))
        return false;
    const std::size_t read = std::fread(buffer, static_cast<std::size_t>(size), static_cast<std::size_t>(count), file);
    return read >= static_cast<std::size_t>(count);
}
