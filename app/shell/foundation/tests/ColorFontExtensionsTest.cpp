// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/shell/foundation/ColorFontExtensions.h"

#include <gtest/gtest.h>

namespace {

using namespace foundation;

void ExpectColour(const std::optional<QColor>& colour, double r, double g, double b, double a, const char* what)
{
    ASSERT_TRUE(colour) << what;
    EXPECT_NEAR(colour->redF(), r, 1e-4) << what;
    EXPECT_NEAR(colour->greenF(), g, 1e-4) << what;
    EXPECT_NEAR(colour->blueF(), b, 1e-4) << what;
    EXPECT_NEAR(colour->alphaF(), a, 1e-4) << what;
}

TEST(ColorExtensions, HexStrings)
{
    struct Case {
        const char* text;
        double r, g, b, a;
    } cases[] = {
        {" #fff ", 1, 1, 1, 1},
        {"0x80FF0000", 128 / 255.0, 1, 0, 0},
        {"#12G", 0, 1 / 15.0, 2 / 15.0, 1}, // reading stops at the G
        {"@00ff00", 0, 1, 0, 1},
        {"0X1234", 1 / 15.0, 2 / 15.0, 3 / 15.0, 4 / 15.0},
        {"336699", 0x33 / 255.0, 0x66 / 255.0, 0x99 / 255.0, 1},
    };
    for (const Case& c : cases)
        ExpectColour(qvui_colorWithHexString(c.text), c.r, c.g, c.b, c.a, c.text);
    for (const char* bad : {"", "12345", "#1234567", "#xyz", "   "})
        EXPECT_FALSE(qvui_colorWithHexString(bad)) << bad;

    ExpectColour(qvui_colorWithRGBValue(0xFFFFFF), 1, 1, 1, 1, "white");
    ExpectColour(qvui_colorWithRGBAValue(0x000000FF), 0, 0, 0, 1, "black");
    ExpectColour(qvui_colorWithRGBValue(0x3C7BF5), 0x3C / 255.0, 0x7B / 255.0, 0xF5 / 255.0, 1, "blue");
    for (int i = 0; i < 20; ++i) {
        const QColor random = qvui_randomColor();
        EXPECT_LE(random.red(), 254);
        EXPECT_EQ(random.alphaF(), 1.0);
    }
}

TEST(ColorExtensions, HexTextsOfIntegers)
{
    struct Case {
        qint64 value;
        const char* text;
    } cases[] = {
        {255, "FF"}, {0, "0"}, {15, "F"}, {16, "10"}, {68719476736LL + 1, "000000001"}, {0xABCDEF, "ABCDEF"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(qvui_hexStringWithInteger(c.value), QString(c.text)) << c.value;
    EXPECT_EQ(hexLetterStringWithInteger(12), "C");
    EXPECT_EQ(hexLetterStringWithInteger(9), "9");
    EXPECT_EQ(alignColorHexStringLength("F"), "0F");
    EXPECT_EQ(alignColorHexStringLength("FF"), "FF");
    EXPECT_EQ(alignColorHexStringLength(""), "0");
}

TEST(FontExtensions, WeightIndexAndItalic)
{
    const QFont::Weight weights[] = {QFont::Thin,   QFont::ExtraLight, QFont::Light,     QFont::Normal, QFont::Medium,
                                     QFont::DemiBold, QFont::Bold,     QFont::ExtraBold, QFont::Black};
    for (unsigned i = 0; i < 9; ++i) {
        const QFont font = qvui_systemFontOfSize(13, i, i % 2 == 1);
        EXPECT_EQ(font.weight(), weights[i]) << i;
        EXPECT_EQ(font.italic(), i % 2 == 1);
        EXPECT_DOUBLE_EQ(font.pointSizeF(), 13);
    }
    EXPECT_EQ(qvui_systemFontOfSize(12, 40, false).weight(), QFont::Black);
}

} // namespace
