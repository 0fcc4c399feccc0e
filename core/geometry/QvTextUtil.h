// SPDX-License-Identifier: GPL-3.0-or-later
// Number formats of the read-outs, string splitting and trimming, and the
// byte-order and file-read helpers of the image reader.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

// "%.2lf" in the "C" locale, whatever the process locale; "-0.00" becomes "0.00".
std::string FormatTwoDecimals(double value);
// "%.1lf" followed by the degree sign in UTF-8 (C2 B0).
std::string FormatDegrees(double value);
// "%.1lf"; "-0.0" is kept.
std::string FormatOneDecimal(double value);

// Appends the pieces of text split at separator; the vector is not cleared. The text is
// trimmed, and so is what follows each separator, but not what precedes one.
void SplitString(const std::string& text, char separator, std::vector<std::string>& pieces);

// White space is the POSIX space class only: space, \t, \n, \v, \f, \r.
std::string& Trim(std::string& text);
std::string& TrimLeft(std::string& text);
std::string& TrimRight(std::string& text);

// Trimmed copy without its first "https://", or, when there is none, its first "http://".
std::string StripUrlScheme(const std::string& text);

// Size in MiB; a file that cannot be opened or measured gives -1 / 1048576.
double GetFileSizeMB(const std::string& path);

// Repeated 32-bit multiplication, wrapping on overflow; 1 for exponents <= 0.
std::int32_t IntPower(std::int32_t base, std::int32_t exponent);

std::uint16_t SwapBytes16(std::uint16_t value);
std::uint32_t SwapBytes32(std::uint32_t value);
bool IsBigEndian();

// False without reading when the file is already at its end; otherwise true when all
// count items of size bytes were read. Negative sizes or counts and a null file read nothing.
[[nodiscard]] bool SafeRead(void* buffer, std::int32_t size, std::int32_t count, std::FILE* file);
