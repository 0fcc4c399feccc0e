// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/platform/PropertyList.h"

#include <QDateTime>
#include <QSaveFile>
#include <QXmlStreamReader>
#include <QXmlStreamWriter>

namespace platform {
namespace {

void WriteValue(QXmlStreamWriter& xml, const QVariant& value)
{
    switch (value.typeId()) {
    case QMetaType::QVariantMap: {
        xml.writeStartElement(QStringLiteral("dict"));
        const QVariantMap map = value.toMap();
        for (auto it = map.begin(); it != map.end(); ++it) {
            xml.writeTextElement(QStringLiteral("key"), it.key());
            WriteValue(xml, it.value());
        }
        xml.writeEndElement();
        break;
    }
    case QMetaType::QVariantList:
    case QMetaType::QStringList:
        xml.writeStartElement(QStringLiteral("array"));
        for (const QVariant& element : value.toList())
            WriteValue(xml, element);
        xml.writeEndElement();
        break;
    case QMetaType::Bool:
        xml.writeEmptyElement(value.toBool() ? QStringLiteral("true") : QStringLiteral("false"));
        break;
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
        xml.writeTextElement(QStringLiteral("integer"), value.toString());
        break;
    case QMetaType::Double:
    case QMetaType::Float:
        xml.writeTextElement(QStringLiteral("real"), QString::number(value.toDouble(), 'g', 17));
        break;
    case QMetaType::QByteArray:
        xml.writeTextElement(QStringLiteral("data"), QString::fromLatin1(value.toByteArray().toBase64()));
        break;
    case QMetaType::QDateTime:
        xml.writeTextElement(QStringLiteral("date"), value.toDateTime().toUTC().toString(Qt::ISODate));
        break;
    default:
        xml.writeTextElement(QStringLiteral("string"), value.toString());
        break;
    }
}

// Reads the value whose start element the reader is on; none on any fault.
std::optional<QVariant> ReadValue(QXmlStreamReader& xml)
{
    const QStringView name = xml.name();
    if (name == u"dict") {
        QVariantMap map;
        while (xml.readNextStartElement()) {
            if (xml.name() != u"key")
                return std::nullopt;
            const QString key = xml.readElementText();
            if (xml.hasError() || !xml.readNextStartElement())
                return std::nullopt;
            auto value = ReadValue(xml);
            if (!value)
                return std::nullopt;
            map.insert(key, *value);
        }
        return xml.hasError() ? std::nullopt : std::optional<QVariant>(map);
    }
    if (name == u"array") {
        QVariantList list;
        while (xml.readNextStartElement()) {
            auto value = ReadValue(xml);
            if (!value)
                return std::nullopt;
            list.append(*value);
        }
        return xml.hasError() ? std::nullopt : std::optional<QVariant>(list);
    }
    if (name == u"true" || name == u"false") {
        const bool on = name == u"true";
        xml.skipCurrentElement();
        return xml.hasError() ? std::nullopt : std::optional<QVariant>(on);
    }
    const QString kind = name.toString();
    const QString text = xml.readElementText();
    if (xml.hasError())
        return std::nullopt;
    bool ok = true;
    if (kind == u"string")
        return QVariant(text);
    if (kind == u"integer") {
        const qlonglong n = text.trimmed().toLongLong(&ok);
        return ok ? std::optional<QVariant>(n) : std::nullopt;
    }
    if (kind == u"real") {
        const double x = text.trimmed().toDouble(&ok);
        return ok ? std::optional<QVariant>(x) : std::nullopt;
    }
    if (kind == u"data") {
        auto bytes = QByteArray::fromBase64Encoding(text.simplified().remove(QLatin1Char(' ')).toLatin1(),
                                                    QByteArray::AbortOnBase64DecodingErrors);
        return bytes ? std::optional<QVariant>(*bytes) : std::nullopt;
    }
    if (kind == u"date") {
        const QDateTime when = QDateTime::fromString(text.trimmed(), Qt::ISODate);
        return when.isValid() ? std::optional<QVariant>(when) : std::nullopt;
    }
    return std::nullopt;
}

} // namespace

QByteArray WritePropertyList(const QVariant& root)
{
    QByteArray out;
    QXmlStreamWriter xml(&out);
    xml.writeStartDocument();
    xml.writeDTD(QStringLiteral("<!DOCTYPE plist PUBLIC \"-//Apple//DTD PLIST 1.0//EN\" "
                                "\"http://www.apple.com/DTDs/PropertyList-1.0.dtd\">"));
    xml.writeStartElement(QStringLiteral("plist"));
    xml.writeAttribute(QStringLiteral("version"), QStringLiteral("1.0"));
    WriteValue(xml, root);
    xml.writeEndElement();
    xml.writeEndDocument();
    return out;
}

std::optional<QVariant> ReadPropertyList(const QByteArray& document)
{
    QXmlStreamReader xml(document);
    if (!xml.readNextStartElement() || xml.name() != u"plist")
        return std::nullopt;
    std::optional<QVariant> root;
    if (xml.readNextStartElement())
        root = ReadValue(xml);
    else
        root = QVariant(); // an empty "plist" element
    if (!root)
        return std::nullopt;
    // Nothing but the end of the "plist" element may follow.
    if (root->isValid() && xml.readNextStartElement())
        return std::nullopt;
    while (!xml.atEnd())
        xml.readNext();
    if (xml.hasError())
        return std::nullopt;
    return root;
}

bool SavePropertyList(const QString& path, const QVariant& root)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    // Set on the temporary file, so the document is never readable by others.
    if (!file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner))
        return false;
    const QByteArray bytes = WritePropertyList(root);
    if (file.write(bytes) != bytes.size())
        return false;
    return file.commit();
}

} // namespace platform
