// SPDX-License-Identifier: GPL-3.0-or-later
// Reading a 100k-vertex mesh in each stored form, writing it, and building a mesh
// face by face; OpenMesh (halfedge TriMesh, its binary .om form and binary STL)
// side by side on the same mesh.
#include <benchmark/benchmark.h>

#include <array>
#include <cstring>
#include <fstream>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include <OpenMesh/Core/IO/MeshIO.hh>
#include <OpenMesh/Core/Mesh/TriMesh_ArrayKernelT.hh>
#include <OpenMesh/Core/System/omstream.hh>

#include "core/mesh/QvMesh.h"

namespace {

using OmMesh = OpenMesh::TriMesh_ArrayKernelT<>;

constexpr int kNx = 316, kNy = 317; // 100172 vertices, 199500 faces

struct Source
{
    std::vector<QvPoint> points;
    std::vector<std::array<int, 3>> faces;
};

const Source& Grid()
{
    static const Source source = [] {
        Source s;
        for (int j = 0; j < kNy; ++j)
            for (int i = 0; i < kNx; ++i)
                s.points.emplace_back(i * 0.1, j * 0.1, 0.01 * ((i * 7 + j * 3) % 11));
        for (int j = 0; j + 1 < kNy; ++j)
            for (int i = 0; i + 1 < kNx; ++i)
            {
                const int v00 = j * kNx + i, v10 = v00 + 1, v01 = v00 + kNx, v11 = v01 + 1;
                s.faces.push_back({v00, v10, v01});
                s.faces.push_back({v10, v11, v01});
            }
        return s;
    }();
    return source;
}

const QvMesh& RivelaMesh()
{
    static const QvMesh mesh = [] {
        QvMesh m;
        const Source& s = Grid();
        m.Reserve(static_cast<int>(s.points.size()), static_cast<int>(s.faces.size()),
                  static_cast<int>(s.faces.size() * 3 / 2 + s.points.size()));
        for (const QvPoint& p : s.points)
            m.AddVertex(p);
        for (const auto& f : s.faces)
            (void)m.AddFace(f[0], f[1], f[2], 0);
        m.UpdateFaceNormals();
        return m;
    }();
    return mesh;
}

const OmMesh& OpenMeshMesh()
{
    static const OmMesh mesh = [] {
        OmMesh m;
        const Source& s = Grid();
        std::vector<OmMesh::VertexHandle> handles;
        for (const QvPoint& p : s.points)
            handles.push_back(m.add_vertex(OmMesh::Point(static_cast<float>(p[0]), static_cast<float>(p[1]),
                                                         static_cast<float>(p[2]))));
        for (const auto& f : s.faces)
            m.add_face(handles[f[0]], handles[f[1]], handles[f[2]]);
        return m;
    }();
    return mesh;
}

std::string Bytes(void (*write)(std::ostream&))
{
    std::ostringstream os(std::ios::binary);
    write(os);
    return os.str();
}

const std::string& TextBytes()
{
    static const std::string b = Bytes([](std::ostream& os) { RivelaMesh().Write(os, 0); });
    return b;
}
const std::string& CompactBytes()
{
    static const std::string b = Bytes([](std::ostream& os) { RivelaMesh().WriteCompact(os, 0); });
    return b;
}
const std::string& StlBytes()
{
    static const std::string b = [] {
        const std::string path = (std::filesystem::temp_directory_path() / "rivela_bench_mesh_io.stl").string();
        if (!RivelaMesh().WriteSTL(path))
            return std::string();
        std::ifstream in(path, std::ios::binary);
        std::string bytes((std::istreambuf_iterator<char>(in)), {});
        std::filesystem::remove(path);
        return bytes;
    }();
    return b;
}
const std::string& OmBytes()
{
    static const std::string b = [] {
        std::ostringstream os(std::ios::binary);
        OpenMesh::IO::write_mesh(OpenMeshMesh(), os, ".om", OpenMesh::IO::Options::Binary);
        return os.str();
    }();
    return b;
}

void Counters(benchmark::State& state, std::size_t bytes)
{
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * bytes));
    state.counters["vertices"] = static_cast<double>(Grid().points.size());
    state.counters["faces"] = static_cast<double>(Grid().faces.size());
}

// ---- Reading -------------------------------------------------------------------------

void BM_Rivela_ReadText(benchmark::State& state)
{
    const std::string& bytes = TextBytes();
    for (auto _ : state)
    {
        std::istringstream is(bytes, std::ios::binary);
        QvMesh mesh;
        if (!mesh.Read(is, 0, nullptr))
            state.SkipWithError("read failed");
        benchmark::DoNotOptimize(mesh.m_faces.data());
    }
    Counters(state, bytes.size());
}

void BM_Rivela_ReadCompact(benchmark::State& state)
{
    const std::string& bytes = CompactBytes();
    for (auto _ : state)
    {
        std::istringstream is(bytes, std::ios::binary);
        QvMesh mesh;
        if (!mesh.ReadCompact(is, 0, nullptr))
            state.SkipWithError("read failed");
        benchmark::DoNotOptimize(mesh.m_faces.data());
    }
    Counters(state, bytes.size());
}

// STL has no mesh reader of its own: the corners go through the welding build.
void BM_Rivela_ReadStlSoup(benchmark::State& state)
{
    const std::string& bytes = StlBytes();
    for (auto _ : state)
    {
        std::uint32_t count = 0;
        std::memcpy(&count, bytes.data() + 80, 4);
        std::vector<QvPoint> corners;
        corners.reserve(count * 3u);
        const char* p = bytes.data() + 84;
        for (std::uint32_t f = 0; f < count; ++f, p += 50)
            for (int c = 0; c < 3; ++c)
            {
                float xyz[3];
                std::memcpy(xyz, p + 12 + 12 * c, 12);
                corners.emplace_back(xyz[0], xyz[1], xyz[2]);
            }
        QvMesh mesh;
        mesh.BuildFromTriangleSoup(corners);
        benchmark::DoNotOptimize(mesh.m_faces.data());
    }
    Counters(state, bytes.size());
}

void BM_OpenMesh_ReadOm(benchmark::State& state)
{
    const std::string& bytes = OmBytes();
    for (auto _ : state)
    {
        std::istringstream is(bytes, std::ios::binary);
        OmMesh mesh;
        OpenMesh::IO::Options opt = OpenMesh::IO::Options::Binary;
        if (!OpenMesh::IO::read_mesh(mesh, is, ".om", opt))
            state.SkipWithError("read failed");
        benchmark::DoNotOptimize(mesh.n_faces());
    }
    Counters(state, bytes.size());
}

void BM_OpenMesh_ReadStl(benchmark::State& state)
{
    const std::string& bytes = StlBytes();
    for (auto _ : state)
    {
        std::istringstream is(bytes, std::ios::binary);
        OmMesh mesh;
        OpenMesh::IO::Options opt = OpenMesh::IO::Options::Binary;
        if (!OpenMesh::IO::read_mesh(mesh, is, ".stl", opt))
            state.SkipWithError("read failed");
        benchmark::DoNotOptimize(mesh.n_faces());
    }
    Counters(state, bytes.size());
}

// ---- Writing -------------------------------------------------------------------------

void BM_Rivela_WriteText(benchmark::State& state)
{
    for (auto _ : state)
    {
        std::ostringstream os(std::ios::binary);
        RivelaMesh().Write(os, 0);
        benchmark::DoNotOptimize(os.tellp());
    }
    Counters(state, TextBytes().size());
}

void BM_Rivela_WriteCompact(benchmark::State& state)
{
    for (auto _ : state)
    {
        std::ostringstream os(std::ios::binary);
        RivelaMesh().WriteCompact(os, 0);
        benchmark::DoNotOptimize(os.tellp());
    }
    Counters(state, CompactBytes().size());
}

void BM_Rivela_WriteFloatForm(benchmark::State& state)
{
    std::size_t size = 0;
    for (auto _ : state)
    {
        std::ostringstream os(std::ios::binary);
        RivelaMesh().WriteFloatForm(os);
        size = static_cast<std::size_t>(os.tellp());
    }
    Counters(state, size);
}

void BM_Rivela_WriteStlFile(benchmark::State& state)
{
    const std::string path = (std::filesystem::temp_directory_path() / "rivela_bench_write.stl").string();
    for (auto _ : state)
        if (!RivelaMesh().WriteSTL(path))
            state.SkipWithError("write failed");
    std::filesystem::remove(path);
    Counters(state, StlBytes().size());
}

void BM_OpenMesh_WriteOm(benchmark::State& state)
{
    for (auto _ : state)
    {
        std::ostringstream os(std::ios::binary);
        OpenMesh::IO::write_mesh(OpenMeshMesh(), os, ".om", OpenMesh::IO::Options::Binary);
        benchmark::DoNotOptimize(os.tellp());
    }
    Counters(state, OmBytes().size());
}

void BM_OpenMesh_WriteStlFile(benchmark::State& state)
{
    const std::string path = (std::filesystem::temp_directory_path() / "rivela_bench_write_om.stl").string();
    for (auto _ : state)
        if (!OpenMesh::IO::write_mesh(OpenMeshMesh(), path, OpenMesh::IO::Options::Binary))
            state.SkipWithError("write failed");
    std::filesystem::remove(path);
    Counters(state, StlBytes().size());
}

// ---- Face by face ----------------------------------------------------------------------

constexpr std::size_t kFacesToAdd = 100000;

void BM_Rivela_AddFaces(benchmark::State& state)
{
    const Source& s = Grid();
    for (auto _ : state)
    {
        QvMesh mesh;
        mesh.Reserve(static_cast<int>(s.points.size()), static_cast<int>(kFacesToAdd),
                     static_cast<int>(kFacesToAdd * 3 / 2 + s.points.size()));
        for (const QvPoint& p : s.points)
            mesh.AddVertex(p);
        for (std::size_t f = 0; f < kFacesToAdd; ++f)
            benchmark::DoNotOptimize(mesh.AddFace(s.faces[f][0], s.faces[f][1], s.faces[f][2], 0));
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * kFacesToAdd));
}

void BM_OpenMesh_AddFaces(benchmark::State& state)
{
    const Source& s = Grid();
    for (auto _ : state)
    {
        OmMesh mesh;
        mesh.reserve(s.points.size(), kFacesToAdd * 3 / 2 + s.points.size(), kFacesToAdd);
        std::vector<OmMesh::VertexHandle> handles;
        handles.reserve(s.points.size());
        for (const QvPoint& p : s.points)
            handles.push_back(mesh.add_vertex(
                OmMesh::Point(static_cast<float>(p[0]), static_cast<float>(p[1]), static_cast<float>(p[2]))));
        for (std::size_t f = 0; f < kFacesToAdd; ++f)
            benchmark::DoNotOptimize(mesh.add_face(handles[s.faces[f][0]], handles[s.faces[f][1]], handles[s.faces[f][2]]));
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * kFacesToAdd));
}

} // namespace

BENCHMARK(BM_Rivela_ReadText)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Rivela_ReadCompact)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Rivela_ReadStlSoup)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_OpenMesh_ReadOm)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_OpenMesh_ReadStl)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Rivela_WriteText)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Rivela_WriteCompact)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Rivela_WriteFloatForm)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Rivela_WriteStlFile)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_OpenMesh_WriteOm)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_OpenMesh_WriteStlFile)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Rivela_AddFaces)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_OpenMesh_AddFaces)->Unit(benchmark::kMillisecond);

int main(int argc, char** argv)
{
    // OpenMesh's writers log every file they write; keep the figures readable.
    omlog().disable();
    omout().disable();
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
