// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/login/QVUserInfoManager.h"

#include "app/login/QVAPIManager.h"
#include "app/platform/CookieStorage.h"
#include "app/platform/Folders.h"

#include <QDir>

#include <mutex>

namespace {

std::mutex g_cleanerMutex;
std::function<void()> g_webDataCleaner;

} // namespace

QVUserInfoManager& QVUserInfoManager::sharedInstance()
{
    static QVUserInfoManager manager;
    return manager;
}

void QVUserInfoManager::setUdcDomain(const QString& domain)
{
    m_udcDomain = domain;
    m_udcHost = QVAPIManager::sharedManager().urlPrefix() + domain;
}

bool QVUserInfoManager::isUdcLogin() const
{
    return m_userInfo && m_selectedHospital && m_selectedOffice && !m_userInfo->userId.isEmpty();
}

void QVUserInfoManager::clearHTTPCookie()
{
    platform::CookieStorage::Shared().DeleteAll();
}

void QVUserInfoManager::setWebDataCleaner(std::function<void()> cleaner)
{
    std::lock_guard lock(g_cleanerMutex);
    g_webDataCleaner = std::move(cleaner);
}

void QVUserInfoManager::clearWKWebCache()
{
    std::function<void()> cleaner;
    {
        std::lock_guard lock(g_cleanerMutex);
        cleaner = g_webDataCleaner;
    }
    if (cleaner)
        cleaner();
}

void QVUserInfoManager::clearData()
{
    // The typed password is not kept past the session: overwritten, then dropped.
    m_password.fill(QChar(0));
    m_password.clear();
    m_userInfo.reset();
    m_selectedOffice.reset();
    m_selectedHospital.reset();
    m_allHospitals.clear();
    clearHTTPCookie();
    clearWKWebCache();
    const QString data = platform::AppDataFolder();
    if (!data.isEmpty())
        QDir(data + QStringLiteral("/Cookies")).removeRecursively();
}

void QVUserInfoManager::resetForTesting()
{
    *this = QVUserInfoManager();
}
