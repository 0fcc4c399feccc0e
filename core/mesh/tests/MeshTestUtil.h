// SPDX-License-Identifier: GPL-3.0-or-later
// Building small meshes from literal tables and reading their positions back, shared by
// the mesh tests.
#pragma once

#include <gtest/gtest.h>

#include <array>
#include <vector>

#include "core/mesh/QvMesh.h"

namespace meshtest {

inline QvMesh MeshOf(const std::vector<QvPoint>& points, const std::vector<std::array<int, 3>>& faces)
{
    QvMesh mesh;
    for (const QvPoint& p : points)
        mesh.AddVertex(p);
    for (const auto& f : faces)
        EXPECT_TRUE(mesh.AddFace(f[0], f[1], f[2], 0));
    mesh.UpdateFaceNormals();
    return mesh;
}

inline std::vector<QvPoint> Positions(const QvMesh& mesh)
{
    std::vector<QvPoint> out;
    for (const QvVertex& v : mesh.m_vertices)
        out.push_back(v.m_point);
    return out;
}

} // namespace meshtest
