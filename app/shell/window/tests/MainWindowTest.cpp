// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/platform/Alerts.h"
#include "app/platform/CookieStorage.h"
#include "app/platform/Folders.h"
#include "app/platform/UserDefaults.h"
#include "app/service/RVCaseManager.h"
#include "app/shell/IniFile.h"
#include "app/shell/QvUtilityObj.h"
#include "app/shell/widgets/RVButton.h"
#include "app/shell/window/RivelaApp.h"
#include "testing/LoopbackServer.h"
#include "testing/QtScreens.h"
#include "tools/rivela-standin/Standin.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QMessageBox>
#include <QNetworkCookie>
#include <QTemporaryDir>
#include <QTimer>
#include <QVBoxLayout>

#include <gtest/gtest.h>

#include <functional>
#include <memory>

namespace {

// Everything the registered stand-ins of the other subsystems were told, in order.
QStringList g_calls;

QWidget* ColouredView(const QString& text, const QColor& colour)
{
    auto* view = new QWidget;
    view->setAutoFillBackground(true);
    QPalette palette = view->palette();
    palette.setColor(QPalette::Window, colour);
    view->setPalette(palette);
    auto* layout = new QVBoxLayout(view);
    layout->addWidget(new QLabel(text), 0, Qt::AlignCenter);
    return view;
}

class RecordingCaseList : public RVCaseListViewController {
public:
    ~RecordingCaseList() override { delete m_view.data(); }
    QWidget* view() override
    {
        if (!m_view)
            m_view = ColouredView(QStringLiteral("病例列表"), QColor(250, 250, 250));
        return m_view;
    }
    void setWebUrl(const QUrl& url) override { g_calls << QStringLiteral("setWebUrl ") + url.toString(); }

private:
    QPointer<QWidget> m_view;
};

class RecordingDesign : public RVDMViewController {
public:
    RecordingDesign() { g_calls << QStringLiteral("design made"); }
    ~RecordingDesign() override { delete m_view.data(); }
    QWidget* view() override
    {
        if (!m_view)
            m_view = ColouredView(QStringLiteral("三维设计"), QColor(60, 64, 72));
        return m_view;
    }
    void setCaseInfo(std::shared_ptr<RVCaseInfo> info) override { g_calls << QStringLiteral("design case ") + info->caseNo; }
    void closeOpenAll() override { g_calls << QStringLiteral("closeOpenAll"); }
    void exportOS() override { g_calls << QStringLiteral("exportOS"); }

private:
    QPointer<QWidget> m_view;
};

class RecordingImage : public RVScreenageDataViewController {
public:
    RecordingImage() { g_calls << QStringLiteral("image made"); }
    ~RecordingImage() override { delete m_view.data(); }
    QWidget* view() override
    {
        if (!m_view)
            m_view = ColouredView(QStringLiteral("影像资料"), QColor(230, 240, 230));
        return m_view;
    }
    void setCaseInfo(std::shared_ptr<RVCaseInfo> info) override
    {
        g_calls << QStringLiteral("image case ") + (info ? info->caseNo : QString());
    }
    void clear() override { g_calls << QStringLiteral("image clear"); }

private:
    QPointer<QWidget> m_view;
};

struct Account {
    QList<int> loginCodes; // what each login window ends with, in turn
    QString udcHost = QStringLiteral("http://127.0.0.1:9");
    QStringList roles;
    int apiType = 4;
    std::function<void()> duringLogin;
};

void RegisterStandIns(std::shared_ptr<Account> account)
{
    RVLoginSubsystem login;
    login.createLoginWindow = [account]() -> std::unique_ptr<QWidget> {
        const int code = account->loginCodes.isEmpty() ? platform::kModalResponseStop : account->loginCodes.takeFirst();
        g_calls << QStringLiteral("login window");
        if (account->duringLogin)
            account->duringLogin();
        auto window = std::make_unique<QWidget>();
        QTimer::singleShot(0, window.get(), [code] { platform::StopModal(code); });
        return window;
    };
    login.clearHTTPCookie = [] {
        g_calls << QStringLiteral("clearHTTPCookie");
        platform::CookieStorage::Shared().DeleteAll();
    };
    login.clearData = [] { g_calls << QStringLiteral("clearData"); };
    login.username = [] { return std::optional<QString>(QStringLiteral("doctor")); };
    login.password = [] { return QStringLiteral("secret"); };
    login.udcHost = [account] { return account->udcHost; };
    login.roles = [account] { return account->roles; };
    login.APIType = [account] { return account->apiType; };
    login.loginToUrl = [](const QString& url, const QString& sso, std::function<void()> complete) {
        g_calls << QStringLiteral("loginToUrl %1 %2").arg(url, sso);
        QTimer::singleShot(0, std::move(complete));
    };
    ShellSubsystems::RegisterLogin(login);
    ShellSubsystems::RegisterCaseList({[] { return std::make_unique<RecordingCaseList>(); },
                                       [] { g_calls << QStringLiteral("clearWebImageCache"); },
                                       [] { g_calls << QStringLiteral("updateFileDirectory"); }});
    ShellSubsystems::RegisterDesign({[] { return std::make_unique<RecordingDesign>(); },
                                     [] { g_calls << QStringLiteral("clearDocument"); }});
    ShellSubsystems::RegisterImage({[] { return std::make_unique<RecordingImage>(); }});
}

bool WaitFor(const std::function<bool()>& done, int ms = 10000)
{
    QElapsedTimer timer;
    timer.start();
    while (!done()) {
        if (timer.elapsed() > ms)
            return false;
        QApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    return true;
}

void SpinEvents(int ms = 50)
{
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < ms)
        QApplication::processEvents(QEventLoop::AllEvents, 10);
}

class MainWindowFixture : public ::testing::Test {
protected:
    void SetUp() override
    {
        g_calls.clear();
        ASSERT_TRUE(m_dir.isValid());
        platform::UserDefaults::UseFileForTesting(m_dir.filePath(QStringLiteral("defaults.ini")));
        platform::CookieStorage::Shared().DeleteAll();
        platform::SetResourceFolder(QStringLiteral(RIVELA_RESOURCES_DIR));
        RVCaseManager::shared().clear();
        m_account = std::make_shared<Account>();
        RegisterStandIns(m_account);
        m_app = std::make_unique<RivelaApp>();
        m_app->setTerminateHandler([] { g_calls << QStringLiteral("terminate"); });
    }
    void TearDown() override
    {
        platform::SetAlertResponder({});
        platform::SetResourceFolder({});
        m_app.reset();
        ShellSubsystems::Reset();
        SpinEvents(10);
    }
    static void StoreApplicationList(const QString& json)
    {
        platform::UserDefaults::Standard().SetValue(platform::defaults::kAllApplicationURL, json);
    }
    // Launches with a completed login and waits until the service choice has run.
    MainWindowController& Launch()
    {
        m_account->loginCodes = {platform::kModalResponseContinue};
        EXPECT_TRUE(m_app->applicationDidFinishLaunching());
        SpinEvents();
        return *m_app->getMainWindow();
    }

    QTemporaryDir m_dir;
    std::shared_ptr<Account> m_account;
    std::unique_ptr<RivelaApp> m_app;
};

// Answers each alert with the button of the given title, recording its text.
void AnswerAlerts(QStringList* seen, const QString& button)
{
    platform::SetAlertResponder([seen, button](QMessageBox& box) {
        *seen << box.text();
        const QList<QAbstractButton*> buttons = box.buttons();
        for (int i = 0; i < buttons.size(); ++i)
            if (buttons[i]->text() == button)
                return i;
        return -1;
    });
}

} // namespace

TEST_F(MainWindowFixture, OnlyACompletedLoginMakesTheMainWindow)
{
    m_account->loginCodes = {platform::kModalResponseStop};
    EXPECT_FALSE(m_app->applicationDidFinishLaunching());
    EXPECT_EQ(m_app->getMainWindow(), nullptr);
    EXPECT_EQ(g_calls, (QStringList{QStringLiteral("clearHTTPCookie"), QStringLiteral("login window")}));
    EXPECT_NE(m_app->menu(), nullptr);

    g_calls.clear();
    platform::UserDefaults::Standard().Remove(platform::defaults::kInitialToolTipDelay);
    MainWindowController& main = Launch();
    // Made and hidden in the order design, image, case list.
    EXPECT_EQ(g_calls.mid(1, 3), (QStringList{QStringLiteral("login window"), QStringLiteral("design made"),
                                              QStringLiteral("image made")}));
    EXPECT_TRUE(main.hasCaseViewController() && main.hasDMViewController() && main.hasImageViewController());
    ASSERT_EQ(main.arrangedViews().size(), 3);
    EXPECT_EQ(main.arrangedViews()[0], main.dmViewController().view());
    EXPECT_EQ(main.arrangedViews()[2], main.caseViewController().view());
    for (QWidget* view : main.arrangedViews())
        EXPECT_TRUE(view->isHidden());
    EXPECT_TRUE(main.window()->isVisible());
    EXPECT_TRUE(main.toolBar()->rowTypes().isEmpty()) << "no application list: no case list";
    EXPECT_EQ(platform::UserDefaults::Standard().Value(platform::defaults::kInitialToolTipDelay).toInt(), 50);
    m_app->applicationWillTerminate();
    EXPECT_EQ(g_calls.last(), QStringLiteral("clearWebImageCache"));
}

TEST_F(MainWindowFixture, BadApplicationListLoadsNothing)
{
    StoreApplicationList(QStringLiteral("{\"currList\": [ {\"serviceName\": \"RVM\""));
    MainWindowController& main = Launch();
    EXPECT_FALSE(main.model());
    EXPECT_TRUE(main.toolBar()->rowTypes().isEmpty());
    EXPECT_TRUE(g_calls.filter(QStringLiteral("loginToUrl")).isEmpty());
}

TEST_F(MainWindowFixture, CaseListSignedInByTicketFromTheEntrysOwnLoginHost)
{
    standin::Server service(m_dir.path().toStdString());
    const int servicePort = service.Start();
    ASSERT_GT(servicePort, 0);
    testing_http::LoopbackServer sso;
    ASSERT_GT(sso.Port(), 0);
    testing_http::Reply created = testing_http::Reply::Make(201, "text/plain", "");
    created.headers.push_back({"Location", sso.Url("/v1/tickets/TGT-1-abc")});
    sso.Route("POST", "/v1/tickets", created);

    const QString ssoHost = QStringLiteral("127.0.0.1:%1").arg(sso.Port());
    const QString webHost = QStringLiteral("127.0.0.1:%1").arg(servicePort);
    struct Case {
        const char* name;
        QString udcHost;
        QStringList roles;
        QString path;
        int tickets;
    };
    const Case cases[] = {
        {"other login host", QStringLiteral("http://127.0.0.1:%1").arg(servicePort), {QStringLiteral("RVM2C_DOCTOR")},
         QStringLiteral("rvmds"), 1},
        // The port is part of the host compared.
        {"same login host", QStringLiteral("http://") + ssoHost, {QStringLiteral("RVMMC")}, QStringLiteral("rvmmc"), 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        sso.ClearLog();
        service.Reset();
        g_calls.clear();
        m_app = std::make_unique<RivelaApp>();
        m_app->setTerminateHandler([] { g_calls << QStringLiteral("terminate"); });
        m_account->udcHost = c.udcHost;
        m_account->roles = c.roles;
        // An old ticket of that host (the start-up has cleared the cookies before the
        // login) is replaced, not kept beside the new one.
        m_account->duringLogin = [ssoHost] {
            QNetworkCookie old("CASTGC", "TGT-0-old");
            old.setDomain(ssoHost);
            old.setPath(QStringLiteral("/"));
            (void)platform::CookieStorage::Shared().SetCookie(old);
        };
        StoreApplicationList(QStringLiteral(R"({"currList":[{"serviceName":"BVS","url":"x","ssoUrl":"y"},)"
                                            R"({"serviceName":"RVM","url":"%1","ssoUrl":"%2"}]})")
                                 .arg(webHost, ssoHost));
        MainWindowController& main = Launch();
        const QString domain = QStringLiteral("http://%1/%2").arg(webHost, c.path);
        ASSERT_TRUE(WaitFor([&] { return g_calls.contains(QStringLiteral("setWebUrl ") + domain); })) << g_calls.join('\n').toStdString();
        EXPECT_TRUE(g_calls.contains(QStringLiteral("loginToUrl %1 %2").arg(domain, ssoHost)));
        EXPECT_EQ(QvUtilityObj::getURLWith(QStringLiteral("RivelaWebUrl")), domain);
        EXPECT_EQ(main.toolBar()->currentItemType(), 1u);
        EXPECT_TRUE(main.caseViewController().view()->isVisible());
        EXPECT_EQ(int(sso.Count("/v1/tickets")), c.tickets);

        QList<QNetworkCookie> tickets;
        for (const QNetworkCookie& cookie : platform::CookieStorage::Shared().Cookies())
            if (cookie.name() == "CASTGC")
                tickets << cookie;
        ASSERT_EQ(tickets.size(), 1);
        EXPECT_EQ(tickets[0].value(), c.tickets ? QByteArray("TGT-1-abc") : QByteArray("TGT-0-old"));
        EXPECT_EQ(tickets[0].path(), QStringLiteral("/"));
        EXPECT_EQ(tickets[0].domain(), ssoHost);
        if (c.tickets) {
            const auto log = sso.Log();
            ASSERT_EQ(log.size(), 1u);
            EXPECT_NE(log[0].body.find("username=doctor"), std::string::npos);
            EXPECT_NE(log[0].body.find("password=secret"), std::string::npos);
        }

        // The statistics report goes to the business domain once it is set (the
        // stand-in serves the "rvmds" domain).
        if (c.path != QStringLiteral("rvmds"))
            continue;
        auto active = [&service] {
            std::vector<std::string> lines;
            for (const std::string& line : service.Log())
                if (line.find("/restful/active") != std::string::npos)
                    lines.push_back(line);
            return lines;
        };
        ASSERT_TRUE(WaitFor([&] { return !active().empty(); }));
        SpinEvents(100);
        ASSERT_EQ(active().size(), 1u);
        EXPECT_NE(active()[0].find("terminal=3"), std::string::npos) << active()[0];
        EXPECT_NE(active()[0].find("/rvmds/restful/active"), std::string::npos) << active()[0];
        platform::CookieStorage::Shared().DeleteAll();
    }
}

TEST_F(MainWindowFixture, DevelopmentEntryComesFromTheConfiguration)
{
    IniFile& ini = IniFile::Instance();
    ini.SetValue("Domain", "DevCaseListHost", "127.0.0.1:1");
    ini.SetValue("Domain", "DevSsoHost", "127.0.0.1:9");
    MainWindowController& main = Launch();
    ASSERT_TRUE(main.model());
    EXPECT_EQ(main.model()->ssoUrl, QStringLiteral("127.0.0.1:9"));
    EXPECT_TRUE(WaitFor([] { return g_calls.contains(QStringLiteral("setWebUrl http://127.0.0.1:1/rvmmc")); }));
    ini.DeleteKey("Domain", "DevCaseListHost");
    ini.DeleteKey("Domain", "DevSsoHost");
}

TEST_F(MainWindowFixture, TabsOpenCloseAndTheQuitQuestion)
{
    MainWindowController& main = Launch();
    main.toolBar()->clickItem(1);
    auto info = std::make_shared<RVCaseInfo>();
    info->caseNo = QStringLiteral("C1001");
    info->phaseNo = QStringLiteral("2");
    info->patientName = QStringLiteral("张三");
    RVCaseManager::shared().setCaseInfo(info);
    main.viewType(1, info);
    main.viewType(2, info);
    RVToolBar& bar = *main.toolBar();
    EXPECT_EQ(bar.rowTypes(), (QList<quint64>{1, 3, 2}));
    EXPECT_EQ(bar.button(2)->currentTitle(), QStringLiteral("张三/C1001(2)"));
    EXPECT_EQ(bar.currentItemType(), 2u);
    EXPECT_TRUE(main.dmViewController().view()->isVisible());
    EXPECT_FALSE(main.imageViewController().view()->isVisible());
    EXPECT_TRUE(g_calls.contains(QStringLiteral("image case C1001")));
    EXPECT_TRUE(g_calls.contains(QStringLiteral("design case C1001")));
    main.window()->resize(1100, 520);
    SpinEvents(); // widgets added to a shown layout appear on the next turn
    const QImage shot = screens::Save(*main.window(), QStringLiteral("main_window"));
    ASSERT_FALSE(shot.isNull());
    EXPECT_GT(screens::InkPixels(shot, QRect(76, 20, 600, 40)), 300) << "tab titles drawn";
    EXPECT_EQ(shot.pixelColor(76 + 400 + 100, 40), QColor(Qt::white)) << "tab 2, third in the row, selected";

    // Tab 3: "取消" keeps it, "确定" closes it and shows tab 1.
    QStringList alerts;
    AnswerAlerts(&alerts, QStringLiteral("取消"));
    bar.closeButton(3)->click();
    EXPECT_EQ(alerts, QStringList{QStringLiteral("确认关闭影像资料?")});
    EXPECT_EQ(bar.rowTypes(), (QList<quint64>{1, 3, 2}));
    EXPECT_TRUE(main.hasImageViewController());
    AnswerAlerts(&alerts, QStringLiteral("确定"));
    bar.closeButton(3)->click();
    EXPECT_EQ(bar.rowTypes(), (QList<quint64>{1, 2}));
    EXPECT_FALSE(main.hasImageViewController());
    EXPECT_TRUE(g_calls.contains(QStringLiteral("image clear")));
    EXPECT_EQ(bar.currentItemType(), 1u);
    EXPECT_TRUE(main.caseViewController().view()->isVisible());

    // Tab 2: the design window closes everything, the document and the case go.
    g_calls.clear();
    bar.closeButton(2)->click();
    EXPECT_EQ(g_calls.mid(0, 2), (QStringList{QStringLiteral("closeOpenAll"), QStringLiteral("clearDocument")}));
    EXPECT_EQ(RVCaseManager::shared().caseInfo(), nullptr);
    EXPECT_FALSE(main.hasDMViewController());
    EXPECT_EQ(bar.rowTypes(), QList<quint64>{1});
    main.viewType(2, info);
    EXPECT_TRUE(main.hasDMViewController()) << "made again on next use";

    // The close box never closes; "确定" in the quit question ends the program.
    alerts.clear();
    AnswerAlerts(&alerts, QStringLiteral("取消"));
    main.window()->close();
    EXPECT_TRUE(main.window()->isVisible());
    EXPECT_FALSE(g_calls.contains(QStringLiteral("terminate")));
    AnswerAlerts(&alerts, QStringLiteral("确定"));
    main.window()->close();
    EXPECT_TRUE(main.window()->isVisible());
    EXPECT_EQ(alerts, (QStringList{QStringLiteral("系统将退出，是否继续？"), QStringLiteral("系统将退出，是否继续？")}));
    EXPECT_TRUE(g_calls.contains(QStringLiteral("terminate")));
}

TEST_F(MainWindowFixture, SwitchOfAccount)
{
    MainWindowController* first = &Launch();
    first->toolBar()->clickItem(3);
    QStringList alerts;
    AnswerAlerts(&alerts, QStringLiteral("取消"));
    m_app->reLogin();
    ASSERT_TRUE(WaitFor([&] { return !alerts.isEmpty(); }));
    SpinEvents();
    EXPECT_EQ(alerts, QStringList{QStringLiteral("确认注销？")});
    EXPECT_EQ(m_app->getMainWindow(), first);

    // "确定", then a completed login: one new main window.
    struct Case {
        int code;
        bool mainWindow;
    };
    for (const Case c : {Case{platform::kModalResponseContinue, true}, Case{platform::kModalResponseStop, false}}) {
        g_calls.clear();
        m_account->loginCodes = {c.code};
        QPointer<RVMainWindow> oldWindow = m_app->getMainWindow()->window();
        AnswerAlerts(&alerts, QStringLiteral("确定"));
        m_app->reLogin();
        ASSERT_TRUE(WaitFor([&] { return g_calls.contains(QStringLiteral("login window")); }));
        SpinEvents();
        // The design window lets go of the document's teeth before the document goes.
        EXPECT_EQ(g_calls.mid(0, 4), (QStringList{QStringLiteral("closeOpenAll"), QStringLiteral("clearDocument"),
                                                  QStringLiteral("clearData"), QStringLiteral("clearHTTPCookie")}));
        if (c.mainWindow) {
            ASSERT_NE(m_app->getMainWindow(), nullptr);
            EXPECT_TRUE(oldWindow.isNull()) << "the old main window is gone";
            EXPECT_TRUE(m_app->getMainWindow()->window()->isVisible());
        } else {
            EXPECT_TRUE(g_calls.contains(QStringLiteral("terminate")));
            EXPECT_FALSE(oldWindow->isVisible());
        }
    }
}

TEST_F(MainWindowFixture, MenuCommands)
{
    Launch();
    RivelaMenu* menu = m_app->menu();
    ASSERT_NE(menu, nullptr);
    EXPECT_EQ(menu->actions().size(), 4);
    g_calls.clear();
    menu->saveModelAction()->trigger();
    menu->updateFilePathAction()->trigger();
    menu->updatePasswordAction()->trigger(); // no account window registered: nothing
    EXPECT_EQ(g_calls, (QStringList{QStringLiteral("exportOS"), QStringLiteral("updateFileDirectory")}));
    QStringList alerts;
    AnswerAlerts(&alerts, QStringLiteral("取消"));
    menu->switchAccountAction()->trigger();
    EXPECT_TRUE(WaitFor([&] { return alerts == QStringList{QStringLiteral("确认注销？")}; }));
}

TEST(LoadIniSettings, SystemVersionsOrderedAsText)
{
    struct Case {
        const char* version;
        bool before;
    };
    const Case cases[] = {{"10.10.5", true}, {"10.9.5", false}, {"10.13.4", false}, {"11.0.0", false}, {"6.1.0", false}};
    for (const Case& c : cases)
        EXPECT_EQ(VersionOrdersBefore1011(QString::fromLatin1(c.version)), c.before) << c.version;
}
