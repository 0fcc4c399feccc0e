// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <map>
#include <memory>
#include <random>
#include <set>
#include <vector>

#include <CGAL/Exact_predicates_inexact_constructions_kernel.h>
#include <CGAL/Polygon_mesh_slicer.h>
#include <CGAL/Surface_mesh.h>

#include "core/geometry/QvLine.h"
#include "core/geometry/QvMatrix.h"
#include "core/geometry/QvPlane.h"
#include "core/mesh/QvMesh.h"
#include "core/mesh/tests/MeshTestUtil.h"
#include "testing/MeshFixtures.h"
#include "testing/MeshInvariants.h"

namespace {

using meshtest::MeshOf;

using Sections = std::vector<std::vector<QvSectionPoint>>;
using Kernel = CGAL::Exact_predicates_inexact_constructions_kernel;
using SurfaceMesh = CGAL::Surface_mesh<Kernel::Point_3>;

void ExpectNear(const QvPoint& a, const QvPoint& b, double tolerance = 1e-12)
{
    for (int k = 0; k < 3; ++k)
        EXPECT_NEAR(a[k], b[k], tolerance) << "axis " << k;
}

// ---- Box, centres, normals ------------------------------------------------------------

TEST(MeshQuery, BoundingBox)
{
    QvMesh single;
    single.AddVertex(QvPoint(1, 2, 3));
    single.UpdateBBox();
    ExpectNear(single.m_bbox.m_minPoint, QvPoint(1, 2, 3));
    ExpectNear(single.m_bbox.m_maxPoint, QvPoint(1, 2, 3));
    EXPECT_FALSE(single.m_bbox.IsValid());

    QvMesh empty;
    empty.m_bbox.Set(QvPoint(-1, -1, -1), QvPoint(4, 4, 4));
    empty.UpdateBBox();
    ExpectNear(empty.m_bbox.m_maxPoint, QvPoint(4, 4, 4));
    EXPECT_TRUE(empty.IsEmpty());
    EXPECT_FALSE(single.IsEmpty());

    for (const double size : {1e-3, 1.0, 1e3})
    {
        QvMesh cube = qvtest::MakeCube(size);
        ASSERT_TRUE(cube.SetVertexPosition(7, QvPoint(-size, 2 * size, size)));
        cube.UpdateBBox();
        ExpectNear(cube.m_bbox.m_minPoint, QvPoint(-size, 0, 0));
        ExpectNear(cube.m_bbox.m_maxPoint, QvPoint(size, 2 * size, size));
    }
}

TEST(MeshQuery, Centres)
{
    // A fan on the plane z = 1 around a centre at z = 2 (the crown), and a root vertex
    // below it joined by two root faces.
    std::vector<QvPoint> points{{0, 0, 2}};
    for (int i = 0; i < 6; ++i)
        points.emplace_back(std::cos(kQvTwoPi * i / 6), std::sin(kQvTwoPi * i / 6), 1);
    points.emplace_back(0.3, 0.1, -5);
    QvMesh mesh = MeshOf(points, {{0, 1, 2}, {0, 2, 3}, {0, 3, 4}, {0, 4, 5}, {0, 5, 6}, {2, 1, 7}, {3, 2, 7}});
    mesh.m_faces[5].m_tag = kQvFaceTagVirtualRoot;
    mesh.m_faces[6].m_tag = kQvFaceTagVirtualRoot;

    // Each crown vertex once, although the centre vertex has five faces.
    ExpectNear(mesh.GetCenterExcludingRoot(), QvPoint(0, 0, 8.0 / 7.0));
    ExpectNear(mesh.GetCenter(), QvPoint(0.3 / 8, 0.1 / 8, (8.0 - 5.0) / 8));

    // All root: nothing to leave out the root from, so the plain centre.
    for (QvFace& f : mesh.m_faces)
        f.m_tag = kQvFaceTagVirtualRoot;
    ExpectNear(mesh.GetCenterExcludingRoot(), mesh.GetCenter());
    QvMesh bare;
    bare.AddVertex(QvPoint(1, 2, 3));
    bare.AddVertex(QvPoint(3, 2, 1));
    ExpectNear(bare.GetCenterExcludingRoot(), QvPoint(2, 2, 2));
}

TEST(MeshQuery, VertexNormal)
{
    QvMesh loose;
    loose.AddVertex(QvPoint(3, 0, 4));
    loose.AddVertex(QvPoint(0, 0, 0));
    ExpectNear(QvPoint() + loose.GetVertexNormal(0), QvPoint(0.6, 0, 0.8));
    ExpectNear(QvPoint() + loose.GetVertexNormal(1), QvPoint(1, 0, 0));

    // On a sphere the mean face normal is close to the radial direction.
    const QvMesh sphere = qvtest::MakeSphere(3, 2.0);
    for (int v = 0; v < static_cast<int>(sphere.m_vertices.size()); ++v)
    {
        const QvVector n = sphere.GetVertexNormal(v);
        EXPECT_NEAR(n.Length(), 1.0, 1e-12);
        QvVector radial = sphere.m_vertices[v].m_point - QvPoint();
        radial.Normalize();
        EXPECT_GT(n.Dot(radial), 0.99);
    }
    // The corner of a strip: the mean of its one face's normal.
    const QvMesh strip = qvtest::MakeTwoTriangleStrip();
    ExpectNear(QvPoint() + strip.GetVertexNormal(0), QvPoint(0, 0, 1));
}

// ---- Lines ----------------------------------------------------------------------------

TEST(MeshQuery, FaceLineTable)
{
    struct Case
    {
        const char* name;
        std::array<QvPoint, 3> corners;
        QvPoint origin;
        QvVector direction;
        bool hit;
        double parameter;
    };
    const std::array<QvPoint, 3> big{QvPoint(-1, -1, 0), QvPoint(2, -1, 0), QvPoint(-1, 2, 0)};
    const std::array<QvPoint, 3> reversed{big[2], big[1], big[0]};
    const std::vector<Case> cases = {
        {"along z, hit behind the origin", big, {0.25, 0.25, 3}, {0, 0, 1}, true, -3},
        {"other winding, same hit", reversed, {0.25, 0.25, 3}, {0, 0, 1}, true, -3},
        {"towards the plane", big, {0.25, 0.25, 3}, {0, 0, -1}, true, 3},
        {"slanted", big, {0, -0.5, 1}, {0, 1, -1}, true, std::sqrt(2.0)},
        {"through a corner", big, {-1, -1, 7}, {0, 0, 1}, true, -7},
        {"through an edge", big, {0.5, -1, 1}, {0, 0, 1}, true, -1},
        {"outside", big, {5, 5, 1}, {0, 0, 1}, false, 0},
        {"in the triangle's plane", big, {0, 0, 0}, {1, 0, 0}, false, 0},
        // |det| = 2.5e-5 is under the threshold, 4e-4 is over it.
        {"tiny triangle", {QvPoint(0, 0, 0), QvPoint(0.005, 0, 0), QvPoint(0, 0.005, 0)}, {0.001, 0.001, 1}, {0, 0, 1}, false, 0},
        {"small triangle", {QvPoint(0, 0, 0), QvPoint(0.02, 0, 0), QvPoint(0, 0.02, 0)}, {0.001, 0.001, 1}, {0, 0, 1}, true, -1},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        const QvMesh mesh = MeshOf({c.corners[0], c.corners[1], c.corners[2]}, {{0, 1, 2}});
        QvPoint point(9, 9, 9);
        double parameter = 99;
        const bool hit = mesh.IntersectFaceLine(QvLine(c.origin, c.direction), mesh.m_faces[0], point, parameter);
        ASSERT_EQ(hit, c.hit);
        if (hit)
        {
            EXPECT_NEAR(parameter, c.parameter, 1e-12);
            QvVector d = c.direction;
            d.Normalize();
            ExpectNear(point, c.origin + d * c.parameter);
        }
        else
        {
            EXPECT_EQ(parameter, 99);
            ExpectNear(point, QvPoint(9, 9, 9));
        }
    }
}

TEST(MeshQuery, LineAgainstMesh)
{
    const QvMesh cube = qvtest::MakeCube();
    std::vector<QvPoint> points{QvPoint(7, 7, 7)};
    ASSERT_TRUE(cube.IntersectLine(QvLine(QvPoint(3, 0.3, 0.6), QvVector(-1, 0, 0)), points));
    ASSERT_EQ(points.size(), 3u);
    ExpectNear(points[1], QvPoint(1, 0.3, 0.6)); // parameter 2
    ExpectNear(points[2], QvPoint(0, 0.3, 0.6)); // parameter 3
    EXPECT_FALSE(cube.IntersectLine(QvLine(QvPoint(3, 3, 3), QvVector(1, 0, 0)), points));
    EXPECT_EQ(points.size(), 3u);
    EXPECT_FALSE(QvMesh().IntersectLine(QvLine(QvPoint(), QvVector(1, 0, 0)), points));

    // Through the shared edge of the strip both faces hit at the same parameter: once.
    const QvMesh strip = qvtest::MakeTwoTriangleStrip();
    points.clear();
    ASSERT_TRUE(strip.IntersectLine(QvLine(QvPoint(0.5, 0.5, 1), QvVector(0, 0, -1)), points));
    ASSERT_EQ(points.size(), 1u);
    ExpectNear(points[0], QvPoint(0.5, 0.5, 0));
}

// ---- Plane sections -------------------------------------------------------------------

double Length(const std::vector<QvSectionPoint>& section)
{
    double length = 0.0;
    for (std::size_t i = 1; i < section.size(); ++i)
        length += section[i - 1].m_point.Distance(section[i].m_point);
    return length;
}

bool IsClosed(const std::vector<QvSectionPoint>& section)
{
    return section.size() >= 4 && section.front().m_pElement == section.back().m_pElement;
}

TEST(MeshQuery, SectionOfTetrahedron)
{
    const QvMesh tet = MeshOf({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {0, 0, 1}}, {{0, 2, 1}, {0, 1, 3}, {1, 2, 3}, {0, 3, 2}});
    Sections sections(1);
    tet.IntersectPlane(QvPlane(QvPoint(0, 0, 0.25), QvVector(0, 0, 1)), sections);
    ASSERT_EQ(sections.size(), 2u); // appended after what was there
    const auto& s = sections[1];
    ASSERT_EQ(s.size(), 4u);
    EXPECT_TRUE(IsClosed(s));
    for (const QvSectionPoint& p : s)
    {
        ASSERT_EQ(p.m_pElement->GetType(), kQvTypeEdge);
        const auto* edge = static_cast<const QvEdge*>(p.m_pElement);
        EXPECT_EQ(edge, &tet.m_edges[edge->m_index]);
        EXPECT_NEAR(p.m_point[2], 0.25, 1e-15);
    }
    EXPECT_NEAR(Length(s), 0.75 * (2 + std::sqrt(2.0)), 1e-12);

    sections.clear();
    tet.IntersectPlane(QvPlane(QvPoint(0, 0, 2), QvVector(0, 0, 1)), sections);
    EXPECT_TRUE(sections.empty());
}

// Sections traced from a caller's list of edges near the plane are those of a scan of
// every edge, entry for entry, when the list holds every edge the plane can pass; other
// edges, repeats and bad indices in the list change nothing.
TEST(MeshQuery, SectionFromNearEdgesEqualsFullSection)
{
    const QvMesh sphere = qvtest::MakeSphere(3);
    const QvMesh strip = qvtest::MakeGrid(6, 3);
    QvVector n(0.2, 0.9, -0.4);
    n.Normalize();
    struct Case
    {
        const QvMesh* mesh;
        QvPlane plane;
    };
    const Case cases[] = {
        {&sphere, QvPlane(QvPoint(0.1, 0.05, 0.0), n)},
        {&sphere, QvPlane(sphere.m_vertices[5].m_point, n)},         // through a vertex
        {&sphere, QvPlane(QvPoint(0, 0, 0), QvVector(0, 0, 1))},     // through a ring of vertices
        {&strip, QvPlane(QvPoint(1.5, 0, 0), QvVector(1, 0, 0))},    // open sections
        {&strip, QvPlane(QvPoint(2.0, 0, 0), QvVector(1, 0.3, 0))},  // through grid vertices
        {&sphere, QvPlane(QvPoint(0, 0, 3), QvVector(0, 0, 1))},     // misses
    };
    for (const Case& c : cases)
    {
        const QvMesh& mesh = *c.mesh;
        Sections full;
        mesh.IntersectPlane(c.plane, full);

        // The edges with an end within 1e-6 of the plane or ends on both sides, shuffled,
        // repeated, with far edges and bad indices mixed in.
        std::vector<int> near;
        for (const QvEdge& e : mesh.m_edges)
        {
            const double d0 = c.plane.Distance(mesh.m_vertices[e.m_vertices[0]].m_point, true);
            const double d1 = c.plane.Distance(mesh.m_vertices[e.m_vertices[1]].m_point, true);
            if (std::min(d0, d1) <= 1e-6 && std::max(d0, d1) >= -1e-6)
                near.push_back(e.m_index);
        }
        std::vector<int> list = near;
        list.insert(list.end(), near.begin(), near.end());
        list.push_back(-3);
        list.push_back(static_cast<int>(mesh.m_edges.size()) + 5);
        list.push_back(0);
        std::shuffle(list.begin(), list.end(), std::mt19937(7));
        Sections fromList;
        mesh.IntersectPlane(c.plane, list, fromList);

        ASSERT_EQ(fromList.size(), full.size());
        for (std::size_t i = 0; i < full.size(); ++i)
        {
            ASSERT_EQ(fromList[i].size(), full[i].size());
            for (std::size_t k = 0; k < full[i].size(); ++k)
            {
                EXPECT_EQ(fromList[i][k].m_pElement, full[i][k].m_pElement);
                for (int j = 0; j < 3; ++j)
                    EXPECT_EQ(fromList[i][k].m_point[j], full[i][k].m_point[j]);
            }
        }
    }
}

TEST(MeshQuery, SectionOfOpenStripStartsAtBoundary)
{
    const QvMesh grid = qvtest::MakeGrid(4, 2);
    Sections sections;
    grid.IntersectPlane(QvPlane(QvPoint(1.5, 0, 0), QvVector(1, 0, 0)), sections);
    ASSERT_EQ(sections.size(), 1u);
    const auto& s = sections[0];
    ASSERT_EQ(s.size(), 3u);
    EXPECT_FALSE(IsClosed(s));
    for (const auto* end : {s.front().m_pElement, s.back().m_pElement})
    {
        ASSERT_EQ(end->GetType(), kQvTypeEdge);
        EXPECT_TRUE(static_cast<const QvEdge*>(end)->IsBoundary());
    }
    EXPECT_NEAR(Length(s), 1.0, 1e-12);
}

TEST(MeshQuery, SectionOfLongFlatEdges)
{
    // Edges 100 long that rise 4e-7 across the plane: too flat for a line-plane test
    // with the 1e-7 zero test on the unit direction, but clearly crossing.
    const QvMesh flat = MeshOf({{0, 0, -2e-7}, {100, 0, 2e-7}, {0, 10, -2e-7}}, {{0, 1, 2}});
    Sections sections;
    flat.IntersectPlane(QvPlane(QvPoint(), QvVector(0, 0, 1)), sections);
    ASSERT_EQ(sections.size(), 1u);
    ASSERT_EQ(sections[0].size(), 2u);
    std::vector<QvPoint> points{sections[0][0].m_point, sections[0][1].m_point};
    std::sort(points.begin(), points.end(), [](const QvPoint& a, const QvPoint& b) { return a[1] < b[1]; });
    ExpectNear(points[0], QvPoint(50, 0, 0), 1e-9);
    ExpectNear(points[1], QvPoint(50, 5, 0), 1e-9);
}

TEST(MeshQuery, SectionThroughVertices)
{
    // The octahedron's equator is four vertices joined by edges in the plane: every
    // entry is a vertex, and the last one before the repeated first is kept.
    const QvMesh octahedron = qvtest::MakeSphere(0);
    Sections sections;
    octahedron.IntersectPlane(QvPlane(QvPoint(), QvVector(0, 0, 1)), sections);
    ASSERT_EQ(sections.size(), 1u);
    const auto& s = sections[0];
    ASSERT_EQ(s.size(), 5u);
    EXPECT_TRUE(IsClosed(s));
    std::set<const QvObject*> seen;
    for (const QvSectionPoint& p : s)
    {
        ASSERT_EQ(p.m_pElement->GetType(), kQvTypeVertex);
        const auto* v = static_cast<const QvVertex*>(p.m_pElement);
        EXPECT_EQ(v, &octahedron.m_vertices[v->m_index]);
        EXPECT_EQ(p.m_point[0], v->m_point[0]);
        EXPECT_EQ(p.m_point[1], v->m_point[1]);
        EXPECT_EQ(p.m_point[2], v->m_point[2]);
        seen.insert(v);
    }
    EXPECT_EQ(seen.size(), 4u);
    EXPECT_NEAR(Length(s), 4 * std::sqrt(2.0), 1e-12);

    // The same along a finer sphere's equator (16 vertices), and across the cube's
    // side diagonals at mid height (crossings only).
    const QvMesh sphere = qvtest::MakeSphere(2);
    sections.clear();
    sphere.IntersectPlane(QvPlane(QvPoint(), QvVector(0, 0, 1)), sections);
    ASSERT_EQ(sections.size(), 1u);
    EXPECT_EQ(sections[0].size(), 17u);
    EXPECT_NEAR(Length(sections[0]), 16 * 2 * std::sin(kQvPi / 16), 1e-9);

    const QvMesh cube = qvtest::MakeCube();
    sections.clear();
    cube.IntersectPlane(QvPlane(QvPoint(0, 0, 0.5), QvVector(0, 0, 1)), sections);
    ASSERT_EQ(sections.size(), 1u);
    EXPECT_EQ(sections[0].size(), 9u);
    EXPECT_NEAR(Length(sections[0]), 4.0, 1e-12);
}

SurfaceMesh ToSurfaceMesh(const QvMesh& mesh)
{
    SurfaceMesh sm;
    std::vector<SurfaceMesh::Vertex_index> vertices;
    for (const QvVertex& v : mesh.m_vertices)
        vertices.push_back(sm.add_vertex(Kernel::Point_3(v.m_point[0], v.m_point[1], v.m_point[2])));
    for (const QvFace& f : mesh.m_faces)
        sm.add_face(vertices[f.m_vertices[0]], vertices[f.m_vertices[1]], vertices[f.m_vertices[2]]);
    return sm;
}

struct Polyline
{
    double length;
    bool closed;
    bool operator<(const Polyline& o) const { return length < o.length; }
};

std::vector<Polyline> OracleSections(CGAL::Polygon_mesh_slicer<SurfaceMesh, Kernel>& slicer, const QvPlane& plane)
{
    std::vector<std::vector<Kernel::Point_3>> polylines;
    slicer(Kernel::Plane_3(plane.m_coef[0], plane.m_coef[1], plane.m_coef[2], plane.m_coef[3]),
           std::back_inserter(polylines));
    std::vector<Polyline> out;
    for (const auto& line : polylines)
    {
        double length = 0.0;
        for (std::size_t i = 1; i < line.size(); ++i)
            length += std::sqrt(CGAL::to_double(CGAL::squared_distance(line[i - 1], line[i])));
        out.push_back({length, line.size() > 2 && line.front() == line.back()});
    }
    std::sort(out.begin(), out.end());
    return out;
}

std::vector<Polyline> OurSections(const QvMesh& mesh, const QvPlane& plane)
{
    Sections sections;
    mesh.IntersectPlane(plane, sections);
    std::vector<Polyline> out;
    for (const auto& s : sections)
    {
        for (const QvSectionPoint& p : s)
            EXPECT_LT(std::fabs(plane.Distance(p.m_point, true)), 1e-9);
        out.push_back({Length(s), IsClosed(s)});
    }
    std::sort(out.begin(), out.end());
    return out;
}

QvPlane RandomPlane(std::mt19937& rng, const QvBBox& box, double shrink)
{
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    std::normal_distribution<double> normal;
    QvPoint p;
    for (int k = 0; k < 3; ++k)
    {
        const double lo = box.m_minPoint[k], hi = box.m_maxPoint[k];
        const double mid = (lo + hi) / 2, half = (hi - lo) / 2 * shrink;
        p[k] = mid - half + 2 * half * unit(rng);
    }
    QvVector n(normal(rng), normal(rng), normal(rng));
    n.Normalize();
    return QvPlane(p, n);
}

void CompareWithOracle(const QvMesh& mesh, int planes, double shrink, bool allClosed, int& multiLoop)
{
    const SurfaceMesh sm = ToSurfaceMesh(mesh);
    CGAL::Polygon_mesh_slicer<SurfaceMesh, Kernel> slicer(sm);
    QvMesh boxed = mesh;
    boxed.UpdateBBox();
    std::mt19937 rng(20240611);
    int cutting = 0;
    for (int i = 0; i < planes; ++i)
    {
        const QvPlane plane = RandomPlane(rng, boxed.m_bbox, shrink);
        SCOPED_TRACE(i);
        const std::vector<Polyline> ours = OurSections(mesh, plane);
        const std::vector<Polyline> oracle = OracleSections(slicer, plane);
        ASSERT_EQ(ours.size(), oracle.size());
        for (std::size_t k = 0; k < ours.size(); ++k)
        {
            EXPECT_NEAR(ours[k].length, oracle[k].length, 1e-9 * (1 + oracle[k].length));
            EXPECT_EQ(ours[k].closed, oracle[k].closed);
            if (allClosed)
            {
                EXPECT_TRUE(ours[k].closed);
            }
        }
        cutting += ours.empty() ? 0 : 1;
        multiLoop += ours.size() > 1 ? 1 : 0;
    }
    EXPECT_GT(cutting, planes / 2);
}

TEST(MeshQuery, CrownSectionsAgreeWithOracle)
{
    const QvMesh crown = qvtest::MakeCrown(4);
    ASSERT_TRUE(crown.IsClosed());
    int multiLoop = 0;
    CompareWithOracle(crown, 50, 0.8, true, multiLoop);
    // The cusps must give some planes more than one loop, or the fixture shows nothing.
    EXPECT_GT(multiLoop, 0);
}

TEST(MeshQuery, OpenSurfaceSectionsAgreeWithOracle)
{
    // A wavy height field: open sections from boundary to boundary, and closed ones
    // around the bumps.
    QvMesh field = qvtest::MakeGrid(30, 30, 0.5);
    for (QvVertex& v : field.m_vertices)
        v.m_point[2] = std::sin(v.m_point[0]) * std::cos(v.m_point[1] * 0.8);
    field.UpdateFaceNormals();
    int multiLoop = 0;
    CompareWithOracle(field, 30, 0.9, false, multiLoop);
}

// ---- Extraction, appending, placement ---------------------------------------------------

TEST(MeshQuery, ExtractFacesNumbersByFirstAppearance)
{
    std::vector<QvPoint> points;
    for (int i = 0; i < 10; ++i)
        points.emplace_back(i, i * i % 7, i % 3);
    QvMesh mesh = MeshOf(points, {{0, 1, 3}, {5, 9, 7}, {9, 5, 2}});
    for (QvFace& f : mesh.m_faces)
        f.m_tag = kQvFaceTagGumFill;

    std::map<int, int> newToOld{{-1, -1}};
    const std::unique_ptr<QvMesh> part = mesh.ExtractFaces({1, 2}, newToOld);
    ASSERT_TRUE(part);
    EXPECT_EQ(newToOld, (std::map<int, int>{{-1, -1}, {0, 5}, {1, 9}, {2, 7}, {3, 2}}));
    ASSERT_EQ(part->m_vertices.size(), 4u);
    ASSERT_EQ(part->m_faces.size(), 2u);
    const std::array<int, 3> f0{part->m_faces[0].m_vertices[0], part->m_faces[0].m_vertices[1], part->m_faces[0].m_vertices[2]};
    const std::array<int, 3> f1{part->m_faces[1].m_vertices[0], part->m_faces[1].m_vertices[1], part->m_faces[1].m_vertices[2]};
    EXPECT_EQ(f0, (std::array<int, 3>{0, 1, 2}));
    EXPECT_EQ(f1, (std::array<int, 3>{1, 0, 3}));
    for (int i = 0; i < 4; ++i)
        ExpectNear(part->m_vertices[i].m_point, mesh.m_vertices[newToOld[i]].m_point, 0);
    for (const QvFace& f : part->m_faces)
    {
        EXPECT_EQ(f.m_tag, kQvFaceTagPlain);
        EXPECT_NEAR(f.m_normal.Length(), 1.0, 1e-12);
    }
    EXPECT_NE(part->GetID(), mesh.GetID());
    EXPECT_EQ(part->m_state, kQvStateInitial);
    EXPECT_TRUE(qvtest::MeshInvariantsHold(*part));
}

TEST(MeshQuery, AppendMesh)
{
    const QvMesh strip = qvtest::MakeTwoTriangleStrip();
    QvMesh cube = qvtest::MakeCube();
    std::map<int, int> oldToNew;
    EXPECT_TRUE(cube.AppendMesh(strip, oldToNew));
    EXPECT_EQ(cube.m_vertices.size(), 12u);
    EXPECT_EQ(cube.m_faces.size(), 14u);
    EXPECT_EQ(oldToNew, (std::map<int, int>{{0, 8}, {1, 9}, {2, 10}, {3, 11}}));
    EXPECT_TRUE(qvtest::MeshInvariantsHold(cube));

    // A map given in advance welds the strip onto existing vertices: the strip's
    // corner 0 becomes the cube's corner 0.
    QvMesh welded = qvtest::MakeCube();
    std::map<int, int> given{{0, 0}};
    EXPECT_TRUE(welded.AppendMesh(strip, given));
    EXPECT_EQ(welded.m_vertices.size(), 11u);
    EXPECT_EQ(welded.m_faces[12].m_vertices[0], 0);
    EXPECT_EQ(given.size(), 4u);
    EXPECT_TRUE(qvtest::MeshInvariantsHold(welded));

    // Faces that face insertion refuses (a third face on an edge) are skipped.
    const QvMesh triangle = MeshOf({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, {{0, 1, 2}});
    QvMesh twice = triangle;
    std::map<int, int> same{{0, 0}, {1, 1}, {2, 2}};
    EXPECT_TRUE(twice.AppendMesh(triangle, same));
    EXPECT_EQ(twice.m_faces.size(), 2u);
    EXPECT_TRUE(twice.AppendMesh(triangle, same));
    EXPECT_EQ(twice.m_faces.size(), 2u);
    EXPECT_EQ(twice.m_vertices.size(), 3u);
    EXPECT_TRUE(qvtest::MeshInvariantsHold(twice));
}

QvMatrix Placement(const QvMatrix& rotation, const QvVector& shift)
{
    QvMatrix m(4, 4);
    m.SetIdentity();
    for (int r = 0; r < 3; ++r)
    {
        for (int c = 0; c < 3; ++c)
            m[r][c] = rotation[r][c];
        m[r][3] = shift[r];
    }
    return m;
}

TEST(MeshQuery, TransformMovesVerticesNormalsAndBox)
{
    const QvMatrix quarter(QvVector(0, 0, 1), kQvPi / 2);
    const QvMatrix placement = Placement(quarter, QvVector(10, 0, 0));

    QvMesh cube = qvtest::MakeCube();
    const QvMesh original = cube;
    cube.Transform(placement);
    ExpectNear(cube.m_vertices[1].m_point, QvPoint(10, 1, 0), 1e-10);
    ExpectNear(cube.m_bbox.m_minPoint, QvPoint(9, 0, 0), 1e-10);
    ExpectNear(cube.m_bbox.m_maxPoint, QvPoint(10, 1, 1), 1e-10);
    QvMesh recomputed = cube;
    recomputed.UpdateFaceNormals();
    for (std::size_t f = 0; f < cube.m_faces.size(); ++f)
        ExpectNear(QvPoint() + cube.m_faces[f].m_normal, QvPoint() + recomputed.m_faces[f].m_normal, 1e-10);

    // One element, all of them, or nothing for an index out of range; the box stays.
    QvMesh part = original;
    part.TransformVertices(placement, 1);
    ExpectNear(part.m_vertices[1].m_point, QvPoint(10, 1, 0), 1e-10);
    ExpectNear(part.m_vertices[2].m_point, original.m_vertices[2].m_point, 0);
    part.TransformVertices(placement, 8);
    part.TransformVertices(placement, -2);
    ExpectNear(part.m_vertices[2].m_point, original.m_vertices[2].m_point, 0);
    part.TransformNormals(quarter, 0);
    ExpectNear(QvPoint() + part.m_faces[0].m_normal, QvPoint() + quarter * original.m_faces[0].m_normal, 1e-12);
    ExpectNear(QvPoint() + part.m_faces[1].m_normal, QvPoint() + original.m_faces[1].m_normal, 0);
    part.TransformNormals(quarter, 12);
    ExpectNear(QvPoint() + part.m_faces[1].m_normal, QvPoint() + original.m_faces[1].m_normal, 0);
    QvMesh all = original;
    all.TransformVertices(quarter, -1);
    all.TransformNormals(quarter, -1);
    for (std::size_t v = 0; v < all.m_vertices.size(); ++v)
        ExpectNear(all.m_vertices[v].m_point, quarter * original.m_vertices[v].m_point, 1e-12);
    ExpectNear(all.m_bbox.m_maxPoint, original.m_bbox.m_maxPoint, 0);
    // Normals are renormalised: a scaling matrix does not lengthen them.
    QvMatrix twice(3, 3);
    twice.SetIdentity();
    for (int k = 0; k < 3; ++k)
        twice[k][k] = 2;
    all.TransformNormals(twice, -1);
    for (const QvFace& f : all.m_faces)
        EXPECT_NEAR(f.m_normal.Length(), 1.0, 1e-12);
}

} // namespace
