// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/service/QVHttpManager.h"

#include "app/platform/Dispatch.h"
#include "app/service/QVBaseVo.h"

#include <QCoreApplication>
#include <QDebug>

#include <mutex>

namespace {

void OnGui(std::function<void()> work)
{
    if (platform::IsGuiThread())
        work();
    else
        platform::AsyncOnGui(std::move(work));
}

QVNetworkAgent& Engine()
{
    QVHttpManager::setUp();
    return QVNetworkAgent::sharedInstance();
}

QVNetworkAgent::FailureHandler FailureOnGui(QVNetworkAgent::FailureHandler failure)
{
    return [failure = std::move(failure)](const QVTaskPtr& task, const QVErrorOpt& error) {
        if (failure)
            OnGui([failure, task, error] { failure(task, error); });
    };
}

// Parses and maps as the model requests do; false (with the error, possibly none)
// when the body is not JSON.
bool MapBody(const QByteArray& body, const QVModelClass& modelClass, std::shared_ptr<QVModel>& object,
             QVErrorOpt& error)
{
    auto json = QVNetworkUtils::isValiableJSONWithData(body, &error);
    if (error || !json)
        return false;
    object = modelClass.make ? modelClass.make(*json) : nullptr;
    return true;
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
                OnGui([success, task, body] { success(task, body); });
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
            std::shared_ptr<QVModel> object;
            QVErrorOpt error;
            if (!MapBody(body, modelClass, object, error)) {
                if (failure)
                    OnGui([failure, task, error] { failure(task, error); });
                return;
            }
            if (success)
                OnGui([success, task, object] { success(task, object); });
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
                OnGui([progress, value] { progress(value); });
        },
        [&engine, url, modelClass, success = std::move(success), failure](const QVTaskPtr& task,
                                                                          const QByteArray& body) {
            std::shared_ptr<QVModel> object;
            QVErrorOpt error;
            if (!MapBody(body, modelClass, object, error)) {
                if (failure)
                    OnGui([failure, task, error] { failure(task, error); });
                return;
            }
            if (isTokenUnavail(object.get())) {
                qInfo().noquote() << "sign-in expired:" << url;
                engine.cancelAllRequests();
                return;
            }
            if (success)
                OnGui([success, task, object] { success(task, object); });
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
