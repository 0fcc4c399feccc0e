// SPDX-License-Identifier: GPL-3.0-or-later
// AES and Base64 on byte buffers, exactly as the case service expects them.
//
// Every AES variant uses a 128-bit key, whatever its name says: the key is the first
// 16 bytes of the key text's UTF-8 form, zero-filled when shorter (a null or empty
// text gives 16 zero bytes); the IV likewise. Longer texts are cut.
//
// | function                 | mode | padding                                  |
// | AES128Operation & co     | ECB  | none (input a whole number of blocks)    |
// | AES256Operation & co     | CBC  | PKCS#7, with the IV                      |
// | AES256EncryptWithKey     | ECB  | PKCS#7 added                             |
// | AES256DecryptWithKey     | ECB  | none: the pad bytes stay at the end      |
//
// Each answers the output bytes, or none when the cipher fails (a length that is not
// a whole number of blocks where there is no padding, bad padding in CBC).
// No shared state: callable from any thread.
#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

namespace foundation {

inline constexpr quint32 kAESEncrypt = 0;
inline constexpr quint32 kAESDecrypt = 1;

std::optional<QByteArray> AES128Operation(const QByteArray& data, quint32 operation, const QString& key,
                                          const QString& iv);
std::optional<QByteArray> AES128EncryptWithKey(const QByteArray& data, const QString& key, const QString& iv = {});
std::optional<QByteArray> AES128DecryptWithKey(const QByteArray& data, const QString& key, const QString& iv = {});

std::optional<QByteArray> AES256Operation(const QByteArray& data, quint32 operation, const QString& key,
                                          const QString& iv);
std::optional<QByteArray> AES256EncryptWithKey(const QByteArray& data, const QString& key, const QString& iv);
std::optional<QByteArray> AES256DecryptWithKey(const QByteArray& data, const QString& key, const QString& iv);

std::optional<QByteArray> AES256EncryptWithKey(const QByteArray& data, const QString& key);
std::optional<QByteArray> AES256DecryptWithKey(const QByteArray& data, const QString& key);

// Standard Base64 with "=" padding; a line break after every line of at least
// lineLength characters (0: none).
QString Base64Encoding(const QByteArray& data, quint64 lineLength = 0);
// Decodes leniently: characters outside the alphabet are skipped, decoding stops at
// the first "=", an incomplete last group is dropped. A null text gives no bytes.
QByteArray DataWithBase64EncodedString(const QString& text);
// Base64 of the text's UTF-8 bytes up to the first zero byte; "" for an empty text.
QString Base64Encode(const QString& text);
// Base64 without "=" padding.
QString NewStringInBase64FromData(const QByteArray& data);

// Whether the data begins (ends) with the bytes; false for null bytes or length 0.
bool HasPrefixBytes(const QByteArray& data, const void* bytes, quint64 length);
bool HasSuffixBytes(const QByteArray& data, const void* bytes, quint64 length);

} // namespace foundation
