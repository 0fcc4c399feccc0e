// SPDX-License-Identifier: GPL-3.0-or-later
// The environment of the central login service (1 production, 2 staging, 3 test,
// 4 development) and, for it, the discovery addresses of the login hosts and the URL
// scheme. Discovery addresses come from the configuration (section "Login", keys
// "MccAddress_1" .. "MccAddress_4", repeated in order of fail-over), else from the
// built-in deployment table. Safe to call from any thread.
#pragma once

#include <QString>
#include <QStringList>

#include <map>
#include <mutex>

class QVAPIManager {
public:
    static QVAPIManager& sharedManager();

    quint64 APIType() const;
    // 1 to 4 are kept; any other value becomes 1.
    void setAPIType(quint64 type);
    QString API_NAME() const;
    QString API_URL() const { return QString(); }
    // "http://" in environment 4, "https://" in every other.
    QString urlPrefix() const;
    static QString urlPrefixFor(quint64 type);
    // Base URLs ("scheme://host[:port]", no trailing "/") in order of fail-over.
    QStringList mccArrays() const;

    // Reads the discovery addresses of the configuration again (the shell calls it
    // after loading the configuration file).
    void loadAddressesFromConfiguration();
    // Replaces the addresses of one environment (tests, and deployments set up in code).
    void setMccAddresses(quint64 type, const QStringList& addresses);

private:
    QVAPIManager();

    mutable std::mutex m_mutex;
    quint64 m_type = 1;
    std::map<quint64, QStringList> m_addresses;
};
