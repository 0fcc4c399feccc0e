// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/service/QVNetworkAgent.h"
#include "app/service/QVNetworkAgentPrivate.h"

#include "app/platform/CookieStorage.h"
#include "app/platform/Dispatch.h"
#include "app/platform/NotificationHub.h"
#include "app/service/QVBaseRequest.h"
#include "app/service/QVNetworkUtils.h"

#include <QCoreApplication>
#include <QNetworkAccessManager>
#include <QNetworkInformation>
#include <QNetworkReply>
#include <QStringDecoder>
#include <QThread>
#include <QTimer>

#include <map>

QVError QVNetworkAgentError(qint64 code, const QString& failureReason)
{
    return QVError{kQVNetworkAgentErrorDomain, code, failureReason, {}};
}

namespace {

QByteArray HeaderIn(const QVHeaderList& headers, const QByteArray& name)
{
    QByteArray found;
    for (const auto& [key, value] : headers)
        if (key.compare(name, Qt::CaseInsensitive) == 0)
            found = value;
    return found;
}

} // namespace

QByteArray QVURLRequest::header(const QByteArray& name) const { return HeaderIn(headers, name); }

void QVURLRequest::setHeader(const QByteArray& name, const QByteArray& value)
{
    headers.removeIf([&](const auto& h) { return h.first.compare(name, Qt::CaseInsensitive) == 0; });
    headers.append({name, value});
}

QByteArray QVHTTPResponse::header(const QByteArray& name) const { return HeaderIn(headers, name); }

QVHTTPResponse QVSessionTask::response() const
{
    std::lock_guard lock(m_mutex);
    return m_response;
}

void QVNetworkAgent::Impl::Perform(const QVTaskPtr& task)
{
    if (!manager) {
        manager = new QNetworkAccessManager(context);
        platform::UseSharedCookies(*manager);
    }
    if (task->m_state.load() == QVSessionTask::Canceling) {
        Complete(task, {}, QVError{kQVURLErrorDomain, kQVURLErrorCancelled, {}, QStringLiteral("cancelled")});
        return;
    }
    const QVURLRequest& request = task->m_request;
    QNetworkRequest networkRequest(request.url);
    for (const auto& [name, value] : request.headers) {
        // Qt decompresses only what it asked for itself, and it always asks for gzip.
        if (name.compare("Accept-Encoding", Qt::CaseInsensitive) != 0)
            networkRequest.setRawHeader(name, value);
    }
    const double priority = task->m_priority.load();
    networkRequest.setPriority(priority > 0.5   ? QNetworkRequest::HighPriority
                               : priority < 0.5 ? QNetworkRequest::LowPriority
                                                : QNetworkRequest::NormalPriority);
    networkRequest.setAttribute(QNetworkRequest::CacheLoadControlAttribute, QNetworkRequest::AlwaysNetwork);
    QNetworkReply* reply = nullptr;
    const QByteArray method = request.method.toLatin1();
    if (method == "GET" && request.body.isEmpty())
        reply = manager->get(networkRequest);
    else if (method == "HEAD")
        reply = manager->head(networkRequest);
    else
        reply = manager->sendCustomRequest(networkRequest, method, request.body);
    task->m_reply = reply;

    auto* timer = new QTimer(reply);
    timer->setSingleShot(true);
    QObject::connect(timer, &QTimer::timeout, reply, [task, reply] {
        task->m_timedOut = true;
        reply->abort();
    });
    timer->start(std::max(1, int(request.timeoutInterval * 1000.0)));
    QObject::connect(reply, &QNetworkReply::uploadProgress, reply, [task](qint64 sent, qint64 total) {
        if (task->m_uploadProgress)
            task->m_uploadProgress(QVProgress{sent, total});
    });
    QObject::connect(reply, &QNetworkReply::downloadProgress, reply, [task](qint64 received, qint64 total) {
        if (task->m_downloadProgress)
            task->m_downloadProgress(QVProgress{received, total});
    });
    QObject::connect(reply, &QNetworkReply::finished, context, [this, task, reply] { Finish(task, reply); });
}

void QVNetworkAgent::Impl::Finish(const QVTaskPtr& task, QNetworkReply* reply)
{
    task->m_reply = nullptr;
    reply->deleteLater();
    QVHTTPResponse response;
    const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    response.statusCode = status.isValid() ? status.toInt() : 0;
    for (const auto& pair : reply->rawHeaderPairs())
        response.headers.append(pair);
    const QByteArray contentType = response.header("Content-Type");
    const qsizetype charset = contentType.toLower().indexOf("charset=");
    if (charset >= 0) {
        QByteArray name = contentType.mid(charset + 8);
        const qsizetype end = name.indexOf(';');
        if (end >= 0)
            name = name.left(end);
        response.textEncodingName = QString::fromLatin1(name.trimmed().replace('"', ""));
    }
    {
        std::lock_guard lock(task->m_mutex);
        task->m_response = response;
    }
    QByteArray body = reply->isOpen() ? reply->readAll() : QByteArray();

    const auto urlError = [](qint64 code, const QString& text) {
        return QVError{kQVURLErrorDomain, code, text, text};
    };
    QVErrorOpt error;
    const auto networkError = reply->error();
    if (task->m_state.load() == QVSessionTask::Canceling) {
        error = urlError(kQVURLErrorCancelled, QStringLiteral("cancelled"));
    } else if (task->m_timedOut.load()) {
        error = urlError(kQVURLErrorTimedOut, QStringLiteral("The request timed out."));
    } else if (networkError != QNetworkReply::NoError && (response.statusCode == 0 || networkError < 201)) {
        qint64 code = kQVURLErrorUnknown;
        switch (networkError) {
        case QNetworkReply::ConnectionRefusedError: code = kQVURLErrorCannotConnectToHost; break;
        case QNetworkReply::RemoteHostClosedError: code = kQVURLErrorNetworkConnectionLost; break;
        case QNetworkReply::HostNotFoundError: code = kQVURLErrorCannotFindHost; break;
        case QNetworkReply::TimeoutError: code = kQVURLErrorTimedOut; break;
        default: break;
        }
        error = urlError(code, reply->errorString());
    } else if (const QByteArray length = response.header("Content-Length");
               !length.isEmpty() && response.header("Content-Encoding").isEmpty() &&
               length.toLongLong() > body.size() && task->m_request.method != QLatin1String("HEAD")) {
        error = urlError(kQVURLErrorNetworkConnectionLost, QStringLiteral("The network connection was lost."));
    } else if (response.statusCode < 200 || response.statusCode > 299) {
        const QString reason = reply->attribute(QNetworkRequest::HttpReasonPhraseAttribute).toString();
        error = urlError(kQVURLErrorBadServerResponse,
                         QStringLiteral("Request failed: %1 (%2)").arg(reason).arg(response.statusCode));
    }
    if (body.isEmpty()) {
        const bool none = task->m_request.method == QLatin1String("HEAD") || response.statusCode == 204;
        body = none ? QByteArray() : QByteArray("", 0);
    }
    Complete(task, std::move(body), std::move(error));
}

void QVNetworkAgent::Impl::Complete(const QVTaskPtr& task, QByteArray body, QVErrorOpt error)
{
    if (task->m_completed.exchange(true))
        return;
    {
        std::lock_guard lock(tasksMutex);
        tasks.erase(task->m_identifier);
    }
    task->m_state = QVSessionTask::Completed;
    owner->postToCompletionQueue([task, body = std::move(body), error = std::move(error)] {
        // The handlers hold what the caller gave (a request object holds its task):
        // they go with the task's work.
        QVTaskCompletion completion;
        {
            std::lock_guard lock(task->m_mutex);
            completion = std::move(task->m_completion);
            task->m_completion = nullptr;
        }
        if (completion)
            completion(task, body, error);
    });
}

void QVNetworkAgent::Impl::Shutdown()
{
    std::call_once(shutdownOnce, [this] {
        std::vector<QVTaskPtr> running;
        {
            std::lock_guard lock(tasksMutex);
            for (const auto& [id, task] : tasks)
                running.push_back(task);
        }
        for (const QVTaskPtr& task : running)
            owner->cancelTask(task);
        if (thread.isRunning()) {
            QMetaObject::invokeMethod(
                context,
                [this] {
                    delete context; // and the manager with its replies
                    context = nullptr;
                    manager = nullptr;
                    thread.quit();
                },
                Qt::BlockingQueuedConnection);
            thread.wait();
        }
        std::unique_ptr<platform::ConcurrentQueue> pool;
        {
            std::lock_guard lock(completionMutex);
            pool = std::move(completion);
        }
        pool.reset(); // waits for the handlers still running
        monitorContext.reset();
    });
}

QVNetworkAgent::QVNetworkAgent() : d(std::make_unique<Impl>())
{
    d->owner = this;
    d->thread.setObjectName(QStringLiteral("QVNetworkAgent"));
    d->context = new QObject;
    d->context->moveToThread(&d->thread);
    d->thread.start();
}

QVNetworkAgent::~QVNetworkAgent() { d->Shutdown(); }

void QVNetworkAgent::shutdown() { d->Shutdown(); }

namespace {
QVNetworkAgent* g_sharedAgent = nullptr;
void ShutdownSharedAgent()
{
    // The engine thread and its handlers must not outlive the application object.
    if (g_sharedAgent)
        g_sharedAgent->shutdown();
}
} // namespace

QVNetworkAgent& QVNetworkAgent::sharedInstance()
{
    static QVNetworkAgent* agent = [] {
        auto* created = new QVNetworkAgent;
        g_sharedAgent = created;
        qAddPostRoutine(ShutdownSharedAgent);
        return created;
    }();
    return *agent;
}

QString QVNetworkAgent::methodText(int methodCode)
{
    switch (methodCode) {
    case 1: return QStringLiteral("POST");
    case 2: return QStringLiteral("HEAD");
    case 3: return QStringLiteral("PUT");
    case 4: return QStringLiteral("DELETE");
    case 5: return QStringLiteral("PATCH");
    default: return QStringLiteral("GET");
    }
}

QString QVNetworkAgent::escapedURLText(const QString& url)
{
    static const QByteArray allowed = "-._~!$&'()*+,;=:@/?";
    const QByteArray bytes = url.toUtf8();
    QByteArray out;
    out.reserve(bytes.size());
    const auto isHex = [](char c) { return std::isxdigit(static_cast<unsigned char>(c)) != 0; };
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        const char c = bytes[i];
        const auto u = static_cast<unsigned char>(c);
        if (std::isalnum(u) && u < 0x80) {
            out += c;
        } else if (allowed.contains(c)) {
            out += c;
        } else if (c == '%' && i + 2 < bytes.size() + 0 && isHex(bytes[i + 1]) && isHex(bytes[i + 2])) {
            out += c; // an escape already made stays as it is
        } else {
            out += '%';
            out += QByteArray::number(u, 16).toUpper().rightJustified(2, '0');
        }
    }
    return QString::fromLatin1(out);
}

QString QVNetworkAgent::stringEncodingWithResponse(const QVHTTPResponse& response)
{
    if (response.textEncodingName.isEmpty())
        return QStringLiteral("UTF-8");
    QStringDecoder decoder(response.textEncodingName.toLatin1().constData());
    return decoder.isValid() ? response.textEncodingName : QStringLiteral("UTF-8");
}

QString QVNetworkAgent::decodeText(const QByteArray& body, const QVHTTPResponse& response)
{
    QStringDecoder decoder(stringEncodingWithResponse(response).toLatin1().constData());
    if (!decoder.isValid())
        return QString::fromUtf8(body);
    return decoder.decode(body);
}

std::optional<QJsonDocument> QVNetworkAgent::readJSONResponse(const QVHTTPResponse& response,
                                                              const QByteArray& body, QVError* error)
{
    static const QList<QByteArray> accepted = {"application/json", "text/html", "text/json", "text/javascript",
                                               "image/jpeg", "image/png", "application/octet-stream"};
    const QByteArray type = response.header("Content-Type").split(';').first().trimmed().toLower();
    if (response.statusCode < 200 || response.statusCode > 299 || (!type.isEmpty() && !accepted.contains(type))) {
        if (error)
            *error = QVError{kQVURLErrorDomain, kQVURLErrorBadServerResponse,
                             QStringLiteral("Request failed: unacceptable content-type or status"),
                             QStringLiteral("Request failed: unacceptable content-type: %1 (%2)")
                                 .arg(QString::fromLatin1(type))
                                 .arg(response.statusCode)};
        return std::nullopt;
    }
    QVErrorOpt parseError;
    auto json = QVNetworkUtils::isValiableJSONWithData(body, &parseError);
    if (parseError) {
        if (error)
            *error = *parseError;
        return std::nullopt;
    }
    return json ? json : std::optional<QJsonDocument>(QJsonDocument());
}

std::shared_ptr<QXmlStreamReader> QVNetworkAgent::readXMLResponse(const QVHTTPResponse& response,
                                                                  const QByteArray& body, QVError* error)
{
    const QByteArray type = response.header("Content-Type").split(';').first().trimmed().toLower();
    if (response.statusCode < 200 || response.statusCode > 299 ||
        (type != "application/xml" && type != "text/xml")) {
        if (error)
            *error = QVError{kQVURLErrorDomain, kQVURLErrorBadServerResponse,
                             QStringLiteral("Request failed: unacceptable content-type or status"),
                             QStringLiteral("Request failed: unacceptable content-type: %1 (%2)")
                                 .arg(QString::fromLatin1(type))
                                 .arg(response.statusCode)};
        return nullptr;
    }
    return std::make_shared<QXmlStreamReader>(body);
}

std::unique_ptr<QVRequestSerializer> QVNetworkAgent::buildRequestRequestSerializerWithType(int type) const
{
    if (type < 0 || type > 2)
        return nullptr;
    return std::make_unique<QVRequestSerializer>(type);
}

void QVNetworkAgent::postToCompletionQueue(std::function<void()> work)
{
    std::lock_guard lock(d->completionMutex);
    if (d->completion)
        d->completion->Async(std::move(work));
}

void QVNetworkAgent::postFailure(const FailureHandler& failure, const QVError& error)
{
    if (failure)
        postToCompletionQueue([failure, error] { failure(nullptr, error); });
}

void QVNetworkAgent::logInfoWithTitle(const QString& title, const QString& method, const QString& urlString,
                                      const QVariantMap& param, const QString& responseString,
                                      const QVErrorOpt& error)
{
    if (!error || netType() == 0)
        return;
    ErrorAdditionalHandler handler;
    {
        std::lock_guard lock(d->stateMutex);
        handler = d->errorAdditionalHandler;
    }
    if (!handler)
        return;
    QString message = responseString;
    if (message.isEmpty())
        message = error->localizedDescription();
    if (message.isEmpty())
        message = QStringLiteral("当前网络不可用，请检查网络");
    if (error->code != 0)
        message = QStringLiteral("%1    ****error_code=%2").arg(message).arg(error->code);
    auto call = [handler, method, urlString, param, message] { handler(method, urlString, param, message); };
    if (platform::IsGuiThread())
        call();
    else if (QCoreApplication::instance())
        platform::AsyncOnGui(std::move(call));
}

QVTaskPtr QVNetworkAgent::taskWithRequest(const QVURLRequest& request, QVTaskCompletion completion,
                                          ProgressHandler uploadProgress, ProgressHandler downloadProgress)
{
    auto task = std::make_shared<QVSessionTask>();
    task->m_identifier = d->nextIdentifier++;
    task->m_request = request;
    task->m_completion = std::move(completion);
    task->m_uploadProgress = std::move(uploadProgress);
    task->m_downloadProgress = std::move(downloadProgress);
    std::lock_guard lock(d->tasksMutex);
    d->tasks.emplace(task->m_identifier, task);
    return task;
}

void QVNetworkAgent::resume(const QVTaskPtr& task)
{
    if (!task || task->m_resumed.exchange(true))
        return;
    int expected = QVSessionTask::Suspended;
    task->m_state.compare_exchange_strong(expected, QVSessionTask::Running);
    Impl* impl = d.get();
    const bool posted = impl->context && QMetaObject::invokeMethod(
                                             impl->context, [impl, task] { impl->Perform(task); },
                                             Qt::QueuedConnection);
    if (!posted)
        impl->Complete(task, {}, QVError{kQVURLErrorDomain, kQVURLErrorCancelled, {}, QStringLiteral("cancelled")});
}

void QVNetworkAgent::cancelTask(const QVTaskPtr& task)
{
    int state = task->m_state.load();
    while (state == QVSessionTask::Running || state == QVSessionTask::Suspended) {
        if (task->m_state.compare_exchange_weak(state, QVSessionTask::Canceling))
            break;
    }
    if (state != QVSessionTask::Running && state != QVSessionTask::Suspended)
        return;
    const QVError cancelled{kQVURLErrorDomain, kQVURLErrorCancelled, {}, QStringLiteral("cancelled")};
    if (!task->m_resumed.load()) {
        d->Complete(task, {}, cancelled);
        return;
    }
    Impl* impl = d.get();
    const bool posted = impl->context && QMetaObject::invokeMethod(
                                             impl->context,
                                             [task] {
                                                 // Not started yet: Perform sees the state and completes it.
                                                 if (task->m_reply)
                                                     task->m_reply->abort();
                                             },
                                             Qt::QueuedConnection);
    if (!posted)
        impl->Complete(task, {}, cancelled);
}

std::vector<QVTaskPtr> QVNetworkAgent::tasks() const
{
    std::lock_guard lock(d->tasksMutex);
    std::vector<QVTaskPtr> all;
    for (const auto& [id, task] : d->tasks)
        all.push_back(task);
    return all;
}

void QVNetworkAgent::cancelAllRequests()
{
    for (const QVTaskPtr& task : tasks())
        cancelTask(task);
    std::lock_guard lock(d->recordsMutex);
    d->records.clear();
}

void QVNetworkAgent::cancelTaskForIdentifier(quint64 identifier)
{
    QVTaskPtr task;
    {
        std::lock_guard lock(d->tasksMutex);
        auto it = d->tasks.find(identifier);
        if (it != d->tasks.end())
            task = it->second;
    }
    if (task)
        cancelTask(task);
}

QVTaskPtr QVNetworkAgent::dataTaskWithHTTPMethod(const QString& method, const QString& url,
                                                 const QVariantMap& param, int requestSerializerType,
                                                 ProgressHandler uploadProgress, ProgressHandler downloadProgress,
                                                 SuccessHandler success, FailureHandler failure)
{
    auto serializer = buildRequestRequestSerializerWithType(requestSerializerType);
    QVError error{kQVURLErrorDomain, kQVURLErrorBadURL, QStringLiteral("no request encoder"),
                  QStringLiteral("no request encoder of type %1").arg(requestSerializerType)};
    std::optional<QVURLRequest> request;
    if (serializer) {
        serializer->timeoutInterval = timeoutInterval();
        HeaderHandler headerHandler;
        {
            std::lock_guard lock(d->stateMutex);
            headerHandler = d->headerHandler;
        }
        if (headerHandler)
            headerHandler(*serializer);
        request = serializer->requestWithMethod(method, escapedURLText(url), param, &error);
    }
    if (!request) {
        postFailure(failure, error);
        return nullptr;
    }
    request->timeoutInterval = timeoutInterval();

    // An identical older request (same address without added query, method and body) gives way.
    const QByteArray target = QUrl(escapedURLText(url), QUrl::TolerantMode).toEncoded();
    for (const QVTaskPtr& older : tasks()) {
        const QVURLRequest& previous = older->originalRequest();
        if (previous.url.toEncoded() != target || previous.method != request->method)
            continue;
        const bool bothEmpty = previous.body.isEmpty() && request->body.isEmpty();
        const bool bothEqual = !previous.body.isEmpty() && previous.body == request->body;
        if (bothEmpty || bothEqual)
            cancelTask(older);
    }

    return taskWithRequest(
        *request,
        [success = std::move(success), failure = std::move(failure)](const QVTaskPtr& task, const QByteArray& body,
                                                                     const QVErrorOpt& taskError) {
            if (taskError) {
                if (taskError->code == kQVURLErrorCancelled && taskError->domain == kQVURLErrorDomain)
                    return;
                if (failure)
                    failure(task, taskError);
            } else if (success) {
                success(task, body);
            }
        },
        std::move(uploadProgress), std::move(downloadProgress));
}

quint64 QVNetworkAgent::startWithWait(const QVTaskPtr& task, bool isSyncRequest,
                                      const std::shared_ptr<QVSyncWait>& wait)
{
    const quint64 identifier = task->taskIdentifier();
    if (!isSyncRequest) {
        resume(task);
        return identifier;
    }
    // Released after the handler step, and also by a cancellation (which calls no handler).
    {
        std::lock_guard lock(task->m_mutex);
        auto inner = std::move(task->m_completion);
        task->m_completion = [inner = std::move(inner), wait](const QVTaskPtr& t, const QByteArray& body,
                                                              const QVErrorOpt& error) {
            if (inner)
                inner(t, body, error);
            wait->semaphore.Signal();
        };
    }
    const double seconds = task->originalRequest().timeoutInterval;
    resume(task);
    if (!wait->semaphore.Wait(std::chrono::milliseconds(qint64(seconds * 1000.0) + 5000)))
        cancelTask(task);
    return identifier;
}

bool QVNetworkAgent::refuseOffline(const QString& title, const QString& url, const QVariantMap& param,
                                   const FailureHandler& failure)
{
    if (netType() != 0)
        return false;
    const QVError error =
        QVNetworkAgentError(kQVErrorOffline, QStringLiteral("The Internet connection appears to be offline"));
    logInfoWithTitle(title, url, url, param, {}, error);
    postFailure(failure, error);
    return true;
}

quint64 QVNetworkAgent::requestDataWithURLString(const QString& url, int method, const QVariantMap& param,
                                                 bool isSyncRequest, int requestSerializerType,
                                                 SuccessHandler success, FailureHandler failure)
{
    if (refuseOffline(QStringLiteral("requestData"), url, param, failure))
        return kRefused;
    auto task = dataTaskWithHTTPMethod(
        methodText(method), url, param, requestSerializerType, {}, {},
        [success = std::move(success)](const QVTaskPtr& task, const QByteArray& body) {
            if (success)
                success(task, body);
        },
        [this, url, param, failure = std::move(failure)](const QVTaskPtr& task, const QVErrorOpt& error) {
            logInfoWithTitle(QStringLiteral("requestData"), url, url, param, {}, error);
            if (failure)
                failure(task, error);
        });
    if (!task)
        return 0;
    return startWithWait(task, isSyncRequest, isSyncRequest ? std::make_shared<QVSyncWait>() : nullptr);
}

quint64 QVNetworkAgent::requestDataWithURLString(const QString& url, int method, const QVariantMap& param,
                                                 bool isSyncRequest, SuccessHandler success, FailureHandler failure)
{
    return requestDataWithURLString(url, method, param, isSyncRequest, 0, std::move(success), std::move(failure));
}

quint64 QVNetworkAgent::requestXMLWithURLString(const QString& url, int method, const QVariantMap& param,
                                                bool isSyncRequest, int requestSerializerType,
                                                XMLSuccessHandler success, FailureHandler failure)
{
    return requestDataWithURLString(
        url, method, param, isSyncRequest, requestSerializerType,
        [success = std::move(success)](const QVTaskPtr& task, const QByteArray& body) {
            if (!success)
                return;
            if (body.isNull()) {
                success(task, nullptr);
                return;
            }
            success(task, readXMLResponse(task->response(), body, nullptr));
        },
        std::move(failure));
}

quint64 QVNetworkAgent::requestXMLWithURLString(const QString& url, int method, const QVariantMap& param,
                                                bool isSyncRequest, XMLSuccessHandler success,
                                                FailureHandler failure)
{
    return requestXMLWithURLString(url, method, param, isSyncRequest, 0, std::move(success), std::move(failure));
}

void QVNetworkAgent::startMonitoring()
{
    if (!QCoreApplication::instance())
        return;
    platform::SyncOnGui([this] {
        if (d->monitorContext)
            return;
        d->monitorContext = std::make_unique<QObject>();
        if (!QNetworkInformation::loadDefaultBackend() || !QNetworkInformation::instance())
            return; // no monitor: the engine stays online
        QNetworkInformation* info = QNetworkInformation::instance();
        const auto statusOf = [info] {
            switch (info->reachability()) {
            case QNetworkInformation::Reachability::Unknown: return -1;
            case QNetworkInformation::Reachability::Disconnected: return 0;
            default:
                return info->transportMedium() == QNetworkInformation::TransportMedium::Cellular ? 1 : 2;
            }
        };
        QObject::connect(info, &QNetworkInformation::reachabilityChanged, d->monitorContext.get(),
                         [this, statusOf] { applyReachabilityStatus(statusOf()); });
        applyReachabilityStatus(statusOf());
    });
}

void QVNetworkAgent::applyReachabilityStatus(int status)
{
    qint64 type = 0;
    QString text;
    switch (status) {
    case -1: type = 1; text = QStringLiteral("其他情况"); break; // unknown counts as reachable
    case 0: type = 0; text = QStringLiteral("网络已断开"); break;
    case 1: type = 2; text = QStringLiteral("2G/3G/4G"); break;
    case 2: type = 1; text = QStringLiteral("WIFI"); break;
    default: return;
    }
    {
        std::lock_guard lock(d->stateMutex);
        d->netTypeString = text;
    }
    d->netType = type;
    auto& hub = platform::NotificationHub::Shared();
    if (status == 0)
        hub.Post(platform::notifications::kMonitoringNoNet);
    hub.Post(platform::notifications::kNetworkDidChange, {{QStringLiteral("object"), status}});
}

qint64 QVNetworkAgent::netType() const { return d->netType.load(); }

QString QVNetworkAgent::netTypeString() const
{
    std::lock_guard lock(d->stateMutex);
    return d->netTypeString;
}

double QVNetworkAgent::timeoutInterval() const { return d->timeoutInterval.load(); }
void QVNetworkAgent::setTimeoutInterval(double seconds) { d->timeoutInterval = seconds <= 0 ? 20.0 : seconds; }

void QVNetworkAgent::setErrorAdditionalHandler(ErrorAdditionalHandler handler)
{
    std::lock_guard lock(d->stateMutex);
    d->errorAdditionalHandler = std::move(handler);
}

void QVNetworkAgent::setHeaderHandler(HeaderHandler handler)
{
    std::lock_guard lock(d->stateMutex);
    d->headerHandler = std::move(handler);
}

bool QVNetworkAgent::logEnable() const { return d->logEnable.load(); }
void QVNetworkAgent::setLogEnable(bool enable) { d->logEnable = enable; }
