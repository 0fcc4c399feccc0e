// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/main/road/RoadFaults.h"

#include "app/login/QVLoginController.h"
#include "app/login/QVLoginService.h"
#include "app/main/AppStart.h"
#include "app/main/road/Road.h"
#include "app/shell/window/RivelaApp.h"

#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QMessageBox>
#include <QTimer>

#include <cstdio>

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
    road.onDone = [&rest](bool) {
        // Ends the login's modal run (when the row stayed there), then the row.
        QTimer::singleShot(0, [] {
            if (QVLoginWindow* window = LoginWindow())
                window->close();
        });
        QTimer::singleShot(0, &rest, &QEventLoop::quit);
    };
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
    return failed;
}

} // namespace road
