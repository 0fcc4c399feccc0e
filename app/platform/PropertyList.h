// SPDX-License-Identifier: GPL-3.0-or-later
// XML property lists ("plist" 1.0) to and from QVariant: dict as QVariantMap, array
// as QVariantList, string, integer (qlonglong), real, true and false, data
// (QByteArray) and date (QDateTime, UTC).
#pragma once

#include <QByteArray>
#include <QString>
#include <QVariant>

#include <optional>

namespace platform {

// The whole document: XML declaration, the property-list document type and the root
// "plist" element around the value.
QByteArray WritePropertyList(const QVariant& root);
// The root value; none for a document that is not a well-formed property list.
std::optional<QVariant> ReadPropertyList(const QByteArray& document);

// Writes the document through a temporary file and a rename, readable and writable
// by the owner only; false (the old file whole) when that fails.
[[nodiscard]] bool SavePropertyList(const QString& path, const QVariant& root);

} // namespace platform
