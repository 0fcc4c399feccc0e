// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/login/QVDomainModel.h"

#include "app/login/LoginJson.h"
#include "app/platform/UserDefaults.h"


namespace {

const loginjson::TextFields<QVDomainItem> kDomainTexts = {
    {"roomServiceId", &QVDomainItem::roomServiceId}, {"shellUrl", &QVDomainItem::shellUrl},
    {"ssoUrl", &QVDomainItem::ssoUrl},               {"serivceDesc", &QVDomainItem::serivceDesc},
    {"url", &QVDomainItem::url},                     {"createTime", &QVDomainItem::createTime},
    {"pk", &QVDomainItem::pk},                       {"machineRoomId", &QVDomainItem::machineRoomId},
    {"modifyTime", &QVDomainItem::modifyTime},       {"serviceName", &QVDomainItem::serviceName},
    {"serviceCode", &QVDomainItem::serviceCode},
};

} // namespace

std::shared_ptr<QVMCCItem> QVMCCItem::FromJson(const QJsonObject& json)
{
    auto item = std::make_shared<QVMCCItem>();
    loginjson::ReadTexts<QVMCCItem>(*item, json, {{"idcUrl", &QVMCCItem::idcUrl}});
    item->center = loginjson::Flag(json.value(QLatin1String("center"))).value_or(false);
    return item;
}

QJsonObject QVMCCItem::toJson() const
{
    QJsonObject json;
    loginjson::WriteTexts<QVMCCItem>(*this, json, {{"idcUrl", &QVMCCItem::idcUrl}});
    json.insert(QLatin1String("center"), center);
    return json;
}

std::shared_ptr<QVMCCModel> QVMCCModel::FromJson(const QJsonObject& json)
{
    auto model = std::make_shared<QVMCCModel>();
    model->idcs = loginjson::Records<QVMCCItem>(json.value(QLatin1String("idcs")));
    return model;
}

std::shared_ptr<QVDomainItem> QVDomainItem::FromJson(const QJsonObject& json)
{
    auto item = loginjson::TextRecord(json, kDomainTexts);
    item->serivceType = loginjson::Integer(json.value(QLatin1String("serivceType")));
    return item;
}

QJsonObject QVDomainItem::toJson() const
{
    QJsonObject json = loginjson::TextObject(*this, kDomainTexts);
    if (serivceType)
        json.insert(QLatin1String("serivceType"), *serivceType);
    return json;
}

std::shared_ptr<QVDomainModel> QVDomainModel::FromJson(const QJsonObject& json)
{
    auto model = std::make_shared<QVDomainModel>();
    const QString key = json.contains(QLatin1String("currList")) ? QStringLiteral("currList") : QStringLiteral("list");
    model->currList = loginjson::Records<QVDomainItem>(json.value(key));
    return model;
}

std::shared_ptr<QVDomainModel> QVDomainModel::FromText(const QString& text)
{
    const auto json = loginjson::ObjectFromText(text);
    return json ? FromJson(*json) : nullptr;
}

QJsonObject QVDomainModel::toJson() const
{
    QJsonObject json;
    json.insert(QLatin1String("currList"), loginjson::RecordArray(currList));
    return json;
}

QString QVDomainModel::toText() const
{
    return loginjson::CompactText(toJson());
}

std::shared_ptr<QVDomainModel> QVDomainModel::Stored()
{
    return FromText(platform::UserDefaults::Standard().Value(platform::defaults::kAllApplicationURL).toString());
}

std::shared_ptr<QVDomainItem> QVDomainModel::entryNamed(const QString& serviceName) const
{
    for (const auto& item : currList)
        if (item && !item->serviceName.isNull() && item->serviceName == serviceName)
            return item;
    return nullptr;
}
