// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/login/QvUser.h"

#include "app/login/QvDesCipher.h"
#include "app/platform/CookieStorage.h"
#include "app/platform/PropertyList.h"
#include "app/shell/QvUtilityObj.h"

#include <QDebug>
#include <QFile>

#include <algorithm>

namespace {

const QString kUserListKey = QStringLiteral("kUserListKey");
const QString kLastUserKey = QStringLiteral("kLastUserKey");

const QByteArray& CipherKey()
{
    static const QByteArray key(QvUser::kLoginInfoKey);
    return key;
}

// A server value as its text; a missing one reads "(null)" as the older records had it.
QString Described(const QVariantMap& dict, const char* key)
{
    const auto it = dict.find(QLatin1String(key));
    if (it == dict.end() || !it->isValid() || it->isNull())
        return QStringLiteral("(null)");
    return it->toString();
}

QString Text(const QVariantMap& dict, const char* key)
{
    return dict.value(QLatin1String(key)).toString();
}

} // namespace

void QvHospitalInfo::AddOffice(std::shared_ptr<QvOfficeInfo> office)
{
    m_arrOffice.push_back(std::move(office));
}

std::shared_ptr<QvOfficeInfo> QvHospitalInfo::getOfficeById(const QString& officeID) const
{
    for (const auto& office : m_arrOffice)
        if (office && office->m_strOfficeID == officeID)
            return office;
    return nullptr;
}

QvUser& QvUser::shared()
{
    static QvUser user;
    return user;
}

QvUser::QvUser()
{
    reset();
    getLoginPlistInfo();
}

void QvUser::reset()
{
    m_strUsername = QLatin1String("");
    m_strName = QLatin1String("");
    m_strPassword.fill(QChar(0)); // not left behind in freed memory
    m_strPassword = QLatin1String("");
    m_strCurHospitalID = QLatin1String("");
    m_strCurOfficeID = QLatin1String("");
    m_strCookie = QLatin1String("");
    m_strHID = QLatin1String("");
    m_arrHospital.clear();
    m_arrRoles.clear();
}

QString QvUser::loginPlistPath()
{
    const QString folder = QvUtilityObj::getAppCacheFolder();
    return folder.isNull() ? QString() : folder + QStringLiteral("/userInfo.plist");
}

void QvUser::getLoginPlistInfo()
{
    m_plistData.reset();
    const QString path = loginPlistPath();
    if (path.isNull())
        return;
    QFile file(path);
    if (!file.exists())
        return;
    const auto root = file.open(QIODevice::ReadOnly) ? platform::ReadPropertyList(file.readAll()) : std::nullopt;
    if (root && root->typeId() == QMetaType::QVariantMap)
        m_plistData = root->toMap();
    else
        qWarning().noquote() << "the saved-login list is damaged and is not used";
}

bool QvUser::writePlist(const QVariantMap& data)
{
    const QString path = loginPlistPath();
    if (path.isNull() || !platform::SavePropertyList(path, data)) {
        qWarning().noquote() << "the saved-login list could not be written";
        return false;
    }
    m_plistData = data;
    return true;
}

bool QvUser::saveLoginInfo(bool rememberPassword)
{
    QString stored;
    if (rememberPassword) {
        const auto hex = QvDesCipher::EncryptLoginInfo(m_strPassword.toUtf8(), CipherKey());
        if (!hex)
            return false; // never the password in plain text
        stored = *hex;
    }
    QVariantMap data = m_plistData.value_or(QVariantMap());
    QVariantMap users = data.value(kUserListKey).toMap();
    users.insert(m_strUsername, stored);
    QVariantMap last = data.value(kLastUserKey).toMap();
    last.insert(kLastUserKey, m_strUsername);
    data.insert(kUserListKey, users);
    data.insert(kLastUserKey, last);
    return writePlist(data);
}

bool QvUser::removeLoginInfo(const QString& username)
{
    if (!m_plistData)
        return false;
    QVariantMap data = *m_plistData;
    QVariantMap users = data.value(kUserListKey).toMap();
    if (users.remove(username) == 0)
        return false;
    data.insert(kUserListKey, users);
    QVariantMap last = data.value(kLastUserKey).toMap();
    if (last.value(kLastUserKey).toString() == username) {
        last.remove(kLastUserKey);
        data.insert(kLastUserKey, last);
    }
    return writePlist(data);
}

std::optional<std::vector<std::shared_ptr<QvUser>>> QvUser::getLoginedUsers() const
{
    if (!m_plistData)
        return std::nullopt;
    std::vector<std::shared_ptr<QvUser>> users;
    const QVariantMap list = m_plistData->value(kUserListKey).toMap();
    for (auto it = list.begin(); it != list.end(); ++it) {
        auto user = std::make_shared<QvUser>();
        user->m_strUsername = it.key();
        const auto plain = QvDesCipher::DecryptLoginInfo(it.value().toString(), CipherKey());
        user->m_strPassword = plain ? QString::fromUtf8(*plain) : QString(QLatin1String(""));
        users.push_back(std::move(user));
    }
    return users;
}

qint64 QvUser::getLastUserIndex() const
{
    if (!m_plistData)
        return kNotFound;
    const QString last = m_plistData->value(kLastUserKey).toMap().value(kLastUserKey).toString();
    const QStringList names = m_plistData->value(kUserListKey).toMap().keys();
    const qsizetype index = names.indexOf(last);
    return index < 0 ? kNotFound : qint64(index);
}

std::shared_ptr<QvHospitalInfo> QvUser::GetHospitalByID(const QString& hospitalID) const
{
    for (const auto& hospital : m_arrHospital)
        if (hospital && hospital->m_strHospitalID == hospitalID)
            return hospital;
    return nullptr;
}

std::shared_ptr<QvHospitalInfo> QvUser::GetHospitalByIndex(qint64 index) const
{
    if (index < 0 || quint64(index) >= m_arrHospital.size())
        return nullptr;
    return m_arrHospital[std::size_t(index)];
}

void QvUser::UnmashallHospital(const QVariantMap& dict)
{
    auto hospital = std::make_shared<QvHospitalInfo>();
    hospital->m_strHospitalID = Described(dict, "hospitalId");
    hospital->m_strParentHospitalID = Described(dict, "parentHospitalId");
    hospital->m_strHospitalName = Text(dict, "hospitalName");
    hospital->m_strHospitalSpell = Text(dict, "hospitalSpell");
    hospital->m_strHospitalType = Text(dict, "hospitalType");
    std::erase_if(m_arrHospital,
                  [&](const auto& h) { return h && h->m_strHospitalID == hospital->m_strHospitalID; });
    m_arrHospital.push_back(std::move(hospital));
}

void QvUser::UnmashallOffice(const QVariantMap& dict)
{
    auto office = std::make_shared<QvOfficeInfo>();
    office->m_strHospitalID = Described(dict, "hospitalId");
    office->m_strOfficeID = Described(dict, "officeId");
    office->m_strOffceSpell = Text(dict, "officeSpell");
    office->m_strOfficeName = Text(dict, "officeName");
    const auto hospital = shared().GetHospitalByID(office->m_strHospitalID);
    if (!hospital)
        return;
    std::erase_if(hospital->m_arrOffice,
                  [&](const auto& o) { return o && o->m_strOfficeID == office->m_strOfficeID; });
    hospital->AddOffice(std::move(office));
}

bool QvUser::setCookieWithHeaders(const QVariantMap& headers)
{
    const QString location = headers.value(QStringLiteral("Location")).toString();
    m_strCookie = location.section(QLatin1Char('/'), -1);
    if (m_strCookie.isEmpty()) {
        QvUtilityObj::showAlertWithMessage(QStringLiteral("用户名密码错误"));
        return false;
    }
    return true;
}

bool QvUser::HasBVSTRight() const
{
    static const QStringList codes = {QStringLiteral("BVSTC00"), QStringLiteral("BVSTS01"), QStringLiteral("BVSTD01")};
    return std::any_of(m_arrRoles.begin(), m_arrRoles.end(), [](const QString& role) { return codes.contains(role); });
}

void QvUser::clearAllCookies()
{
    platform::CookieStorage::Shared().DeleteAll();
}
