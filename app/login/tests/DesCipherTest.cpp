// SPDX-License-Identifier: GPL-3.0-or-later
// The saved-login cipher against published DES vectors and against OpenSSL's
// default provider (DES-EDE3 keyed K, K, K is single DES).
#include "app/login/QvDesCipher.h"

#include <openssl/evp.h>

#include <gtest/gtest.h>

namespace {

const QByteArray kKey = QByteArrayLiteral("Zephyrin_tod_bulk_rye7");

QByteArray TripleWithSameKey(const QByteArray& block, const QByteArray& key8)
{
    const QByteArray key = key8 + key8 + key8;
    EVP_CIPHER_CTX* ctx = EVP_CIPHER_CTX_new();
    QByteArray out(16, '\0');
    int n = 0;
    EVP_EncryptInit_ex(ctx, EVP_des_ede3_ecb(), nullptr, reinterpret_cast<const unsigned char*>(key.constData()),
                       nullptr);
    EVP_CIPHER_CTX_set_padding(ctx, 0);
    EVP_EncryptUpdate(ctx, reinterpret_cast<unsigned char*>(out.data()), &n,
                      reinterpret_cast<const unsigned char*>(block.constData()), 8);
    EVP_CIPHER_CTX_free(ctx);
    return out.left(n);
}

TEST(DesCipher, PublishedVectorAndKnownTexts)
{
    const auto block = QvDesCipher::EncryptBlock(QByteArray::fromHex("0123456789ABCDEF"),
                                                 QByteArray::fromHex("133457799BBCDFF1"));
    ASSERT_TRUE(block);
    EXPECT_EQ(block->toHex().toUpper(), QByteArrayLiteral("85E813540F0AB405"));

    EXPECT_EQ(QvDesCipher::EncryptLoginInfo("password", kKey), QStringLiteral("0D235FDB1A251952"));
    EXPECT_EQ(QvDesCipher::EncryptLoginInfo("secret123", kKey), QStringLiteral("6E5E296CCBFFE32502CD5F0B3C05390B"));
    EXPECT_EQ(QvDesCipher::EncryptLoginInfo(QByteArray(17, 'x'), kKey)->size(), 48);
    EXPECT_EQ(QvDesCipher::EncryptLoginInfo({}, kKey), QString());
    EXPECT_EQ(QvDesCipher::DecryptLoginInfo(QStringLiteral("6e5e296ccbffe32502cd5f0b3c05390b"), kKey),
              QByteArrayLiteral("secret123"));
}

TEST(DesCipher, EveryBlockIsSingleDes)
{
    const QByteArray text = QStringLiteral("口腔-Pa55 longer than one block").toUtf8();
    const auto hex = QvDesCipher::EncryptLoginInfo(text, kKey);
    ASSERT_TRUE(hex);
    const QByteArray cipher = QByteArray::fromHex(hex->toLatin1());
    QByteArray padded = text;
    padded.append(QByteArray((8 - padded.size() % 8) % 8, '\0'));
    ASSERT_EQ(cipher.size(), padded.size());
    for (qsizetype i = 0; i < padded.size(); i += 8)
        EXPECT_EQ(cipher.mid(i, 8), TripleWithSameKey(padded.mid(i, 8), kKey.left(8))) << i;
    EXPECT_EQ(QvDesCipher::DecryptLoginInfo(*hex, kKey), text);
}

TEST(DesCipher, OversizedOrMalformedInputGivesNoResult)
{
    EXPECT_TRUE(QvDesCipher::EncryptLoginInfo(QByteArray(8191, 'a'), kKey));
    EXPECT_FALSE(QvDesCipher::EncryptLoginInfo(QByteArray(8192, 'a'), kKey));
    EXPECT_FALSE(QvDesCipher::DecryptLoginInfo(QString(16384, u'0'), kKey));
    EXPECT_TRUE(QvDesCipher::DecryptLoginInfo(QString(16383, u'0'), kKey));
    EXPECT_FALSE(QvDesCipher::DecryptLoginInfo(QStringLiteral("0D235FDB1A25195G"), kKey));
    EXPECT_FALSE(QvDesCipher::DecryptLoginInfo(QStringLiteral("0D235FDB 1A251952"), kKey));
}

} // namespace
