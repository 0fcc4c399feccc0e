// SPDX-License-Identifier: GPL-3.0-or-later
// The status envelope of the shared services' replies.
#pragma once

#include "app/service/QVNetworkUtils.h"

#include <QJsonObject>
#include <QString>

#include <memory>

class QVStatusVo : public QVModel {
public:
    static QString ClassName() { return QStringLiteral("QVStatusVo"); }
    // Each property from the first of its keys that the object holds; a number is
    // held as its decimal text.
    static std::shared_ptr<QVStatusVo> FromJson(const QJsonObject& json);

    QString code; // "0" is success
    QString msg;
};

class QVBaseVo : public QVModel {
public:
    static QString ClassName() { return QStringLiteral("QVBaseVo"); }
    static std::shared_ptr<QVBaseVo> FromJson(const QJsonObject& json);

    std::shared_ptr<QVStatusVo> status;
    QString msg() const { return status ? status->msg : QString(); }
    bool isSuccess() const { return status && status->code == QLatin1String("0"); }

protected:
    void Fill(const QJsonObject& json);
};
