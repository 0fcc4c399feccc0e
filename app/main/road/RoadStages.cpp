// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/main/road/RoadStages.h"

#include "app/design/RVModelManager.h"
#include "app/design/RivelaView.h"
#include "app/login/QVLoginController.h"
#include "app/shell/IniFile.h"
#include "app/shell/window/RivelaApp.h"

#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QTest>

namespace road {
namespace {

QVLoginWindow* LoginWindow()
{
    return VisibleTopLevel<QVLoginWindow>();
}

MainWindowController* MainWindow()
{
    RivelaApp* app = RivelaApp::shared();
    return app ? app->getMainWindow() : nullptr;
}

QWidget* VisibleMainWindow()
{
    MainWindowController* main = MainWindow();
    return main && main->window()->isVisible() ? main->window() : nullptr;
}

const QString kSignOutQuestion = QStringLiteral("确认注销？");

} // namespace

Stage LoginWindowShown(RoadContext&)
{
    Stage stage;
    stage.name = QStringLiteral("01-login-window");
    stage.reached = [] { return static_cast<QWidget*>(LoginWindow()); };
    return stage;
}

Stage CredentialsTyped(RoadContext& context)
{
    Stage stage;
    stage.name = QStringLiteral("02-credentials-typed");
    stage.act = [&context] {
        if (QVLoginWindow* window = LoginWindow()) {
            TypeInto(window->controller()->accountV->accountField, context.user);
            TypeInto(window->controller()->accountV->psdSecureField, context.password);
        }
    };
    stage.reached = [&context]() -> QWidget* {
        QVLoginWindow* window = LoginWindow();
        if (!window)
            return nullptr;
        const QVLoginController& c = *window->controller();
        const bool typed = c.accountV->accountField->text() == context.user &&
                           c.accountV->psdSecureField->text() == context.password && c.sureBtn->isEnabled();
        return typed ? window : nullptr;
    };
    return stage;
}

Stage CaseListShown(RoadContext& context)
{
    Stage stage;
    stage.name = QStringLiteral("03-signed-in-case-list");
    stage.act = [] {
        if (QVLoginWindow* window = LoginWindow())
            ClickCentre(window->controller()->sureBtn);
    };
    // The case-list tab is in front, loading the service's page.
    stage.reached = []() -> QWidget* {
        MainWindowController* main = MainWindow();
        if (!VisibleMainWindow() || main->toolBar()->currentItemType() != 1 || !main->hasCaseViewController())
            return nullptr;
        return main->caseViewController().view()->isVisible() ? main->window() : nullptr;
    };
    // Only the tab bar and the menu are drawn until the case list is built.
    stage.check.minInk = 0.002;
    stage.verify = [&context]() -> QString {
        const QString domain = QString::fromStdString(IniFile::Instance().BusinessDomain());
        if (domain != context.service->domain())
            return QStringLiteral("the case service is %1, not the stand-in's %2").arg(domain, context.service->domain());
        return {};
    };
    return stage;
}

Stage DemoCaseOpened(RoadContext&)
{
    // The page's own command, as a click on its first case's button sends it
    // ("ExecuteRivelaCommand" with "jsView3DFile"): the web case list runs
    //   document.getElementById('open0').click()
    // in its page (QWebEnginePage::runJavaScript on the view the case-list controller
    // owns, main->caseViewController().view()). Reached when the design tab is in front.
    Stage stage;
    stage.name = QStringLiteral("04-case-opened");
    stage.reached = []() -> QWidget* {
        MainWindowController* main = MainWindow();
        return main && main->toolBar()->currentItemType() == 2 ? main->window() : nullptr;
    };
    stage.timeoutMs = 30000;
    return stage;
}

Stage CaseDownloaded(RoadContext&)
{
    Stage stage;
    stage.name = QStringLiteral("05-case-downloaded");
    stage.reached = []() -> QWidget* {
        return RVModelManager::shared().currentDocument() ? VisibleMainWindow() : nullptr;
    };
    stage.timeoutMs = 60000;
    return stage;
}

Stage DesignWindowShowsCase(RoadContext&)
{
    Stage stage;
    stage.name = QStringLiteral("06-design-window");
    stage.reached = []() -> QWidget* {
        QWidget* window = VisibleMainWindow();
        if (!window)
            return nullptr;
        for (RivelaView* view : window->findChildren<RivelaView*>())
            if (view->isVisible())
                return view;
        return nullptr;
    };
    // The arch covers a good part of the 3-D view.
    stage.check.minInk = 0.05;
    stage.check.minColours = 64;
    stage.timeoutMs = 60000;
    return stage;
}

Stage StepBarPlays(RoadContext&)
{
    // The step bar's play button, clicked; its 0.5 s timer walks from the first to
    // the last step. Reached when the document's current step is its last.
    Stage stage;
    stage.name = QStringLiteral("07-step-bar-played");
    stage.reached = [] { return static_cast<QWidget*>(nullptr); };
    return stage;
}

Stage AccountMenuOpen(RoadContext&)
{
    Stage stage;
    stage.name = QStringLiteral("08-account-menu");
    stage.act = [] {
        RivelaApp* app = RivelaApp::shared();
        QWidget* window = VisibleMainWindow();
        QMenuBar* bar = window ? window->findChild<QMenuBar*>() : nullptr;
        if (bar && app && app->menu())
            QTest::mouseClick(bar, Qt::LeftButton, {}, bar->actionGeometry(app->menu()->menuAction()).center());
    };
    stage.reached = []() -> QWidget* {
        RivelaApp* app = RivelaApp::shared();
        return app && app->menu() && app->menu()->isVisible() ? app->menu() : nullptr;
    };
    return stage;
}

Stage SignOutAsked(RoadContext&)
{
    Stage stage;
    stage.name = QStringLiteral("09-sign-out-asked");
    stage.act = [] {
        RivelaMenu* menu = RivelaApp::shared() ? RivelaApp::shared()->menu() : nullptr;
        if (menu)
            QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(menu->switchAccountAction()).center());
    };
    stage.reached = [] { return static_cast<QWidget*>(VisibleMessage(kSignOutQuestion)); };
    return stage;
}

Stage SignedOut(RoadContext&)
{
    Stage stage;
    stage.name = QStringLiteral("10-signed-out");
    stage.act = [] {
        if (QMessageBox* box = VisibleMessage(kSignOutQuestion))
            ClickMessageButton(*box, QStringLiteral("确定"));
    };
    stage.reached = []() -> QWidget* { return VisibleMainWindow() ? nullptr : LoginWindow(); };
    return stage;
}

void AddRoad(Road& road, RoadContext& context)
{
    road.add(LoginWindowShown(context));
    road.add(CredentialsTyped(context));
    road.add(CaseListShown(context));
    road.add(AccountMenuOpen(context));
    road.add(SignOutAsked(context));
    road.add(SignedOut(context));
}

} // namespace road
