// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <string>

#include "core/base/QvText.h"

namespace {

TEST(Gb18030, KnownEncodingsAndRoundTrip)
{
    struct Case
    {
        std::string utf8;
        std::string gb;
    } cases[] = {
        {"", ""},
        {"Rivela 1.0", "Rivela 1.0"},
        {"确定", "\xC8\xB7\xB6\xA8"},
        {"取消", "\xC8\xA1\xCF\xFB"},
        // Characters outside GBK take the 4-byte form.
        {"€", "\xA2\xE3"},
        {"\xF0\x9F\x98\x80", "\x94\x39\xFC\x36"}, // U+1F600, four-byte form
        {std::string("a\0b", 3), std::string("a\0b", 3)},
    };
    for (const Case& c : cases)
    {
        std::string gb;
        ASSERT_TRUE(Gb18030FromUtf8(c.utf8, gb)) << c.utf8;
        EXPECT_EQ(gb, c.gb) << c.utf8;
        std::string utf8;
        ASSERT_TRUE(Utf8FromGb18030(gb, utf8)) << c.utf8;
        EXPECT_EQ(utf8, c.utf8);
    }

    // Long text grows the output buffer past its first size.
    std::string longText;
    for (int i = 0; i < 5000; ++i)
        longText += "牙齿矫治方案";
    EXPECT_EQ(Utf8FromGb18030(Gb18030FromUtf8(longText)), longText);
    EXPECT_EQ(Gb18030FromUtf8(longText).size(), 5000u * 12u);
}

TEST(Gb18030, InvalidInputFailsAndLeavesOutputAlone)
{
    const std::string badUtf8[] = {
        "\xFF",
        "ok\xC3",           // cut-off two-byte sequence
        "\xE7\xA1",         // cut-off three-byte sequence
        "\xC0\xAF",         // overlong slash
        "\xED\xA0\x80",     // surrogate half
        "\xE7\xA1\xAE\x80", // stray continuation after a valid character
    };
    for (const std::string& s : badUtf8)
    {
        std::string out = "kept";
        EXPECT_FALSE(Gb18030FromUtf8(s, out));
        EXPECT_EQ(out, "kept");
        EXPECT_EQ(Gb18030FromUtf8(s), "");
    }

    const std::string badGb[] = {
        "\xC8",       // lead byte at the end
        "\xC8\x20",   // trail byte out of range
        "\x81\x30",   // four-byte form cut off
        "\x81\x30\x81", // four-byte form cut off
        "\xFF\xA1",
    };
    for (const std::string& s : badGb)
    {
        std::string out = "kept";
        EXPECT_FALSE(Utf8FromGb18030(s, out));
        EXPECT_EQ(out, "kept");
        EXPECT_EQ(Utf8FromGb18030(s), "");
    }
}

} // namespace
