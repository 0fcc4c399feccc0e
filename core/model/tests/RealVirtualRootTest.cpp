// SPDX-License-Identifier: GPL-3.0-or-later
// Virtual roots grown on a real crown, cut from a CT tooth at the gum line as it is and
// with a scan's scalloped, noisy rim, and a root that would cross a body in its way:
// every root closes the tooth, keeps the crown's orientation and crosses neither itself
// nor the crown (CGAL's exact triangle tests).
#include <gtest/gtest.h>

#include <CGAL/Exact_predicates_inexact_constructions_kernel.h>
#include <CGAL/Polygon_mesh_processing/bbox.h>
#include <CGAL/Polygon_mesh_processing/self_intersections.h>
#include <CGAL/Surface_mesh.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <iterator>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "core/geometry/QvFrame.h"
#include "core/geometry/QvPlane.h"
#include "core/model/QvTooth.h"
#include "core/model/QvVirtualRootCommand.h"
#include "testing/MeshFixtures.h"
#include "testing/MeshInvariants.h"
#include "testing/MeshRealTeeth.h"

namespace {

using Kernel = CGAL::Exact_predicates_inexact_constructions_kernel;
using SurfaceMesh = CGAL::Surface_mesh<Kernel::Point_3>;
namespace PMP = CGAL::Polygon_mesh_processing;

// Pairs of intersecting faces (other than in shared corners or sides) with at least one
// root face among them.
int RootIntersections(const QvMesh& mesh)
{
    SurfaceMesh sm;
    std::vector<SurfaceMesh::Vertex_index> vertices;
    for (const QvVertex& v : mesh.m_vertices)
        vertices.push_back(sm.add_vertex(Kernel::Point_3(v.m_point[0], v.m_point[1], v.m_point[2])));
    std::vector<int> original;
    for (int f = 0; f < static_cast<int>(mesh.m_faces.size()); ++f)
    {
        const std::int32_t* c = mesh.m_faces[f].m_vertices;
        if (sm.add_face(vertices[c[0]], vertices[c[1]], vertices[c[2]]) != SurfaceMesh::null_face())
            original.push_back(f);
    }
    // The root and the crown faces whose boxes meet the root's box.
    CGAL::Bbox_3 rootBox;
    for (const auto f : sm.faces())
        if (mesh.m_faces[original[f.idx()]].m_tag == kQvFaceTagVirtualRoot)
            rootBox += PMP::face_bbox(f, sm);
    std::vector<SurfaceMesh::Face_index> near;
    for (const auto f : sm.faces())
        if (CGAL::do_overlap(rootBox, PMP::face_bbox(f, sm)))
            near.push_back(f);
    std::vector<std::pair<SurfaceMesh::Face_index, SurfaceMesh::Face_index>> pairs;
    PMP::self_intersections(near, sm, std::back_inserter(pairs));
    int count = 0;
    for (const auto& [a, b] : pairs)
        if (mesh.m_faces[original[a.idx()]].m_tag == kQvFaceTagVirtualRoot ||
            mesh.m_faces[original[b.idx()]].m_tag == kQvFaceTagVirtualRoot)
            ++count;
    return count;
}

int BoundaryEdges(const QvMesh& mesh)
{
    int count = 0;
    for (const QvEdge& e : mesh.m_edges)
        count += e.m_faces[1] == -1 ? 1 : 0;
    return count;
}

// The deepest distance of a root vertex beyond the base plane the command uses.
double RootDepth(const QvTooth& tooth, int firstVertex)
{
    QvVirtualRootCommand probe(const_cast<QvTooth*>(&tooth), {}, 2.0, 0.5);
    QvPlane plane;
    if (!probe.ComputeBasePlane(plane))
        return -1.0;
    double depth = 0.0;
    for (int v = firstVertex; v < static_cast<int>(tooth.m_vertices.size()); ++v)
        depth = std::max(depth, plane.Distance(tooth.m_vertices[v].m_point, false));
    return depth;
}

// One tooth's crown cut plainly and with a scan's rim: the ring root closes it at its
// full length, as the builder makes it, and crosses nothing; so does the blended root,
// at most as long.
TEST(RealVirtualRoot, ClosesTheCrownWithoutCrossings)
{
    QvMesh probe;
    if (!qvtest::LoadRealTooth(29, probe))
        GTEST_SKIP() << "the real teeth are not on this machine";
    int grown = 0;
    for (const bool blended : {false, true})
    for (const qvtest::QvRealCrown& crown : qvtest::RealCrowns(29))
    {
        SCOPED_TRACE(crown.name + (blended ? " blended" : " ring"));
        auto tooth = std::make_unique<QvTooth>();
        tooth->CopyMeshData(crown.mesh);
        tooth->UpdateBBox();
        // Z from the crown towards the root, through the crown's centre.
        const QvVector& z = crown.axis;
        const QvVector x = QvVector(1.0, 0.0, 0.0);
        tooth->SetFrame(QvFrame(crown.mesh.GetCenter(), x, z.Cross(x)));
        const int faces = static_cast<int>(tooth->m_faces.size());
        const int vertices = static_cast<int>(tooth->m_vertices.size());

        tooth->UpdateBoundaryLoop();
        QvVirtualRootCommand command(tooth.get(), *tooth->GetBoundaryLoop(), 2.0, 0.5);
        command.SetMode(blended);
        // The blended builder answers whether its blending surface could be solved; the
        // root stands either way.
        const bool executed = command.Execute();
        if (!blended)
            ASSERT_TRUE(executed);
        ++grown;
        EXPECT_GT(static_cast<int>(tooth->m_faces.size()), faces);
        EXPECT_EQ(BoundaryEdges(*tooth), 0) << "the tooth is left open";
        EXPECT_TRUE(qvtest::MeshInvariantsHold(*tooth));
        EXPECT_TRUE(qvtest::IsConsistentlyOriented(*tooth));
        EXPECT_EQ(RootIntersections(*tooth), 0);
        // Smoothing moves the end ring and the rim a little.
        const double depth = RootDepth(*tooth, vertices);
        std::printf("[ %s %s ] root depth %.3f\n", crown.name.c_str(), blended ? "blended" : "ring", depth);
        if (blended)
            EXPECT_LT(depth, 2.2);
        else
            EXPECT_NEAR(depth, 2.0, 0.2);
    }
    EXPECT_EQ(grown, 4);
}

// A closed body where the root's end would lie (a stray shell of the scan): the full
// root's cap runs through it, so the root is built at half the length, clear of it, by
// the ring builder and the blended one alike.
TEST(VirtualRootCrossings, ARootThatWouldCrossIsBuiltShorter)
{
    for (const bool blended : {false, true})
    for (const bool obstacle : {false, true})
    {
        SCOPED_TRACE(std::string(blended ? "blended" : "ring") + (obstacle ? ", with the body" : ", without"));
        QvMesh mesh = qvtest::MakeOpenCrown(600, 0);
        auto tooth = std::make_unique<QvTooth>();
        tooth->CopyMeshData(mesh);
        tooth->UpdateBBox();
        // Cusps towards +z: the root grows along -z.
        tooth->SetFrame(QvFrame(QvPoint(0.0, 0.0, 0.0), QvVector(1.0, 0.0, 0.0), QvVector(0.0, -1.0, 0.0)));
        tooth->UpdateBoundaryLoop();
        QvVirtualRootCommand probe(tooth.get(), {}, 2.0, 0.5);
        QvPlane plane;
        ASSERT_TRUE(probe.ComputeBasePlane(plane));
        if (obstacle)
        {
            // A 0.4 mm cube on the axis, 1.8 to 2.2 mm beyond the base plane.
            QvMesh cube = qvtest::MakeCube(0.4);
            const QvPoint centre = plane.ProjectPoint(QvPoint(0.0, 0.0, 0.0)) + plane.GetNormal() * 2.0;
            const QvVector shift = centre - cube.GetCenter();
            for (int v = 0; v < static_cast<int>(cube.m_vertices.size()); ++v)
                ASSERT_TRUE(cube.SetVertexPosition(v, cube.m_vertices[v].m_point + shift));
            std::map<int, int> oldToNew;
            ASSERT_TRUE(tooth->AppendMesh(cube, oldToNew));
            tooth->UpdateFaceNormals();
            tooth->UpdateBBox();
        }
        const int vertices = static_cast<int>(tooth->m_vertices.size());
        tooth->UpdateBoundaryLoop();
        QvVirtualRootCommand command(tooth.get(), *tooth->GetBoundaryLoop(), 2.0, 0.5);
        command.SetMode(blended);
        ASSERT_TRUE(command.Execute());
        EXPECT_EQ(BoundaryEdges(*tooth), 0) << "the tooth is left open";
        EXPECT_TRUE(qvtest::MeshInvariantsHold(*tooth));
        EXPECT_EQ(RootIntersections(*tooth), 0);
        EXPECT_NEAR(RootDepth(*tooth, vertices), obstacle ? 1.0 : 2.0, 0.2);
    }
}

// Roots grown side by side, on every hardware thread, are the roots grown one tooth
// after another, to the bit; a grown tooth holds no storage beyond its elements.
TEST(RealVirtualRoot, RootsGrownSideBySideMatchOneAfterAnother)
{
    QvMesh probe;
    if (!qvtest::LoadRealTooth(29, probe))
        GTEST_SKIP() << "the real teeth are not on this machine";
    const std::vector<qvtest::QvRealCrown> crowns = qvtest::RealCrowns(29);
    const auto makeTeeth = [&] {
        std::vector<std::unique_ptr<QvTooth>> teeth;
        for (int copy = 0; copy < 2; ++copy)
            for (const qvtest::QvRealCrown& crown : crowns)
            {
                auto tooth = std::make_unique<QvTooth>();
                tooth->CopyMeshData(crown.mesh);
                tooth->UpdateBBox();
                const QvVector x = QvVector(1.0, 0.0, 0.0);
                tooth->SetFrame(QvFrame(crown.mesh.GetCenter(), x, crown.axis.Cross(x)));
                teeth.push_back(std::move(tooth));
            }
        return teeth;
    };
    const auto grow = [](std::vector<std::unique_ptr<QvTooth>>& teeth, unsigned threads) {
        std::vector<QvToothBase*> list;
        for (auto& tooth : teeth)
            list.push_back(tooth.get());
        QvGrowRingRoots(list, 2.0, 0.5, threads);
    };
    std::vector<std::unique_ptr<QvTooth>> alone = makeTeeth();
    std::vector<std::unique_ptr<QvTooth>> together = makeTeeth();
    grow(alone, 1);
    grow(together, 0);
    for (std::size_t t = 0; t < alone.size(); ++t)
    {
        SCOPED_TRACE(t);
        const QvTooth& a = *alone[t];
        const QvTooth& b = *together[t];
        EXPECT_GT(a.m_faces.size(), probe.m_faces.size() / 100);
        EXPECT_TRUE(a.HasRootFaces());
        EXPECT_EQ(b.m_vertices.capacity(), b.m_vertices.size());
        EXPECT_EQ(b.m_faces.capacity(), b.m_faces.size());
        EXPECT_EQ(b.m_edges.capacity(), b.m_edges.size());
        ASSERT_EQ(a.m_vertices.size(), b.m_vertices.size());
        ASSERT_EQ(a.m_faces.size(), b.m_faces.size());
        for (std::size_t v = 0; v < a.m_vertices.size(); ++v)
            ASSERT_EQ(std::memcmp(&a.m_vertices[v].m_point, &b.m_vertices[v].m_point, sizeof(QvPoint)), 0) << v;
        for (std::size_t f = 0; f < a.m_faces.size(); ++f)
        {
            ASSERT_EQ(std::memcmp(a.m_faces[f].m_vertices, b.m_faces[f].m_vertices, sizeof a.m_faces[f].m_vertices), 0)
                << f;
            ASSERT_EQ(a.m_faces[f].m_tag, b.m_faces[f].m_tag) << f;
        }
        EXPECT_EQ(*a.GetBoundaryLoop(), *b.GetBoundaryLoop());
    }
}

} // namespace
