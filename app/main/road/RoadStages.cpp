// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/main/road/RoadStages.h"

#include "app/caselist/RVCaseListWebController.h"
#include "app/design/RVDesignViewController.h"
#include "app/design/RVModelManager.h"
#include "app/design/RivelaDoc.h"
#include "app/design/RivelaView.h"
#include "app/design/bars/RVDMSubToolBar.h"
#include "app/design/bars/RivelaAbovePane.h"
#include "app/design/bars/RivelaBelowPane.h"
#include "app/login/QVLoginController.h"
#include "app/shell/IniFile.h"
#include "app/shell/window/RivelaApp.h"

#include "core/scheme/QvScheme.h"

#include <QDateTime>
#include <QWebEnginePage>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QTest>

#include <algorithm>

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

template <class T> T* VisibleChild(QWidget* window)
{
    if (window)
        for (T* child : window->findChildren<T*>())
            if (child->isVisible())
                return child;
    return nullptr;
}

} // namespace

RVCaseListWebController* CaseList()
{
    MainWindowController* main = MainWindow();
    return main && main->hasCaseViewController() ? dynamic_cast<RVCaseListWebController*>(&main->caseViewController())
                                                 : nullptr;
}

RVDesignViewController* DesignWindow()
{
    MainWindowController* main = MainWindow();
    return main && main->hasDMViewController() ? dynamic_cast<RVDesignViewController*>(&main->dmViewController())
                                               : nullptr;
}

bool PageProbe::ready()
{
    RVCaseListWebController* list = CaseList();
    QWebEnginePage* page = list ? list->page() : nullptr;
    if (!page || !list->webView()->isVisible())
        return false;
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    if (m_state->since == 0 && !m_state->asking) {
        m_state->asking = true;
        page->runJavaScript(QStringLiteral("document.readyState === 'complete' && !!document.getElementById('open0')"),
                            [state = m_state](const QVariant& answer) {
                                state->asking = false;
                                if (answer.toBool())
                                    state->since = QDateTime::currentMSecsSinceEpoch();
                            });
    }
    // Chromium draws a moment after the document is complete.
    return m_state->since != 0 && now - m_state->since >= 500;
}

void OpenCaseFromPage(int index)
{
    // What the case's button does when clicked.
    if (RVCaseListWebController* list = CaseList())
        list->page()->runJavaScript(QStringLiteral("document.getElementById('open%1').click()").arg(index));
}

void ShowCaseListTab()
{
    if (MainWindowController* main = MainWindow())
        main->toolBar()->clickItem(1);
}

QWidget* CaseInDesignWindow()
{
    RVDesignViewController* design = DesignWindow();
    MainWindowController* main = MainWindow();
    if (!design || !VisibleMainWindow() || main->toolBar()->currentItemType() != 2 || design->loadingView() ||
        !RVModelManager::shared().currentDocument())
        return nullptr;
    RivelaView* view = design->heldRenderView();
    return view && view->isVisible() ? view : nullptr;
}

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
    // The case-list tab is in front with the service's page loaded and drawn.
    stage.reached = [probe = PageProbe()]() mutable -> QWidget* {
        MainWindowController* main = MainWindow();
        if (!VisibleMainWindow() || main->toolBar()->currentItemType() != 1 || !CaseList())
            return nullptr;
        return probe.ready() ? main->window() : nullptr;
    };
    // The page's table of cases, not a blank page.
    stage.check.minInk = 0.01;
    stage.timeoutMs = 30000;
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
    Stage stage;
    stage.name = QStringLiteral("04-case-opened");
    stage.act = [] { OpenCaseFromPage(kDemoCaseRow); };
    // The design tab in front, its loading view over it while the case arrives.
    stage.reached = []() -> QWidget* {
        MainWindowController* main = MainWindow();
        return main && main->toolBar()->currentItemType() == 2 && DesignWindow() ? main->window() : nullptr;
    };
    stage.check.minInk = 0.002;
    return stage;
}

Stage CaseDownloaded(RoadContext& context)
{
    Stage stage;
    stage.name = QStringLiteral("05-case-downloaded");
    stage.reached = []() -> QWidget* {
        return RVModelManager::shared().currentDocument() ? VisibleMainWindow() : nullptr;
    };
    stage.check.minInk = 0.002;
    stage.timeoutMs = 40000;
    stage.verify = [&context]() -> QString {
        const QStringList log = context.service->Log();
        if (!std::any_of(log.cbegin(), log.cend(), [](const QString& line) {
                return line.startsWith(QStringLiteral("GET ")) && line.endsWith(QStringLiteral("/files/") + kDemoCaseFile);
            }))
            return QStringLiteral("the case's file was not fetched from the service");
        return {};
    };
    return stage;
}

Stage DesignWindowShowsCase(RoadContext&)
{
    Stage stage;
    stage.name = QStringLiteral("06-design-window");
    stage.reached = [] { return CaseInDesignWindow(); };
    // The arch covers a good part of the 3-D view.
    stage.check.minInk = 0.05;
    stage.check.minColours = 64;
    stage.timeoutMs = 40000;
    stage.verify = []() -> QString {
        const std::shared_ptr<RivelaDoc> doc = RVModelManager::shared().currentDocument();
        QvScheme* scheme = doc ? doc->currentScheme() : nullptr;
        if (!scheme)
            return QStringLiteral("the case has no current scheme");
        if (scheme->GetGumMgr().GetEntries().empty())
            return QStringLiteral("no gums");
        std::vector<QvAttachment*> attachments;
        scheme->GetAllAttachments(attachments);
        if (attachments.empty())
            return QStringLiteral("no attachments");
        if (scheme->GetVirtualTeeth().empty())
            return QStringLiteral("no pontic");
        // The teeth face the doctor: not only the gums seen from above or below.
        if (QWidget* view = CaseInDesignWindow()) {
            const QImage picture = Grab(*view).convertToFormat(QImage::Format_RGB32);
            qint64 white = 0;
            for (int y = 0; y < picture.height(); ++y)
                for (int x = 0; x < picture.width(); ++x) {
                    const QRgb p = picture.pixel(x, y);
                    white += qRed(p) > 200 && qGreen(p) > 200 && qBlue(p) > 200;
                }
            if (white < qint64(picture.width()) * picture.height() / 25)
                return QStringLiteral("hardly any tooth is seen in the 3-D view");
        }
        QWidget* window = VisibleMainWindow();
        if (!VisibleChild<RivelaAbovePane>(window) || !VisibleChild<RivelaBelowPane>(window) ||
            !VisibleChild<RVDMSubToolBar>(window))
            return QStringLiteral("the design window's bars are not all shown");
        return {};
    };
    return stage;
}

Stage StepBarPlays(RoadContext&)
{
    // The step bar's play icon, clicked; its 0.5 s timer walks from the first to the
    // last step. Reached when the bar and the 3-D view stand at the last step and the
    // timer has stopped.
    struct Play {
        qint64 clicked = 0;
        int last = 0;
    };
    auto play = std::make_shared<Play>();
    Stage stage;
    stage.name = QStringLiteral("07-step-bar-played");
    stage.act = [play] {
        RivelaBelowPane* bar = VisibleChild<RivelaBelowPane>(VisibleMainWindow());
        if (!bar || !bar->stepBar())
            return;
        play->last = int(bar->model().m_nMaxStep);
        play->clicked = QDateTime::currentMSecsSinceEpoch();
        QTest::mouseClick(bar->stepBar(), Qt::LeftButton, {}, bar->stepBar()->iconRect(2).center().toPoint());
    };
    stage.reached = [play]() -> QWidget* {
        RivelaBelowPane* bar = VisibleChild<RivelaBelowPane>(VisibleMainWindow());
        RVDesignViewController* design = DesignWindow();
        RivelaView* view = design ? design->heldRenderView() : nullptr;
        if (!bar || !view || play->last <= 0 || bar->model().isPlaying() || bar->getCurrentStep() != play->last ||
            view->currentStep() != play->last)
            return nullptr;
        return VisibleMainWindow();
    };
    stage.verify = [play]() -> QString {
        // Every step had its half second.
        const qint64 took = QDateTime::currentMSecsSinceEpoch() - play->clicked;
        if (took < qint64(play->last - 1) * 500)
            return QStringLiteral("%1 steps played in %2 ms").arg(play->last).arg(took);
        return {};
    };
    stage.check.minColours = 64;
    stage.timeoutMs = 45000;
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
    road.add(DemoCaseOpened(context));
    road.add(CaseDownloaded(context));
    road.add(DesignWindowShowsCase(context));
    road.add(StepBarPlays(context));
    road.add(AccountMenuOpen(context));
    road.add(SignOutAsked(context));
    road.add(SignedOut(context));
}

} // namespace road
