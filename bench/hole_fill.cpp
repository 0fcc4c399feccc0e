// SPDX-License-Identifier: GPL-3.0-or-later
// Filling a 60-vertex and a 300-vertex hole cut from the occlusal side of a closed crown
// (MakeCrown(7), 131072 faces, about 10 x 9 x 8 mm): our minimum-cost corner cutting with
// refinement and fairing (second order with edge-length weights, third order with
// cotangent weights) against CGAL's Polygon_mesh_processing::triangulate_refine_and_fair_hole
// (default parameters: C1 fairing with cotangent weights, density factor sqrt 2) on the
// same hole. Each run starts from a copy of the holed crown, made outside the timing.
// Counters, from the last run: min_angle, the smallest angle of a patch triangle in
// degrees; dist_mean and dist_max, the distance in mm from the patch (its new vertices
// and face centroids) to the surface that was cut away; patch_faces; ok, the fill's result.
#include <benchmark/benchmark.h>

#include <CGAL/Exact_predicates_inexact_constructions_kernel.h>
#include <CGAL/Polygon_mesh_processing/self_intersections.h>
#include <CGAL/Polygon_mesh_processing/triangulate_hole.h>
#include <CGAL/Surface_mesh.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cmath>
#include <functional>
#include <map>
#include <set>
#include <utility>
#include <vector>

#include "core/mesh/QvFillHoleCommand.h"
#include "core/mesh/QvMesh.h"
#include "testing/MeshFixtures.h"
#include "testing/MeshRealTeeth.h"

namespace {

using Kernel = CGAL::Exact_predicates_inexact_constructions_kernel;
using SurfaceMesh = CGAL::Surface_mesh<Kernel::Point_3>;
namespace PMP = CGAL::Polygon_mesh_processing;

using Triangle = std::array<QvPoint, 3>;

QvPoint Centroid(const Triangle& t)
{
    QvPoint c = t[0];
    c += t[1];
    c += t[2];
    return c / 3.0;
}

Triangle TriangleOf(const QvMesh& mesh, int f)
{
    const std::int32_t* v = mesh.m_faces[f].m_vertices;
    return {mesh.m_vertices[v[0]].m_point, mesh.m_vertices[v[1]].m_point, mesh.m_vertices[v[2]].m_point};
}

// Closest point of a triangle to p (Ericson, Real-Time Collision Detection 5.1.5).
double PointTriangleDistance(const QvPoint& p, const Triangle& t)
{
    const QvPoint& a = t[0];
    const QvPoint& b = t[1];
    const QvPoint& c = t[2];
    const QvVector ab = b - a, ac = c - a, ap = p - a;
    const double d1 = ab.Dot(ap), d2 = ac.Dot(ap);
    if (d1 <= 0 && d2 <= 0)
        return p.Distance(a);
    const QvVector bp = p - b;
    const double d3 = ab.Dot(bp), d4 = ac.Dot(bp);
    if (d3 >= 0 && d4 <= d3)
        return p.Distance(b);
    const double vc = d1 * d4 - d3 * d2;
    if (vc <= 0 && d1 >= 0 && d3 <= 0)
        return p.Distance(a + ab * (d1 / (d1 - d3)));
    const QvVector cp = p - c;
    const double d5 = ab.Dot(cp), d6 = ac.Dot(cp);
    if (d6 >= 0 && d5 <= d6)
        return p.Distance(c);
    const double vb = d5 * d2 - d1 * d6;
    if (vb <= 0 && d2 >= 0 && d6 <= 0)
        return p.Distance(a + ac * (d2 / (d2 - d6)));
    const double va = d3 * d6 - d5 * d4;
    if (va <= 0 && (d4 - d3) >= 0 && (d5 - d6) >= 0)
        return p.Distance(b + (c - b) * ((d4 - d3) / ((d4 - d3) + (d5 - d6))));
    const double denom = 1.0 / (va + vb + vc);
    return p.Distance(a + ab * (vb * denom) + ac * (vc * denom));
}

double MinAngleDegrees(const Triangle& t)
{
    double smallest = 180.0;
    for (int k = 0; k < 3; ++k)
    {
        const QvVector u = t[(k + 1) % 3] - t[k];
        const QvVector v = t[(k + 2) % 3] - t[k];
        smallest = std::min(smallest, u.Angle(v) * 180.0 / 3.14159265358979323846);
    }
    return smallest;
}

struct Hole
{
    QvMesh mesh;                   // the crown with the hole
    std::vector<int> loop;         // its boundary
    std::vector<Triangle> removed; // the surface cut away
    SurfaceMesh cgal;              // the same holed crown for CGAL
};

const Hole& TheHole(int size)
{
    static std::map<int, Hole> holes;
    auto found = holes.find(size);
    if (found != holes.end())
        return found->second;
    Hole& hole = holes[size];
    hole.mesh = qvtest::MakeCrown(7);
    if (!qvtest::PunchHole(hole.mesh, QvVector(0.0, 0.0, 1.0), size, hole.removed))
        return hole;
    std::vector<std::vector<int>> loops;
    hole.mesh.GetBoundaryLoops(loops);
    if (loops.size() == 1)
        hole.loop = loops[0];
    std::vector<SurfaceMesh::Vertex_index> vertices;
    for (const QvVertex& v : hole.mesh.m_vertices)
        vertices.push_back(hole.cgal.add_vertex(Kernel::Point_3(v.m_point[0], v.m_point[1], v.m_point[2])));
    for (const QvFace& f : hole.mesh.m_faces)
        hole.cgal.add_face(vertices[f.m_vertices[0]], vertices[f.m_vertices[1]], vertices[f.m_vertices[2]]);
    return hole;
}

struct Quality
{
    double minAngle = 180.0;
    double distSum = 0.0;
    double distMax = 0.0;
    int samples = 0;
};

void Sample(Quality& q, const QvPoint& p, const std::vector<Triangle>& removed)
{
    double d = 1e300;
    for (const Triangle& t : removed)
        d = std::min(d, PointTriangleDistance(p, t));
    q.distSum += d;
    q.distMax = std::max(q.distMax, d);
    ++q.samples;
}

void Report(benchmark::State& state, const Quality& q, std::size_t faces, bool ok)
{
    state.counters["min_angle"] = q.minAngle;
    state.counters["dist_mean"] = q.samples > 0 ? q.distSum / q.samples : 0.0;
    state.counters["dist_max"] = q.distMax;
    state.counters["patch_faces"] = static_cast<double>(faces);
    state.counters["ok"] = ok ? 1.0 : 0.0;
}

void BM_Ours(benchmark::State& state, int size, int order)
{
    const Hole& hole = TheHole(size);
    if (hole.loop.size() != static_cast<std::size_t>(size))
    {
        state.SkipWithError("no hole of that size");
        return;
    }
    QvMesh mesh;
    bool ok = false;
    std::set<int> created;
    for (auto _ : state)
    {
        state.PauseTiming();
        mesh = hole.mesh;
        created.clear();
        state.ResumeTiming();
        QvFillHoleCommand command(&mesh);
        ok = command.FillLoopFaired(hole.loop, true, order, &created);
        benchmark::DoNotOptimize(ok);
    }
    Quality q;
    const std::size_t first = hole.mesh.m_faces.size();
    for (std::size_t f = first; f < mesh.m_faces.size(); ++f)
    {
        const Triangle t = TriangleOf(mesh, static_cast<int>(f));
        q.minAngle = std::min(q.minAngle, MinAngleDegrees(t));
        Sample(q, Centroid(t), hole.removed);
    }
    for (std::size_t v = hole.mesh.m_vertices.size(); v < mesh.m_vertices.size(); ++v)
        Sample(q, mesh.m_vertices[v].m_point, hole.removed);
    Report(state, q, mesh.m_faces.size() - first, ok);
}

void BM_Cgal(benchmark::State& state, int size)
{
    const Hole& hole = TheHole(size);
    if (hole.loop.size() != static_cast<std::size_t>(size))
    {
        state.SkipWithError("no hole of that size");
        return;
    }
    SurfaceMesh mesh;
    bool ok = false;
    std::vector<SurfaceMesh::Face_index> faces;
    std::vector<SurfaceMesh::Vertex_index> vertices;
    for (auto _ : state)
    {
        state.PauseTiming();
        mesh = hole.cgal;
        faces.clear();
        vertices.clear();
        SurfaceMesh::Halfedge_index border;
        for (const auto h : mesh.halfedges())
            if (mesh.is_border(h))
            {
                border = h;
                break;
            }
        state.ResumeTiming();
        ok = std::get<0>(PMP::triangulate_refine_and_fair_hole(mesh, border, std::back_inserter(faces),
                                                               std::back_inserter(vertices)));
        benchmark::DoNotOptimize(ok);
    }
    const auto at = [&mesh](SurfaceMesh::Vertex_index v) {
        const Kernel::Point_3& p = mesh.point(v);
        return QvPoint(p.x(), p.y(), p.z());
    };
    Quality q;
    for (const auto f : faces)
    {
        Triangle t;
        int k = 0;
        for (const auto v : CGAL::vertices_around_face(mesh.halfedge(f), mesh))
            t[k++] = at(v);
        q.minAngle = std::min(q.minAngle, MinAngleDegrees(t));
        Sample(q, Centroid(t), hole.removed);
    }
    for (const auto v : vertices)
        Sample(q, at(v), hole.removed);
    Report(state, q, faces.size(), ok);
}

// ---- Real teeth: every hole cut at the gum line, across the cusps, along a scalloped,
// noisy rim and across noisy cusps (testing/MeshRealTeeth), every strategy and CGAL's fills over the whole set
// per iteration. Counters: closed, holes filled; crossing, fills whose patch crosses
// itself or the surface (CGAL's exact self-intersection test, pairs with a patch face);
// min_angle, the smallest patch angle; dist_max, the largest distance from a patch
// vertex or face centroid to the surface cut away; ms_max, the slowest single hole.

struct RealHole
{
    qvtest::QvRealHole hole;
    std::vector<Triangle> removed;
    SurfaceMesh cgal;
    SurfaceMesh::Halfedge_index border;
};

const std::vector<RealHole>& RealHoles()
{
    static const std::vector<RealHole> holes = [] {
        std::vector<RealHole> all;
        for (const int number : qvtest::RealToothNumbers())
            for (const qvtest::QvRealCut cut : {qvtest::QvRealCut::GumLine, qvtest::QvRealCut::Cusps,
                                                qvtest::QvRealCut::Scalloped, qvtest::QvRealCut::NoisyCusps})
                for (qvtest::QvRealHole& h : qvtest::CutRealTooth(number, cut))
                {
                    RealHole r;
                    r.hole = std::move(h);
                    for (int f = 0; f < static_cast<int>(r.hole.removed.m_faces.size()); ++f)
                        r.removed.push_back(TriangleOf(r.hole.removed, f));
                    std::vector<SurfaceMesh::Vertex_index> vs;
                    for (const QvVertex& v : r.hole.mesh.m_vertices)
                        vs.push_back(r.cgal.add_vertex(Kernel::Point_3(v.m_point[0], v.m_point[1], v.m_point[2])));
                    for (const QvFace& f : r.hole.mesh.m_faces)
                        r.cgal.add_face(vs[f.m_vertices[0]], vs[f.m_vertices[1]], vs[f.m_vertices[2]]);
                    // The border halfedge on the hole's first side.
                    const auto h0 = r.cgal.halfedge(vs[r.hole.loop[0]], vs[r.hole.loop[1]]);
                    const auto h1 = r.cgal.halfedge(vs[r.hole.loop[1]], vs[r.hole.loop[0]]);
                    r.border = r.cgal.is_border(h0) ? h0 : h1;
                    all.push_back(std::move(r));
                }
        return all;
    }();
    return holes;
}

// Pairs of intersecting faces with at least one of them in the patch.
int Crossings(const SurfaceMesh& mesh, const std::set<SurfaceMesh::Face_index>& patch)
{
    std::vector<std::pair<SurfaceMesh::Face_index, SurfaceMesh::Face_index>> pairs;
    PMP::self_intersections(mesh, std::back_inserter(pairs));
    int count = 0;
    for (const auto& [a, b] : pairs)
        count += patch.count(a) != 0 || patch.count(b) != 0 ? 1 : 0;
    return count;
}

SurfaceMesh ToCgal(const QvMesh& mesh)
{
    SurfaceMesh sm;
    std::vector<SurfaceMesh::Vertex_index> vs;
    for (const QvVertex& v : mesh.m_vertices)
        vs.push_back(sm.add_vertex(Kernel::Point_3(v.m_point[0], v.m_point[1], v.m_point[2])));
    for (const QvFace& f : mesh.m_faces)
        sm.add_face(vs[f.m_vertices[0]], vs[f.m_vertices[1]], vs[f.m_vertices[2]]);
    return sm;
}

struct RealTally
{
    int closed = 0;
    int crossing = 0;
    double msMax = 0.0;
    Quality quality;
};

void ReportReal(benchmark::State& state, const RealTally& t)
{
    state.counters["holes"] = static_cast<double>(RealHoles().size());
    state.counters["closed"] = t.closed;
    state.counters["crossing"] = t.crossing;
    state.counters["min_angle"] = t.quality.minAngle;
    state.counters["dist_max"] = t.quality.distMax;
    state.counters["ms_max"] = t.msMax;
}

using OurFill = bool (*)(QvFillHoleCommand&, const std::vector<int>&);

void BM_RealOurs(benchmark::State& state, OurFill fill)
{
    if (RealHoles().empty())
    {
        state.SkipWithError("the real teeth are not on this machine");
        return;
    }
    RealTally tally;
    std::vector<QvMesh> results(RealHoles().size());
    std::vector<char> ok(RealHoles().size(), 0);
    std::vector<double> ms(RealHoles().size(), 0.0);
    for (auto _ : state)
    {
        for (std::size_t i = 0; i < RealHoles().size(); ++i)
        {
            state.PauseTiming();
            results[i] = RealHoles()[i].hole.mesh;
            state.ResumeTiming();
            const auto start = std::chrono::steady_clock::now();
            QvFillHoleCommand command(&results[i]);
            ok[i] = fill(command, RealHoles()[i].hole.loop) ? 1 : 0;
            ms[i] = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
        }
    }
    for (std::size_t i = 0; i < RealHoles().size(); ++i)
    {
        tally.msMax = std::max(tally.msMax, ms[i]);
        const QvMesh& before = RealHoles()[i].hole.mesh;
        const QvMesh& mesh = results[i];
        if (!ok[i] || mesh.m_faces.size() == before.m_faces.size())
            continue;
        ++tally.closed;
        std::set<SurfaceMesh::Face_index> patch;
        for (std::size_t f = before.m_faces.size(); f < mesh.m_faces.size(); ++f)
        {
            patch.insert(SurfaceMesh::Face_index(static_cast<SurfaceMesh::size_type>(f)));
            const Triangle t = TriangleOf(mesh, static_cast<int>(f));
            tally.quality.minAngle = std::min(tally.quality.minAngle, MinAngleDegrees(t));
            Sample(tally.quality, Centroid(t), RealHoles()[i].removed);
        }
        for (std::size_t v = before.m_vertices.size(); v < mesh.m_vertices.size(); ++v)
            Sample(tally.quality, mesh.m_vertices[v].m_point, RealHoles()[i].removed);
        tally.crossing += Crossings(ToCgal(mesh), patch) > 0 ? 1 : 0;
    }
    ReportReal(state, tally);
}

void BM_RealCgal(benchmark::State& state, bool refineAndFair)
{
    if (RealHoles().empty())
    {
        state.SkipWithError("the real teeth are not on this machine");
        return;
    }
    RealTally tally;
    std::vector<SurfaceMesh> results(RealHoles().size());
    std::vector<std::vector<SurfaceMesh::Face_index>> faces(RealHoles().size());
    std::vector<std::vector<SurfaceMesh::Vertex_index>> vertices(RealHoles().size());
    std::vector<double> ms(RealHoles().size(), 0.0);
    std::vector<char> ok(RealHoles().size(), 0);
    for (auto _ : state)
    {
        for (std::size_t i = 0; i < RealHoles().size(); ++i)
        {
            state.PauseTiming();
            results[i] = RealHoles()[i].cgal;
            faces[i].clear();
            vertices[i].clear();
            state.ResumeTiming();
            const auto start = std::chrono::steady_clock::now();
            if (refineAndFair)
                ok[i] = std::get<0>(PMP::triangulate_refine_and_fair_hole(results[i], RealHoles()[i].border,
                                                                         std::back_inserter(faces[i]),
                                                                         std::back_inserter(vertices[i])))
                            ? 1
                            : 0;
            else
            {
                PMP::triangulate_hole(results[i], RealHoles()[i].border, std::back_inserter(faces[i]));
                ok[i] = faces[i].empty() ? 0 : 1;
            }
            ms[i] = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
        }
    }
    for (std::size_t i = 0; i < RealHoles().size(); ++i)
    {
        tally.msMax = std::max(tally.msMax, ms[i]);
        if (!ok[i])
            continue;
        ++tally.closed;
        const SurfaceMesh& mesh = results[i];
        const auto at = [&mesh](SurfaceMesh::Vertex_index v) {
            const Kernel::Point_3& p = mesh.point(v);
            return QvPoint(p.x(), p.y(), p.z());
        };
        for (const auto f : faces[i])
        {
            Triangle t;
            int k = 0;
            for (const auto v : CGAL::vertices_around_face(mesh.halfedge(f), mesh))
                t[k++] = at(v);
            tally.quality.minAngle = std::min(tally.quality.minAngle, MinAngleDegrees(t));
            Sample(tally.quality, Centroid(t), RealHoles()[i].removed);
        }
        for (const auto v : vertices[i])
            Sample(tally.quality, at(v), RealHoles()[i].removed);
        tally.crossing += Crossings(mesh, {faces[i].begin(), faces[i].end()}) > 0 ? 1 : 0;
    }
    ReportReal(state, tally);
}

bool FillFront(QvFillHoleCommand& c, const std::vector<int>& l) { return c.FillLoop(l, 0) > 0; }
bool FillPlanar(QvFillHoleCommand& c, const std::vector<int>& l) { return c.FillLoopPlanar(l, 0); }
bool FillRefined(QvFillHoleCommand& c, const std::vector<int>& l) { return c.FillLoopRefined(l, 0); }
bool FillSmooth(QvFillHoleCommand& c, const std::vector<int>& l) { return c.FillLoopSmooth(l, 0); }
bool FillMinCost(QvFillHoleCommand& c, const std::vector<int>& l) { return c.FillLoopFaired(l, false, -1, nullptr); }
bool FillFaired0(QvFillHoleCommand& c, const std::vector<int>& l) { return c.FillLoopFaired(l, true, 0, nullptr); }
bool FillFaired1(QvFillHoleCommand& c, const std::vector<int>& l) { return c.FillLoopFaired(l, true, 1, nullptr); }
bool FillFaired2(QvFillHoleCommand& c, const std::vector<int>& l) { return c.FillLoopFaired(l, true, 2, nullptr); }

BENCHMARK_CAPTURE(BM_RealOurs, real_front, FillFront)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK_CAPTURE(BM_RealOurs, real_planar, FillPlanar)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK_CAPTURE(BM_RealOurs, real_refined, FillRefined)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK_CAPTURE(BM_RealOurs, real_mincost, FillMinCost)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK_CAPTURE(BM_RealOurs, real_faired0, FillFaired0)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK_CAPTURE(BM_RealOurs, real_faired1, FillFaired1)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK_CAPTURE(BM_RealOurs, real_faired2, FillFaired2)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK_CAPTURE(BM_RealOurs, real_smooth, FillSmooth)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK_CAPTURE(BM_RealCgal, real_cgal_fill, false)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK_CAPTURE(BM_RealCgal, real_cgal_refine_and_fair, true)->Unit(benchmark::kMillisecond)->Iterations(1);

BENCHMARK_CAPTURE(BM_Ours, hole60_order1_edgeLength, 60, 1)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Ours, hole60_order2_cotangent, 60, 2)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Cgal, hole60, 60)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Ours, hole300_order1_edgeLength, 300, 1)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Ours, hole300_order2_cotangent, 300, 2)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Cgal, hole300, 300)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
