// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/service/RVJsonValues.h"

#include <QJsonArray>
#include <QJsonDocument>

#include <cmath>

namespace rvjson {

std::optional<QString> Text(const QJsonValue& value)
{
    switch (value.type()) {
    case QJsonValue::String:
        return value.toString();
    case QJsonValue::Bool:
        return QString::fromLatin1(value.toBool() ? "1" : "0");
    case QJsonValue::Double: {
        const double d = value.toDouble();
        if (std::isfinite(d) && d == std::trunc(d) && std::fabs(d) < 9.2e18)
            return QString::number(static_cast<qint64>(d));
        return QString::number(d, 'g', 17);
    }
    default:
        return std::nullopt;
    }
}

std::optional<qint64> Integer(const QJsonValue& value)
{
    if (value.isDouble()) {
        const double d = value.toDouble();
        if (!std::isfinite(d) || std::fabs(d) >= 9.2e18)
            return std::nullopt;
        return static_cast<qint64>(d);
    }
    if (value.isBool())
        return value.toBool() ? 1 : 0;
    if (value.isString()) {
        bool ok = false;
        const qint64 n = value.toString().trimmed().toLongLong(&ok);
        if (ok)
            return n;
    }
    return std::nullopt;
}

bool FlagFromText(const QString& text)
{
    qsizetype i = 0;
    while (i < text.size() && text[i].isSpace())
        ++i;
    if (i < text.size() && (text[i] == u'+' || text[i] == u'-'))
        ++i;
    while (i < text.size() && text[i] == u'0')
        ++i;
    if (i >= text.size())
        return false;
    const QChar c = text[i];
    return c == u'Y' || c == u'y' || c == u'T' || c == u't' || (c >= u'1' && c <= u'9');
}

std::optional<bool> Flag(const QJsonValue& value)
{
    if (value.isBool())
        return value.toBool();
    if (value.isDouble())
        return value.toDouble() != 0.0;
    if (value.isString())
        return FlagFromText(value.toString());
    return std::nullopt;
}

void SetText(QString& target, const QJsonValue& value)
{
    if (value.isNull())
        target = QString();
    else if (const auto text = Text(value))
        target = *text;
}

void SetFlag(bool& target, const QJsonValue& value)
{
    if (value.isNull())
        target = false;
    else if (const auto flag = Flag(value))
        target = *flag;
}

bool Parse(const QByteArray& data, QJsonValue* value)
{
    // Wrapping in a list admits plain top-level values; a second element means the
    // text smuggled in a "]" of its own.
    QJsonParseError error{};
    const QJsonDocument doc = QJsonDocument::fromJson("[" + data + "\n]", &error);
    if (error.error != QJsonParseError::NoError || !doc.isArray() || doc.array().size() != 1)
        return false;
    *value = doc.array().at(0);
    return true;
}

} // namespace rvjson
