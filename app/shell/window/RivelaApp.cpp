// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/shell/window/RivelaApp.h"

#include "app/platform/Alerts.h"
#include "app/platform/Dispatch.h"
#include "app/platform/Folders.h"
#include "app/platform/UserDefaults.h"
#include "app/shell/IniFile.h"
#include "app/shell/QvUtilityObj.h"
#include "app/shell/panes/QvPane.h"
#include "app/shell/widgets/XibManager.h"

#include <QApplication>
#include <QGuiApplication>
#include <QScreen>

namespace {
RivelaApp* g_app = nullptr;
} // namespace

bool VersionOrdersBefore1011(const QString& version)
{
    return version.compare(QStringLiteral("10.11")) < 0;
}

void LoadIniSettings()
{
    IniFile& ini = IniFile::Instance();
    const QString path = platform::PathForResource(QStringLiteral("Rivela"), QStringLiteral("ini"));
    (void)ini.Load(path.toStdString()); // a missing file leaves what was read
    if (VersionOrdersBefore1011(QvUtilityObj::getSystemVersion()))
        ini.SetValue("General", "CEFGPU", "0", "");
}

RivelaMenu::RivelaMenu(QWidget* parent) : QMenu(QStringLiteral("Rivela"), parent)
{
    m_saveModel = addAction(QStringLiteral("导出模型"), this, &RivelaMenu::saveModel);
    m_saveModel->setShortcut(QKeySequence::Save);
    m_switchAccount = addAction(QStringLiteral("切换账号"), this, &RivelaMenu::switchAccount);
    m_updatePassword = addAction(QStringLiteral("修改密码"), this, &RivelaMenu::updatePassword);
    m_updateFilePath = addAction(QStringLiteral("设置同步文件夹"), this, &RivelaMenu::updateFilePath);
}

void RivelaMenu::saveModel()
{
    if (RivelaApp* app = RivelaApp::shared())
        app->saveModel();
}

void RivelaMenu::switchAccount()
{
    if (RivelaApp* app = RivelaApp::shared())
        app->reLogin();
}

void RivelaMenu::updatePassword()
{
    const auto& create = ShellSubsystems::Login().createUpdatePasswordWindow;
    if (!create)
        return;
    m_updatePasswordWC = create();
    if (m_updatePasswordWC)
        (void)platform::RunModal(m_updatePasswordWC.get());
}

void RivelaMenu::updateFilePath()
{
    ShellSubsystems::CaseList().updateFileDirectory();
}

RivelaApp::RivelaApp()
{
    g_app = this;
    QvPane::SetActiveViewProvider([] {
        MainWindowController* window = g_app ? g_app->getMainWindow() : nullptr;
        return window ? window->getActiveView() : nullptr;
    });
    XibManager::RegisterXib(QStringLiteral("RivelaMenu"), [] { return QList<QObject*>{new RivelaMenu}; });
}

RivelaApp::~RivelaApp()
{
    m_pMainWindow.reset();
    if (g_app == this) {
        g_app = nullptr;
        QvPane::SetActiveViewProvider({});
    }
}

RivelaApp* RivelaApp::shared()
{
    return g_app;
}

void RivelaApp::terminate()
{
    if (m_terminate)
        m_terminate();
    else
        QCoreApplication::quit();
}

bool RivelaApp::applicationDidFinishLaunching()
{
    ShellSubsystems::Login().clearHTTPCookie();
    initMenu();
    if (!initLoginWindow())
        return false;
    initMainWindow();
    platform::UserDefaults::Standard().SetValue(platform::defaults::kInitialToolTipDelay, 50);
    return true;
}

void RivelaApp::applicationWillTerminate()
{
    ShellSubsystems::CaseList().clearWebImageCache();
}

void RivelaApp::initMenu()
{
    m_menu = XibManager::shared().objectFromClass<RivelaMenu>();
}

bool RivelaApp::initLoginWindow()
{
    const auto& create = ShellSubsystems::Login().createLoginWindow;
    std::unique_ptr<QWidget> window = create ? create() : nullptr;
    int code = platform::kModalResponseStop;
    if (window) {
        m_loginRunning = true;
        code = platform::RunModal(window.get());
        m_loginRunning = false;
        window->close();
        window.reset();
    }
    return code == platform::kModalResponseContinue;
}

void RivelaApp::initMainWindow()
{
    m_pMainWindow.reset();
    m_pMainWindow = std::make_unique<MainWindowController>();
    connect(m_pMainWindow.get(), &MainWindowController::terminateRequested, this, &RivelaApp::terminate);
    if (m_menu)
        m_pMainWindow->setMainMenu(m_menu);
    // The content fills the screen's available area (the window is maximised anyway).
    const QScreen* screen = QGuiApplication::primaryScreen();
    m_pMainWindow->window()->resize(screen ? screen->availableGeometry().size() : QSize());
    m_pMainWindow->login();
}

void RivelaApp::saveModel()
{
    if (m_pMainWindow)
        m_pMainWindow->exportOS();
}

void RivelaApp::reLogin()
{
    if (!m_pMainWindow)
        return;
    QPointer<RivelaApp> self(this);
    platform::ShowSheet(m_pMainWindow->window(), QStringLiteral("确认注销？"), {QStringLiteral("确定"), QStringLiteral("取消")},
                        [self](int button) {
                            if (button != 0)
                                return;
                            // Later: the sheet belongs to the window this replaces.
                            platform::AsyncOnGui([self] {
                                if (!self || !self->m_pMainWindow)
                                    return;
                                self->m_pMainWindow->logout();
                                ShellSubsystems::Login().clearHTTPCookie();
                                if (!self->initLoginWindow()) {
                                    self->terminate();
                                    return;
                                }
                                self->initMainWindow();
                            });
                        });
}
