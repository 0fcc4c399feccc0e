// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/login/QVWebLoginHandle.h"

#include "app/login/LoginRequests.h"
#include "app/login/QVAPIManager.h"
#include "app/platform/CookieStorage.h"

#include <QDebug>
#include <QNetworkCookie>
#include <QUrl>

namespace {

const QString kCheckPath = QStringLiteral("/j_spring_cas_security_check");

} // namespace

void QVWebLoginHandle::loginToUrl(const QString& url, const QString& udcDomain, std::function<void()> completeHandler)
{
    const auto complete = [completeHandler] {
        if (completeHandler)
            completeHandler();
    };
    if (isLoginWithUrl(url)) {
        complete();
        return;
    }
    requestTicketWithDomain(udcDomain, url + kCheckPath, [url, complete](const QString& ticket) {
        if (ticket.isEmpty()) {
            complete();
            return;
        }
        loginnet::Send(url + kCheckPath + QStringLiteral("?ticket=") + ticket, 0, {}, [complete](const loginnet::Reply& reply) {
            if (!reply.ok)
                qInfo().noquote() << "web sign-on: ticket check answered" << reply.status;
            complete();
        });
    });
}

void QVWebLoginHandle::requestTicketWithDomain(const QString& domain, const QString& service,
                                               std::function<void(const QString&)> completeHandler)
{
    const QString tgt = getHttpCookieWithDomain(domain, QStringLiteral("CASTGC"));
    if (tgt.isEmpty()) {
        // A request with no ticket in it can only be refused.
        qInfo().noquote() << "web sign-on: no ticket held for" << domain;
        if (completeHandler)
            completeHandler(QString());
        return;
    }
    const QString address = QVAPIManager::sharedManager().urlPrefix() + domain + QStringLiteral("/v1/tickets/") + tgt;
    loginnet::Send(address, 1, {{QStringLiteral("service"), service}},
                   [domain, completeHandler](const loginnet::Reply& reply) {
                       if (!reply.ok)
                           qInfo().noquote() << "web sign-on: service ticket from" << domain << "refused, status"
                                             << reply.status;
                       if (completeHandler)
                           completeHandler(reply.ok ? QString::fromUtf8(reply.body) : QString());
                   });
}

bool QVWebLoginHandle::isLoginWithUrl(const QString& url)
{
    const QString host = platform::CookieStorage::HostKey(QUrl(url));
    if (host.isEmpty())
        return false;
    for (const QNetworkCookie& c : platform::CookieStorage::Shared().Cookies())
        if (c.domain() == host && c.name().contains("tsid"))
            return true;
    return false;
}

QString QVWebLoginHandle::getHttpCookieWithDomain(const QString& domain, const QString& name)
{
    const QString value = loginnet::CookieValue(domain, name);
    // The value is a credential: say only whether one was found.
    qInfo().noquote() << "cookie" << name << "of" << domain << (value.isNull() ? "not held" : "held");
    return value;
}
