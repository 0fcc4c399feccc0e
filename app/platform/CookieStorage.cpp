// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/platform/CookieStorage.h"

#include <QDateTime>
#include <QNetworkAccessManager>
#include <QNetworkCookieJar>
#include <QSet>

namespace platform {
namespace {

bool SameCookie(const QNetworkCookie& a, const QNetworkCookie& b)
{
    const auto path = [](const QNetworkCookie& c) { return c.path().isEmpty() ? QStringLiteral("/") : c.path(); };
    return a.name() == b.name() && a.domain().compare(b.domain(), Qt::CaseInsensitive) == 0 && path(a) == path(b);
}

bool Expired(const QNetworkCookie& c, const QDateTime& now)
{
    return !c.isSessionCookie() && c.expirationDate() <= now;
}

bool PathMatches(const QString& cookiePath, const QString& urlPath)
{
    const QString cp = cookiePath.isEmpty() ? QStringLiteral("/") : cookiePath;
    const QString up = urlPath.isEmpty() ? QStringLiteral("/") : urlPath;
    if (!up.startsWith(cp))
        return false;
    return up.size() == cp.size() || cp.endsWith(QLatin1Char('/')) || up.at(cp.size()) == QLatin1Char('/');
}

// The jar each manager owns; everything goes to the shared storage.
class SharedJar : public QNetworkCookieJar {
public:
    using QNetworkCookieJar::QNetworkCookieJar;

    QList<QNetworkCookie> cookiesForUrl(const QUrl& url) const override
    {
        return CookieStorage::Shared().CookiesForUrl(url);
    }
    bool setCookiesFromUrl(const QList<QNetworkCookie>& cookies, const QUrl& url) override
    {
        bool any = false;
        for (const QNetworkCookie& c : cookies)
            any = CookieStorage::Shared().SetCookie(c, url) || any;
        return any;
    }
    bool insertCookie(const QNetworkCookie& cookie) override { return CookieStorage::Shared().SetCookie(cookie); }
    bool updateCookie(const QNetworkCookie& cookie) override { return CookieStorage::Shared().SetCookie(cookie); }
    bool deleteCookie(const QNetworkCookie& cookie) override { return CookieStorage::Shared().DeleteCookie(cookie); }
};

} // namespace

CookieStorage& CookieStorage::Shared()
{
    static CookieStorage storage;
    return storage;
}

QString CookieStorage::HostKey(const QUrl& url)
{
    const QString host = url.host();
    if (host.isEmpty())
        return {};
    return url.port() >= 0 ? host + QLatin1Char(':') + QString::number(url.port()) : host;
}

bool CookieStorage::DomainMatches(const QString& domain, const QUrl& url)
{
    const QString host = url.host();
    if (domain.isEmpty() || host.isEmpty())
        return false;
    if (domain.contains(QLatin1Char(':')))
        return domain.compare(HostKey(url), Qt::CaseInsensitive) == 0;
    if (domain.startsWith(QLatin1Char('.')))
        return host.compare(domain.mid(1), Qt::CaseInsensitive) == 0 || host.endsWith(domain, Qt::CaseInsensitive);
    return host.compare(domain, Qt::CaseInsensitive) == 0;
}

void CookieStorage::DropExpired()
{
    const QDateTime now = QDateTime::currentDateTimeUtc();
    m_cookies.removeIf([&](const QNetworkCookie& c) { return Expired(c, now); });
}

QList<QNetworkCookie> CookieStorage::Cookies()
{
    std::lock_guard lock(m_mutex);
    DropExpired();
    return m_cookies;
}

QList<QNetworkCookie> CookieStorage::CookiesForUrl(const QUrl& url)
{
    std::lock_guard lock(m_mutex);
    DropExpired();
    const bool secure = url.scheme().compare(QLatin1String("https"), Qt::CaseInsensitive) == 0;
    QList<QNetworkCookie> result;
    QSet<QByteArray> names;
    for (const QNetworkCookie& c : std::as_const(m_cookies)) {
        if (c.isSecure() && !secure)
            continue;
        if (!DomainMatches(c.domain(), url) || !PathMatches(c.path(), url.path()))
            continue;
        if (names.contains(c.name()))
            continue;
        names.insert(c.name());
        result.append(c);
    }
    return result;
}

bool CookieStorage::SetCookie(QNetworkCookie cookie, const QUrl& requestUrl)
{
    if (cookie.name().isEmpty())
        return false;
    if (cookie.domain().isEmpty()) {
        const QString key = HostKey(requestUrl);
        if (key.isEmpty())
            return false;
        cookie.setDomain(key);
    }
    if (cookie.path().isEmpty())
        cookie.setPath(QStringLiteral("/"));
    std::lock_guard lock(m_mutex);
    for (qsizetype i = 0; i < m_cookies.size(); ++i)
        if (SameCookie(m_cookies[i], cookie)) {
            if (Expired(cookie, QDateTime::currentDateTimeUtc()))
                m_cookies.removeAt(i);
            else
                m_cookies[i] = cookie;
            return true;
        }
    if (Expired(cookie, QDateTime::currentDateTimeUtc()))
        return false;
    m_cookies.append(cookie);
    return true;
}

bool CookieStorage::DeleteCookie(const QNetworkCookie& cookie)
{
    std::lock_guard lock(m_mutex);
    return m_cookies.removeIf([&](const QNetworkCookie& c) { return SameCookie(c, cookie); }) > 0;
}

int CookieStorage::DeleteCookies(const QString& name, const QString& domain)
{
    std::lock_guard lock(m_mutex);
    return static_cast<int>(m_cookies.removeIf([&](const QNetworkCookie& c) {
        return c.name() == name.toUtf8() && c.domain().compare(domain, Qt::CaseInsensitive) == 0;
    }));
}

void CookieStorage::DeleteAll()
{
    std::lock_guard lock(m_mutex);
    m_cookies.clear();
}

void UseSharedCookies(QNetworkAccessManager& manager)
{
    manager.setCookieJar(new SharedJar(&manager));
}

} // namespace platform
