// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <sstream>

#include "core/base/QvColor.h"
#include "testing/ByteSweep.h"

namespace {

void ExpectColor(const QvColor& c, int r, int g, int b)
{
    EXPECT_EQ(c.m_r, r);
    EXPECT_EQ(c.m_g, g);
    EXPECT_EQ(c.m_b, b);
}

TEST(Color, UnsetAndValid)
{
    const QvColor unset;
    ExpectColor(unset, -1, -1, -1);
    EXPECT_FALSE(unset.IsValid());
    EXPECT_TRUE(QvColor(-1, 0, -1).IsValid());
    EXPECT_TRUE(QvColor(0, 0, 0).IsValid());
    ExpectColor(QvColor(300, -7, 12), 300, -7, 12); // no range check
}

TEST(Color, BlendTruncatesTowardZero)
{
    struct Case
    {
        QvColor a, b;
        double t;
        int r, g, bl;
    } cases[] = {
        {{0, 0, 0}, {255, 100, 10}, 0.5, 127, 50, 5},
        {{0, 0, 0}, {255, 100, 10}, 1.0, 255, 100, 10},
        {{0, 0, 0}, {255, 100, 10}, 0.0, 0, 0, 0},
        // Falling components: -127.5 truncates to -127, not -128.
        {{255, 100, 10}, {0, 0, 0}, 0.5, 128, 50, 5},
        {{10, 10, 10}, {20, 0, 13}, 0.99, 19, 1, 12},
        {{0, 0, 0}, {255, 255, 255}, 2.0, 510, 510, 510}, // beyond the end: no clamp to 255
    };
    for (const Case& c : cases)
    {
        QvColor out;
        out.Blend(c.a, c.b, c.t);
        ExpectColor(out, c.r, c.g, c.bl);
    }

    // The result may alias an input.
    QvColor a(0, 0, 0);
    a.Blend(a, QvColor(255, 100, 10), 0.5);
    ExpectColor(a, 127, 50, 5);
}

TEST(Color, BlendOfExtremeValuesStaysDefined)
{
    QvColor out;
    out.Blend(QvColor(INT_MIN, INT_MAX, 0), QvColor(INT_MAX, INT_MIN, 0), 1.0);
    ExpectColor(out, INT_MAX, INT_MIN, 0);
    out.Blend(QvColor(0, 0, 0), QvColor(255, -255, 0), 1e300);
    ExpectColor(out, INT_MAX, INT_MIN, 0); // saturated; a zero difference stays 0
    out.Blend(QvColor(1, 2, 3), QvColor(4, 5, 6), std::nan(""));
    ExpectColor(out, 1, 2, 3);
}

TEST(Color, StreamForm)
{
    const QvColor c(1, -2, 0x01020304);
    const std::string bytes = qvtest::BytesOf([&](std::ostream& os) { c.Write(os); });
    ASSERT_EQ(bytes, std::string("\x01\0\0\0\xFE\xFF\xFF\xFF\x04\x03\x02\x01", 12));

    QvColor back;
    std::istringstream is(bytes, std::ios::binary);
    ASSERT_TRUE(back.Read(is));
    ExpectColor(back, 1, -2, 0x01020304);

    qvtest::ExpectReaderSurvivesDamage(bytes, [](std::istream& s) {
        QvColor r;
        return r.Read(s);
    });
    QvColor kept(7, 8, 9);
    std::istringstream shortStream(bytes.substr(0, 8), std::ios::binary);
    EXPECT_FALSE(kept.Read(shortStream));
    ExpectColor(kept, 7, 8, 9);
}

} // namespace
