// SPDX-License-Identifier: GPL-3.0-or-later
// The signed-in user of the process: the login host and its address, the ticket, the
// typed user name and password, the profile and the hospital and office chosen at
// login. The login fills it; signing out (clearData) drops the password, the profile,
// the choices and every cookie and stored web data, and keeps the host, ticket and name.
// Created once, from any thread; used on the GUI thread.
#pragma once

#include "app/login/QVUserRecords.h"

#include <functional>
#include <memory>
#include <vector>

class QVUserInfoManager {
public:
    static QVUserInfoManager& sharedInstance();

    QString udcDomain() const { return m_udcDomain; }
    // Stores the login host ("host" or "host:port") and derives udcHost with the
    // scheme of the environment current now.
    void setUdcDomain(const QString& domain);
    QString udcHost() const { return m_udcHost; }
    void setUdcHost(const QString& host) { m_udcHost = host; }
    QString cookie() const { return m_cookie; }
    void setCookie(const QString& ticket) { m_cookie = ticket; }
    QString username() const { return m_username; }
    void setUsername(const QString& name) { m_username = name; }
    QString password() const { return m_password; }
    void setPassword(const QString& password) { m_password = password; }
    const std::vector<std::shared_ptr<QVHospitalItem>>& allHospitals() const { return m_allHospitals; }
    void setAllHospitals(std::vector<std::shared_ptr<QVHospitalItem>> hospitals) { m_allHospitals = std::move(hospitals); }

    std::shared_ptr<QVUserInfoVo> userInfo() const { return m_userInfo; }
    std::shared_ptr<QVHospitalItem> selectedHospital() const { return m_selectedHospital; }
    std::shared_ptr<QVOfficeItem> selectedOffice() const { return m_selectedOffice; }
    void updateUserInfo(std::shared_ptr<QVUserInfoVo> info) { m_userInfo = std::move(info); }
    void updateHospital(std::shared_ptr<QVHospitalItem> hospital) { m_selectedHospital = std::move(hospital); }
    void updateOffice(std::shared_ptr<QVOfficeItem> office) { m_selectedOffice = std::move(office); }

    // A profile with a user id, a hospital and an office are held.
    bool isUdcLogin() const;

    // Deletes every cookie of the shared cookie storage.
    void clearHTTPCookie();
    // Runs the web-data cleaner the shell installed (the web views' stored data and
    // cache); nothing when none is installed.
    void clearWKWebCache();
    // Sign-out, in this order: password, profile, office, hospital and hospital list dropped;
    // cookies; web data; the cookie folder "Cookies" of the application's data folder.
    void clearData();

    // The shell installs what empties the web views' stored data (it owns the web
    // engine); this library does not link one.
    static void setWebDataCleaner(std::function<void()> cleaner);

    // Tests: back to the state at start.
    void resetForTesting();

private:
    QVUserInfoManager() = default;

    QString m_udcDomain;
    QString m_udcHost;
    QString m_cookie;
    std::shared_ptr<QVUserInfoVo> m_userInfo;
    QString m_username;
    QString m_password;
    std::vector<std::shared_ptr<QVHospitalItem>> m_allHospitals;
    std::shared_ptr<QVHospitalItem> m_selectedHospital;
    std::shared_ptr<QVOfficeItem> m_selectedOffice;
};
