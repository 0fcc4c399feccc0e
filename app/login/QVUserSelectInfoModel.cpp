// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/login/QVUserSelectInfoModel.h"

#include "app/login/LoginJson.h"
#include "app/login/QVAPIManager.h"
#include "app/platform/UserDefaults.h"

#include <QDebug>
#include <QJsonArray>

namespace {

const loginjson::TextFields<QVUserSelectInfoItem> kItemTexts = {{"loginHost", &QVUserSelectInfoItem::loginHost},
                                                                {"account", &QVUserSelectInfoItem::account},
                                                                {"psdStr", &QVUserSelectInfoItem::psdStr},
                                                                {"accountID", &QVUserSelectInfoItem::accountID}};

bool Sync(platform::UserDefaults& defaults)
{
    if (defaults.Sync())
        return true;
    qWarning().noquote() << "the user defaults could not be written";
    return false;
}

} // namespace

std::shared_ptr<QVUserSelectInfoItem> QVUserSelectInfoItem::FromJson(const QJsonObject& json)
{
    auto item = loginjson::TextRecord(json, kItemTexts);
    item->isSelected = loginjson::Flag(json.value(QLatin1String("isSelected"))).value_or(false);
    const QJsonValue hospital = json.value(QLatin1String("loginHospital"));
    if (hospital.isObject())
        item->loginHospital = QVHospitalItem::FromJson(hospital.toObject());
    const QJsonValue office = json.value(QLatin1String("loginOffice"));
    if (office.isObject())
        item->loginOffice = QVOfficeItem::FromJson(office.toObject());
    return item;
}

QJsonObject QVUserSelectInfoItem::toJson() const
{
    QJsonObject json = loginjson::TextObject(*this, kItemTexts);
    json.insert(QLatin1String("isSelected"), isSelected);
    if (loginHospital)
        json.insert(QLatin1String("loginHospital"), loginHospital->toJson());
    if (loginOffice)
        json.insert(QLatin1String("loginOffice"), loginOffice->toJson());
    return json;
}

std::shared_ptr<QVUserSelectInfoModel> QVUserSelectInfoModel::FromJson(const QJsonObject& json)
{
    auto model = std::make_shared<QVUserSelectInfoModel>();
    model->list = loginjson::Records<QVUserSelectInfoItem>(json.value(QLatin1String("list")));
    return model;
}

std::shared_ptr<QVUserSelectInfoModel> QVUserSelectInfoModel::FromText(const QString& text)
{
    const auto json = loginjson::ObjectFromText(text);
    return json ? FromJson(*json) : std::make_shared<QVUserSelectInfoModel>();
}

QJsonObject QVUserSelectInfoModel::toJson() const
{
    QJsonObject json;
    json.insert(QLatin1String("list"), loginjson::RecordArray(list));
    return json;
}

QString QVUserSelectInfoModel::toText() const
{
    return loginjson::CompactText(toJson());
}

std::shared_ptr<QVUserSelectInfoModel> QVUserSelectInfoModel::Stored()
{
    return FromText(platform::UserDefaults::Standard().Value(platform::defaults::kAllLoginAccountList).toString());
}

bool QVUserSelectInfoModel::saveSignIn(const QString& accountID, const QString& account, const QString& password,
                                       const QString& loginHost, const std::shared_ptr<QVHospitalItem>& hospital,
                                       const std::shared_ptr<QVOfficeItem>& office)
{
    if (!QVLoginSwitches::shouldSaveLocalPassword())
        return false;
    bool known = false;
    for (const auto& item : list) {
        if (!item)
            continue;
        if (!known && item->accountID == accountID) {
            known = true;
            item->loginHost = loginHost;
            item->loginHospital = hospital;
            item->loginOffice = office;
            item->isSelected = true;
            if (item->psdStr != password)
                item->psdStr = password;
        } else {
            item->isSelected = false;
        }
    }
    if (!known) {
        auto item = std::make_shared<QVUserSelectInfoItem>();
        item->loginHost = loginHost;
        item->account = account;
        item->psdStr = password;
        item->accountID = accountID;
        item->isSelected = true;
        item->loginHospital = hospital;
        item->loginOffice = office;
        list.insert(list.begin(), item);
    }
    auto& defaults = platform::UserDefaults::Standard();
    defaults.SetValue(platform::defaults::kAllLoginAccountList, toText());
    return Sync(defaults);
}

void QVUserSelectInfoModel::removeAccount(const QString& accountID)
{
    std::erase_if(list, [&](const auto& item) { return item && item->accountID == accountID; });
}

namespace QVLoginSwitches {

bool shouldSaveLocalPassword()
{
    const auto type = static_cast<unsigned long>(QVAPIManager::sharedManager().APIType());
    return platform::UserDefaults::Standard().Value(platform::defaults::ShouldSaveLocalPasswordKey(type)).toBool();
}

void setShouldSaveLocalPassword(bool on)
{
    const auto type = static_cast<unsigned long>(QVAPIManager::sharedManager().APIType());
    auto& defaults = platform::UserDefaults::Standard();
    defaults.SetValue(platform::defaults::ShouldSaveLocalPasswordKey(type), on);
    Sync(defaults);
}

bool shouldAutoLoginIn()
{
    const auto type = static_cast<unsigned long>(QVAPIManager::sharedManager().APIType());
    return platform::UserDefaults::Standard().Contains(platform::defaults::ShouldAutoLoginInKey(type));
}

} // namespace QVLoginSwitches
