// SPDX-License-Identifier: GPL-3.0-or-later
// Waiting for network handlers in tests: the GUI thread keeps its events flowing
// while a test waits, so replies delivered there arrive.
#pragma once

#include "testing/QtWait.h"

#include "app/service/QVNetworkAgent.h"
#include "testing/LoopbackServer.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>

#include <atomic>
#include <chrono>
#include <functional>
#include <mutex>
#include <string>

namespace nettest {

inline bool WaitFor(const std::function<bool()>& done, int milliseconds = 5000)
{
    return qtwait::WaitFor(done, milliseconds);
}

using qtwait::Settle;

inline QString Url(const testing_http::LoopbackServer& server, const std::string& path)
{
    return QString::fromStdString(server.Url(path));
}

// What the handlers of one request saw, safe to read from the test thread.
struct Outcome {
    std::mutex mutex;
    int successes = 0;
    int failures = 0;
    QByteArray body;
    QVErrorOpt error;
    bool errorObjectGiven = false;
    QVTaskPtr task;
    bool onGuiThread = false;

    int Calls()
    {
        std::lock_guard lock(mutex);
        return successes + failures;
    }

    QVNetworkAgent::SuccessHandler Success()
    {
        return [this](const QVTaskPtr& t, const QByteArray& b) {
            std::lock_guard lock(mutex);
            ++successes;
            body = b;
            task = t;
            onGuiThread = QThread::currentThread() == QCoreApplication::instance()->thread();
        };
    }
    QVNetworkAgent::FailureHandler Failure()
    {
        return [this](const QVTaskPtr& t, const QVErrorOpt& e) {
            std::lock_guard lock(mutex);
            ++failures;
            error = e;
            errorObjectGiven = e.has_value();
            task = t;
            onGuiThread = QThread::currentThread() == QCoreApplication::instance()->thread();
        };
    }
    qint64 ErrorCode()
    {
        std::lock_guard lock(mutex);
        return error ? error->code : 0;
    }
};

} // namespace nettest
