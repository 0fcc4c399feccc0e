// SPDX-License-Identifier: GPL-3.0-or-later
// MD5 digests (OpenSSL) as 32 lower-case hexadecimal digits.
#pragma once

#include <QByteArrayView>
#include <QString>

#include <optional>

namespace foundation {

QString Md5Hex(QByteArrayView bytes);

// Bytes read per piece when a file is hashed (uploads hash files of gigabytes).
inline constexpr qint64 kFileDigestPiece = 5 * 1024 * 1024;

// MD5 of the file's bytes, read piece by piece; none when the file cannot be opened
// or read.
std::optional<QString> FileMd5Hex(const QString& path);

} // namespace foundation
