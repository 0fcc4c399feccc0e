// SPDX-License-Identifier: GPL-3.0-or-later
// A 200 MiB resumable upload to the stand-in on 127.0.0.1: our transfer (a signed-URL
// request and a 5 MiB PUT per part, the record saved after each) beside a minimal
// cpp-httplib client that asks for the same signed URLs and PUTs the same parts.
// "peak_MiB" is how far the process's peak resident memory rose during a run; the
// store drops the part bytes, so it is the client's (and the server's per-request
// buffer, the same for both).
#include "app/service/RVHttpTransfer.h"
#include "app/service/upload/RVUploadOSSFileHandle.h"
#include "tools/rivela-standin/Standin.h"
#include "tools/rivela-standin/StandinCbct.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>
#include <httplib.h>

#include <atomic>
#include <malloc.h>
#include <fstream>
#include <string>
#include <vector>

namespace {

constexpr qint64 kBytes = qint64(200) << 20;
constexpr qint64 kPart = 5242880;

standin::Server& Server()
{
    static standin::Server server(".");
    static const int port = [] {
        const int p = server.Start();
        server.Cbct().SetDiscardParts(true);
        return p;
    }();
    (void)port;
    return server;
}

const QString& BenchFile()
{
    static const QString path = [] {
        const QString p = QDir::temp().filePath(QStringLiteral("rivela-cbct-bench-%1.bin").arg(kBytes));
        if (QFileInfo(p).size() != kBytes) {
            QFile f(p);
            if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
                std::abort();
            QByteArray chunk(kPart, Qt::Uninitialized);
            for (qint64 done = 0; done < kBytes; done += chunk.size()) {
                for (qint64 i = 0; i < chunk.size(); ++i)
                    chunk[i] = char((done + i) * 131 >> 3);
                f.write(chunk);
            }
        }
        return p;
    }();
    return path;
}

long StatusKiB(const char* key)
{
    std::ifstream in("/proc/self/status");
    std::string line;
    while (std::getline(in, line))
        if (line.rfind(key, 0) == 0)
            return std::stol(line.substr(std::string(key).size()));
    return 0;
}

// Resets the peak so that the next reading is this run's own.
long StartPeak()
{
    std::ofstream("/proc/self/clear_refs") << "5";
    return StatusKiB("VmRSS:");
}

double PeakRiseMiB(long startKiB)
{
    return double(StatusKiB("VmHWM:") - startKiB) / 1024.0;
}

std::string Target(const std::string& url)
{
    return url.substr(url.find('/', std::string("http://").size()));
}

struct Opened {
    std::string partUrl;
    std::string path;
    std::string uploadId;
};

Opened Open(httplib::Client& client)
{
    const auto json = [&](const std::string& url) {
        const auto reply = client.Get(Target(url).c_str());
        return reply ? QJsonDocument::fromJson(QByteArray::fromStdString(reply->body)).object() : QJsonObject();
    };
    const QJsonObject data = json(Server().Cbct().AcquireAccessUrl("B1") + "&fileName=bench.zip")["data"].toObject();
    Opened o;
    o.partUrl = data["getMultipartUploadUrl"].toString().toStdString();
    o.path = data["path"].toString().toStdString();
    o.uploadId = json(data["initUploadIdUrl"].toString().toStdString())["data"].toString().toStdString();
    return o;
}

void BM_ResumableUpload(benchmark::State& state)
{
    httplib::Client client("127.0.0.1", Server().Port());
    const auto base = RVOSSFile::fileWithPath(BenchFile());
    double peak = 0;
    for (auto _ : state) {
        state.PauseTiming();
        const Opened o = Open(client);
        auto record = std::make_shared<RVOSSFile>(*base);
        record->uploadPath = QString::fromStdString(o.path);
        record->uploadId = QString::fromStdString(o.uploadId);
        auto helper = RVOSSFileHelper::createIn(QDir::temp().filePath("rivela-bench-records"));
        auto handle = std::make_shared<RVUploadOSSFileHandle>();
        handle->uploadPath = record->uploadPath;
        std::atomic<int> result{0};
        handle->callback = [&](bool ok) { result = ok ? 1 : -1; };
        const long start = StartPeak();
        state.ResumeTiming();
        handle->uploadFile(record, QString::fromStdString(o.partUrl), QStringLiteral("bench"), helper);
        while (result == 0)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        peak = std::max(peak, PeakRiseMiB(start));
        if (result != 1)
            state.SkipWithError("upload failed");
    }
    state.counters["peak_MiB"] = peak;
    state.SetBytesProcessed(int64_t(state.iterations()) * kBytes);
}

void BM_HttplibParts(benchmark::State& state)
{
    httplib::Client client("127.0.0.1", Server().Port());
    double peak = 0;
    for (auto _ : state) {
        state.PauseTiming();
        const Opened o = Open(client);
        const long start = StartPeak();
        state.ResumeTiming();
        std::ifstream in(BenchFile().toStdString(), std::ios::binary);
        std::string part(kPart, '\0');
        bool ok = true;
        for (int n = 1; ok && in; ++n) {
            in.read(part.data(), kPart);
            const auto got = in.gcount();
            if (got <= 0)
                break;
            const auto signedReply = client.Get(
                (Target(o.partUrl) + "&partNumber=" + std::to_string(n) + "&uploadId=" + o.uploadId).c_str());
            const QJsonObject data =
                QJsonDocument::fromJson(QByteArray::fromStdString(signedReply ? signedReply->body : "")).object()["data"].toObject();
            httplib::Headers headers{{"path", o.path}};
            const QJsonObject map = data["uploadMap"].toObject();
            for (auto it = map.begin(); it != map.end(); ++it)
                headers.emplace(it.key().toStdString(), it.value().toString().toStdString());
            const auto put = client.Put(Target(data["signedUrlUpload"].toString().toStdString()).c_str(), headers,
                                        part.data(), size_t(got), "application/octet-stream");
            ok = put && put->status == 200 && put->has_header("Etag");
        }
        peak = std::max(peak, PeakRiseMiB(start));
        if (!ok)
            state.SkipWithError("upload failed");
    }
    state.counters["peak_MiB"] = peak;
    state.SetBytesProcessed(int64_t(state.iterations()) * kBytes);
}

BENCHMARK(BM_ResumableUpload)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);
BENCHMARK(BM_HttplibParts)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

} // namespace

int main(int argc, char** argv)
{
    // Large buffers straight from and back to the system, so the peak shows the bytes alive at
    // once rather than what glibc's arenas of many threads keep after use.
    mallopt(M_MMAP_THRESHOLD, 4 << 20);
    QTemporaryDir home;
    qputenv("XDG_DOCUMENTS_DIR", QFile::encodeName(home.path()));
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
