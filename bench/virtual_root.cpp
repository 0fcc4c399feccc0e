// SPDX-License-Identifier: GPL-3.0-or-later
// Growing virtual roots when a case opens: the root-growing pass over a model of 28
// generated open crowns (a full dentition; scalloped rims, sizes and spacings varying
// from tooth to tooth) of about 5000 and 20000 faces each. Building the model is not
// timed. For scale, the peer closes the same open rims with CGAL's
// triangulate_refine_and_fair_hole (a faired patch instead of a root; no extrusion).
// Counters: per_crown, the mean time per crown; added_faces, faces added per crown.
#include <benchmark/benchmark.h>

#include <CGAL/Polygon_mesh_processing/triangulate_hole.h>
#include <CGAL/Simple_cartesian.h>
#include <CGAL/Surface_mesh.h>

#include <iterator>
#include <map>
#include <vector>

#include "core/geometry/QvFrame.h"
#include "core/model/QvModel.h"
#include "core/model/QvTooth.h"
#include "core/model/QvVirtualRootCommand.h"
#include "testing/MeshFixtures.h"

namespace {

using Kernel = CGAL::Simple_cartesian<double>;
using SurfaceMesh = CGAL::Surface_mesh<Kernel::Point_3>;

constexpr int kTeeth = 28;

const std::vector<QvMesh>& Crowns(int faces)
{
    static std::map<int, std::vector<QvMesh>> cache;
    std::vector<QvMesh>& crowns = cache[faces];
    if (crowns.empty())
        for (int k = 0; k < kTeeth; ++k)
            crowns.push_back(qvtest::MakeOpenCrown(faces, k));
    return crowns;
}

void BM_GrowVirtualRoots(benchmark::State& state)
{
    const std::vector<QvMesh>& crowns = Crowns(static_cast<int>(state.range(0)));
    // Fdi numbers only keep the teeth apart; the frames point from crown to root (-z).
    const QvFrame frame(QvPoint(0.0, 0.0, 0.0), QvVector(1.0, 0.0, 0.0), QvVector(0.0, -1.0, 0.0));
    double added = 0.0;
    for (auto _ : state)
    {
        state.PauseTiming();
        QvModel model;
        for (int k = 0; k < kTeeth; ++k)
        {
            auto* tooth = new QvTooth();
            tooth->SetFdi(11 + 10 * (k / 7) + k % 7);
            tooth->CopyMeshData(crowns[static_cast<std::size_t>(k)]);
            tooth->SetFrame(frame);
            model.AddEntity(tooth);
        }
        state.ResumeTiming();
        GrowVirtualRoots(model);
        state.PauseTiming();
        added = 0.0;
        for (int k = 0; k < kTeeth; ++k)
        {
            const auto* tooth = static_cast<const QvTooth*>(model.m_teeth[static_cast<std::size_t>(k)]);
            if (!tooth->IsClosed())
                state.SkipWithError("a crown was left open");
            added += static_cast<double>(tooth->m_faces.size() - crowns[static_cast<std::size_t>(k)].m_faces.size());
        }
        state.ResumeTiming();
    }
    state.counters["per_crown"] = benchmark::Counter(static_cast<double>(state.iterations()) * kTeeth,
                                                    benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
    state.counters["added_faces"] = added / kTeeth;
}
BENCHMARK(BM_GrowVirtualRoots)->Arg(5000)->Arg(20000)->Unit(benchmark::kMillisecond);

SurfaceMesh ToSurfaceMesh(const QvMesh& mesh)
{
    SurfaceMesh out;
    std::vector<SurfaceMesh::Vertex_index> vertices;
    for (const QvVertex& v : mesh.m_vertices)
        vertices.push_back(out.add_vertex(Kernel::Point_3(v.m_point[0], v.m_point[1], v.m_point[2])));
    for (const QvFace& f : mesh.m_faces)
        out.add_face(vertices[f.m_vertices[0]], vertices[f.m_vertices[1]], vertices[f.m_vertices[2]]);
    return out;
}

void BM_CgalFairHolePeer(benchmark::State& state)
{
    const std::vector<QvMesh>& crowns = Crowns(static_cast<int>(state.range(0)));
    std::vector<SurfaceMesh> sources;
    for (const QvMesh& crown : crowns)
        sources.push_back(ToSurfaceMesh(crown));
    double added = 0.0;
    for (auto _ : state)
    {
        state.PauseTiming();
        std::vector<SurfaceMesh> meshes = sources;
        state.ResumeTiming();
        added = 0.0;
        for (SurfaceMesh& mesh : meshes)
        {
            SurfaceMesh::Halfedge_index border;
            for (const auto h : mesh.halfedges())
                if (mesh.is_border(h))
                {
                    border = h;
                    break;
                }
            std::vector<SurfaceMesh::Face_index> faces;
            std::vector<SurfaceMesh::Vertex_index> vertices;
            const auto result = CGAL::Polygon_mesh_processing::triangulate_refine_and_fair_hole(
                mesh, border, std::back_inserter(faces), std::back_inserter(vertices));
            if (!std::get<0>(result))
                state.SkipWithError("CGAL could not fair a hole");
            added += static_cast<double>(faces.size());
        }
    }
    state.counters["per_crown"] = benchmark::Counter(static_cast<double>(state.iterations()) * kTeeth,
                                                    benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
    state.counters["added_faces"] = added / kTeeth;
}
BENCHMARK(BM_CgalFairHolePeer)->Arg(5000)->Arg(20000)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
