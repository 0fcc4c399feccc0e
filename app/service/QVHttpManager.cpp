// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/service/QVHttpManager.h"

#include "app/platform/Dispatch.h"
#include "app/service/QVBaseVo.h"

#include <QCoreApplication>
#include <QDebug>

#include <mutex>

namespace {

QVNetworkAgent& Engine()
{
    QVHttpManager::setUp();
    return QVNetworkAgent::sharedInstance();
}

QVNetworkAgent::FailureHandler FailureOnGui(QVNetworkAgent::FailureHandler failure)
{
    return [failure = std::move(failure)](const QVTaskPtr& task, const QVErrorOpt& error) {
        if (failure)
            platform::RunOnGui([failure, task, error] { failure(task, error); });
    };
}

// Parses and maps the body as the model requests do and delivers the outcome; a body
// that is not JSON (or empty) fails. The veto, when given, may end the request silently.
void DeliverMapped(const QVTaskPtr& task, const QByteArray& body, const QVModelClass& modelClass,
                   const QVHttpManager::ObjectSuccessHandler& success, const QVHttpManager::FailureHandler& failure,
                   const std::function<bool(const QVModel*)>& veto = {})
{
    QVErrorOpt error;
    auto json = QVNetworkUtils::isValiableJSONWithData(body, &error);
    if (error || !json) {
        if (failure)
            platform::RunOnGui([failure, task, error] { failure(task, error); });
        return;
    }
    std::shared_ptr<QVModel> object = modelClass.make ? modelClass.make(*json) : nullptr;
    if (veto && veto(object.get()))
        return;
    if (success)
        platform::RunOnGui([success, task, object] { success(task, object); });
}

} // namespace

void QVHttpManager::setUp()
{
    static std::once_flag once;
    if (!QCoreApplication::instance())
        return;
    std::call_once(once, [] {
        QVNetworkAgent& engine = QVNetworkAgent::sharedInstance();
        engine.setTimeoutInterval(15);
        engine.startMonitoring();
    });
}

bool QVHttpManager::isLoginPage(const QVHTTPResponse& response, const QByteArray& body)
{
    return response.header("Content-Type").contains("text/html") && body.contains("loginForm");
}

quint64 QVHttpManager::requestObjectWithURLString(const QString& url, int method, const QVariantMap& param,
                                                  bool isSyncRequest, SuccessHandler success,
                                                  FailureHandler failure)
{
    return Engine().requestDataWithURLString(
        url, method, param, false,
        [url, success = std::move(success)](const QVTaskPtr& task, const QByteArray& body) {
            if (isLoginPage(task->response(), body)) {
                qInfo().noquote() << "login page instead of a reply:" << url;
                return;
            }
            if (success)
                platform::RunOnGui([success, task, body] { success(task, body); });
        },
        FailureOnGui(std::move(failure)));
}

quint64 QVHttpManager::requestObjectWithURLString(const QString& url, int method, const QVariantMap& param,
                                                  const QVModelClass& modelClass, bool isSyncRequest,
                                                  ObjectSuccessHandler success, FailureHandler failure)
{
    return Engine().requestDataWithURLString(
        url, method, param, false,
        [url, modelClass, success = std::move(success), failure](const QVTaskPtr& task, const QByteArray& body) {
            if (isLoginPage(task->response(), body)) {
                qInfo().noquote() << "login page instead of a reply:" << url;
                return;
            }
            DeliverMapped(task, body, modelClass, success, failure);
        },
        FailureOnGui(failure));
}

quint64 QVHttpManager::uploadImageWithURLString(const QString& url, const std::vector<QVUploadFile>& files,
                                                const QVariantMap& param, const QVModelClass& modelClass,
                                                ProgressHandler progress, ObjectSuccessHandler success,
                                                FailureHandler failure)
{
    QVNetworkAgent& engine = Engine();
    return engine.uploadFileWithURLString(
        url, files, param,
        [progress = std::move(progress)](const QVProgress& value) {
            if (progress)
                platform::RunOnGui([progress, value] { progress(value); });
        },
        [&engine, url, modelClass, success = std::move(success), failure](const QVTaskPtr& task,
                                                                          const QByteArray& body) {
            DeliverMapped(task, body, modelClass, success, failure, [&engine, url](const QVModel* object) {
                if (!isTokenUnavail(object))
                    return false;
                qInfo().noquote() << "sign-in expired:" << url;
                engine.cancelAllRequests();
                return true;
            });
        },
        FailureOnGui(failure));
}

bool QVHttpManager::isTokenUnavail(const QVModel* object)
{
    const auto* base = dynamic_cast<const QVBaseVo*>(object);
    if (!base || !base->status || base->status->code.isEmpty())
        return false;
    const QString& code = base->status->code;
    return code == QLatin1String("9999") || code == QLatin1String("2022");
}
