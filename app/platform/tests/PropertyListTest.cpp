// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/platform/PropertyList.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

TEST(PropertyList, EveryKindRoundTrips)
{
    const QVariantMap root{
        {"text", QStringLiteral("院区 <&> \"x\"")},
        {"empty", QString()},
        {"integer", qlonglong(-9007199254740993LL)},
        {"real", 0.1},
        {"yes", true},
        {"no", false},
        {"data", QByteArray("\0\1\xff", 3)},
        {"date", QDateTime(QDate(2026, 12, 11), QTime(13, 5, 7), Qt::UTC)},
        {"list", QVariantList{QStringLiteral("a"), qlonglong(2), QVariantList{}, QVariantMap{}}},
        {"dict", QVariantMap{{"kLastUserKey", QStringLiteral("doctor")}}},
    };
    const QByteArray document = platform::WritePropertyList(root);
    EXPECT_TRUE(document.startsWith("<?xml version=\"1.0\" encoding=\"UTF-8\"?>"));
    EXPECT_TRUE(document.contains("<!DOCTYPE plist PUBLIC \"-//Apple//DTD PLIST 1.0//EN\""));
    const auto read = platform::ReadPropertyList(document);
    ASSERT_TRUE(read);
    EXPECT_EQ(read->toMap(), root);
}

TEST(PropertyList, DamagedDocumentsReadAsNone)
{
    const char* const damaged[] = {
        "",
        "not xml at all",
        "<dict></dict>",                                          // no plist root
        "<plist version=\"1.0\"><dict><key>a</key></dict></plist>", // a key without its value
        "<plist version=\"1.0\"><dict><string>a</string></dict></plist>",
        "<plist version=\"1.0\"><dict><key>a</key><string>b</string>",  // cut off
        "<plist version=\"1.0\"><integer>12x</integer></plist>",
        "<plist version=\"1.0\"><data>!!!</data></plist>",
        "<plist version=\"1.0\"><blob/></plist>",
        "<plist version=\"1.0\"><dict/><dict/></plist>",
        "<plist version=\"1.0\"><dict/></plist><plist/>",
    };
    for (const char* text : damaged)
        EXPECT_FALSE(platform::ReadPropertyList(QByteArray(text))) << text;
    // A document with one line per the empty list is a valid, empty dictionary.
    const auto empty = platform::ReadPropertyList(
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?><!DOCTYPE plist PUBLIC \"-//Apple//DTD PLIST 1.0//EN\" "
        "\"http://www.apple.com/DTDs/PropertyList-1.0.dtd\"><plist version=\"1.0\"><dict/></plist>");
    ASSERT_TRUE(empty);
    EXPECT_EQ(empty->typeId(), QMetaType::QVariantMap);
    EXPECT_TRUE(empty->toMap().isEmpty());
}

TEST(PropertyList, SavingReplacesTheFileForItsOwnerOnly)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("list.plist");
    {
        QFile old(path);
        ASSERT_TRUE(old.open(QIODevice::WriteOnly));
        old.write("old");
    }
    ASSERT_TRUE(QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadOther));
    ASSERT_TRUE(platform::SavePropertyList(path, QVariantMap{{"k", QStringLiteral("v")}}));
    EXPECT_EQ(int(QFile::permissions(path) & 0x7077), int(QFile::ReadOwner | QFile::WriteOwner)); // owner, group, others
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(platform::ReadPropertyList(file.readAll())->toMap().value("k"), QStringLiteral("v"));
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).size(), 1);

    EXPECT_FALSE(platform::SavePropertyList(dir.filePath("missing/list.plist"), QVariantMap{}));
}

} // namespace
