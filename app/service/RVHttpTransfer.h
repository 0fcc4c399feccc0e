// SPDX-License-Identifier: GPL-3.0-or-later
// One HTTP exchange, run to its end on the calling thread with a network access
// manager and event loop of its own (so never call it on the GUI thread), and the
// pool of network threads that the client and the case-service calls run it on.
// Cookies come from and go to the process's shared store.
#pragma once

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QString>
#include <QUrl>

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>

struct RVHttpRequest {
    QByteArray method = "GET";
    QUrl url;
    QByteArray body;
    QByteArray contentType;
    QList<QPair<QByteArray, QByteArray>> headers; // further request headers, in order
    std::chrono::milliseconds timeout{300000};    // the whole exchange
    // When set, the body is written to a temporary file in this folder instead of
    // being kept in memory; the file is removed again unless the exchange succeeds.
    QString downloadFolder;
    std::function<void(qint64 done, qint64 total)> progress; // on the network thread
    std::shared_ptr<std::atomic_bool> cancelled;             // checked while it runs
};

struct RVHttpResponse {
    bool transferred = false; // no transport error, the whole body arrived
    int status = 0;
    QString error; // why it failed, when it did
    QByteArray contentType;
    QByteArray body;
    QList<QPair<QByteArray, QByteArray>> headers; // the reply's raw headers
    QString suggestedName; // from Content-Disposition, else the URL's last segment
    QString tempFile;      // the downloaded body (downloads that succeeded only)

    bool ok() const { return transferred && status >= 200 && status <= 299; }
};

RVHttpResponse RVPerformHttp(const RVHttpRequest& request);

// Runs the task on a thread of the network pool (threads of their own, so a caller
// waiting on the global work queue never starves them).
void RVRunOnNetworkThread(std::function<void()> task);
// Waits until every network task has ended (tests, before they tear down).
void RVWaitForNetworkThreads();

// A file name that is safe inside a folder: the last "/"-separated component; "",
// "." and ".." give the fallback's last component, and that failing, "download".
QString RVSafeFileName(const QString& suggested, const QString& fallback);
// Moves from onto to, replacing it; a file already at to stays until the move has
// succeeded. False (from removed) when it fails.
[[nodiscard]] bool RVReplaceFile(const QString& from, const QString& to);

// Transfer time-outs (tests shorten them).
struct RVNetworkTimeouts {
    std::atomic<long long> transferMs{300000}; // requests, downloads and the calls that wait for them
    std::atomic<long long> modelUrlWaitMs{10000}; // the digital-model address
};
RVNetworkTimeouts& RVTimeouts();
