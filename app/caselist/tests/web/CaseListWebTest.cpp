// SPDX-License-Identifier: GPL-3.0-or-later
// The case list over the stand-in's portal page in a real web view. One controller
// and page serve every case (the web engine is slow to start); the checks drive the
// page by running its own script functions.
#include "../CaseListFixtures.h"

#include "app/caselist/PageText.h"
#include "app/caselist/RVCaseListWebController.h"
#include "app/platform/CookieStorage.h"
#include "app/platform/NotificationHub.h"
#include "app/shell/widgets/RVProgressIndicator.h"
#include "tools/rivela-standin/StandinCbct.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QScreen>
#include <QVBoxLayout>
#include <QWebEnginePage>

using namespace caselisttest;

namespace {

struct Delegate : RVCaseListViewControllerDelegate {
    QList<QPair<int, std::shared_ptr<RVCaseInfo>>> calls;
    void viewType(int type, std::shared_ptr<RVCaseInfo> caseInfo) override { calls.append({type, caseInfo}); }
};

struct Web {
    std::unique_ptr<World> world;
    std::unique_ptr<QWidget> window;
    std::unique_ptr<RVCaseListWebController> controller;
    Delegate delegate;
    int loads = 0;
};
Web* g = nullptr;

QVariant Js(const QString& script)
{
    bool done = false;
    QVariant result;
    g->controller->page()->runJavaScript(script, [&](const QVariant& v) {
        result = v;
        done = true;
    });
    EXPECT_TRUE(qtwait::WaitFor([&] { return done; }, 20000)) << script.toStdString();
    return result;
}

// The argument lists of the page function's calls, in order.
QJsonArray Calls(const QString& name)
{
    const QString script =
        QStringLiteral("JSON.stringify(window.rivelaCalls.filter(function(c){return c.name===%1;}).map(function(c){return c.args;}))")
            .arg(pagetext::ScriptLiteral(name));
    return QJsonDocument::fromJson(Js(script).toString().toUtf8()).array();
}

bool WaitCalls(const QString& name, int count)
{
    return qtwait::WaitFor([&] { return Calls(name).size() >= count; }, 20000);
}

void Load(const QUrl& url)
{
    const int before = g->loads;
    g->controller->setWebUrl(url);
    ASSERT_TRUE(qtwait::WaitFor([&] { return g->loads > before; }, 30000));
}

} // namespace

class CaseListWeb : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        g = new Web;
        g->world = std::make_unique<World>();
        // Cookies of the shared store: only the one of exactly this host goes to the page.
        auto& cookies = platform::CookieStorage::Shared();
        QNetworkCookie exact("exactHost", "1");
        exact.setDomain("127.0.0.1");
        exact.setPath("/");
        QNetworkCookie parent("parentDomain", "1");
        parent.setDomain(".0.0.1");
        parent.setPath("/");
        ASSERT_TRUE(cookies.SetCookie(exact));
        ASSERT_TRUE(cookies.SetCookie(parent));

        g->window = std::make_unique<QWidget>();
        g->window->resize(1280, 800);
        g->controller = std::make_unique<RVCaseListWebController>();
        g->controller->setDelegate(&g->delegate);
        auto* layout = new QVBoxLayout(g->window.get());
        layout->setContentsMargins(0, 0, 0, 0);
        layout->addWidget(g->controller->view());
        g->window->show();
        QObject::connect(g->controller->page(), &QWebEnginePage::loadFinished, [](bool) { ++g->loads; });
        Load(QUrl(g->world->Domain()));
        // The equipment report follows the first load.
        std::string report;
        ASSERT_TRUE(qtwait::WaitFor(
            [&] {
                for (const auto& line : g->world->server->Log())
                    if (line.rfind("POST /rvmds/log/equipmentInfo/save.htm", 0) == 0)
                        report = line;
                return !report.empty();
            },
            20000));
        EXPECT_NE(report.find("os=linux"), std::string::npos) << report;
        EXPECT_NE(report.find("graphicsCard=llvmpipe"), std::string::npos) << report;
        EXPECT_NE(report.find("resolution=1440X900"), std::string::npos) << report;
    }
    static void TearDownTestSuite()
    {
        g->controller.reset();
        g->window.reset();
        platform::CookieStorage::Shared().DeleteAll();
        delete g;
        g = nullptr;
    }
    void SetUp() override
    {
        g->world->alerts.clear();
        g->world->panelAnswers.clear();
        g->world->requests.clear();
        g->delegate.calls.clear();
        g->world->server->Reset();
    }
};

TEST_F(CaseListWeb, OpensCasesThroughTheDelegate)
{
    // Two plans carry the scheme's id: the second one names it.
    standin::Fault plans;
    plans.replaceBody = true;
    plans.contentType = "application/json";
    plans.body = R"({"status":200,"msg":"success","data":[{"planId":"121","planName":"7","planType":"1"},)"
                 R"({"planId":"120","planName":"8","planType":"3"},{"planId":121,"planName":"9","planType":"2"}]})";
    g->world->server->SetFault("/restful/getAllPlan.htm", plans);
    Js("openCase(2)"); // RV2024-0003, a self-arranged scheme, as "jsView3DFile"
    ASSERT_TRUE(qtwait::WaitFor([] { return g->delegate.calls.size() == 1; }, 20000));
    auto [type, info] = g->delegate.calls[0];
    EXPECT_EQ(type, 2);
    EXPECT_EQ(info->caseNo, "RV2024-0003");
    EXPECT_EQ(info->phaseNo, "2");
    EXPECT_EQ(info->patientName, "张伟"); // the service's name, not the page's
    EXPECT_EQ(info->schemeName, "专家方案9");
    EXPECT_EQ(info->schemeType, "3");
    EXPECT_FALSE(info->approveSchemeStep);

    g->world->server->Reset();
    Js("openCase(1)"); // "jsApproveScheme"
    ASSERT_TRUE(qtwait::WaitFor([] { return g->delegate.calls.size() == 2; }, 20000));
    EXPECT_EQ(g->delegate.calls[1].first, 2);
    EXPECT_TRUE(g->delegate.calls[1].second->approveSchemeStep);
    EXPECT_EQ(g->delegate.calls[1].second->patientName, "李静");

    Js("openCase(0, 'jsViewImage')");
    ASSERT_TRUE(qtwait::WaitFor([] { return g->delegate.calls.size() == 3; }, 20000));
    EXPECT_EQ(g->delegate.calls[2].first, 1);

    // Another function: the plans are fetched, the user is told, nobody is called.
    Js("openCase(0, 'jsSomethingElse')");
    ASSERT_TRUE(qtwait::WaitFor([] { return g->world->alerts.contains("正在开发中..."); }, 20000));
    qtwait::Settle(500);
    EXPECT_EQ(g->delegate.calls.size(), 3);
    EXPECT_TRUE(g->world->Logged("GET /rvmds/restful/getAllPlan.htm?caseId=7001"));
}

TEST_F(CaseListWeb, CookiesBothWaysAndTheEquipmentReportOnce)
{
    const QString cookie = Js("document.cookie").toString();
    EXPECT_TRUE(cookie.contains("exactHost=1")) << cookie.toStdString();
    EXPECT_TRUE(cookie.contains("enabledUploadCBCT=true")) << cookie.toStdString();
    EXPECT_FALSE(cookie.contains("parentDomain")) << cookie.toStdString();

    struct Case {
        const char* domain;
        const char* url;
        bool sent;
    } cases[] = {
        {"127.0.0.1", "http://127.0.0.1:9/x", true},
        {"127.0.0.1:9", "http://127.0.0.1:9/x", true},
        {".0.0.1", "http://127.0.0.1:9/x", false},
        {"example.org", "http://127.0.0.1:9/x", false},
        {"127.0.0.1", "about:blank", false},
    };
    for (const Case& c : cases) {
        QNetworkCookie probe("probe", "1");
        probe.setDomain(c.domain);
        ASSERT_TRUE(platform::CookieStorage::Shared().SetCookie(probe));
        bool sent = false;
        for (const QNetworkCookie& k : RVCaseListWebController::getHttpCookieArray(QUrl(c.url)))
            sent = sent || k.name() == "probe";
        EXPECT_EQ(sent, c.sent) << c.domain << " " << c.url;
        platform::CookieStorage::Shared().DeleteCookie(probe);
    }

    // A cookie the page sets comes back to the shared store after the next load; the
    // equipment report is not sent again.
    Js("document.cookie = 'fromPage=2; path=/'");
    Load(QUrl(g->world->Domain()));
    bool back = false;
    for (const QNetworkCookie& k : platform::CookieStorage::Shared().Cookies())
        back = back || (k.name() == "fromPage" && k.value() == "2");
    EXPECT_TRUE(back);
    EXPECT_FALSE(g->world->Logged("POST /rvmds/log/equipmentInfo/save.htm"));
    EXPECT_FALSE(g->controller->firstLoad());
    EXPECT_TRUE(RVCaseListWebController::equipmentInfo().value("graphicsCard").toString().contains("llvmpipe"));
}

TEST_F(CaseListWeb, PromptsAnswerWithTheExecutorsResult)
{
    const QString pic = g->world->caseDir + "/pic.png";
    QString answer = Js(QStringLiteral("prompt(JSON.stringify({path: '/rivela/GetSmallPic', value: {picPath: %1, onlySmall: 'Y'}}), '')")
                            .arg(pagetext::ScriptLiteral(pic))).toString();
    EXPECT_EQ(QJsonDocument::fromJson(answer.toUtf8()).object().value("status").toString(), "200") << answer.toStdString();
    EXPECT_EQ(Js("prompt('not json', '')").toString(), "");

    // A late answer: the upload ends after the prompt was asked.
    const QString file = g->world->root.filePath("my file?.stl");
    ASSERT_TRUE(WriteBytes(file, "solid"));
    g->world->panelAnswers << QStringList{file};
    standin::Fault slow;
    slow.delayMs = 600;
    g->world->server->SetFault("/resourceFile/uploadFile.htm", slow);
    const QString record = pagetext::Json({{"bizId", 5}, {"fileType", 1041}, {"fileName", "m"}});
    Js(QStringLiteral("promptCommand('/rivela/FilePost', {formData: [{value: %1}], uploadUrl: domain + '/resourceFile/uploadFile.htm', "
                      "needZip: true, limitFileType: '*.stl;'})")
           .arg(pagetext::ScriptLiteral(record)));
    const QJsonArray prompts = Calls("prompt");
    ASSERT_FALSE(prompts.isEmpty());
    const QJsonObject reply = QJsonDocument::fromJson(prompts.last().toArray().at(1).toString().toUtf8()).object();
    EXPECT_EQ(reply.value("msg").toString(), "操作成功");
    EXPECT_EQ(reply.value("data").toArray().first().toObject().value("fileName").toString(), "myfile.zip");
    EXPECT_EQ(ExecuteJSCommandHandle::shared().indicator()->displayCount(), 0);

    // The photo window's id reaches the page intact, quotes and all.
    Js(R"(promptCommand('/rivela/RvmPicturesShow', {emrId: 'e"1\'x', urlServerHost: 'h', callBackMethod: 'filePosted'}))");
    ASSERT_TRUE(WaitCalls("filePosted", 1));
    EXPECT_EQ(Calls("filePosted").last().toArray().at(0).toString(), "e\"1'x");
}

TEST_F(CaseListWeb, MainCommandsAnswerThePage)
{
    const QString a = g->world->root.filePath("a.png");
    const QString b = g->world->root.filePath("b.jpg");
    const QString junk = g->world->root.filePath("c.bmp");
    ASSERT_TRUE(TestPicture(40, 30).save(a));
    ASSERT_TRUE(TestPicture(30, 40).save(b));
    ASSERT_TRUE(WriteBytes(junk, "not a picture"));

    // Three picked files: three calls, in order; cancelled: one empty answer.
    g->world->panelAnswers << QStringList{a, b, junk} << std::nullopt;
    Js("mainCommand('/rivela/SelectPic', {multiFile: 'N', tag: 'front'})");
    ASSERT_TRUE(WaitCalls("LoadPicture", 3));
    Js("mainCommand('/rivela/SelectPic', {multiFile: 1, tag: 'side'})");
    ASSERT_TRUE(WaitCalls("LoadPicture", 4));
    const QJsonArray loads = Calls("LoadPicture");
    const auto arg = [&](int i) { return loads.at(i).toArray().at(0).toObject(); };
    EXPECT_TRUE(arg(0).value("FilePath").toString().endsWith(a)) << arg(0).value("FilePath").toString().toStdString();
    EXPECT_TRUE(arg(1).value("FilePath").toString().endsWith(b));
    EXPECT_EQ(arg(0).value("status").toString(), "200");
    EXPECT_EQ(arg(2).value("status").toString(), "0");
    EXPECT_EQ(arg(3).value("status").toString(), "0");
    EXPECT_EQ(arg(3).value("tag").toString(), "side");
    EXPECT_FALSE(arg(0).value("Thumbnail").toObject().value("base64").toString().isEmpty());

    // Editing: the editor is not built yet, the picture comes back as it was.
    Js(QStringLiteral("mainCommand('/rivela/EditPic', {picPath: %1, tag: 'front'})").arg(pagetext::ScriptLiteral(a)));
    ASSERT_TRUE(WaitCalls("EditPicCallBack", 1));
    EXPECT_EQ(Calls("EditPicCallBack").last().toArray().at(0).toObject().value("filePath").toString(), a);
    EXPECT_TRUE(g->world->alerts.contains("正在开发中..."));

    // Not JSON.
    Js("window.webkit.messageHandlers.ExecuteMainCommand.postMessage('{oops')");
    ASSERT_TRUE(qtwait::WaitFor([] { return g->world->alerts.contains("参数解析错误!"); }, 20000));

    // A sync upload without a chosen folder finds nothing.
    g->world->panelAnswers << std::nullopt;
    Js("mainCommand('/rivela/UploadSyncFiles', {formData: [{value: '{\"fileName\":\"001\"}'}], tag: 't', callBackMethodName: 'syncCallback'})");
    ASSERT_TRUE(WaitCalls("syncCallback", 1));
    EXPECT_EQ(Calls("syncCallback").last().toArray().at(0).toObject().value("msg").toString(), "文件不存在");

    // The CBCT cancel answers through the upload commands.
    const QString access = QString::fromStdString(g->world->server->Cbct().AcquireAccessUrl("RV2024-0001"));
    Js(QStringLiteral("mainCommand('/rivela/CBCTUploadCancel', {AcquireAccessUrl: %1, Tag: {row: 1}, FileName: 'ct.zip'})")
           .arg(pagetext::ScriptLiteral(access)));
    ASSERT_TRUE(WaitCalls("CBCTUploadCallback", 1));
    // The upload runs on its own queue; a cancelled archive panel is told to the page.
    g->world->panelAnswers << std::nullopt;
    Js(QStringLiteral("mainCommand('/rivela/CBCTUploadUpload', {AcquireAccessUrl: %1, Tag: 'ct'})").arg(pagetext::ScriptLiteral(access)));
    ASSERT_TRUE(WaitCalls("CBCTUploadCallback", 2));
    EXPECT_EQ(g->world->requests.last().filters, QStringList{"CBCT (*.rar *.zip)"});

    // A page download answered 500 keeps the older file.
    const QString folder = g->world->root.filePath("downloads");
    ASSERT_TRUE(WriteBytes(folder + "/plan.RVS", "older"));
    standin::Fault fault;
    fault.status = 500;
    g->world->server->SetFault("/files/demo-1.RVS", fault);
    g->world->panelAnswers << QStringList{folder};
    Js("mainCommand('/rivela/Download', {DownloadUrl: domain + '/files/demo-1.RVS', FileName: 'plan.RVS'})");
    ASSERT_TRUE(qtwait::WaitFor([] { return g->world->alerts.contains("下载失败"); }, 20000));
    EXPECT_EQ(ReadBytes(folder + "/plan.RVS"), "older");

    // "CloseForm" leaves the window where it is.
    Js("post('CloseForm', '')");
    qtwait::Settle(300);
    EXPECT_TRUE(g->window->isVisible());

    // The refresh notification reaches the page.
    platform::NotificationHub::Shared().Post("WebRefreshCaseDetailNotificationName");
    ASSERT_TRUE(WaitCalls("globalRefresh", 1));
}

TEST_F(CaseListWeb, AResponseThePageCannotShowIsSaved)
{
    const QString target = g->world->root.filePath("saved/方案 1.RVS");
    QDir().mkpath(QFileInfo(target).absolutePath());
    g->world->panelAnswers << QStringList{target};
    Js("document.getElementById('attachment').click()");
    ASSERT_TRUE(qtwait::WaitFor([&] { return QFile::exists(target); }, 20000));
    EXPECT_EQ(ReadBytes(target), "scheme-one");
    ASSERT_FALSE(g->world->requests.isEmpty());
    EXPECT_EQ(g->world->requests.last().proposedName, "demo-1.RVS");
    EXPECT_EQ(g->controller->indicator()->displayCount(), 0);
}

TEST_F(CaseListWeb, Screenshot)
{
    qtwait::Settle(300);
    QDir().mkpath(RIVELA_SCREENS_DIR);
    const QImage shot = g->window->screen()->grabWindow(g->window->winId()).toImage();
    ASSERT_TRUE(shot.save(QStringLiteral(RIVELA_SCREENS_DIR "/caselist.png")));
    // Not blank: the page's table and text draw more than one colour.
    QSet<QRgb> colours;
    for (int y = 0; y < shot.height(); y += 7)
        for (int x = 0; x < shot.width(); x += 7)
            colours.insert(shot.pixel(x, y));
    EXPECT_GT(colours.size(), 3);
}

// Last: it replaces the portal with a page that posts while its channel is not up yet.
TEST_F(CaseListWeb, AMessagePostedBeforeTheChannelIsUpArrives)
{
    const int before = g->loads;
    g->controller->page()->setHtml(
        "<html><body><script>window.webkit.messageHandlers.ExecuteRivelaCommand.postMessage("
        "{function: 'jsView3DFile', oneFormJson: {caseId: 7001, caseNo: 'RV2024-0001'}});</script></body></html>",
        QUrl(g->world->Domain() + "/early"));
    ASSERT_TRUE(qtwait::WaitFor([&] { return g->loads > before; }, 30000));
    ASSERT_TRUE(qtwait::WaitFor([] { return g->delegate.calls.size() == 1; }, 20000));
    EXPECT_EQ(g->delegate.calls[0].second->patientName, "王晓明");
}
