// SPDX-License-Identifier: GPL-3.0-or-later
// The plane records, and everything that reads the cephalometric tracing: the plane
// placements and the view frame of the jaw reference set.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <map>
#include <sstream>

#include "core/geometry/QvStreamIO.h"
#include "core/model/QvJawRef.h"
#include "core/model/QvModel.h"
#include "core/model/QvModelLinks.h"
#include "core/model/QvRefPlane.h"
#include "testing/ByteSweep.h"

namespace {

// ---------------------------------------------------------------- records

QvFrame OddFrame()
{
    // Axes that are neither unit nor orthogonal: a record keeps them as they are.
    QvFrame frame;
    frame.m_centre = QvPoint(1.5, -2.25, 3.0);
    frame.m_dirX = QvVector(2.0, 0.1, 0.0);
    frame.m_dirY = QvVector(0.3, 3.0, 0.2);
    frame.m_dirZ = QvVector(0.0, 0.0, 7.0);
    return frame;
}

bool BitwiseEqual(const QvFrame& a, const QvFrame& b)
{
    const auto same = [](const double* x, const double* y) { return std::memcmp(x, y, 3 * sizeof(double)) == 0; };
    return same(a.m_centre.m_coord, b.m_centre.m_coord) && same(a.m_dirX.m_coord, b.m_dirX.m_coord) &&
           same(a.m_dirY.m_coord, b.m_dirY.m_coord) && same(a.m_dirZ.m_coord, b.m_dirZ.m_coord);
}

template <typename Plane>
std::string BytesOf(const Plane& plane)
{
    return qvtest::BytesOf([&](std::ostream& os) { plane.Write(os, 0); });
}

TEST(RefPlaneRecord, FrameSizeAndPointsComeBackAsWritten)
{
    QvMiddlePlane plane;
    plane.Set(OddFrame(), {QvPoint(1, 2, 3), QvPoint(4, 5, 6)}, 12.5);
    const std::string bytes = BytesOf(plane);
    EXPECT_EQ(bytes.size(), 96u + 8u + 4u + 2u * 24u);
    std::istringstream in(bytes);
    QvMiddlePlane back;
    back.m_points.resize(5); // a longer list is shortened
    ASSERT_TRUE(back.Read(in, 1043));
    EXPECT_TRUE(BitwiseEqual(back.m_frame, plane.m_frame));
    EXPECT_EQ(back.m_dSize, 12.5);
    EXPECT_TRUE(back == plane);

    QvOpPlane empty;
    empty.Set(OddFrame(), {}, 3.0);
    std::istringstream emptyIn(BytesOf(empty));
    QvOpPlane emptyBack;
    emptyBack.m_points = {QvPoint(9, 9, 9)};
    ASSERT_TRUE(emptyBack.Read(emptyIn, 0));
    EXPECT_TRUE(emptyBack.m_points.empty());
    EXPECT_TRUE(BitwiseEqual(emptyBack.m_frame, OddFrame()));
    EXPECT_EQ(emptyBack.m_dSize, 3.0);
}

TEST(RefPlaneRecord, AestheticPlaneAlwaysCarriesTheLipCount)
{
    QvBeautyPlane plane;
    plane.Set(OddFrame(), {QvPoint(1, 2, 3)}, {}, 2.0);
    const std::string bytes = BytesOf(plane);
    EXPECT_EQ(bytes.size(), 96u + 8u + 4u + 24u + 4u);
    plane.m_lipPoints = {QvPoint(0, 1, 0), QvPoint(0, 2, 0)};
    std::istringstream in(BytesOf(plane));
    QvBeautyPlane back;
    ASSERT_TRUE(back.Read(in, 0));
    ASSERT_EQ(back.m_lipPoints.size(), 2u);
    EXPECT_TRUE(back.m_lipPoints[1] == QvPoint(0, 2, 0));
    EXPECT_EQ(in.peek(), std::char_traits<char>::eof());
}

TEST(RefPlaneRecord, DamagedRecordsFailAndChangeNothing)
{
    QvBeautyPlane beauty;
    beauty.Set(OddFrame(), {QvPoint(1, 2, 3), QvPoint(3, 2, 1)}, {QvPoint(0, 0, 1)}, 2.0);
    qvtest::ExpectReaderSurvivesDamage(BytesOf(beauty), [](std::istream& is) {
        QvBeautyPlane target;
        target.m_dSize = 77.0;
        const bool ok = target.Read(is, 0);
        if (!ok)
        {
            EXPECT_EQ(target.m_dSize, 77.0);
            EXPECT_TRUE(target.m_points.empty());
        }
        return ok;
    });
    QvBackBoundaryPlane back;
    back.Set(OddFrame(), {QvPoint(1, 2, 3)}, 2.0);
    qvtest::ExpectReaderSurvivesDamage(BytesOf(back), [](std::istream& is) {
        QvBackBoundaryPlane target;
        return target.Read(is, 0);
    });

    // A negative count is no list.
    std::string bytes = BytesOf(back);
    const std::int32_t negative = -1;
    std::memcpy(bytes.data() + 104, &negative, 4);
    std::istringstream in(bytes);
    QvBackBoundaryPlane target;
    EXPECT_FALSE(target.Read(in, 0));
    EXPECT_EQ(target.m_dSize, 0.0);
}

TEST(RefPlaneRecord, MidSagittalEquality)
{
    QvMiddlePlane a;
    a.Set(QvFrame(QvPoint(0, 0, 0), QvVector(0, 1, 0), QvVector(0, 0, 1)), {QvPoint(1, 1, 1)}, 10.0);
    QvMiddlePlane b = a;
    EXPECT_TRUE(a == a);
    EXPECT_TRUE(a == b);
    b.m_dSize = 10.0 + 5e-8; // within the zero test
    EXPECT_TRUE(a == b);
    b.m_dSize = 10.001;
    EXPECT_FALSE(a == b);
    b = a;
    b.m_points[0] = QvPoint(1, 1, 1.001);
    EXPECT_FALSE(a == b);
    b = a;
    b.m_points.push_back(QvPoint());
    EXPECT_FALSE(a == b);
    b = a;
    b.m_frame.m_centre = QvPoint(0, 0, 1);
    EXPECT_FALSE(a == b);
}

// ---------------------------------------------------------------- the tracing

struct FakeTracing
{
    int type;
    bool flag;
    std::map<int, QvPoint> landmarks;
    bool complete = true;
};

QvImageMeasure* AsMeasure(FakeTracing* m) { return reinterpret_cast<QvImageMeasure*>(m); }
FakeTracing* AsFake(const QvImageMeasure* m)
{
    return reinterpret_cast<FakeTracing*>(const_cast<QvImageMeasure*>(m));
}

QvImageMeasureOps TracingOps(bool withLandmarks = true)
{
    QvImageMeasureOps ops;
    ops.create = [](int type) { return AsMeasure(new FakeTracing{type, false, {}}); };
    ops.destroy = [](QvImageMeasure* m) { delete AsFake(m); };
    ops.getType = [](const QvImageMeasure* m) { return AsFake(m)->type; };
    ops.getImageKind = [](const QvImageMeasure*) { return 3; };
    ops.getFlag = [](const QvImageMeasure* m) { return AsFake(m)->flag; };
    ops.setFlag = [](QvImageMeasure* m, bool f) { AsFake(m)->flag = f; };
    ops.clearImageReferences = [] {};
    if (withLandmarks)
    {
        ops.findKeyPoint = [](const QvImageMeasure* m, int key, QvPoint& out) {
            const auto& landmarks = AsFake(m)->landmarks;
            const auto it = landmarks.find(key);
            if (it == landmarks.end())
                return false;
            out = it->second;
            return true;
        };
        ops.isLandmarksComplete = [](const QvImageMeasure* m, bool second, int) { return second && AsFake(m)->complete; };
    }
    return ops;
}

// The mid-sagittal plane is x = 0 (frame Z along +x). The image segment runs from
// (0, 0) to (10, 0); the model segment from p2 to p3.
class Tracing : public ::testing::Test
{
public:
    void SetUp() override
    {
        ASSERT_TRUE(QvSetImageMeasureOps(TracingOps()));
        tracing = AsFake(model.CreateImageMeasure(kQvCepMeasureType, false));
        ASSERT_NE(tracing, nullptr);
        model.m_bbox.Set(QvPoint(-10, -10, -10), QvPoint(10, 10, 10));
        jawRef().SetMiddlePlane(QvFrame(QvPoint(0, 0, 0), QvVector(0, 1, 0), QvVector(0, 0, 1)), {}, 20.0);
        jawRef().SetBeautyPlane(QvFrame(), Points(), {QvPoint(), QvPoint()}, 1.0);
    }

    QvJawRef& jawRef() { return *model.GetJawRef(); }
    static std::vector<QvPoint> Points() { return {QvPoint(0, 0, 0), QvPoint(10, 0, 0), p2, p3}; }
    // Where the image line through a and b crosses the image segment, carried to the model.
    static QvPoint Carried(double t) { return p2 + (p3 - p2) * t; }
    // The model direction of the landmark line seen in the mid-sagittal plane.
    static QvVector InPlane(const QvPlane& plane)
    {
        QvVector d = QvVector(1, 0, 0).Cross(plane.GetNormal());
        d.Normalize();
        return d;
    }

    static inline const QvPoint p2{0.5, 1.0, 2.0};
    static inline const QvPoint p3{-0.3, 7.0, 5.0};
    QvModel model;
    FakeTracing* tracing = nullptr;
};

// The unsigned angle between the model segment (projected) and a direction, folded to [0, pi/2].
double FoldedAngle(const QvVector& a, const QvVector& b)
{
    const double angle = a.Angle(b);
    return std::min(angle, kQvPi - angle);
}

TEST_F(Tracing, ViewFrameCarriesTheLandmarkLineOverToTheModel)
{
    // Orbitale and porion on the line y = 3x - 5: it crosses the segment at x = 5/3.
    tracing->landmarks = {{kQvLandmarkOrbitale, QvPoint(3, 4, 0)}, {kQvLandmarkPorion, QvPoint(1, -2, 7)}};
    QvPlane plane;
    ASSERT_TRUE(jawRef().GetViewFrame(&model, plane));
    EXPECT_NEAR(plane.GetNormal().Length(), 1.0, 1e-12);
    EXPECT_NEAR(plane.GetNormal().Dot(QvVector(1, 0, 0)), 0.0, 1e-12); // perpendicular to x = 0
    EXPECT_NEAR(plane.Distance(Carried(1.0 / 6.0), true), 0.0, 1e-9);
    // Seen in the mid-sagittal plane, the line keeps its image angle to the segment.
    const QvVector segment(p2[1] - p3[1], p2[2] - p3[2], 0.0);
    const double imageAngle = std::acos(QvVector(-10, 0, 0).Dot(QvVector(2, 6, 0)) / (10.0 * std::sqrt(40.0)));
    const QvVector inPlane = InPlane(plane);
    EXPECT_NEAR(FoldedAngle(QvVector(0, segment[0], segment[1]), inPlane), std::min(imageAngle, kQvPi - imageAngle),
                1e-9);
}

TEST_F(Tracing, ViewFrameOfAVerticalLandmarkLineUsesXOffsets)
{
    // x = 5 halfway along the segment, at right angles to it.
    tracing->landmarks = {{kQvLandmarkOrbitale, QvPoint(5, 5, 0)}, {kQvLandmarkPorion, QvPoint(5, -5, 0)}};
    QvPlane plane;
    ASSERT_TRUE(jawRef().GetViewFrame(&model, plane));
    EXPECT_NEAR(plane.Distance(Carried(0.5), true), 0.0, 1e-9);
    QvVector segment = QvVector(0, p2[1] - p3[1], p2[2] - p3[2]);
    segment.Normalize();
    EXPECT_NEAR(std::fabs(plane.GetNormal().Dot(segment)), 1.0, 1e-9);
}

TEST_F(Tracing, ViewFrameNeedsEveryPrerequisite)
{
    tracing->landmarks = {{kQvLandmarkOrbitale, QvPoint(3, 4, 0)}, {kQvLandmarkPorion, QvPoint(1, -2, 0)}};
    struct Case
    {
        const char* what;
        void (*spoil)(Tracing&);
    };
    const std::vector<Case> cases = {
        {"no mid-sagittal plane", [](Tracing& t) { t.jawRef().DeleteMiddlePlane(); }},
        {"no aesthetic plane", [](Tracing& t) { t.jawRef().DeleteBeautyPlane(); }},
        {"three points", [](Tracing& t) { t.jawRef().m_pBeautyPlane->m_points.pop_back(); }},
        {"five points", [](Tracing& t) { t.jawRef().m_pBeautyPlane->m_points.push_back(QvPoint()); }},
        {"no orbitale", [](Tracing& t) { t.tracing->landmarks.erase(kQvLandmarkOrbitale); }},
        {"no porion", [](Tracing& t) { t.tracing->landmarks.erase(kQvLandmarkPorion); }},
        {"only a flagged tracing", [](Tracing& t) { t.tracing->flag = true; }},
        {"line through the first image point",
         [](Tracing& t) {
             t.tracing->landmarks = {{kQvLandmarkOrbitale, QvPoint(1, 3, 0)}, {kQvLandmarkPorion, QvPoint(-1, -3, 0)}};
         }},
        {"line along the segment",
         [](Tracing& t) {
             t.tracing->landmarks = {{kQvLandmarkOrbitale, QvPoint(0, 5, 0)}, {kQvLandmarkPorion, QvPoint(10, 5, 0)}};
         }},
        {"vertical line through the first image point",
         [](Tracing& t) {
             t.tracing->landmarks = {{kQvLandmarkOrbitale, QvPoint(0, 5, 0)}, {kQvLandmarkPorion, QvPoint(0, -5, 0)}};
         }},
    };
    for (const Case& c : cases)
    {
        model.ClearImageMeasures();
        SetUp();
        tracing->landmarks = {{kQvLandmarkOrbitale, QvPoint(3, 4, 0)}, {kQvLandmarkPorion, QvPoint(1, -2, 0)}};
        c.spoil(*this);
        QvPlane plane;
        plane.m_coef[0] = 0.25;
        plane.m_coef[3] = -4.0;
        EXPECT_FALSE(jawRef().GetViewFrame(&model, plane)) << c.what;
        EXPECT_EQ(plane.m_coef[0], 0.25) << c.what;
        EXPECT_EQ(plane.m_coef[3], -4.0) << c.what;
    }
    QvPlane plane;
    EXPECT_FALSE(jawRef().GetViewFrame(nullptr, plane));
}

TEST_F(Tracing, ViewFrameWithoutLandmarkLookupFindsNothing)
{
    tracing->landmarks = {{kQvLandmarkOrbitale, QvPoint(3, 4, 0)}, {kQvLandmarkPorion, QvPoint(1, -2, 0)}};
    ASSERT_TRUE(QvSetImageMeasureOps(TracingOps(false)));
    QvPlane plane;
    EXPECT_FALSE(jawRef().GetViewFrame(&model, plane));
    ASSERT_TRUE(QvSetImageMeasureOps(TracingOps()));
}

// What every placed plane satisfies: through the carried-over point, perpendicular to
// the mid-sagittal plane, a square of the box diagonal centred on the box centre's
// projection, X towards the orientation vector.
void ExpectPlaced(const QvRefPlane& plane, const QvModel& model, const QvPoint& carried, const QvVector& orientation)
{
    const QvFrame& frame = plane.m_frame;
    const QvPlane placed(frame.m_centre, frame.m_dirZ);
    EXPECT_NEAR(placed.Distance(carried, true), 0.0, 1e-9);
    EXPECT_NEAR(frame.m_dirZ.Dot(QvVector(1, 0, 0)), 0.0, 1e-12);
    EXPECT_NEAR(frame.m_dirY.Dot(QvVector(1, 0, 0)), 0.0, 1e-12);
    EXPECT_NEAR(frame.m_dirX.Dot(frame.m_dirY), 0.0, 1e-12);
    EXPECT_GE(frame.m_dirX.Dot(orientation), 0.0);
    const double diagonal = model.m_bbox.GetDiagonal();
    EXPECT_DOUBLE_EQ(plane.m_dSize, diagonal);
    const QvPoint middle = frame.m_centre + frame.m_dirX * (diagonal / 2) + frame.m_dirY * (diagonal / 2);
    EXPECT_TRUE(middle == placed.ProjectPoint(model.m_bbox.GetCentre()));
}

TEST_F(Tracing, PorionOrbitalePlaneIsPlacedFromTheTracing)
{
    tracing->landmarks = {{kQvLandmarkOrbitale, QvPoint(3, 4, 0)}, {kQvLandmarkPorion, QvPoint(1, -2, 0)}};
    QvOpPlane plane;
    plane.m_points = Points();
    ASSERT_TRUE(plane.Update(&model));
    ExpectPlaced(plane, model, Carried(1.0 / 6.0), p2 - p3);
    // The view frame of the set is the same plane.
    QvPlane view;
    ASSERT_TRUE(jawRef().GetViewFrame(&model, view));
    EXPECT_NEAR(std::fabs(view.GetNormal().Dot(plane.m_frame.m_dirZ)), 1.0, 1e-12);
}

TEST_F(Tracing, BackBoundaryPlaneMeasuresTheOtherWayRound)
{
    tracing->landmarks = {{kQvLandmarkPNS, QvPoint(3, 4, 0)}, {kQvLandmarkBackBoundary, QvPoint(1, -2, 0)}};
    QvBackBoundaryPlane plane;
    plane.m_points = Points();
    ASSERT_TRUE(plane.Update(&model));
    ExpectPlaced(plane, model, Carried(1.0 / 6.0), p3 - p2);

    // A vertical landmark line has no slope here: the plane stays as it was.
    tracing->landmarks = {{kQvLandmarkPNS, QvPoint(5, 4, 0)}, {kQvLandmarkBackBoundary, QvPoint(5, -2, 0)}};
    const QvFrame before = plane.m_frame;
    EXPECT_FALSE(plane.Update(&model));
    EXPECT_TRUE(BitwiseEqual(plane.m_frame, before));
}

TEST_F(Tracing, AestheticPlaneAndLips)
{
    // Nose tip and soft-tissue chin on x = 5; the upper lip at p1, the lower lip on the
    // E-line level with p1.
    tracing->landmarks = {{kQvLandmarkPronasale, QvPoint(5, 5, 0)},
                          {kQvLandmarkSoftPogonion, QvPoint(5, -5, 0)},
                          {kQvLandmarkUpperLip, QvPoint(10, 0, 0)},
                          {kQvLandmarkLowerLip, QvPoint(5, 0, 0)}};
    QvBeautyPlane& plane = *jawRef().m_pBeautyPlane;
    ASSERT_TRUE(plane.Update(&model));
    ExpectPlaced(plane, model, Carried(0.5), p2 - p3);

    // A lip at p1 lands on p3 seen in the mid-sagittal plane; a lip on the E-line at
    // p1's foot lands on the line where the two planes meet, at p3's foot.
    const QvPoint g(0.0, p3[1], p3[2]);
    EXPECT_TRUE(plane.m_lipPoints[0] == g);
    const QvPlane aesthetic(plane.m_frame.m_centre, plane.m_frame.m_dirZ);
    EXPECT_NEAR(plane.m_lipPoints[1][0], 0.0, 1e-9);
    EXPECT_NEAR(aesthetic.Distance(plane.m_lipPoints[1], true), 0.0, 1e-9);
    EXPECT_NEAR((g - plane.m_lipPoints[1]).Dot(plane.m_frame.m_dirY), 0.0, 1e-9);

    // Lips need a list of two.
    plane.m_lipPoints.clear();
    EXPECT_FALSE(plane.UpdateLipPoints(&model));
    EXPECT_TRUE(plane.m_lipPoints.empty());
}

TEST_F(Tracing, PlacementsLeaveThePlaneWithoutTheirPrerequisites)
{
    tracing->landmarks = {{kQvLandmarkOrbitale, QvPoint(3, 4, 0)}, {kQvLandmarkPorion, QvPoint(1, -2, 0)}};
    QvOpPlane plane;
    plane.m_points = Points();
    plane.m_dSize = 5.0;
    tracing->complete = false;
    EXPECT_FALSE(plane.Update(&model));
    tracing->complete = true;
    jawRef().DeleteMiddlePlane();
    EXPECT_FALSE(plane.Update(&model));
    EXPECT_FALSE(plane.Update(nullptr));
    plane.m_points.pop_back();
    EXPECT_FALSE(plane.Update(&model));
    EXPECT_EQ(plane.m_dSize, 5.0);
    EXPECT_FALSE(plane.m_frame.IsValid());
}

} // namespace
