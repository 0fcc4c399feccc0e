// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <CGAL/Eigen_solver_traits.h>
#include <CGAL/Polygon_mesh_processing/measure.h>
#include <CGAL/Simple_cartesian.h>
#include <CGAL/Surface_mesh.h>
#include <CGAL/Surface_mesh_parameterization/Mean_value_coordinates_parameterizer_3.h>
#include <CGAL/Surface_mesh_parameterization/parameterize.h>

#include <Eigen/SparseLU>

#include <algorithm>
#include <array>
#include <atomic>
#include <cmath>
#include <fstream>
#include <functional>
#include <memory>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "core/geometry/QvPolyline.h"
#include "core/mesh/QvMesh.h"
#include "core/mesh/QvMeshLocalParameterize.h"
#include "core/mesh/QvMeshParameterize.h"
#include "core/mesh/QvParameterizeMgr.h"
#include "testing/MeshFixtures.h"
#include "testing/MeshInvariants.h"

namespace {

using Faces = std::vector<std::array<int, 3>>;
using UV = std::pair<double, double>;

QvMesh MeshOf(const std::vector<QvPoint>& points, const Faces& faces)
{
    QvMesh mesh;
    for (const QvPoint& p : points)
        mesh.AddVertex(p);
    for (const auto& f : faces)
        EXPECT_TRUE(mesh.AddFace(f[0], f[1], f[2], 0));
    mesh.UpdateFaceNormals();
    return mesh;
}

// Axis-aligned square [1, 3]^2 in the XY plane, four triangles around its centre (vertex 4).
QvMesh SquareWithCentre(double z = 0.0)
{
    return MeshOf({{1, 1, z}, {3, 1, z}, {3, 3, z}, {1, 3, z}, {2, 2, z}}, {{4, 0, 1}, {4, 1, 2}, {4, 2, 3}, {4, 3, 0}});
}

// A disc whose border vertex 7 is not a number: no plane, no placement.
QvMesh DiscWithBrokenBorder()
{
    QvMesh mesh = qvtest::MakeDisc(2);
    EXPECT_TRUE(mesh.IsBoundaryVertex(7));
    mesh.m_vertices[7].m_point[0] = std::nan("");
    return mesh;
}

std::vector<UV> AllUV(const QvMeshParameterize& p, int n)
{
    std::vector<UV> out(static_cast<std::size_t>(n));
    for (int i = 0; i < n; ++i)
        p.GetUV(i, out[static_cast<std::size_t>(i)].first, out[static_cast<std::size_t>(i)].second);
    return out;
}

// Twice the signed area of each face in the flat copy (x, y).
std::vector<double> FlatAreas(const QvMesh& flat)
{
    std::vector<double> out;
    for (const QvFace& f : flat.m_faces)
    {
        const QvPoint& r = flat.m_vertices[f.m_vertices[0]].m_point;
        const QvPoint& s = flat.m_vertices[f.m_vertices[1]].m_point;
        const QvPoint& t = flat.m_vertices[f.m_vertices[2]].m_point;
        out.push_back((s[0] - r[0]) * (t[1] - r[1]) - (s[1] - r[1]) * (t[0] - r[0]));
    }
    return out;
}

std::vector<int> LongestLoop(const QvMesh& mesh)
{
    std::vector<std::vector<int>> loops;
    mesh.GetBoundaryLoops(loops);
    std::size_t best = 0;
    for (std::size_t i = 1; i < loops.size(); ++i)
        if (loops[i].size() > loops[best].size())
            best = i;
    return loops.empty() ? std::vector<int>() : loops[best];
}

// The crown's equator: the vertices at z = 0, in angular order; consecutive ones share an edge.
std::vector<int> EquatorLoop(const QvMesh& crown)
{
    std::vector<std::pair<double, int>> around;
    for (const QvVertex& v : crown.m_vertices)
        if (std::fabs(v.m_point[2]) < 1e-12)
            around.emplace_back(std::atan2(v.m_point[1], v.m_point[0]), v.m_index);
    std::sort(around.begin(), around.end());
    std::vector<int> loop;
    for (const auto& a : around)
        loop.push_back(a.second);
    return loop;
}

// ---------------------------------------------------------------- CGAL mean-value oracle

using Kernel = CGAL::Simple_cartesian<double>;
using SurfaceMesh = CGAL::Surface_mesh<Kernel::Point_3>;
using SmVertex = SurfaceMesh::Vertex_index;
namespace SMP = CGAL::Surface_mesh_parameterization;
using LuTraits = CGAL::Eigen_solver_traits<
    Eigen::SparseLU<CGAL::Eigen_sparse_matrix<double>::EigenType, Eigen::COLAMDOrdering<int>>>;

// Holds the border at the values our parameterisation placed it at.
struct GivenBorder
{
    const std::vector<UV>* m_uv = nullptr;

    template <typename UVMap, typename IndexMap, typename ParameterizedMap>
    SMP::Error_code parameterize(const SurfaceMesh& mesh, SurfaceMesh::Halfedge_index border, UVMap uvmap, IndexMap,
                                 ParameterizedMap parameterized)
    {
        for (const auto h : CGAL::halfedges_around_face(border, mesh))
        {
            const SmVertex v = CGAL::target(h, mesh);
            const UV& uv = (*m_uv)[v.idx()];
            put(uvmap, v, Kernel::Point_2(uv.first, uv.second));
            put(parameterized, v, true);
        }
        return SMP::OK;
    }
    bool is_border_convex() const { return true; }
};

// CGAL's mean-value parameterisation of the mesh with its longest border held at the given
// values; vertex i of ours is vertex i of CGAL's. False when CGAL fails.
bool CgalMeanValue(const QvMesh& mesh, const std::vector<UV>& border, std::vector<UV>& out)
{
    SurfaceMesh sm;
    for (const QvVertex& v : mesh.m_vertices)
        sm.add_vertex(Kernel::Point_3(v.m_point[0], v.m_point[1], v.m_point[2]));
    for (const QvFace& f : mesh.m_faces)
        if (sm.add_face(SmVertex(f.m_vertices[0]), SmVertex(f.m_vertices[1]), SmVertex(f.m_vertices[2])) ==
            SurfaceMesh::null_face())
            return false;
    const auto bhd = CGAL::Polygon_mesh_processing::longest_border(sm).first;
    auto uvmap = sm.add_property_map<SmVertex, Kernel::Point_2>("v:uv").first;
    SMP::Mean_value_coordinates_parameterizer_3<SurfaceMesh, GivenBorder, LuTraits> parameterizer(
        GivenBorder{&border});
    if (SMP::parameterize(sm, parameterizer, bhd, uvmap) != SMP::OK)
        return false;
    out.resize(mesh.m_vertices.size());
    for (const SmVertex v : sm.vertices())
        out[v.idx()] = {uvmap[v].x(), uvmap[v].y()};
    return true;
}

// ================================================================ global parameterisation

TEST(MeshParameterize, SquareMapsOntoTheUnitSquareWithCentreInTheMiddle)
{
    QvMesh mesh = SquareWithCentre(7.0);
    QvMeshParameterize p(&mesh, 0);
    ASSERT_TRUE(p.Run());
    const std::vector<UV> uv = AllUV(p, 5);
    std::set<std::pair<long, long>> corners;
    for (int i = 0; i < 4; ++i)
    {
        EXPECT_NEAR(uv[i].first, std::round(uv[i].first), 1e-12);
        EXPECT_NEAR(uv[i].second, std::round(uv[i].second), 1e-12);
        corners.emplace(std::lround(uv[i].first), std::lround(uv[i].second));
    }
    EXPECT_EQ(corners, (std::set<std::pair<long, long>>{{0, 0}, {0, 1}, {1, 0}, {1, 1}}));
    // Neighbouring corners stay neighbours (a rotation or mirror at most).
    for (int i = 0; i < 4; ++i)
        EXPECT_NEAR(std::fabs(uv[i].first - uv[(i + 1) % 4].first) + std::fabs(uv[i].second - uv[(i + 1) % 4].second),
                    1.0, 1e-12);
    EXPECT_NEAR(uv[4].first, 0.5, 1e-12);
    EXPECT_NEAR(uv[4].second, 0.5, 1e-12);
}

TEST(MeshParameterize, CircleModePlacesFourEqualEdgesAtQuarterTurns)
{
    QvMesh mesh = SquareWithCentre();
    const std::vector<int> loop = LongestLoop(mesh);
    ASSERT_EQ(loop.size(), 4u);
    QvMeshParameterize p(&mesh, 1);
    ASSERT_TRUE(p.Run());
    const UV expected[4] = {{1, 0.5}, {0.5, 1}, {0, 0.5}, {0.5, 0}};
    for (int k = 0; k < 4; ++k)
    {
        double u = -1, v = -1;
        p.GetUV(loop[k], u, v);
        EXPECT_NEAR(u, expected[k].first, 1e-9) << k;
        EXPECT_NEAR(v, expected[k].second, 1e-9) << k;
    }
}

TEST(MeshParameterize, OfTwoEqualLoopsTheFirstIsPlacedAndTheOtherHeldAtTheOrigin)
{
    // A band of 8 around has two loops of 8; on the unit circle the raw values span
    // [-1, 1] both ways, so the origin normalises to (0.5, 0.5).
    QvMesh band = qvtest::MakeBand(8, 3);
    std::vector<std::vector<int>> loops;
    band.GetBoundaryLoops(loops);
    ASSERT_EQ(loops.size(), 2u);
    QvMeshParameterize p(&band, 1);
    ASSERT_TRUE(p.Run());
    for (const int v : loops[1])
    {
        double u = -1, w = -1;
        p.GetUV(v, u, w);
        EXPECT_NEAR(u, 0.5, 1e-9);
        EXPECT_NEAR(w, 0.5, 1e-9);
    }
    double u = -1, w = -1;
    p.GetUV(loops[0][0], u, w);
    EXPECT_NEAR(std::hypot(u - 0.5, w - 0.5), 0.5, 1e-9);
}

TEST(MeshParameterize, RunAnswersFalseWhereNoSoundFlatCopyExists)
{
    struct Case
    {
        const char* name;
        std::function<QvMesh()> make;
        int mode;
        bool ok;
    };
    const Case cases[] = {
        {"square, mode 0", [] { return SquareWithCentre(); }, 0, true},
        {"square, mode 1", [] { return SquareWithCentre(); }, 1, true},
        {"every vertex on the border", [] { return qvtest::MakeTwoTriangleStrip(); }, 0, true},
        {"closed mesh", [] { return qvtest::MakeCube(); }, 0, false},
        {"closed mesh, mode 1", [] { return qvtest::MakeSphere(1); }, 1, false},
        {"mode 2", [] { return SquareWithCentre(); }, 2, false},
        {"mode -1", [] { return SquareWithCentre(); }, -1, false},
        {"empty mesh", [] { return QvMesh(); }, 0, false},
        {"border not a number", [] { return DiscWithBrokenBorder(); }, 0, false},
        {"border on a line", [] { return MeshOf({{0, 0, 0}, {1, 0, 0}, {2, 0, 0}}, {{0, 1, 2}}); }, 0, false},
    };
    for (const Case& c : cases)
    {
        QvMesh mesh = c.make();
        QvMeshParameterize p(&mesh, c.mode);
        EXPECT_EQ(p.Run(), c.ok) << c.name;
        EXPECT_EQ(p.CreateParameterMesh() != nullptr, c.ok) << c.name;
    }
}

TEST(MeshParameterize, FailedSolveLeavesThePairsAndReportsIt)
{
    for (const int mode : {0, 1})
    {
        QvMesh mesh = qvtest::MakeDisc(2);
        QvMeshParameterize p(&mesh, mode);
        ASSERT_TRUE(p.MapBoundary());
        p.BuildSystem();
        const int n = static_cast<int>(mesh.m_vertices.size());
        const std::vector<UV> placed = AllUV(p, n);
        p.m_triplets.emplace_back(n, 0, 1.0); // outside the system
        EXPECT_FALSE(p.Solve());
        EXPECT_EQ(AllUV(p, n), placed);
        EXPECT_FALSE(p.CreateParameterMesh());
    }
    QvMesh mesh = qvtest::MakeDisc(2);
    QvMeshLocalParameterize local(&mesh);
    ASSERT_TRUE(local.MapBoundary());
    local.BuildSystem();
    local.m_triplets.emplace_back(0, static_cast<int>(mesh.m_vertices.size()), 1.0);
    EXPECT_FALSE(local.Solve());
}

TEST(MeshParameterize, BiconjugateGradientLeavesAnAllBorderMeshAlone)
{
    QvMesh mesh = qvtest::MakeTwoTriangleStrip();
    QvMeshParameterize p(&mesh, 0);
    ASSERT_TRUE(p.Run());
    const std::vector<UV> before = AllUV(p, 4);
    EXPECT_TRUE(p.SolveBcg());
    EXPECT_EQ(AllUV(p, 4), before);
}

TEST(MeshParameterize, BiconjugateGradientReachesTheDirectSolution)
{
    QvMesh mesh = qvtest::MakeCrownCap(6, 16);
    QvMeshParameterize direct(&mesh, 0);
    ASSERT_TRUE(direct.Run());

    QvMeshParameterize iterative(&mesh, 0);
    ASSERT_TRUE(iterative.MapBoundary());
    iterative.BuildSystem();
    EXPECT_TRUE(iterative.SolveBcg());
    iterative.Normalize();
    const int n = static_cast<int>(mesh.m_vertices.size());
    const std::vector<UV> a = AllUV(direct, n), b = AllUV(iterative, n);
    for (int i = 0; i < n; ++i)
    {
        EXPECT_NEAR(a[i].first, b[i].first, 1e-4) << i;
        EXPECT_NEAR(a[i].second, b[i].second, 1e-4) << i;
    }
}

TEST(MeshParameterize, FlatCopyKeepsTheNumberingAndLiesInTheUnitSquare)
{
    QvMesh mesh = qvtest::MakeCrownCap(8, 24);
    QvMeshParameterize p(&mesh, 0);
    ASSERT_TRUE(p.Run());
    const std::unique_ptr<QvMesh> flat = p.CreateParameterMesh();
    ASSERT_TRUE(flat);
    EXPECT_TRUE(qvtest::MeshInvariantsHold(*flat));
    ASSERT_EQ(flat->m_vertices.size(), mesh.m_vertices.size());
    ASSERT_EQ(flat->m_edges.size(), mesh.m_edges.size());
    ASSERT_EQ(flat->m_faces.size(), mesh.m_faces.size());
    for (std::size_t f = 0; f < mesh.m_faces.size(); ++f)
        for (int c = 0; c < 3; ++c)
        {
            EXPECT_EQ(flat->m_faces[f].m_vertices[c], mesh.m_faces[f].m_vertices[c]);
            EXPECT_EQ(flat->m_faces[f].m_edges[c], mesh.m_faces[f].m_edges[c]);
        }
    for (std::size_t e = 0; e < mesh.m_edges.size(); ++e)
        EXPECT_EQ(std::vector<int>(flat->m_edges[e].m_vertices, flat->m_edges[e].m_vertices + 2),
                  std::vector<int>(mesh.m_edges[e].m_vertices, mesh.m_edges[e].m_vertices + 2));
    double umin = 1, umax = 0, vmin = 1, vmax = 0;
    for (std::size_t i = 0; i < mesh.m_vertices.size(); ++i)
    {
        double u = -1, v = -1;
        p.GetUV(static_cast<int>(i), u, v);
        EXPECT_EQ(flat->m_vertices[i].m_point[0], u);
        EXPECT_EQ(flat->m_vertices[i].m_point[1], v);
        EXPECT_EQ(flat->m_vertices[i].m_point[2], 0.0);
        umin = std::min(umin, u), umax = std::max(umax, u), vmin = std::min(vmin, v), vmax = std::max(vmax, v);
    }
    EXPECT_DOUBLE_EQ(umin, 0.0);
    EXPECT_DOUBLE_EQ(umax, 1.0);
    EXPECT_DOUBLE_EQ(vmin, 0.0);
    EXPECT_DOUBLE_EQ(vmax, 1.0);
}

TEST(MeshParameterize, CrownCapFlattensWithoutFoldsAndAgreesWithCgalMeanValue)
{
    for (const auto& [rings, around] : {std::pair{12, 32}, std::pair{20, 60}})
    {
        QvMesh mesh = qvtest::MakeCrownCap(rings, around);
        for (const double scale : {1e-3, 1.0, 1e3})
        {
            QvMesh scaled = mesh;
            for (QvVertex& v : scaled.m_vertices)
                v.m_point = v.m_point * scale;
            QvMeshParameterize p(&scaled, 0);
            ASSERT_TRUE(p.Run());
            const std::unique_ptr<QvMesh> flat = p.CreateParameterMesh();
            ASSERT_TRUE(flat);
            const std::vector<double> areas = FlatAreas(*flat);
            const bool positive = areas.front() > 0;
            for (std::size_t f = 0; f < areas.size(); ++f)
                EXPECT_TRUE(positive ? areas[f] > 0 : areas[f] < 0) << "face " << f << " folds, scale " << scale;

            const int n = static_cast<int>(scaled.m_vertices.size());
            const std::vector<UV> ours = AllUV(p, n);
            std::vector<UV> cgal;
            ASSERT_TRUE(CgalMeanValue(scaled, ours, cgal));
            double worst = 0.0;
            for (int i = 0; i < n; ++i)
                if (!scaled.IsBoundaryVertex(i))
                    worst = std::max({worst, std::fabs(ours[i].first - cgal[i].first),
                                      std::fabs(ours[i].second - cgal[i].second)});
            EXPECT_LT(worst, 1e-8) << rings << " x " << around << ", scale " << scale;
        }
    }
}

TEST(MeshParameterize, SelfCrossingBorderIsStraightenedAlongItsHull)
{
    // The square A B C D with two points between C and D that double back across the
    // middle: C-P and Q-D cross at (2, 2). P and Q are not hull corners, so the run
    // C P Q D is laid along C-D by its own arc length.
    const QvPoint a(0, 0, 0), b(4, 0, 0), c(4, 4, 0), pp(1, 1, 0), q(3, 1, 0), d(0, 4, 0);
    std::vector<QvPoint> placed;
    ASSERT_TRUE(QvPlaceLoopByProjection({a, b, c, pp, q, d}, placed));
    ASSERT_EQ(placed.size(), 6u);
    QvPolyline closed(placed);
    closed.Close();
    EXPECT_FALSE(closed.IsSelfIntersecting());
    const double cp = c.Distance(pp), pq = pp.Distance(q), qd = q.Distance(d);
    const double total = cp + pq + qd;
    EXPECT_NEAR(placed[2].Distance(placed[3]), 4.0 * cp / total, 1e-12);
    EXPECT_NEAR(placed[3].Distance(placed[4]), 4.0 * pq / total, 1e-12);
    EXPECT_NEAR(placed[4].Distance(placed[5]), 4.0 * qd / total, 1e-12);
    // Hull corners keep their places (up to the turn into the XY plane).
    EXPECT_NEAR(placed[0].Distance(placed[2]), a.Distance(c), 1e-12);
    EXPECT_NEAR(placed[1].Distance(placed[5]), b.Distance(d), 1e-12);

    // A plain convex loop keeps its projection.
    const std::vector<QvPoint> square = {{0, 0, 2}, {1, 0, 2}, {1, 1, 2}, {0, 1, 2}};
    ASSERT_TRUE(QvPlaceLoopByProjection(square, placed));
    for (std::size_t k = 1; k < 4; ++k)
        EXPECT_NEAR(placed[k].Distance(placed[k - 1]), 1.0, 1e-12);
    EXPECT_FALSE(QvPlaceLoopByProjection({{0, 0, 0}, {1, 0, 0}}, placed));
}

// ================================================================ local parameterisation

class LocalParameterize : public ::testing::Test
{
protected:
    QvMesh m_crown = qvtest::MakeCrown(3);
    std::vector<int> m_equator = EquatorLoop(m_crown);

    int VertexWithZ(bool above) const
    {
        for (const QvVertex& v : m_crown.m_vertices)
            if (above ? v.m_point[2] > 1.0 : v.m_point[2] < -1.0)
                return v.m_index;
        return -1;
    }
};

TEST_F(LocalParameterize, SeedPicksTheRegionAndTheRestIsLeftOut)
{
    ASSERT_EQ(m_equator.size(), 32u);
    for (const bool above : {true, false})
    {
        QvMeshLocalParameterize p(&m_crown, m_equator, VertexWithZ(above));
        ASSERT_TRUE(p.Run());
        const std::unique_ptr<QvMesh> flat = p.CreateParameterMesh();
        ASSERT_TRUE(flat);
        for (const QvVertex& v : m_crown.m_vertices)
        {
            const double z = v.m_point[2];
            const bool onLoop = std::fabs(z) < 1e-12;
            const bool inside = !onLoop && (z > 0) == above;
            const std::uint32_t expected = onLoop ? kQvPatchBorder : (inside ? kQvPatchInside : kQvPatchOutside);
            EXPECT_EQ(p.m_vertexClasses[v.m_index], expected);
            const QvPoint& q = flat->m_vertices[v.m_index].m_point;
            if (expected == kQvPatchOutside)
                EXPECT_EQ(q, QvPoint(-1, -1, -1));
            else
            {
                EXPECT_EQ(q[2], 0.0);
                EXPECT_GE(q[0], 0.0);
                EXPECT_LE(q[0], 1.0);
            }
        }
        for (const QvFace& f : m_crown.m_faces)
        {
            double z = 0;
            for (const int v : f.m_vertices)
                z += m_crown.m_vertices[v].m_point[2];
            EXPECT_EQ(p.m_faceClasses[f.m_index], (z > 0) == above ? kQvPatchInside : kQvPatchOutside);
        }
        for (const QvEdge& e : m_crown.m_edges)
        {
            const double za = m_crown.m_vertices[e.m_vertices[0]].m_point[2];
            const double zb = m_crown.m_vertices[e.m_vertices[1]].m_point[2];
            const bool loopEdge = std::fabs(za) < 1e-12 && std::fabs(zb) < 1e-12;
            const bool inside = (za + zb > 0) == above;
            EXPECT_EQ(p.m_edgeClasses[e.m_index],
                      loopEdge ? kQvPatchBorder : (inside ? kQvPatchInside : kQvPatchOutside));
        }
        // The patch lies flat without folds.
        std::vector<double> areas = FlatAreas(*flat);
        int positive = 0, negative = 0;
        for (const QvFace& f : flat->m_faces)
            if (p.m_faceClasses[f.m_index] == kQvPatchInside)
                (areas[f.m_index] > 0 ? positive : negative) += 1;
        EXPECT_TRUE(positive == 0 || negative == 0) << positive << " / " << negative;
    }
}

TEST_F(LocalParameterize, SeedOnTheLoopTakesTheFirstRegionInFaceOrder)
{
    const int seed = m_equator.front();
    std::vector<int> barrier;
    for (std::size_t k = 0; k < m_equator.size(); ++k)
        barrier.push_back(m_crown.FindEdge(m_equator[k], m_equator[(k + 1) % m_equator.size()]));
    std::vector<int> faces;
    ASSERT_TRUE(QvMeshLocalParameterize::FindRegionFaces(&m_crown, barrier, seed, faces));
    // Face 0 lies in one half; the fill from it reaches the seed on the loop.
    double z0 = 0;
    for (const int v : m_crown.m_faces[0].m_vertices)
        z0 += m_crown.m_vertices[v].m_point[2];
    EXPECT_EQ(faces.front(), 0);
    EXPECT_EQ(faces.size(), m_crown.m_faces.size() / 2);
    for (const int f : faces)
    {
        double z = 0;
        for (const int v : m_crown.m_faces[f].m_vertices)
            z += m_crown.m_vertices[v].m_point[2];
        EXPECT_EQ(z > 0, z0 > 0);
    }
    QvMeshLocalParameterize p(&m_crown, m_equator, seed);
    EXPECT_EQ(p.m_faceClasses[0], kQvPatchInside);
}

TEST_F(LocalParameterize, SeedWithoutFacesLeavesOnlyTheLoop)
{
    QvMesh mesh = m_crown;
    const int lone = mesh.AddVertex(QvPoint(50, 50, 50));
    std::vector<int> faces;
    EXPECT_FALSE(QvMeshLocalParameterize::FindRegionFaces(&mesh, {}, lone, faces));
    EXPECT_TRUE(faces.empty());

    QvMeshLocalParameterize p(&mesh, m_equator, lone);
    ASSERT_TRUE(p.Run());
    const std::unique_ptr<QvMesh> flat = p.CreateParameterMesh();
    ASSERT_TRUE(flat);
    const std::set<int> loop(m_equator.begin(), m_equator.end());
    for (const QvVertex& v : flat->m_vertices)
    {
        if (loop.count(v.m_index))
            EXPECT_EQ(v.m_point[2], 0.0);
        else
            EXPECT_EQ(v.m_point, QvPoint(-1, -1, -1));
    }
    EXPECT_EQ(std::count(p.m_faceClasses.begin(), p.m_faceClasses.end(), kQvPatchInside), 0);
}

TEST_F(LocalParameterize, PatchAloneSetsTheUnitSquare)
{
    QvMesh moved = m_crown;
    for (QvVertex& v : moved.m_vertices)
        v.m_point = v.m_point + QvVector(500, -300, 80);
    // Vertex 0 is outside the patch; the bounds must not come from it.
    QvMeshLocalParameterize p(&moved, m_equator, VertexWithZ(false));
    ASSERT_TRUE(p.Run());
    double umin = 9, umax = -9, vmin = 9, vmax = -9;
    for (const QvVertex& v : moved.m_vertices)
    {
        if (p.m_vertexClasses[v.m_index] == kQvPatchOutside)
            continue;
        double u = 0, w = 0;
        p.GetUV(v.m_index, u, w);
        umin = std::min(umin, u), umax = std::max(umax, u), vmin = std::min(vmin, w), vmax = std::max(vmax, w);
    }
    EXPECT_NEAR(umin, 0.0, 1e-12);
    EXPECT_NEAR(umax, 1.0, 1e-12);
    EXPECT_NEAR(vmin, 0.0, 1e-12);
    EXPECT_NEAR(vmax, 1.0, 1e-12);
}

TEST_F(LocalParameterize, WholeMeshSolvesShorterLoopsAsInnerVertices)
{
    // A disc with its centre fan removed: an outer loop of 18 and an inner one of 6.
    QvMesh mesh = qvtest::MakeDisc(3);
    for (int f = static_cast<int>(mesh.m_faces.size()) - 1; f >= 0; --f)
    {
        const auto& c = mesh.m_faces[f].m_vertices;
        if (c[0] == 0 || c[1] == 0 || c[2] == 0)
        {
            ASSERT_TRUE(mesh.RemoveFace(f, true));
        }
    }
    std::vector<std::vector<int>> loops;
    mesh.GetBoundaryLoops(loops);
    ASSERT_EQ(loops.size(), 2u);
    const std::vector<int>& inner = loops[0].size() < loops[1].size() ? loops[0] : loops[1];

    QvMeshLocalParameterize p(&mesh);
    ASSERT_TRUE(p.Run());
    for (const int v : inner)
    {
        EXPECT_EQ(p.m_vertexClasses[v], kQvPatchInside);
        // Each inner-loop vertex is the weighted mean of its neighbours.
        double u = 0, w = 0, su = 0, sw = 0;
        p.GetUV(v, u, w);
        const auto& incident = mesh.m_vertices[v].m_edges;
        for (std::size_t k = 0; k < incident.size(); ++k)
        {
            double nu = 0, nw = 0;
            p.GetUV(mesh.m_edges[incident[k]].GetOtherVertex(v), nu, nw);
            su += p.m_weights[v][k] * nu;
            sw += p.m_weights[v][k] * nw;
        }
        EXPECT_NEAR(u, su, 1e-12);
        EXPECT_NEAR(w, sw, 1e-12);
    }
}

TEST_F(LocalParameterize, WholeMeshOfOneLoopEqualsTheGlobalParameterisation)
{
    QvMesh mesh = qvtest::MakeCrownCap(10, 30);
    QvMeshParameterize global(&mesh, 0);
    QvMeshLocalParameterize local(&mesh);
    ASSERT_TRUE(global.Run());
    ASSERT_TRUE(local.Run());
    for (const QvVertex& v : mesh.m_vertices)
    {
        double gu = 0, gv = 0, lu = 1, lv = 1;
        global.GetUV(v.m_index, gu, gv);
        local.GetUV(v.m_index, lu, lv);
        EXPECT_NEAR(gu, lu, 1e-12);
        EXPECT_NEAR(gv, lv, 1e-12);
    }
}

TEST_F(LocalParameterize, FailuresAnswerFalse)
{
    QvMesh cube = qvtest::MakeCube();
    QvMeshLocalParameterize closed(&cube);
    EXPECT_FALSE(closed.Run());
    EXPECT_FALSE(closed.CreateParameterMesh());

    QvMeshLocalParameterize shortLoop(&m_crown, {m_equator[0], m_equator[1]}, VertexWithZ(true));
    EXPECT_FALSE(shortLoop.Run());

    std::vector<int> bad = m_equator;
    bad[3] = static_cast<int>(m_crown.m_vertices.size()) + 5;
    QvMeshLocalParameterize outOfRange(&m_crown, bad, VertexWithZ(true));
    EXPECT_FALSE(outOfRange.Run());

    QvMesh broken = DiscWithBrokenBorder();
    QvMeshLocalParameterize whole(&broken);
    EXPECT_FALSE(whole.Run());
    EXPECT_FALSE(whole.CreateParameterMesh());
}

TEST(LocalParameterizeDump, WritesRowsWithTwoSpacesAfterEachValue)
{
    QvMeshLocalParameterize::DumpTable({{1, 2}, {3}});
    std::ifstream in(QvMeshLocalParameterize::DumpTablePath());
    ASSERT_TRUE(in);
    std::stringstream text;
    text << in.rdbuf();
    EXPECT_EQ(text.str(), "1  2  \n3  \n");
    QvMeshLocalParameterize::DumpTable({{0.5}});
    std::ifstream again(QvMeshLocalParameterize::DumpTablePath());
    std::stringstream replaced;
    replaced << again.rdbuf();
    EXPECT_EQ(replaced.str(), "0.5  \n");
}

// ================================================================ the cache

class ParameterizeMgr : public ::testing::Test
{
protected:
    void SetUp() override { QvParameterizeMgr::Instance()->RemoveAll(); }
    void TearDown() override { QvParameterizeMgr::Instance()->RemoveAll(); }
};

TEST_F(ParameterizeMgr, HoldsOneFlatCopyPerMeshUntilRemoved)
{
    QvParameterizeMgr* cache = QvParameterizeMgr::Instance();
    ASSERT_NE(cache, nullptr);
    EXPECT_EQ(cache, QvParameterizeMgr::Instance());
    QvMesh mesh = qvtest::MakeCrownCap(6, 16);
    EXPECT_EQ(cache->FindFlatMesh(&mesh), nullptr);
    EXPECT_EQ(cache->GetMeanEdgeLength(&mesh), 0.0);
    cache->RemoveMesh(&mesh); // nothing to remove

    cache->AddMesh(&mesh);
    QvMesh* flat = cache->FindFlatMesh(&mesh);
    ASSERT_NE(flat, nullptr);
    QvMeshParameterize p(&mesh, 0);
    ASSERT_TRUE(p.Run());
    for (const QvVertex& v : mesh.m_vertices)
    {
        double u = 0, w = 0;
        p.GetUV(v.m_index, u, w);
        EXPECT_EQ(flat->m_vertices[v.m_index].m_point, QvPoint(u, w, 0));
    }
    double sum = 0;
    for (const QvEdge& e : mesh.m_edges)
        sum += mesh.m_vertices[e.m_vertices[0]].m_point.Distance(mesh.m_vertices[e.m_vertices[1]].m_point);
    EXPECT_DOUBLE_EQ(cache->GetMeanEdgeLength(&mesh), sum / mesh.m_edges.size());

    // A second add of either kind changes nothing.
    cache->AddMesh(&mesh);
    cache->AddLocalMesh(&mesh, LongestLoop(mesh), 0);
    EXPECT_EQ(cache->FindFlatMesh(&mesh), flat);

    cache->RemoveMesh(&mesh);
    EXPECT_EQ(cache->FindFlatMesh(&mesh), nullptr);
    EXPECT_EQ(cache->GetMeanEdgeLength(&mesh), 0.0);

    // The local kind first: the global one does not replace it.
    QvMesh crown = qvtest::MakeCrown(2);
    const std::vector<int> equator = EquatorLoop(crown);
    int seed = -1;
    for (const QvVertex& v : crown.m_vertices)
        if (v.m_point[2] > 1.0)
            seed = v.m_index;
    cache->AddLocalMesh(&crown, equator, seed);
    QvMesh* local = cache->FindFlatMesh(&crown);
    ASSERT_NE(local, nullptr);
    EXPECT_TRUE(std::any_of(local->m_vertices.begin(), local->m_vertices.end(),
                            [](const QvVertex& v) { return v.m_point == QvPoint(-1, -1, -1); }));
    cache->AddMesh(&crown);
    EXPECT_EQ(cache->FindFlatMesh(&crown), local);
}

TEST_F(ParameterizeMgr, MeshWhoseFlatteningFailsGetsNoEntry)
{
    QvParameterizeMgr* cache = QvParameterizeMgr::Instance();
    QvMesh closed = qvtest::MakeCube();
    QvMesh broken = DiscWithBrokenBorder();
    cache->AddMesh(&closed);
    cache->AddMesh(&broken);
    cache->AddLocalMesh(&broken, LongestLoop(broken), 0);
    EXPECT_EQ(cache->FindFlatMesh(&closed), nullptr);
    EXPECT_EQ(cache->FindFlatMesh(&broken), nullptr);
    EXPECT_EQ(cache->GetMeanEdgeLength(&broken), 0.0);
    cache->AddMesh(nullptr);
    EXPECT_EQ(cache->FindFlatMesh(nullptr), nullptr);
}

TEST_F(ParameterizeMgr, ThreadsAddAndLookUpTogether)
{
    QvParameterizeMgr* cache = QvParameterizeMgr::Instance();
    constexpr int kThreads = 8;
    std::vector<QvMesh> meshes;
    for (int i = 0; i < kThreads; ++i)
        meshes.push_back(qvtest::MakeCrownCap(4 + i % 3, 12 + 2 * i));

    // Different meshes at once, half of them twice from two threads.
    std::atomic<int> go{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 2 * kThreads; ++t)
        threads.emplace_back([&, t] {
            while (go.load() == 0)
                std::this_thread::yield();
            QvMesh* mesh = &meshes[static_cast<std::size_t>(t % kThreads)];
            if (t % 2 == 0)
                cache->AddMesh(mesh);
            else
                cache->AddLocalMesh(mesh, LongestLoop(*mesh), 0);
        });
    go = 1;
    for (std::thread& th : threads)
        th.join();

    // Lookups from many threads at once, with no writer.
    std::atomic<int> found{0};
    threads.clear();
    for (int t = 0; t < kThreads; ++t)
        threads.emplace_back([&] {
            for (QvMesh& mesh : meshes)
                if (cache->FindFlatMesh(&mesh) && cache->GetMeanEdgeLength(&mesh) > 0)
                    ++found;
        });
    for (std::thread& th : threads)
        th.join();
    EXPECT_EQ(found.load(), kThreads * kThreads);
    for (QvMesh& mesh : meshes)
    {
        const QvMesh* flat = cache->FindFlatMesh(&mesh);
        ASSERT_NE(flat, nullptr);
        EXPECT_EQ(flat->m_vertices.size(), mesh.m_vertices.size());
    }

    // Removal and insertion of different meshes at once.
    threads.clear();
    for (int t = 0; t < kThreads; ++t)
        threads.emplace_back([&, t] {
            QvMesh* mesh = &meshes[static_cast<std::size_t>(t)];
            cache->RemoveMesh(mesh);
            if (t % 2 == 0)
                cache->AddMesh(mesh);
        });
    for (std::thread& th : threads)
        th.join();
    for (int t = 0; t < kThreads; ++t)
        EXPECT_EQ(cache->FindFlatMesh(&meshes[static_cast<std::size_t>(t)]) != nullptr, t % 2 == 0) << t;
}

} // namespace
