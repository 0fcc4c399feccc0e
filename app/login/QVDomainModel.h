// SPDX-License-Identifier: GPL-3.0-or-later
// The host list of "mcc.json" and the list of services a signed-in user may open
// (the reply of the service-list request and the user default "AllApplicationURL").
#pragma once

#include "app/service/QVNetworkUtils.h"

#include <QJsonObject>
#include <QString>

#include <memory>
#include <optional>
#include <vector>

class QVMCCItem : public QVModel {
public:
    static QString ClassName() { return QStringLiteral("QVMCCItem"); }
    static std::shared_ptr<QVMCCItem> FromJson(const QJsonObject& json);
    QJsonObject toJson() const;

    QString idcUrl; // "host" or "host:port", no scheme
    bool center = false;
};

class QVMCCModel : public QVModel {
public:
    static QString ClassName() { return QStringLiteral("QVMCCModel"); }
    static std::shared_ptr<QVMCCModel> FromJson(const QJsonObject& json);

    std::vector<std::shared_ptr<QVMCCItem>> idcs;
};

class QVDomainItem : public QVModel {
public:
    static QString ClassName() { return QStringLiteral("QVDomainItem"); }
    static std::shared_ptr<QVDomainItem> FromJson(const QJsonObject& json);
    // Every field with a value under its own name.
    QJsonObject toJson() const;

    QString roomServiceId;
    QString shellUrl;
    QString ssoUrl; // the service's login host, no scheme
    QString serivceDesc;
    QString url;    // the service's base address, no scheme
    std::optional<qint64> serivceType;
    QString createTime;
    QString pk;
    QString machineRoomId;
    QString modifyTime;
    QString serviceName;
    QString serviceCode;
};

class QVDomainModel : public QVModel {
public:
    static QString ClassName() { return QStringLiteral("QVDomainModel"); }
    // The list from "currList", or from "list" when "currList" is absent.
    static std::shared_ptr<QVDomainModel> FromJson(const QJsonObject& json);
    // None when the text is not a JSON object.
    static std::shared_ptr<QVDomainModel> FromText(const QString& text);
    // Written under "currList".
    QJsonObject toJson() const;
    QString toText() const;

    // The service list stored by the last successful login ("AllApplicationURL"); none
    // when nothing readable is stored.
    static std::shared_ptr<QVDomainModel> Stored();
    // The first entry whose serviceName is the name, or none.
    std::shared_ptr<QVDomainItem> entryNamed(const QString& serviceName) const;

    std::vector<std::shared_ptr<QVDomainItem>> currList;
};
