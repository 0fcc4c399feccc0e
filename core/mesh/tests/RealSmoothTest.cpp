// SPDX-License-Identifier: GPL-3.0-or-later
// Smoothing on scan-like pieces of real teeth (a scalloped, noisy rim with the slivers its
// cut leaves): no pass turns a face over, whatever the factor.
#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "core/mesh/QvMesh.h"
#include "core/mesh/QvMeshSmoothCommand.h"
#include "testing/MeshInvariants.h"
#include "testing/MeshRealTeeth.h"

namespace {

QvVector AreaNormal(const QvMesh& mesh, int f)
{
    const std::int32_t* c = mesh.m_faces[f].m_vertices;
    const QvPoint& a = mesh.m_vertices[c[0]].m_point;
    return (mesh.m_vertices[c[1]].m_point - a).Cross(mesh.m_vertices[c[2]].m_point - a);
}

// Faces whose normal after smoothing points against the one before.
int TurnedFaces(const QvMesh& before, const QvMesh& after)
{
    int turned = 0;
    for (int f = 0; f < static_cast<int>(before.m_faces.size()); ++f)
    {
        const QvVector n0 = AreaNormal(before, f);
        if (n0.Length() > 0.0 && n0.Dot(AreaNormal(after, f)) < 0.0)
            ++turned;
    }
    return turned;
}

struct Pass
{
    const char* name;
    std::function<void(QvMesh&, const std::set<int>&)> run;
};

// The scalloped rim of the incisor with the thinnest triangles and the noisy cusps of a
// molar, each a band 1 mm wide beside its cut.
TEST(RealSmoothing, NoPassTurnsAFaceOverOnAScanLikePiece)
{
    QvMesh probe;
    if (!qvtest::LoadRealTooth(7, probe))
        GTEST_SKIP() << "the real teeth are not on this machine";
    const Pass passes[] = {
        {"uniform, lambda 1", [](QvMesh& m, const std::set<int>& all) { (void)QvMeshSmoothCommand(&m).SmoothLaplacian(all, 5, 1.0); }},
        {"uniform, lambda 0.5", [](QvMesh& m, const std::set<int>& all) { (void)QvMeshSmoothCommand(&m).SmoothLaplacian(all, 10, 0.5); }},
        {"lambda-mu", [](QvMesh& m, const std::set<int>& all) { (void)QvMeshSmoothCommand(&m).SmoothLambdaMu(all, 10, 0.9, -0.95); }},
        {"weighted groups", [](QvMesh& m, const std::set<int>& all) { (void)QvMeshSmoothCommand(&m).SmoothWeighted({all}, {1.0}, 5); }},
        {"distance-weighted", [](QvMesh& m, const std::set<int>& all) {
             QvMeshSmoothCommand c(&m, std::vector<int>(all.begin(), all.end()));
             (void)c.Execute();
         }},
        {"listed, boundary included", [](QvMesh& m, const std::set<int>&) { (void)QvMeshSmoothCommand(&m).SmoothListed(3); }},
    };
    const std::pair<int, qvtest::QvRealCut> cuts[] = {{7, qvtest::QvRealCut::Scalloped}, {3, qvtest::QvRealCut::NoisyCusps}};
    int count = 0;
    for (const auto& [number, cut] : cuts)
    {
        // Every loop of one cut comes with the same piece.
        const std::vector<qvtest::QvRealHole> holes = qvtest::CutRealTooth(number, cut, 1.0);
        if (holes.empty())
            continue;
        const qvtest::QvRealHole& piece = holes.front();
        ++count;
        std::set<int> all;
        for (int v = 0; v < static_cast<int>(piece.mesh.m_vertices.size()); ++v)
            all.insert(v);
        for (const Pass& pass : passes)
        {
            SCOPED_TRACE(piece.name + ", " + pass.name);
            QvMesh mesh = piece.mesh;
            pass.run(mesh, all);
            EXPECT_EQ(TurnedFaces(piece.mesh, mesh), 0);
        }
    }
    EXPECT_EQ(count, 2);
}

} // namespace
