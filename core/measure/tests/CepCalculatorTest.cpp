// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <set>

#include "core/measure/tests/CepTracing.h"

namespace {

using namespace qvceptest;

void ExpectItemsMatch(const std::vector<QvCepMeasureItem>& items, const std::vector<ExpectedItem>& expected)
{
    ASSERT_EQ(items.size(), expected.size());
    for (std::size_t i = 0; i < items.size(); ++i)
    {
        SCOPED_TRACE(testing::Message() << "item " << i << ", id " << expected[i].id);
        EXPECT_EQ(items[i].m_nId, expected[i].id);
        EXPECT_NEAR(items[i].m_dValue, expected[i].value, 0.05);
        EXPECT_EQ(items[i].m_dMin, expected[i].min);
        EXPECT_EQ(items[i].m_dMax, expected[i].max);
        EXPECT_EQ(items[i].m_nType, expected[i].type);
        EXPECT_EQ(items[i].m_nGroup, expected[i].group);
    }
}

bool HasId(const std::vector<QvCepMeasureItem>& items, int id)
{
    return std::any_of(items.begin(), items.end(), [&](const QvCepMeasureItem& i) { return i.m_nId == id; });
}

void ExpectAllFinite(const std::vector<QvCepMeasureItem>& items)
{
    for (const QvCepMeasureItem& item : items)
        EXPECT_TRUE(std::isfinite(item.m_dValue)) << "item " << item.m_nId;
}

TEST(CepCalculators, EveryAnalysisMatchesTheIndependentValues)
{
    struct Row
    {
        int kind;
        const char* analysis;
        std::size_t count;
    };
    for (const Row& row : {Row{0, "standard", 29}, Row{2, "basic", 15}, Row{1, "complex", 32 + 23},
                           Row{7, "standard", 29}, Row{-1, "standard", 29}})
    {
        SCOPED_TRACE(row.kind);
        QvCepMeasure m;
        FillTracing(m);
        ASSERT_TRUE(m.Calculate(row.kind));
        EXPECT_EQ(m.m_items.size(), row.count);
        ExpectItemsMatch(m.m_items, LoadTracing().analyses.at(row.analysis));
        const std::vector<int> ids = Ids(m.m_items);
        if (row.kind == 1)
        {
            // The complex items, then Ricketts', without an id twice.
            EXPECT_EQ(std::set<int>(ids.begin(), ids.end()).size(), ids.size());
            EXPECT_EQ(m.m_items[31].m_nGroup, 0);
            EXPECT_EQ(m.m_items[32].m_nGroup, 2);
        }
    }
}

// Items 72 to 74 fold like angle items and keep the ramus landmarks after the formula's.
TEST(CepCalculators, FoldedRickettsAnglesListTheirLandmarks)
{
    QvCepMeasure m;
    FillTracing(m);
    ASSERT_TRUE(m.Calculate(1));
    const auto keys = [&](int id) {
        std::vector<int> out;
        for (const QvCepMeasureItem& item : m.m_items)
            if (item.m_nId == id)
                for (const QvKeyPoint& p : item.m_keyPoints)
                    out.push_back(p.m_nKey);
        return out;
    };
    const auto at = [&](int key) {
        QvKeyPoint p;
        m.FindKeyPoint(key, p);
        return p.m_point;
    };
    const bool folded72 = m.AngleAtVertex(at(56), at(57), at(32)) > 180.0;
    EXPECT_EQ(keys(72), folded72 ? (std::vector<int>{32, 57, 56, 43, 44, 45, 46, 8, 9})
                                 : (std::vector<int>{56, 57, 32, 43, 44, 45, 46, 8, 9}));
    const bool folded73 = m.AngleBetweenLines(at(57), at(47), at(10), at(11)) > 180.0;
    EXPECT_EQ(keys(73), folded73 ? (std::vector<int>{11, 10, 47, 57, 43, 44, 45, 46})
                                 : (std::vector<int>{57, 47, 10, 11, 43, 44, 45, 46}));
    EXPECT_EQ(keys(74).size(), 9u);
    EXPECT_EQ(keys(68), (std::vector<int>{13, 58, 17, 15, 48, 49, 30, 31, 14}));
}

TEST(CepCalculators, AlternateAndCombinedAngles)
{
    QvCepMeasure m;
    FillTracing(m);
    m.CalculateAlternate(0.1);
    ExpectItemsMatch(m.m_items, LoadTracing().analyses.at("alternate"));

    // The combined angles add to what the list holds; item 34 needs item 3 there.
    m.m_items.clear();
    m.CalculateCombinedAngles();
    ASSERT_EQ(Ids(m.m_items), std::vector<int>{33});
    ASSERT_TRUE(m.Calculate(0));
    m.CalculateCombinedAngles();
    const std::vector<QvCepMeasureItem> tail(m.m_items.end() - 2, m.m_items.end());
    ExpectItemsMatch(tail, LoadTracing().analyses.at("combined"));
}

TEST(CepCalculators, MissingLandmarksRemoveOnlyTheirItems)
{
    // Without the gonion the standard set keeps 19, which uses T1 directly.
    {
        QvCepMeasure m;
        FillTracing(m, {58});
        ASSERT_TRUE(m.Calculate(0));
        for (const int id : {20, 21, 22, 23, 26, 27, 29, 30, 31, 32})
            EXPECT_FALSE(HasId(m.m_items, id)) << id;
        EXPECT_EQ(m.m_items.size(), 29u - 10u);
        EXPECT_TRUE(HasId(m.m_items, 19));
    }
    // Without a calibration point there is no scale: no millimetre value or ratio, in
    // the complex and Ricketts sets neither, and nothing reads "0.0mm".
    {
        QvCepMeasure m;
        FillTracing(m, {0});
        ASSERT_TRUE(m.Calculate(0));
        for (const int id : {8, 11, 24, 25, 26, 27, 28, 29, 30, 31, 32})
            EXPECT_FALSE(HasId(m.m_items, id)) << id;
        EXPECT_TRUE(HasId(m.m_items, 23));
        EXPECT_EQ(m.m_items.size(), 29u - 11u);
        ASSERT_TRUE(m.Calculate(1));
        for (const int id : {24, 25, 26, 27, 28, 29, 31, 32, 61, 62, 66, 67, 69, 70, 45, 46, 47, 48, 49, 50, 54, 71, 75,
                             76})
            EXPECT_FALSE(HasId(m.m_items, id)) << id;
        for (const int id : {0, 1, 2, 23, 68, 53, 72, 73, 74, 77})
            EXPECT_TRUE(HasId(m.m_items, id)) << id;
        for (const QvCepMeasureItem& item : m.m_items)
            EXPECT_NE(item.m_nType, 2) << item.m_nId;
    }
    // Dc is used only by 73 and 74.
    {
        QvCepMeasure full;
        FillTracing(full);
        ASSERT_TRUE(full.Calculate(1));
        QvCepMeasure m;
        FillTracing(m, {47});
        ASSERT_TRUE(m.Calculate(1));
        std::vector<int> expected = Ids(full.m_items);
        std::erase_if(expected, [](int id) { return id == 73 || id == 74; });
        EXPECT_EQ(Ids(m.m_items), expected);
    }
}

TEST(CepCalculators, RefusesAndReplaces)
{
    QvCepMeasure m;
    m.m_items.emplace_back(5, std::vector<QvKeyPoint>{}, 0, 3, 1.0, 0, 2);
    m.m_imageRect = QvGDIRect(0, 0, 2000, 2400);
    EXPECT_FALSE(m.Calculate(0)); // no landmarks
    FillTracing(m);
    m.m_imageRect = QvGDIRect();
    EXPECT_FALSE(m.Calculate(0)); // empty rectangle
    ASSERT_EQ(m.m_items.size(), 1u);
    m.m_imageRect = QvGDIRect(0, 0, 2000, 2400);
    ASSERT_TRUE(m.Calculate(0));
    ASSERT_TRUE(m.Calculate(0));
    EXPECT_EQ(m.m_items.size(), 29u);
}

TEST(CepCalculators, SumsRatiosAndScaleByHand)
{
    // The sum takes the first items of its ids and is not rounded again.
    QvCepMeasure m;
    FillTracing(m);
    m.m_items = {QvCepMeasureItem(18, {}, 0, 3, 123.4, 0, 0), QvCepMeasureItem(19, {}, 0, 3, 140.0, 0, 0),
                 QvCepMeasureItem(20, {}, 0, 3, 130.1, 0, 0), QvCepMeasureItem(26, {}, 2, 3, 0.0, 0, 0)};
    m.CalculateStandard(0.1);
    double sum = 0.0;
    ASSERT_TRUE(QvCepMeasure::FindItemValue(m.m_items, 23, sum));
    EXPECT_EQ(sum, 123.4 + 140.0 + 130.1);
    EXPECT_NEAR(sum, 393.5, 1e-9);
    // A divisor of zero makes no ratio; the others are made.
    EXPECT_FALSE(HasId(m.m_items, 30));
    EXPECT_TRUE(HasId(m.m_items, 31));
    ExpectAllFinite(m.m_items);

    // Calibration points 200 pixels apart: 0.05 mm per pixel.
    QvCepMeasure scaled;
    scaled.m_imageRect = QvGDIRect(0, 0, 2000, 2000);
    const auto at = [](double x, double y, int key) { return QvKeyPoint(QvPoint(x / 2000, y / 2000, 0), key); };
    scaled.m_keyPoints = {at(100, 100, 0), at(100, 300, 1), at(300, 1000, 5), at(1700, 1000, 6)};
    ASSERT_TRUE(scaled.Calculate(0));
    double sn = 0.0;
    ASSERT_TRUE(QvCepMeasure::FindItemValue(scaled.m_items, 24, sn));
    EXPECT_EQ(sn, 70.0);
}

// Landmarks that make the crossing-based items meet parallel lines: the ramus line
// parallel to the mandibular line, the occlusal line vertical, Pt on the Frankfort line.
TEST(CepCalculators, ParallelLinesNeverGiveNonFiniteValues)
{
    QvCepMeasure m;
    FillTracing(m);
    QvKeyPoint ar;
    QvKeyPoint me;
    QvKeyPoint t2;
    ASSERT_TRUE(m.FindKeyPoint(30, ar) && m.FindKeyPoint(13, me) && m.FindKeyPoint(14, t2));
    for (QvKeyPoint& p : m.m_keyPoints)
        if (p.m_nKey == 31) // T1 so that Ar-T1 runs along Me-T2
            p.m_point = ar.m_point + (t2.m_point - me.m_point);
    ASSERT_TRUE(m.Calculate(1));
    ExpectAllFinite(m.m_items);
    for (const int id : {21, 22, 26, 27, 29, 61, 31, 32})
        EXPECT_FALSE(HasId(m.m_items, id)) << id;
    EXPECT_TRUE(HasId(m.m_items, 20)); // an angle between the lines is still 0 or 180

    QvCepMeasure vertical;
    FillTracing(vertical);
    QvKeyPoint l6;
    QvKeyPoint p;
    QvKeyPoint o;
    ASSERT_TRUE(vertical.FindKeyPoint(49, l6) && vertical.FindKeyPoint(10, p) && vertical.FindKeyPoint(11, o));
    for (QvKeyPoint& k : vertical.m_keyPoints)
    {
        // The incisors straight above the molars: the occlusal line is vertical.
        if (k.m_nKey == 15 || k.m_nKey == 17)
            k.m_point = QvPoint(l6.m_point[0], k.m_point[1] + 0.1, 0);
        if (k.m_nKey == 48)
            k.m_point = QvPoint(l6.m_point[0], k.m_point[1], 0);
        if (k.m_nKey == 27) // Pt on the line O-P
            k.m_point = (p.m_point + (o.m_point - p.m_point) * 0.4);
    }
    ASSERT_TRUE(vertical.Calculate(1));
    ExpectAllFinite(vertical.m_items);
    EXPECT_FALSE(HasId(vertical.m_items, 48));
    EXPECT_FALSE(HasId(vertical.m_items, 76));
    EXPECT_TRUE(HasId(vertical.m_items, 46));
}

} // namespace
