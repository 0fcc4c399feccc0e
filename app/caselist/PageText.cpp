// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/caselist/PageText.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QRegularExpression>
#include <QUrl>

namespace pagetext {

std::optional<Command> ParseCommand(const QString& text)
{
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(text.toUtf8(), &error);
    if (error.error != QJsonParseError::NoError || !document.isObject())
        return std::nullopt;
    const QJsonObject object = document.object();
    Command command;
    command.name = TextForm(object.value(QStringLiteral("path"))).split(QLatin1Char('/')).last();
    command.value = object.value(QStringLiteral("value"));
    return command;
}

QString TextForm(const QJsonValue& value)
{
    switch (value.type()) {
    case QJsonValue::String:
        return value.toString();
    case QJsonValue::Double: {
        const double d = value.toDouble();
        if (d == double(qint64(d)))
            return QString::number(qint64(d));
        return QString::number(d, 'g', 17);
    }
    case QJsonValue::Bool:
        return value.toBool() ? QStringLiteral("1") : QStringLiteral("0");
    default:
        return {};
    }
}

bool FlagFromText(const QString& text)
{
    if (text.isEmpty())
        return false;
    const QChar c = text.at(0);
    return c == u'Y' || c == u'y' || c == u'T' || c == u't' || (c >= u'1' && c <= u'9');
}

bool FlagFromJson(const QJsonValue& value)
{
    if (value.isBool())
        return value.toBool();
    if (value.isDouble())
        return value.toDouble() != 0;
    return value.isString() && FlagFromText(value.toString());
}

QString Json(const QJsonObject& object)
{
    return QString::fromUtf8(QJsonDocument(object).toJson(QJsonDocument::Compact));
}

QString ScriptLiteral(const QString& text)
{
    // An array of one string is the JSON writer's own escaping; strip the brackets.
    const QByteArray json = QJsonDocument(QJsonArray{text}).toJson(QJsonDocument::Compact);
    QString literal = QString::fromUtf8(json.mid(1, json.size() - 2));
    // U+2028/2029 end a line in older script engines.
    literal.replace(QChar(0x2028), QStringLiteral("\\u2028")).replace(QChar(0x2029), QStringLiteral("\\u2029"));
    return literal;
}

std::optional<QString> ScriptCall(const QString& name, const QString& argument)
{
    static const QRegularExpression identifier(QStringLiteral("^[A-Za-z_$][A-Za-z0-9_$]*(\\.[A-Za-z_$][A-Za-z0-9_$]*)*$"));
    if (!identifier.match(name).hasMatch())
        return std::nullopt;
    return name + QLatin1Char('(') + argument + QLatin1Char(')');
}

QString Base64Lines(const QByteArray& data)
{
    const QString text = QString::fromLatin1(data.toBase64());
    QStringList lines;
    for (qsizetype at = 0; at < text.size(); at += 64)
        lines.append(text.mid(at, 64));
    return lines.join(QStringLiteral("\r\n"));
}

FileTypes ParseLimitFileType(const QString& limit)
{
    FileTypes result;
    result.picture = limit.contains(QStringLiteral("图片文件"));
    QString text = limit;
    text.remove(QStringLiteral("*.")).remove(QStringLiteral("图片文件")).remove(QLatin1Char('|')).remove(QLatin1Char('.'));
    result.types = text.split(QLatin1Char(';'));
    if (!result.types.isEmpty() && result.types.last().isEmpty())
        result.types.removeLast();
    return result;
}

QString CleanUploadName(const QString& name)
{
    QString out = name;
    for (const QChar c : QStringLiteral("\\/:*?\"< >|"))
        out.remove(c);
    return out;
}

QString SafePathComponent(const QString& name)
{
    QString out;
    for (const QChar c : name)
        if (c != u'/' && c != u'\\' && c.unicode() >= 0x20 && c.unicode() != 0x7f)
            out.append(c);
    if (out == QStringLiteral(".") || out == QStringLiteral(".."))
        return {};
    return out;
}

QString LocalPath(const QString& pathOrUrl)
{
    if (pathOrUrl.startsWith(QStringLiteral("file:"), Qt::CaseInsensitive))
        return QUrl(pathOrUrl).toLocalFile();
    return pathOrUrl;
}

} // namespace pagetext
