// SPDX-License-Identifier: GPL-3.0-or-later
// Values the request engine hands to its callers: errors, requests, responses,
// progress and tasks.
#pragma once

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QString>
#include <QUrl>

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>

class QNetworkReply;

struct QVError {
    QString domain;
    qint64 code = 0;
    QString failureReason;
    QString description;
    QString localizedDescription() const { return description.isEmpty() ? failureReason : description; }
};
using QVErrorOpt = std::optional<QVError>;

// The engine's own errors.
inline const QString kQVNetworkAgentErrorDomain = QStringLiteral("org.rivela.QVNetworkAgent");
enum QVNetworkAgentErrorCode : qint64 {
    kQVErrorNoTask = 20001,
    kQVErrorStatusCode = 20002,
    kQVErrorAESKey = 20003,
    kQVErrorAESDecode = 20004,
    kQVErrorObjectConversion = 20005,
    kQVErrorOffline = 20006,
};
QVError QVNetworkAgentError(qint64 code, const QString& failureReason);

// Transport errors of the HTTP client, with the usual URL-loading codes.
inline const QString kQVURLErrorDomain = QStringLiteral("org.rivela.URLError");
enum QVURLErrorCode : qint64 {
    kQVURLErrorUnknown = -1,
    kQVURLErrorCancelled = -999,
    kQVURLErrorBadURL = -1000,
    kQVURLErrorTimedOut = -1001,
    kQVURLErrorCannotFindHost = -1003,
    kQVURLErrorCannotConnectToHost = -1004,
    kQVURLErrorNetworkConnectionLost = -1005,
    kQVURLErrorBadServerResponse = -1011,
};

using QVHeaderList = QList<QPair<QByteArray, QByteArray>>;

struct QVURLRequest {
    QUrl url;
    QString method = QStringLiteral("GET");
    QByteArray body;
    QVHeaderList headers;
    double timeoutInterval = 60;
    QByteArray header(const QByteArray& name) const; // case-insensitive; last one wins
    void setHeader(const QByteArray& name, const QByteArray& value);
};

struct QVHTTPResponse {
    int statusCode = 0; // 0: no response
    QVHeaderList headers;
    QString textEncodingName; // the charset parameter, empty when none
    QByteArray header(const QByteArray& name) const;
};

struct QVProgress {
    qint64 completedUnitCount = 0;
    qint64 totalUnitCount = -1;
};

class QVSessionTask;
using QVTaskPtr = std::shared_ptr<QVSessionTask>;
// Sees every outcome of a task, a cancellation included (code -999). The body is null
// when the reply had none.
using QVTaskCompletion = std::function<void(const QVTaskPtr& task, const QByteArray& body, const QVErrorOpt& error)>;

// One task of the engine's session. Read-only for callers; the engine changes it.
class QVSessionTask {
public:
    enum State { Running = 0, Suspended = 1, Canceling = 2, Completed = 3 };

    quint64 taskIdentifier() const { return m_identifier; }
    const QVURLRequest& originalRequest() const { return m_request; }
    QVHTTPResponse response() const;
    int state() const { return m_state.load(); }
    double priority() const { return m_priority.load(); }
    void setPriority(double priority) { m_priority.store(priority); }

private:
    friend class QVNetworkAgent;

    quint64 m_identifier = 0;
    QVURLRequest m_request;
    std::atomic<int> m_state{Suspended};
    std::atomic<double> m_priority{0.5};
    std::atomic<bool> m_resumed{false};
    std::atomic<bool> m_timedOut{false};
    std::atomic<bool> m_completed{false};
    mutable std::mutex m_mutex;
    QVHTTPResponse m_response;
    QVTaskCompletion m_completion;
    std::function<void(const QVProgress&)> m_uploadProgress;
    std::function<void(const QVProgress&)> m_downloadProgress;
    QNetworkReply* m_reply = nullptr; // engine thread only
};
