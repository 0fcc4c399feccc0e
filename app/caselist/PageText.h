// SPDX-License-Identifier: GPL-3.0-or-later
// Texts exchanged with the case portal page: commands, flags, JSON replies, script
// calls, Base64 lines and names that become files. Pure functions, any thread.
#pragma once

#include <QJsonObject>
#include <QJsonValue>
#include <QString>
#include <QStringList>

#include <optional>

namespace pagetext {

// A page command: the last "/"-separated component of "path" and the "value".
struct Command {
    QString name;
    QJsonValue value;
};
// None when the text is not JSON or not an object; an object without "path" has an
// empty name.
std::optional<Command> ParseCommand(const QString& text);

// The text form of a JSON value: text as is, numbers in decimal, true/false, else "".
QString TextForm(const QJsonValue& value);
// True when the text begins with "Y", "y", "T", "t" or a non-zero digit.
bool FlagFromText(const QString& text);
// A JSON value read as a boolean: true, a non-zero number or a true text.
bool FlagFromJson(const QJsonValue& value);

// Compact UTF-8 JSON; object keys come out sorted.
QString Json(const QJsonObject& object);
// A JSON string literal, quotes included, safe to paste into a script.
QString ScriptLiteral(const QString& text);
// "name(argument)" when name is a plain (dotted) identifier; none otherwise, so a
// page-given name cannot smuggle script in.
std::optional<QString> ScriptCall(const QString& name, const QString& argument);

// Standard Base64 broken into lines of 64 characters joined by CR LF.
QString Base64Lines(const QByteArray& data);

// The file types of a "limitFileType" text and whether it asks for pictures.
struct FileTypes {
    QStringList types;
    bool picture = false;
};
FileTypes ParseLimitFileType(const QString& limit);

// The name without the ten characters \ / : * ? " < space > |.
QString CleanUploadName(const QString& name);
// A service-given name made safe as one path component: separators and control
// characters dropped, "." and ".." refused (empty answer).
QString SafePathComponent(const QString& name);

// A "file:" URL as its local path; any other text unchanged.
QString LocalPath(const QString& pathOrUrl);

} // namespace pagetext
