// SPDX-License-Identifier: GPL-3.0-or-later
// Plane sections: QvMesh::IntersectPlane against CGAL's Polygon_mesh_slicer on the
// same closed 50 000-face mesh and the same 50 planes. The slicer builds an AABB tree
// once; it is timed with the tree prebuilt and with the build included.
#include <benchmark/benchmark.h>

#include <cmath>
#include <iterator>
#include <random>
#include <vector>

#include <CGAL/Exact_predicates_inexact_constructions_kernel.h>
#include <CGAL/Polygon_mesh_slicer.h>
#include <CGAL/Surface_mesh.h>

#include "core/geometry/QvPlane.h"
#include "core/mesh/QvMesh.h"

namespace {

using Kernel = CGAL::Exact_predicates_inexact_constructions_kernel;
using SurfaceMesh = CGAL::Surface_mesh<Kernel::Point_3>;
using Slicer = CGAL::Polygon_mesh_slicer<SurfaceMesh, Kernel>;

constexpr int kPlaneCount = 50;

// A bumpy torus (radii 10 and 4 mm) of 250 x 100 quads: 50 000 faces, closed, and
// cut by most planes through its box in one to four loops.
QvMesh MakeMesh()
{
    constexpr int nu = 250, nv = 100;
    QvMesh mesh;
    mesh.Reserve(nu * nv, 2 * nu * nv, 3 * nu * nv);
    for (int i = 0; i < nu; ++i)
        for (int j = 0; j < nv; ++j)
        {
            const double u = kQvTwoPi * i / nu, v = kQvTwoPi * j / nv;
            const double r = 4.0 * (1.0 + 0.15 * std::sin(5 * u) * std::cos(3 * v));
            mesh.AddVertex(QvPoint((10.0 + r * std::cos(v)) * std::cos(u), (10.0 + r * std::cos(v)) * std::sin(u),
                                   r * std::sin(v)));
        }
    for (int i = 0; i < nu; ++i)
        for (int j = 0; j < nv; ++j)
        {
            const int a = i * nv + j, b = ((i + 1) % nu) * nv + j;
            const int c = ((i + 1) % nu) * nv + (j + 1) % nv, d = i * nv + (j + 1) % nv;
            (void)mesh.AddFace(a, b, c, 0);
            (void)mesh.AddFace(a, c, d, 0);
        }
    mesh.UpdateFaceNormals();
    mesh.UpdateBBox();
    return mesh;
}

const QvMesh& Mesh()
{
    static const QvMesh mesh = MakeMesh();
    return mesh;
}

const SurfaceMesh& Peer()
{
    static const SurfaceMesh sm = [] {
        SurfaceMesh out;
        std::vector<SurfaceMesh::Vertex_index> vertices;
        for (const QvVertex& v : Mesh().m_vertices)
            vertices.push_back(out.add_vertex(Kernel::Point_3(v.m_point[0], v.m_point[1], v.m_point[2])));
        for (const QvFace& f : Mesh().m_faces)
            out.add_face(vertices[f.m_vertices[0]], vertices[f.m_vertices[1]], vertices[f.m_vertices[2]]);
        return out;
    }();
    return sm;
}

// Through random points of the middle of the box, in random directions.
const std::vector<QvPlane>& Planes()
{
    static const std::vector<QvPlane> planes = [] {
        std::mt19937 rng(11);
        std::uniform_real_distribution<double> unit(-0.7, 0.7);
        std::normal_distribution<double> normal;
        const QvBBox& box = Mesh().m_bbox;
        const QvPoint c = box.GetCentre();
        std::vector<QvPlane> out;
        for (int i = 0; i < kPlaneCount; ++i)
        {
            QvPoint p = c;
            for (int k = 0; k < 3; ++k)
                p[k] += unit(rng) * (box.m_maxPoint[k] - box.m_minPoint[k]) / 2;
            const QvVector n(normal(rng), normal(rng), normal(rng));
            out.emplace_back(p, n);
        }
        return out;
    }();
    return planes;
}

Kernel::Plane_3 ToPeer(const QvPlane& p) { return Kernel::Plane_3(p.m_coef[0], p.m_coef[1], p.m_coef[2], p.m_coef[3]); }

void BM_QvMesh_IntersectPlane(benchmark::State& state)
{
    const QvMesh& mesh = Mesh();
    std::size_t sections = 0;
    for (auto _ : state)
    {
        sections = 0;
        for (const QvPlane& plane : Planes())
        {
            std::vector<std::vector<QvSectionPoint>> out;
            mesh.IntersectPlane(plane, out);
            sections += out.size();
            benchmark::DoNotOptimize(out.data());
        }
    }
    state.SetItemsProcessed(state.iterations() * kPlaneCount);
    state.counters["sections"] = static_cast<double>(sections);
}

void BM_CGAL_Slicer_TreeBuilt(benchmark::State& state)
{
    const Slicer slicer(Peer());
    std::size_t sections = 0;
    for (auto _ : state)
    {
        sections = 0;
        for (const QvPlane& plane : Planes())
        {
            std::vector<std::vector<Kernel::Point_3>> out;
            slicer(ToPeer(plane), std::back_inserter(out));
            sections += out.size();
            benchmark::DoNotOptimize(out.data());
        }
    }
    state.SetItemsProcessed(state.iterations() * kPlaneCount);
    state.counters["sections"] = static_cast<double>(sections);
}

void BM_CGAL_Slicer_WithTreeBuild(benchmark::State& state)
{
    std::size_t sections = 0;
    for (auto _ : state)
    {
        const Slicer slicer(Peer());
        sections = 0;
        for (const QvPlane& plane : Planes())
        {
            std::vector<std::vector<Kernel::Point_3>> out;
            slicer(ToPeer(plane), std::back_inserter(out));
            sections += out.size();
            benchmark::DoNotOptimize(out.data());
        }
    }
    state.SetItemsProcessed(state.iterations() * kPlaneCount);
    state.counters["sections"] = static_cast<double>(sections);
}

} // namespace

BENCHMARK(BM_QvMesh_IntersectPlane)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CGAL_Slicer_TreeBuilt)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CGAL_Slicer_WithTreeBuild)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
