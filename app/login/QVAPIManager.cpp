// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/login/QVAPIManager.h"

#include "app/shell/IniFile.h"

#include <string>
#include <vector>

namespace {

std::map<quint64, QStringList> BuiltInAddresses()
{
    return {
        {1, {QStringLiteral("https://mcc.rivela-dental.com")}},
        {2, {QStringLiteral("https://mcc-uat.rivela-dental.com"), QStringLiteral("https://mcc-uat2.rivela-dental.com")}},
        {3, {QStringLiteral("https://mcc-test.rivela-dental.com"), QStringLiteral("https://mcc-test2.rivela-dental.com")}},
        {4, {QStringLiteral("http://127.0.0.1:8090")}},
    };
}

QString TrimSlash(QString text)
{
    text = text.trimmed();
    while (text.endsWith(QLatin1Char('/')))
        text.chop(1);
    return text;
}

} // namespace

QVAPIManager::QVAPIManager() : m_addresses(BuiltInAddresses()) {}

QVAPIManager& QVAPIManager::sharedManager()
{
    static QVAPIManager manager;
    return manager;
}

quint64 QVAPIManager::APIType() const
{
    std::lock_guard lock(m_mutex);
    return m_type;
}

void QVAPIManager::setAPIType(quint64 type)
{
    std::lock_guard lock(m_mutex);
    m_type = type >= 1 && type <= 4 ? type : 1;
}

QString QVAPIManager::API_NAME() const
{
    switch (APIType()) {
    case 2: return QStringLiteral("模测环境");
    case 3: return QStringLiteral("测试环境");
    case 4: return QStringLiteral("开发环境");
    default: return QStringLiteral("正式环境");
    }
}

QString QVAPIManager::urlPrefixFor(quint64 type)
{
    return type == 4 ? QStringLiteral("http://") : QStringLiteral("https://");
}

QString QVAPIManager::urlPrefix() const
{
    return urlPrefixFor(APIType());
}

QStringList QVAPIManager::mccArrays() const
{
    std::lock_guard lock(m_mutex);
    const auto it = m_addresses.find(m_type);
    return it == m_addresses.end() ? QStringList() : it->second;
}

void QVAPIManager::setMccAddresses(quint64 type, const QStringList& addresses)
{
    QStringList cleaned;
    for (const QString& a : addresses)
        if (!TrimSlash(a).isEmpty())
            cleaned.append(TrimSlash(a));
    std::lock_guard lock(m_mutex);
    m_addresses[type] = cleaned;
}

void QVAPIManager::loadAddressesFromConfiguration()
{
    for (quint64 type = 1; type <= 4; ++type) {
        std::vector<std::string> values;
        if (IniFile::Instance().GetValues("Login", "MccAddress_" + std::to_string(type), &values) != 0)
            continue;
        QStringList list;
        for (const auto& v : values)
            list.append(QString::fromStdString(v));
        setMccAddresses(type, list);
    }
}
