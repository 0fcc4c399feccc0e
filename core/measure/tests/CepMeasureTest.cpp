// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <set>
#include <sstream>

#include "core/geometry/QvStreamIO.h"
#include "core/measure/tests/MeasureTestSupport.h"

namespace {

using namespace qvmeasuretest;

class CepMeasure : public MeasureTest
{
};

std::vector<QvKeyPoint> WithKeys(const std::vector<int>& keys)
{
    std::vector<QvKeyPoint> out;
    for (const int key : keys)
        out.emplace_back(QvPoint(0.01 * key, 0.5 + 0.005 * key, 0), key);
    return out;
}

// An old-form tracing record: the landmarks with their extra words, items, parameters.
std::string OldRecord(bool leadingWord, const std::vector<QvKeyPoint>& landmarks, int param1, int param2)
{
    std::ostringstream os;
    if (leadingWord)
        qvio::WriteI32(os, 0x5a5a);
    qvio::WriteI32(os, static_cast<std::int32_t>(landmarks.size()));
    for (std::size_t i = 0; i < landmarks.size(); ++i)
    {
        landmarks[i].Write(os);
        qvio::WriteI32(os, static_cast<std::int32_t>(i % 3)); // words to skip
        for (std::size_t w = 0; w < i % 3; ++w)
            qvio::WriteI32(os, -7);
    }
    qvio::WriteI32(os, 2); // items, dropped
    for (int item = 0; item < 2; ++item)
    {
        qvio::WriteI32(os, 30 + item);
        qvio::WriteF64(os, 81.5);
        qvio::WriteF64(os, 78.0);
        qvio::WriteF64(os, 84.0);
        QvWriteKeyPoints(os, WithKeys({5, 6, 7}));
    }
    qvio::WriteI32(os, param1);
    qvio::WriteI32(os, param2);
    return os.str();
}

TEST_F(CepMeasure, RequiredLandmarkListsAndCompleteness)
{
    struct Row
    {
        int kind;
        std::size_t first;
        std::size_t second;
    };
    for (const Row& row : {Row{1, 52, 55}, Row{2, 16, 16}, Row{0, 24, 25}, Row{3, 24, 25}, Row{-5, 24, 25}})
    {
        SCOPED_TRACE(row.kind);
        const std::vector<int> first = QvCepMeasure::GetRequiredLandmarks(row.kind);
        const std::vector<int> second = QvCepMeasure::GetRequiredLandmarksWithDerived(row.kind);
        EXPECT_EQ(first.size(), row.first);
        EXPECT_EQ(second.size(), row.second);
        EXPECT_EQ(QvCepMeasure::GetSecondListSize(row.kind), static_cast<int>(row.second));
        EXPECT_EQ(std::set<int>(first.begin(), first.end()).size(), first.size()); // no id twice
        EXPECT_TRUE(std::equal(first.begin(), first.end(), second.begin())); // the second extends the first
        EXPECT_EQ(first[0], 0);
        EXPECT_EQ(first[1], 1);
    }
    EXPECT_EQ(QvCepMeasure::GetRequiredLandmarksWithDerived(1).back(), 58);

    QvCepMeasure m;
    m.SetKeyPoints(Landmarks(24, 100, 0.0)); // only the count matters
    EXPECT_TRUE(m.IsLandmarksComplete(false, 0));
    EXPECT_FALSE(m.IsLandmarksComplete(true, 0));
    m.m_keyPoints.push_back(QvKeyPoint(QvPoint(), 1));
    EXPECT_FALSE(m.IsLandmarksComplete(false, 0));
    EXPECT_TRUE(m.IsLandmarksComplete(true, 0));
    m.SetKeyPoints(Landmarks(55, 0, 0.0));
    EXPECT_TRUE(m.IsLandmarksComplete(true, 1));
}

TEST_F(CepMeasure, PointsOfTheStandardListAndLinesOfHeldPairs)
{
    QvCepMeasure m;
    m.SetKeyPoints(WithKeys({7, 28, 27, 6, 5}));
    const std::vector<MeasurePoint> before(2);
    std::vector<MeasurePoint> points = before;
    m.GetPoints(points);
    // Landmark 27 is needed by the complex analysis only: no point. Order: 5, 6, 7.
    ASSERT_EQ(points.size(), 5u);
    EXPECT_EQ(points[2].m_point, WithKeys({5})[0].m_point);
    EXPECT_EQ(points[3].m_point, WithKeys({6})[0].m_point);
    EXPECT_EQ(points[4].m_point, WithKeys({7})[0].m_point);

    std::vector<MeasureLine> lines;
    m.GetLines(lines);
    ASSERT_EQ(lines.size(), 3u);
    const std::pair<int, int> expected[] = {{5, 6}, {28, 6}, {6, 7}};
    for (std::size_t i = 0; i < 3; ++i)
    {
        EXPECT_EQ(lines[i].m_start, WithKeys({expected[i].first})[0].m_point);
        EXPECT_EQ(lines[i].m_end, WithKeys({expected[i].second})[0].m_point);
        EXPECT_EQ(lines[i].m_color.m_b, 0);
        EXPECT_FALSE(lines[i].m_bDash);
    }
}

TEST_F(CepMeasure, ItemsRangesAndLandmarkUse)
{
    QvCepMeasureItem item;
    EXPECT_EQ(item.m_nId, 16);
    EXPECT_EQ(item.m_nType, 6);
    EXPECT_EQ(item.m_nGroup, 1);
    item.m_dMin = 78.0;
    item.m_dMax = 84.0;
    const struct
    {
        double value;
        bool below;
        bool above;
    } rows[] = {{84.000005, false, false}, {84.00002, false, true}, {77.999995, false, false}, {77.99998, true, false}};
    for (const auto& row : rows)
    {
        item.m_dValue = row.value;
        EXPECT_EQ(item.IsBelowNormal(), row.below) << row.value;
        EXPECT_EQ(item.IsAboveNormal(), row.above) << row.value;
    }

    QvCepMeasureItem distance(4, {}, 2, 3, 1.0, 0.0, 2.0);
    EXPECT_TRUE(distance.UsesLandmark(0));
    EXPECT_TRUE(distance.UsesLandmark(1));
    EXPECT_FALSE(distance.UsesLandmark(5));
    QvCepMeasureItem angle(1, WithKeys({5, 6, 7}), 0, 3, 82.0, 80.0, 84.0);
    EXPECT_FALSE(angle.UsesLandmark(0));
    EXPECT_TRUE(angle.UsesLandmark(6));

    QvCepMeasure m;
    m.m_items = {angle, distance, QvCepMeasureItem(4, {}, 3, 1, 9.0, 0, 0)};
    m.SetItemValue(4, 5.5);
    EXPECT_EQ(m.m_items[1].m_dValue, 5.5);
    EXPECT_EQ(m.m_items[2].m_dValue, 9.0);
    m.SetItemValue(99, 1.0);

    // Assignment copies all but the rectangle; clearing keeps rectangle and option.
    m.m_imageRect.Set(1, 2, 300, 400);
    m.m_bOption = true;
    m.m_nParam1 = 3;
    m.m_curves = Curves(2, 0.0);
    m.SetKeyPoints(WithKeys({5, 6}));
    QvCepMeasure copy;
    copy.m_imageRect.Set(9, 9, 9, 9);
    copy = m;
    EXPECT_EQ(copy.m_items.size(), 3u);
    EXPECT_TRUE(copy.m_bOption);
    EXPECT_EQ(copy.m_nParam1, 3);
    EXPECT_EQ(copy.m_curves.size(), 2u);
    EXPECT_EQ(copy.m_keyPoints.size(), 2u);
    EXPECT_EQ(copy.m_imageRect.m_topLeft.x, 9);
    m.Clear();
    EXPECT_TRUE(m.m_items.empty() && m.m_keyPoints.empty() && m.m_curves.empty());
    EXPECT_EQ(m.m_nParam1, 0);
    EXPECT_EQ(m.m_imageRect.m_bottomRight.y, 400);
    EXPECT_TRUE(m.m_bOption);
    EXPECT_EQ(m.m_nType, 1);
    EXPECT_EQ(m.m_nImageKind, 11);
}

TEST_F(CepMeasure, RecordFormsByVersion)
{
    std::unique_ptr<QvImageMeasure> filled = MakeFilled(1);
    const QvCepMeasure& m = dynamic_cast<const QvCepMeasure&>(*filled);
    const std::size_t landmarks = 4 + 28 * m.m_keyPoints.size();
    std::size_t curves = 4;
    for (const auto& c : m.m_curves)
        curves += 4 + 24 * c.size();

    for (const int version : {0x401, 0x403, 513, 515, 0x100})
        EXPECT_TRUE(RecordBytes(m, version).empty()) << version;
    EXPECT_EQ(RecordBytes(m, 0x404).size(), 12 + landmarks + 8);
    EXPECT_EQ(RecordBytes(m, 516).size(), 12 + landmarks + 8);
    EXPECT_EQ(RecordBytes(m, 518).size(), 9 + landmarks + 8);
    EXPECT_EQ(RecordBytes(m, 519).size(), 9 + landmarks + 8 + curves);
    EXPECT_EQ(RecordBytes(m, 0x8001).size(), 9 + landmarks + 8);
    EXPECT_EQ(RecordBytes(m, 0x8002).size(), 9 + landmarks + 8 + curves);

    QvCepMeasure back;
    std::istringstream none("");
    EXPECT_FALSE(back.Read(none, 0x100, nullptr));

    // Curves read are appended: two records leave both sets.
    const std::string bytes = RecordBytes(m, 0x8005);
    for (int pass = 0; pass < 2; ++pass)
    {
        std::istringstream is(bytes);
        ASSERT_TRUE(back.Read(is, 0x8005, nullptr));
    }
    EXPECT_EQ(back.m_curves.size(), 2 * m.m_curves.size());
    ExpectSameKeyPoints(m.m_keyPoints, back.m_keyPoints);
    EXPECT_TRUE(back.m_bFlag);
}

TEST_F(CepMeasure, OldRecordReplacesTheLandmarksAndDropsItsItems)
{
    struct Row
    {
        int version;
        bool leadingWord;
    };
    for (const Row& row : {Row{1025, true}, Row{1026, true}, Row{1027, false}, Row{513, true}, Row{515, true}})
    {
        SCOPED_TRACE(row.version);
        const std::vector<QvKeyPoint> stored = WithKeys({0, 1, 10, 11, 5});
        const std::string bytes = OldRecord(row.leadingWord, stored, 8, 9);
        QvCepMeasure m;
        m.SetKeyPoints(WithKeys({40, 41, 42, 43, 44, 45, 46}));
        m.m_items.push_back(QvCepMeasureItem());
        m.m_nType = 77;
        std::istringstream is(bytes);
        ASSERT_TRUE(m.Read(is, row.version, nullptr));
        EXPECT_EQ(is.peek(), std::char_traits<char>::eof());
        ExpectSameKeyPoints(stored, m.m_keyPoints);
        EXPECT_EQ(m.m_nParam1, 8);
        EXPECT_EQ(m.m_nParam2, 9);
        EXPECT_EQ(m.m_items.size(), 1u); // the record's two items are not taken
        EXPECT_EQ(m.m_nType, 77);        // the old form has no base record

        qvtest::ExpectReaderSurvivesDamage(bytes, [&](std::istream& s) {
            QvCepMeasure any;
            return any.Read(s, row.version, nullptr);
        });
    }
}

TEST_F(CepMeasure, DamagedRecordsLeaveTheTracingUnchanged)
{
    std::unique_ptr<QvImageMeasure> filled = MakeFilled(1);
    for (const int version : {0x404, 0x8001, 0x8002, 519})
    {
        SCOPED_TRACE(version);
        const std::string bytes = RecordBytes(*filled, version);
        qvtest::ExpectReaderSurvivesDamage(bytes, [&](std::istream& is) {
            std::unique_ptr<QvImageMeasure> target = MakeFilled(1, 0.25);
            std::unique_ptr<QvImageMeasure> before = MakeFilled(1, 0.25);
            const bool ok = target->Read(is, version, nullptr);
            if (!ok)
            {
                const auto& t = dynamic_cast<const QvCepMeasure&>(*target);
                const auto& b = dynamic_cast<const QvCepMeasure&>(*before);
                ExpectSameKeyPoints(b.m_keyPoints, t.m_keyPoints);
                ExpectSameCurves(b.m_curves, t.m_curves);
                EXPECT_EQ(t.m_nParam1, b.m_nParam1);
                EXPECT_EQ(t.m_nImageKind, b.m_nImageKind);
            }
            return ok;
        });
    }
    // Old records with counts that cannot be there.
    for (const std::int32_t words : {-1, 1 << 28})
    {
        std::string bytes = OldRecord(false, WithKeys({0, 1}), 1, 2);
        // The second landmark's word count sits after key (4) and point (24) of both.
        const std::size_t at = 4 + 32 + 28;
        std::memcpy(bytes.data() + at, &words, 4);
        QvCepMeasure m;
        m.SetKeyPoints(WithKeys({3}));
        std::istringstream is(bytes);
        EXPECT_FALSE(m.Read(is, 1027, nullptr)) << words;
        EXPECT_EQ(m.m_keyPoints.size(), 1u);
    }
}

} // namespace
