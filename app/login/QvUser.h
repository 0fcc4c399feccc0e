// SPDX-License-Identifier: GPL-3.0-or-later
// The older record of the signed-in user with its hospitals and offices, and the
// saved-login list of older versions: "userInfo.plist" in the application's cache
// folder, an XML property list holding under "kUserListKey" each account's
// password enciphered by EncryptLoginInfo and under "kLastUserKey" the account saved
// last. Keys are kept in their sorted order, which is the order of the accounts
// listed. The file is replaced atomically and readable by its owner only; a damaged
// file counts as no saved list. Use on the GUI thread.
#pragma once

#include <QString>
#include <QStringList>
#include <QVariantMap>

#include <memory>
#include <optional>
#include <vector>

class QvOfficeInfo {
public:
    QString m_strHospitalID;
    QString m_strOfficeID;
    QString m_strOfficeName;
    QString m_strOffceSpell;
};

class QvHospitalInfo {
public:
    void AddOffice(std::shared_ptr<QvOfficeInfo> office);
    std::shared_ptr<QvOfficeInfo> getOfficeById(const QString& officeID) const;

    QString m_strHospitalID;
    QString m_strHospitalName;
    QString m_strHospitalSpell;
    QString m_strHospitalType;
    QString m_strParentHospitalID;
    std::vector<std::shared_ptr<QvOfficeInfo>> m_arrOffice;
};

class QvUser {
public:
    static constexpr const char* kLoginInfoKey = "Zephyrin_tod_bulk_rye7";
    static constexpr qint64 kNotFound = 0x7FFFFFFFFFFFFFFF;

    static QvUser& shared();

    // reset, then getLoginPlistInfo.
    QvUser();

    // Empties every field but m_strDoctorId and m_plistData.
    void reset();
    // m_plistData from the file; none when it is missing or damaged.
    void getLoginPlistInfo();
    // Path of the saved-login file; null when the cache folder cannot be given.
    static QString loginPlistPath();

    // Saves m_strUsername as the last user with m_strPassword enciphered; with
    // rememberPassword off the account keeps no password. False (nothing written)
    // when the file cannot be written or the password cannot be enciphered.
    bool saveLoginInfo(bool rememberPassword = true);
    // Drops the account from the saved list (and as last user) and writes the file;
    // false when it was not listed or the write failed.
    bool removeLoginInfo(const QString& username);
    // One record per saved account, with its deciphered password (empty when it
    // cannot be deciphered); none without a saved list.
    std::optional<std::vector<std::shared_ptr<QvUser>>> getLoginedUsers() const;
    // Position of the last user among getLoginedUsers; kNotFound when not listed.
    qint64 getLastUserIndex() const;

    std::shared_ptr<QvHospitalInfo> GetHospitalByID(const QString& hospitalID) const;
    std::shared_ptr<QvHospitalInfo> GetHospitalByIndex(qint64 index) const;
    // A hospital of the server's dictionary replaces the one with its id, at the end.
    void UnmashallHospital(const QVariantMap& dict);
    // An office goes into its hospital in the process-wide record; dropped when that
    // record has no such hospital.
    void UnmashallOffice(const QVariantMap& dict);
    // The ticket after the last "/" of "Location"; an alert and false when empty.
    bool setCookieWithHeaders(const QVariantMap& headers);
    bool HasBVSTRight() const;
    static void clearAllCookies();

    QString m_strUsername;
    QString m_strName;
    QString m_strPassword;
    QString m_strDoctorId;
    QString m_strCurHospitalID;
    QString m_strCurOfficeID;
    QString m_strCookie;
    QString m_strHID;
    std::vector<std::shared_ptr<QvHospitalInfo>> m_arrHospital;
    QStringList m_arrRoles;
    std::optional<QVariantMap> m_plistData;

private:
    bool writePlist(const QVariantMap& data);
};
