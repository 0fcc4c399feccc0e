// SPDX-License-Identifier: GPL-3.0-or-later
// Signs a web application (the case list) on with the ticket-granting ticket the
// application holds as the "CASTGC" cookie of the login host: a service ticket for
// the web application's ticket check, then the check itself, after which the web
// application's "tsid" cookie is in the shared storage. Hosts are "host" or
// "host:port" and cookie domains are compared with them exactly. Call on the GUI
// thread; completions run there.
#pragma once

#include <QString>

#include <functional>

class QVWebLoginHandle {
public:
    QVWebLoginHandle() = delete;

    // Completes exactly once: at once when the address is signed on already or no
    // ticket is held for the login host, else after the ticket check, whether the
    // service ticket, the check or neither succeeded.
    static void loginToUrl(const QString& url, const QString& udcDomain, std::function<void()> completeHandler);
    // The service ticket for the service from the login host; the handler gets it, or
    // a null text when no ticket is held or the request failed.
    static void requestTicketWithDomain(const QString& domain, const QString& service,
                                        std::function<void(const QString& ticket)> completeHandler);
    // A cookie whose name contains "tsid" is held for the address's host[:port].
    static bool isLoginWithUrl(const QString& url);
    // The value of the first cookie of exactly that domain and name; null when none.
    static QString getHttpCookieWithDomain(const QString& domain, const QString& name);
};
