// SPDX-License-Identifier: GPL-3.0-or-later
// Transfers, CBCT uploads and cancels against the stand-in in-process: the page is a
// recorder of the evaluated scripts, the file dialog a scripted seam.
#include "app/platform/Dispatch.h"
#include "app/service/RVHttpTransfer.h"
#include "app/service/upload/RVCBCTUploadCommand.h"
#include "app/service/upload/tests/UploadFixtures.h"
#include "app/shell/foundation/Digest.h"

#include <QCryptographicHash>
#include <QFileInfo>
#include <QUrlQuery>

#include <httplib.h>

#include <gtest/gtest.h>

using namespace uploadtest;

namespace {

constexpr qint64 kPart = 5242880;

QString Md5(const std::string& bytes)
{
    return foundation::Md5Hex(QByteArrayView(bytes.data(), qsizetype(bytes.size())));
}

class UploadTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        server = std::make_unique<standin::Server>(".");
        ASSERT_GT(server->Start(), 0);
        dialog = std::make_shared<ScriptedDialog>();
        dialog->Install(dialog);
        page = std::make_shared<PageRecorder>();
    }
    void TearDown() override
    {
        Settle(200);
        RVWaitForNetworkThreads();
        platform::SetFilePanelResponder({});
        server.reset();
    }

    standin::CbctService& Cbct() { return server->Cbct(); }
    QString AcquireUrl(const char* caseNo) { return QString::fromStdString(Cbct().AcquireAccessUrl(caseNo)); }

    // A zip holding a DICOM entry, exactly the size given: filler bytes, then the archive
    // (readers find a zip from its end, as they do self-extracting ones).
    QString Archive(const QString& name, qint64 size, int seed = 1)
    {
        const QString zipPath = dir.filePath("inner-" + name);
        EXPECT_TRUE(WriteZip(zipPath, {{"scan/", ""}, {"scan/IM0001.dcm", "DICM"}}));
        QFile zip(zipPath);
        EXPECT_TRUE(zip.open(QIODevice::ReadOnly));
        const QByteArray tail = zip.readAll();
        const QString path = dir.filePath(name);
        EXPECT_TRUE(WriteFile(path, Pattern(size - tail.size(), seed) + tail));
        return path;
    }

    std::shared_ptr<RVCBCTUploadCommand> Upload(const QString& url, const QJsonValue& tag = QStringLiteral("t"))
    {
        auto command = RVCBCTUploadCommand::create();
        command->webView = page->Evaluator(page);
        queue.Async([command, url, tag] { command->acquireToken(url, tag); });
        return command;
    }

    bool WaitForPhase(int phase, size_t from = 0)
    {
        return WaitFor([&] {
            const auto phases = page->Phases();
            return phases.size() > from && phases.back() == phase;
        });
    }

    // (completeCount, partCount) of the progress messages from the index on.
    std::vector<std::pair<int, int>> Progress(size_t from = 0)
    {
        std::vector<std::pair<int, int>> out;
        const auto messages = page->Messages();
        for (size_t i = from; i < messages.size(); ++i) {
            const QJsonObject data = messages[i].value(u"data").toObject();
            if (data.value(u"uploadPhase").toInt() == 2) {
                const QJsonObject counts = data.value(u"uploadData").toObject();
                out.emplace_back(counts.value(u"completeCount").toInt(), counts.value(u"partCount").toInt());
            }
        }
        return out;
    }

    std::vector<std::string> LogLines(const std::string& start, size_t from = 0)
    {
        std::vector<std::string> out;
        const auto log = server->Log();
        for (size_t i = from; i < log.size(); ++i)
            if (log[i].rfind(start, 0) == 0)
                out.push_back(log[i]);
        return out;
    }

    std::vector<std::string> PutParts(size_t from = 0)
    {
        std::vector<std::string> parts;
        for (const std::string& line : LogLines("PUT ", from)) {
            const auto at = line.find("partNumber=");
            parts.push_back(line.substr(at + 11, line.find('&', at) - at - 11));
        }
        return parts;
    }

    QTemporaryDir dir;
    std::unique_ptr<standin::Server> server;
    std::shared_ptr<ScriptedDialog> dialog;
    std::shared_ptr<PageRecorder> page;
    platform::SerialQueue queue{"uploadCBCTCommandQueue"};
};

TEST_F(UploadTest, FreshThreePartUploadIsMergedWhole)
{
    const QString file = Archive("scan.zip", 2 * kPart + 1);
    dialog->Choose(file);
    const QString url = AcquireUrl("RV1");
    Upload(url, QJsonObject{{"id", 5}});
    ASSERT_TRUE(WaitForPhase(3)) << page->scripts.join('\n').toStdString();

    EXPECT_EQ(page->scripts.first(), R"(CBCTUploadCallback({"Tag":{"id":5},"data":{"uploadPhase":1},"status":200}))");
    EXPECT_EQ(page->Phases(), (std::vector<int>{1, 2, 2, 2, 3}));
    EXPECT_EQ(Progress(), (std::vector<std::pair<int, int>>{{1, 3}, {2, 3}, {3, 3}}));
    const QJsonObject last = page->Messages().back();
    const QJsonObject data = last.value(u"data").toObject();
    EXPECT_EQ(data.value(u"fileName").toString(), "scan.zip");
    EXPECT_EQ(data.value(u"path").toString(), "cbct/RV1/scan.zip");
    EXPECT_EQ(data.value(u"uploadData").toObject().value(u"completeCount").toInt(), 3); // kept from progress
    EXPECT_EQ(last.value(u"status").toInt(), 200);

    const auto object = Cbct().Object("cbct/RV1/scan.zip");
    ASSERT_TRUE(object);
    EXPECT_EQ(Md5(*object), *foundation::FileMd5Hex(file));
    EXPECT_EQ(PutParts(), (std::vector<std::string>{"1", "2", "3"}));
    // The counter is deleted and the record removed once the page has heard of success.
    EXPECT_TRUE(WaitFor([&] { return !Cbct().Object("cbct/RV1/scan.zip.counter"); }));
    EXPECT_TRUE(WaitFor([&] { return !QFileInfo::exists(RVOSSFileHelper::create()->recordPath(url)); }));
    EXPECT_EQ(dialog->Shown(), 1);
}

TEST_F(UploadTest, ACutOffPartResumesFromTheRecordWithoutADialog)
{
    const QString file = Archive("scan.zip", 2 * kPart + 1);
    dialog->Choose(file);
    const QString url = AcquireUrl("RV2");
    standin::Fault cut;
    cut.cut = true;
    cut.times = 1;
    server->SetFault("/oss/put/2", cut); // status 200 and an "Etag" arrive, the body does not
    Upload(url);
    ASSERT_TRUE(WaitForPhase(-2));
    EXPECT_EQ(page->Phases(), (std::vector<int>{1, 2, -2}));
    const QJsonObject failed = page->Messages().back().value(u"data").toObject();
    EXPECT_EQ(failed.value(u"uploadResultMsg").toString(), "upload error");
    EXPECT_EQ(failed.value(u"fileName").toString(), "scan.zip");

    auto stored = RVOSSFileHelper::create()->fileWithAcquireAccessUrl(url);
    ASSERT_TRUE(stored);
    EXPECT_EQ(stored->offset, 2u);
    EXPECT_EQ(stored->etagJson.size(), 1);
    EXPECT_EQ(stored->uploadedSize, quint64(kPart));

    const size_t before = page->Count();
    const size_t logBefore = server->Log().size();
    Upload(url);
    ASSERT_TRUE(WaitForPhase(3, before));
    const auto phases = page->Phases();
    EXPECT_EQ(std::vector<int>(phases.begin() + long(before), phases.end()), (std::vector<int>{1, 2, 2, 2, 3}));
    EXPECT_EQ(Progress(before), (std::vector<std::pair<int, int>>{{0, 3}, {2, 3}, {3, 3}}));
    EXPECT_EQ(PutParts(logBefore), (std::vector<std::string>{"2", "3"}));
    EXPECT_TRUE(LogLines("GET /rvmds/cbct/initUploadId", logBefore).empty()); // the same upload id
    EXPECT_EQ(dialog->Shown(), 1);
    const auto object = Cbct().Object("cbct/RV2/scan.zip");
    ASSERT_TRUE(object);
    EXPECT_EQ(Md5(*object), *foundation::FileMd5Hex(file));
}

TEST_F(UploadTest, ARefusedPartKeepsTheRecordAndAnEditedFileStartsOver)
{
    const QString file = Archive("scan.zip", 2 * kPart + 1);
    dialog->Choose(file);
    const QString url = AcquireUrl("RV3");
    standin::Fault refused;
    refused.status = 403;
    refused.times = 1;
    server->SetFault("/oss/put/2", refused);
    Upload(url);
    ASSERT_TRUE(WaitForPhase(-2));
    auto stored = RVOSSFileHelper::create()->fileWithAcquireAccessUrl(url);
    ASSERT_TRUE(stored);
    EXPECT_EQ(stored->offset, 2u);
    EXPECT_EQ(stored->etagJson.size(), 1);
    const QString firstId = stored->uploadId;

    // Same size, other bytes: a new upload id and every part again.
    Archive("scan.zip", 2 * kPart + 1, 9);
    const size_t before = page->Count();
    const size_t logBefore = server->Log().size();
    Upload(url);
    ASSERT_TRUE(WaitForPhase(3, before));
    EXPECT_EQ(Progress(before), (std::vector<std::pair<int, int>>{{1, 3}, {2, 3}, {3, 3}}));
    EXPECT_EQ(PutParts(logBefore), (std::vector<std::string>{"1", "2", "3"}));
    const auto ids = LogLines("GET /rvmds/cbct/initUploadId", logBefore);
    EXPECT_EQ(ids.size(), 1u);
    EXPECT_NE(PutParts(logBefore).size(), 0u);
    EXPECT_EQ(LogLines("PUT ", logBefore).front().find(firstId.toStdString()), std::string::npos);
    EXPECT_EQ(dialog->Shown(), 1);
    const auto object = Cbct().Object("cbct/RV3/scan.zip");
    ASSERT_TRUE(object);
    EXPECT_EQ(Md5(*object), *foundation::FileMd5Hex(file));
}

// The transfer alone, against an upload the stand-in has opened.
class HandleTest : public UploadTest {
protected:
    struct Run {
        std::vector<double> progress;
        int callbacks = 0;
        bool ok = false;
    };

    std::shared_ptr<RVOSSFile> Open(const QString& path, const char* caseNo)
    {
        httplib::Client client("127.0.0.1", server->Port());
        const auto json = [&](const std::string& url) {
            const auto reply = client.Get(url.substr(url.find('/', std::string("http://").size())).c_str());
            EXPECT_TRUE(reply);
            return reply ? QJsonDocument::fromJson(QByteArray::fromStdString(reply->body)).object() : QJsonObject();
        };
        const QJsonObject data = json(Cbct().AcquireAccessUrl(caseNo) + "&fileName=f.zip")["data"].toObject();
        partUrl = data["getMultipartUploadUrl"].toString();
        auto record = RVOSSFile::fileWithPath(path);
        EXPECT_TRUE(record);
        if (!record)
            return nullptr;
        record->uploadPath = data["path"].toString();
        record->uploadId = json(data["initUploadIdUrl"].toString().toStdString())["data"].toString();
        EXPECT_FALSE(record->uploadId.isEmpty());
        return record;
    }

    Run Transfer(const std::shared_ptr<RVOSSFile>& record, std::shared_ptr<RVOSSFileHelper> helper = nullptr)
    {
        auto state = std::make_shared<Run>();
        auto mutex = std::make_shared<std::mutex>();
        auto handle = std::make_shared<RVUploadOSSFileHandle>();
        handle->uploadPath = record->uploadPath;
        handle->progress = [state, mutex](double parts) {
            std::lock_guard lock(*mutex);
            state->progress.push_back(parts);
        };
        handle->callback = [state, mutex](bool ok) {
            std::lock_guard lock(*mutex);
            ++state->callbacks;
            state->ok = ok;
        };
        handle->uploadFile(record, partUrl, "http://acquire/" + QString::number(server->Port()), std::move(helper));
        EXPECT_TRUE(WaitFor([&] {
            std::lock_guard lock(*mutex);
            return state->callbacks > 0;
        }));
        Settle(100);
        std::lock_guard lock(*mutex);
        return *state;
    }

    QString partUrl;
};

TEST_F(HandleTest, EdgeCases)
{
    // An empty file is complete from the start: no request at all.
    const QString empty = dir.filePath("empty.zip");
    ASSERT_TRUE(WriteFile(empty, {}));
    auto record = Open(empty, "H1");
    size_t logBefore = server->Log().size();
    Run run = Transfer(record);
    EXPECT_TRUE(run.ok);
    EXPECT_EQ(run.progress, std::vector<double>{0});
    EXPECT_TRUE(LogLines("GET /rvmds/cbct/partUrl", logBefore).empty());

    // One byte over a part: two parts, numbered as text.
    const QString two = dir.filePath("two.zip");
    ASSERT_TRUE(WriteFile(two, Pattern(kPart + 1)));
    record = Open(two, "H2");
    auto helper = RVOSSFileHelper::create();
    run = Transfer(record, helper);
    EXPECT_TRUE(run.ok);
    EXPECT_EQ(run.progress, (std::vector<double>{1, 2}));
    ASSERT_EQ(record->etagJson.size(), 2);
    EXPECT_EQ(record->etagJson[0].partNumber, "1");
    EXPECT_EQ(record->etagJson[1].partNumber, "2");
    EXPECT_TRUE(record->etagJson[1].etag && record->etagJson[1].etag->startsWith('"'));
    EXPECT_EQ(record->uploadedSize, quint64(kPart + 1));
    // Saved after every part.
    auto saved = RVOSSFileHelper::create()->fileWithAcquireAccessUrl("http://acquire/" + QString::number(server->Port()));
    ASSERT_TRUE(saved);
    EXPECT_EQ(saved->offset, 3u);

    // A record at offset 3 of 4: parts 1 and 2 are skipped by reading, 3 and 4 sent.
    const QString four = dir.filePath("four.zip");
    ASSERT_TRUE(SparseFile(four, 3 * kPart + 100));
    record = Open(four, "H3");
    record->offset = 3;
    record->uploadedSize = 2 * kPart;
    record->addEtagJsonWithNumber(1, QStringLiteral("\"e1\""));
    record->addEtagJsonWithNumber(2, QStringLiteral("\"e2\""));
    logBefore = server->Log().size();
    run = Transfer(record);
    EXPECT_TRUE(run.ok);
    EXPECT_EQ(run.progress, (std::vector<double>{0, 1, 3, 4}));
    EXPECT_EQ(PutParts(logBefore), (std::vector<std::string>{"3", "4"}));

    // A complete record: progress(offset - 1) and done, without a request.
    logBefore = server->Log().size();
    run = Transfer(record);
    EXPECT_TRUE(run.ok);
    EXPECT_EQ(run.progress, std::vector<double>{4});
    EXPECT_EQ(server->Log().size(), logBefore);

    // No "Etag" in the reply: the entry holds only the part number, and the upload goes on.
    Cbct().SetOmitEtag(true);
    record = Open(two, "H4");
    run = Transfer(record);
    EXPECT_TRUE(run.ok);
    ASSERT_EQ(record->etagJson.size(), 2);
    EXPECT_FALSE(record->etagJson[0].etag);
    EXPECT_EQ(record->etagJson[1].partNumber, "2");
    Cbct().SetOmitEtag(false);
}

TEST_F(HandleTest, FailuresLeaveTheRecordAsItWas)
{
    const QString path = dir.filePath("scan.zip");
    ASSERT_TRUE(WriteFile(path, Pattern(kPart + 10)));
    const QString shortened = dir.filePath("short.zip");
    ASSERT_TRUE(WriteFile(shortened, Pattern(10)));

    struct Row {
        const char* what;
        std::function<void(RVOSSFile&)> change;
    };
    const Row rows[] = {
        {"the file ends before the record is complete",
         [&](RVOSSFile& r) { r.filePath = QUrl::fromLocalFile(shortened); }},
        {"the file ends inside the recorded parts",
         [](RVOSSFile& r) {
             r.fileSize = 5 * kPart;
             r.offset = 4;
             r.uploadedSize = 3 * kPart;
             for (int k = 1; k <= 3; ++k)
                 r.addEtagJsonWithNumber(quint64(k), std::nullopt);
         }},
        {"the file is gone", [&](RVOSSFile& r) { r.filePath = QUrl::fromLocalFile(path + ".gone"); }},
        {"an unknown upload id", [](RVOSSFile& r) { r.uploadId = "nobody"; }},
    };
    for (const Row& row : rows) {
        auto record = Open(path, "F1");
        row.change(*record);
        const RVOSSFile before = *record;
        const Run run = Transfer(record);
        EXPECT_FALSE(run.ok) << row.what;
        EXPECT_EQ(run.callbacks, 1) << row.what;
        EXPECT_EQ(record->offset, before.offset) << row.what;
        EXPECT_EQ(record->uploadedSize, before.uploadedSize) << row.what;
        EXPECT_EQ(record->etagJson, before.etagJson) << row.what;
    }
}

TEST_F(UploadTest, PageMessagesOfTheEdgeCases)
{
    // Dialog cancelled: no request at all.
    size_t logBefore = server->Log().size();
    Upload(AcquireUrl("E1"));
    ASSERT_TRUE(WaitForPhase(-1));
    QJsonObject last = page->Messages().back();
    EXPECT_EQ(last.value(u"status").toInt(), -1);
    EXPECT_EQ(last.value(u"msg").toString(), "beCancel");
    EXPECT_EQ(server->Log().size(), logBefore);

    // Archives that fail the check.
    struct Row {
        const char* file;
        std::vector<ZipEntry> entries;
    };
    const Row failing[] = {
        {"upper.zip", {{"scan/", ""}, {"X.DCM", "DICM"}}},
        {"scan.ZIP", {{"IM0001.dcm", "DICM"}}},
    };
    for (const Row& row : failing) {
        const size_t before = page->Count();
        ASSERT_TRUE(WriteZip(dir.filePath(row.file), row.entries));
        dialog->Choose(dir.filePath(row.file));
        Upload(AcquireUrl("E2"));
        ASSERT_TRUE(WaitForPhase(-1, before)) << row.file;
        last = page->Messages().back();
        EXPECT_EQ(last.value(u"status").toInt(), 200) << row.file;
        EXPECT_EQ(last.value(u"data").toObject().value(u"checkResult"), QJsonValue(false)) << row.file;
        EXPECT_EQ(page->Count(), before + 2) << row.file;
    }
    EXPECT_TRUE(Cbct().AcquireTargets().empty());
}

TEST_F(UploadTest, NameEscapingAndMergeReplies)
{
    struct Row {
        const char* caseNo;
        const char* mergeBody; // nullptr: the stand-in's own reply
        int phase;             // the last phase sent; 2 when the merge reply ends it silently
    };
    const Row rows[] = {
        {"M1", nullptr, 3},
        {"M2", R"({"status":"200","data":true,"msg":"success"})", 3},
        {"M3", R"({"status":200.0,"data":true})", 3},
        {"M4", R"({"status":500,"data":null,"msg":"merge failed"})", -2},
        {"M5", R"([200])", 2},
    };
    const QString file = Archive("a b.zip", 100);
    for (const Row& row : rows) {
        if (row.mergeBody) {
            standin::Fault f;
            standin::MakeFault("body", 0, 0, row.mergeBody, "", &f);
            f.times = 1;
            server->SetFault("/cbct/merge", f);
        }
        const size_t before = page->Count();
        dialog->Choose(file);
        Upload(AcquireUrl(row.caseNo));
        if (row.phase == 2) {
            ASSERT_TRUE(WaitForPhase(2, before));
            Settle(500);
        } else {
            ASSERT_TRUE(WaitForPhase(row.phase, before)) << row.caseNo;
        }
        EXPECT_EQ(page->Phases().back(), row.phase) << row.caseNo;
        EXPECT_EQ(page->Count(), before + (row.phase == 2 ? 2 : 3)) << row.caseNo;
    }
    const auto targets = Cbct().AcquireTargets();
    ASSERT_FALSE(targets.empty());
    // Qt's URLs write escaped unreserved characters ("%2E") plainly; the service reads the same name.
    EXPECT_NE(targets.front().find("&fileName=a%20b"), std::string::npos) << targets.front();
    EXPECT_TRUE(Cbct().Object("cbct/M1/a b.zip"));
}

TEST_F(UploadTest, FailuresAroundTheTransfer)
{
    const QString file = Archive("scan.zip", 100);

    // An unusable upload id: the page hears of it.
    standin::Fault nulldata;
    standin::MakeFault("nulldata", 0, 0, "", "", &nulldata);
    nulldata.times = 1;
    server->SetFault("/cbct/initUploadId", nulldata);
    dialog->Choose(file);
    Upload(AcquireUrl("X1"));
    ASSERT_TRUE(WaitForPhase(-2));
    EXPECT_EQ(page->Phases(), (std::vector<int>{1, -2}));

    // A failed counter deletion is only logged: success still follows.
    standin::Fault cut;
    cut.cut = true;
    cut.status = 200;
    cut.times = 1;
    server->SetFault("/oss/delete/cbct/X2/scan.zip.counter", cut);
    size_t before = page->Count();
    dialog->Choose(file);
    Upload(AcquireUrl("X2"));
    ASSERT_TRUE(WaitForPhase(3, before));
    EXPECT_EQ(page->Phases().back(), 3);
    EXPECT_EQ(page->Count(), before + 3);

    // A stored record whose file is gone: dropped, -2, and the next message asks for a file.
    const QString url = AcquireUrl("X3");
    auto helper = RVOSSFileHelper::create();
    auto stale = RVOSSFile::fileWithPath(file);
    stale->filePath = QUrl::fromLocalFile(dir.filePath("gone.zip"));
    stale->uploadId = "upload-old";
    ASSERT_TRUE(helper->updateFile(stale, url));
    before = page->Count();
    const int shown = dialog->Shown();
    Upload(url);
    ASSERT_TRUE(WaitForPhase(-2, before));
    EXPECT_EQ(dialog->Shown(), shown);
    EXPECT_FALSE(RVOSSFileHelper::create()->fileWithAcquireAccessUrl(url));

    // No endpoint reply at all.
    before = page->Count();
    dialog->Choose(file);
    Upload("http://127.0.0.1:1/acquire?caseNo=none");
    ASSERT_TRUE(WaitForPhase(-2, before));
}

TEST_F(UploadTest, CancelDeletesThreeObjectsAtOnce)
{
    const QString url = AcquireUrl("C1");
    // The stand-in cancels the case's latest upload.
    httplib::Client client("127.0.0.1", server->Port());
    ASSERT_TRUE(client.Get("/rvmds/cbct/acquireAccess?caseNo=C1&fileName=scan.zip"));
    for (const char* suffix : {"", ".counter", ".error"})
        Cbct().PutObject(std::string("cbct/C1/scan.zip") + suffix, "x");

    auto cancel = RVCBCTUploadCancelCommand::create();
    cancel->webView = page->Evaluator(page);
    cancel->acquireToken(url, QStringLiteral("c"), "scan.zip");
    ASSERT_TRUE(WaitFor([&] { return page->Count() == 1; }));
    EXPECT_EQ(page->scripts.front(), R"(CBCTUploadCallback({"Tag":"c","data":{"uploadPhase":4},"status":200}))");
    for (const char* suffix : {"", ".counter", ".error"})
        EXPECT_FALSE(Cbct().Object(std::string("cbct/C1/scan.zip") + suffix)) << suffix;
    EXPECT_EQ(LogLines("DELETE ").size(), 3u);

    // One DELETE cut off, or refused: -3.
    standin::Fault cut;
    cut.cut = true;
    cut.status = 200;
    cut.times = 1;
    standin::Fault refused;
    refused.status = 403;
    refused.times = 1;
    for (const auto& fault : {cut, refused}) {
        const size_t before = page->Count();
        server->SetFault("/oss/delete/cbct/C1/scan.zip.error", fault);
        auto again = RVCBCTUploadCancelCommand::create();
        again->webView = page->Evaluator(page);
        again->acquireToken(url, QStringLiteral("c"), "scan.zip");
        ASSERT_TRUE(WaitFor([&] { return page->Count() == before + 1; }));
        EXPECT_EQ(page->Phases().back(), -3);
    }

    // No reply to the first request: nothing is sent to the page.
    const size_t before = page->Count();
    auto lost = RVCBCTUploadCancelCommand::create();
    lost->webView = page->Evaluator(page);
    lost->acquireToken("http://127.0.0.1:1/acquire?caseNo=C1", QStringLiteral("c"), "scan.zip");
    Settle(800);
    EXPECT_EQ(page->Count(), before);
}

} // namespace
