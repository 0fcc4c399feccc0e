// SPDX-License-Identifier: GPL-3.0-or-later
// Virtual roots grown on real crowns, cut from CT teeth at the gum line as they are and
// with a scan's scalloped, noisy rim: every root closes the tooth, keeps the crown's
// orientation and crosses neither itself nor the crown (CGAL's exact triangle tests).
#include <gtest/gtest.h>

#include <CGAL/Exact_predicates_inexact_constructions_kernel.h>
#include <CGAL/Polygon_mesh_processing/bbox.h>
#include <CGAL/Polygon_mesh_processing/self_intersections.h>
#include <CGAL/Surface_mesh.h>

#include <cstdint>
#include <cstdio>
#include <iterator>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "core/geometry/QvFrame.h"
#include "core/model/QvTooth.h"
#include "core/model/QvVirtualRootCommand.h"
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

class RealVirtualRoot : public ::testing::TestWithParam<int>
{
};

// One tooth per test: its crown cut plainly and with a scan's rim.
TEST_P(RealVirtualRoot, ClosesTheCrownWithoutCrossings)
{
    QvMesh probe;
    if (!qvtest::LoadRealTooth(GetParam(), probe))
        GTEST_SKIP() << "no real teeth in " << qvtest::RealTeethDirectory();
    int grown = 0;
    for (const qvtest::QvRealCrown& crown : qvtest::RealCrowns(GetParam()))
    {
        SCOPED_TRACE(crown.name);
        auto tooth = std::make_unique<QvTooth>();
        tooth->CopyMeshData(crown.mesh);
        tooth->UpdateBBox();
        // Z from the crown towards the root, through the crown's centre.
        const QvVector& z = crown.axis;
        const QvVector x = QvVector(1.0, 0.0, 0.0);
        tooth->SetFrame(QvFrame(crown.mesh.GetCenter(), x, z.Cross(x)));
        const int faces = static_cast<int>(tooth->m_faces.size());

        tooth->UpdateBoundaryLoop();
        QvVirtualRootCommand command(tooth.get(), *tooth->GetBoundaryLoop(), 2.0, 0.5);
        command.SetMode(false);
        ASSERT_TRUE(command.Execute());
        ++grown;
        EXPECT_GT(static_cast<int>(tooth->m_faces.size()), faces);
        EXPECT_EQ(BoundaryEdges(*tooth), 0) << "the tooth is left open";
        EXPECT_TRUE(qvtest::MeshInvariantsHold(*tooth));
        EXPECT_TRUE(qvtest::IsConsistentlyOriented(*tooth));
        EXPECT_EQ(RootIntersections(*tooth), 0);
    }
    EXPECT_EQ(grown, 2);
}

INSTANTIATE_TEST_SUITE_P(Teeth, RealVirtualRoot, ::testing::ValuesIn(qvtest::RealToothNumbers()),
                         [](const ::testing::TestParamInfo<int>& info) { return "tooth" + std::to_string(info.param); });

} // namespace
