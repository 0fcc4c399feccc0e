// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <vector>

#include "core/geometry/QvBSplineCurve.h"
#include "core/geometry/QvBSplineSurface.h"
#include "core/mesh/QvMesh.h"
#include "testing/MeshInvariants.h"

namespace {

using qvtest::IsConsistentlyOriented;
using qvtest::MeshInvariantsHold;

int BoundaryEdges(const QvMesh& mesh)
{
    int count = 0;
    for (const QvEdge& e : mesh.m_edges)
        count += e.IsBoundary() ? 1 : 0;
    return count;
}

// A curved bicubic patch over [0, 3] x [0, 2].
QvBSplineSurface Patch()
{
    QvBSplineSurface s;
    s.Allocate(3, 3, 4, 4);
    s.m_uKnots.m_values = {0, 0, 0, 0, 1, 1, 1, 1};
    s.m_vKnots.m_values = {0, 0, 0, 0, 1, 1, 1, 1};
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j)
            s.m_ctrlNet[i][j] = QvPoint(i, 2.0 * j / 3.0, 0.2 * (i - 1.5) * (j - 1.5));
    return s;
}

// Degree-1 surface on rings of nu control points around the z axis (the first repeated last, so it
// closes in u), one ring per level; with a torus, the levels close in v too.
QvBSplineSurface Ring(int nu, int nv, bool torus)
{
    QvBSplineSurface s;
    s.Allocate(1, 1, nu, nv);
    auto knots = [](int n) {
        std::vector<double> k{0.0};
        for (int i = 0; i < n; ++i)
            k.push_back(static_cast<double>(i) / (n - 1));
        k.push_back(1.0);
        return k;
    };
    s.m_uKnots.m_values = knots(nu);
    s.m_vKnots.m_values = knots(nv);
    for (int i = 0; i < nu; ++i)
    {
        const double a = 6.283185307179586 * (i % (nu - 1)) / (nu - 1);
        for (int j = 0; j < nv; ++j)
        {
            if (torus)
            {
                const double b = 6.283185307179586 * (j % (nv - 1)) / (nv - 1);
                const double r = 3.0 + std::cos(b);
                s.m_ctrlNet[i][j] = QvPoint(r * std::cos(a), r * std::sin(a), std::sin(b));
            }
            else
            {
                s.m_ctrlNet[i][j] = QvPoint(std::cos(a), std::sin(a), j);
            }
        }
    }
    return s;
}

TEST(FromSurfaceTest, GridCountsPositionsAndTags)
{
    const QvBSplineSurface s = Patch();
    for (bool seams : {false, true})
    {
        const auto mesh = QvMesh::CreateFromSurface(s, 3, 4, 6, seams);
        ASSERT_TRUE(mesh);
        // The patch is open in both directions: no seam faces even when asked.
        EXPECT_EQ(mesh->m_vertices.size(), 12u);
        EXPECT_EQ(mesh->m_faces.size(), 12u);
        EXPECT_EQ(mesh->m_edges.size(), 2u * 4 + 3u * 3 + 2u * 3);
        EXPECT_EQ(BoundaryEdges(*mesh), 2 * 2 + 2 * 3);
        EXPECT_TRUE(MeshInvariantsHold(*mesh));
        EXPECT_TRUE(IsConsistentlyOriented(*mesh));
        for (int i = 0; i < 3; ++i)
            for (int j = 0; j < 4; ++j)
            {
                const QvPoint want = s.Evaluate(i / 2.0, j / 3.0);
                const QvPoint& got = mesh->m_vertices[static_cast<std::size_t>(i * 4 + j)].m_point;
                EXPECT_EQ(got.Distance(want), 0.0);
            }
        for (const QvFace& f : mesh->m_faces)
        {
            EXPECT_EQ(f.m_tag, 6);
            EXPECT_EQ(f.m_normal.Length(), 0.0); // left for the caller
        }
    }
}

TEST(FromSurfaceTest, TooFewSamplesOrAnUnusableSurfaceGiveNull)
{
    const QvBSplineSurface s = Patch();
    const int cases[][2] = {{1, 4}, {4, 1}, {0, 0}, {-3, 5}};
    for (const auto& tc : cases)
        EXPECT_EQ(QvMesh::CreateFromSurface(s, tc[0], tc[1], 0, false), nullptr) << tc[0] << " x " << tc[1];
    EXPECT_EQ(QvMesh::CreateFromSurface(QvBSplineSurface(), 5, 5, 0, false), nullptr);
    QvBSplineSurface broken = Patch();
    broken.m_ctrlNet[2].pop_back();
    EXPECT_EQ(QvMesh::CreateFromSurface(broken, 5, 5, 0, false), nullptr);
}

TEST(FromSurfaceTest, SeamFacesCloseWhereTheSurfaceCloses)
{
    const struct
    {
        const char* what;
        QvBSplineSurface surface;
        bool uClosed;
        bool vClosed;
    } cases[] = {
        {"cylinder", Ring(9, 4, false), true, false},
        {"torus", Ring(9, 7, true), true, true},
    };
    const int nu = 17;
    const int nv = 11;
    for (const auto& tc : cases)
    {
        const int grid = 2 * (nu - 1) * (nv - 1);
        const auto open = QvMesh::CreateFromSurface(tc.surface, nu, nv, 0, false);
        ASSERT_TRUE(open);
        EXPECT_EQ(open->m_faces.size(), static_cast<std::size_t>(grid)) << tc.what;

        const auto closed = QvMesh::CreateFromSurface(tc.surface, nu, nv, 2, true);
        ASSERT_TRUE(closed);
        const int seam = (tc.uClosed ? 2 * (nv - 1) : 0) + (tc.vClosed ? 2 * (nu - 1) : 0);
        EXPECT_EQ(closed->m_vertices.size(), static_cast<std::size_t>(nu * nv)) << tc.what;
        EXPECT_EQ(closed->m_faces.size(), static_cast<std::size_t>(grid + seam)) << tc.what;
        EXPECT_TRUE(MeshInvariantsHold(*closed)) << tc.what;
        EXPECT_TRUE(IsConsistentlyOriented(*closed)) << tc.what;
        // The cylinder keeps its two end rings open; the torus only the corner where both seams meet.
        EXPECT_EQ(BoundaryEdges(*closed), tc.vClosed ? 4 : 2 * nu) << tc.what;
    }
}

TEST(FromSurfaceTest, SkinnedSurfaceMesh)
{
    std::vector<std::unique_ptr<QvBSplineCurve>> owned;
    std::vector<QvBSplineCurve*> curves;
    for (int k = 0; k < 5; ++k)
    {
        std::vector<QvPoint> pts;
        for (int i = 0; i < 8; ++i)
            pts.emplace_back(i, std::sin(0.5 * i + k), 2.0 * k);
        owned.emplace_back(QvBSplineCurve::Interpolate(pts, false));
        curves.push_back(owned.back().get());
    }
    const std::unique_ptr<QvBSplineSurface> s(QvBSplineSurface::Skin(curves));
    ASSERT_TRUE(s);
    const auto mesh = QvMesh::CreateFromSurface(*s, 100, 50, 0, true);
    ASSERT_TRUE(mesh);
    EXPECT_EQ(mesh->m_vertices.size(), 5000u);
    EXPECT_EQ(mesh->m_faces.size(), 2u * 99 * 49);
    EXPECT_TRUE(MeshInvariantsHold(*mesh));
    EXPECT_TRUE(IsConsistentlyOriented(*mesh));
    EXPECT_EQ(BoundaryEdges(*mesh), 2 * 99 + 2 * 49);
}

} // namespace
