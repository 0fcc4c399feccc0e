// SPDX-License-Identifier: GPL-3.0-or-later
// Reading valid-looking files of many minimal records: the time per record stays flat
// when a reader's work per record does not grow with what it has read. Beside them the
// demo case of 20k faces a crown, read the same way, and a dental model of 100,000
// teeth, which the bound on teeth refuses.
//   OS/gums/N        case document of N gum records (8 bytes each)
//   DM/gums/N        dental model of N empty gums
//   DM/teeth/100000  dental model past the bound on teeth (17.6 MB): refused
//   demo/OS, demo/DM the demo case's case document (with its scheme) and dental model
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "bench/BenchMain.h"
#include "core/model/QvModel.h"
#include "core/model/QvReadWriteFile.h"
#include "core/model/QvZipArchive.h"
#include "core/scheme/QvSchemeFileLinkImpl.h"
#include "testing/CaseHostile.h"
#include "testing/DemoCase.h"

namespace {

namespace fs = std::filesystem;

fs::path Folder()
{
    static const fs::path folder = [] {
        const fs::path f = fs::temp_directory_path() / ("rivela_bench_hostile_" + std::to_string(::getpid()));
        fs::create_directories(f);
        return f;
    }();
    return folder;
}

std::string Written(const std::string& name, const std::string& bytes)
{
    const std::string path = (Folder() / name).string();
    std::ofstream(path, std::ios::binary) << bytes;
    return path;
}

enum class Kind
{
    OSGums,
    DMGums,
    DMTeeth,
};

void ReadMany(benchmark::State& state, Kind kind)
{
    const int records = static_cast<int>(state.range(0));
    const std::string path = kind == Kind::OSGums   ? Written("gums.OS", qvtest::HostileGumsDocument(records))
                             : kind == Kind::DMGums ? Written("gums.DM", qvtest::HostileGumsModel(records))
                                                    : Written("teeth.DM", qvtest::HostileTeethModel(records));
    const int expected = kind == Kind::DMTeeth ? 1 : 0;
    for (auto _ : state)
    {
        QvModel model;
        QvReadWriteFile file(&model, 0);
        const int code = kind == Kind::OSGums ? file.ReadOS(path) : file.ReadDM(path);
        if (code != expected)
        {
            state.SkipWithError("unexpected result code");
            break;
        }
    }
    state.counters["per_record"] =
        benchmark::Counter(static_cast<double>(records), benchmark::Counter::kIsIterationInvariantRate |
                                                             benchmark::Counter::kInvert);
    state.counters["MB"] = static_cast<double>(fs::file_size(path)) / 1e6;
}

void BM_OS_Gums(benchmark::State& state) { ReadMany(state, Kind::OSGums); }
void BM_DM_Gums(benchmark::State& state) { ReadMany(state, Kind::DMGums); }
void BM_DM_TeethPastBound(benchmark::State& state) { ReadMany(state, Kind::DMTeeth); }

struct Demo
{
    std::string os;
    std::string dm;
    Demo()
    {
        qvtest::DemoCase demo;
        qvtest::DemoOptions options;
        options.dentition.facesPerTooth = qvtest::DemoFacesPreset("20k");
        std::string error;
        const std::string folder = (Folder() / "demo").string();
        if (!qvtest::BuildDemoCase(demo, options) || !qvtest::WriteDemoFiles(folder, demo, options, &error))
            throw std::runtime_error("demo case: " + error);
        os = folder + "/demo.OS";
        std::vector<std::string> names;
        QvZipArchive zip;
        // Its one line of progress lands before the first figure.
        const bool unzipped = zip.Unzip(folder + "/demo-model.zip", folder + "/model/", &names);
        if (!unzipped || names.empty())
            throw std::runtime_error("demo case: cannot unzip the model");
        dm = folder + "/model/" + names.front();
    }
};

const Demo& GetDemo()
{
    static const Demo demo;
    return demo;
}

void ReadDemo(benchmark::State& state, bool document)
{
    const Demo& demo = GetDemo();
    for (auto _ : state)
    {
        QvModel model;
        QvReadWriteFile file(&model, 0);
        if ((document ? file.ReadOS(demo.os) : file.ReadDM(demo.dm)) != 0)
        {
            state.SkipWithError("the demo case did not read");
            break;
        }
    }
    state.counters["MB"] = static_cast<double>(fs::file_size(document ? demo.os : demo.dm)) / 1e6;
}

void BM_Demo20k_OS(benchmark::State& state) { ReadDemo(state, true); }
void BM_Demo20k_DM(benchmark::State& state) { ReadDemo(state, false); }

} // namespace

BENCHMARK(BM_OS_Gums)->Arg(10000)->Arg(20000)->Arg(40000)->Arg(80000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DM_Gums)->Arg(10000)->Arg(20000)->Arg(40000)->Arg(80000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DM_TeethPastBound)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Demo20k_OS)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Demo20k_DM)->Unit(benchmark::kMillisecond);

int main(int argc, char** argv)
{
    QvInstallSchemeFileLink();
    const int result = benchmain::RunWithKeptHeap(argc, argv);
    std::error_code ec;
    fs::remove_all(Folder(), ec);
    return result;
}
