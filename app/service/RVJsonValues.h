// SPDX-License-Identifier: GPL-3.0-or-later
// How the service's JSON values fill the properties of its records: numbers fill
// text with their decimal text, numeric text fills numbers, flags are read from
// their text form. Shared by the case descriptor, the record types and the calls.
#pragma once

#include <QByteArray>
#include <QJsonValue>
#include <QString>

#include <optional>

namespace rvjson {

// Text of a string, or the decimal text of a number or flag ("1"/"0"); none for
// null, lists, objects and absent values.
std::optional<QString> Text(const QJsonValue& value);
// A whole number from a number or from numeric text (blanks around allowed); none
// otherwise, and for text that is not wholly a number.
std::optional<qint64> Integer(const QJsonValue& value);
// A flag from a JSON flag, a number (non-zero) or text (FlagFromText).
std::optional<bool> Flag(const QJsonValue& value);
// True when, after leading blanks, an optional sign and leading zeros, the text
// begins with Y, y, T, t or a digit 1 to 9.
bool FlagFromText(const QString& text);

// Property filling: null clears the property; a value of another shape leaves it.
void SetText(QString& target, const QJsonValue& value);
void SetFlag(bool& target, const QJsonValue& value);
template <typename Number>
void SetNumber(Number& target, const QJsonValue& value)
{
    if (value.isNull())
        target = 0;
    else if (const auto n = Integer(value))
        target = static_cast<Number>(*n);
}

// Parses JSON with plain values allowed at the top level; false on any error.
[[nodiscard]] bool Parse(const QByteArray& data, QJsonValue* value);

} // namespace rvjson
