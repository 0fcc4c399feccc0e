// SPDX-License-Identifier: GPL-3.0-or-later
// Our meshes and placements handed to FCL, the peer of the collision benchmarks.
#pragma once

#include <fcl/fcl.h>

#include <memory>
#include <vector>

#include "core/geometry/QvMatrix.h"
#include "core/mesh/QvMesh.h"

namespace benchfcl {

inline fcl::Transform3d ToFcl(const QvMatrix& m)
{
    fcl::Transform3d t = fcl::Transform3d::Identity();
    for (int i = 0; i < 3; ++i)
    {
        for (int j = 0; j < 3; ++j)
            t.linear()(i, j) = m[i][j];
        t.translation()(i) = m[i][3];
    }
    return t;
}

// The mesh's triangles, unplaced, in a bounding-volume tree of kind BV.
template <typename BV>
std::shared_ptr<fcl::BVHModel<BV>> MakeModel(const QvMesh& mesh)
{
    std::vector<fcl::Vector3d> points;
    points.reserve(mesh.m_vertices.size());
    for (const QvVertex& v : mesh.m_vertices)
        points.emplace_back(v.m_point[0], v.m_point[1], v.m_point[2]);
    std::vector<fcl::Triangle> triangles;
    triangles.reserve(mesh.m_faces.size());
    for (const QvFace& f : mesh.m_faces)
        triangles.emplace_back(f.m_vertices[0], f.m_vertices[1], f.m_vertices[2]);
    auto model = std::make_shared<fcl::BVHModel<BV>>();
    model->beginModel();
    model->addSubModel(points, triangles);
    model->endModel();
    return model;
}

} // namespace benchfcl
