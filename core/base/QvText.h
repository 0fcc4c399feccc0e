// SPDX-License-Identifier: GPL-3.0-or-later
// Conversion between UTF-8 (source text, configuration, the user interface) and
// GB18030 (the core's names and strings).
#pragma once

#include <string>
#include <string_view>

// False on bytes that are not valid in the source encoding (a cut-off sequence
// included); out is then unchanged.
[[nodiscard]] bool Gb18030FromUtf8(std::string_view utf8, std::string& out);
[[nodiscard]] bool Utf8FromGb18030(std::string_view gb18030, std::string& out);

// The same, answering an empty string for invalid input.
std::string Gb18030FromUtf8(std::string_view utf8);
std::string Utf8FromGb18030(std::string_view gb18030);
