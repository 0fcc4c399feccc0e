// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <cfloat>
#include <clocale>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include <unistd.h>

#include "core/geometry/QvTextUtil.h"

namespace {

// printf itself, in the "C" locale the test process runs in, as the oracle of the formats.
std::string Printf(const char* format, double v)
{
    const int n = std::snprintf(nullptr, 0, format, v);
    std::string s(static_cast<std::size_t>(n) + 1, '\0');
    std::snprintf(s.data(), s.size(), format, v);
    s.resize(static_cast<std::size_t>(n));
    return s;
}

std::filesystem::path TempPath(const char* name)
{
    return std::filesystem::temp_directory_path() / (std::string("rivela_textutil_") + std::to_string(getpid()) + "_" + name);
}

TEST(NumberFormats, Table)
{
    struct Case
    {
        double value;
        const char* two;
        const char* one;
    } cases[] = {
        {-0.001, "0.00", "-0.0"},
        {-0.005, "-0.01", "-0.0"}, // the double nearest -0.005 lies below it
        {-0.0, "0.00", "-0.0"},
        {2.5, "2.50", "2.5"},
        {-0.01, "-0.01", "-0.0"},
        {0.05, "0.05", "0.1"},
        {1.005, "1.00", "1.0"}, // just below 1.005 in binary
        {-12.345, "-12.35", "-12.3"},
        {1e15, "1000000000000000.00", "1000000000000000.0"},
    };
    for (const Case& c : cases)
    {
        EXPECT_EQ(FormatTwoDecimals(c.value), c.two) << c.value;
        EXPECT_EQ(FormatOneDecimal(c.value), c.one) << c.value;
    }
    EXPECT_EQ(FormatDegrees(12.34), "12.3\xC2\xB0");
    EXPECT_EQ(FormatDegrees(-0.04), "-0.0\xC2\xB0");
}

TEST(NumberFormats, AgreeWithPrintfIncludingHugeAndSpecialValues)
{
    std::vector<double> values = {DBL_MAX, -DBL_MAX, DBL_MIN, -DBL_MIN, 1e300, -1e100, 0.125, 0.375, 2.675,
                                  std::numeric_limits<double>::infinity(), -std::numeric_limits<double>::infinity(),
                                  std::numeric_limits<double>::denorm_min()};
    std::mt19937_64 rng(7);
    std::uniform_real_distribution<double> mantissa(-10.0, 10.0);
    std::uniform_int_distribution<int> exponent(-8, 20);
    for (int i = 0; i < 20000; ++i)
        values.push_back(std::ldexp(mantissa(rng), exponent(rng)));
    for (double v : values)
    {
        std::string two = Printf("%.2lf", v);
        if (two == "-0.00")
            two = "0.00";
        ASSERT_EQ(FormatTwoDecimals(v), two) << v;
        ASSERT_EQ(FormatOneDecimal(v), Printf("%.1lf", v)) << v;
        ASSERT_EQ(FormatDegrees(v), Printf("%.1lf", v) + "\xC2\xB0") << v;
    }
    EXPECT_EQ(FormatTwoDecimals(DBL_MAX).size(), 312u);
}

TEST(NumberFormats, IgnoreProcessLocale)
{
    const std::string saved = std::setlocale(LC_ALL, nullptr);
    const char* candidates[] = {"de_DE.UTF-8", "de_DE.utf8", "fr_FR.UTF-8", "fr_FR.utf8", "ru_RU.UTF-8", "nl_NL.UTF-8"};
    const char* found = nullptr;
    for (const char* name : candidates)
        if (std::setlocale(LC_ALL, name) != nullptr && std::localeconv()->decimal_point[0] == ',')
        {
            found = name;
            break;
        }
    if (found == nullptr)
    {
        std::setlocale(LC_ALL, saved.c_str());
        GTEST_SKIP() << "no locale with a decimal comma is installed";
    }
    const std::string two = FormatTwoDecimals(1234.5);
    const std::string one = FormatOneDecimal(-0.25);
    const std::string deg = FormatDegrees(7.25);
    std::setlocale(LC_ALL, saved.c_str());
    EXPECT_EQ(two, "1234.50") << found;
    EXPECT_EQ(one, "-0.2") << found;
    EXPECT_EQ(deg, "7.2\xC2\xB0") << found;
}

TEST(SplitString, Table)
{
    struct Case
    {
        std::string text;
        char separator;
        std::vector<std::string> pieces;
    } cases[] = {
        {"  a , b ,c  ", ',', {"a ", "b ", "c"}},
        {"", ',', {""}},
        {"a,", ',', {"a", ""}},
        {"a - b", '-', {"a ", "b"}},
        {",,", ',', {"", "", ""}},
        {"\t1;\n2 ;3\r\n", ';', {"1", "2 ", "3"}},
        {"no separator here ", ',', {"no separator here"}},
        {"a b  c", ' ', {"a", "b", "c"}},
    };
    for (const Case& c : cases)
    {
        std::vector<std::string> pieces;
        SplitString(c.text, c.separator, pieces);
        EXPECT_EQ(pieces, c.pieces) << '"' << c.text << '"';
    }

    std::vector<std::string> appended = {"kept"};
    SplitString("x,y", ',', appended);
    EXPECT_EQ(appended, (std::vector<std::string>{"kept", "x", "y"}));
}

TEST(Trim, WhiteSpaceIsThePosixClassOnly)
{
    struct Case
    {
        std::string in, both, left, right;
    } cases[] = {
        {"\t x \n", "x", "x \n", "\t x"},
        {" \t\n\v\f\r", "", "", ""},
        {"", "", "", ""},
        {"x", "x", "x", "x"},
        {"  a b  ", "a b", "a b  ", "  a b"},
        // Bytes above 127 (no-break space in Latin-1, NEL, a GB18030 lead byte) are text.
        {"\xA0x\xA0", "\xA0x\xA0", "\xA0x\xA0", "\xA0x\xA0"},
        {" \x85 \xC4\xE3 ", "\x85 \xC4\xE3", "\x85 \xC4\xE3 ", " \x85 \xC4\xE3"},
        {std::string("\0 ", 2), std::string("\0", 1), std::string("\0 ", 2), std::string("\0", 1)},
    };
    for (const Case& c : cases)
    {
        std::string both = c.in, left = c.in, right = c.in;
        EXPECT_EQ(&Trim(both), &both);
        EXPECT_EQ(&TrimLeft(left), &left);
        EXPECT_EQ(&TrimRight(right), &right);
        EXPECT_EQ(both, c.both);
        EXPECT_EQ(left, c.left);
        EXPECT_EQ(right, c.right);
    }
}

TEST(StripUrlScheme, Table)
{
    struct Case
    {
        const char* in;
        const char* out;
    } cases[] = {
        {"example.com/case", "example.com/case"},
        {"  https://a.example/x \n", "a.example/x"},
        {" http://a.example ", "a.example"},
        {"http://a/?next=https://b", "http://a/?next=b"},
        {"https://a/https://b", "a/https://b"},
        {"xhttp://y", "xy"},
        {"HTTPS://upper", "HTTPS://upper"},
        {"", ""},
    };
    for (const Case& c : cases)
        EXPECT_EQ(StripUrlScheme(c.in), c.out) << '"' << c.in << '"';
}

TEST(GetFileSizeMB, SizesAndUnopenablePaths)
{
    const std::filesystem::path half = TempPath("half");
    const std::filesystem::path empty = TempPath("empty");
    {
        std::ofstream(half, std::ios::binary) << std::string(524288, 'x');
        std::ofstream(empty, std::ios::binary);
    }
    EXPECT_EQ(GetFileSizeMB(half.string()), 0.5);
    EXPECT_EQ(GetFileSizeMB(empty.string()), 0.0);
    EXPECT_EQ(GetFileSizeMB(TempPath("missing").string()), -9.5367431640625e-7);
    EXPECT_EQ(GetFileSizeMB(std::filesystem::temp_directory_path().string()), -9.5367431640625e-7);
    std::filesystem::remove(half);
    std::filesystem::remove(empty);
}

TEST(IntPower, TableAndWrapping)
{
    struct Case
    {
        std::int32_t base, exponent, result;
    } cases[] = {
        {2, 0, 1}, {2, -3, 1}, {3, 4, 81}, {2, 31, std::numeric_limits<std::int32_t>::min()}, {2, 32, 0},
        {-2, 3, -8}, {0, 0, 1}, {0, 5, 0}, {-1, std::numeric_limits<std::int32_t>::max(), -1},
        {2, 8, 256}, {10, 9, 1000000000},
    };
    for (const Case& c : cases)
        EXPECT_EQ(IntPower(c.base, c.exponent), c.result) << c.base << "^" << c.exponent;

    // Against plain repeated multiplication modulo 2^32.
    const std::int32_t bases[] = {-7, -3, -2, -1, 0, 1, 2, 3, 5, 7, 255, 65535, 46341,
                                  std::numeric_limits<std::int32_t>::min(), std::numeric_limits<std::int32_t>::max()};
    for (std::int32_t b : bases)
    {
        std::uint32_t expected = 1;
        for (std::int32_t e = 0; e <= 70; ++e)
        {
            ASSERT_EQ(IntPower(b, e), static_cast<std::int32_t>(expected)) << b << "^" << e;
            expected *= static_cast<std::uint32_t>(b);
        }
    }
}

TEST(ByteOrder, SwapsAndHost)
{
    EXPECT_EQ(SwapBytes16(0x1234), 0x3412);
    EXPECT_EQ(SwapBytes16(0xFF00), 0x00FF);
    EXPECT_EQ(SwapBytes32(0x12345678u), 0x78563412u);
    EXPECT_EQ(SwapBytes32(0xFF0000AAu), 0xAA0000FFu);
    EXPECT_EQ(SwapBytes32(SwapBytes32(0xDEADBEEFu)), 0xDEADBEEFu);
    EXPECT_FALSE(IsBigEndian());
}

TEST(SafeRead, FullShortAndEndOfFile)
{
    std::FILE* f = std::tmpfile();
    ASSERT_NE(f, nullptr);
    const unsigned char data[10] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10};
    ASSERT_EQ(std::fwrite(data, 1, sizeof(data), f), sizeof(data));
    std::rewind(f);

    std::uint16_t items[4] = {};
    EXPECT_TRUE(SafeRead(items, 2, 4, f));
    EXPECT_EQ(items[0], 0x0201);
    EXPECT_EQ(items[3], 0x0807);

    // Two bytes left: one item of the four asked for.
    EXPECT_FALSE(SafeRead(items, 2, 4, f));
    EXPECT_EQ(items[0], 0x0A09);
    ASSERT_TRUE(std::feof(f));

    // At the end already: nothing is read, the buffer is untouched.
    items[0] = 0xBEEF;
    EXPECT_FALSE(SafeRead(items, 2, 1, f));
    EXPECT_EQ(items[0], 0xBEEF);

    std::rewind(f);
    EXPECT_TRUE(SafeRead(items, 2, 0, f));
    EXPECT_FALSE(SafeRead(items, -1, 4, f));
    EXPECT_FALSE(SafeRead(items, 2, -4, f));
    EXPECT_EQ(items[0], 0xBEEF);
    std::fclose(f);

    EXPECT_FALSE(SafeRead(items, 2, 1, nullptr));
}

} // namespace
