// SPDX-License-Identifier: GPL-3.0-or-later
// Opening a generated 28-tooth case of about 600k faces, as the design window does:
// from a case document (OS), and from a dental model packed in a zip (DM). The time is
// split into unzipping, parsing the streams and building the mesh topology:
//   OS/read, DM/read     the file layer's whole read (parse + topology)
//   DM/unzip             extracting the archive
//   topology             rebuilding every mesh of the read case from its corners
//   tooth rims           finding each crown's rim, which a tooth record read derives
//   (parse = read - topology - tooth rims)
//   file bytes           reading the file into memory: the floor any parser stands on
#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <minizip/zip.h>
#include <unistd.h>
#include <zlib.h>

#include <cstdio>
#include <filesystem>
#include <map>
#include <memory>
#include <fstream>
#include <iostream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "core/model/QvAirway.h"
#include "core/model/QvFileVersion.h"
#include "core/model/QvJawBone.h"
#include "core/model/QvModel.h"
#include "core/model/QvReadWriteFile.h"
#include "core/model/QvRoot.h"
#include "core/model/QvTooth.h"
#include "core/model/QvZipArchive.h"
#include "testing/CaseFixtures.h"

namespace {

namespace fs = std::filesystem;

// Crowns of 17,850 faces (28 of them about 500k), jaw bones of 47,600, a small airway
// and, in the dental model, gums of 3,800.
qvtest::CaseOptions LargeCase()
{
    qvtest::CaseOptions options;
    options.crownRings = 60;
    options.crownAround = 150;
    options.gumAround = 100;
    options.gumRings = 20;
    options.boneAround = 200;
    options.boneRings = 120;
    options.airwayAround = 64;
    options.airwayRings = 20;
    return options;
}

struct Files
{
    fs::path folder;
    std::string os;
    std::string dm;
    std::string zip;
    std::size_t faces = 0;
    std::size_t dmFaces = 0;

    Files()
    {
        folder = fs::temp_directory_path() / ("rivela_bench_case_open_" + std::to_string(::getpid()));
        fs::create_directories(folder);
        os = (folder / "case.OS").string();
        dm = (folder / "model.DM").string();
        zip = (folder / "model.zip").string();

        QvModel model;
        qvtest::FillCase(model, LargeCase());
        dmFaces = qvtest::CountCaseFaces(model);
        std::size_t gumFaces = 0;
        for (const QvEntity* gum : model.m_gums)
            gumFaces += static_cast<const QvMesh*>(gum)->m_faces.size();
        faces = dmFaces - gumFaces; // a case document stores its gums without meshes
        QvReadWriteFile writer(&model, 0);
        if (!writer.WriteOS(os, QvFileVersionMgr::Instance().GetLatestVersion(kQvFileOS)))
            throw std::runtime_error("cannot write the case document");
        {
            std::ofstream out(dm, std::ios::binary);
            out << QvMakeHeader(kQvFileDM, 0x806) << '\n';
            model.WriteDM(out, 0x806);
        }
        std::ifstream in(dm, std::ios::binary);
        const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        zipFile zf = zipOpen64(zip.c_str(), APPEND_STATUS_CREATE);
        zip_fileinfo info{};
        zipOpenNewFileInZip64(zf, "case/model.DM", &info, nullptr, 0, nullptr, 0, nullptr, Z_DEFLATED,
                              Z_DEFAULT_COMPRESSION, 1);
        zipWriteInFileInZip(zf, bytes.data(), static_cast<unsigned>(bytes.size()));
        zipCloseFileInZip(zf);
        zipClose(zf, nullptr);
    }
    ~Files()
    {
        std::error_code ec;
        fs::remove_all(folder, ec);
    }
};

// The archive reader reports on standard output; the report stays out of the figures.
bool UnzipQuietly(const std::string& archive, const std::string& folder, std::vector<std::string>& names)
{
    std::fflush(stdout);
    const int saved = ::dup(1);
    const int null = ::open("/dev/null", O_WRONLY);
    ::dup2(null, 1);
    QvZipArchive zip;
    const bool ok = zip.Unzip(archive, folder, &names);
    std::fflush(stdout);
    ::dup2(saved, 1);
    ::close(null);
    ::close(saved);
    return ok;
}

const Files& TheFiles()
{
    static const Files files;
    return files;
}

void SetCounters(benchmark::State& state, std::size_t faces, const std::string& path)
{
    state.counters["faces"] = static_cast<double>(faces);
    state.counters["MB"] = static_cast<double>(fs::file_size(path)) / 1e6;
    state.counters["Mfaces/s"] = benchmark::Counter(static_cast<double>(faces) / 1e6,
                                                    benchmark::Counter::kIsIterationInvariantRate);
}

void BM_OS_Read(benchmark::State& state)
{
    const Files& files = TheFiles();
    for (auto _ : state)
    {
        QvModel model;
        QvReadWriteFile reader(&model, 0);
        if (reader.ReadOS(files.os) != 0)
            state.SkipWithError("read failed");
        benchmark::DoNotOptimize(model.m_teeth.data());
        state.PauseTiming(); // the model's destruction is not part of opening
        model.Clear(false);
        state.ResumeTiming();
    }
    SetCounters(state, files.faces, files.os);
}

void BM_DM_Unzip(benchmark::State& state)
{
    const Files& files = TheFiles();
    const std::string out = (files.folder / "unzipped").string() + "/";
    for (auto _ : state)
    {
        std::vector<std::string> names;
        if (!UnzipQuietly(files.zip, out, names))
            state.SkipWithError("unzip failed");
    }
    SetCounters(state, files.dmFaces, files.zip);
}

void BM_DM_Read(benchmark::State& state)
{
    const Files& files = TheFiles();
    for (auto _ : state)
    {
        QvModel model;
        QvReadWriteFile reader(&model, 0);
        if (reader.ReadDM(files.dm) != 0)
            state.SkipWithError("read failed");
        benchmark::DoNotOptimize(model.m_teeth.data());
        state.PauseTiming();
        model.Clear(false);
        state.ResumeTiming();
    }
    SetCounters(state, files.dmFaces, files.dm);
}

void BM_DM_UnzipAndRead(benchmark::State& state)
{
    const Files& files = TheFiles();
    const std::string out = (files.folder / "both").string() + "/";
    for (auto _ : state)
    {
        std::vector<std::string> names;
        const bool ok = UnzipQuietly(files.zip, out, names);
        QvModel model;
        QvReadWriteFile reader(&model, 0);
        if (!ok || names.empty() || reader.ReadDM(out + names[0]) != 0)
            state.SkipWithError("open failed");
        state.PauseTiming();
        model.Clear(false);
        state.ResumeTiming();
    }
    SetCounters(state, files.dmFaces, files.zip);
}

// Every mesh of a read case, rebuilt from positions and corners as a read rebuilds it.
void BM_Topology(benchmark::State& state)
{
    const Files& files = TheFiles();
    QvModel model;
    QvReadWriteFile reader(&model, 0);
    if (reader.ReadDM(files.dm) != 0)
    {
        state.SkipWithError("read failed");
        return;
    }
    std::vector<const QvMesh*> meshes;
    for (const std::vector<QvEntity*>* list : {&model.m_teeth, &model.m_gums, &model.m_jawBones})
        for (const QvEntity* entity : *list)
            meshes.push_back(static_cast<const QvMesh*>(entity));
    for (const QvEntity* entity : model.m_teeth)
        if (const QvRoot* root = static_cast<const QvTooth*>(entity)->GetRoot())
            meshes.push_back(root);
    if (model.GetAirway())
        meshes.push_back(model.GetAirway());
    std::size_t faces = 0;
    for (const QvMesh* mesh : meshes)
        faces += mesh->m_faces.size();
    for (auto _ : state)
    {
        for (const QvMesh* mesh : meshes)
        {
            QvMesh rebuilt;
            rebuilt.Reserve(static_cast<int>(mesh->m_vertices.size()), static_cast<int>(mesh->m_faces.size()),
                            static_cast<int>(mesh->m_edges.size()));
            for (const QvVertex& v : mesh->m_vertices)
                rebuilt.AddVertex(v.m_point);
            for (const QvFace& f : mesh->m_faces)
                benchmark::DoNotOptimize(rebuilt.AddFace(f.m_vertices, f.m_tag));
            rebuilt.UpdateFaceNormals();
            benchmark::DoNotOptimize(rebuilt.m_edges.data());
        }
    }
    state.counters["faces"] = static_cast<double>(faces);
    state.counters["Mfaces/s"] =
        benchmark::Counter(static_cast<double>(faces) / 1e6, benchmark::Counter::kIsIterationInvariantRate);
}

// What a tooth record read adds after the mesh: the crown's faces copied out and the
// longest loop of their boundary.
void BM_ToothRims(benchmark::State& state)
{
    const Files& files = TheFiles();
    QvModel model;
    QvReadWriteFile reader(&model, 0);
    if (reader.ReadDM(files.dm) != 0)
    {
        state.SkipWithError("read failed");
        return;
    }
    for (auto _ : state)
        for (const QvEntity* entity : model.m_teeth)
        {
            const auto* tooth = static_cast<const QvTooth*>(entity);
            std::vector<int> crown;
            for (const QvFace& f : tooth->m_faces)
                if (f.m_tag != kQvFaceTagVirtualRoot)
                    crown.push_back(f.m_index);
            std::map<int, int> newToOld;
            const std::unique_ptr<QvMesh> part = tooth->ExtractFaces(crown, newToOld);
            benchmark::DoNotOptimize(LongestBoundaryLoop(*part).size());
        }
    state.counters["teeth"] = static_cast<double>(model.m_teeth.size());
}

void BM_FileBytes(benchmark::State& state)
{
    const Files& files = TheFiles();
    const std::string& path = state.range(0) == 0 ? files.os : files.dm;
    for (auto _ : state)
    {
        std::ifstream in(path, std::ios::binary);
        std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        benchmark::DoNotOptimize(bytes.data());
    }
    state.SetLabel(state.range(0) == 0 ? "OS" : "DM");
    state.counters["MB"] = static_cast<double>(fs::file_size(path)) / 1e6;
}

} // namespace

// The first reads pay for fresh heap pages; enough iterations let the steady state show.
BENCHMARK(BM_OS_Read)->Unit(benchmark::kMillisecond)->MinTime(3.0);
BENCHMARK(BM_DM_Unzip)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DM_Read)->Unit(benchmark::kMillisecond)->MinTime(3.0);
BENCHMARK(BM_DM_UnzipAndRead)->Unit(benchmark::kMillisecond)->MinTime(3.0);
BENCHMARK(BM_Topology)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ToothRims)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FileBytes)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
