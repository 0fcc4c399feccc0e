// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/service/QVBaseRequest.h"

#include "app/platform/Dispatch.h"
#include "app/service/QVNetworkAgentPrivate.h"
#include "app/service/QVNetworkUtils.h"

namespace {

// True when the weak reference was cleared (not merely outlived by its object).
template <class T>
bool IsCleared(const std::weak_ptr<T>& reference)
{
    const std::weak_ptr<T> empty;
    return !reference.owner_before(empty) && !empty.owner_before(reference);
}

} // namespace

QVTaskPtr QVBaseRequest::requestTask() const
{
    std::lock_guard lock(m_mutex);
    return m_task;
}

std::optional<QVURLRequest> QVBaseRequest::originalRequest() const
{
    if (auto task = requestTask())
        return task->originalRequest();
    return std::nullopt;
}

std::optional<QVHTTPResponse> QVBaseRequest::response() const
{
    if (auto task = requestTask())
        return task->response();
    return std::nullopt;
}

int QVBaseRequest::responseStatusCode() const
{
    auto reply = response();
    return reply ? reply->statusCode : 0;
}

QVHeaderList QVBaseRequest::responseHeaders() const
{
    auto reply = response();
    return reply ? reply->headers : QVHeaderList();
}

bool QVBaseRequest::isExecuting() const
{
    auto task = requestTask();
    return task && task->state() == QVSessionTask::Running;
}

bool QVBaseRequest::isCancelled() const
{
    auto task = requestTask();
    return task && task->state() == QVSessionTask::Canceling;
}

QList<QPair<QString, QString>> QVBaseRequest::requestHeaderFieldValueDictionary() const
{
    return {{QStringLiteral("Accept-Encoding"), QStringLiteral("gzip")},
            {QStringLiteral("Accept"), QStringLiteral("text/html, image/gif, image/jpeg, *; q=.2, */*; q=.2")},
            {QStringLiteral("Connection"), QStringLiteral("close")},
            {QStringLiteral("content-type"), QStringLiteral("application/x-www-form-urlencoded; charset=utf-8")}};
}

bool QVBaseRequest::statusCodeValidator() const
{
    const int status = responseStatusCode();
    return status >= 200 && status <= 299;
}

quint64 QVBaseRequest::startAsynchronous() { return Agent().addRequest(shared_from_this()); }

// Like the asynchronous start: nothing in the application waits for a request object.
quint64 QVBaseRequest::startSynchronous() { return Agent().addRequest(shared_from_this()); }

quint64 QVBaseRequest::asyncRequestWithUploadHandler(ProgressHandler upload, ProgressHandler download,
                                                     SuccessHandler success, FailureHandler failure)
{
    delegate.reset();
    successHandler = std::move(success);
    failureHandler = std::move(failure);
    uploadHandler = std::move(upload);
    downloadHandler = std::move(download);
    return Agent().addRequest(shared_from_this());
}

quint64 QVBaseRequest::asyncRequestWithSuccessHandler(SuccessHandler success, FailureHandler failure)
{
    return asyncRequestWithUploadHandler({}, {}, std::move(success), std::move(failure));
}

void QVBaseRequest::stop()
{
    delegate.reset();
    successHandler = nullptr;
    failureHandler = nullptr;
    Agent().cancelRequest(shared_from_this());
}

void QVPostRequest::addData(const QByteArray& data, const QString& fileName, const QString& contentType,
                            const QString& key)
{
    QVariantMap part;
    part.insert(QStringLiteral("data"), data);
    if (!key.isNull())
        part.insert(QStringLiteral("key"), key);
    if (!fileName.isNull())
        part.insert(QStringLiteral("fileName"), fileName);
    part.insert(QStringLiteral("contentType"),
                contentType.isEmpty() ? QStringLiteral("application/octet-stream") : contentType);
    dataArray.push_back(part);
}

std::optional<QVBaseRequest::BodyParts> QVPostRequest::constructingBodyBlock() const
{
    if (dataArray.empty())
        return std::nullopt;
    BodyParts parts;
    for (const QVariantMap& record : dataArray)
        parts.emplace_back(record.value(QStringLiteral("data")).toByteArray(),
                           record.value(QStringLiteral("key")).toString(),
                           record.value(QStringLiteral("fileName")).toString(),
                           record.value(QStringLiteral("contentType")).toString());
    return parts;
}

// The engine's operations for request objects.

quint64 QVNetworkAgent::addRequest(const std::shared_ptr<QVBaseRequest>& request)
{
    if (netType() == 0) {
        handleRequest(request, nullptr, {},
                      QVNetworkAgentError(kQVErrorOffline, QStringLiteral("The Internet connection appears to be offline")));
        return kRefused;
    }
    const auto noTask = [] {
        return QVNetworkAgentError(kQVErrorNoTask, QStringLiteral("QVBaseRequest's requestTask Can't be nil"));
    };
    std::weak_ptr<QVBaseRequest> weakRequest = request;
    QVNetworkAgent* engine = this;
    const auto completion = [engine, request](const QVTaskPtr& task, const QByteArray& body,
                                              const QVErrorOpt& error) {
        engine->handleRequest(request, task, body, error);
    };
    const auto upload = [weakRequest](const QVProgress& progress) {
        if (auto held = weakRequest.lock(); held && held->uploadHandler)
            platform::RunOnGui([held, progress] { held->uploadHandler(progress); });
    };
    const auto download = [weakRequest](const QVProgress& progress) {
        if (auto held = weakRequest.lock(); held && held->downloadHandler)
            platform::RunOnGui([held, progress] { held->downloadHandler(progress); });
    };

    QVTaskPtr task;
    if (auto custom = request->buildCustomUrlRequest()) {
        task = taskWithRequest(*custom, completion, upload, download);
    } else {
        const int method = request->requestMethod();
        if (method >= 0 && method <= 5) {
            std::unique_ptr<QVRequestSerializer> serializer;
            const int type = request->requestSerializerType();
            if (type == 0 || type == 1) {
                serializer = std::make_unique<QVRequestSerializer>(type);
                // The encoders of request objects set no content type of their own.
                serializer->setValueForHTTPHeaderField({}, QStringLiteral("Content-Type"));
                serializer->timeoutInterval = request->timeoutInterval > 0 ? request->timeoutInterval : 8;
                if (auto credentials = request->requestAuthorizationHeaderFieldArray())
                    serializer->setAuthorizationHeaderFieldWithUsername(credentials->first, credentials->second);
                for (const auto& [field, value] : request->requestHeaderFieldValueDictionary())
                    serializer->setValueForHTTPHeaderField(value, field);
            }
            if (serializer) {
                const QString url = escapedURLText(request->requestUrl);
                const auto parts = request->constructingBodyBlock();
                QVError error;
                std::optional<QVURLRequest> built =
                    parts ? serializer->multipartFormRequestWithMethod(methodText(method), url,
                                                                       request->requestArgument, *parts, &error)
                          : serializer->requestWithMethod(methodText(method), url, request->requestArgument, &error);
                if (!built) {
                    handleRequest(request, nullptr, {}, error);
                    return kRefused;
                }
                built->timeoutInterval = timeoutInterval();
                task = taskWithRequest(*built, completion, upload, download);
            }
        }
    }
    if (!task) {
        handleRequest(request, nullptr, {}, noTask());
        return kRefused;
    }
    switch (request->requestPriority()) {
    case 4: task->setPriority(0.75); break;
    case 0: task->setPriority(0.5); break;
    case -4: task->setPriority(0.25); break;
    default: break;
    }
    {
        std::lock_guard lock(request->m_mutex);
        request->m_task = task;
    }
    addRecord(request);
    resume(task);
    return task->taskIdentifier();
}

void QVNetworkAgent::handleRequest(const std::shared_ptr<QVBaseRequest>& request, const QVTaskPtr& task,
                                   const QByteArray& body, const QVErrorOpt& error)
{
    if (error) {
        if (error->code == kQVURLErrorCancelled && error->domain == kQVURLErrorDomain)
            return;
        requestFailed(request, *error);
        return;
    }
    if (!request->statusCodeValidator()) {
        requestFailed(request, QVNetworkAgentError(kQVErrorStatusCode, QStringLiteral("状态码不在200~299范围内")));
        return;
    }
    const QVHTTPResponse response = task ? task->response() : QVHTTPResponse();
    request->responseObject = body;
    request->responseString = body.isNull() ? QString() : decodeText(body, response);
    QVError readerError;
    bool readerFailed = false;
    if (request->responseSerializerType() == 2) {
        request->responseXMLObject = readXMLResponse(response, body, &readerError);
        readerFailed = !request->responseXMLObject;
    } else if (request->responseSerializerType() == 1) {
        request->responseJSONObject = readJSONResponse(response, body, &readerError);
        readerFailed = !request->responseJSONObject;
    }
    if (readerFailed) {
        requestFailed(request, readerError);
        return;
    }
    if (request->isNeedAES() && !body.isNull()) {
        const qsizetype length = request->aesKey.size();
        if (length != 16 && length != 24 && length != 32) {
            requestFailed(request, QVNetworkAgentError(kQVErrorAESKey, QStringLiteral("AES key length must be 16, 24 32")));
            return;
        }
        const auto text = QVNetworkUtils::AESDecode(body, request->aesKey);
        if (!text || text->size() < 2) {
            requestFailed(request, QVNetworkAgentError(kQVErrorAESDecode, QStringLiteral("AES decode error")));
            return;
        }
        request->responseString = *text;
    }
    if (!request->responseString.isNull()) {
        QVErrorOpt parseError;
        auto json = QVNetworkUtils::isValiableJSONWithData(request->responseString.toUtf8(), &parseError);
        if (json && !parseError)
            request->responseJSONObject = json;
    }
    requestSuccess(request);
}

void QVNetworkAgent::requestSuccess(const std::shared_ptr<QVBaseRequest>& request)
{
    removeRecord(request);
    platform::RunOnGui([request] {
        if (auto delegate = request->delegate.lock())
            delegate->requestSuccess(*request);
        if (request->successHandler)
            request->successHandler(*request);
        if (request->completionBlock)
            request->completionBlock();
        request->requestCompleteFilter();
    });
}

void QVNetworkAgent::requestFailed(const std::shared_ptr<QVBaseRequest>& request, const QVError& error)
{
    request->error = error;
    removeRecord(request);
    platform::RunOnGui([request, error] {
        request->requestFailedFilter();
        if (auto delegate = request->delegate.lock())
            delegate->requestFailed(*request);
        if (request->failureHandler)
            request->failureHandler(*request, error);
        if (request->failedBlock)
            request->failedBlock();
    });
}

void QVNetworkAgent::addRecord(const std::shared_ptr<QVBaseRequest>& request)
{
    auto delegate = request->delegate.lock();
    if (!delegate || request->APIName.isEmpty())
        return;
    const void* key = delegate.get();
    std::shared_ptr<QVBaseRequest> replaced;
    {
        std::lock_guard lock(d->recordsMutex);
        auto& named = d->records[key];
        auto it = named.find(request->APIName);
        if (it != named.end() && it->second != request)
            replaced = it->second;
        named[request->APIName] = request;
        request->m_recordTarget = key;
    }
    if (replaced) {
        if (auto task = replaced->requestTask())
            cancelTask(task);
    }
}

void QVNetworkAgent::removeRecord(const std::shared_ptr<QVBaseRequest>& request)
{
    // A stopped object (delegate cleared) keeps its record; one whose delegate has
    // gone is still found by the key it was recorded under.
    if (IsCleared(request->delegate) || request->APIName.isEmpty())
        return;
    std::lock_guard lock(d->recordsMutex);
    if (!request->m_recordTarget)
        return;
    auto target = d->records.find(request->m_recordTarget);
    if (target == d->records.end())
        return;
    auto it = target->second.find(request->APIName);
    if (it != target->second.end() && it->second == request)
        target->second.erase(it);
    if (target->second.empty())
        d->records.erase(target);
}

void QVNetworkAgent::cancelRequest(const std::shared_ptr<QVBaseRequest>& request)
{
    if (auto task = request->requestTask())
        cancelTask(task);
    removeRecord(request);
}

void QVNetworkAgent::cancelRequestWithTarget(const void* target)
{
    std::map<QString, std::shared_ptr<QVBaseRequest>> named;
    {
        std::lock_guard lock(d->recordsMutex);
        auto it = d->records.find(target);
        if (it == d->records.end())
            return;
        named = std::move(it->second);
        d->records.erase(it);
    }
    for (const auto& [name, request] : named)
        if (auto task = request->requestTask())
            cancelTask(task);
}

bool QVNetworkAgent::cancelRequestWithTarget(const void* target, const QString& subKey)
{
    std::shared_ptr<QVBaseRequest> request;
    {
        std::lock_guard lock(d->recordsMutex);
        auto it = d->records.find(target);
        if (it == d->records.end())
            return false;
        auto found = it->second.find(subKey);
        if (found == it->second.end() || found->second->delegate.expired())
            return false;
        request = found->second;
        it->second.erase(found); // the target's dictionary stays, even when empty
    }
    const bool executing = request->isExecuting();
    if (auto task = request->requestTask())
        cancelTask(task);
    return executing;
}
