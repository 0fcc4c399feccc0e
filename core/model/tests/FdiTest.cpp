// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "core/model/QvJaw.h"
#include "core/model/QvTooth.h"

namespace {

int KindOf(int fdi)
{
    QvTooth tooth;
    tooth.SetFdi(fdi);
    return tooth.GetToothKind();
}

TEST(Fdi, QuadrantSideKindValidityAndKeyPerNumber)
{
    struct Case
    {
        int fdi;
        int quadrant;
        bool upper;
        int kind;
        bool valid;
        int key;
    } cases[] = {
        {18, 1, true, 4, true, 12},  {11, 1, true, 1, true, 19},  {13, 1, true, 2, true, 17},
        {16, 1, true, 4, true, 14},  {19, 1, true, 0, true, 11},  {21, 2, true, 1, true, 21},
        {28, 2, true, 4, true, 28},  {31, 3, false, 1, true, 39}, {38, 3, false, 4, true, 32},
        {41, 4, false, 1, true, 41}, {48, 4, false, 4, true, 48}, {49, 4, false, 0, true, 49},
        {10, 1, true, 0, false, 20}, {20, 2, true, 0, false, 20}, {50, 5, false, 0, false, 60},
        // Deciduous numbers fold onto the permanent quadrants.
        {51, 1, true, 1, true, 19},  {54, 1, true, 3, true, 16},  {55, 1, true, 3, true, 15},
        {65, 2, true, 3, true, 25},  {75, 3, false, 3, true, 35}, {85, 4, false, 3, true, 45},
        // Numbers no tooth has: quadrant 0 and below count as lower.
        {0, 0, false, 0, false, 0},  {-11, -1, false, 0, false, 1},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.fdi);
        QvTooth tooth;
        tooth.SetFdi(c.fdi);
        EXPECT_EQ(FdiQuadrant(c.fdi), c.quadrant);
        EXPECT_EQ(FdiIsUpper(c.fdi), c.upper);
        EXPECT_EQ(tooth.GetToothKind(), c.kind);
        EXPECT_EQ(tooth.IsValidFdi(), c.valid);
        EXPECT_EQ(tooth.GetArchPositionKey(), c.key);
    }
    EXPECT_EQ(KindOf(13), 2);
    EXPECT_EQ(KindOf(20), 0);
}

TEST(Fdi, ToothWithoutJawAnswersItsSideFromTheQuadrant)
{
    QvTooth upper;
    upper.SetFdi(53);
    QvTooth lower;
    lower.SetFdi(44);
    EXPECT_TRUE(upper.IsUpper());
    EXPECT_FALSE(lower.IsUpper());

    // A jaw, while bound, has the last word.
    QvJaw jaw;
    jaw.SetUpper(false);
    upper.SetJaw(&jaw);
    EXPECT_FALSE(upper.IsUpper());
}

TEST(Fdi, RecordFormByVersion)
{
    struct Case
    {
        int version;
        int form;
    } cases[] = {
        // Case documents.
        {1025, 1}, {1029, 1}, {1030, 2}, {1031, 3}, {1040, 3}, {1041, 4}, {1043, 4},
        // Dental models.
        {2049, 1}, {2050, 2}, {2051, 2}, {2052, 3}, {2053, 3}, {2054, 4}, {2060, 4},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ToothRecordForm(c.version), c.form) << c.version;
}

TEST(Fdi, ArchOrderRunsRightMolarsToLeftUpperThenLower)
{
    std::vector<int> fdis = {11, 21, 31, 41, 18, 28, 38, 48};
    std::stable_sort(fdis.begin(), fdis.end(), FdiArchLess);
    EXPECT_EQ(fdis, (std::vector<int>{18, 11, 21, 28, 48, 41, 31, 38}));

    std::vector<int> all;
    for (int q = 1; q <= 4; ++q)
        for (int u = 1; u <= 8; ++u)
            all.push_back(10 * q + u);
    std::vector<int> expected;
    for (int u = 8; u >= 1; --u)
        expected.push_back(10 + u);
    for (int u = 1; u <= 8; ++u)
        expected.push_back(20 + u);
    for (int u = 8; u >= 1; --u)
        expected.push_back(40 + u);
    for (int u = 1; u <= 8; ++u)
        expected.push_back(30 + u);
    std::reverse(all.begin(), all.end());
    std::stable_sort(all.begin(), all.end(), FdiArchLess);
    EXPECT_EQ(all, expected);

    // A deciduous tooth and the permanent tooth of its position are equivalent.
    EXPECT_FALSE(FdiArchLess(53, 13));
    EXPECT_FALSE(FdiArchLess(13, 53));
    EXPECT_TRUE(FdiArchLess(54, 13));
}

// std::sort needs a strict weak order over every number the files may hold.
TEST(Fdi, ArchOrderIsAStrictWeakOrderOverEveryNumber)
{
    std::vector<int> numbers;
    for (int n = -25; n <= 125; n += 3)
        numbers.push_back(n);
    for (const int a : numbers)
    {
        EXPECT_FALSE(FdiArchLess(a, a)) << a;
        for (const int b : numbers)
        {
            if (FdiArchLess(a, b))
            {
                EXPECT_FALSE(FdiArchLess(b, a)) << a << " " << b;
            }
            const bool abEqual = !FdiArchLess(a, b) && !FdiArchLess(b, a);
            for (const int c : numbers)
            {
                if (FdiArchLess(a, b) && FdiArchLess(b, c))
                {
                    EXPECT_TRUE(FdiArchLess(a, c)) << a << " " << b << " " << c;
                }
                const bool bcEqual = !FdiArchLess(b, c) && !FdiArchLess(c, b);
                if (abEqual && bcEqual)
                {
                    EXPECT_TRUE(!FdiArchLess(a, c) && !FdiArchLess(c, a)) << a << " " << b << " " << c;
                }
            }
        }
    }
}

} // namespace
