// SPDX-License-Identifier: GPL-3.0-or-later
// The network client and the case-service calls against the stand-in, which runs as
// a child process on 127.0.0.1.
#include "app/platform/Dispatch.h"
#include "app/service/RVHttpTransfer.h"
#include "app/service/RVNetworkClient.h"
#include "app/service/RVRequestManager.h"
#include "app/shell/QvUtilityObj.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <chrono>
#include <functional>

namespace {

// Pumps the GUI thread's events until done() or the time runs out.
bool PumpUntil(const std::function<bool()>& done, int ms = 5000)
{
    QElapsedTimer t;
    t.start();
    while (!done() && t.elapsed() < ms)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    return done();
}

class Standin {
public:
    bool Start()
    {
        if (!m_dir.isValid())
            return false;
        for (const char* name : {"demo-model.zip", "demo-1.RVS", "demo.OS", "demo-3.RVS", "方案 1.RVS"}) {
            QFile f(m_dir.filePath(QString::fromUtf8(name)));
            if (!f.open(QIODevice::WriteOnly))
                return false;
            f.write(QByteArray("content of ") + name);
        }
        m_process.setProgram(QStringLiteral(RIVELA_STANDIN_TOOL));
        m_process.setArguments({"--case", m_dir.path()});
        m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_process.start();
        if (!m_process.waitForStarted(5000))
            return false;
        while (!m_process.canReadLine())
            if (!m_process.waitForReadyRead(10000))
                return false;
        m_domain = QString::fromUtf8(m_process.readLine().trimmed());
        return m_domain.startsWith(QLatin1String("http://127.0.0.1:"));
    }
    ~Standin()
    {
        m_process.terminate();
        m_process.waitForFinished(5000);
    }
    const QString& Domain() const { return m_domain; }
    QString CaseDir() const { return m_dir.path(); }
    QString Root() const { return m_domain.left(m_domain.size() - int(qstrlen("/rvmds"))); }

    // Talks to the control paths from a network thread, as everything else does.
    bool Control(const QByteArray& method, const QString& pathAndQuery, QByteArray* body = nullptr)
    {
        RVHttpRequest req;
        req.method = method;
        req.url = QUrl(Root() + pathAndQuery);
        req.timeout = std::chrono::milliseconds(5000);
        if (method == "POST")
            req.contentType = "text/plain";
        RVHttpResponse r;
        platform::Semaphore done;
        RVRunOnNetworkThread([&] {
            r = RVPerformHttp(req);
            done.Signal();
        });
        (void)done.Wait();
        if (body)
            *body = r.body;
        return r.ok();
    }
    bool Fault(const QString& path, const QString& kind, const QString& extra = {})
    {
        return Control("POST", "/__control/fault?path=" + QUrl::toPercentEncoding(path) + "&kind=" + kind + extra);
    }
    bool FaultBody(const QString& path, const QByteArray& json, int times = -1)
    {
        return Fault(path, "body",
                     "&body=" + QString::fromLatin1(QUrl::toPercentEncoding(QString::fromUtf8(json))) +
                         (times > 0 ? "&times=" + QString::number(times) : QString()));
    }
    QStringList Log()
    {
        QByteArray body;
        Control("GET", "/__control/log", &body);
        return QString::fromUtf8(body).split(u'\n', Qt::SkipEmptyParts);
    }

private:
    QTemporaryDir m_dir;
    QProcess m_process;
    QString m_domain;
};

class ServiceTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        s_standin = new Standin;
        ASSERT_TRUE(s_standin->Start());
        QvUtilityObj::resetDomain(s_standin->Domain());
    }
    static void TearDownTestSuite()
    {
        RVWaitForNetworkThreads();
        delete s_standin;
        s_standin = nullptr;
    }
    void SetUp() override
    {
        ASSERT_NE(s_standin, nullptr);
        ASSERT_TRUE(s_standin->Control("POST", "/__control/reset"));
        RVTimeouts().transferMs = 5000;
        RVTimeouts().modelUrlWaitMs = 10000;
    }
    void TearDown() override { RVWaitForNetworkThreads(); }

    Standin& S() { return *s_standin; }
    QString Url(const QString& path) { return S().Domain() + path; }

    static Standin* s_standin;
};
Standin* ServiceTest::s_standin = nullptr;

struct Outcome {
    bool done = false;
    bool ok = false;
    QJsonValue reply;
    QString error;
    bool onGui = false;
};

Outcome Request(const QString& url, unsigned method, const QJsonObject& params)
{
    Outcome o;
    RVNetworkClient::shared().requestWithURL(
        url, method, params, nullptr,
        [&](const QJsonValue& v) {
            o.done = o.ok = true;
            o.reply = v;
            o.onGui = platform::IsGuiThread();
        },
        [&](const QString& e) {
            o.done = true;
            o.error = e;
            o.onGui = platform::IsGuiThread();
        });
    PumpUntil([&] { return o.done; });
    return o;
}

TEST_F(ServiceTest, ClientGetAndPostCarryTheParameters)
{
    const Outcome get = Request(Url("/restful/active"), 1, {{"caseId", 5}});
    ASSERT_TRUE(get.ok) << get.error.toStdString();
    EXPECT_TRUE(get.onGui);
    EXPECT_EQ(get.reply.toObject().value("status").toInt(), 200);
    const Outcome post = Request(Url("/log/equipmentInfo/save.htm"), 0, {{"caseId", 5}});
    ASSERT_TRUE(post.ok) << post.error.toStdString();
    const QStringList log = S().Log();
    ASSERT_EQ(log.size(), 2);
    EXPECT_EQ(log[0], "GET /rvmds/restful/active?caseId=5");
    EXPECT_EQ(log[1], "POST /rvmds/log/equipmentInfo/save.htm form=caseId=5");

    // Method 2 sends nothing and calls nothing.
    bool called = false;
    RVNetworkClient::shared().requestWithURL(Url("/restful/active"), 2, {{"caseId", 5}}, nullptr,
                                             [&](const QJsonValue&) { called = true; },
                                             [&](const QString&) { called = true; });
    RVWaitForNetworkThreads();
    QCoreApplication::processEvents();
    EXPECT_FALSE(called);
    EXPECT_EQ(S().Log().size(), 2);
}

TEST_F(ServiceTest, PortalPageIsTheWebAddress)
{
    QByteArray page;
    const QString web = QvUtilityObj::getURLWith("RivelaWebUrl");
    EXPECT_EQ(web, S().Domain());
    ASSERT_TRUE(S().Control("GET", web.mid(S().Root().size()), &page));
    EXPECT_TRUE(page.contains("ExecuteRivelaCommand"));
    EXPECT_TRUE(page.contains(S().Domain().toUtf8() + "/files/demo-model.zip"));
}

TEST_F(ServiceTest, ClientRefusesFaultyReplies)
{
    RVTimeouts().transferMs = 400;
    struct Row {
        const char* kind;
        const char* extra;
    };
    const Row rows[] = {{"status", "&code=500"}, {"login", ""}, {"badjson", ""}, {"cut", ""}, {"delay", "&ms=1500"},
                        {"body", "&type=text/html&body=%7B%22status%22%3A200%7D"}};
    for (const Row& r : rows) {
        SCOPED_TRACE(r.kind);
        ASSERT_TRUE(S().Fault("/restful/active", r.kind, QString::fromLatin1(r.extra) + "&times=1"));
        const Outcome o = Request(Url("/restful/active"), 1, {});
        EXPECT_TRUE(o.done);
        EXPECT_FALSE(o.ok);
        EXPECT_FALSE(o.error.isEmpty());
        EXPECT_TRUE(o.onGui);
    }
    // Nothing listens on this port any more: a transport failure.
    const Outcome closed = Request("http://127.0.0.1:1/rvmds/restful/active", 1, {});
    EXPECT_TRUE(closed.done);
    EXPECT_FALSE(closed.ok);
}

TEST_F(ServiceTest, UploadSendsFilePartsThenParameters)
{
    Outcome o;
    QTemporaryDir dir;
    const QString second = dir.filePath("second.bin");
    {
        QFile f(second);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("second");
    }
    auto task = RVRequestManager::uploadFileWihtURL(
        Url("/resourceFile/uploadFile.htm"), "front.jpg", {{"bizId", 12}, {"name", "x"}},
        RVUploadFile(QByteArray("picture")), nullptr,
        [&](const QJsonValue& v) {
            o.done = o.ok = true;
            o.reply = v;
        },
        [&](const QString& e) {
            o.done = true;
            o.error = e;
        });
    ASSERT_NE(task, nullptr);
    ASSERT_TRUE(PumpUntil([&] { return o.done; }));
    ASSERT_TRUE(o.ok) << o.error.toStdString();
    const QJsonArray data = o.reply.toObject().value("data").toArray();
    ASSERT_EQ(data.size(), 1);
    EXPECT_EQ(data[0].toObject().value("fileName").toString(), "front.jpg");
    EXPECT_EQ(S().Log().back(), "POST /rvmds/resourceFile/uploadFile.htm parts=oneFile,bizId,name");

    // The parameter parts carry text, the second file comes from its path; a missing
    // file adds no part.
    const QList<RVNetworkClient::Part> parts = RVNetworkClient::UploadParts(
        {{"a", RVUploadFile(QByteArray("A"))}, {"b", RVUploadFile(second)}}, {{"bizId", 12}, {"flag", true}});
    ASSERT_EQ(parts.size(), 4);
    EXPECT_EQ(parts[1].name, "twoFile");
    EXPECT_EQ(parts[1].data, "second");
    EXPECT_EQ(parts[2].data, "12");
    EXPECT_EQ(parts[3].data, "true");
    EXPECT_EQ(RVNetworkClient::UploadParts({{"a", RVUploadFile(QByteArray("A"))}, {"b", RVUploadFile()}}, {}).size(), 1);
    EXPECT_EQ(RVNetworkClient::UploadParts({{"a", RVUploadFile(dir.filePath("missing"))}}, {}).size(), 0);

    // The uploaded file is served back.
    QString path;
    bool finished = false;
    RVRequestManager::downloadFileWithURL(data[0].toObject().value("fileUrl").toString(), [&](const QString& p) {
        path = p;
        finished = true;
    });
    ASSERT_TRUE(PumpUntil([&] { return finished; }));
    ASSERT_FALSE(path.isEmpty());
    QFile back(path);
    ASSERT_TRUE(back.open(QIODevice::ReadOnly));
    EXPECT_EQ(back.readAll(), "picture");
    EXPECT_EQ(QFileInfo(path).fileName(), "front.jpg");
}

QString Download(const QString& url)
{
    QString path;
    bool finished = false;
    RVRequestManager::downloadFileWithURL(url, [&](const QString& p) {
        path = p;
        finished = true;
    });
    EXPECT_TRUE(PumpUntil([&] { return finished; }));
    return path;
}

QByteArray Contents(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

QStringList CacheEntries()
{
    return QDir(QvUtilityObj::getAppCacheFolder()).entryList(QDir::Files | QDir::Hidden);
}

TEST_F(ServiceTest, DownloadsLandWholeOrNotAtAll)
{
    const QString cache = QvUtilityObj::getAppCacheFolder();
    const QString path = Download(Url("/files/demo-model.zip"));
    ASSERT_EQ(path, cache + "/demo-model.zip");
    EXPECT_EQ(Contents(path), "content of demo-model.zip");

    // A newer download of the same name replaces it.
    QFile::remove(S().CaseDir() + "/demo-model.zip");
    {
        QFile f(S().CaseDir() + "/demo-model.zip");
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("newer model");
    }
    EXPECT_EQ(Download(Url("/files/demo-model.zip")), path);
    EXPECT_EQ(Contents(path), "newer model");

    // Faults keep the older file and leave no partial file behind.
    RVTimeouts().transferMs = 400;
    for (const char* kind : {"cut", "status", "delay"}) {
        SCOPED_TRACE(kind);
        ASSERT_TRUE(S().Fault("/files/demo-model.zip", kind, "&ms=1500&code=503&times=1"));
        EXPECT_TRUE(Download(Url("/files/demo-model.zip")).isNull());
        EXPECT_EQ(Contents(path), "newer model");
        EXPECT_EQ(CacheEntries().filter(".download").size(), 0) << CacheEntries().join(",").toStdString();
    }
    RVTimeouts().transferMs = 5000;
    EXPECT_TRUE(Download(Url("/files/absent.zip")).isNull());

    // A hostile suggested name stays in the cache folder.
    const QString hostile = Download(Url("/files/demo.OS?name=../../x"));
    EXPECT_EQ(hostile, cache + "/x");
    EXPECT_EQ(Contents(hostile), "content of demo.OS");
    for (const char* name : {"..", ".", ""}) {
        SCOPED_TRACE(name);
        EXPECT_EQ(Download(Url("/files/demo.OS?name=") + name), cache + "/demo.OS");
    }

    // Space and Chinese are escaped on the way out.
    const QString chinese = Download(Url("/files/方案 1.RVS"));
    EXPECT_EQ(QFileInfo(chinese).fileName(), "方案 1.RVS");
    EXPECT_EQ(Contents(chinese), QByteArray("content of 方案 1.RVS"));
    EXPECT_TRUE(S().Log().contains("GET /rvmds/files/方案 1.RVS"));
}

TEST_F(ServiceTest, DownloadToDestinationReportsProgress)
{
    QTemporaryDir dir;
    const QString target = dir.filePath("scheme.RVS");
    double last = 0;
    bool finished = false, ok = false;
    QString value;
    RVRequestManager::downloadFileWithURL(
        Url("/files/demo-3.RVS"), [&](double f) { last = f; }, target,
        [&](bool success, const QString& v) {
            finished = true;
            ok = success;
            value = v;
        });
    ASSERT_TRUE(PumpUntil([&] { return finished; }));
    EXPECT_TRUE(ok);
    EXPECT_EQ(value, target);
    EXPECT_DOUBLE_EQ(last, 1.0);
    EXPECT_EQ(Contents(target), "content of demo-3.RVS");

    ASSERT_TRUE(S().Fault("/files/demo-3.RVS", "cut", "&times=1"));
    finished = false;
    RVRequestManager::downloadFileWithURL(Url("/files/demo-3.RVS"), nullptr, target,
                                          [&](bool success, const QString& v) {
                                              finished = true;
                                              ok = success;
                                              value = v;
                                          });
    ASSERT_TRUE(PumpUntil([&] { return finished; }));
    EXPECT_FALSE(ok);
    EXPECT_FALSE(value.isEmpty());
    EXPECT_EQ(Contents(target), "content of demo-3.RVS");
}

TEST(RequestManager, EscapeForQuery)
{
    struct Row {
        const char* in;
        const char* out;
    };
    const Row rows[] = {
        {"http://h/a b", "http://h/a%20b"},
        {"http://h/方案.zip", "http://h/%E6%96%B9%E6%A1%88.zip"},
        {"http://h/f?sig=a%2Fb&x=1", "http://h/f?sig=a%2Fb&x=1"},
        {"http://h/100%", "http://h/100%25"},
        {"http://h/%zz#frag", "http://h/%25zz%23frag"},
        {"http://h/-._~!$&'()*+,;=:@/?", "http://h/-._~!$&'()*+,;=:@/?"},
        {"http://h/\"<>[]{}|\\^`", "http://h/%22%3C%3E%5B%5D%7B%7D%7C%5C%5E%60"},
    };
    for (const Row& r : rows)
        EXPECT_EQ(RVRequestManager::EscapeForQuery(QString::fromUtf8(r.in)), QByteArray(r.out)) << r.in;
}

TEST_F(ServiceTest, CaseCallsAgainstTheDemoCases)
{
    // On the GUI thread: the call waits without an event loop of the GUI's.
    auto info = RVRequestManager::queryCaseInfo(7002);
    ASSERT_NE(info, nullptr);
    EXPECT_EQ(info->caseNo, "RV2024-0002");
    EXPECT_EQ(info->patientName, "李静");
    EXPECT_EQ(RVRequestManager::queryCaseInfo(1), nullptr);

    RVCaseInfo page;
    page.patientName = "演示患者乙";
    page.schemeId = 120;
    RVRequestManager::updateRivelaCaseInfo("RV2024-0002", page);
    EXPECT_EQ(page.patientName, "李静");
    EXPECT_EQ(page.phaseNo, "1");
    EXPECT_EQ(page.schemeId, 120);

    EXPECT_EQ(RVRequestManager::fetchDMURLWithCaseId(7003), Url("/files/demo-model.zip"));
    EXPECT_TRUE(RVRequestManager::fetchDMURLWithCaseId(1).isNull());

    bool canModify = false;
    EXPECT_EQ(RVRequestManager::getBracketInfoWithCaseId(7005, &canModify), "DEMO");
    EXPECT_TRUE(canModify);
    EXPECT_TRUE(RVRequestManager::getBracketInfoWithCaseId(7001, &canModify).isNull());
    EXPECT_FALSE(canModify);
    EXPECT_TRUE(RVRequestManager::getCanCommitBracketWithCaseId(7005));

    const QList<RVPlanModel> plans = RVRequestManager::getAllPlanWithCaseId("7002");
    ASSERT_EQ(plans.size(), 4);
    EXPECT_EQ(plans[0].planId, "120");
    EXPECT_EQ(plans[1].planId, "120");
    EXPECT_TRUE(S().Log().contains("GET /rvmds/restful/getAllPlan.htm?caseId=7002&schemeType=1"));

    const auto sync = RVRequestManager::querySyncFileByMedicalCaseId("RV2024-0002");
    ASSERT_TRUE(sync.has_value());
    ASSERT_EQ(sync->size(), 2);
    EXPECT_EQ(sync->at(1).fileType, 1047u);
    EXPECT_EQ(sync->at(1).medicalCaseNo, "RV2024-0002");
    EXPECT_EQ(sync->at(0).fileExtension, QStringList{".zip"});

    EXPECT_EQ(RVRequestManager::createNewSchemeIdWithCaseId("7003"), "9001");
    EXPECT_TRUE(S().Log().contains("POST /rvmds/restful/addSchemeWithoutContext.htm form=caseId=7003&fileType=1048"));
    EXPECT_FALSE(RVRequestManager::IsRivelaToBelvistaWithCaseId(7001));
    EXPECT_TRUE(RVRequestManager::canSubmitTargetDesignByCaseId("7001"));

    bool passed = false, answered = false;
    RVRequestManager::queryAuditStepResult(501, [&](bool p) {
        passed = p;
        answered = true;
    });
    ASSERT_TRUE(PumpUntil([&] { return answered; }));
    EXPECT_TRUE(passed);

    RVRequestManager::activeStatisticalWithUsername("doctor");
    RVWaitForNetworkThreads();
    EXPECT_TRUE(S().Log().contains("GET /rvmds/restful/active?terminal=3&username=doctor"));
}

TEST_F(ServiceTest, ModelAddressGivesUpAfterItsWait)
{
    RVTimeouts().modelUrlWaitMs = 300;
    ASSERT_TRUE(S().Fault("/restful/queryCaseFiles.htm", "delay", "&ms=1100&times=1"));
    QElapsedTimer t;
    t.start();
    EXPECT_TRUE(RVRequestManager::fetchDMURLWithCaseId(7003).isNull());
    EXPECT_LT(t.elapsed(), 1000);
    // Run from a worker as well, and with "data" an empty list.
    ASSERT_TRUE(S().FaultBody("/restful/queryCaseFiles.htm", R"({"status":200,"data":[]})", 1));
    QString url = "unset";
    platform::Semaphore done;
    platform::AsyncGlobal([&] {
        url = RVRequestManager::fetchDMURLWithCaseId(7003);
        done.Signal();
    });
    ASSERT_TRUE(done.Wait(std::chrono::milliseconds(5000)));
    EXPECT_TRUE(url.isNull());
}

TEST_F(ServiceTest, RepliesOfTheWrongShape)
{
    const QString bracket = "/restful/getBracketCode.htm";
    ASSERT_TRUE(S().FaultBody(bracket, R"({"status":200,"data":{"bracketCode":42,"canModify":"1"}})"));
    bool flag = false;
    EXPECT_TRUE(RVRequestManager::getBracketInfoWithCaseId(7005, &flag).isNull());
    EXPECT_TRUE(flag);
    ASSERT_TRUE(S().FaultBody(bracket, R"({"status":200,"data":{"bracketCode":"B"}})"));
    EXPECT_EQ(RVRequestManager::getBracketInfoWithCaseId(7005, &flag), "B");
    EXPECT_TRUE(flag); // unchanged
    for (const char* kind : {"login", "badjson", "nulldata", "cut"}) {
        ASSERT_TRUE(S().Fault(bracket, kind));
        flag = true;
        EXPECT_TRUE(RVRequestManager::getBracketInfoWithCaseId(7005, &flag).isNull()) << kind;
        EXPECT_TRUE(flag);
        EXPECT_FALSE(RVRequestManager::getCanCommitBracketWithCaseId(7005)) << kind;
    }

    // The hand-over flag.
    struct FlagRow {
        const char* body;
        bool expected;
    };
    const FlagRow belvista[] = {
        {R"({"status":200,"data":true})", true},   {R"({"status":200,"data":1})", true},
        {R"({"status":200,"data":"Yes"})", true},  {R"({"status":200,"data":false})", false},
        {R"({"status":200,"data":0})", false},     {R"({"status":200,"data":"no"})", false},
        {R"({"status":200})", false},              {R"(true)", false},
    };
    for (const FlagRow& r : belvista) {
        ASSERT_TRUE(S().FaultBody("/restful/getRivelaToBelvistaByCaseId.htm", r.body));
        EXPECT_EQ(RVRequestManager::IsRivelaToBelvistaWithCaseId(7001), r.expected) << r.body;
    }

    // May the target design be submitted.
    struct SubmitRow {
        const char* need;    // null: the endpoint's own reply
        const char* suspend; // null: unreachable (a 503)
        bool expected;
        bool asksSuspend;
    };
    const SubmitRow submit[] = {
        {R"({"status":200,"data":true})", R"({"status":200,"data":false})", false, false},
        {R"({"status":"200","data":true})", R"({"status":200,"data":false})", true, true},
        {R"({"status":200,"data":false})", R"({"status":200,"data":true})", false, true},
        {R"({"status":200,"data":false})", R"({"status":"200","data":true})", true, true},
        {R"({"status":200,"data":"1"})", nullptr, false, false},
        {R"({"status":500,"data":true})", nullptr, true, true},
    };
    for (const SubmitRow& r : submit) {
        ASSERT_TRUE(S().Control("POST", "/__control/reset"));
        ASSERT_TRUE(S().FaultBody("/restful/getNeedScheme.htm", r.need));
        if (r.suspend)
            ASSERT_TRUE(S().FaultBody("/restful/getIsSuspend.htm", r.suspend));
        else
            ASSERT_TRUE(S().Fault("/restful/getIsSuspend.htm", "status", "&code=503"));
        EXPECT_EQ(RVRequestManager::canSubmitTargetDesignByCaseId("7001"), r.expected) << r.need;
        EXPECT_EQ(S().Log().filter("getIsSuspend").size(), r.asksSuspend ? 1 : 0) << r.need;
    }
    ASSERT_TRUE(S().Fault("/restful/getNeedScheme.htm", "status", "&code=503"));
    ASSERT_TRUE(S().Fault("/restful/getIsSuspend.htm", "login"));
    EXPECT_TRUE(RVRequestManager::canSubmitTargetDesignByCaseId("7001"));

    ASSERT_TRUE(S().FaultBody("/restful/getAllPlan.htm", R"({"status":200,"data":{"planId":"1"}})"));
    EXPECT_TRUE(RVRequestManager::getAllPlanWithCaseId("7002").isEmpty());
    ASSERT_TRUE(S().Fault("/restful/getAllPlan.htm", "login"));
    EXPECT_TRUE(RVRequestManager::getAllPlanWithCaseId("7002").isEmpty());

    ASSERT_TRUE(S().FaultBody("/restful/addSchemeWithoutContext.htm", R"({"status":200,"data":{"schemeId":9002}})"));
    const QString id = RVRequestManager::createNewSchemeIdWithCaseId("7003");
    EXPECT_TRUE(id.isEmpty());
    EXPECT_FALSE(id.isNull());
    ASSERT_TRUE(S().Fault("/restful/addSchemeWithoutContext.htm", "cut"));
    EXPECT_EQ(RVRequestManager::createNewSchemeIdWithCaseId("7003"), "");

    for (const char* kind : {"nulldata", "login", "status"}) {
        ASSERT_TRUE(S().Fault("/restful/getCaseInfo.htm", kind));
        EXPECT_EQ(RVRequestManager::queryCaseInfo(7002), nullptr) << kind;
        RVCaseInfo kept;
        kept.patientName = "p";
        RVRequestManager::updateRivelaCaseInfo("RV2024-0002", kept);
        EXPECT_EQ(kept.patientName, "p");
    }
    ASSERT_TRUE(S().Fault("/recvAndDataReview/getSyncFileByMedicalCaseId.htm", "badjson"));
    EXPECT_FALSE(RVRequestManager::querySyncFileByMedicalCaseId("RV2024-0002").has_value());
}

TEST_F(ServiceTest, AuditStepRejection)
{
    struct Row {
        const char* body;
        bool ok;
        const char* text;
        qint64 value;
    };
    const Row rows[] = {
        {R"({"status":200,"data":"17"})", true, "提交成功", 17},
        {R"({"status":200,"data":17})", true, "提交成功", 17},
        {R"({"status":"201","data":3})", true, "提交成功", 3},
        {R"({"status":200,"data":null})", false, "提交失败", 0},
        {R"({"status":200,"data":"x"})", false, "提交失败", 0},
        {R"({"status":500,"data":1})", false, "提交失败", 0},
        {R"([1])", false, "提交失败", 0},
    };
    const QString path = "/mycase/caseInfo/partner/auditStepUnPass.htm";
    for (const Row& r : rows) {
        ASSERT_TRUE(S().FaultBody(path, r.body));
        bool answered = false, ok = !r.ok;
        QString text;
        qint64 value = -1;
        RVRequestManager::noPassAuditStep(501, "context", "message", [&](bool o, const QString& t, qint64 v) {
            answered = true;
            ok = o;
            text = t;
            value = v;
        });
        ASSERT_TRUE(PumpUntil([&] { return answered; })) << r.body;
        EXPECT_EQ(ok, r.ok) << r.body;
        EXPECT_EQ(text, QString::fromUtf8(r.text));
        EXPECT_EQ(value, r.value);
    }
    EXPECT_TRUE(S().Log().back().contains("form=message=message&schemeContext=context&taskId=501"));
    ASSERT_TRUE(S().Fault(path, "login"));
    bool ok = true, answered = false;
    RVRequestManager::noPassAuditStep(501, "", "", [&](bool o, const QString&, qint64) {
        ok = o;
        answered = true;
    });
    ASSERT_TRUE(PumpUntil([&] { return answered; }));
    EXPECT_FALSE(ok);
}

} // namespace
