// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/main/road/RoadFaults.h"

#include "app/login/QVLoginController.h"
#include "app/login/QVLoginService.h"
#include "app/main/AppStart.h"
#include "app/design/RVModelManager.h"
#include "app/main/road/Road.h"
#include "app/main/road/RoadStages.h"
#include "app/shell/widgets/RVButton.h"
#include "app/shell/window/RivelaApp.h"

#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QMessageBox>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <iterator>

namespace road {
namespace {

enum class Discovery { Live, DeadThenLive, Dead };

struct FaultRow {
    const char* name;
    Discovery discovery;
    const char* faultPath; // on the stand-in; null for none
    const char* faultKind;
    bool wrongPassword;
    QString message;       // the message expected; empty: signed in
    int limitMs;           // from the click to the outcome
};

QVLoginWindow* LoginWindow()
{
    return VisibleTopLevel<QVLoginWindow>();
}

// Ends the login's modal run (when the road stayed there), then the road's own loop.
void CloseLoginThenQuit(QEventLoop& rest)
{
    QTimer::singleShot(0, [] {
        if (QVLoginWindow* window = LoginWindow())
            window->close();
    });
    QTimer::singleShot(0, &rest, &QEventLoop::quit);
}

bool RunRow(const FaultRow& row, FaultRun& run)
{
    const QString live = run.service->base();
    QStringList discovery;
    if (row.discovery == Discovery::Live)
        discovery = {live};
    else if (row.discovery == Discovery::DeadThenLive)
        discovery = {DeadAddress(), live};
    else
        discovery = {DeadAddress()};
    // A fresh start reads the configuration as written for this row.
    if (!WriteConfiguration(QDir(run.resources).filePath(QStringLiteral("Rivela.ini")), live, discovery))
        return false;
    LoadIniSettings();
    rivela::ApplyLoginConfiguration();
    if (!run.service->Reset() ||
        (row.faultPath && !run.service->SetFault(QString::fromLatin1(row.faultPath), QString::fromLatin1(row.faultKind))))
        return false;

    const QString prefix = QStringLiteral("fault-") + QString::fromLatin1(row.name) + QLatin1Char('-');
    Road road(run.screens);
    Stage shown;
    shown.name = prefix + QStringLiteral("login");
    shown.act = [&] {
        if (QVLoginWindow* window = LoginWindow()) {
            TypeInto(window->controller()->accountV->accountField, QStringLiteral("doctor"));
            TypeInto(window->controller()->accountV->psdSecureField,
                     row.wrongPassword ? QStringLiteral("not-the-password") : run.password);
        }
    };
    shown.reached = []() -> QWidget* {
        QVLoginWindow* window = LoginWindow();
        return window && window->controller()->sureBtn->isEnabled() ? window : nullptr;
    };
    road.add(shown);

    Stage outcome;
    outcome.name = prefix + (row.message.isEmpty() ? QStringLiteral("signed-in") : QStringLiteral("message"));
    outcome.act = [] {
        if (QVLoginWindow* window = LoginWindow())
            ClickCentre(window->controller()->sureBtn);
    };
    outcome.reached = [&row]() -> QWidget* {
        if (row.message.isEmpty()) {
            RivelaApp* app = RivelaApp::shared();
            MainWindowController* main = app ? app->getMainWindow() : nullptr;
            return main && main->window()->isVisible() ? main->window() : nullptr;
        }
        return VisibleMessage(row.message);
    };
    outcome.timeoutMs = row.limitMs;
    outcome.check.minInk = 0.002;
    road.add(outcome);

    if (!row.message.isEmpty()) {
        // The message goes away and the login window takes another attempt.
        Stage again;
        again.name = prefix + QStringLiteral("again");
        again.act = [&row] {
            if (QMessageBox* box = VisibleMessage(row.message))
                ClickMessageButton(*box, QStringLiteral("确定"));
        };
        again.reached = []() -> QWidget* {
            QVLoginWindow* window = LoginWindow();
            return window && !VisibleMessage() && window->controller()->sureBtn->isEnabled() ? window : nullptr;
        };
        road.add(again);
    }

    QEventLoop rest;
    road.onDone = [&rest](bool) { CloseLoginThenQuit(rest); };
    road.start();
    {
        RivelaApp delegate;
        const bool signedIn = delegate.applicationDidFinishLaunching();
        if (!road.finished())
            rest.exec();
        if (signedIn != row.message.isEmpty())
            std::fprintf(stderr, "fault %s: the login %s\n", row.name, signedIn ? "completed" : "did not complete");
        const bool ok = road.passed() && signedIn == row.message.isEmpty();
        std::printf("fault %s: %s\n", row.name, ok ? "passed" : qPrintable(road.failure()));
        std::fflush(stdout);
        return ok;
    }
}

// A fault of the case service met while opening the demo case from the signed-in
// case list.
struct CaseFaultRow {
    const char* name;
    const char* faultPath;
    const char* faultKind;
    QByteArray body;  // the reply for the kind "body"
    QString message;  // the message expected; empty: the case opens all the same
    int limitMs;      // from the click to the outcome
    int againRow;     // after the message, the page's row opened next (-1: none)
};

// Adds the stages of one row: the case list in front with the fault set, the case
// opened from the page, the outcome, and after a message: the message dismissed
// with nothing opened, then the same case opened again.
void AddCaseRow(Road& road, const CaseFaultRow& row, Service& service)
{
    const QString prefix = QStringLiteral("fault-") + QString::fromLatin1(row.name) + QLatin1Char('-');
    Stage list;
    list.name = prefix + QStringLiteral("case-list");
    list.act = [&row, &service] {
        // The doctor closes the case left open, which the next open would reuse.
        RivelaApp* app = RivelaApp::shared();
        MainWindowController* main = app ? app->getMainWindow() : nullptr;
        if (main && main->toolBar()->closeButton(2))
            ClickCentre(main->toolBar()->closeButton(2));
        ShowCaseListTab();
        if (!service.SetFault(QString::fromLatin1(row.faultPath), QString::fromLatin1(row.faultKind), 1, row.body))
            std::fprintf(stderr, "fault %s: the stand-in refused the fault\n", row.name);
    };
    list.reached = [probe = PageProbe()]() mutable -> QWidget* {
        RivelaApp* app = RivelaApp::shared();
        MainWindowController* main = app ? app->getMainWindow() : nullptr;
        if (!main || main->toolBar()->button(2) || main->toolBar()->currentItemType() != 1)
            return nullptr;
        return probe.ready() ? main->window() : nullptr;
    };
    road.add(list);

    Stage outcome;
    outcome.name = prefix + (row.message.isEmpty() ? QStringLiteral("opened") : QStringLiteral("message"));
    outcome.act = [] { OpenCaseFromPage(kDemoCaseRow); };
    outcome.reached = [&row]() -> QWidget* {
        if (row.message.isEmpty())
            return CaseInDesignWindow();
        return VisibleMessage();
    };
    outcome.verify = [&row]() -> QString {
        QMessageBox* box = VisibleMessage();
        if (!row.message.isEmpty() && box && box->text() != row.message)
            return QStringLiteral("the message is \"%1\"").arg(box->text());
        return {};
    };
    outcome.timeoutMs = row.limitMs;
    outcome.check.minInk = 0.002;
    road.add(outcome);
    if (row.message.isEmpty())
        return;

    Stage dismissed;
    dismissed.name = prefix + QStringLiteral("dismissed");
    dismissed.act = [&row] {
        if (QMessageBox* box = VisibleMessage(row.message))
            ClickMessageButton(*box, QStringLiteral("确定"));
    };
    dismissed.reached = []() -> QWidget* {
        RivelaApp* app = RivelaApp::shared();
        MainWindowController* main = app ? app->getMainWindow() : nullptr;
        return main && main->window()->isVisible() && !VisibleMessage() ? main->window() : nullptr;
    };
    dismissed.check.minInk = 0.002;
    // Nothing half-received or half-read is open.
    dismissed.verify = []() -> QString {
        return RVModelManager::shared().currentDocument() ? QStringLiteral("a document is open after the failure")
                                                          : QString();
    };
    road.add(dismissed);
    if (row.againRow < 0)
        return;

    Stage again;
    again.name = prefix + QStringLiteral("opened-again");
    again.act = [&row] {
        ShowCaseListTab();
        OpenCaseFromPage(row.againRow);
    };
    again.reached = [] { return CaseInDesignWindow(); };
    again.check.minInk = 0.05;
    again.timeoutMs = 40000;
    road.add(again);
}

// The case's details only refresh the page's own: the case opens with those.
const CaseFaultRow kCaseInfoRows[] = {
    {"case-info-bad-json", "/restful/getCaseInfo.htm", "badjson", {}, {}, 40000, -1},
    {"case-info-status-500", "/restful/getCaseInfo.htm", "status", {}, {}, 40000, -1},
};
const CaseFaultRow kCaseFileRows[] = {
    // Half the case document arrives, then the connection ends; the same case then opens.
    {"download-cut", "/files/demo.OS", "cut", {}, QStringLiteral("文件下载失败"), 20000, kDemoCaseRow},
    // The service sends bytes that are no case document; another case then opens.
    // The reader takes the bytes' header for a version it does not know.
    {"damaged-case-file", "/files/demo.OS", "body", QByteArrayLiteral("RVOS damaged: not a case document"),
     QStringLiteral("暂未支持的文件版本"), 20000, kDigitalModelRow},
    // The case document never arrives: the transfer's time-out, then the message.
    {"case-file-hangs", "/files/demo.OS", "hang", {}, QStringLiteral("文件下载失败"), 20000, -1},
};

// Signs in once, then meets the case service's faults one row after another.
template <std::size_t N> int RunCaseRows(FaultRun& run, const CaseFaultRow (&rows)[N])
{
    const QString live = run.service->base();
    if (!WriteConfiguration(QDir(run.resources).filePath(QStringLiteral("Rivela.ini")), live, {live}) ||
        !run.service->Reset())
        return int(std::size(rows));
    LoadIniSettings();
    rivela::ApplyLoginConfiguration();

    RoadContext context;
    context.service = run.service;
    context.password = run.password;
    // The sign-in's stages keep their names: away from the road's own pictures.
    Road road(QDir(run.screens).filePath(QStringLiteral("case-faults")));
    road.add(LoginWindowShown(context));
    road.add(CredentialsTyped(context));
    road.add(CaseListShown(context));
    for (const CaseFaultRow& row : rows)
        AddCaseRow(road, row, *run.service);
    // Signed out, the login window's modal run ends with its window.
    road.add(AccountMenuOpen(context));
    road.add(SignOutAsked(context));
    road.add(SignedOut(context));

    // Each row counts as passed once its last stage was reached.
    const auto report = [&rows, &road] {
        int failed = 0;
        for (const CaseFaultRow& row : rows) {
            const QString prefix = QStringLiteral("fault-") + QString::fromLatin1(row.name) + QLatin1Char('-');
            const QString last = prefix + (row.message.isEmpty()  ? QStringLiteral("opened")
                                           : row.againRow < 0     ? QStringLiteral("dismissed")
                                                                  : QStringLiteral("opened-again"));
            const bool ok = road.reachedStages().contains(last);
            std::printf("fault %s: %s\n", row.name, ok ? "passed" : qPrintable(road.failure()));
            if (!ok)
                ++failed;
        }
        std::fflush(stdout);
        return failed;
    };
    QEventLoop rest;
    road.onDone = [&rest, &report](bool passed) {
        if (!passed) {
            // Whatever window the failure left open (a message, a modal run) cannot be
            // walked out of reliably: the stand-in dies with its parent.
            report();
            std::_Exit(1);
        }
        CloseLoginThenQuit(rest);
    };
    road.start();
    RivelaApp delegate;
    if (delegate.applicationDidFinishLaunching() && !road.finished())
        rest.exec();
    delegate.applicationWillTerminate();
    const int failed = report();
    return road.passed() ? failed : std::max(failed, 1);
}

} // namespace

int RunFaultTable(FaultRun& run)
{
    const FaultRow rows[] = {
        // The first discovery address refuses; the next one signs in.
        {"host-fail-over", Discovery::DeadThenLive, nullptr, nullptr, false, {}, 15000},
        // Every address refuses: the message at once, no waiting on a time-out.
        {"service-down", Discovery::Dead, nullptr, nullptr, false, QVLoginService::kConnectionMessage, 5000},
        {"wrong-password", Discovery::Live, nullptr, nullptr, true, QVLoginService::kCredentialsMessage, 10000},
        // The ticket request never answers: the request's time-out, then the message.
        {"service-hangs", Discovery::Live, "/v1/tickets", "hang", false, QVLoginService::kConnectionMessage, 10000},
    };
    int failed = 0;
    for (const FaultRow& row : rows) {
        QElapsedTimer clock;
        clock.start();
        if (!RunRow(row, run))
            ++failed;
        std::printf("fault %s: %lld ms\n", row.name, clock.elapsed());
    }
    QElapsedTimer clock;
    clock.start();
    failed += RunCaseRows(run, kCaseInfoRows);
    std::printf("faults of the case details: %lld ms\n", clock.elapsed());
    return failed;
}

int RunCaseFileFaults(FaultRun& run)
{
    return RunCaseRows(run, kCaseFileRows);
}

} // namespace road
