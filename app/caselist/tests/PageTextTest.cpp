// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/caselist/PageText.h"
#include "app/caselist/SyncFolder.h"

#include <QDateTime>
#include <QTimeZone>

#include <gtest/gtest.h>

TEST(PageText, CommandNameIsTheLastPathComponent)
{
    struct Case {
        const char* text;
        bool parses;
        const char* name;
    } cases[] = {
        {R"({"path":"/rivela/FilePost","value":{}})", true, "FilePost"},
        {R"({"path":"FilePost"})", true, "FilePost"},
        {R"({"path":"a/b/Download/"})", true, ""},
        {R"({"value":1})", true, ""},
        {R"(["FilePost"])", false, ""},
        {"not json", false, ""},
    };
    for (const Case& c : cases) {
        const auto command = pagetext::ParseCommand(QString::fromUtf8(c.text));
        ASSERT_EQ(command.has_value(), c.parses) << c.text;
        if (command)
            EXPECT_EQ(command->name, QString::fromUtf8(c.name)) << c.text;
    }
}

TEST(PageText, FlagsFromTheirTextForm)
{
    for (const char* yes : {"Y", "yes", "True", "t", "1", "9x"})
        EXPECT_TRUE(pagetext::FlagFromText(QString::fromUtf8(yes))) << yes;
    for (const char* no : {"", "N", "false", "0", "01", " y"})
        EXPECT_FALSE(pagetext::FlagFromText(QString::fromUtf8(no))) << no;
    EXPECT_EQ(pagetext::TextForm(QJsonValue(12)), "12");
    EXPECT_TRUE(pagetext::FlagFromText(pagetext::TextForm(QJsonValue(true))));
    EXPECT_TRUE(pagetext::FlagFromJson(QJsonValue(2)));
    EXPECT_TRUE(pagetext::FlagFromJson(QJsonValue("Yes")));
    EXPECT_FALSE(pagetext::FlagFromJson(QJsonValue(0)));
}

TEST(PageText, LimitFileTypesAndCleanedNames)
{
    const auto picture = pagetext::ParseLimitFileType(QStringLiteral("图片文件|*.jpg;*.jpeg;*.png;*.bmp;"));
    EXPECT_TRUE(picture.picture);
    EXPECT_EQ(picture.types, (QStringList{"jpg", "jpeg", "png", "bmp"}));
    for (const char* text : {"*.stl;*.ply;", "*.stl;*.ply"}) {
        const auto types = pagetext::ParseLimitFileType(QString::fromUtf8(text));
        EXPECT_FALSE(types.picture);
        EXPECT_EQ(types.types, (QStringList{"stl", "ply"})) << text;
    }
    EXPECT_EQ(pagetext::CleanUploadName(QStringLiteral("my file?")), "myfile");
    EXPECT_EQ(pagetext::CleanUploadName(QStringLiteral("a\\b/c:d*e?f\"g<h i>j|k")), "abcdefghijk");
    EXPECT_EQ(pagetext::SafePathComponent(QStringLiteral("../../etc/passwd")), "....etcpasswd");
    EXPECT_EQ(pagetext::SafePathComponent(QStringLiteral("..")), "");
    EXPECT_EQ(pagetext::SafePathComponent(QStringLiteral("扫描 1.stl")), "扫描 1.stl");
    EXPECT_EQ(pagetext::LocalPath(QStringLiteral("file:///tmp/%E5%90%8C%E6%AD%A5%20a.png")), "/tmp/同步 a.png");
    EXPECT_EQ(pagetext::LocalPath(QStringLiteral("/tmp/a%20b.png")), "/tmp/a%20b.png");
}

TEST(PageText, ScriptsCarryTextAsLiteralsAndRefuseOddNames)
{
    EXPECT_EQ(pagetext::ScriptLiteral(QStringLiteral("a\"b'c\\d\n")), QStringLiteral("\"a\\\"b'c\\\\d\\n\""));
    EXPECT_EQ(pagetext::ScriptCall(QStringLiteral("page.cb"), QStringLiteral("1")), QStringLiteral("page.cb(1)"));
    EXPECT_FALSE(pagetext::ScriptCall(QStringLiteral("alert(1);cb"), QStringLiteral("1")));
    EXPECT_FALSE(pagetext::ScriptCall(QString(), QStringLiteral("1")));
    // Sorted keys, compact.
    EXPECT_EQ(pagetext::Json({{"tag", "t"}, {"status", "0"}, {"msg", "success"}}),
              QStringLiteral(R"({"msg":"success","status":"0","tag":"t"})"));
}

TEST(PageText, Base64InLinesOf64)
{
    const QByteArray data(200, 'x');
    const QString text = pagetext::Base64Lines(data);
    const QStringList lines = text.split(QStringLiteral("\r\n"));
    ASSERT_EQ(lines.size(), 5);
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(lines[i].size(), 64);
    EXPECT_EQ(QByteArray::fromBase64(lines.join(QString()).toLatin1()), data);
    EXPECT_EQ(pagetext::Base64Lines(QByteArray(48, 'y')).count(u'\r'), 0); // exactly one line
}

TEST(SyncFolder, CaseFolderInLocalTime)
{
    // The tests run with TZ=Asia/Shanghai (UTC+8, no daylight saving).
    const auto ms = [](const char* local) {
        return QDateTime::fromString(QString::fromUtf8(local), Qt::ISODate).toMSecsSinceEpoch();
    };
    struct Case {
        qint64 firstSaveTime;
        qint64 stage;
        const char* caseNo;
        const char* folder;
    } cases[] = {
        {ms("2023-11-14T10:00:00"), 3, "C123", "202311/C123/P23111403"},
        {ms("2023-11-14T10:00:00"), 12, "C123", "202311/C123/P23111412"},
        {ms("2023-11-14T10:00:00"), 100, "C123", "202311/C123/P231114100"},
        {ms("2023-11-14T10:00:00"), 0, "C123", "202311/C123/P23111400"},
        {ms("2023-11-14T10:00:00"), 7, "C123", "202311/C123/P23111407"},
        // One millisecond short of midnight stays on the day before.
        {ms("2024-01-01T00:00:00") - 1, 1, "C9", "202312/C9/P23123101"},
        // 23:30 UTC is the next day here.
        {QDateTime(QDate(2023, 11, 13), QTime(23, 30), QTimeZone::utc()).toMSecsSinceEpoch(), 1, "X", "202311/X/P23111401"},
        {ms("2023-11-14T10:00:00"), 1, "../C1", "202311/..C1/P23111401"},
    };
    for (const Case& c : cases) {
        RVFileModel file;
        file.firstSaveTime = c.firstSaveTime;
        file.stage = c.stage;
        file.medicalCaseNo = QString::fromUtf8(c.caseNo);
        EXPECT_EQ(syncfolder::CaseFolder(file), QString::fromUtf8(c.folder)) << c.folder;
    }
}

TEST(SyncFolder, MatchRule)
{
    RVFileModel file;
    file.fileName = QStringLiteral("001");
    file.fileExtension = {QStringLiteral(".stl")};
    struct Case {
        QStringList entries;
        std::optional<QString> match;
    } cases[] = {
        {{"scan.001.stl"}, QStringLiteral("scan.001.stl")},
        {{"scan.001.STL"}, std::nullopt},
        {{"scan.0011.stl"}, std::nullopt},
        {{"001.ply"}, std::nullopt},
        {{"a.001.stl", "b.001.stl"}, QStringLiteral("a.001.stl")},
        {{}, std::nullopt},
    };
    for (const Case& c : cases)
        EXPECT_EQ(syncfolder::MatchEntry(file, c.entries), c.match) << c.entries.join(',').toStdString();
}
