// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/shell/foundation/AESCrypt.h"

#include <gtest/gtest.h>

namespace {

using namespace foundation;

QString BytesAsText(std::initializer_list<int> bytes)
{
    QString text;
    for (int b : bytes)
        text += QChar(b);
    return text;
}

QByteArray Hex(const char* hex)
{
    return QByteArray::fromHex(hex);
}

TEST(AES, Fips197KnownAnswer)
{
    const QString key = BytesAsText({0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15});
    const QByteArray plain = Hex("00112233445566778899aabbccddeeff");
    const auto cipher = AES128EncryptWithKey(plain, key);
    ASSERT_TRUE(cipher);
    EXPECT_EQ(cipher->toHex(), "69c4e0d86a7b0430d8cdb78070b4c55a");
    EXPECT_EQ(AES128DecryptWithKey(*cipher, key), plain);
    // The PKCS#7 ECB variant encrypts the same first block, then a block of padding.
    const auto padded = AES256EncryptWithKey(plain, key);
    ASSERT_TRUE(padded);
    ASSERT_EQ(padded->size(), 32);
    EXPECT_EQ(padded->left(16).toHex(), "69c4e0d86a7b0430d8cdb78070b4c55a");
}

TEST(AES, EcbWithoutPaddingNeedsWholeBlocksAndIgnoresTheIv)
{
    const QByteArray twenty(20, 'x');
    const QByteArray two = QByteArray("0123456789abcdef") + QByteArray("fedcba9876543210");
    EXPECT_FALSE(AES128EncryptWithKey(twenty, "key"));
    EXPECT_FALSE(AES128DecryptWithKey(twenty, "key"));
    const auto a = AES128EncryptWithKey(two, "key", "iv one");
    const auto b = AES128EncryptWithKey(two, "key", "another iv");
    ASSERT_TRUE(a && b);
    EXPECT_EQ(*a, *b);
    EXPECT_EQ(a->size(), 32);
    // Two independent blocks, as ECB makes them.
    EXPECT_EQ(a->left(16), *AES128EncryptWithKey(two.left(16), "key"));
    EXPECT_EQ(a->mid(16), *AES128EncryptWithKey(two.mid(16), "key"));
    EXPECT_EQ(AES128Operation(*a, kAESDecrypt, "key", {}), two);
}

TEST(AES, PaddedEncryptAndUnpaddedDecryptLeaveThePadInPlace)
{
    const QByteArray plain("twenty bytes of text");
    ASSERT_EQ(plain.size(), 20);
    const auto cipher = AES256EncryptWithKey(plain, "0123456789abcdef");
    ASSERT_TRUE(cipher);
    EXPECT_EQ(cipher->size(), 32);
    const auto back = AES256DecryptWithKey(*cipher, "0123456789abcdef");
    ASSERT_TRUE(back);
    EXPECT_EQ(*back, plain + QByteArray(12, '\x0c'));
    EXPECT_FALSE(AES256DecryptWithKey(cipher->left(20), "0123456789abcdef"));
}

TEST(AES, KeyTextsAreCutAndZeroFilled)
{
    const QByteArray plain("the same message");
    struct Case {
        QString left, right;
        bool same;
    } cases[] = {
        {"0123456789abcdefAAAA", "0123456789abcdefBBBBBBBBBBBB", true}, // only 16 bytes count
        {QString(40, QChar('k')), QString(16, QChar('k')), true},        // 40 bytes: cut, no overrun
        {"abcde", QString("abcde") + QString(11, QChar(0)), true},       // 5 bytes + 11 zeros
        {{}, QString(16, QChar(0)), true},                               // none: 16 zeros
        {"abcde", "abcdf", false},
    };
    for (const Case& c : cases) {
        const auto l = AES256EncryptWithKey(plain, c.left);
        const auto r = AES256EncryptWithKey(plain, c.right);
        ASSERT_TRUE(l && r);
        EXPECT_EQ(*l == *r, c.same) << c.left.toStdString();
    }
    // The same holds for the CBC variant's key and IV.
    EXPECT_EQ(AES256EncryptWithKey(plain, QString(40, QChar('k')), QString(40, QChar('v'))),
              AES256EncryptWithKey(plain, QString(16, QChar('k')), QString(16, QChar('v'))));
}

TEST(AES, CbcChainsBlocksAndRejectsBadPadding)
{
    const QString key = "cbc key 16 bytes";
    const QString iv = "initial vector!!";
    const QByteArray plain("a message longer than one block of AES");
    const auto cipher = AES256EncryptWithKey(plain, key, iv);
    ASSERT_TRUE(cipher);
    EXPECT_EQ(cipher->size(), 48);
    EXPECT_EQ(AES256DecryptWithKey(*cipher, key, iv), plain);

    // First block by hand: E(P1 xor IV) with the block cipher alone.
    QByteArray first = plain.left(16);
    const QByteArray ivBytes = iv.toUtf8();
    for (int i = 0; i < 16; ++i)
        first[i] = static_cast<char>(first[i] ^ ivBytes[i]);
    EXPECT_EQ(cipher->left(16), *AES128EncryptWithKey(first, key));
    EXPECT_NE(*cipher, *AES256EncryptWithKey(plain, key, "another vector!!"));

    // A last block that decrypts to bad padding gives nothing, not garbage.
    QByteArray tampered = *cipher;
    tampered[tampered.size() - 1] = static_cast<char>(tampered[tampered.size() - 1] ^ 0x01);
    EXPECT_FALSE(AES256DecryptWithKey(tampered, key, iv));
    EXPECT_FALSE(AES256DecryptWithKey(cipher->left(40), key, iv));
}

TEST(Base64, EncodesWithPaddingAndLineBreaks)
{
    struct Case {
        QByteArray data;
        quint64 line;
        QString text;
    } cases[] = {
        {"abc", 0, "YWJj"},
        {"ab", 0, "YWI="},
        {"a", 0, "YQ=="},
        {"", 0, ""},
        {"abcabcabc", 6, "YWJjYWJj\nYWJj"},
        {"abcabcabcabc", 6, "YWJjYWJj\nYWJjYWJj\n"},
        {"abcabc", 4, "YWJj\nYWJj\n"},
        {QByteArray("\xff\xfe\x00", 3), 0, "//4A"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(Base64Encoding(c.data, c.line), c.text) << c.data.toHex().constData() << " " << c.line;
    EXPECT_EQ(NewStringInBase64FromData("a"), "YQ");
    EXPECT_EQ(NewStringInBase64FromData("ab"), "YWI");
    EXPECT_EQ(NewStringInBase64FromData("abc"), "YWJj");
    EXPECT_EQ(Base64Encode("ab"), "YWI=");
    EXPECT_EQ(Base64Encode(QString("ab") + QChar(0) + "cd"), "YWI="); // up to the first zero byte
    EXPECT_EQ(Base64Encode({}), "");
    EXPECT_EQ(Base64Encode("中"), "5Lit");
}

TEST(Base64, DecodesLeniently)
{
    struct Case {
        QString text;
        QByteArray data;
    } cases[] = {
        {"YWJj\nYWI=", "abcab"},
        {"YWJjY", "abc"},   // incomplete last group dropped
        {"YW=Jj", "a"},     // stops at the first "="
        {"YWJ=", "ab"},
        {"Y===", ""},       // one value carries no whole byte
        {" Y W\tJ j ", "abc"},
        {"YW*Jj!", "abc"},  // characters outside the alphabet skipped
        {"", ""},
        {{}, ""},
        {"//4A", QByteArray("\xff\xfe\x00", 3)},
    };
    for (const Case& c : cases)
        EXPECT_EQ(DataWithBase64EncodedString(c.text), c.data) << c.text.toStdString();
    // Every byte value survives a round trip through a broken-up text.
    QByteArray all;
    for (int i = 0; i < 256; ++i)
        all.append(static_cast<char>(i));
    EXPECT_EQ(DataWithBase64EncodedString(Base64Encoding(all, 64)), all);
}

TEST(Base64, PrefixAndSuffixBytes)
{
    const QByteArray data("PK\x03\x04 body .zip");
    EXPECT_TRUE(HasPrefixBytes(data, "PK\x03\x04", 4));
    EXPECT_FALSE(HasPrefixBytes(data, "PK\x03\x05", 4));
    EXPECT_TRUE(HasSuffixBytes(data, ".zip", 4));
    EXPECT_FALSE(HasSuffixBytes(data, "zip.", 4));
    EXPECT_FALSE(HasPrefixBytes(QByteArray(), "", 0)); // length 0: no, even for empty data
    EXPECT_FALSE(HasPrefixBytes(data, nullptr, 2));
    EXPECT_FALSE(HasSuffixBytes(QByteArray("ab"), "xab", 3));
}

} // namespace
