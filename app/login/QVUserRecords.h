// SPDX-License-Identifier: GPL-3.0-or-later
// Records of the central login service's replies: the profile, hospitals (campuses),
// offices, working groups, the hospital-and-office reply and an application entry.
// JSON keys equal the field names unless a comment says otherwise; a number in a
// text field is read as its decimal text; the selection marks are never read from or
// written to JSON.
#pragma once

#include "app/service/QVNetworkUtils.h"

#include <QJsonObject>
#include <QString>
#include <QStringList>

#include <memory>
#include <optional>
#include <vector>

class QVOfficeItem : public QVModel {
public:
    static QString ClassName() { return QStringLiteral("QVOfficeItem"); }
    static std::shared_ptr<QVOfficeItem> FromJson(const QJsonObject& json);
    QJsonObject toJson() const;

    QString hospitalId;
    QString officeId;
    QString officeName;
    QString officeSpell;
    bool isSelected = false;
};

class QVHospitalItem : public QVModel {
public:
    static QString ClassName() { return QStringLiteral("QVHospitalItem"); }
    static std::shared_ptr<QVHospitalItem> FromJson(const QJsonObject& json);
    QJsonObject toJson() const;

    QString hospitalId;
    QString hospitalName;
    QString hospitalSpell;
    QString hospitalType;
    QString parentHospitalId;
    std::vector<std::shared_ptr<QVOfficeItem>> offices;
    bool isSelected = false;
};

class QVGroupItem : public QVModel {
public:
    static QString ClassName() { return QStringLiteral("QVGroupItem"); }
    static std::shared_ptr<QVGroupItem> FromJson(const QJsonObject& json);
    QJsonObject toJson() const;

    QString modifyTime;
    QString productId;
    QString productCode;
    QString groupType;
    QString phospitalId;
    QString groupName;
    QString isShare;
    QString groupId;
    QString createTime;
    QString pk;
};

// The profile: every field but roles from the object "userInfo", roles from the top.
class QVUserInfoVo : public QVModel {
public:
    static QString ClassName() { return QStringLiteral("QVUserInfoVo"); }
    static std::shared_ptr<QVUserInfoVo> FromJson(const QJsonObject& json);
    QJsonObject toJson() const;

    QString loginHospitalId;
    QString userEmail;
    std::optional<bool> needChangePwd;
    QString userPhoto;
    QString modifyTime;
    QString userMobile;
    QString userPinyin;
    QString userSex;
    QString userHomeAddr;
    std::optional<qint64> userFlag;
    QString userAliasName;
    QString userTitleName;
    QString userBirth;
    QString userIntroduce;
    QString parentHospitalId;
    QString userTitle;
    QString userNum;
    QString userName;
    QString createTime;
    QString accountId;
    QString userId;
    std::optional<QStringList> roles; // none when the reply has no "roles"
};

class QVWorkingInfo : public QVModel {
public:
    static QString ClassName() { return QStringLiteral("QVWorkingInfo"); }
    static std::shared_ptr<QVWorkingInfo> FromJson(const QJsonObject& json);

    std::vector<std::shared_ptr<QVHospitalItem>> workingHospitals;
    std::vector<std::shared_ptr<QVOfficeItem>> workingOffices;
    QString ERROR; // "true" in any letter case: the request was refused
    QString ERRORNAME;
    QString ERRORMSG;
    std::vector<std::shared_ptr<QVGroupItem>> workingGroups;

    bool isRefused() const { return ERROR.toLower() == QLatin1String("true"); }
};

class QVUserPrivilegesModel : public QVModel {
public:
    static QString ClassName() { return QStringLiteral("QVUserPrivilegesModel"); }
    static std::shared_ptr<QVUserPrivilegesModel> FromJson(const QJsonObject& json);
    QJsonObject toJson() const;

    QStringList appPrivilegeList;
    QString logoUrl;
    QString appName;
    QString productName;
    QString serviceName;
    QString url;
    QString ssoUrl;
    QString appSsoUrl;
    QString appUrl;
};
