// SPDX-License-Identifier: GPL-3.0-or-later
// The small rules of the second gum builder on hand-made records and meshes.
#include <gtest/gtest.h>

#include <cmath>
#include <memory>

#include "core/gum/QvCreateGumCommand.h"
#include "core/mesh/QvMesh.h"
#include "core/model/QvTooth.h"
#include "testing/MeshInvariants.h"

namespace {

constexpr double kPi = 3.14159265358979323846;

// A tooth without crown rim: its record starts empty and the test fills it.
struct Blank
{
    QvTooth tooth;
    QvGumToothRecord record{&tooth, nullptr};
};

// A command over no teeth with a fresh gum mesh and unit mean edge length.
struct Bench
{
    Bench() : command(nullptr, QvFrame(QvPoint(), QvVector(1, 0, 0), QvVector(0, 1, 0)), std::vector<QvToothBase*>{})
    {
        command.m_pGumMesh = new QvMesh();
        command.m_dMeanEdgeLength = 1.0;
        command.m_basePlane = QvPlane(QvPoint(0, 0, 0), QvVector(0, 0, 1));
        command.m_up = QvVector(0, 0, 1);
    }
    QvCreateGumCommand command;
};

// A cone from a rim of eight points at z = 0 to an apex at the given depth.
std::unique_ptr<QvTooth> Cone(const QvPoint& centre, double radius, double apexDepth, int fdi)
{
    auto tooth = std::make_unique<QvTooth>();
    std::vector<QvPoint> corners;
    const QvPoint apex = centre + QvVector(0, 0, apexDepth);
    for (int i = 0; i < 8; ++i)
    {
        const double a0 = 2 * kPi * i / 8, a1 = 2 * kPi * (i + 1) / 8;
        corners.push_back(centre + QvVector(radius * std::cos(a0), radius * std::sin(a0), 0));
        corners.push_back(centre + QvVector(radius * std::cos(a1), radius * std::sin(a1), 0));
        corners.push_back(apex);
    }
    EXPECT_TRUE(tooth->BuildFromTriangleSoup(corners));
    tooth->UpdateBoundaryLoop();
    tooth->SetFdi(fdi);
    tooth->SetFrame(QvFrame(centre, QvVector(1, 0, 0), QvVector(0, 1, 0)));
    return tooth;
}

} // namespace

TEST(GumSecondBuilderRules, MiddleIndexTakesTheFartherBracketingPoint)
{
    Blank b;
    b.record.m_workRing = {QvPoint(0, 0, 0), QvPoint(1, 0, 0), QvPoint(10, 0, 0), QvPoint(5, 5, 0)};
    const QvPlane base(QvPoint(0, 0, -3), QvVector(0, 0, 1));
    EXPECT_EQ(b.record.MiddleIndex(0, 2, base), 2);
    EXPECT_EQ(b.record.MiddleIndex(1, 1, base), -1);
}

TEST(GumSecondBuilderRules, OverlappingRingsAreWeldedAcrossIndexZero)
{
    // A's facing side holds 5 points (ring indices 7, 8, 0, 1, 2), B's pokes half a unit
    // into A with 3 (indices 5, 6, 0): B's run takes the mid-curve's first 3 points and
    // 2 more are inserted after its end.
    Bench bench;
    Blank a, b;
    a.record.m_workRing = {QvPoint(0, 0, 0),   QvPoint(0, 1, 0),   QvPoint(0, 2, 0),
                           QvPoint(-3, 3, 0),  QvPoint(-6, 3, 0),  QvPoint(-6, -3, 0),
                           QvPoint(-3, -3, 0), QvPoint(0, -2, 0),  QvPoint(0, -1, 0)};
    b.record.m_workRing = {QvPoint(-0.5, -1, 0), QvPoint(3, -3, 0),  QvPoint(6, -3, 0), QvPoint(6, 3, 0),
                           QvPoint(3, 3, 0),     QvPoint(-0.5, 1, 0), QvPoint(-0.5, 0, 0)};
    for (Blank* r : {&a, &b})
    {
        r->record.m_ring = r->record.m_workRing;
        QvVector sum;
        for (const QvPoint& p : r->record.m_workRing)
            sum = sum + (p - QvPoint());
        r->record.m_centre = QvPoint() + sum / static_cast<double>(r->record.m_workRing.size());
    }
    ASSERT_TRUE(bench.command.JoinNeighbourRings(a.record, b.record));
    EXPECT_EQ(a.record.m_anchor[3], 7);
    EXPECT_EQ(a.record.m_anchor[0], 2);
    ASSERT_EQ(b.record.m_workRing.size(), 9u);
    EXPECT_EQ(b.record.m_anchor[1], 7);
    EXPECT_EQ(b.record.m_anchor[2], 2);
    EXPECT_EQ(b.record.m_anchor2[1], 5);
    EXPECT_EQ(b.record.m_anchor2[2], 0);
    // Both runs now lie on one curve, run against each other.
    for (int k = 0; k < 5; ++k)
    {
        const QvPoint& pa = a.record.m_workRing[static_cast<std::size_t>((7 + k) % 9)];
        const QvPoint& pb = b.record.m_workRing[static_cast<std::size_t>((7 + 4 - k) % 9)];
        EXPECT_NEAR(pa.Distance(pb), 0.0, 1e-9) << k;
        EXPECT_NEAR(pa[0], -0.25, 1e-9) << k;
    }
}

TEST(GumSecondBuilderRules, GapKindFromCornerDistanceAndRadii)
{
    struct Case
    {
        double apart;
        int kind;
    };
    for (const Case c : {Case{3.0, 4}, Case{2.0, 3}})
    {
        Blank left, right;
        left.record.m_workRing = {QvPoint(0, 0, 0), QvPoint(-4, 4, 0)};
        left.record.m_centre = QvPoint(-4, 0, 0);
        left.record.m_cornerNext = 0;
        right.record.m_workRing = {QvPoint(c.apart, 0, 0), QvPoint(c.apart + 6, 6, 0)};
        right.record.m_centre = QvPoint(c.apart + 6, 0, 0);
        right.record.m_cornerPrev = 0;
        QvCreateGumCommand::ClassifyGap(left.record, right.record);
        EXPECT_EQ(left.record.m_gapNext, c.kind) << c.apart;
        EXPECT_EQ(right.record.m_gapPrev, c.kind) << c.apart;
        EXPECT_EQ(left.record.m_gapPrev, 1);
        left.record.m_anchor[0] = 3;
        QvCreateGumCommand::ClassifyGap(left.record, right.record);
        EXPECT_EQ(right.record.m_gapPrev, 2);
    }
}

TEST(GumSecondBuilderRules, PlainBaseThreeBelowTheDeepestPoint)
{
    auto a = Cone(QvPoint(0, 0, 0), 3, 10, 14);
    auto b = Cone(QvPoint(8, 1, 0), 3, 6, 15);
    QvCreateGumCommand command(nullptr, QvFrame(QvPoint(), QvVector(0, 1, 0), QvVector(-1, 0, 0)),
                               std::vector<QvToothBase*>{a.get(), b.get()});
    command.FitBasePlane();
    EXPECT_NEAR(command.m_basePlane.Distance(QvPoint(0, 0, 13), true), 0.0, 1e-9);
    EXPECT_NEAR(command.m_up[2], 1.0, 1e-9);
}

TEST(GumSecondBuilderRules, TippedIncisorTiltsTheBaseByItsExcessOver30Degrees)
{
    auto molar = Cone(QvPoint(-10, -6, 0), 4, 10, 16);
    auto premolar = Cone(QvPoint(-8, 0, 0), 3, 9, 14);
    auto incisor = Cone(QvPoint(-3, 4, 0), 3, 8, 11);
    // The incisor's axis leans 50 degrees from the rims' normal.
    incisor->SetFrame(QvFrame(QvPoint(-3, 4, 0), QvVector(1, 0, 0),
                              QvVector(0, std::cos(50 * kPi / 180), -std::sin(50 * kPi / 180))));
    QvCreateGumCommand command(nullptr, QvFrame(QvPoint(), QvVector(0, 1, 0), QvVector(-1, 0, 0)),
                               std::vector<QvToothBase*>{molar.get(), premolar.get(), incisor.get()});
    command.FitBasePlaneByToothFrames();
    // The hinge X lies at the mean rim projection moved back to the hindmost rim point along
    // the way to the incisor rims; the plane turns by atan(tan(20 deg) L / |Y - X|).
    QvVector all, front;
    int na = 0;
    std::vector<QvPoint> rims;
    for (const QvTooth* t : {molar.get(), premolar.get(), incisor.get()})
        for (const int v : *t->GetBoundaryLoop())
        {
            const QvPoint p = t->m_vertices[static_cast<std::size_t>(v)].m_point;
            rims.push_back(p);
            all = all + (p - QvPoint());
            ++na;
            if (t == incisor.get())
                front = front + (p - QvPoint());
        }
    const QvPoint X0 = QvPoint() + all / na;
    const QvPoint Y = QvPoint() + front / 8.0;
    QvVector v = Y - X0;
    const double L = v.Length();
    v.Normalize();
    double tMin = 1e300;
    for (const QvPoint& p : rims)
        tMin = std::fmin(tMin, (p - X0).Dot(v));
    const double reach = (Y - (X0 + v * tMin)).Length();
    const double expected = std::atan(std::tan(20 * kPi / 180) * L / reach);
    const QvVector n = command.m_basePlane.GetNormal();
    EXPECT_NEAR(std::acos(std::fabs(n[2])), expected, 1e-6);
    // Every rim point stays at least 2 on the teeth's side, the far point at least 3.
    for (const QvPoint& p : rims)
        EXPECT_LE(command.m_basePlane.Distance(p, true), -2.0 + 1e-9);
}

TEST(GumSecondBuilderRules, ContactStripRowsWidenTowardsTheMargin)
{
    Bench bench;
    Blank a, b;
    a.record.m_gapNext = 2;
    auto& SA = a.record.m_sides[0];
    auto& SB = b.record.m_sides[1];
    SA.m_points = {QvPoint(0, 0, 0), QvPoint(4, 0, 0)};
    SB.m_points = {QvPoint(0, 0, 0), QvPoint(0, 6, 0)};
    SA.m_start = SB.m_start = 0;
    std::vector<int> edge;
    ASSERT_TRUE(bench.command.BuildGapStrip(a.record, b.record, 0, edge));
    // 4 L and 6 L give 3 and 4 samples: three rows spaced by 1, 2 and 3 L, of 3 vertices each,
    // and the apex at the contact.
    const QvMesh& mesh = *bench.command.m_pGumMesh;
    EXPECT_EQ(mesh.m_vertices.size(), 10u);
    ASSERT_EQ(edge.size(), 3u);
    EXPECT_NEAR(mesh.m_vertices[static_cast<std::size_t>(edge.front())].m_point.Distance(QvPoint(4, 0, 0)), 0, 1e-9);
    EXPECT_NEAR(mesh.m_vertices[static_cast<std::size_t>(edge.back())].m_point.Distance(QvPoint(0, 6, 0)), 0, 1e-9);
    ASSERT_EQ(SA.m_vertices.size(), 1u);
    EXPECT_EQ(SA.m_vertices, SB.m_vertices);
    EXPECT_NEAR(mesh.m_vertices[static_cast<std::size_t>(SA.m_vertices[0])].m_point.Distance(QvPoint()), 0, 1e-9);
    EXPECT_TRUE(qvtest::MeshInvariantsHold(mesh));
    EXPECT_TRUE(qvtest::IsConsistentlyOriented(mesh));
}

TEST(GumSecondBuilderRules, CapOfTwentyFourPointsLaddersToTheOppositePoint)
{
    Bench bench;
    Blank b;
    for (int i = 0; i < 24; ++i)
        b.record.m_workRing.emplace_back(10 * std::cos(2 * kPi * i / 24), 10 * std::sin(2 * kPi * i / 24), 0.0);
    b.record.m_cornerPrev = 0;
    bench.command.CapToothRing(b.record);
    const QvMesh& mesh = *bench.command.m_pGumMesh;
    // Ring points are vertices 0 .. 23: a chord 11-13, point 12 fanned onto it, the first rung
    // from 6 to 18 through one inner vertex.
    EXPECT_GE(mesh.FindEdge(11, 13), 0);
    EXPECT_GE(mesh.FindEdge(11, 12), 0);
    EXPECT_GE(mesh.FindEdge(12, 13), 0);
    EXPECT_EQ(mesh.m_vertices.size(), 25u);
    EXPECT_GE(mesh.FindEdge(6, 24), 0);
    EXPECT_GE(mesh.FindEdge(24, 18), 0);
    EXPECT_TRUE(qvtest::MeshInvariantsHold(mesh));
    EXPECT_TRUE(qvtest::IsConsistentlyOriented(mesh));
    QvMesh copy(mesh);
    copy.UpdateFaceNormals();
    for (const QvFace& f : copy.m_faces)
        EXPECT_LT(f.m_normal.Dot(bench.command.m_up), 0.0);
}

TEST(GumSecondBuilderRules, BorderAssignmentIsMadeStrictlyIncreasing)
{
    Bench bench;
    QvMesh& mesh = *bench.command.m_pGumMesh;
    std::vector<QvPoint> ring;
    for (int i = 0; i < 10; ++i)
        ring.emplace_back(10 * std::cos(2 * kPi * i / 10), 10 * std::sin(2 * kPi * i / 10), 0.0);
    // Gum border vertices near ring points 0, 3, 3, 2, 9, fanned to a centre.
    const int at[5] = {0, 3, 3, 2, 9};
    std::vector<int> run;
    for (int k = 0; k < 5; ++k)
        run.push_back(mesh.AddVertex(ring[static_cast<std::size_t>(at[k])] + QvVector(0, 0, 0.01 * k)));
    const int centre = mesh.AddVertex(QvPoint(0, 0, -5));
    for (int k = 0; k < 5; ++k)
        ASSERT_TRUE(mesh.AddFace(centre, run[static_cast<std::size_t>(k)], run[static_cast<std::size_t>((k + 1) % 5)], 0));
    bench.command.StitchBorderPiece(run, ring, false);
    const int expected[5] = {0, 3, 4, 5, 9};
    for (int k = 0; k < 5; ++k)
        EXPECT_NEAR(mesh.m_vertices[static_cast<std::size_t>(run[static_cast<std::size_t>(k)])].m_point.Distance(
                        ring[static_cast<std::size_t>(expected[k])]),
                    0.0, 1e-9)
            << k;
    EXPECT_TRUE(qvtest::MeshInvariantsHold(mesh));
}

TEST(GumSecondBuilderRules, ToothInsideANarrowArchTurnIsPassedOverOnOneFace)
{
    struct Case
    {
        double drop; // neighbours' centres below the tooth's
        bool face1;
    };
    // 119 degrees at the tooth, flank corners both above the neighbours' line: skipped on
    // face 1; a straight line of three teeth: nothing.
    const double t = 1.0 / std::tan(59.5 * kPi / 180);
    for (const Case c : {Case{t, true}, Case{0.0, false}})
    {
        Bench bench;
        Blank prev, cur, next;
        auto place = [](QvGumToothRecord& r, const QvPoint& centre) {
            r.m_centre = centre;
            r.m_workRing = {centre + QvVector(0, 1, 0), centre + QvVector(0, -1, 0)};
            r.m_cornerMidA = 0;
            r.m_cornerMidB = 1;
        };
        place(prev.record, QvPoint(-1, -c.drop, 0));
        place(next.record, QvPoint(1, -c.drop, 0));
        place(cur.record, QvPoint(0, 0, 0));
        cur.record.m_workRing = {QvPoint(0, 1, 0), QvPoint(0, 0.5, 0)};
        bench.command.MarkBridgedTooth(prev.record, cur.record, next.record);
        EXPECT_EQ(cur.record.m_continueFace1, c.face1);
        EXPECT_FALSE(cur.record.m_continueFace0);
        EXPECT_EQ(prev.record.m_sides[3].m_grouped, c.face1);
        EXPECT_EQ(next.record.m_sides[2].m_grouped, c.face1);
        EXPECT_EQ(cur.record.m_sides[2].m_grouped && cur.record.m_sides[3].m_grouped, c.face1);
    }
}

TEST(GumSecondBuilderRules, FacingPairNeedsAPointBeyondEachStart)
{
    Bench bench;
    const std::vector<QvPoint> a = {QvPoint(0, 0, 0), QvPoint(1, 0, 0)};
    const std::vector<QvPoint> b = {QvPoint(0, 1, 0), QvPoint(1, 1, 0)};
    int outA = 42, outB = 43;
    EXPECT_FALSE(bench.command.FindFacingPair(a, b, 1, 0, outA, outB));
    EXPECT_EQ(outA, 42);
    EXPECT_EQ(outB, 43);
    EXPECT_TRUE(bench.command.FindFacingPair(a, b, 0, 0, outA, outB));
    EXPECT_EQ(outA, 1);
    EXPECT_EQ(outB, 1);
}

TEST(GumSecondBuilderRules, BaseFillsTheLoopUnderTheWall)
{
    struct Case
    {
        std::vector<QvPoint> loop;
        double area;
    };
    // A U-shaped loop (its hull would cover the notch, area 36) and a triangle.
    const Case cases[] = {{{QvPoint(0, 0, 0), QvPoint(6, 0, 0), QvPoint(6, 6, 0), QvPoint(4, 6, 0), QvPoint(4, 2, 0),
                            QvPoint(2, 2, 0), QvPoint(2, 6, 0), QvPoint(0, 6, 0)},
                           28.0},
                          {{QvPoint(0, 0, 0), QvPoint(4, 0, 0), QvPoint(0, 3, 0)}, 6.0}};
    for (const Case& c : cases)
    {
        Bench bench;
        QvMesh& mesh = *bench.command.m_pGumMesh;
        const int n = static_cast<int>(c.loop.size());
        std::vector<int> base;
        std::vector<std::vector<int>> rows;
        for (const QvPoint& p : c.loop)
        {
            const int top = mesh.AddVertex(p - QvVector(0, 0, 5));
            base.push_back(mesh.AddVertex(p));
            rows.push_back({top, base.back()});
        }
        for (int i = 0; i < n; ++i)
            bench.command.StitchChains(rows[static_cast<std::size_t>((i + 1) % n)], rows[static_cast<std::size_t>(i)],
                                       false);
        ASSERT_TRUE(bench.command.CloseGumBase(base)) << n;
        mesh.UpdateFaceNormals();
        double area = 0.0;
        int faces = 0;
        for (const QvFace& f : mesh.m_faces)
            if (f.m_tag == 6)
            {
                const QvPoint& a = mesh.m_vertices[static_cast<std::size_t>(f.m_vertices[0])].m_point;
                const QvPoint& b = mesh.m_vertices[static_cast<std::size_t>(f.m_vertices[1])].m_point;
                const QvPoint& d = mesh.m_vertices[static_cast<std::size_t>(f.m_vertices[2])].m_point;
                area += 0.5 * (b - a).Cross(d - a).Length();
                ++faces;
            }
        EXPECT_EQ(faces, n - 2);
        EXPECT_NEAR(area, c.area, 1e-9);
        for (int i = 0; i < n; ++i)
        {
            const int e = mesh.FindEdge(base[static_cast<std::size_t>(i)], base[static_cast<std::size_t>((i + 1) % n)]);
            ASSERT_GE(e, 0);
            EXPECT_GE(mesh.m_edges[static_cast<std::size_t>(e)].m_faces[1], 0) << "base edge " << i << " left open";
        }
        EXPECT_TRUE(qvtest::MeshInvariantsHold(mesh));
        EXPECT_TRUE(qvtest::IsConsistentlyOriented(mesh));
    }
}
