// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/shell/foundation/Digest.h"

#include <QFile>

#include <openssl/evp.h>

#include <memory>
#include <vector>

namespace foundation {
namespace {

struct MdCtxFree {
    void operator()(EVP_MD_CTX* ctx) const { EVP_MD_CTX_free(ctx); }
};
using MdCtx = std::unique_ptr<EVP_MD_CTX, MdCtxFree>;

QString Hex(const unsigned char* digest, unsigned int length)
{
    return QString::fromLatin1(QByteArray(reinterpret_cast<const char*>(digest), length).toHex());
}

} // namespace

QString Md5Hex(QByteArrayView bytes)
{
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    EVP_Digest(bytes.data(), static_cast<size_t>(bytes.size()), digest, &length, EVP_md5(), nullptr);
    return Hex(digest, length);
}

std::optional<QString> FileMd5Hex(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    MdCtx ctx(EVP_MD_CTX_new());
    if (!ctx || EVP_DigestInit_ex(ctx.get(), EVP_md5(), nullptr) != 1)
        return std::nullopt;
    std::vector<char> piece(static_cast<size_t>(kFileDigestPiece));
    for (;;) {
        const qint64 n = file.read(piece.data(), kFileDigestPiece);
        if (n < 0)
            return std::nullopt; // a folder or a read error: no digest of half a file
        if (n == 0)
            break;
        EVP_DigestUpdate(ctx.get(), piece.data(), static_cast<size_t>(n));
    }
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    if (EVP_DigestFinal_ex(ctx.get(), digest, &length) != 1)
        return std::nullopt;
    return Hex(digest, length);
}

} // namespace foundation
