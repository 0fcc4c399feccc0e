// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <cmath>

#include "core/measure/RVCepCurve.h"
#include "core/measure/QvCepMeasure.h"

namespace {

struct Rect : RVCepCurveDataSource
{
    RVRectF getImageRect() const override { return RVRectF{0, 0, 200, 200}; }
};

// A measure on a 200 x 200 image whose landmarks sit at the given pixels.
std::unique_ptr<QvCepMeasure> MeasureWith(const std::vector<std::pair<int, QvGDIPoint>>& landmarks)
{
    auto m = std::make_unique<QvCepMeasure>();
    const QvImage image(200, 200, 32);
    m->SetImage(&image);
    for (const auto& [id, p] : landmarks)
        m->AddKeyPoint(QvKeyPoint(QvPoint(p.x / 200.0, p.y / 200.0, 0), id));
    return m;
}

// An open border tied to Me and T2 at its ends, with Gn off the curve. The case is the
// template scaled by 1.5 and moved by (5, 5): free points land on whole pixels plus a half.
struct Border
{
    Border()
        : measure(MeasureWith({{POINT_Me, {20, 20}}, {POINT_T2, {170, 20}}, {POINT_Gn, {95, 170}}}))
    {
        curve.setFitPoints({{10, 10}, {41, 41}, {61, 61}, {81, 41}, {110, 10}});
        curve.setDrivenPoints({{10, 10}, {110, 10}, {60, 110}});
        curve.setDrivenTypes({POINT_Me, POINT_T2, POINT_Gn});
        curve.setCepMeasure(measure.get());
        curve.setDataSource(&rect);
        curve.generateCurveWitType(0);
    }
    Rect rect;
    std::unique_ptr<QvCepMeasure> measure;
    RVCepCurve curve;
};

TEST(CepCurve, BuildsFromTheTemplateWithTiedPointsOnTheirLandmarks)
{
    Border b;
    ASSERT_NE(b.curve.curve(), nullptr);
    EXPECT_EQ(b.curve.idType(), (std::map<int, MEASURE_POINT>{{0, POINT_Me}, {4, POINT_T2}}));
    const std::vector<QvPoint>& real = b.curve.realFitPts();
    ASSERT_EQ(real.size(), 5u);
    EXPECT_EQ(real[0], QvPoint(20, 20, 0));
    EXPECT_EQ(real[4], QvPoint(170, 20, 0));
    EXPECT_EQ(real[2], QvPoint(96.5, 96.5, 0));
    EXPECT_EQ(b.curve.ratioPts()[2][0], 96 / 200.0);
    // The handles are the three free points.
    const std::vector<RVPointF> handles = b.curve.crtlPoints();
    ASSERT_EQ(handles.size(), 3u);
    EXPECT_EQ(handles[0], (RVPointF{66.5, 66.5}));
    // Cubic Bezier pieces, joints once: 3 per piece and the last point.
    const std::vector<RVPointF> polygon = b.curve.curvePoints();
    ASSERT_GE(polygon.size(), 4u);
    EXPECT_EQ((polygon.size() - 1) % 3, 0u);
    EXPECT_NEAR(polygon.front().x, 20, 1e-9);
    EXPECT_NEAR(polygon.back().x, 170, 1e-9);

    // A tied point follows its landmark; a second initial build changes nothing.
    for (QvKeyPoint& p : b.measure->m_keyPoints)
        if (p.m_nKey == POINT_Me)
            p.m_point = QvPoint(30 / 200.0, 24 / 200.0, 0);
    const QvBSplineCurve* before = b.curve.curve();
    b.curve.generateCurveWitType(0);
    b.curve.generateCurveWitType(7);
    EXPECT_EQ(b.curve.curve(), before);
    b.curve.generateCurveWitType(1);
    EXPECT_EQ(b.curve.realFitPts()[0], QvPoint(30, 24, 0));
    EXPECT_EQ(b.curve.realFitPts()[2], QvPoint(96, 96, 0)); // whole pixels from the ratio points

    b.curve.clear();
    EXPECT_EQ(b.curve.curve(), nullptr);
    EXPECT_TRUE(b.curve.curvePoints().empty());
    EXPECT_TRUE(b.curve.crtlPoints().empty());
}

TEST(CepCurve, AffineFit)
{
    // Two landmarks get a third at a right angle: rotation, uniform scale and shift.
    const std::vector<QvGDIPoint> templ = {{0, 0}, {10, 0}, {0, -10}};
    const std::vector<QvGDIPoint> cases = {{100, 100}, {100, 120}, {120, 100}};
    QvMatrix m(4, 4);
    ASSERT_TRUE(RVCepCurve::lSaffineTransMatrix2DWithVecPtSrc({{0, 0, 0}, {10, 0, 0}, {0, -10, 0}},
                                                              {{100, 100, 0}, {100, 120, 0}, {120, 100, 0}}, m));
    const double expected[2][4] = {{0, -2, 0, 100}, {2, 0, 0, 100}};
    for (int r = 0; r < 2; ++r)
        for (int c = 0; c < 4; ++c)
            EXPECT_NEAR(m[r][c], expected[r][c], 1e-9) << r << c;
    EXPECT_EQ(m[2][2], 1.0);
    EXPECT_EQ(m[3][3], 1.0);

    // A free point lands on whole pixels plus half a pixel: (12.7, 40.2) gives (12.5, 40.5).
    const auto curve = RVCepCurve::createCurveByTemplateMeasurePts({{0, 0}, {10, 0}, {0, 10}},
                                                                   {{0, 0}, {127, 0}, {0, 402}},
                                                                   {{0, 0}, {1, 1}, {10, 0}}, false);
    ASSERT_NE(curve, nullptr);
    EXPECT_EQ(curve->m_dataPoints[0], QvPoint(0, 0, 0));
    EXPECT_EQ(curve->m_dataPoints[1], QvPoint(12.5, 40.5, 0));
    EXPECT_EQ(curve->m_dataPoints[2], QvPoint(127, 0, 0));

    // Template landmarks on one line have no fit: nothing, and the matrix untouched.
    QvMatrix untouched(4, 4);
    untouched.SetIdentity();
    EXPECT_FALSE(RVCepCurve::lSaffineTransMatrix2DWithVecPtSrc({{0, 0, 0}, {10, 0, 0}, {20, 0, 0}},
                                                               {{0, 0, 0}, {5, 5, 0}, {9, 1, 0}}, untouched));
    EXPECT_TRUE(untouched.IsIdentity());
    EXPECT_EQ(RVCepCurve::createCurveByTemplateMeasurePts({{0, 0}, {10, 0}, {20, 0}}, {{0, 0}, {5, 5}, {9, 1}},
                                                          {{0, 0}, {5, 0}}, false),
              nullptr);
    EXPECT_EQ(RVCepCurve::createCurveByTemplateMeasurePts({{0, 0}, {10, 0}}, {{0, 0}, {5, 5}}, {{0, 0}}, false),
              nullptr);
}

// The fit points (0, 0), (5, 3), (10, 0), built on the measure; the one or two driven
// landmarks sit at template (0, 0) and (10, 0).
void BuildToothCurve(RVCepCurve& curve, QvCepMeasure* measure, const std::vector<MEASURE_POINT>& driven)
{
    curve.setFitPoints({{0, 0}, {5, 3}, {10, 0}});
    const std::vector<QvGDIPoint> ends = {{0, 0}, {10, 0}};
    curve.setDrivenPoints(std::vector<QvGDIPoint>(ends.begin(), ends.begin() + static_cast<long>(driven.size())));
    curve.setDrivenTypes(driven);
    curve.setCepMeasure(measure);
    curve.generateCurveWitType(0);
}

TEST(CepCurve, TwoDrivenLandmarksAndMissingOnes)
{
    auto measure = MeasureWith({{POINT_UI, {100, 100}}, {POINT_UIA, {100, 115}}});
    RVCepCurve curve;
    BuildToothCurve(curve, measure.get(), {POINT_UI, POINT_UIA});
    ASSERT_NE(curve.curve(), nullptr);
    EXPECT_EQ(curve.realFitPts()[2], QvPoint(100, 115, 0));
    // (5, 3) turned a quarter and scaled by 1.5: (100 - 4.5, 100 + 7.5), to whole pixels plus a half.
    EXPECT_EQ(curve.realFitPts()[1], QvPoint(95.5, 107.5, 0));
    // Curves of the incisors and molars never drag and show no handles.
    for (const MEASURE_POINT fixed : {POINT_U6D, POINT_L6D, POINT_UIA, POINT_LIA})
    {
        auto tooth = MeasureWith({{POINT_UI, {100, 100}}, {fixed, {100, 115}}});
        RVCepCurve shape;
        BuildToothCurve(shape, tooth.get(), {POINT_UI, fixed});
        ASSERT_NE(shape.curve(), nullptr) << fixed;
        EXPECT_TRUE(shape.crtlPoints().empty()) << fixed;
        EXPECT_FALSE(shape.onLButtonDownWithPoint({95, 107})) << fixed;
        EXPECT_EQ(shape.dragId(), -1);
    }

    // A driven landmark the case lacks: no curve rather than one pulled to the corner.
    auto partial = MeasureWith({{POINT_UI, {100, 100}}});
    RVCepCurve missing;
    BuildToothCurve(missing, partial.get(), {POINT_UI, POINT_UIA});
    EXPECT_EQ(missing.curve(), nullptr);
    EXPECT_TRUE(missing.realFitPts().empty());
    EXPECT_FALSE(missing.onLButtonDownWithPoint({0, 0}));
    // One driven landmark is too few.
    RVCepCurve one;
    BuildToothCurve(one, measure.get(), {POINT_UI});
    EXPECT_EQ(one.curve(), nullptr);
}

TEST(CepCurve, Dragging)
{
    Border b;
    // Data point 1 is at (66.5, 66.5): Manhattan 7 from (69, 70) counts, 8 from (70, 70) not.
    EXPECT_FALSE(b.curve.onLButtonDownWithPoint({70, 70}));
    EXPECT_EQ(b.curve.dragId(), -1);
    EXPECT_FALSE(b.curve.onMouseMoveWithPoint({75, 75}));
    ASSERT_TRUE(b.curve.onLButtonDownWithPoint({69, 70}));
    EXPECT_EQ(b.curve.dragId(), 1);

    // Within 4 of data point 2 (at 96, 96 in whole pixels) the move is refused; at 5 made.
    EXPECT_FALSE(b.curve.isSafeMoveWithPoint({94, 98}));
    EXPECT_FALSE(b.curve.onMouseMoveWithPoint({94, 98}));
    EXPECT_EQ(b.curve.realFitPts()[1], QvPoint(66.5, 66.5, 0));
    ASSERT_TRUE(b.curve.onMouseMoveWithPoint({93, 98}));
    EXPECT_EQ(b.curve.realFitPts()[1], QvPoint(93, 98, 0));
    EXPECT_EQ(b.curve.curve()->m_dataPoints[1], QvPoint(93, 98, 0));
    EXPECT_EQ(b.curve.ratioPts()[1][0], 93 / 200.0);

    // Outside the image rectangle, or without a data source, nothing moves.
    EXPECT_FALSE(b.curve.onMouseMoveWithPoint({250, 10}));
    b.curve.setDataSource(nullptr);
    EXPECT_FALSE(b.curve.onMouseMoveWithPoint({60, 150}));
    EXPECT_EQ(b.curve.realFitPts()[1], QvPoint(93, 98, 0));
    b.curve.onLButtonUp();
    EXPECT_EQ(b.curve.dragId(), -1);
}

TEST(CepCurve, Conversions)
{
    const RVSizeF size{1001, 801};
    const QvGDIPoint p = RVCepCurve::calculatePointWithImageSize(size, QvPoint(0.5, 0.25, 0));
    EXPECT_EQ(p, QvGDIPoint(501, 200));
    const QvPoint r = RVCepCurve::calculateRatioWithImageSize(size, p);
    EXPECT_NEAR(r[0], 0.5005, 5e-5);
    EXPECT_NEAR(r[1], 0.2497, 5e-5);
    EXPECT_EQ(r[2], 0.0);
}

} // namespace
