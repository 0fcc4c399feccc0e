// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/login/LoginRequests.h"

#include "app/login/QVUserInfoManager.h"
#include "app/platform/CookieStorage.h"
#include "app/platform/Dispatch.h"
#include "app/service/QVHttpManager.h"
#include "app/service/QVNetworkAgent.h"

#include <QNetworkCookie>

#include <atomic>
#include <memory>

namespace loginnet {

void Send(const QString& url, int method, const QVariantMap& param, std::function<void(const Reply&)> done)
{
    QVHttpManager::setUp();
    // The engine calls one of the two handlers, but guard against both or a repeat.
    auto once = std::make_shared<std::atomic<bool>>(false);
    auto deliver = [once, done = std::move(done)](Reply reply) {
        if (once->exchange(true))
            return;
        platform::RunOnGui([done, reply = std::move(reply)] { done(reply); });
    };
    QVNetworkAgent::sharedInstance().requestDataWithURLString(
        url, method, param, false,
        [deliver](const QVTaskPtr& task, const QByteArray& body) {
            Reply reply;
            reply.response = task ? task->response() : QVHTTPResponse();
            reply.status = reply.response.statusCode;
            reply.body = body;
            reply.ok = !QVHttpManager::isLoginPage(reply.response, body);
            deliver(std::move(reply));
        },
        [deliver](const QVTaskPtr& task, const QVErrorOpt&) {
            Reply reply;
            reply.response = task ? task->response() : QVHTTPResponse();
            reply.status = reply.response.statusCode;
            deliver(std::move(reply));
        });
}

QString TicketFromLocation(const QVHTTPResponse& response)
{
    const QString location = QString::fromUtf8(response.header("Location"));
    return location.section(QLatin1Char('/'), -1);
}

void DeleteFirstCookie(const QString& name, const QString& domain)
{
    auto& storage = platform::CookieStorage::Shared();
    for (const QNetworkCookie& c : storage.Cookies()) {
        if (QString::fromUtf8(c.name()) == name && c.domain() == domain) {
            storage.DeleteCookie(c);
            return;
        }
    }
}

void AddSessionCookie(const QString& name, const QString& value, const QString& domain)
{
    QNetworkCookie cookie(name.toUtf8(), value.toUtf8());
    cookie.setDomain(domain);
    cookie.setPath(QStringLiteral("/"));
    platform::CookieStorage::Shared().SetCookie(cookie);
}

QString CookieValue(const QString& domain, const QString& name)
{
    for (const QNetworkCookie& c : platform::CookieStorage::Shared().Cookies())
        if (c.domain() == domain && QString::fromUtf8(c.name()) == name)
            return QString::fromUtf8(c.value());
    return QString();
}

void InstallTicket(const QString& host, const QString& tgt)
{
    DeleteFirstCookie(QStringLiteral("CASTGC"), host);
    if (tgt.isEmpty())
        return;
    QVUserInfoManager::sharedInstance().setCookie(tgt);
    AddSessionCookie(QStringLiteral("CASTGC"), tgt, host);
}

} // namespace loginnet
