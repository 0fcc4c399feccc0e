// SPDX-License-Identifier: GPL-3.0-or-later
// The engine's requests that decode their replies (JSON, AES-protected JSON, model
// objects) and its multipart upload.
#include "app/service/QVNetworkAgent.h"
#include "app/service/QVNetworkAgentPrivate.h"
#include "app/service/QVNetworkUtils.h"

namespace {

// Decodes a reply of the JSON and object requests. Answers the parsed value, or none
// with the failure to report (the error may be absent: an empty body) and the text
// the error forwarding gets.
struct Decoded {
    std::optional<QJsonDocument> json;
    QVErrorOpt error;
    QString replyText;
};

Decoded Decode(const QByteArray& body, const std::optional<QString>& aesKey)
{
    Decoded result;
    if (aesKey) {
        const auto text = QVNetworkUtils::AESDecode(body, *aesKey);
        if (!text || text->size() < 2) {
            result.error = QVNetworkAgentError(kQVErrorAESDecode, QStringLiteral("AES decode error"));
            result.replyText = QString::fromUtf8(body);
            return result;
        }
        result.replyText = *text;
        result.json = QVNetworkUtils::isValiableJSONWithData(text->toUtf8(), &result.error);
    } else {
        result.replyText = QString::fromUtf8(body);
        result.json = QVNetworkUtils::isValiableJSONWithData(body, &result.error);
    }
    return result;
}

} // namespace

quint64 QVNetworkAgent::requestJSONWithAESKey(const std::optional<QString>& aesKey, const QString& url, int method,
                                              const QVariantMap& param, bool isSyncRequest,
                                              int requestSerializerType, JSONSuccessHandler success,
                                              FailureHandler failure)
{
    const QString title = QStringLiteral("requestJSON");
    if (refuseOffline(title, url, param, failure))
        return kRefused;
    if (!QVNetworkUtils::isAesKeyValiable(aesKey)) {
        const QVError error =
            QVNetworkAgentError(kQVErrorAESKey, QStringLiteral("AES key length must be 16 or 24 or 32"));
        logInfoWithTitle(title, url, url, param, {}, error);
        postFailure(failure, error);
        return kRefused;
    }
    auto task = dataTaskWithHTTPMethod(
        methodText(method), url, param, requestSerializerType, {}, {},
        [this, title, url, param, aesKey, success, failure](const QVTaskPtr& task, const QByteArray& body) {
            if (body.isNull()) {
                if (success)
                    success(task, QJsonDocument());
                return;
            }
            Decoded decoded = Decode(body, aesKey);
            if (decoded.error || !decoded.json) {
                logInfoWithTitle(title, url, url, param, decoded.replyText, decoded.error);
                if (failure)
                    failure(task, decoded.error);
                return;
            }
            if (success)
                success(task, *decoded.json);
        },
        [this, title, url, param, failure](const QVTaskPtr& task, const QVErrorOpt& error) {
            logInfoWithTitle(title, url, url, param, {}, error);
            if (failure)
                failure(task, error);
        });
    if (!task)
        return 0;
    return startWithWait(task, isSyncRequest, isSyncRequest ? std::make_shared<QVSyncWait>() : nullptr);
}

quint64 QVNetworkAgent::requestJSONWithURLString(const QString& url, int method, const QVariantMap& param,
                                                 bool isSyncRequest, JSONSuccessHandler success,
                                                 FailureHandler failure)
{
    return requestJSONWithAESKey(std::nullopt, url, method, param, isSyncRequest, 0, std::move(success),
                                 std::move(failure));
}

quint64 QVNetworkAgent::requestObjectWithAESKey(const std::optional<QString>& aesKey, const QString& url,
                                                int method, const QVariantMap& param,
                                                const QVModelClass& modelClass, bool isSyncRequest,
                                                int requestSerializerType, ObjectSuccessHandler success,
                                                FailureHandler failure)
{
    return requestJSONWithAESKey(
        aesKey, url, method, param, isSyncRequest, requestSerializerType,
        [this, url, param, modelClass, success, failure](const QVTaskPtr& task, const QJsonDocument& json) {
            if (json.isNull()) {
                if (success)
                    success(task, nullptr);
                return;
            }
            std::shared_ptr<QVModel> object = modelClass.make ? modelClass.make(json) : nullptr;
            if (!object) {
                const QVError error = QVNetworkAgentError(
                    kQVErrorObjectConversion,
                    QStringLiteral("response Conversion to Object(Class: %1) Error:").arg(modelClass.name));
                logInfoWithTitle(QStringLiteral("requestObject"), url, url, param,
                                 QString::fromUtf8(json.toJson(QJsonDocument::Compact)), error);
                if (failure)
                    failure(task, error);
                return;
            }
            if (success)
                success(task, std::move(object));
        },
        failure);
}

quint64 QVNetworkAgent::requestObjectWithURLString(const QString& url, int method, const QVariantMap& param,
                                                   const QVModelClass& modelClass, bool isSyncRequest,
                                                   ObjectSuccessHandler success, FailureHandler failure)
{
    return requestObjectWithAESKey(std::nullopt, url, method, param, modelClass, isSyncRequest, 0,
                                   std::move(success), std::move(failure));
}

quint64 QVNetworkAgent::uploadFileWithURLString(const QString& url, const std::vector<QVUploadFile>& files,
                                                const QVariantMap& param, int requestSerializerType,
                                                ProgressHandler progress, SuccessHandler success,
                                                FailureHandler failure)
{
    const QString title = QStringLiteral("uploadFile");
    if (refuseOffline(title, url, param, failure))
        return kRefused;
    auto serializer = buildRequestRequestSerializerWithType(requestSerializerType);
    QVError error{kQVURLErrorDomain, kQVURLErrorBadURL, QStringLiteral("no request encoder"),
                  QStringLiteral("no request encoder of type %1").arg(requestSerializerType)};
    std::optional<QVURLRequest> request;
    if (serializer) {
        HeaderHandler headerHandler;
        {
            std::lock_guard lock(d->stateMutex);
            headerHandler = d->headerHandler;
        }
        if (headerHandler)
            headerHandler(*serializer);
        // Not escaped: an upload address is sent as given.
        request = serializer->multipartFormRequestWithMethod(QStringLiteral("POST"), url, param, files, &error);
    }
    if (!request) {
        logInfoWithTitle(title, url, url, param, {}, error);
        postFailure(failure, error);
        return kRefused;
    }
    request->timeoutInterval = std::max(timeoutInterval(), 60.0);
    auto task = taskWithRequest(
        *request,
        [this, title, url, param, success, failure](const QVTaskPtr& task, const QByteArray& body,
                                                    const QVErrorOpt& taskError) {
            // A cancelled upload is a failure too.
            if (taskError) {
                logInfoWithTitle(title, url, url, param, {}, taskError);
                if (failure)
                    failure(task, taskError);
            } else if (success) {
                success(task, body);
            }
        },
        std::move(progress));
    resume(task);
    return task->taskIdentifier();
}

quint64 QVNetworkAgent::uploadFileWithURLString(const QString& url, const std::vector<QVUploadFile>& files,
                                                const QVariantMap& param, ProgressHandler progress,
                                                SuccessHandler success, FailureHandler failure)
{
    return uploadFileWithURLString(url, files, param, 0, std::move(progress), std::move(success),
                                   std::move(failure));
}
