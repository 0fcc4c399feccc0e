// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "core/geometry/QvBSplineCurve.h"
#include "core/geometry/QvCircle.h"
#include "core/geometry/QvFrame.h"
#include "core/mesh/QvCreateSweepMeshCommand.h"
#include "core/mesh/QvMesh.h"
#include "testing/MeshFixtures.h"
#include "testing/MeshInvariants.h"

namespace {

using qvtest::IsConsistentlyOriented;
using qvtest::MeshInvariantsHold;

constexpr int kRing = 20; // points of a circle ring along a curve

// Straight cubic from start along dir (unit) of the given length, control points evenly
// spread so that the speed is uniform; the knots are given.
std::unique_ptr<QvBSplineCurve> StraightPath(const QvPoint& start, const QvVector& dir, double length,
                                             const std::vector<double>& knots)
{
    const int n = static_cast<int>(knots.size()) - 4;
    std::vector<QvPoint> ctrl;
    for (int i = 0; i < n; ++i)
        ctrl.push_back(start + dir * (length * i / (n - 1)));
    return std::make_unique<QvBSplineCurve>(knots, ctrl, 3, false);
}

std::unique_ptr<QvBSplineCurve> StraightPath(double length, const QvVector& dir = QvVector(1, 0, 0))
{
    return StraightPath(QvPoint(0, 0, 0), dir, length, {0, 0, 0, 0, 1, 1, 1, 1});
}

// A bent, non-planar open path of a few spans.
std::unique_ptr<QvBSplineCurve> BentPath()
{
    std::vector<QvPoint> pts;
    for (int i = 0; i <= 8; ++i)
    {
        const double a = 0.35 * i;
        pts.emplace_back(8.0 * std::cos(a), 6.0 * std::sin(a), 0.6 * i);
    }
    return std::unique_ptr<QvBSplineCurve>(QvBSplineCurve::Interpolate(pts, false));
}

// A closed loop; lift puts it out of its plane so that the carried rings come back turned.
std::unique_ptr<QvBSplineCurve> LoopPath(double lift)
{
    std::vector<QvPoint> pts;
    for (int i = 0; i < 12; ++i)
    {
        const double a = kQvTwoPi * i / 12;
        pts.emplace_back(5.0 * std::cos(a), 5.0 * std::sin(a), lift * std::sin(2.0 * a));
    }
    return std::unique_ptr<QvBSplineCurve>(QvBSplineCurve::Interpolate(pts, true));
}

QvCircle Circle(double r) { return QvCircle(QvPoint(0, 0, 0), r, QvVector(0, 0, 1)); }

QvRect Rect(double e0, double e1, double e2, double e3)
{
    const double e[4] = {e0, e1, e2, e3};
    return QvRect(QvFrame(QvPoint(0, 0, 0), QvVector(1, 0, 0), QvVector(0, 1, 0)), e);
}

// Runs the command and takes the result (null when it failed).
std::unique_ptr<QvMesh> TakeResult(QvCreateSweepMeshCommand& cmd)
{
    if (!cmd.Execute())
    {
        EXPECT_EQ(cmd.GetMesh(), nullptr);
        return nullptr;
    }
    return std::unique_ptr<QvMesh>(cmd.GetMesh());
}

// Volume enclosed by the faces (divergence theorem); positive when they face outwards.
double SignedVolume(const QvMesh& mesh)
{
    double v = 0.0;
    for (const QvFace& f : mesh.m_faces)
    {
        const QvVector a = mesh.m_vertices[f.m_vertices[0]].m_point - QvPoint();
        const QvVector b = mesh.m_vertices[f.m_vertices[1]].m_point - QvPoint();
        const QvVector c = mesh.m_vertices[f.m_vertices[2]].m_point - QvPoint();
        v += a.Dot(b.Cross(c));
    }
    return v / 6.0;
}

// Closed, kept together, wound one way and facing outwards.
void ExpectSolid(const QvMesh& mesh)
{
    EXPECT_TRUE(MeshInvariantsHold(mesh));
    EXPECT_TRUE(mesh.IsClosed());
    EXPECT_TRUE(IsConsistentlyOriented(mesh));
    EXPECT_GT(SignedVolume(mesh), 0.0);
    for (const QvFace& f : mesh.m_faces)
        EXPECT_EQ(f.m_tag, kQvFaceTagPlain);
}

// Normal of the ring polygon of `size` vertices from index first (area-weighted).
QvVector RingNormal(const QvMesh& mesh, int first, int size)
{
    QvPoint c;
    for (int k = 0; k < size; ++k)
        c += mesh.m_vertices[first + k].m_point;
    c = c / size;
    QvVector n;
    for (int k = 0; k < size; ++k)
        n += (mesh.m_vertices[first + k].m_point - c).Cross(mesh.m_vertices[first + (k + 1) % size].m_point - c);
    return n;
}

void ExpectNear(const QvPoint& a, const QvPoint& b, double tol = 1e-9)
{
    EXPECT_NEAR(a[0], b[0], tol);
    EXPECT_NEAR(a[1], b[1], tol);
    EXPECT_NEAR(a[2], b[2], tol);
}

QvSurfacePoint Sample(int kind, int element, const QvPoint& p)
{
    QvSurfacePoint s;
    s.m_kind = kind;
    s.m_element = element;
    s.m_point = p;
    return s;
}

// The face of a planar x-y mesh that holds the point.
int FaceAt(const QvMesh& mesh, const QvPoint& p)
{
    for (const QvFace& f : mesh.m_faces)
    {
        const QvPoint& a = mesh.m_vertices[f.m_vertices[0]].m_point;
        const QvPoint& b = mesh.m_vertices[f.m_vertices[1]].m_point;
        const QvPoint& c = mesh.m_vertices[f.m_vertices[2]].m_point;
        const auto side = [&](const QvPoint& u, const QvPoint& v) {
            return (v[0] - u[0]) * (p[1] - u[1]) - (v[1] - u[1]) * (p[0] - u[0]);
        };
        if (side(a, b) >= 0 && side(b, c) >= 0 && side(c, a) >= 0)
            return f.m_index;
    }
    return -1;
}

// Face samples on a grid along y = 1.5 at the given x positions.
std::vector<QvSurfacePoint> GridLine(const QvMesh& grid, const std::vector<double>& xs)
{
    std::vector<QvSurfacePoint> out;
    for (const double x : xs)
    {
        const QvPoint p(x, 1.5, 0.0);
        out.push_back(Sample(kQvSurfaceInFace, FaceAt(grid, p), p));
    }
    return out;
}

// ---- Ring counts along a curve ------------------------------------------------------

TEST(SweepAlongCurve, RingCountsFollowTheKnotSpans)
{
    struct Case
    {
        std::vector<double> knots;
        double step;
        int rings;
        const char* what;
    };
    const Case cases[] = {
        {{0, 0, 0, 0, 1, 1, 1, 1}, 0.2, 41, "one span, 50 -> 20, doubled"},
        {{0, 0, 0, 0, 1, 1, 1, 1}, 5.0, 7, "one span, 2 -> 3, doubled"},
        {{0, 0, 0, 0, 1, 1, 1, 1}, 1.0, 21, "one span, 10 kept, doubled"},
        {{0, 0, 0, 0, 1, 1, 1, 1}, 1e-9, 41, "a tiny step stays bounded"},
        {{0, 0, 0, 0, 1, 1, 1, 1}, 1e9, 7, "a huge step still gives 3"},
        {{0, 0, 0, 0, 0.5, 1, 1, 1, 1}, 0.2, 81, "two end spans, both doubled"},
        {{0, 0, 0, 0, 1.0 / 3, 2.0 / 3, 1, 1, 1, 1}, 5.0, 16, "inner span not doubled"},
        {{0, 0, 0, 0, 0.5, 0.5, 1, 1, 1, 1}, 0.2, 81, "zero-length span skipped"},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.what);
        auto path = StraightPath(QvPoint(1, 2, 3), QvVector(0, 0.6, 0.8), 10.0, c.knots);
        QvCircle circle = Circle(0.5);
        QvCreateSweepMeshCommand cmd(path.get(), &circle, c.step);
        auto mesh = TakeResult(cmd);
        ASSERT_NE(mesh, nullptr);
        EXPECT_EQ(mesh->m_vertices.size(), static_cast<std::size_t>(kRing * c.rings));
        EXPECT_EQ(mesh->m_faces.size(), static_cast<std::size_t>(2 * kRing * (c.rings - 1)));
        EXPECT_TRUE(MeshInvariantsHold(*mesh));
        // The last ring sits exactly on the path's end.
        QvPoint last;
        for (int k = 0; k < kRing; ++k)
            last += mesh->m_vertices[kRing * (c.rings - 1) + k].m_point;
        ExpectNear(last / kRing, QvPoint(1, 8, 11), 1e-9);
    }
}

TEST(SweepAlongCurve, StraightCappedTubeHasTheExactCountsAndVolume)
{
    auto path = StraightPath(10.0);
    QvCircle circle = Circle(0.5);
    QvCreateSweepMeshCommand cmd(path.get(), &circle, 0.2);
    cmd.SetCapEnds(true);
    auto mesh = TakeResult(cmd);
    ASSERT_NE(mesh, nullptr);
    // 41 rings: 820 ring vertices and 1600 side triangles, 2 centres and 40 cap triangles.
    EXPECT_EQ(mesh->m_vertices.size(), 822u);
    EXPECT_EQ(mesh->m_faces.size(), 1640u);
    ExpectSolid(*mesh);
    // Cap centres follow the rings.
    ExpectNear(mesh->m_vertices[820].m_point, QvPoint(0, 0, 0));
    ExpectNear(mesh->m_vertices[821].m_point, QvPoint(10, 0, 0));
    // A prism over the 20-gon.
    const double area = 0.5 * kRing * 0.25 * std::sin(kQvTwoPi / kRing);
    EXPECT_NEAR(SignedVolume(*mesh), area * 10.0, 1e-9);
    // Every face normal points away from the axis or out of the ends.
    for (const QvFace& f : mesh->m_faces)
    {
        QvPoint c;
        for (const int v : f.m_vertices)
            c += mesh->m_vertices[v].m_point;
        c = c / 3.0;
        const QvVector out = c[0] < 1e-9 ? QvVector(-1, 0, 0)
                             : c[0] > 10 - 1e-9 ? QvVector(1, 0, 0)
                                                 : QvVector(0, c[1], c[2]);
        EXPECT_GT(f.m_normal.Dot(out), 0.0);
    }
}

TEST(SweepAlongCurve, FirstFrameFollowsTangentAndReference)
{
    struct Case
    {
        QvVector dir;
        bool withRef;
        QvVector ref;
        QvVector e1, e2;
        const char* what;
    };
    const Case cases[] = {
        {QvVector(0, 0, 1), false, {}, QvVector(1, 0, 0), QvVector(0, 1, 0), "along z"},
        {QvVector(0, 0, 1), true, QvVector(0, 1, 0), QvVector(1, 0, 0), QvVector(0, 1, 0), "along z ignores ref"},
        {QvVector(1, 0, 0), false, {}, QvVector(0, 1, 0), QvVector(0, 0, 1), "along x"},
        {QvVector(1, 0, 0), true, QvVector(0, 1, 0), QvVector(0, 0, -1), QvVector(0, 1, 0), "along x with ref"},
        // A reference along the tangent spans no plane: the default axes stay.
        {QvVector(1, 0, 0), true, QvVector(2, 0, 0), QvVector(0, 1, 0), QvVector(0, 0, 1), "ref along tangent"},
    };
    const double r = 0.5;
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.what);
        auto path = StraightPath(4.0, c.dir);
        QvCircle circle = Circle(r);
        QvCreateSweepMeshCommand cmd(path.get(), &circle, 1.0);
        if (c.withRef)
            cmd.m_pRefDir = &c.ref;
        auto mesh = TakeResult(cmd);
        ASSERT_NE(mesh, nullptr);
        // Point 0 at angle 0, point 5 at 90 degrees.
        ExpectNear(mesh->m_vertices[0].m_point, QvPoint() + c.e1 * r);
        ExpectNear(mesh->m_vertices[5].m_point, QvPoint() + c.e2 * r);
    }
}

// Carried rings stay perpendicular to the path, keep their size and run counter-clockwise
// about the tangent, also where the tangent turns round.
TEST(SweepAlongCurve, CarriedRingsStayOnTheirCrossSection)
{
    auto path = BentPath();
    ASSERT_NE(path, nullptr);
    QvCircle circle = Circle(0.3);
    QvCreateSweepMeshCommand cmd(path.get(), &circle, 0.5);
    auto mesh = TakeResult(cmd);
    ASSERT_NE(mesh, nullptr);
    const int rings = static_cast<int>(mesh->m_vertices.size()) / kRing;
    for (int g = 0; g < rings; ++g)
    {
        QvPoint c;
        for (int k = 0; k < kRing; ++k)
            c += mesh->m_vertices[g * kRing + k].m_point;
        c = c / kRing;
        double t = 0.0;
        QvPoint q;
        ASSERT_TRUE(path->ClosestPoint(c, t, q));
        EXPECT_LT(c.Distance(q), 1e-6);
        QvPoint p;
        QvVector d[1];
        ASSERT_TRUE(path->EvaluateDerivatives(1, p, d, t));
        d[0].Normalize();
        for (int k = 0; k < kRing; ++k)
        {
            const QvVector x = mesh->m_vertices[g * kRing + k].m_point - c;
            EXPECT_NEAR(x.Length(), 0.3, 1e-9);
            EXPECT_NEAR(x.Dot(d[0]), 0.0, 1e-6);
        }
        EXPECT_GT(RingNormal(*mesh, g * kRing, kRing).Dot(d[0]), 0.0);
    }

    // A path that runs up the z axis and straight back down: the ring is turned over, not
    // mirrored, so it still runs counter-clockwise about the reversed tangent.
    auto back = std::make_unique<QvBSplineCurve>(std::vector<double>{0, 0, 0.5, 1, 1},
                                                 std::vector<QvPoint>{{0, 0, 0}, {0, 0, 2}, {0, 0, 1}}, 1, false);
    QvCreateSweepMeshCommand turn(back.get(), &circle, 0.5);
    auto turned = TakeResult(turn);
    ASSERT_NE(turned, nullptr);
    const int last = static_cast<int>(turned->m_vertices.size()) - kRing;
    EXPECT_GT(RingNormal(*turned, 0, kRing).Dot(QvVector(0, 0, 1)), 0.0);
    EXPECT_GT(RingNormal(*turned, last, kRing).Dot(QvVector(0, 0, -1)), 0.0);
}

// ---- Caps and closing ---------------------------------------------------------------

TEST(SweepAlongCurve, CappedSweepsAreSolids)
{
    auto straight = StraightPath(QvPoint(-3, 1, 2), QvVector(0.48, 0.6, 0.64), 7.0, {0, 0, 0, 0, 0.5, 1, 1, 1, 1});
    auto bent = BentPath();
    auto loop = LoopPath(1.5);
    QvCircle circle = Circle(0.4);
    QvRect rect = Rect(1, 0.5, 1, 0.5);
    QvRect offCentre = Rect(0.2, 0.7, 0.5, 0.1);
    struct Case
    {
        QvBSplineCurve* path;
        QvGeometry* profile;
        double step;
        double volume; // 0: not known
        const char* what;
    };
    const double polygon = 0.5 * kRing * 0.16 * std::sin(kQvTwoPi / kRing);
    const Case cases[] = {
        {straight.get(), &circle, 0.3, polygon * 7.0, "circle, straight"},
        {bent.get(), &circle, 0.3, 0.0, "circle, bent"},
        {loop.get(), &circle, 0.3, 0.0, "circle, closed path with caps"},
        {straight.get(), &rect, 0.5, 2.0 * 1.0 * 7.0, "rectangle, straight"},
        {straight.get(), &offCentre, 0.25, 0.7 * 0.8 * 7.0, "rectangle off its centre, straight"},
        {bent.get(), &rect, 0.5, 0.0, "rectangle, bent"},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.what);
        ASSERT_NE(c.path, nullptr);
        QvCreateSweepMeshCommand cmd(c.path, c.profile, c.step);
        cmd.SetCapEnds(true);
        auto mesh = TakeResult(cmd);
        ASSERT_NE(mesh, nullptr);
        ExpectSolid(*mesh);
        if (c.volume > 0.0)
        {
            EXPECT_NEAR(SignedVolume(*mesh), c.volume, 1e-9 * c.volume);
        }
    }
}

// Sweeps scaled down and up by 1e3 keep their shape: the volume scales by the cube.
TEST(SweepAlongCurve, ScaledPathsKeepTheirShape)
{
    for (const double s : {1e-3, 1.0, 1e3})
    {
        SCOPED_TRACE(s);
        auto path = StraightPath(QvPoint(s, 0, 0), QvVector(0, 0, 1), 10.0 * s, {0, 0, 0, 0, 0.5, 1, 1, 1, 1});
        QvCircle circle = Circle(0.5 * s);
        QvRect rect = Rect(s, 0.5 * s, s, 0.5 * s);
        const double polygon = 0.5 * kRing * 0.25 * std::sin(kQvTwoPi / kRing);
        for (QvGeometry* profile : {static_cast<QvGeometry*>(&circle), static_cast<QvGeometry*>(&rect)})
        {
            QvCreateSweepMeshCommand cmd(path.get(), profile, 0.5 * s);
            cmd.SetCapEnds(true);
            auto mesh = TakeResult(cmd);
            ASSERT_NE(mesh, nullptr);
            ExpectSolid(*mesh);
            const double expected = (profile == &circle ? polygon : 2.0) * 10.0 * s * s * s;
            EXPECT_NEAR(SignedVolume(*mesh), expected, 1e-9 * expected);
        }
    }
}

TEST(SweepAlongCurve, RectangleRingAndGridCap)
{
    auto path = StraightPath(3.0);
    QvRect rect = Rect(1, 0.5, 1, 0.5);
    QvCreateSweepMeshCommand open(path.get(), &rect, 0.5);
    auto tube = TakeResult(open);
    ASSERT_NE(tube, nullptr);
    // nW = 4, nH = 2: 12 points a ring.
    ASSERT_EQ(tube->m_vertices.size() % 12, 0u);
    const std::size_t rings = tube->m_vertices.size() / 12;
    EXPECT_GE(rings, 7u);
    EXPECT_EQ(tube->m_faces.size(), 24 * (rings - 1));
    // Along x without reference: E1 = (0, 1, 0), E2 = (0, 0, 1); the corners at 0, nH,
    // nH + nW and 2 nH + nW.
    ExpectNear(tube->m_vertices[0].m_point, QvPoint(0, -1, -0.5));
    ExpectNear(tube->m_vertices[2].m_point, QvPoint(0, -1, 0.5));
    ExpectNear(tube->m_vertices[6].m_point, QvPoint(0, 1, 0.5));
    ExpectNear(tube->m_vertices[8].m_point, QvPoint(0, 1, -0.5));
    ExpectNear(tube->m_vertices[1].m_point, QvPoint(0, -1, 0));
    std::vector<std::vector<int>> loops;
    tube->GetBoundaryLoops(loops);
    EXPECT_EQ(loops.size(), 2u);

    QvCreateSweepMeshCommand capped(path.get(), &rect, 0.5);
    capped.SetCapEnds(true);
    auto solid = TakeResult(capped);
    ASSERT_NE(solid, nullptr);
    // Each cap: 3 new vertices and 16 triangles.
    EXPECT_EQ(solid->m_vertices.size(), 12 * rings + 6);
    EXPECT_EQ(solid->m_faces.size(), 24 * (rings - 1) + 32);
    ExpectSolid(*solid);
    ExpectNear(solid->m_vertices[12 * rings].m_point, QvPoint(0, -0.5, 0));
}

TEST(SweepAlongCurve, ClosedPathWithoutCapsClosesTheTube)
{
    for (const double lift : {0.0, 1.5})
    {
        SCOPED_TRACE(lift);
        auto loop = LoopPath(lift);
        ASSERT_NE(loop, nullptr);
        ASSERT_TRUE(loop->m_closed);
        QvCircle circle = Circle(0.4);
        QvCreateSweepMeshCommand cmd(loop.get(), &circle, 0.3);
        auto mesh = TakeResult(cmd);
        ASSERT_NE(mesh, nullptr);
        ExpectSolid(*mesh);
        // The last ring (on top of the first) is gone.
        ASSERT_EQ(mesh->m_vertices.size() % kRing, 0u);
        const int rings = static_cast<int>(mesh->m_vertices.size()) / kRing;
        EXPECT_EQ(mesh->m_faces.size(), static_cast<std::size_t>(2 * kRing * rings));
        // Torus of the 20-gon about the loop: close to its section area times the length.
        const double area = 0.5 * kRing * 0.16 * std::sin(kQvTwoPi / kRing);
        EXPECT_NEAR(SignedVolume(*mesh), area * loop->ArcLength(true, 0, 1), 0.02 * area * loop->ArcLength(true, 0, 1));
        // The closing band joins each first-ring point to the nearest point of the ring
        // before it (the carried ring comes back turned when the loop leaves its plane).
        const int prev = (rings - 1) * kRing;
        for (int k = 0; k < kRing; ++k)
        {
            int nearest = prev;
            for (int j = prev; j < prev + kRing; ++j)
                if (mesh->m_vertices[j].m_point.Distance(mesh->m_vertices[k].m_point) <
                    mesh->m_vertices[nearest].m_point.Distance(mesh->m_vertices[k].m_point))
                    nearest = j;
            EXPECT_GE(mesh->FindEdge(k, nearest), 0) << "ring point " << k;
        }
    }
}

TEST(SweepAlongCurve, RectangleAlongClosedPathStaysOpen)
{
    auto loop = LoopPath(0.0);
    QvRect rect = Rect(0.5, 0.25, 0.5, 0.25);
    QvCreateSweepMeshCommand cmd(loop.get(), &rect, 0.25);
    auto mesh = TakeResult(cmd);
    ASSERT_NE(mesh, nullptr);
    EXPECT_TRUE(MeshInvariantsHold(*mesh));
    EXPECT_TRUE(IsConsistentlyOriented(*mesh));
    std::vector<std::vector<int>> loops;
    mesh->GetBoundaryLoops(loops);
    EXPECT_EQ(loops.size(), 2u);
}

// ---- Sample forms -------------------------------------------------------------------

TEST(SweepAlongSamples, PointsPerRingFromPerimeterAndStep)
{
    QvMesh grid = qvtest::MakeGrid(6, 4);
    const auto samples = GridLine(grid, {0.5, 1.5, 2.5, 3.5});
    QvCircle unit = Circle(1.0);
    QvEllipse ellipse(QvFrame(QvPoint(), QvVector(1, 0, 0), QvVector(0, 1, 0)), 2.0, 1.0);
    struct Case
    {
        QvGeometry* profile;
        double step;
        int n;
    };
    const Case cases[] = {
        {&unit, 1.0, 7},    // ceil(6.28318530718)
        {&unit, 0.785, 9},  // 8.004 -> 9
        {&unit, 2.0, 4},
        {&ellipse, 1.0, static_cast<int>(std::ceil(4.0 + kQvTwoPi))},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.step);
        QvCreateSweepMeshCommand cmd(&grid, samples, c.profile, c.step);
        auto mesh = TakeResult(cmd);
        ASSERT_NE(mesh, nullptr);
        // Caps are on by default in the sample form.
        EXPECT_EQ(mesh->m_vertices.size(), static_cast<std::size_t>(4 * c.n + 2));
        EXPECT_EQ(mesh->m_faces.size(), static_cast<std::size_t>(2 * c.n * 3 + 2 * c.n));
        ExpectSolid(*mesh);
    }
}

// The ring lies across the surface: S + sa cos(w) bn + sb sin(w) n, centred on the sample.
TEST(SweepAlongSamples, RingsStandOnTheSurfaceNormal)
{
    QvMesh cube = qvtest::MakeCube(2.0);
    QvMesh grid = qvtest::MakeGrid(4, 4);
    const int cubeEdge = cube.FindEdge(3, 7); // the vertical edge at (2, 2)
    ASSERT_GE(cubeEdge, 0);
    int borderEdge = grid.FindEdge(0, 1); // on the grid's border: one face
    ASSERT_GE(borderEdge, 0);
    ASSERT_EQ(grid.m_edges[borderEdge].m_faces[1], -1);
    struct Case
    {
        QvMesh* mesh;
        std::vector<QvSurfacePoint> samples;
        QvVector normal;
        const char* what;
    };
    const QvVector diag = QvVector(1, 1, 0) / std::sqrt(2.0);
    const Case cases[] = {
        {&cube,
         {Sample(2, cubeEdge, {2, 2, 0.5}), Sample(2, cubeEdge, {2, 2, 1.0}), Sample(2, cubeEdge, {2, 2, 1.5})},
         diag,
         "edge between two faces"},
        {&grid,
         {Sample(2, borderEdge, {0.2, 0, 0}), Sample(2, borderEdge, {0.5, 0, 0}), Sample(2, borderEdge, {0.8, 0, 0})},
         QvVector(0, 0, 1),
         "border edge"},
        {&grid,
         {Sample(1, 5, {1, 1, 0}), Sample(3, FaceAt(grid, {1.6, 1.2, 0}), {1.6, 1.2, 0}), Sample(1, 6, {2, 1, 0})},
         QvVector(0, 0, 1),
         "vertex and face"},
    };
    QvCircle circle = Circle(0.25);
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.what);
        // 0.25 * 2 pi / 0.196 = 8.01 -> 9; 0.197 gives 7.97 -> 8 points, one at 90 degrees.
        QvCreateSweepMeshCommand cmd(c.mesh, c.samples, &circle, 0.197);
        auto mesh = TakeResult(cmd);
        ASSERT_NE(mesh, nullptr);
        ASSERT_EQ(mesh->m_vertices.size(), 3u * 8 + 2);
        for (int i = 0; i < 3; ++i)
        {
            const QvPoint& s = c.samples[i].m_point;
            QvPoint mean;
            for (int k = 0; k < 8; ++k)
            {
                mean += mesh->m_vertices[8 * i + k].m_point;
                EXPECT_NEAR(mesh->m_vertices[8 * i + k].m_point.Distance(s), 0.25, 1e-9);
            }
            ExpectNear(mean / 8.0, s);
            ExpectNear(mesh->m_vertices[8 * i + 2].m_point, s + c.normal * 0.25);
        }
        ExpectSolid(*mesh);
    }
}

TEST(SweepAlongSamples, EllipseAndCircleAlongBandAreSolids)
{
    // A vertical line of vertices on a cylinder band: vertex normals point outwards.
    QvMesh band = qvtest::MakeBand(16, 6, 3.0);
    std::vector<QvSurfacePoint> samples;
    for (int r = 0; r < 6; ++r)
        samples.push_back(Sample(kQvSurfaceOnVertex, r * 16 + 3, band.m_vertices[r * 16 + 3].m_point));
    QvCircle circle = Circle(0.2);
    QvEllipse ellipse(QvFrame(), 0.3, 0.1);
    struct Case
    {
        QvGeometry* profile;
        int n;
    };
    // ceil(0.4 pi / 0.05) = 26; ceil((0.8 + 0.2 pi) / 0.05) = 29.
    for (const Case& c : {Case{&circle, 26}, Case{&ellipse, 29}})
    {
        QvCreateSweepMeshCommand cmd(&band, samples, c.profile, 0.05);
        auto mesh = TakeResult(cmd);
        ASSERT_NE(mesh, nullptr);
        ASSERT_EQ(mesh->m_vertices.size(), static_cast<std::size_t>(6 * c.n + 2));
        ExpectSolid(*mesh);
        // Each ring is centred on its sample: half of it lies below the surface.
        for (int i = 0; i < 6; ++i)
        {
            QvPoint mean;
            for (int k = 0; k < c.n; ++k)
                mean += mesh->m_vertices[c.n * i + k].m_point;
            ExpectNear(mean / c.n, samples[i].m_point);
        }
    }
}

TEST(SweepAlongSamples, RectangleThinningAndRingCount)
{
    QvMesh grid = qvtest::MakeGrid(6, 4);
    QvRect rect = Rect(0.5, 0.5, 0.5, 0.5); // nW = nH = 1 with step 1: 4 points a ring
    struct Case
    {
        std::vector<double> xs;
        int rings;
        const char* what;
    };
    const Case cases[] = {
        {{0.5, 0.9, 1.5}, 4, "0.4 is dropped, 1.0 kept: one interval of 3 rings"},
        {{0.5, 1.1, 1.7}, 7, "all kept: two intervals of 3 rings"},
        {{0.5, 0.6, 0.7, 0.8, 0.9, 1.0, 1.5}, 4, "a cluster thinned to its first"},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.what);
        QvCreateSweepMeshCommand cmd(&grid, GridLine(grid, c.xs), &rect, 1.0);
        auto mesh = TakeResult(cmd);
        ASSERT_NE(mesh, nullptr);
        // Caps of one cell: no new vertex, two triangles each.
        EXPECT_EQ(mesh->m_vertices.size(), static_cast<std::size_t>(4 * c.rings));
        EXPECT_EQ(mesh->m_faces.size(), static_cast<std::size_t>(8 * (c.rings - 1) + 4));
        ExpectSolid(*mesh);
        // A box along the line from the first sample to the last one kept.
        const double length = c.xs.back() - c.xs.front();
        EXPECT_NEAR(SignedVolume(*mesh), length, 1e-6);
    }
}

TEST(SweepAlongSamples, RectangleStripFollowsTheSurface)
{
    // A gentle arc of face samples on a grid: the strip's E2 is the surface normal (+z),
    // so the strip spans exactly -e[3] .. e[1] in z.
    QvMesh grid = qvtest::MakeGrid(12, 12);
    std::vector<QvSurfacePoint> samples;
    for (int i = 0; i <= 40; ++i)
    {
        const double a = 0.03 * i;
        const QvPoint p(5.5 + 4.0 * std::cos(a), 1.5 + 4.0 * std::sin(a), 0.0);
        samples.push_back(Sample(kQvSurfaceInFace, FaceAt(grid, p), p));
    }
    samples[20].m_kind = kQvSurfaceOnEdge; // an interior edge: two +z faces
    samples[20].m_element = grid.m_faces[samples[20].m_element].m_edges[0];
    QvRect rect = Rect(0.3, 0.2, 0.3, 0.1);
    QvCreateSweepMeshCommand cmd(&grid, samples, &rect, 0.1);
    auto mesh = TakeResult(cmd);
    ASSERT_NE(mesh, nullptr);
    ExpectSolid(*mesh);
    double zmin = 1e10, zmax = -1e10;
    for (const QvVertex& v : mesh->m_vertices)
    {
        zmin = std::min(zmin, v.m_point[2]);
        zmax = std::max(zmax, v.m_point[2]);
    }
    EXPECT_NEAR(zmin, -0.1, 1e-9);
    EXPECT_NEAR(zmax, 0.2, 1e-9);
}

// ---- Failures and ownership ---------------------------------------------------------

class OtherShape : public QvGeometry
{
};

TEST(SweepCommand, DegenerateInputFailsWithoutResult)
{
    auto straight = StraightPath(10.0);
    auto point = std::make_unique<QvBSplineCurve>(QvPoint(1, 2, 3), false);
    auto empty = std::make_unique<QvBSplineCurve>();
    QvMesh grid = qvtest::MakeGrid(6, 4);
    const auto line = GridLine(grid, {0.5, 1.5, 2.5});
    QvCircle circle = Circle(0.5);
    QvCircle flat = Circle(0.0);
    QvEllipse ellipse(QvFrame(), 1.0, 0.5);
    QvEllipse noAxis(QvFrame(), 1.0, 0.0);
    QvRect rect = Rect(0.5, 0.5, 0.5, 0.5);
    QvRect noWidth = Rect(0, 0.5, 0, 0.5);
    OtherShape other;
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    auto badElement = line;
    badElement[1].m_element = static_cast<int>(grid.m_faces.size());
    auto badVertex = line;
    badVertex[2] = Sample(kQvSurfaceOnVertex, -1, {2.5, 1.5, 0});

    struct Case
    {
        std::string what;
        std::unique_ptr<QvCreateSweepMeshCommand> cmd;
    };
    std::vector<Case> cases;
    const auto curve = [&](const char* what, QvBSplineCurve* path, QvGeometry* profile, double step, bool caps) {
        auto c = std::make_unique<QvCreateSweepMeshCommand>(path, profile, step);
        c->SetCapEnds(caps);
        cases.push_back({what, std::move(c)});
    };
    const auto sampled = [&](const char* what, QvMesh* mesh, const std::vector<QvSurfacePoint>& s, QvGeometry* profile,
                             double step) {
        cases.push_back({what, std::make_unique<QvCreateSweepMeshCommand>(mesh, s, profile, step)});
    };
    curve("no profile", straight.get(), nullptr, 0.5, false);
    curve("other profile type", straight.get(), &other, 0.5, false);
    curve("ellipse along a curve", straight.get(), &ellipse, 0.5, false);
    curve("null path, circle", nullptr, &circle, 0.5, false);
    curve("null path, rectangle", nullptr, &rect, 0.5, false);
    curve("zero step", straight.get(), &circle, 0.0, false);
    curve("negative step", straight.get(), &circle, -0.5, false);
    curve("NaN step", straight.get(), &circle, nan, false);
    curve("infinite step", straight.get(), &rect, inf, false);
    curve("path of one point", point.get(), &circle, 0.5, true);
    curve("path of one point, rectangle", point.get(), &rect, 0.5, true);
    curve("path that cannot be evaluated", empty.get(), &circle, 0.5, true);
    curve("zero radius", straight.get(), &flat, 0.5, true);
    curve("rectangle without width", straight.get(), &noWidth, 0.5, true);
    sampled("no mesh", nullptr, line, &circle, 0.5);
    sampled("no samples", &grid, {}, &circle, 0.5);
    sampled("no samples, ellipse", &grid, {}, &ellipse, 0.5);
    sampled("no samples, rectangle", &grid, {}, &rect, 0.5);
    sampled("one sample", &grid, {line[0]}, &circle, 0.5);
    sampled("one sample, rectangle", &grid, {line[0]}, &rect, 0.5);
    sampled("one sample left after thinning", &grid, GridLine(grid, {0.5, 0.6, 0.7}), &rect, 1.0);
    sampled("face outside the mesh", &grid, badElement, &circle, 0.5);
    sampled("vertex outside the mesh", &grid, badVertex, &rect, 0.5);
    sampled("fewer than three ring points", &grid, line, &circle, 1.6);
    sampled("ellipse without minor axis", &grid, line, &noAxis, 0.5);
    sampled("rectangle without width, samples", &grid, line, &noWidth, 0.5);
    sampled("NaN step, samples", &grid, line, &circle, nan);

    for (Case& c : cases)
    {
        SCOPED_TRACE(c.what);
        EXPECT_FALSE(c.cmd->Execute());
        EXPECT_EQ(c.cmd->GetMesh(), nullptr);
    }
}

TEST(SweepCommand, ResultBelongsToWhoeverTakesIt)
{
    auto path = StraightPath(5.0);
    QvCircle circle = Circle(0.5);
    std::unique_ptr<QvMesh> taken;
    {
        QvCreateSweepMeshCommand cmd(path.get(), &circle, 0.5);
        ASSERT_TRUE(cmd.Execute());
        taken.reset(cmd.GetMesh());
        ASSERT_NE(taken, nullptr);
        EXPECT_EQ(cmd.GetMesh(), taken.get());
    }
    // Still ours after the command is gone (the sanitizer would report a use after free).
    EXPECT_EQ(taken->m_vertices.size() % kRing, 0u);
    EXPECT_TRUE(MeshInvariantsHold(*taken));

    {
        // A taken result survives a second run, which makes a new one.
        QvCreateSweepMeshCommand cmd(path.get(), &circle, 0.5);
        ASSERT_TRUE(cmd.Execute());
        std::unique_ptr<QvMesh> first(cmd.GetMesh());
        ASSERT_TRUE(cmd.Execute());
        std::unique_ptr<QvMesh> second(cmd.GetMesh());
        EXPECT_NE(first.get(), second.get());
        EXPECT_EQ(first->m_vertices.size(), second->m_vertices.size());
    }
    {
        // Results never taken are released by the next run and by the destructor (the leak
        // checker watches this).
        QvCreateSweepMeshCommand cmd(path.get(), &circle, 0.5);
        ASSERT_TRUE(cmd.Execute());
        ASSERT_TRUE(cmd.Execute());
        ASSERT_TRUE(cmd.Execute());
    }
}

} // namespace
