// SPDX-License-Identifier: GPL-3.0-or-later
// Reading and writing the text fields of the login records: a number in a text field
// is taken as its decimal text, a missing key leaves the field without a value (a
// null text), and only fields with a value are written back.
#pragma once

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QString>
#include <QStringList>

#include <initializer_list>
#include <memory>
#include <optional>
#include <utility>

namespace loginjson {

template <class T>
using TextFields = std::initializer_list<std::pair<const char*, QString T::*>>;

template <class T>
void ReadTexts(T& record, const QJsonObject& json, TextFields<T> fields);
template <class T>
void WriteTexts(const T& record, QJsonObject& json, TextFields<T> fields);

// The object of a JSON text; none for any other text.
std::optional<QJsonObject> ObjectFromText(const QString& text);
QString CompactText(const QJsonObject& json);

// A record of text fields only, read from and written to its object.
template <class T>
std::shared_ptr<T> TextRecord(const QJsonObject& json, TextFields<T> fields)
{
    auto record = std::make_shared<T>();
    ReadTexts(*record, json, fields);
    return record;
}
template <class T>
QJsonObject TextObject(const T& record, TextFields<T> fields)
{
    QJsonObject json;
    WriteTexts(record, json, fields);
    return json;
}

std::optional<QString> Text(const QJsonValue& value);
std::optional<qint64> Integer(const QJsonValue& value);
std::optional<bool> Flag(const QJsonValue& value);
QStringList Texts(const QJsonValue& value);
QJsonArray TextArray(const QStringList& texts);

// A list of records from an array of objects (other entries skipped).
template <class T>
std::vector<std::shared_ptr<T>> Records(const QJsonValue& value)
{
    std::vector<std::shared_ptr<T>> out;
    for (const QJsonValue& v : value.toArray())
        if (v.isObject())
            out.push_back(T::FromJson(v.toObject()));
    return out;
}

template <class T>
QJsonArray RecordArray(const std::vector<std::shared_ptr<T>>& records)
{
    QJsonArray out;
    for (const auto& r : records)
        if (r)
            out.append(r->toJson());
    return out;
}

template <class T>
void ReadTexts(T& record, const QJsonObject& json, TextFields<T> fields)
{
    for (const auto& [key, member] : fields)
        if (const auto text = Text(json.value(QLatin1String(key))))
            record.*member = *text;
}

template <class T>
void WriteTexts(const T& record, QJsonObject& json, TextFields<T> fields)
{
    for (const auto& [key, member] : fields)
        if (!(record.*member).isNull())
            json.insert(QLatin1String(key), record.*member);
}

} // namespace loginjson
