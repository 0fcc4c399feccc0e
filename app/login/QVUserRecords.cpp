// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/login/QVUserRecords.h"

#include "app/login/LoginJson.h"

namespace {

using loginjson::TextFields;

const TextFields<QVOfficeItem> kOfficeTexts = {{"hospitalId", &QVOfficeItem::hospitalId},
                                               {"officeId", &QVOfficeItem::officeId},
                                               {"officeName", &QVOfficeItem::officeName},
                                               {"officeSpell", &QVOfficeItem::officeSpell}};

const TextFields<QVHospitalItem> kHospitalTexts = {{"hospitalId", &QVHospitalItem::hospitalId},
                                                   {"hospitalName", &QVHospitalItem::hospitalName},
                                                   {"hospitalSpell", &QVHospitalItem::hospitalSpell},
                                                   {"hospitalType", &QVHospitalItem::hospitalType},
                                                   {"parentHospitalId", &QVHospitalItem::parentHospitalId}};

const TextFields<QVGroupItem> kGroupTexts = {
    {"modifyTime", &QVGroupItem::modifyTime}, {"productId", &QVGroupItem::productId},
    {"productCode", &QVGroupItem::productCode}, {"groupType", &QVGroupItem::groupType},
    {"phospitalId", &QVGroupItem::phospitalId}, {"groupName", &QVGroupItem::groupName},
    {"isShare", &QVGroupItem::isShare},       {"groupId", &QVGroupItem::groupId},
    {"createTime", &QVGroupItem::createTime}, {"pk", &QVGroupItem::pk}};

const TextFields<QVUserInfoVo> kUserTexts = {
    {"loginHospitalId", &QVUserInfoVo::loginHospitalId},
    {"userEmail", &QVUserInfoVo::userEmail},
    {"userPhoto", &QVUserInfoVo::userPhoto},
    {"modifyTime", &QVUserInfoVo::modifyTime},
    {"userMobile", &QVUserInfoVo::userMobile},
    {"userPinyin", &QVUserInfoVo::userPinyin},
    {"userSex", &QVUserInfoVo::userSex},
    {"userHomeAddr", &QVUserInfoVo::userHomeAddr},
    {"userAliasName", &QVUserInfoVo::userAliasName},
    {"userTitleName", &QVUserInfoVo::userTitleName},
    {"userBirth", &QVUserInfoVo::userBirth},
    {"userIntroduce", &QVUserInfoVo::userIntroduce},
    {"parentHospitalId", &QVUserInfoVo::parentHospitalId},
    {"userTitle", &QVUserInfoVo::userTitle},
    {"userNum", &QVUserInfoVo::userNum},
    {"userName", &QVUserInfoVo::userName},
    {"createTime", &QVUserInfoVo::createTime},
    {"accountId", &QVUserInfoVo::accountId},
    {"userId", &QVUserInfoVo::userId}};

const TextFields<QVUserPrivilegesModel> kPrivilegeTexts = {
    {"logoUrl", &QVUserPrivilegesModel::logoUrl},         {"appName", &QVUserPrivilegesModel::appName},
    {"productName", &QVUserPrivilegesModel::productName}, {"serviceName", &QVUserPrivilegesModel::serviceName},
    {"url", &QVUserPrivilegesModel::url},                 {"ssoUrl", &QVUserPrivilegesModel::ssoUrl},
    {"appSsoUrl", &QVUserPrivilegesModel::appSsoUrl},     {"appUrl", &QVUserPrivilegesModel::appUrl}};

} // namespace

std::shared_ptr<QVOfficeItem> QVOfficeItem::FromJson(const QJsonObject& json)
{
    return loginjson::TextRecord(json, kOfficeTexts);
}

QJsonObject QVOfficeItem::toJson() const
{
    return loginjson::TextObject(*this, kOfficeTexts);
}

std::shared_ptr<QVHospitalItem> QVHospitalItem::FromJson(const QJsonObject& json)
{
    auto item = loginjson::TextRecord(json, kHospitalTexts);
    item->offices = loginjson::Records<QVOfficeItem>(json.value(QLatin1String("offices")));
    return item;
}

QJsonObject QVHospitalItem::toJson() const
{
    QJsonObject json = loginjson::TextObject(*this, kHospitalTexts);
    json.insert(QLatin1String("offices"), loginjson::RecordArray(offices));
    return json;
}

std::shared_ptr<QVGroupItem> QVGroupItem::FromJson(const QJsonObject& json)
{
    return loginjson::TextRecord(json, kGroupTexts);
}

QJsonObject QVGroupItem::toJson() const
{
    return loginjson::TextObject(*this, kGroupTexts);
}

std::shared_ptr<QVUserInfoVo> QVUserInfoVo::FromJson(const QJsonObject& json)
{
    auto vo = std::make_shared<QVUserInfoVo>();
    if (json.contains(QLatin1String("roles")))
        vo->roles = loginjson::Texts(json.value(QLatin1String("roles")));
    const QJsonValue inner = json.value(QLatin1String("userInfo"));
    if (!inner.isObject())
        return vo;
    const QJsonObject info = inner.toObject();
    loginjson::ReadTexts(*vo, info, kUserTexts);
    vo->needChangePwd = loginjson::Flag(info.value(QLatin1String("needChangePwd")));
    vo->userFlag = loginjson::Integer(info.value(QLatin1String("userFlag")));
    return vo;
}

QJsonObject QVUserInfoVo::toJson() const
{
    QJsonObject info;
    loginjson::WriteTexts(*this, info, kUserTexts);
    if (needChangePwd)
        info.insert(QLatin1String("needChangePwd"), *needChangePwd);
    if (userFlag)
        info.insert(QLatin1String("userFlag"), *userFlag);
    QJsonObject json;
    json.insert(QLatin1String("userInfo"), info);
    if (roles)
        json.insert(QLatin1String("roles"), loginjson::TextArray(*roles));
    return json;
}

std::shared_ptr<QVWorkingInfo> QVWorkingInfo::FromJson(const QJsonObject& json)
{
    auto info = std::make_shared<QVWorkingInfo>();
    info->workingHospitals = loginjson::Records<QVHospitalItem>(json.value(QLatin1String("workingHospitals")));
    info->workingOffices = loginjson::Records<QVOfficeItem>(json.value(QLatin1String("workingOffices")));
    info->workingGroups = loginjson::Records<QVGroupItem>(json.value(QLatin1String("workingGroups")));
    loginjson::ReadTexts<QVWorkingInfo>(*info, json,
                                        {{"ERROR", &QVWorkingInfo::ERROR},
                                         {"ERRORNAME", &QVWorkingInfo::ERRORNAME},
                                         {"ERRORMSG", &QVWorkingInfo::ERRORMSG}});
    return info;
}

std::shared_ptr<QVUserPrivilegesModel> QVUserPrivilegesModel::FromJson(const QJsonObject& json)
{
    auto model = loginjson::TextRecord(json, kPrivilegeTexts);
    model->appPrivilegeList = loginjson::Texts(json.value(QLatin1String("appPrivilegeList")));
    return model;
}

QJsonObject QVUserPrivilegesModel::toJson() const
{
    QJsonObject json = loginjson::TextObject(*this, kPrivilegeTexts);
    json.insert(QLatin1String("appPrivilegeList"), loginjson::TextArray(appPrivilegeList));
    return json;
}
