// SPDX-License-Identifier: GPL-3.0-or-later
// The pipe-line tube: a circle of radius 0.05 swept, uncapped, along a 60 mm arch wire at
// the finest step (0.002), as the renderer's auxiliary object builds it. The wire is the
// interpolating cubic through 14 points of a parabolic arch (11 spans) or through 121
// points of the same arch (118 spans); the knot spans, not the step, bound the ring count.
// The coarser steps of the other modes (0.05, 0.01) are listed beside it. There is no
// sweep in the peer libraries, so no peer runs here. Counters: rings, vertices, faces.
#include <benchmark/benchmark.h>

#include <cmath>
#include <memory>
#include <vector>

#include "bench/BenchMain.h"
#include "core/geometry/QvBSplineCurve.h"
#include "core/geometry/QvCircle.h"
#include "core/mesh/QvCreateSweepMeshCommand.h"
#include "core/mesh/QvMesh.h"

namespace {

constexpr double kWireLength = 60.0;

// A parabolic arch y = 0.02 x^2 through `points` points, scaled to be 60 mm long.
std::unique_ptr<QvBSplineCurve> MakeWire(int points)
{
    std::vector<QvPoint> pts;
    for (int i = 0; i < points; ++i)
    {
        const double x = -22.0 + 44.0 * i / (points - 1);
        pts.emplace_back(x, 0.02 * x * x, 0.0);
    }
    std::unique_ptr<QvBSplineCurve> wire(QvBSplineCurve::Interpolate(pts, false));
    const double scale = kWireLength / wire->ArcLength(true, 0.0, 1.0);
    for (QvPoint& p : pts)
        p = QvPoint(p[0] * scale, p[1] * scale, p[2] * scale);
    wire.reset(QvBSplineCurve::Interpolate(pts, false));
    return wire;
}

void BM_PipeLineSweep(benchmark::State& state)
{
    const int points = static_cast<int>(state.range(0));
    const double step = static_cast<double>(state.range(1)) * 1e-3;
    const auto wire = MakeWire(points);
    QvCircle circle(QvPoint(0, 0, 0), 0.05, QvVector(0, 0, 1));
    std::size_t vertices = 0;
    std::size_t faces = 0;
    for (auto _ : state)
    {
        QvCreateSweepMeshCommand cmd(wire.get(), &circle, step);
        if (!cmd.Execute())
        {
            state.SkipWithError("sweep failed");
            break;
        }
        std::unique_ptr<QvMesh> tube(cmd.GetMesh());
        vertices = tube->m_vertices.size();
        faces = tube->m_faces.size();
        benchmark::DoNotOptimize(tube->m_faces.data());
    }
    state.counters["length_mm"] = wire->ArcLength(true, 0.0, 1.0);
    state.counters["rings"] = static_cast<double>(vertices / 20);
    state.counters["vertices"] = static_cast<double>(vertices);
    state.counters["faces"] = static_cast<double>(faces);
}

} // namespace

// Args: points through which the wire is interpolated, step in micrometres.
BENCHMARK(BM_PipeLineSweep)
    ->ArgNames({"wire_points", "step_um"})
    ->Args({14, 2})
    ->Args({121, 2})
    ->Args({14, 10})
    ->Args({14, 50})
    ->Unit(benchmark::kMicrosecond);

int main(int argc, char** argv)
{
    // glibc hands freed heap back to the system until a large block has been freed, so
    // without this the first sweeps of the process pay page faults for every mesh and
    // measured five times slower than the same sweep run later.
    return benchmain::RunWithKeptHeap(argc, argv);
}
