// SPDX-License-Identifier: GPL-3.0-or-later
#include "CaseListFixtures.h"

#include "app/caselist/FileTransferManager.h"
#include "app/caselist/PageText.h"
#include "app/caselist/WebImageCache.h"
#include "app/shell/widgets/RVProgressIndicator.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QLabel>

#include <minizip/unzip.h>

using namespace caselisttest;

namespace {

struct Answer {
    bool called = false;
    bool ok = false;
    QString text;
    QJsonObject json() const { return QJsonDocument::fromJson(text.toUtf8()).object(); }
};

class Executor : public ::testing::Test {
protected:
    void SetUp() override
    {
        world = std::make_unique<World>();
        host = std::make_unique<QWidget>();
        ExecuteJSCommandHandle::shared().setWebView([this](const QString& s) { scripts << s; }, host.get());
    }
    void TearDown() override
    {
        ExecuteJSCommandHandle::shared().setWebView({}, nullptr);
        world.reset();
    }
    std::shared_ptr<Answer> Run(const QJsonObject& command)
    {
        auto answer = std::make_shared<Answer>();
        ExecuteJSCommandHandle::shared().executeCommand(pagetext::Json(command), [answer](bool ok, const QString& t) {
            EXPECT_FALSE(answer->called) << "answered twice";
            answer->called = true;
            answer->ok = ok;
            answer->text = t;
        });
        return answer;
    }
    static bool Wait(const std::shared_ptr<Answer>& a) { return qtwait::WaitFor([a] { return a->called; }, 20000); }
    qint64 Busy() { return ExecuteJSCommandHandle::shared().indicator()->displayCount(); }
    QString Upload(int index) const
    {
        return world->Domain() + QStringLiteral("/uploads/%1").arg(index);
    }
    QJsonObject FilePostValue(const QString& limit, bool needZip) const
    {
        const QJsonObject record{{"bizId", 4711}, {"fileType", 1041}, {"fileName", "model"}, {"resourceFileId", "rf1"},
                                 {"fileUrl", "u"}, {"smallFileUrl", "s"}};
        return {{"formData", QJsonArray{QJsonObject{{"value", pagetext::Json(record)}}}},
                {"uploadUrl", world->Domain() + "/resourceFile/uploadFile.htm"},
                {"needZip", needZip},
                {"limitFileType", limit}};
    }

    std::unique_ptr<World> world;
    std::unique_ptr<QWidget> host;
    QStringList scripts;
};

QByteArray Fetch(const QString& url)
{
    RVHttpRequest request;
    request.url = QUrl(url);
    return RVPerformHttp(request).body;
}

// The names of the archive's entries.
QStringList ZipEntries(const QString& path)
{
    QStringList names;
    unzFile zip = unzOpen64(QFile::encodeName(path).constData());
    if (!zip)
        return names;
    for (int rc = unzGoToFirstFile(zip); rc == UNZ_OK; rc = unzGoToNextFile(zip)) {
        char name[512];
        unz_file_info64 info;
        if (unzGetCurrentFileInfo64(zip, &info, name, sizeof name, nullptr, 0, nullptr, 0) == UNZ_OK)
            names << QString::fromUtf8(name);
    }
    unzClose(zip);
    return names;
}

} // namespace

TEST_F(Executor, CommandsThatAreNotCommands)
{
    for (const char* text : {"not json", R"({"value":{}})", R"({"path":"/x/Nothing"})", R"([1,2])"}) {
        auto answer = std::make_shared<Answer>();
        ExecuteJSCommandHandle::shared().executeCommand(QString::fromUtf8(text), [answer](bool ok, const QString& t) {
            answer->called = true;
            answer->ok = ok;
            answer->text = t;
        });
        EXPECT_TRUE(answer->called && !answer->ok && answer->text.isEmpty()) << text;
    }
}

TEST_F(Executor, FilePostUploadsUnderTheCleanedNameOrAsZip)
{
    const QString file = world->root.filePath("my file?.stl");
    ASSERT_TRUE(WriteBytes(file, "solid demo"));
    struct Case {
        bool needZip;
        const char* uploaded;
    } cases[] = {{false, "myfile.stl"}, {true, "myfile.zip"}};
    int index = 0;
    for (const Case& c : cases) {
        world->panelAnswers << QStringList{file};
        const auto answer = Run({{"path", "/rivela/FilePost"}, {"value", FilePostValue("*.stl;*.ply;", c.needZip)}});
        ASSERT_TRUE(Wait(answer));
        EXPECT_TRUE(answer->ok);
        const QJsonObject reply = answer->json();
        EXPECT_EQ(reply.value("status").toString(), "200") << answer->text.toStdString();
        EXPECT_EQ(reply.value("msg").toString(), "操作成功");
        const QJsonObject item = reply.value("data").toArray().first().toObject();
        EXPECT_EQ(item.value("fileName").toString(), QString::fromUtf8(c.uploaded));
        EXPECT_EQ(world->requests.last().filters, QStringList{"*.stl *.ply"});
        const QByteArray sent = Fetch(Upload(++index));
        if (c.needZip) {
            const QString copy = world->root.filePath("sent.zip");
            ASSERT_TRUE(WriteBytes(copy, sent));
            EXPECT_EQ(ZipEntries(copy), QStringList{"myfile.stl"});
        } else {
            EXPECT_EQ(sent, "solid demo");
        }
        EXPECT_EQ(Busy(), 0);
    }
}

TEST_F(Executor, FilePostFailuresAnswerThePage)
{
    const QString file = world->root.filePath("scan.stl");
    ASSERT_TRUE(WriteBytes(file, "solid"));
    // Cancelled panel.
    world->panelAnswers << std::nullopt;
    auto answer = Run({{"path", "FilePost"}, {"value", FilePostValue("*.stl", false)}});
    ASSERT_TRUE(Wait(answer));
    EXPECT_EQ(answer->text, R"({"msg":"cancelUpload","status":"-1"})");
    // No record in the form.
    answer = Run({{"path", "FilePost"}, {"value", QJsonObject{{"limitFileType", "*.stl"}}}});
    ASSERT_TRUE(Wait(answer));
    EXPECT_EQ(answer->json().value("msg").toString(), "cancelUpload");
    // The service refuses: the form's own values come back.
    standin::Fault fault;
    fault.status = 500;
    world->server->SetFault("/resourceFile/uploadFile.htm", fault);
    world->panelAnswers << QStringList{file};
    answer = Run({{"path", "FilePost"}, {"value", FilePostValue("*.stl", false)}});
    ASSERT_TRUE(Wait(answer));
    QJsonObject reply = answer->json();
    EXPECT_EQ(reply.value("status").toString(), "-2");
    EXPECT_EQ(reply.value("msg").toString(), "操作失败");
    EXPECT_EQ(reply.value("data").toArray().first().toObject().value("bizId").toString(), "4711");
    // A picture: the upload window is not built yet, so it fails after telling the user.
    world->panelAnswers << QStringList{world->caseDir + "/pic.png"};
    answer = Run({{"path", "FilePost"}, {"value", FilePostValue("图片文件|*.jpg;*.png;", false)}});
    ASSERT_TRUE(Wait(answer));
    EXPECT_EQ(answer->json().value("status").toString(), "-2");
    EXPECT_TRUE(world->alerts.contains("正在开发中..."));
    EXPECT_EQ(Busy(), 0);
}

TEST_F(Executor, GetSmallPic)
{
    const QString png = world->root.filePath("a.png");
    ASSERT_TRUE(TestPicture(300, 200).save(png));
    const QString temp = QvUtilityObj::getTempFolder();
    QFile::remove(temp + "/a.png.jpg");
    QFile::remove(temp + "/a.png-small.jpg");

    // Both flags false: a JPEG "compress" of a PNG source, a PNG thumbnail.
    auto answer = Run({{"path", "GetSmallPic"}, {"value", QJsonObject{{"picPath", png}, {"isCompress", "N"}, {"onlySmall", 0}}}});
    ASSERT_TRUE(answer->called && answer->ok);
    QJsonObject data = answer->json().value("data").toObject();
    const auto bytes = [](const QJsonObject& o) {
        return QByteArray::fromBase64(o.value("base64").toString().remove("\r\n").toLatin1());
    };
    EXPECT_TRUE(bytes(data.value("compress").toObject()).startsWith("\xff\xd8"));
    const QByteArray thumb = bytes(data.value("thumbnail").toObject());
    EXPECT_TRUE(thumb.startsWith("\x89PNG"));
    EXPECT_EQ(QImage::fromData(thumb).size(), QSize(150, 100));
    EXPECT_EQ(data.value("thumbnail").toObject().value("picPath").toString(), png);
    for (const QString& line : data.value("compress").toObject().value("base64").toString().split("\r\n"))
        EXPECT_LE(line.size(), 64);

    // Only the small one: no "compress", the command's own path.
    answer = Run({{"path", "GetSmallPic"}, {"value", QJsonObject{{"picPath", png}, {"onlySmall", true}}}});
    data = answer->json().value("data").toObject();
    EXPECT_FALSE(data.contains("compress"));
    EXPECT_EQ(data.value("thumbnail").toObject().value("picPath").toString(), png);

    // Compressed: both copies in the temporary folder.
    answer = Run({{"path", "GetSmallPic"}, {"value", QJsonObject{{"picPath", png}, {"isCompress", "Y"}}}});
    EXPECT_TRUE(answer->ok);
    EXPECT_TRUE(QFile::exists(temp + "/a.png.jpg"));
    EXPECT_TRUE(QFile::exists(temp + "/a.png-small.jpg"));
    EXPECT_EQ(answer->json().value("data").toObject().value("compress").toObject().value("picPath").toString(),
              temp + "/a.png.jpg");

    // A picture from an address.
    answer = Run({{"path", "GetSmallPic"}, {"value", QJsonObject{{"picPath", world->Domain() + "/files/pic.png"}}}});
    EXPECT_TRUE(answer->ok) << answer->text.toStdString();

    // Refusals.
    answer = Run({{"path", "GetSmallPic"}, {"value", "x"}});
    EXPECT_EQ(answer->text, R"({"msg":"参数错误","status":"0"})");
    answer = Run({{"path", "GetSmallPic"}, {"value", QJsonObject{{"picPath", world->root.filePath("none.png")}}}});
    EXPECT_FALSE(answer->ok);
    EXPECT_EQ(answer->json().value("msg").toString(), "fail");
}

TEST_F(Executor, PicturesWindowAnswersWithTheIdAsALiteral)
{
    const QString id = QStringLiteral("e\"1'); alert('x");
    auto answer = Run({{"path", "RvmPicturesShow"},
                       {"value", QJsonObject{{"emrId", id}, {"urlServerHost", "h"}, {"callBackMethod", "filePosted"}}}});
    ASSERT_TRUE(answer->called);
    EXPECT_TRUE(answer->ok);
    EXPECT_EQ(answer->json().value("emrId").toString(), id);
    ASSERT_FALSE(scripts.isEmpty());
    EXPECT_EQ(scripts.last(), "filePosted(" + pagetext::ScriptLiteral(id) + ")");
    EXPECT_TRUE(world->alerts.contains("正在开发中..."));
    for (const QJsonValue& value : {QJsonValue("x"), QJsonValue(QJsonObject{{"emrId", "1"}})}) {
        answer = Run({{"path", "RvmPicturesShow"}, {"value", value}});
        EXPECT_TRUE(answer->called && !answer->ok && answer->text.isEmpty());
    }
}

TEST_F(Executor, FileSynchronizationIntoARootWithSpaceAndChinese)
{
    const QString root = world->root.filePath("同步 文件");
    QDir().mkpath(root);
    world->panelAnswers << QStringList{root};
    // An older copy of the scheme that the service now fails to send stays as it was.
    const QString folder = root + "/202403/RV2024-0002/P24030701";
    ASSERT_TRUE(WriteBytes(folder + "/demo-1.RVS", "older"));
    standin::Fault fault;
    fault.status = 500;
    world->server->SetFault("/files/demo-1.RVS", fault);

    auto answer = Run({{"path", "/rivela/FileSynchronization"}, {"value", "RV2024-0002"}});
    ASSERT_TRUE(Wait(answer));
    EXPECT_FALSE(answer->ok);
    EXPECT_TRUE(answer->text.isEmpty());
    EXPECT_EQ(ReadBytes(folder + "/demo-model.zip"), "PK-model-bytes");
    EXPECT_EQ(ReadBytes(folder + "/demo-1.RVS"), "older");
    EXPECT_TRUE(scripts.contains("syncFile('1')"));
    ASSERT_TRUE(qtwait::WaitFor([&] { return Busy() == 0; }, 10000));
    EXPECT_TRUE(world->Logged("POST /rvmds/recvAndDataReview/syncFileResult.htm parts=jsonData"));
    // The first choice was stored: the next call asks no more.
    EXPECT_EQ(syncfolder::StoredRoot(), root);
    EXPECT_EQ(world->requests.size(), 1);
}

TEST_F(Executor, UploadSyncFilesFindsTheFileByTheRule)
{
    const QString root = world->root.filePath("sync");
    ASSERT_TRUE(syncfolder::StoreRoot(root));
    RVFileModel record;
    record.firstSaveTime = QDateTime(QDate(2023, 11, 14), QTime(10, 0)).toMSecsSinceEpoch();
    record.stage = 3;
    record.medicalCaseNo = "C123";
    const QString folder = root + "/202311/C123/P23111403";
    ASSERT_TRUE(WriteBytes(folder + "/scan.001.STL", "upper"));
    ASSERT_TRUE(WriteBytes(folder + "/scan.001.stl", "lower"));
    const auto command = [&](const QString& tag) {
        const QJsonObject file{{"fileName", "001"}, {"fileExtension", QJsonArray{".stl"}}, {"bizId", 9},
                               {"fileType", 1041}, {"medicalCaseNo", record.medicalCaseNo},
                               {"firstSaveTime", record.firstSaveTime}, {"stage", 3}};
        return QJsonObject{{"path", "/rivela/UploadSyncFiles"},
                           {"value", QJsonObject{{"formData", QJsonArray{QJsonObject{}, QJsonObject{{"value", pagetext::Json(file)}}}},
                                                 {"uploadUrl", world->Domain() + "/resourceFile/uploadFile.htm"},
                                                 {"tag", tag},
                                                 {"callBackMethodName", "syncCallback"}}}};
    };
    Run(command("found"));
    ASSERT_TRUE(qtwait::WaitFor([&] { return !scripts.isEmpty(); }, 20000));
    EXPECT_EQ(scripts.last(), R"(syncCallback({"fileName":"001","msg":"文件上传成功","status":200,"tag":"found"}))");
    EXPECT_EQ(Fetch(Upload(1)), "lower");

    QFile::remove(folder + "/scan.001.stl");
    scripts.clear();
    Run(command("gone"));
    ASSERT_EQ(scripts.size(), 1);
    EXPECT_EQ(scripts.last(), R"(syncCallback({"msg":"文件不存在","status":"-2","tag":"gone"}))");
}

TEST_F(Executor, AVanishedRootIsAskedForAgainAndUsedOnce)
{
    const QString gone = world->root.filePath("gone");
    ASSERT_TRUE(syncfolder::StoreRoot(gone));
    const QString other = world->root.filePath("other");
    QDir().mkpath(other);
    world->panelAnswers << QStringList{other};
    EXPECT_EQ(ExecuteJSCommandHandle::shared().getdirectory(), other);
    EXPECT_EQ(syncfolder::StoredRoot(), gone);
    EXPECT_EQ(ExecuteJSCommandHandle::shared().getdirectory(), std::nullopt); // asked again, cancelled
    EXPECT_EQ(world->requests.size(), 2);
    // The menu's choice replaces it.
    world->panelAnswers << QStringList{other};
    ExecuteJSCommandHandle::shared().updateFileDirectory();
    EXPECT_EQ(syncfolder::StoredRoot(), other);
}

TEST_F(Executor, DownloadReplacesOnlyAfterAWholeReply)
{
    const QString folder = world->root.filePath("下载 目录");
    ASSERT_TRUE(WriteBytes(folder + "/scheme.RVS", "older"));
    struct Case {
        int status;
        const char* content;
        bool alert;
    } cases[] = {{500, "older", true}, {0, "scheme-one", false}};
    for (const Case& c : cases) {
        world->alerts.clear();
        world->server->Reset();
        if (c.status) {
            standin::Fault fault;
            fault.status = c.status;
            world->server->SetFault("/files/demo-1.RVS", fault);
        }
        world->panelAnswers << QStringList{folder};
        auto manager = FileTransferManager::initWithFileUrl(world->Domain() + "/files/demo-1.RVS", "scheme.RVS");
        manager->start();
        ASSERT_TRUE(qtwait::WaitFor([&] { return manager->finished(); }, 20000));
        EXPECT_EQ(ReadBytes(folder + "/scheme.RVS"), c.content);
        EXPECT_EQ(world->alerts.contains("下载失败"), c.alert);
    }
    // A name that climbs out of the folder stays inside it.
    world->panelAnswers << QStringList{folder};
    auto manager = FileTransferManager::initWithFileUrl(world->Domain() + "/files/demo-1.RVS", "../escape.RVS");
    manager->start();
    ASSERT_TRUE(qtwait::WaitFor([&] { return manager->finished(); }, 20000));
    EXPECT_EQ(QFileInfo(manager->path()).absolutePath(), QFileInfo(folder).absoluteFilePath());
    EXPECT_FALSE(QFile::exists(world->root.filePath("escape.RVS")));
}

namespace {

struct Recorder : WebImageCacheTaskDelegate {
    QStringList completed;
    QStringList failed;
    void taskComplete(const QString& path) override { completed << path; }
    void taskFailed(const QString& error) override { failed << error; }
};

} // namespace

TEST_F(Executor, WebImageCache)
{
    const QString folder = world->root.filePath("webcache");
    auto cache = std::make_unique<WebImageCache>(folder);
    const QString index = folder + "/WebImageCache.plist";
    EXPECT_EQ(ReadBytes(index), WebImageCache::EmptyIndexText());
    EXPECT_EQ(WebImageCache::EmptyIndexText(),
              "<?xml version=\"1.0\" encoding=\"UTF-8\"?><!DOCTYPE plist PUBLIC \"-//Apple//DTD PLIST 1.0//EN\" "
              "\"http://www.apple.com/DTDs/PropertyList-1.0.dtd\"><plist version=\"1.0\"><dict/></plist>");

    const QString url = world->Domain() + "/files/pic.png";
    const QString missing = world->Domain() + "/files/none.png";
    QLabel label;
    auto recorder = std::make_shared<Recorder>();
    cache->addTask(url, &label, recorder);
    cache->addTask(missing, nullptr, recorder);
    ASSERT_TRUE(qtwait::WaitFor([&] { return recorder->completed.size() + recorder->failed.size() == 2; }, 20000));
    ASSERT_EQ(recorder->completed.size(), 1);
    EXPECT_EQ(recorder->failed.size(), 1);
    EXPECT_EQ(QFileInfo(recorder->completed[0]).fileName(), QvUtilityObj::md5(url) + ".png");
    EXPECT_FALSE(label.pixmap().isNull());
    EXPECT_EQ(cache->getWebImageFilePath(url), recorder->completed[0]);
    EXPECT_TRUE(cache->getWebImageFilePath(missing).isNull());
    EXPECT_TRUE(ReadBytes(index).contains(url.toUtf8()));

    // Served from disk at once; a reload of the index sees the same entry.
    cache->addTask(url, nullptr, recorder);
    EXPECT_EQ(recorder->completed.size(), 2);
    ASSERT_TRUE(cache->initPListData());
    EXPECT_EQ(cache->getWebImageFilePath(url), recorder->completed[0]);
    // A cached file that became a folder is not cached.
    QFile::remove(recorder->completed[0]);
    QDir().mkpath(recorder->completed[0]);
    EXPECT_TRUE(cache->getWebImageFilePath(url).isNull());
    QDir(recorder->completed[0]).removeRecursively();

    EXPECT_EQ(WebImageCache::FileNameFor("http://h/a.jpg?x=1"), QvUtilityObj::md5("http://h/a.jpg?x=1") + ".jpg?x=1");
    EXPECT_EQ(WebImageCache::FileNameFor("http://h/a"), QvUtilityObj::md5("http://h/a") + ".");

    cache->clearWebImageCache();
    EXPECT_EQ(ReadBytes(index), WebImageCache::EmptyIndexText());
    // The worker stops, idle or not.
    cache->addTask(missing, nullptr, {});
    cache->safeExitThread();
    cache.reset();
}
