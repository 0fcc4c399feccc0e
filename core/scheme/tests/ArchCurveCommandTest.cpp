// SPDX-License-Identifier: GPL-3.0-or-later
// The arch-curve command on generated jaws: landmarks, the arch frame, the fit of
// width, depth and exponent, the sampled arch and its end segments.
#include <gtest/gtest.h>

#include <cmath>
#include <memory>

#include "ArchFixture.h"
#include "core/scheme/QvCreateArchCurveCommand.h"

namespace {

using qvarchtest::ArchCase;
using Lists = QvCreateArchCurveCommand::PointLists;

const QvArchParameters kArch{25.0, 50.0, 0.6};

double DistanceToCurve(const QvBSplineCurve& curve, const QvPoint& p, double* t = nullptr)
{
    double s = 0.0;
    QvPoint closest;
    if (!curve.ClosestPoint(p, s, closest))
        return INFINITY;
    if (t)
        *t = s;
    return closest.Distance(p);
}

// Lists in arch coordinates with every landmark on the arch; position 1 a single
// point on the midline.
Lists ArchLists(const QvArchParameters& arch)
{
    Lists lists;
    lists[0] = {QvPoint(0.0, arch.depth, 0.0)};
    for (int position = 2; position <= 7; ++position)
    {
        const double x = qvarchtest::PositionX(position, arch.width);
        lists[static_cast<std::size_t>(position - 1)] = {
            QvPoint(-x, QvCreateArchCurveCommand::ArchValue(-x, arch), 0.0),
            QvPoint(x, QvCreateArchCurveCommand::ArchValue(x, arch), 0.0)};
    }
    return lists;
}

TEST(ArchCurve, FitRecoversWidthDepthAndExponent)
{
    const QvArchParameters arches[] = {{25.0, 50.0, 0.6}, {18.0, 40.0, 1.0}, {30.0, 56.0, 0.35}, {22.0, 45.0, 1.8}};
    for (const QvArchParameters& arch : arches)
    {
        // Straight from arch coordinates.
        QvArchParameters fitted;
        ASSERT_TRUE(QvCreateArchCurveCommand::FitArchForm(ArchLists(arch), 7, fitted));
        EXPECT_NEAR(fitted.width, arch.width, 1e-6);
        EXPECT_NEAR(fitted.depth, arch.depth, 1e-6);
        EXPECT_NEAR(fitted.exponent, arch.exponent, 1e-6);

        // Through the teeth of a turned jaw: incisor landmarks on the midline.
        ArchCase c(true, arch);
        c.centralX = 0.0;
        c.RemoveTooth(11);
        c.RemoveTooth(21);
        c.AddTooth(11);
        c.AddTooth(21);
        const QvCreateArchCurveCommand command(1, &c.model, c.Plane());
        Lists lists;
        command.CollectToothPoints(lists);
        int reference = 0;
        QvMatrix toArch;
        ASSERT_TRUE(command.ToArchFrame(lists, reference, toArch));
        EXPECT_EQ(reference, 7);
        QvArchParameters fromTeeth;
        ASSERT_TRUE(QvCreateArchCurveCommand::FitArchForm(lists, reference, fromTeeth));
        EXPECT_NEAR(fromTeeth.width, arch.width, 1e-6);
        EXPECT_NEAR(fromTeeth.depth, arch.depth, 1e-6);
        EXPECT_NEAR(fromTeeth.exponent, arch.exponent, 1e-6);
    }
}

TEST(ArchCurve, ArchFrameOfAFullJaw)
{
    ArchCase c(true, kArch);
    const QvCreateArchCurveCommand command(1, &c.model, c.Plane());
    Lists lists;
    command.CollectToothPoints(lists);
    for (int position = 1; position <= 7; ++position)
    {
        const std::vector<QvPoint>& list = lists[static_cast<std::size_t>(position - 1)];
        ASSERT_EQ(list.size(), 2u) << position;
        // First side first; incisors give their mid-curve end, the others a feature point.
        EXPECT_LT(list[0].Distance(c.Landmark(10 + position)), 1e-12) << position;
        EXPECT_LT(list[1].Distance(c.Landmark(20 + position)), 1e-12) << position;
    }
    int reference = 0;
    QvMatrix toArch;
    ASSERT_TRUE(command.ToArchFrame(lists, reference, toArch));
    EXPECT_EQ(reference, 7);
    // The arch frame is the jaw's own: molars at (-W/2, 0) and (W/2, 0), all points
    // in z = 0, the front teeth at positive y.
    EXPECT_LT(lists[6][0].Distance(QvPoint(-25.0, 0.0, 0.0)), 1e-9);
    EXPECT_LT(lists[6][1].Distance(QvPoint(25.0, 0.0, 0.0)), 1e-9);
    for (int position = 1; position <= 6; ++position)
        for (int side = 0; side < 2; ++side)
        {
            const QvPoint expected = c.ArchLandmark((side ? 20 : 10) + position);
            const QvPoint& got = lists[static_cast<std::size_t>(position - 1)][static_cast<std::size_t>(side)];
            EXPECT_LT(got.Distance(QvPoint(expected.m_coord[0], expected.m_coord[1], 0.0)), 1e-9) << position;
        }
}

TEST(ArchCurve, CurveFollowsTheTeethOfTheJaw)
{
    for (const bool upper : {true, false})
    {
        ArchCase c(upper, kArch);
        QvCreateArchCurveCommand command(upper ? 1 : 0, &c.model, c.Plane());
        ASSERT_TRUE(command.Execute());
        const QvBSplineCurve& curve = *command.GetCurve();
        ASSERT_TRUE(curve.CanEvaluate());
        EXPECT_EQ(curve.m_degree, 3);
        for (const QvPoint& p : curve.m_ctrlPoints)
            EXPECT_LT(c.Plane().Distance(p, false), 1e-9);

        const int base = upper ? 10 : 30;
        // Through the middle of the central incisors' mid-curve ends, and close to
        // each of them (the arch is fitted, not interpolated).
        const QvPoint mid = c.Plane().ProjectPoint(c.Landmark(base + 1) + (c.Landmark(base + 11) - c.Landmark(base + 1)) * 0.5);
        EXPECT_LT(DistanceToCurve(curve, mid), 5e-3);
        // Along the arch from the first side's last molar to the second side's.
        std::vector<int> order;
        for (int p = 7; p >= 1; --p)
            order.push_back(base + p);
        for (int p = 1; p <= 7; ++p)
            order.push_back(base + 10 + p);
        double previous = -1.0;
        for (const int fdi : order)
        {
            double t = 0.0;
            EXPECT_LT(DistanceToCurve(curve, c.Plane().ProjectPoint(c.Landmark(fdi)), &t), 0.2) << fdi;
            EXPECT_GT(t, previous) << fdi;
            previous = t;
        }

        // The ends reach back past the molars' distal faces (half a cube behind the
        // arch's chord), mirror images of each other.
        const QvPoint start = c.ToArch(curve.Evaluate(0.0));
        const QvPoint end = c.ToArch(curve.Evaluate(1.0));
        EXPECT_NEAR(start.m_coord[1], -c.half, 1e-2);
        EXPECT_NEAR(end.m_coord[1], -c.half, 1e-2);
        EXPECT_GT(end.m_coord[0], kArch.width / 2.0);
        for (const double t : {0.0, 0.02, 0.05, 0.1, 0.3})
        {
            const QvPoint a = c.ToArch(curve.Evaluate(t));
            const QvPoint b = c.ToArch(curve.Evaluate(1.0 - t));
            EXPECT_NEAR(a.m_coord[0], -b.m_coord[0], 2e-3) << t;
            EXPECT_NEAR(a.m_coord[1], b.m_coord[1], 2e-3) << t;
        }
    }
}

TEST(ArchCurve, ThirdMolarsMoveTheEndsBack)
{
    ArchCase c(true, kArch, {1, 2, 3, 4, 5, 6, 7, 8});
    QvCreateArchCurveCommand command(1, &c.model, c.Plane());
    ASSERT_TRUE(command.Execute());
    EXPECT_NEAR(c.ToArch(command.GetCurve()->Evaluate(1.0)).m_coord[1], -c.half, 1e-2);
    command.SetFlag(true);
    ASSERT_TRUE(command.Execute());
    // The third molar's cube stands 6 behind the chord.
    EXPECT_NEAR(c.ToArch(command.GetCurve()->Evaluate(1.0)).m_coord[1], -6.0 - c.half, 1e-2);
}

TEST(ArchCurve, MissingTeethAndReferenceData)
{
    // Second molars missing on both sides: the first molars serve.
    {
        ArchCase c(true, kArch, {1, 2, 3, 4, 5, 6});
        const QvCreateArchCurveCommand command(1, &c.model, c.Plane());
        Lists lists;
        command.CollectToothPoints(lists);
        int reference = 0;
        QvMatrix toArch;
        ASSERT_TRUE(command.ToArchFrame(lists, reference, toArch));
        EXPECT_EQ(reference, 6);
        QvCreateArchCurveCommand run(1, &c.model, c.Plane());
        EXPECT_TRUE(run.Execute());
    }
    // Only the second-side tooth of a position: its point alone, no midpoint.
    {
        ArchCase c(true, kArch);
        c.RemoveTooth(14);
        const QvCreateArchCurveCommand command(1, &c.model, c.Plane());
        Lists lists;
        command.CollectToothPoints(lists);
        ASSERT_EQ(lists[3].size(), 1u);
        EXPECT_LT(lists[3][0].Distance(c.Landmark(24)), 1e-12);
    }
    // An incisor without reference data, or with an empty mid curve, adds no point.
    {
        ArchCase c(true, kArch);
        c.model.FindTooth(21)->SetToothRef(nullptr);
        c.model.FindTooth(12)->GetToothRef()->m_midCurve.m_vertices.clear();
        const QvCreateArchCurveCommand command(1, &c.model, c.Plane());
        Lists lists;
        command.CollectToothPoints(lists);
        ASSERT_EQ(lists[0].size(), 1u);
        EXPECT_LT(lists[0][0].Distance(c.Landmark(11)), 1e-12);
        ASSERT_EQ(lists[1].size(), 1u);
        EXPECT_LT(lists[1][0].Distance(c.Landmark(22)), 1e-12);
    }
    // No central incisors: the depth comes from a curve through the other landmarks.
    {
        ArchCase c(true, kArch, {2, 3, 4, 5, 6, 7});
        const QvCreateArchCurveCommand command(1, &c.model, c.Plane());
        Lists lists;
        command.CollectToothPoints(lists);
        int reference = 0;
        QvMatrix toArch;
        ASSERT_TRUE(command.ToArchFrame(lists, reference, toArch));
        QvArchParameters fitted;
        ASSERT_TRUE(QvCreateArchCurveCommand::FitArchForm(lists, reference, fitted));
        EXPECT_NEAR(fitted.depth, kArch.depth, 0.5);
        EXPECT_GT(fitted.depth, QvCreateArchCurveCommand::ArchValue(qvarchtest::PositionX(2, 50.0), kArch));
    }
}

TEST(ArchCurve, FailuresLeaveTheCurveAsItWas)
{
    ArchCase c(true, kArch);
    QvCreateArchCurveCommand command(1, &c.model, c.Plane());
    ASSERT_TRUE(command.Execute());
    const std::vector<QvPoint> before = command.GetCurve()->m_ctrlPoints;

    // One side only: no position gives a midpoint.
    for (int position = 1; position <= 7; ++position)
        c.RemoveTooth(20 + position);
    EXPECT_FALSE(command.Execute());
    EXPECT_EQ(command.GetCurve()->m_ctrlPoints.size(), before.size());
    EXPECT_EQ(command.GetCurve()->m_ctrlPoints.front().Distance(before.front()), 0.0);

    // No reference data anywhere.
    ArchCase bare(true, kArch);
    for (QvEntity* entity : bare.model.m_teeth)
        static_cast<QvTooth*>(entity)->SetToothRef(nullptr);
    QvCreateArchCurveCommand none(1, &bare.model, bare.Plane());
    EXPECT_FALSE(none.Execute());
    EXPECT_TRUE(none.GetCurve()->m_ctrlPoints.empty());
    QvCreateArchCurveCommand noModel(1, nullptr, bare.Plane());
    EXPECT_FALSE(noModel.Execute());
}

TEST(ArchCurve, FitFailures)
{
    const struct
    {
        const char* name;
        void (*damage)(Lists&);
    } cases[] = {
        {"reference list empty", [](Lists& l) { l[6].clear(); }},
        {"no width", [](Lists& l) { l[6] = {QvPoint(0, 0, 0), QvPoint(0, 0, 0)}; }},
        {"no depth", [](Lists& l) { l[0] = {QvPoint(0, 0, 0)}; }},
        {"every landmark behind the x axis",
         [](Lists& l) {
             for (int p = 0; p < 6; ++p)
                 for (QvPoint& q : l[static_cast<std::size_t>(p)])
                     q.m_coord[1] = -1.0;
         }},
        {"every landmark at the arch's ends",
         [](Lists& l) {
             for (int p = 0; p < 6; ++p)
                 l[static_cast<std::size_t>(p)] = {QvPoint(-25, 3, 0), QvPoint(25, 3, 0)};
             l[0] = {QvPoint(0, 25, 0)};
         }},
        {"negative exponent",
         [](Lists& l) {
             for (int p = 1; p < 6; ++p)
                 for (QvPoint& q : l[static_cast<std::size_t>(p)])
                     q.m_coord[1] = 40.0;
         }},
    };
    for (const auto& k : cases)
    {
        Lists lists = ArchLists(kArch);
        k.damage(lists);
        QvArchParameters fitted{1.0, 2.0, 3.0};
        EXPECT_FALSE(QvCreateArchCurveCommand::FitArchForm(lists, 7, fitted)) << k.name;
        EXPECT_EQ(fitted.depth, 1.0) << k.name;
    }
}

TEST(ArchCurve, SamplingCrossingsAndEnds)
{
    // The arch value is finite at and beyond the ends.
    EXPECT_EQ(QvCreateArchCurveCommand::ArchValue(25.0, kArch), 0.0);
    EXPECT_EQ(QvCreateArchCurveCommand::ArchValue(-25.0000001, kArch), 0.0);
    EXPECT_EQ(QvCreateArchCurveCommand::ArchValue(0.0, kArch), 25.0);

    const std::unique_ptr<QvBSplineCurve> arch(QvCreateArchCurveCommand::SampleArch(kArch));
    ASSERT_TRUE(arch);
    EXPECT_LT(arch->Evaluate(0.0).Distance(QvPoint(-25, 0, 0)), 1e-2);
    EXPECT_LT(arch->Evaluate(1.0).Distance(QvPoint(25, 0, 0)), 1e-2);
    EXPECT_LT(arch->Evaluate(0.5).Distance(QvPoint(0, 25, 0)), 1e-2);

    const std::array<double, 2> at = QvCreateArchCurveCommand::PlaneCrossings(*arch, QvPlane(QvPoint(0, 12.5, 0), QvVector(0, 1, 0)));
    EXPECT_LT(at[0], 0.5);
    EXPECT_GT(at[1], 0.5);
    EXPECT_NEAR(arch->Evaluate(at[0]).m_coord[1], 12.5, 1e-4);
    EXPECT_NEAR(arch->Evaluate(at[1]).m_coord[1], 12.5, 1e-4);
    EXPECT_NEAR(arch->Evaluate(at[0]).m_coord[0], -arch->Evaluate(at[1]).m_coord[0], 1e-3);

    // An arch that ends flat (exponent above 1) is already turned away from straight
    // back at its end: the end segment starts there and ends at E.
    const QvArchParameters flat{22.0, 45.0, 1.8};
    std::unique_ptr<QvBSplineCurve> curve(QvCreateArchCurveCommand::SampleArch(flat));
    ASSERT_TRUE(curve);
    const QvPoint end = curve->Evaluate(1.0);
    QvPoint point;
    std::vector<QvVector> d;
    ASSERT_TRUE(curve->EvaluateDerivatives(1, point, d, 1.0));
    QvVector tangent = d[0];
    tangent.Normalize();
    const double a = -tangent.m_coord[1];
    ASSERT_LT(a, 0.984807753012206);
    const double depth = 4.0;
    ASSERT_TRUE(QvCreateArchCurveCommand::ExtendEnds(*curve, depth));
    const QvPoint expected(end.m_coord[0] + depth * std::sqrt(1 - a * a) / (1 + a), end.m_coord[1] - depth, 0.0);
    EXPECT_LT(curve->Evaluate(1.0).Distance(expected), 1e-9);
    EXPECT_LT(curve->Evaluate(0.0).Distance(QvCreateArchCurveCommand::MirrorAcrossY(expected)), 1e-9);
    // The fitted arch between the ends is kept.
    EXPECT_LT(curve->Evaluate(0.5).Distance(QvPoint(0, 22, 0)), 1e-2);
    ASSERT_TRUE(curve->CanEvaluate());
}

} // namespace
