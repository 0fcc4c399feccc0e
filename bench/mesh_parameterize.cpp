// SPDX-License-Identifier: GPL-3.0-or-later
// Flattening a crown-like cap of about 20k vertices by mean-value weights: ours (one sparse
// LU for u and v together) beside CGAL's mean-value parameteriser holding the same border,
// with its default iterative solver and with sparse LU.
#include <benchmark/benchmark.h>

#include <CGAL/Eigen_solver_traits.h>
#include <CGAL/Polygon_mesh_processing/measure.h>
#include <CGAL/Simple_cartesian.h>
#include <CGAL/Surface_mesh.h>
#include <CGAL/Surface_mesh_parameterization/Mean_value_coordinates_parameterizer_3.h>
#include <CGAL/Surface_mesh_parameterization/parameterize.h>

#include <Eigen/SparseLU>

#include <algorithm>
#include <cmath>
#include <utility>
#include <vector>

#include "core/mesh/QvMesh.h"
#include "core/mesh/QvMeshParameterize.h"
#include "testing/MeshFixtures.h"

namespace {

using Kernel = CGAL::Simple_cartesian<double>;
using SurfaceMesh = CGAL::Surface_mesh<Kernel::Point_3>;
using SmVertex = SurfaceMesh::Vertex_index;
namespace SMP = CGAL::Surface_mesh_parameterization;
using UV = std::pair<double, double>;

// 1 + 100 * 200 = 20001 vertices, 39800 faces.
const QvMesh& Cap()
{
    static const QvMesh mesh = qvtest::MakeCrownCap(100, 200);
    return mesh;
}

// Our result, which also gives CGAL its border.
const std::vector<UV>& Reference()
{
    static const std::vector<UV> uv = [] {
        QvMesh mesh = Cap();
        QvMeshParameterize p(&mesh, 0);
        std::vector<UV> out(mesh.m_vertices.size());
        if (p.Run())
            for (std::size_t i = 0; i < out.size(); ++i)
                p.GetUV(static_cast<int>(i), out[i].first, out[i].second);
        return out;
    }();
    return uv;
}

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
            put(uvmap, v, Kernel::Point_2((*m_uv)[v.idx()].first, (*m_uv)[v.idx()].second));
            put(parameterized, v, true);
        }
        return SMP::OK;
    }
    bool is_border_convex() const { return true; }
};

SurfaceMesh ToSurfaceMesh(const QvMesh& mesh)
{
    SurfaceMesh sm;
    for (const QvVertex& v : mesh.m_vertices)
        sm.add_vertex(Kernel::Point_3(v.m_point[0], v.m_point[1], v.m_point[2]));
    for (const QvFace& f : mesh.m_faces)
        sm.add_face(SmVertex(f.m_vertices[0]), SmVertex(f.m_vertices[1]), SmVertex(f.m_vertices[2]));
    return sm;
}

void BM_Rivela_MeanValue(benchmark::State& state)
{
    QvMesh mesh = Cap();
    for (auto _ : state)
    {
        QvMeshParameterize p(&mesh, 0);
        benchmark::DoNotOptimize(p.Run());
    }
    state.counters["vertices"] = static_cast<double>(mesh.m_vertices.size());
}

// What the parameterisation cache pays per mesh: the run and the flat copy.
void BM_Rivela_MeanValueWithFlatCopy(benchmark::State& state)
{
    QvMesh mesh = Cap();
    for (auto _ : state)
    {
        QvMeshParameterize p(&mesh, 0);
        if (p.Run())
            benchmark::DoNotOptimize(p.CreateParameterMesh());
    }
}

template <typename Solver>
void RunCgal(benchmark::State& state)
{
    SurfaceMesh sm = ToSurfaceMesh(Cap());
    const auto border = CGAL::Polygon_mesh_processing::longest_border(sm).first;
    auto uvmap = sm.add_property_map<SmVertex, Kernel::Point_2>("v:uv").first;
    const std::vector<UV>& reference = Reference();
    bool ok = true;
    for (auto _ : state)
    {
        SMP::Mean_value_coordinates_parameterizer_3<SurfaceMesh, GivenBorder, Solver> parameterizer(
            GivenBorder{&reference});
        ok = SMP::parameterize(sm, parameterizer, border, uvmap) == SMP::OK && ok;
    }
    double worst = 0.0;
    for (const SmVertex v : sm.vertices())
        worst = std::max({worst, std::fabs(uvmap[v].x() - reference[v.idx()].first),
                          std::fabs(uvmap[v].y() - reference[v.idx()].second)});
    state.counters["ok"] = ok ? 1 : 0;
    state.counters["max_diff_vs_rivela"] = worst;
}

using SparseLuSolver = CGAL::Eigen_solver_traits<
    Eigen::SparseLU<CGAL::Eigen_sparse_matrix<double>::EigenType, Eigen::COLAMDOrdering<int>>>;
using DefaultSolver = CGAL::Eigen_solver_traits<
    Eigen::BiCGSTAB<CGAL::Eigen_sparse_matrix<double>::EigenType, Eigen::IncompleteLUT<double>>>;

void BM_CGAL_MeanValue_SparseLU(benchmark::State& state)
{
    RunCgal<SparseLuSolver>(state);
}

void BM_CGAL_MeanValue_DefaultBiCGSTAB(benchmark::State& state)
{
    RunCgal<DefaultSolver>(state);
}

} // namespace

BENCHMARK(BM_Rivela_MeanValue)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Rivela_MeanValueWithFlatCopy)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CGAL_MeanValue_SparseLU)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CGAL_MeanValue_DefaultBiCGSTAB)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
