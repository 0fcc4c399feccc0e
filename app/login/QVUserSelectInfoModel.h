// SPDX-License-Identifier: GPL-3.0-or-later
// The accounts remembered on this computer: one JSON text under the user default
// "AllLoginAccountList" ({"list":[...]}), shared by all environments, and per
// environment the switches "ShouldSaveLocalPassword_%lu" (remember accounts and
// passwords) and "ShouldAutoLoginIn_%lu" (skip the hospital choice). The password is
// kept as typed, in "psdStr", so that the login window can sign in again; the
// settings file is readable by its owner only. Use on the GUI thread.
#pragma once

#include "app/login/QVUserRecords.h"

#include <QJsonObject>
#include <QString>

#include <memory>
#include <vector>

class QVUserSelectInfoItem : public QVModel {
public:
    static QString ClassName() { return QStringLiteral("QVUserSelectInfoItem"); }
    static std::shared_ptr<QVUserSelectInfoItem> FromJson(const QJsonObject& json);
    QJsonObject toJson() const;

    QString loginHost; // the login host address with scheme at the last sign-in
    QString account;   // the user name as typed at the first remembered sign-in
    QString psdStr;    // the password as typed at the last remembered sign-in
    QString accountID;
    bool isSelected = false;
    std::shared_ptr<QVHospitalItem> loginHospital;
    std::shared_ptr<QVOfficeItem> loginOffice;
};

class QVUserSelectInfoModel : public QVModel {
public:
    static QString ClassName() { return QStringLiteral("QVUserSelectInfoModel"); }
    static std::shared_ptr<QVUserSelectInfoModel> FromJson(const QJsonObject& json);
    // An empty list for a text that is not a JSON object or has no "list".
    static std::shared_ptr<QVUserSelectInfoModel> FromText(const QString& text);
    QJsonObject toJson() const;
    QString toText() const;

    // The stored list (empty when none).
    static std::shared_ptr<QVUserSelectInfoModel> Stored();

    // After a successful sign-in: with remembering off nothing is written (false).
    // Otherwise the entry of the account id takes the host, hospital, office, the
    // selection and a changed password, keeping its place and name; every other entry
    // loses the selection; an unknown account goes in front. The whole list replaces
    // the stored text (false when the file could not be written).
    bool saveSignIn(const QString& accountID, const QString& account, const QString& password,
                    const QString& loginHost, const std::shared_ptr<QVHospitalItem>& hospital,
                    const std::shared_ptr<QVOfficeItem>& office);
    // Removes the entry in memory only; the stored text changes with the next save.
    void removeAccount(const QString& accountID);

    std::vector<std::shared_ptr<QVUserSelectInfoItem>> list;
};

// The two switches of the current environment (QVAPIManager APIType).
namespace QVLoginSwitches {

bool shouldSaveLocalPassword();
// Writes the switch of the current environment and synchronizes at once.
void setShouldSaveLocalPassword(bool on);
// A value is stored under "ShouldAutoLoginIn_%lu".
bool shouldAutoLoginIn();

} // namespace QVLoginSwitches
