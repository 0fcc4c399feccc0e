// SPDX-License-Identifier: GPL-3.0-or-later
// The engine's state, shared by the files that implement its requests.
#pragma once

#include "app/platform/Dispatch.h"
#include "app/service/QVBaseRequest.h"
#include "app/service/QVNetworkAgent.h"

#include <QNetworkAccessManager>
#include <QThread>

#include <map>
#include <mutex>

// A synchronous caller's wait: released by the handler step, a cancellation or the time-out.
struct QVSyncWait {
    platform::Semaphore semaphore;
};

struct QVNetworkAgent::Impl {
    QVNetworkAgent* owner = nullptr;
    std::mutex completionMutex;
    std::unique_ptr<platform::ConcurrentQueue> completion = std::make_unique<platform::ConcurrentQueue>(4);
    QThread thread;
    QObject* context = nullptr;                // lives on the engine thread
    QNetworkAccessManager* manager = nullptr;  // created there on first use
    std::unique_ptr<QObject> monitorContext;   // lives on the GUI thread

    mutable std::mutex tasksMutex;
    std::map<quint64, QVTaskPtr> tasks; // identifiers grow, so this is oldest first
    std::atomic<quint64> nextIdentifier{1};

    std::atomic<qint64> netType{1};
    mutable std::mutex stateMutex;
    QString netTypeString = QStringLiteral("WIFI");
    std::atomic<double> timeoutInterval{20};
    std::atomic<bool> logEnable{false};
    ErrorAdditionalHandler errorAdditionalHandler;
    HeaderHandler headerHandler;

    std::mutex recordsMutex;
    std::map<const void*, std::map<QString, std::shared_ptr<QVBaseRequest>>> records;

    std::once_flag shutdownOnce;

    void Perform(const QVTaskPtr& task);
    void Finish(const QVTaskPtr& task, QNetworkReply* reply);
    void Complete(const QVTaskPtr& task, QByteArray body, QVErrorOpt error);
    void Shutdown();
};

