// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <memory>

#include "core/geometry/QvBSplineCurve.h"
#include "core/geometry/QvBSplineSurface.h"
#include "core/gum/QvCreateGumCommandOld.h"
#include "core/mesh/QvMesh.h"
#include "core/model/QvJaw.h"
#include "core/model/QvModel.h"
#include "core/model/QvTooth.h"
#include "core/scheme/QvScheme.h"
#include "testing/DemoCase.h"

namespace {

// A flat disc tooth: a fan of n rim points around its centre, axis +Z.
std::unique_ptr<QvTooth> Disc(const QvPoint& centre, double radius, int n, double phase, int fdi)
{
    auto tooth = std::make_unique<QvTooth>();
    tooth->SetFdi(fdi);
    const int c = tooth->AddVertex(centre);
    for (int i = 0; i < n; ++i)
    {
        const double a = phase + 2.0 * M_PI * i / n;
        tooth->AddVertex(centre + QvVector(radius * std::cos(a), radius * std::sin(a), 0.0));
    }
    for (int i = 0; i < n; ++i)
        EXPECT_TRUE(tooth->AddFace(c, 1 + i, 1 + (i + 1) % n, 0));
    tooth->SetFrame(QvFrame(centre, QvVector(1, 0, 0), QvVector(0, 1, 0)));
    return tooth;
}

struct SmallDemo
{
    SmallDemo()
    {
        qvtest::DemoOptions options;
        options.dentition.facesPerTooth = 1500;
        ok = qvtest::BuildDemoCase(demo, options);
    }
    std::map<QvToothBase*, QvMatrix*> Teeth(int step, bool upper) const
    {
        std::map<QvToothBase*, QvMatrix*> teeth;
        demo.scheme->BuildGumTeeth(step, upper, teeth);
        return teeth;
    }
    QvFrame Frame(bool upper) const { return demo.model->GetJaw(upper)->m_frame; }
    qvtest::DemoCase demo;
    bool ok = false;
};

void Delete(std::map<QvToothBase*, QvMatrix*>& teeth)
{
    for (auto& e : teeth)
        delete e.second;
}

} // namespace

TEST(GumCommand, OrderBasePlaneAndTooFewTeeth)
{
    SmallDemo d;
    ASSERT_TRUE(d.ok);
    std::map<QvToothBase*, QvMatrix*> teeth = d.Teeth(5, true);
    ASSERT_GT(teeth.size(), 10u);
    const QvFrame frame = d.Frame(true);
    QvCreateGumCommandOld a(frame, teeth);
    // The map's order is by pointer; the arch order does not depend on it and runs
    // from the +Y end of the arch; negating Y reverses it.
    std::vector<QvToothBase*> order = a.m_orderedTeeth;
    ASSERT_EQ(order.size(), teeth.size());
    EXPECT_LT((order.back()->GetCenter() - order.front()->GetCenter()).Dot(frame.m_dirY), 0.0);
    QvFrame flipped = frame;
    flipped.m_dirY = -flipped.m_dirY;
    QvCreateGumCommandOld b(flipped, teeth);
    std::reverse(order.begin(), order.end());
    EXPECT_EQ(b.m_orderedTeeth, order);

    QvCreateGumCommandOld low(frame, teeth), high(frame, teeth);
    low.SetBaseParameters(1.0, 1.2);
    high.SetBaseParameters(5.0, 1.2);
    low.SetCapToothRings(false);
    low.SetStitchBorder(false);
    high.SetCapToothRings(false);
    high.SetStitchBorder(false);
    ASSERT_TRUE(low.Execute());
    ASSERT_TRUE(high.Execute());
    QvVector up = frame.m_dirZ;
    up.Normalize();
    const QvPoint o(0, 0, 0);
    EXPECT_NEAR(high.m_basePlane.Distance(o, true) - low.m_basePlane.Distance(o, true), -2.0, 1e-9);
    EXPECT_NEAR(high.m_basePlane.GetNormal().Dot(up), 1.0, 1e-12);

    std::map<QvToothBase*, QvMatrix*> one = {*teeth.begin()};
    QvCreateGumCommandOld single(frame, one);
    EXPECT_FALSE(single.Execute());
    EXPECT_EQ(single.m_pGumMesh, nullptr);
    Delete(teeth);
}

TEST(GumCommand, TwoToothJawAndCapsAgainstUp)
{
    SmallDemo d;
    ASSERT_TRUE(d.ok);
    std::map<QvToothBase*, QvMatrix*> teeth = d.Teeth(10, false);
    const QvFrame frame = d.Frame(false);
    std::map<QvToothBase*, QvMatrix*> two;
    QvCreateGumCommandOld all(frame, teeth);
    for (QvToothBase* t : {all.m_orderedTeeth[5], all.m_orderedTeeth[6]})
        two[t] = teeth[t];
    QvCreateGumCommandOld pair(frame, two);
    pair.SetCapToothRings(false);
    pair.SetStitchBorder(false);
    EXPECT_TRUE(pair.Execute());

    QvCreateGumCommandOld both(frame, teeth);
    ASSERT_TRUE(both.Execute());
    // Every cap's middle face looks away from the base, as do the faces oriented with it.
    const QvMesh& mesh = *both.m_pGumMesh;
    int against = 0, with = 0;
    for (const QvFace& f : mesh.m_faces)
        if (f.m_tag == 0)
            (f.m_normal.Dot(frame.m_dirZ) < 0.0 ? against : with)++;
    EXPECT_GT(against, with);
    Delete(teeth);
}

TEST(GumCommand, CrossingRingsShareOneContactCurve)
{
    // Ring a's contact arc wraps its index 0 (phase 0 points at b).
    for (const double phase : {0.0, 0.9})
    {
        std::unique_ptr<QvTooth> ta = Disc(QvPoint(0, 0, 0), 1.0, 40, phase, 11);
        std::unique_ptr<QvTooth> tb = Disc(QvPoint(1.8, 0, 0), 1.0, 24, 0.3, 12);
        ta->UpdateBoundaryLoop();
        tb->UpdateBoundaryLoop();
        QvCreateGumCommandOld command(QvFrame(QvPoint(), QvVector(1, 0, 0), QvVector(0, 1, 0)),
                                      std::map<QvToothBase*, QvMatrix*>{{ta.get(), nullptr}, {tb.get(), nullptr}});
        QvGumToothInfo a(ta.get(), nullptr), b(tb.get(), nullptr);
        a.m_nPosition = 0;
        b.m_nPosition = 2;
        ASSERT_TRUE(command.MatchContactArcs(a, b));
        const int lenA = (a.m_nContactEnd[0] - a.m_nContactEnd[3] + 40) % 40 + 1;
        EXPECT_GT(lenA, 2);
        // The shorter arc's ring gained the difference; both rings run through one curve.
        EXPECT_EQ(a.m_ring.size(), 40u);
        EXPECT_GT(b.m_ring.size(), 24u);
        for (int k = 0; k < lenA; ++k)
        {
            const QvPoint& p = a.m_ring[static_cast<std::size_t>((a.m_nContactEnd[3] + k) % 40)];
            double best = 1e9;
            for (const QvPoint& q : b.m_ring)
                best = std::min(best, p.Distance(q));
            EXPECT_LT(best, 1e-12);
        }
        EXPECT_EQ(command.ClassifyLink(a, b), 2);
    }
}

TEST(GumCommand, FarRingsMeetAtOnePoint)
{
    std::unique_ptr<QvTooth> ta = Disc(QvPoint(0, 0, 0), 1.0, 30, 0.05, 11);
    std::unique_ptr<QvTooth> tb = Disc(QvPoint(3.0, 0, 0), 1.0, 30, 0.05, 12);
    ta->UpdateBoundaryLoop();
    tb->UpdateBoundaryLoop();
    QvCreateGumCommandOld command(QvFrame(QvPoint(), QvVector(1, 0, 0), QvVector(0, 1, 0)),
                                  std::map<QvToothBase*, QvMatrix*>{{ta.get(), nullptr}, {tb.get(), nullptr}});
    QvGumToothInfo a(ta.get(), nullptr), b(tb.get(), nullptr);
    a.m_nPosition = 0;
    b.m_nPosition = 2;
    ASSERT_TRUE(command.MatchContactArcs(a, b));
    EXPECT_EQ(a.m_nContactEnd[0], a.m_nContactEnd[3]);
    EXPECT_EQ(a.m_ring.size(), 30u);
    EXPECT_EQ(b.m_ring.size(), 30u);
    ASSERT_TRUE(a.BuildSides(QvPlane(QvPoint(0, 0, 5), QvVector(0, 0, 1))));
    ASSERT_TRUE(b.BuildSides(QvPlane(QvPoint(0, 0, 5), QvVector(0, 0, 1))));
    EXPECT_EQ(a.m_nContactEnd[0], -1); // a one-point contact is no shared arc
    EXPECT_EQ(command.ClassifyLink(a, b), 4);
    for (const QvGumToothSide& side : a.m_sides)
        EXPECT_GE(side.m_points.size(), 2u);
}

TEST(GumCommand, SkirtSplitOutlineFactorAndApartColumns)
{
    SmallDemo d;
    ASSERT_TRUE(d.ok);
    std::map<QvToothBase*, QvMatrix*> teeth = d.Teeth(0, true);
    QvCreateGumCommandOld command(d.Frame(true), teeth);
    command.SetCapToothRings(false);
    command.SetStitchBorder(false);
    ASSERT_TRUE(command.Execute());
    const double e = command.m_dMeanEdgeLength;

    // Surfaces giving 3 and 5 columns put the split after the eighth column.
    std::vector<std::unique_ptr<QvBSplineSurface>> owned;
    std::vector<QvBSplineSurface*> surfaces;
    std::vector<std::unique_ptr<QvBSplineCurve>> curves;
    for (int k = 0; k < 4; ++k)
    {
        curves.emplace_back(QvBSplineCurve::FromEndTangents(QvPoint(0, 0, 0), QvPoint(1, 0, 0), QvVector(1, 0, 0), QvVector(1, 0, 0)));
        curves.emplace_back(QvBSplineCurve::FromEndTangents(QvPoint(0, 1, 0), QvPoint(1, 1, 0), QvVector(1, 0, 0), QvVector(1, 0, 0)));
        owned.emplace_back(QvBSplineSurface::Skin({curves[curves.size() - 2].get(), curves.back().get()}));
        ASSERT_TRUE(owned.back());
        surfaces.push_back(owned.back().get());
    }
    std::vector<std::vector<int>> columns;
    int split = -1;
    command.SampleSkirtSurfaces({9.0 * e, 15.0 * e, 3.0 * e, 0.0}, surfaces, columns, split);
    EXPECT_EQ(split, 7);
    EXPECT_EQ(columns.size(), 9u);

    // The end teeth's outline points are not relaxed: flank 2 carries the tooth-type
    // factor (a second molar: 1 + 2 / 7), flank 1 none.
    const QvGumToothInfo* first = command.m_toothInfos.front();
    std::vector<QvPoint> o2, o1;
    command.BuildOutlinePoints(true, o2);
    command.BuildOutlinePoints(false, o1);
    ASSERT_EQ(o2.size(), command.m_toothInfos.size() + 2);
    const QvPlane& plane = command.m_basePlane;
    const QvPoint foot = plane.ProjectPoint(first->m_centre);
    ASSERT_EQ(static_cast<const QvTooth*>(first->m_pTooth)->GetFdi() % 10, 7);
    EXPECT_NEAR(o2[1].Distance(foot), first->GetCornerRadius(plane, 2) * 1.2 * (1.0 + 2.0 / 7.0), 1e-9);
    EXPECT_NEAR(o1[1].Distance(foot), first->GetCornerRadius(plane, 3) * 1.2, 1e-9);
    Delete(teeth);
}

TEST(GumCommand, PlaneCrossingAndRelax)
{
    const std::vector<QvPoint> line = {QvPoint(-3, 0, 0), QvPoint(-1, 0, 0), QvPoint(1, 0, 0), QvPoint(3, 0, 0),
                                       QvPoint(5, 0, 0)};
    QvPoint out;
    // Cut twice: the segment nearer the middle of the list wins.
    const std::vector<QvPoint> zig = {QvPoint(-1, 0, 0), QvPoint(1, 0, 0), QvPoint(1, 1, 0), QvPoint(-1, 1, 0),
                                      QvPoint(-1, 2, 0), QvPoint(1, 2, 0)};
    EXPECT_EQ(QvCreateGumCommandOld::FindPlaneCrossing(QvPlane(QvPoint(0, 0, 0), QvVector(1, 0, 0)), zig, out), 2);
    EXPECT_NEAR(out[0], 0.0, 1e-12);
    EXPECT_EQ(QvCreateGumCommandOld::FindPlaneCrossing(QvPlane(QvPoint(9, 0, 0), QvVector(1, 0, 0)), line, out), 4);
    std::vector<QvPoint> pts = {QvPoint(0, 0, 0), QvPoint(1, 1, 0), QvPoint(2, 0, 0), QvPoint(3, 1, 0)};
    QvCreateGumCommandOld::RelaxPolyline(pts, 1, 2, 5, 0.5); // first = 1, last = 2 moves nothing
    EXPECT_EQ(pts[1][1], 1.0);
    EXPECT_EQ(pts[2][1], 0.0);
}
