// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/shell/foundation/AESCrypt.h"

#include <openssl/evp.h>

#include <array>
#include <cstring>
#include <memory>

namespace foundation {
namespace {

constexpr int kBlock = 16;
using Block = std::array<unsigned char, kBlock>;

// The first 16 bytes of the text, zero-filled; longer texts are cut, never copied
// whole into a fixed buffer.
Block KeyBytes(const QString& text)
{
    Block bytes{};
    const QByteArray utf8 = text.toUtf8();
    std::memcpy(bytes.data(), utf8.constData(), static_cast<size_t>(std::min<qsizetype>(utf8.size(), kBlock)));
    return bytes;
}

struct CtxFree {
    void operator()(EVP_CIPHER_CTX* ctx) const { EVP_CIPHER_CTX_free(ctx); }
};

std::optional<QByteArray> Run(const QByteArray& data, bool encrypt, const EVP_CIPHER* cipher, bool padding,
                              const Block& key, const Block* iv)
{
    std::unique_ptr<EVP_CIPHER_CTX, CtxFree> ctx(EVP_CIPHER_CTX_new());
    if (!ctx || EVP_CipherInit_ex(ctx.get(), cipher, nullptr, key.data(), iv ? iv->data() : nullptr,
                                  encrypt ? 1 : 0) != 1)
        return std::nullopt;
    EVP_CIPHER_CTX_set_padding(ctx.get(), padding ? 1 : 0);
    QByteArray out(data.size() + kBlock, Qt::Uninitialized);
    int written = 0;
    int tail = 0;
    auto* dst = reinterpret_cast<unsigned char*>(out.data());
    if (EVP_CipherUpdate(ctx.get(), dst, &written, reinterpret_cast<const unsigned char*>(data.constData()),
                         static_cast<int>(data.size())) != 1 ||
        EVP_CipherFinal_ex(ctx.get(), dst + written, &tail) != 1)
        return std::nullopt;
    out.truncate(written + tail);
    return out;
}

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

QString Encode(const QByteArray& data, quint64 lineLength, bool pad)
{
    QString text;
    text.reserve(data.size() / 3 * 4 + 4);
    const auto* bytes = reinterpret_cast<const unsigned char*>(data.constData());
    const qsizetype n = data.size();
    quint64 onLine = 0;
    for (qsizetype i = 0; i < n; i += 3) {
        const qsizetype left = n - i;
        const unsigned b0 = bytes[i];
        const unsigned b1 = left > 1 ? bytes[i + 1] : 0;
        const unsigned b2 = left > 2 ? bytes[i + 2] : 0;
        text += QLatin1Char(kAlphabet[b0 >> 2]);
        text += QLatin1Char(kAlphabet[((b0 & 3) << 4) | (b1 >> 4)]);
        if (left > 1)
            text += QLatin1Char(kAlphabet[((b1 & 15) << 2) | (b2 >> 6)]);
        else if (pad)
            text += QLatin1Char('=');
        if (left > 2)
            text += QLatin1Char(kAlphabet[b2 & 63]);
        else if (pad)
            text += QLatin1Char('=');
        onLine += 4;
        if (lineLength != 0 && onLine >= lineLength) {
            text += QLatin1Char('\n');
            onLine = 0;
        }
    }
    return text;
}

int ValueOf(char16_t c)
{
    if (c >= 'A' && c <= 'Z')
        return c - 'A';
    if (c >= 'a' && c <= 'z')
        return c - 'a' + 26;
    if (c >= '0' && c <= '9')
        return c - '0' + 52;
    if (c == '+')
        return 62;
    if (c == '/')
        return 63;
    return -1;
}

} // namespace

std::optional<QByteArray> AES128Operation(const QByteArray& data, quint32 operation, const QString& key,
                                          const QString& iv)
{
    // ECB takes no IV; the text is read all the same, as callers pass one.
    const Block k = KeyBytes(key);
    const Block v = KeyBytes(iv);
    return Run(data, operation == kAESEncrypt, EVP_aes_128_ecb(), false, k, &v);
}

std::optional<QByteArray> AES128EncryptWithKey(const QByteArray& data, const QString& key, const QString& iv)
{
    return AES128Operation(data, kAESEncrypt, key, iv);
}

std::optional<QByteArray> AES128DecryptWithKey(const QByteArray& data, const QString& key, const QString& iv)
{
    return AES128Operation(data, kAESDecrypt, key, iv);
}

std::optional<QByteArray> AES256Operation(const QByteArray& data, quint32 operation, const QString& key,
                                          const QString& iv)
{
    const Block k = KeyBytes(key);
    const Block v = KeyBytes(iv);
    return Run(data, operation == kAESEncrypt, EVP_aes_128_cbc(), true, k, &v);
}

std::optional<QByteArray> AES256EncryptWithKey(const QByteArray& data, const QString& key, const QString& iv)
{
    return AES256Operation(data, kAESEncrypt, key, iv);
}

std::optional<QByteArray> AES256DecryptWithKey(const QByteArray& data, const QString& key, const QString& iv)
{
    return AES256Operation(data, kAESDecrypt, key, iv);
}

std::optional<QByteArray> AES256EncryptWithKey(const QByteArray& data, const QString& key)
{
    return Run(data, true, EVP_aes_128_ecb(), true, KeyBytes(key), nullptr);
}

std::optional<QByteArray> AES256DecryptWithKey(const QByteArray& data, const QString& key)
{
    return Run(data, false, EVP_aes_128_ecb(), false, KeyBytes(key), nullptr);
}

QString Base64Encoding(const QByteArray& data, quint64 lineLength)
{
    return Encode(data, lineLength, true);
}

QByteArray DataWithBase64EncodedString(const QString& text)
{
    QByteArray out;
    int group[4];
    int held = 0;
    for (const QChar ch : text) {
        const char16_t c = ch.unicode();
        if (c == '=') {
            // A group of one value carries less than a byte: it yields nothing.
            if (held == 3) {
                out.append(static_cast<char>((group[0] << 2) | (group[1] >> 4)));
                out.append(static_cast<char>(((group[1] & 15) << 4) | (group[2] >> 2)));
            } else if (held == 2) {
                out.append(static_cast<char>((group[0] << 2) | (group[1] >> 4)));
            }
            return out;
        }
        const int v = ValueOf(c);
        if (v < 0)
            continue;
        group[held++] = v;
        if (held == 4) {
            out.append(static_cast<char>((group[0] << 2) | (group[1] >> 4)));
            out.append(static_cast<char>(((group[1] & 15) << 4) | (group[2] >> 2)));
            out.append(static_cast<char>(((group[2] & 3) << 6) | group[3]));
            held = 0;
        }
    }
    return out;
}

QString Base64Encode(const QString& text)
{
    QByteArray bytes = text.toUtf8();
    const qsizetype zero = bytes.indexOf('\0');
    if (zero >= 0)
        bytes.truncate(zero);
    if (bytes.isEmpty())
        return QLatin1String("");
    return Encode(bytes, 0, true);
}

QString NewStringInBase64FromData(const QByteArray& data)
{
    return Encode(data, 0, false);
}

bool HasPrefixBytes(const QByteArray& data, const void* bytes, quint64 length)
{
    if (!bytes || length == 0 || static_cast<quint64>(data.size()) < length)
        return false;
    return std::memcmp(data.constData(), bytes, length) == 0;
}

bool HasSuffixBytes(const QByteArray& data, const void* bytes, quint64 length)
{
    if (!bytes || length == 0 || static_cast<quint64>(data.size()) < length)
        return false;
    return std::memcmp(data.constData() + data.size() - static_cast<qsizetype>(length), bytes, length) == 0;
}

} // namespace foundation
