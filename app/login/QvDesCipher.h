// SPDX-License-Identifier: GPL-3.0-or-later
// The cipher of the saved-login list: single DES in ECB mode under the first 8
// bytes of the key string, the text padded with zero bytes to whole blocks and
// written as upper-case hex. Kept for the stored lists of older versions; it is not
// a protection worth the name.
#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

namespace QvDesCipher {

inline constexpr int kMaxTextBytes = 8191;
inline constexpr int kMaxHexDigits = 16383;

// None when the text is too long or DES is not available here.
std::optional<QString> EncryptLoginInfo(const QByteArray& text, const QByteArray& key);
// The bytes up to the first zero; none for too long or malformed hex, or without DES.
std::optional<QByteArray> DecryptLoginInfo(const QString& hex, const QByteArray& key);

// One block under an 8-byte key, for checks against published vectors.
std::optional<QByteArray> EncryptBlock(const QByteArray& block, const QByteArray& key);

} // namespace QvDesCipher
