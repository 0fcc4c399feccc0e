// SPDX-License-Identifier: GPL-3.0-or-later
// The cookies every network access manager of the process shares. Thread-safe:
// managers on worker threads read and set them while the GUI thread changes them.
//
// Domains are kept exactly as given: "host:port" is allowed and no leading dot is
// added. A domain with a port matches that host and port only; one with a leading
// dot matches the host and its sub-domains; any other the host only. A cookie
// that names no domain is stored under the request's host (with ":port" when the
// request named a port). Among matching cookies of one name the first stored wins.
// Values are never logged.
#pragma once

#include <QList>
#include <QNetworkCookie>
#include <QUrl>

#include <mutex>

class QNetworkAccessManager;

namespace platform {

class CookieStorage {
public:
    static CookieStorage& Shared();

    // Every stored cookie that has not expired, in the order stored.
    QList<QNetworkCookie> Cookies();
    // The cookies to send with a request to the URL.
    QList<QNetworkCookie> CookiesForUrl(const QUrl& url);

    // Stores the cookie (replacing one of the same name, domain and path in its
    // place); requestUrl supplies the domain when the cookie names none. A cookie
    // already expired removes its stored twin. False when the cookie has no name or
    // no domain can be had.
    bool SetCookie(QNetworkCookie cookie, const QUrl& requestUrl = {});
    // Removes the cookie of that name, domain and path; false when none was stored.
    bool DeleteCookie(const QNetworkCookie& cookie);
    // Removes every cookie of the name and domain, whatever its path.
    int DeleteCookies(const QString& name, const QString& domain);
    void DeleteAll();

    // The "host" or "host:port" a cookie without domain is stored under.
    static QString HostKey(const QUrl& url);
    static bool DomainMatches(const QString& domain, const QUrl& url);

private:
    void DropExpired();

    std::mutex m_mutex;
    QList<QNetworkCookie> m_cookies;
};

// Gives the manager a cookie jar that reads and writes the shared storage; the
// manager owns that jar.
void UseSharedCookies(QNetworkAccessManager& manager);

} // namespace platform
