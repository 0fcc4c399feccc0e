// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/login/LoginJson.h"

#include "app/service/RVJsonValues.h"

namespace loginjson {

std::optional<QJsonObject> ObjectFromText(const QString& text)
{
    const QJsonDocument doc = QJsonDocument::fromJson(text.toUtf8());
    if (!doc.isObject())
        return std::nullopt;
    return doc.object();
}

QString CompactText(const QJsonObject& json)
{
    return QString::fromUtf8(QJsonDocument(json).toJson(QJsonDocument::Compact));
}

std::optional<QString> Text(const QJsonValue& value)
{
    return rvjson::Text(value);
}

std::optional<qint64> Integer(const QJsonValue& value)
{
    return rvjson::Integer(value);
}

std::optional<bool> Flag(const QJsonValue& value)
{
    return rvjson::Flag(value);
}

QStringList Texts(const QJsonValue& value)
{
    QStringList out;
    for (const QJsonValue& v : value.toArray())
        if (const auto text = Text(v))
            out.append(*text);
    return out;
}

QJsonArray TextArray(const QStringList& texts)
{
    QJsonArray out;
    for (const QString& t : texts)
        out.append(t);
    return out;
}

} // namespace loginjson
