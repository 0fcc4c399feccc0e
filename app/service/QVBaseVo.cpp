// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/service/QVBaseVo.h"

#include <QJsonValue>

#include <cmath>

namespace {

QString TextOf(const QJsonValue& value)
{
    if (value.isDouble()) {
        const double number = value.toDouble();
        if (std::floor(number) == number && std::fabs(number) < 9.0e15)
            return QString::number(static_cast<qint64>(number));
        return QString::number(number, 'g', 17);
    }
    if (value.isBool())
        return value.toBool() ? QStringLiteral("1") : QStringLiteral("0");
    return value.toString();
}

QString FirstOf(const QJsonObject& json, std::initializer_list<const char*> keys)
{
    for (const char* key : keys) {
        const QString name = QString::fromLatin1(key);
        if (json.contains(name) && !json.value(name).isNull())
            return TextOf(json.value(name));
    }
    return {};
}

} // namespace

std::shared_ptr<QVStatusVo> QVStatusVo::FromJson(const QJsonObject& json)
{
    auto status = std::make_shared<QVStatusVo>();
    status->code = FirstOf(json, {"code", "error_code", "status"});
    status->msg = FirstOf(json, {"msg", "error_msg", "errorMsg"});
    return status;
}

void QVBaseVo::Fill(const QJsonObject& json)
{
    if (json.value(QStringLiteral("status")).isObject())
        status = QVStatusVo::FromJson(json.value(QStringLiteral("status")).toObject());
}

std::shared_ptr<QVBaseVo> QVBaseVo::FromJson(const QJsonObject& json)
{
    auto object = std::make_shared<QVBaseVo>();
    object->Fill(json);
    return object;
}
