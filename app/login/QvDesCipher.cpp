// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/login/QvDesCipher.h"

#include <QDebug>

#include <openssl/evp.h>
#include <openssl/provider.h>

#include <mutex>

namespace {

// OpenSSL 3 keeps DES in its legacy provider; it is loaded into a context of our own
// so that the rest of the process keeps the default algorithms only.
struct DesContext {
    OSSL_LIB_CTX* context = nullptr;
    OSSL_PROVIDER* legacy = nullptr;
    OSSL_PROVIDER* standard = nullptr;
    EVP_CIPHER* cipher = nullptr;
    DesContext()
    {
        context = OSSL_LIB_CTX_new();
        if (context) {
            legacy = OSSL_PROVIDER_load(context, "legacy");
            standard = OSSL_PROVIDER_load(context, "default");
        }
        if (legacy && standard)
            cipher = EVP_CIPHER_fetch(context, "DES-ECB", nullptr);
        if (!cipher)
            qWarning().noquote() << "DES is not available; saved logins cannot be read or written";
    }
    ~DesContext()
    {
        EVP_CIPHER_free(cipher);
        if (standard)
            OSSL_PROVIDER_unload(standard);
        if (legacy)
            OSSL_PROVIDER_unload(legacy);
        OSSL_LIB_CTX_free(context);
    }
};

const EVP_CIPHER* Des()
{
    static DesContext des;
    return des.cipher;
}

std::optional<QByteArray> Run(const QByteArray& input, const QByteArray& key, bool encrypt)
{
    const EVP_CIPHER* cipher = Des();
    if (!cipher || input.size() % 8 != 0)
        return std::nullopt;
    QByteArray key8 = key.left(8);
    key8.append(QByteArray(8 - key8.size(), '\0'));
    EVP_CIPHER_CTX* ctx = EVP_CIPHER_CTX_new();
    if (!ctx)
        return std::nullopt;
    QByteArray out(input.size() + 8, '\0');
    int written = 0;
    int last = 0;
    const auto* k = reinterpret_cast<const unsigned char*>(key8.constData());
    bool ok = EVP_CipherInit_ex2(ctx, cipher, k, nullptr, encrypt ? 1 : 0, nullptr) == 1 &&
              EVP_CIPHER_CTX_set_padding(ctx, 0) == 1;
    ok = ok && EVP_CipherUpdate(ctx, reinterpret_cast<unsigned char*>(out.data()), &written,
                                reinterpret_cast<const unsigned char*>(input.constData()), int(input.size())) == 1;
    ok = ok && EVP_CipherFinal_ex(ctx, reinterpret_cast<unsigned char*>(out.data()) + written, &last) == 1;
    EVP_CIPHER_CTX_free(ctx);
    if (!ok)
        return std::nullopt;
    out.truncate(written + last);
    return out;
}

} // namespace

namespace QvDesCipher {

std::optional<QByteArray> EncryptBlock(const QByteArray& block, const QByteArray& key)
{
    if (block.size() != 8)
        return std::nullopt;
    return Run(block, key, true);
}

std::optional<QString> EncryptLoginInfo(const QByteArray& text, const QByteArray& key)
{
    if (text.size() > kMaxTextBytes)
        return std::nullopt;
    QByteArray padded = text;
    if (padded.size() % 8)
        padded.append(QByteArray(8 - padded.size() % 8, '\0'));
    const auto cipher = Run(padded, key, true);
    if (!cipher)
        return std::nullopt;
    return QString::fromLatin1(cipher->toHex().toUpper());
}

std::optional<QByteArray> DecryptLoginInfo(const QString& hex, const QByteArray& key)
{
    if (hex.size() > kMaxHexDigits)
        return std::nullopt;
    for (const QChar c : hex)
        if (!((c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'f') || (c >= u'A' && c <= u'F')))
            return std::nullopt;
    // Digits in groups of four and bytes in blocks of eight, the last of each filled with zeros.
    QByteArray digits = hex.toLatin1();
    if (digits.size() % 4)
        digits.append(QByteArray(4 - digits.size() % 4, '0'));
    QByteArray bytes = QByteArray::fromHex(digits);
    const qsizetype count = bytes.size();
    if (bytes.size() % 8)
        bytes.append(QByteArray(8 - bytes.size() % 8, '\0'));
    auto plain = Run(bytes, key, false);
    if (!plain)
        return std::nullopt;
    plain->truncate(count);
    const qsizetype zero = plain->indexOf('\0');
    return zero < 0 ? *plain : plain->left(zero);
}

} // namespace QvDesCipher
