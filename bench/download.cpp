// SPDX-License-Identifier: GPL-3.0-or-later
// A 200 MiB download from the stand-in on 127.0.0.1: the case-service download into
// the cache folder beside a minimal cpp-httplib client writing the same file.
#include "app/service/RVRequestManager.h"
#include "app/shell/QvUtilityObj.h"
#include "tools/rivela-standin/Standin.h"

#include <QCoreApplication>
#include <QFile>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>
#include <httplib.h>

#include <cstdio>
#include <fstream>

namespace {

constexpr size_t kBytes = size_t(200) << 20;

standin::Server& Server()
{
    static standin::Server server(".");
    static const int port = server.Start();
    (void)port;
    return server;
}

std::string BlobPath()
{
    return "/rvmds/blob/" + std::to_string(kBytes);
}

void BM_RequestManagerDownload(benchmark::State& state)
{
    const QString url = QString::fromStdString(Server().Domain()) + "/blob/" + QString::number(kBytes);
    for (auto _ : state) {
        QString path;
        bool done = false;
        RVRequestManager::downloadFileWithURL(url, [&](const QString& p) {
            path = p;
            done = true;
        });
        while (!done)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
        if (path.isEmpty() || QFile(path).size() != qint64(kBytes))
            state.SkipWithError("download failed");
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(kBytes));
}

void BM_HttplibDownload(benchmark::State& state)
{
    httplib::Client client("127.0.0.1", Server().Port());
    const std::string path = QvUtilityObj::getAppCacheFolder().toStdString() + "/blob-httplib.bin";
    for (auto _ : state) {
        std::ofstream out(path + ".part", std::ios::binary | std::ios::trunc);
        auto res = client.Get(BlobPath().c_str(), [&](const char* data, size_t n) {
            out.write(data, std::streamsize(n));
            return bool(out);
        });
        out.close();
        if (!res || res->status != 200 || std::rename((path + ".part").c_str(), path.c_str()) != 0)
            state.SkipWithError("download failed");
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(kBytes));
}

BENCHMARK(BM_RequestManagerDownload)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);
BENCHMARK(BM_HttplibDownload)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);

} // namespace

int main(int argc, char** argv)
{
    QTemporaryDir home;
    qputenv("XDG_CACHE_HOME", QFile::encodeName(home.path()));
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
