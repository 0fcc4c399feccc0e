// SPDX-License-Identifier: GPL-3.0-or-later
// The requests of the login and the web sign-on, and the cookies they keep. A reply
// that is the central login page counts as a failed request here (the facade would
// drop it without a word, leaving a login attempt without an outcome). Nothing here
// logs an address's query, a form value or a cookie value.
#pragma once

#include "app/service/QVNetworkTypes.h"

#include <QByteArray>
#include <QString>
#include <QVariantMap>

#include <functional>

namespace loginnet {

struct Reply {
    bool ok = false;    // status 200 to 299 and not the login page
    int status = 0;     // 0 when no response arrived
    QVHTTPResponse response;
    QByteArray body;
};

// Sends the request (method code 0 GET, 1 POST) through the request engine; the
// handler runs once on the GUI thread, also when the engine refuses at once.
void Send(const QString& url, int method, const QVariantMap& param, std::function<void(const Reply&)> done);

// The last "/"-separated component of the reply's "Location" header ("" without one).
QString TicketFromLocation(const QVHTTPResponse& response);

// Deletes the first cookie of that name whose domain equals the domain exactly.
void DeleteFirstCookie(const QString& name, const QString& domain);
// Adds a cookie that lasts until the application ends, path "/", on the domain.
void AddSessionCookie(const QString& name, const QString& value, const QString& domain);
// The value of the first stored cookie of the domain and name; a null text when none.
QString CookieValue(const QString& domain, const QString& name);
// The TGT handling shared by every ticket request: the old "CASTGC" of the host goes;
// a non-empty ticket becomes the user's ticket and the host's new "CASTGC" cookie.
void InstallTicket(const QString& host, const QString& tgt);

} // namespace loginnet
