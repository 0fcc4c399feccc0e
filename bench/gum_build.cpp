// SPDX-License-Identifier: GPL-3.0-or-later
// The gum of one jaw at one step of the demo case at 5k and 20k faces per crown, by
// stage (ordering and mean edge, base plane, tooth records, surface); the whole
// 30-step demo both jaws as a case open builds it, one after another and four at a time,
// and through the scheme as the case document does;
// and the final smoothing of the gum beside OpenMesh's JacobiLaplaceSmootherT on the
// same gum mesh (CGAL's fair is in mesh_fairing.cpp). Goal: under 30 ms per jaw and
// step at 5k. The second builder (plain and tooth-frame base) runs beside the first on the
// same jaw and step.
#include <benchmark/benchmark.h>

#include <OpenMesh/Core/Mesh/TriMesh_ArrayKernelT.hh>
#include <OpenMesh/Tools/Smoother/JacobiLaplaceSmootherT.hh>

#include <atomic>
#include <chrono>
#include <map>
#include <memory>
#include <set>
#include <thread>

#include "bench/BenchMain.h"
#include "core/gum/QvCreateGumCommand.h"
#include "core/gum/QvCreateGumCommandOld.h"
#include "core/mesh/QvMesh.h"
#include "core/model/QvJaw.h"
#include "core/model/QvModel.h"
#include "core/scheme/QvScheme.h"
#include "testing/DemoCase.h"

namespace {

using Clock = std::chrono::steady_clock;

qvtest::DemoCase& Demo(int faces)
{
    static std::map<int, std::unique_ptr<qvtest::DemoCase>> cases;
    auto& slot = cases[faces];
    if (!slot)
    {
        slot = std::make_unique<qvtest::DemoCase>();
        qvtest::DemoOptions options;
        options.dentition.facesPerTooth = faces;
        if (!qvtest::BuildDemoCase(*slot, options))
            std::abort();
        for (const bool upper : {true, false})
            slot->scheme->GetGumMgr().SetGumFrame(slot->model->GetJaw(upper)->m_frame, upper);
    }
    return *slot;
}

QvFrame FrameAt(QvScheme& scheme, int step, bool upper)
{
    QvFrame frame = scheme.GetGumMgr().GetGumFrame(upper);
    if (!upper)
        frame.Transform(scheme.m_stepLists[static_cast<std::size_t>(step)]->m_jawMatrix);
    return frame;
}

double Seconds(Clock::time_point a, Clock::time_point b) { return std::chrono::duration<double>(b - a).count(); }

// Time of the four stages of one gum build, summed over the iterations.
struct GumStages
{
    double order = 0, plane = 0, records = 0, surface = 0;
    std::size_t faces = 0;

    void Add(const Clock::time_point (&t)[5], const QvMesh& gum)
    {
        order += Seconds(t[0], t[1]);
        plane += Seconds(t[1], t[2]);
        records += Seconds(t[2], t[3]);
        surface += Seconds(t[3], t[4]);
        faces = gum.m_faces.size();
    }

    void Report(benchmark::State& state) const
    {
        const double n = static_cast<double>(state.iterations());
        state.counters["order_ms"] = 1e3 * order / n;
        state.counters["plane_ms"] = 1e3 * plane / n;
        state.counters["records_ms"] = 1e3 * records / n;
        state.counters["surface_ms"] = 1e3 * surface / n;
        state.counters["gum_faces"] = static_cast<double>(faces);
    }
};

void BM_GumOneJawStep(benchmark::State& state)
{
    qvtest::DemoCase& demo = Demo(static_cast<int>(state.range(0)));
    QvScheme& scheme = *demo.scheme;
    std::map<QvToothBase*, QvMatrix*> teeth;
    scheme.BuildGumTeeth(15, false, teeth);
    const QvFrame frame = FrameAt(scheme, 15, false);
    GumStages stages;
    for (auto _ : state)
    {
        Clock::time_point t[5];
        t[0] = Clock::now();
        QvCreateGumCommandOld command(frame, teeth);
        t[1] = Clock::now();
        command.BuildBasePlane();
        t[2] = Clock::now();
        if (!command.BuildToothInfos())
            state.SkipWithError("records");
        t[3] = Clock::now();
        command.m_pGumMesh = new QvMesh();
        command.m_pGumMesh->Reserve(15000, 30000, 45000);
        if (!command.BuildGumSurface())
            state.SkipWithError("surface");
        command.m_pGumMesh->UpdateFaceNormals();
        t[4] = Clock::now();
        stages.Add(t, *command.m_pGumMesh);
    }
    stages.Report(state);
    for (auto& e : teeth)
        delete e.second;
}
BENCHMARK(BM_GumOneJawStep)->Arg(5000)->Arg(20000)->Unit(benchmark::kMillisecond);

// The second builder on the same jaw and step, by stage; range(1) 1 lays the base by the
// tooth frames.
void BM_GumSecondBuilderOneJawStep(benchmark::State& state)
{
    qvtest::DemoCase& demo = Demo(static_cast<int>(state.range(0)));
    QvScheme& scheme = *demo.scheme;
    std::map<QvToothBase*, QvMatrix*> teeth;
    scheme.BuildGumTeeth(15, false, teeth);
    const QvFrame frame = FrameAt(scheme, 15, false);
    GumStages stages;
    for (auto _ : state)
    {
        Clock::time_point t[5];
        t[0] = Clock::now();
        QvCreateGumCommand command(nullptr, frame, teeth);
        t[1] = Clock::now();
        if (state.range(1))
            command.FitBasePlaneByToothFrames();
        else
            command.FitBasePlane();
        t[2] = Clock::now();
        if (!command.BuildToothRecords())
            state.SkipWithError("records");
        t[3] = Clock::now();
        command.m_pGumMesh = new QvMesh();
        command.m_pGumMesh->Reserve(15000, 30000, 45000);
        std::vector<std::vector<int>> face0, face1;
        std::vector<int> base;
        if (!command.BuildInterdentalStrips(face0, face1) || !command.BuildGumWall(face0, face1, base) ||
            !command.CloseGumBase(base))
            state.SkipWithError("surface");
        command.m_pGumMesh->UpdateFaceNormals();
        t[4] = Clock::now();
        stages.Add(t, *command.m_pGumMesh);
    }
    stages.Report(state);
    for (auto& e : teeth)
        delete e.second;
}
BENCHMARK(BM_GumSecondBuilderOneJawStep)
    ->Args({5000, 0})
    ->Args({5000, 1})
    ->Args({20000, 0})
    ->Unit(benchmark::kMillisecond);

// Every step, both jaws, as opening the case builds them; threads 1 or 4.
void BM_GumDemoCase(benchmark::State& state)
{
    qvtest::DemoCase& demo = Demo(5000);
    QvScheme& scheme = *demo.scheme;
    const int steps = scheme.GetStepCount();
    const int threads = static_cast<int>(state.range(0));
    for (auto _ : state)
    {
        std::atomic<int> next{0};
        std::atomic<int> built{0};
        auto work = [&] {
            for (int k = next++; k < 2 * steps; k = next++)
            {
                std::map<QvToothBase*, QvMatrix*> teeth;
                scheme.BuildGumTeeth(k / 2, k % 2 == 0, teeth);
                QvCreateGumCommandOld command(FrameAt(scheme, k / 2, k % 2 == 0), teeth);
                command.SetCapToothRings(false);
                command.SetStitchBorder(false);
                if (command.Execute())
                    ++built;
                for (auto& e : teeth)
                    delete e.second;
            }
        };
        std::vector<std::thread> pool;
        for (int t = 1; t < threads; ++t)
            pool.emplace_back(work);
        work();
        for (std::thread& t : pool)
            t.join();
        state.counters["gums"] = built.load();
    }
}
BENCHMARK(BM_GumDemoCase)->Arg(1)->Arg(4)->Unit(benchmark::kMillisecond)->UseRealTime();

// The same through the scheme, as the case document calls it: jobs side by side on every
// hardware thread, the mean edge length shared by a jaw's steps.
void BM_GumSchemeCreate(benchmark::State& state)
{
    QvScheme& scheme = *Demo(static_cast<int>(state.range(0))).scheme;
    std::size_t gums = 0;
    for (auto _ : state)
    {
        state.PauseTiming();
        scheme.GetGumMgr().Clear();
        state.ResumeTiming();
        if (!scheme.CreateGums(true, -1))
            state.SkipWithError("no gums");
        gums = scheme.GetGumMgr().m_entries.size();
    }
    scheme.GetGumMgr().Clear();
    state.counters["steps"] = static_cast<double>(gums);
}
BENCHMARK(BM_GumSchemeCreate)->Arg(5000)->Arg(20000)->Unit(benchmark::kMillisecond)->UseRealTime();

// The gum mesh of one jaw and step, once.
std::unique_ptr<QvMesh> OneGum()
{
    qvtest::DemoCase& demo = Demo(5000);
    std::map<QvToothBase*, QvMatrix*> teeth;
    demo.scheme->BuildGumTeeth(15, true, teeth);
    QvCreateGumCommandOld command(FrameAt(*demo.scheme, 15, true), teeth);
    command.SetCapToothRings(false);
    command.SetStitchBorder(false);
    if (!command.Execute())
        std::abort();
    auto mesh = std::make_unique<QvMesh>();
    mesh->CopyMeshData(*command.m_pGumMesh);
    for (auto& e : teeth)
        delete e.second;
    return mesh;
}

void BM_GumSmoothOurs(benchmark::State& state)
{
    const std::unique_ptr<QvMesh> gum = OneGum();
    std::set<int> fixed;
    std::vector<std::vector<int>> loops;
    gum->GetBoundaryLoops(loops);
    for (const auto& loop : loops)
        fixed.insert(loop.begin(), loop.end());
    for (auto _ : state)
    {
        QvMesh mesh(*gum);
        QvCreateGumCommandOld::SmoothFreeVertices(&mesh, fixed, static_cast<int>(state.range(0)), 1.0);
        benchmark::DoNotOptimize(mesh.m_vertices.data());
    }
    state.counters["vertices"] = static_cast<double>(gum->m_vertices.size());
}
BENCHMARK(BM_GumSmoothOurs)->Arg(1)->Arg(10)->Unit(benchmark::kMillisecond);

void BM_GumSmoothOpenMesh(benchmark::State& state)
{
    using Mesh = OpenMesh::TriMesh_ArrayKernelT<>;
    const std::unique_ptr<QvMesh> gum = OneGum();
    Mesh base;
    std::vector<Mesh::VertexHandle> handles;
    for (const QvVertex& v : gum->m_vertices)
        handles.push_back(base.add_vertex(Mesh::Point(static_cast<float>(v.m_point[0]), static_cast<float>(v.m_point[1]),
                                                      static_cast<float>(v.m_point[2]))));
    for (const QvFace& f : gum->m_faces)
        base.add_face(handles[static_cast<std::size_t>(f.m_vertices[0])], handles[static_cast<std::size_t>(f.m_vertices[1])],
                      handles[static_cast<std::size_t>(f.m_vertices[2])]);
    for (auto _ : state)
    {
        Mesh mesh = base;
        mesh.request_vertex_status();
        mesh.request_face_normals();
        mesh.request_vertex_normals();
        OpenMesh::Smoother::JacobiLaplaceSmootherT<Mesh> smoother(mesh);
        smoother.initialize(OpenMesh::Smoother::SmootherT<Mesh>::Tangential_and_Normal,
                            OpenMesh::Smoother::SmootherT<Mesh>::C0);
        smoother.smooth(static_cast<unsigned int>(state.range(0)));
        benchmark::DoNotOptimize(mesh.points());
    }
    state.counters["vertices"] = static_cast<double>(base.n_vertices());
}
BENCHMARK(BM_GumSmoothOpenMesh)->Arg(1)->Arg(10)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) { return benchmain::RunWithKeptHeap(argc, argv); }
