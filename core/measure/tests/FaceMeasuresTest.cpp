// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <random>
#include <sstream>

#include "core/geometry/QvStreamIO.h"
#include "core/measure/tests/MeasureTestSupport.h"

namespace {

using namespace qvmeasuretest;

class FaceMeasures : public MeasureTest
{
};

void SetReference(int kind, const QvPoint& p0, const QvPoint& p1)
{
    QvImageReference ref;
    ref.m_nImageKind = kind;
    ref.m_keyPoints = {QvKeyPoint(p0, 0), QvKeyPoint(p1, 1)};
    GetImageReferences().push_back(ref);
}

std::vector<QvKeyPoint> At(const std::vector<QvPoint>& points, int firstKey = 0)
{
    std::vector<QvKeyPoint> out;
    for (std::size_t i = 0; i < points.size(); ++i)
        out.emplace_back(points[i], firstKey + static_cast<int>(i));
    return out;
}

template <typename T>
std::vector<T> Overlay(const QvImageMeasure& m)
{
    std::vector<T> out;
    if constexpr (std::is_same_v<T, MeasurePoint>)
        m.GetPoints(out);
    else if constexpr (std::is_same_v<T, MeasureLine>)
        m.GetLines(out);
    else
        m.GetTexts(out);
    return out;
}

void ExpectColor(const QvColor& c, int r, int g, int b)
{
    EXPECT_EQ(c.m_r, r);
    EXPECT_EQ(c.m_g, g);
    EXPECT_EQ(c.m_b, b);
}

void ExpectText(const MeasureText& t, const std::string& text, double x, double y)
{
    EXPECT_EQ(t.m_text, text);
    EXPECT_NEAR(t.m_origin[0], x, 1e-12);
    EXPECT_NEAR(t.m_origin[1], y, 1e-12);
    EXPECT_EQ(t.m_origin[2], 0.0);
    ExpectColor(t.m_color, 255, 255, 0);
    EXPECT_EQ(t.m_nAlpha, 100);
}

// ---- Facial thirds and fifths ---------------------------------------------------------------

TEST_F(FaceMeasures, ThirdsAndFifthsOfTheWorkedExample)
{
    QvFaceRatioMeasure m;
    m.SetKeyPoints(At({{0.5, 0.2, 0}, {0.5, 0.4, 0}, {0.5, 0.7, 0}, {0.5, 0.8, 0}, {0.1, 0.6, 0}, {0.2, 0.6, 0},
                       {0.4, 0.6, 0}, {0.6, 0.6, 0}, {0.7, 0.6, 0}, {0.9, 0.5, 0}}));
    EXPECT_TRUE(m.IsComplete());
    const auto texts = Overlay<MeasureText>(m);
    ASSERT_EQ(texts.size(), 8u);
    ExpectText(texts[0], "2.0", 1.0, 0.15);
    ExpectText(texts[1], "3.0", 1.0, 0.35);
    ExpectText(texts[2], "1.0", 1.0, 0.65);
    const char* fifths[] = {"1.0", "2.0", "2.0", "1.0", "2.0"};
    const double xs[] = {0.1, 0.2, 0.4, 0.6, 0.7};
    for (int k = 0; k < 5; ++k)
        ExpectText(texts[3 + k], fifths[k], xs[k] + 0.01, 0.3);
    EXPECT_TRUE(Overlay<MeasurePoint>(m).empty());

    // Without a reference line the lines shrink to their landmarks.
    const auto lines = Overlay<MeasureLine>(m);
    ASSERT_EQ(lines.size(), 10u);
    for (std::size_t i = 0; i < lines.size(); ++i)
    {
        EXPECT_EQ(lines[i].m_start, m.m_keyPoints[i].m_point);
        EXPECT_EQ(lines[i].m_end, m.m_keyPoints[i].m_point);
        EXPECT_TRUE(lines[i].m_bDash);
    }
    m.m_keyPoints.pop_back();
    EXPECT_FALSE(m.IsComplete());
}

// The ratio texts of one group, worked out here from the definition: every interval
// over the smallest one (the smallest never above 1), printed to one decimal.
std::vector<std::string> ExpectedRatios(const std::vector<double>& coordinates)
{
    std::vector<double> intervals;
    for (std::size_t k = 1; k < coordinates.size(); ++k)
        intervals.push_back(std::abs(coordinates[k] - coordinates[k - 1]));
    const double unit = std::min(1.0, *std::min_element(intervals.begin(), intervals.end()));
    std::vector<std::string> texts;
    for (const double d : intervals)
    {
        char buffer[64];
        std::snprintf(buffer, sizeof(buffer), "%.1f", d / unit);
        texts.emplace_back(buffer);
    }
    return texts;
}

// Face-ratio overlay against an independent computation: texts from their definition,
// lines by their geometry in pixels (along the reference line for the thirds, across
// it for the fifths, centred on their landmark, four reference lengths long).
TEST_F(FaceMeasures, FaceRatioOverlayMatchesAnIndependentComputation)
{
    std::mt19937 rng(7);
    std::uniform_real_distribution<double> unit(0.02, 0.98);
    for (int round = 0; round < 40; ++round)
    {
        SCOPED_TRACE(round);
        ResetImageReferences();
        const double w = 200 + 1800 * unit(rng);
        const double h = 200 + 1800 * unit(rng);
        const QvPoint r0(unit(rng), unit(rng), 0);
        const QvPoint r1(unit(rng), unit(rng), 0);
        SetReference(2, r0, r1);
        QvFaceRatioMeasure m;
        QvImage image(static_cast<int>(w), static_cast<int>(h), 24);
        m.SetImage(&image);
        const double W = image.GetWidth();
        const double H = image.GetHeight();
        const int count = 2 + round % 10;
        std::vector<QvPoint> points;
        for (int i = 0; i < count; ++i)
            points.emplace_back(unit(rng), unit(rng), 0);
        m.SetKeyPoints(At(points));

        const QvVector refPx((r1[0] - r0[0]) * W, (r1[1] - r0[1]) * H, 0);
        const auto lines = Overlay<MeasureLine>(m);
        ASSERT_EQ(lines.size(), points.size());
        for (std::size_t i = 0; i < lines.size(); ++i)
        {
            const QvPoint mid = (lines[i].m_start + (lines[i].m_end - lines[i].m_start) * 0.5);
            EXPECT_NEAR(mid[0], points[i][0], 1e-12);
            EXPECT_NEAR(mid[1], points[i][1], 1e-12);
            const QvVector px((lines[i].m_end[0] - lines[i].m_start[0]) * W,
                              (lines[i].m_end[1] - lines[i].m_start[1]) * H, 0);
            EXPECT_NEAR(px.Length(), 4.0 * refPx.Length(), 1e-9 * refPx.Length());
            const double cosine = px.Dot(refPx) / (px.Length() * refPx.Length());
            EXPECT_TRUE(lines[i].m_bDash);
            if (i < 4)
            {
                EXPECT_NEAR(cosine, 1.0, 1e-9);
                ExpectColor(lines[i].m_color, 0, 0, 255);
            }
            else
            {
                EXPECT_NEAR(cosine, 0.0, 1e-9);
                ExpectColor(lines[i].m_color, 0, 255, 0);
            }
        }

        std::vector<double> ys;
        std::vector<double> xs;
        for (int i = 0; i < count; ++i)
            (i < 4 ? ys.push_back(points[i][1]) : xs.push_back(points[i][0]));
        std::vector<std::string> expected;
        if (ys.size() >= 2 && !xs.empty())
            expected = ExpectedRatios(ys);
        const std::size_t thirds = expected.size();
        if (xs.size() >= 2)
            for (const std::string& t : ExpectedRatios(xs))
                expected.push_back(t);
        const auto texts = Overlay<MeasureText>(m);
        ASSERT_EQ(texts.size(), expected.size());
        for (std::size_t k = 0; k < texts.size(); ++k)
        {
            EXPECT_EQ(texts[k].m_text, expected[k]);
            if (k < thirds)
                ExpectText(texts[k], expected[k], xs.back() + 0.1, ys[k] - 0.05);
            else
                ExpectText(texts[k], expected[k], xs[k - thirds] + 0.01, ys[0] + 0.1);
        }
    }
}

TEST_F(FaceMeasures, RatiosWithAZeroIntervalAreNotShown)
{
    QvFaceRatioMeasure m;
    // Thirds 1 and 2 at the same height: their group has a zero divisor.
    m.SetKeyPoints(At({{0.5, 0.2, 0}, {0.5, 0.4, 0}, {0.5, 0.4, 0}, {0.5, 0.8, 0}, {0.1, 0.6, 0}, {0.3, 0.6, 0}}));
    auto texts = Overlay<MeasureText>(m);
    ASSERT_EQ(texts.size(), 1u);
    ExpectText(texts[0], "1.0", 0.11, 0.3);

    // Fifths 0 and 1 at the same place as well: nothing at all.
    m.m_keyPoints[5].m_point = m.m_keyPoints[4].m_point;
    EXPECT_TRUE(Overlay<MeasureText>(m).empty());

    // A landmark that is not a number gives no text either.
    m.SetKeyPoints(At({{0.5, 0.2, 0}, {0.5, std::nan(""), 0}, {0.5, 0.7, 0}, {0.5, 0.8, 0}, {0.1, 0.6, 0},
                       {0.3, 0.6, 0}}));
    texts = Overlay<MeasureText>(m);
    ASSERT_EQ(texts.size(), 1u);
    ExpectText(texts[0], "1.0", 0.11, 0.3);

    // Thirds without a fifths landmark have no place: no text, no crash.
    m.SetKeyPoints(At({{0.5, 0.2, 0}, {0.5, 0.4, 0}, {0.5, 0.7, 0}}));
    EXPECT_TRUE(Overlay<MeasureText>(m).empty());
    m.SetKeyPoints({});
    EXPECT_TRUE(Overlay<MeasureText>(m).empty());
    EXPECT_TRUE(Overlay<MeasureLine>(m).empty());
}

// ---- Lines of the face photos -----------------------------------------------------------------

TEST_F(FaceMeasures, NasalAestheticAndMidlines)
{
    SetReference(1, QvPoint(0.1, 0.5, 0), QvPoint(0.9, 0.5, 0));
    QvImage image(1000, 800, 24);

    QvNoseVerticalLineMeasure nose;
    EXPECT_TRUE(Overlay<MeasureLine>(nose).empty());
    EXPECT_FALSE(nose.IsComplete());
    nose.SetImage(&image);
    nose.SetKeyPoints(At({{0.4, 0.3, 0}}));
    EXPECT_TRUE(nose.IsComplete());
    auto lines = Overlay<MeasureLine>(nose);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].m_start, QvPoint(0.4, 0.3, 0));
    EXPECT_EQ(lines[0].m_end, QvPoint(0.4, -0.2, 0)); // half the normal (0, -1)
    ExpectColor(lines[0].m_color, 255, 255, 0);
    EXPECT_FALSE(lines[0].m_bDash);
    EXPECT_EQ(Overlay<MeasurePoint>(nose).size(), 1u);

    QvBeautyLineMeasure beauty;
    beauty.SetKeyPoints(At({{0.3, 0.4, 0}}));
    EXPECT_TRUE(Overlay<MeasureLine>(beauty).empty());
    EXPECT_FALSE(beauty.IsComplete());
    beauty.SetKeyPoints(At({{0.3, 0.4, 0}, {0.5, 0.6, 0}}));
    lines = Overlay<MeasureLine>(beauty);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].m_start, QvPoint(0.7, 0.8, 0));
    EXPECT_EQ(lines[0].m_end, QvPoint(0.1, 0.2, 0));

    QvMiddleLineMeasure middle;
    middle.SetKeyPoints(At({{0.5, 0.2, 0}}));
    EXPECT_TRUE(Overlay<MeasureLine>(middle).empty());
    EXPECT_EQ(Overlay<MeasurePoint>(middle).size(), 1u);
    middle.SetKeyPoints(At({{0.5, 0.2, 0}, {0.5, 0.3, 0}, {0.1, 0.1, 0}, {0.2, 0.2, 0}}));
    EXPECT_TRUE(middle.IsComplete());
    EXPECT_EQ(Overlay<MeasurePoint>(middle).size(), 2u);
    lines = Overlay<MeasureLine>(middle);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].m_start, QvPoint(0.5, 0.5, 0));
    EXPECT_EQ(lines[0].m_end, QvPoint(0.5, 0.0, 0));
}

// ---- Chin prominence ---------------------------------------------------------------------------

TEST_F(FaceMeasures, ChinProminenceLineIsPerpendicularInPixels)
{
    QvChinProminenceMeasure m;
    m.SetValue(3.456);
    const QvPoint a(0.30, 0.40, 0);
    const QvPoint b(0.45, 0.75, 0);
    const QvPoint c(0.52, 0.61, 0);
    m.SetKeyPoints({QvKeyPoint(c, 71), QvKeyPoint(a, 69), QvKeyPoint(b, 70)});
    ASSERT_TRUE(m.IsComplete());
    EXPECT_TRUE(Overlay<MeasureLine>(m).empty()); // no image: no pixel scale

    QvImage image(1200, 900, 24);
    m.SetImage(&image);
    const auto lines = Overlay<MeasureLine>(m);
    ASSERT_EQ(lines.size(), 1u);
    const QvVector chinPx((b[0] - a[0]) * 1200, (b[1] - a[1]) * 900, 0);
    const QvVector linePx((lines[0].m_end[0] - lines[0].m_start[0]) * 1200,
                          (lines[0].m_end[1] - lines[0].m_start[1]) * 900, 0);
    EXPECT_NEAR(chinPx.Dot(linePx), 0.0, 1e-9 * chinPx.SquaredLength());
    EXPECT_NEAR(linePx.Length(), 1.5 * chinPx.Length(), 1e-9);
    // A third of the line lies before landmark 71, two thirds after it.
    const QvVector before((c[0] - lines[0].m_start[0]) * 1200, (c[1] - lines[0].m_start[1]) * 900, 0);
    EXPECT_NEAR(before.Length(), 0.5 * chinPx.Length(), 1e-9);

    const auto points = Overlay<MeasurePoint>(m);
    ASSERT_EQ(points.size(), 1u);
    EXPECT_EQ(points[0].m_point, c);
    auto texts = Overlay<MeasureText>(m);
    ASSERT_EQ(texts.size(), 1u);
    ExpectText(texts[0], "3.46mm", 0, 0);

    // Four landmarks: not complete; the text stays.
    m.m_keyPoints.push_back(QvKeyPoint(c, 5));
    EXPECT_TRUE(Overlay<MeasurePoint>(m).empty());
    EXPECT_TRUE(Overlay<MeasureLine>(m).empty());
    EXPECT_EQ(Overlay<MeasureText>(m).size(), 1u);

    // Without landmark 71 the line stands around the origin.
    m.SetKeyPoints({QvKeyPoint(c, 72), QvKeyPoint(a, 69), QvKeyPoint(b, 70)});
    const auto around = Overlay<MeasureLine>(m);
    ASSERT_EQ(around.size(), 1u);
    const QvPoint mid = around[0].m_start + (around[0].m_end - around[0].m_start) * (1.0 / 3.0);
    EXPECT_NEAR(mid[0], 0.0, 1e-12);
    EXPECT_NEAR(mid[1], 0.0, 1e-12);

    m.SetValue(std::numeric_limits<double>::infinity());
    EXPECT_TRUE(Overlay<MeasureText>(m).empty());
    m.SetValue(-0.001);
    ExpectText(Overlay<MeasureText>(m).at(0), "0.00mm", 0, 0);

    m.Clear();
    EXPECT_TRUE(m.m_keyPoints.empty());
    EXPECT_EQ(m.m_dValue, 0.0);
}

// ---- GALL -------------------------------------------------------------------------------------

TEST_F(FaceMeasures, GallShowsFourPointsAndItsValueWhenComplete)
{
    QvFaceGallMeasure m;
    std::vector<QvKeyPoint> landmarks = Landmarks(8, 58, 0.0);
    m.SetKeyPoints(landmarks);
    m.SetValue(0, 12.345);
    m.SetCurves(Curves(3, 0.0));
    EXPECT_FALSE(m.IsComplete());
    EXPECT_EQ(Overlay<MeasurePoint>(m).size(), 4u);
    EXPECT_TRUE(Overlay<MeasureText>(m).empty());

    m.SetCurvePair(false, Curves(2, 0.5)); // indices 2 and 3
    ASSERT_EQ(m.m_curves.size(), 4u);
    ExpectSameCurves(Curves(2, 0.5), {m.m_curves[2], m.m_curves[3]});
    ASSERT_TRUE(m.IsComplete());
    const auto texts = Overlay<MeasureText>(m);
    ASSERT_EQ(texts.size(), 1u);
    ExpectText(texts[0], "12.35mm", landmarks[4].m_point[0], landmarks[4].m_point[1]); // key 62

    EXPECT_TRUE(m.IsStageComplete(true));
    EXPECT_FALSE(m.IsStageComplete(false));
    m.SetKeyPoints(Landmarks(2, 0, 0.0));
    EXPECT_TRUE(m.IsStageComplete(false));
    EXPECT_EQ(Overlay<MeasurePoint>(m).size(), 2u);
    EXPECT_EQ(m.GetValue(5), 0.0);

    // A pair for the second half into a short list grows it.
    QvFaceGallMeasure fresh;
    fresh.SetCurvePair(false, Curves(2, 0.0));
    EXPECT_EQ(fresh.m_curves.size(), 4u);
    EXPECT_TRUE(fresh.m_curves[0].empty());
    fresh.SetCurvePair(true, Curves(1, 0.25));
    ExpectSameCurves(Curves(1, 0.25), {fresh.m_curves[0]});

    m.m_nParam = 3;
    m.SetFrame(QvFrame(QvPoint(1, 1, 1), QvVector(1, 0, 0), QvVector(0, 1, 0)), 2.0);
    m.Clear();
    EXPECT_EQ(m.m_nParam, 3);
    EXPECT_TRUE(m.m_keyPoints.empty() && m.m_values.empty() && m.m_curves.empty());
    EXPECT_FALSE(m.m_frame.IsValid());
    EXPECT_EQ(m.m_dFrameValue, 0.0);
}

// ---- Jaw-bone heights and panoramic --------------------------------------------------------

TEST_F(FaceMeasures, JawBoneHeightsMergeWhatTheyRead)
{
    QvJawBoneHeightsMeasure source;
    source.SetHeight(3, 30.0);
    source.SetHeight(1, 10.0);
    const std::string bytes = RecordBytes(source, 0x8003);
    QvJawBoneHeightsMeasure target;
    target.SetHeight(1, -1.0);
    target.SetHeight(2, 20.0);
    std::istringstream is(bytes);
    ASSERT_TRUE(target.Read(is, 0x8003, nullptr));
    EXPECT_EQ(target.m_heights.size(), 3u);
    EXPECT_EQ(target.GetHeight(1), 10.0);
    EXPECT_EQ(target.GetHeight(2), 20.0);
    EXPECT_EQ(target.GetHeight(4), 0.0);
    EXPECT_FALSE(target.IsComplete());
    target.SetHeight(4, 1.0);
    EXPECT_TRUE(target.IsComplete());
    target.SetKeyPoints(Landmarks(2, 0, 0.0));
    target.Clear();
    EXPECT_TRUE(target.m_keyPoints.empty());
    EXPECT_EQ(target.m_heights.size(), 4u);

    // A negative count is damage, not "no heights".
    std::string damaged = RecordBytes(QvJawBoneHeightsMeasure(), 0x8003);
    damaged.replace(damaged.size() - 4, 4, std::string("\xff\xff\xff\xff", 4));
    std::istringstream ds(damaged);
    EXPECT_FALSE(target.Read(ds, 0x8003, nullptr));
    EXPECT_EQ(target.m_heights.size(), 4u);
}

TEST_F(FaceMeasures, PanRecordAndMarks)
{
    QvPanMeasure pan;
    pan.SetPanPoints({{3, 12, QvPoint(0.2, 0.3, 0), false}, {7, 25, QvPoint(1.0, 0.0, 0), false}});
    pan.m_nParam1 = 5;
    pan.m_nParam2 = 6;
    for (const int version : {514, 1025, 1027, 0x8003})
    {
        SCOPED_TRACE(version);
        const std::string bytes = qvtest::BytesOf([&](std::ostream& os) { pan.WritePanRecord(os, version); });
        const bool tagged = version == 514 || version == 1025;
        EXPECT_EQ(bytes.size(), (tagged ? 4u : 0u) + 4 + 2 * 32 + 8);
        std::int32_t first = 0;
        std::memcpy(&first, bytes.data(), 4);
        EXPECT_EQ(first, tagged ? 4001 : 2);

        QvPanMeasure back;
        back.SetPanPoints({{1, 1, QvPoint(), false}, {1, 1, QvPoint(), false}, {1, 1, QvPoint(), false}});
        std::istringstream is(bytes);
        ASSERT_TRUE(back.ReadPanRecord(is, version));
        ASSERT_EQ(back.m_panPoints.size(), 2u);
        EXPECT_EQ(back.m_panPoints[1].m_nCodeB, 25);
        EXPECT_TRUE(back.m_panPoints[0].m_bSet && back.m_panPoints[1].m_bSet);
        EXPECT_EQ(back.m_nParam2, 6);
        qvtest::ExpectReaderSurvivesDamage(bytes, [&](std::istream& s) {
            QvPanMeasure any;
            return any.ReadPanRecord(s, version);
        });
    }

    EXPECT_TRUE((QvPanPoint{0, 0, QvPoint(-1e-8, 1.0 + 1e-8, 0), false}).IsValid());
    EXPECT_FALSE((QvPanPoint{8, 0, QvPoint(0.5, 0.5, 0), false}).IsValid());
    EXPECT_FALSE((QvPanPoint{-1, 0, QvPoint(0.5, 0.5, 0), false}).IsValid());
    EXPECT_FALSE((QvPanPoint{0, 26, QvPoint(0.5, 0.5, 0), false}).IsValid());
    EXPECT_FALSE((QvPanPoint{0, 0, QvPoint(0.5, 1.01, 0), false}).IsValid());

    // Assignment copies only the marks; clearing keeps the landmarks.
    QvPanMeasure copy;
    copy.m_nType = 9;
    copy = pan;
    EXPECT_EQ(copy.m_panPoints.size(), 2u);
    EXPECT_EQ(copy.m_nParam1, 5);
    EXPECT_EQ(copy.m_nType, 9);
    copy.SetKeyPoints(Landmarks(2, 0, 0.0));
    copy.Clear();
    EXPECT_TRUE(copy.m_panPoints.empty());
    EXPECT_EQ(copy.m_nParam1, 0);
    EXPECT_EQ(copy.m_keyPoints.size(), 2u);
}

} // namespace
