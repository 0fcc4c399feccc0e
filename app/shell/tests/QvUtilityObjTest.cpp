// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/shell/QvUtilityObj.h"

#include "app/platform/Alerts.h"
#include "app/platform/Clock.h"
#include "app/platform/Folders.h"

#include <QDir>
#include <QFile>
#include <QMessageBox>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

// Points an environment variable elsewhere for one test.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const QString& value) : m_name(name), m_old(qgetenv(name))
    {
        qputenv(name, QFile::encodeName(value));
    }
    ~ScopedEnv() { m_old.isNull() ? qunsetenv(m_name) : qputenv(m_name, m_old); }

private:
    const char* m_name;
    QByteArray m_old;
};

TEST(QvUtilityObj, Md5OfUtf8Text)
{
    struct Case {
        QString text;
        const char* digest;
    } cases[] = {
        {"", "d41d8cd98f00b204e9800998ecf8427e"},
        {"abc", "900150983cd24fb0d6963f7d28e17f72"},
        {"中文", "a7bac2239fcdcb3a067903d8077c4a07"},
        {QString("ab") + QChar(0) + "cd", "187ef4436122d1cc2f40dc2b92f0eba0"}, // up to the zero byte
    };
    for (const Case& c : cases)
        EXPECT_EQ(QvUtilityObj::md5(c.text), QString(c.digest)) << c.digest;
}

TEST(QvUtilityObj, DatesUseTheCalendarYear)
{
    // 30 December 2024 lies in the first week of 2025.
    platform::SetClockForTesting([] { return QDateTime(QDate(2024, 12, 30), QTime(23, 59, 58)); });
    EXPECT_EQ(QvUtilityObj::getCurrentDate(), "20241230");
    EXPECT_EQ(QvUtilityObj::getCurrentTimes(), "2024-12-30 23:59:58");
    platform::SetClockForTesting([] { return QDateTime(QDate(2021, 1, 2), QTime(0, 0, 1)); });
    EXPECT_EQ(QvUtilityObj::getCurrentDate(), "20210102"); // week-based: 2020
    platform::SetClockForTesting({});
    EXPECT_EQ(QvUtilityObj::getCurrentDate(), QDate::currentDate().toString("yyyyMMdd"));
    EXPECT_TRUE(QvUtilityObj::getSystemVersion().contains(QRegularExpression("^\\d+\\.\\d+\\.\\d+$")));
}

TEST(QvUtilityObj, RequestSuccessCodes)
{
    struct Case {
        QVariant value;
        bool success;
    } cases[] = {
        {200, true},        {299, true},         {300, false},       {199, false},     {QString("204"), true},
        {QString(" 250ok"), true}, {QString("abc"), false}, {QVariant(), false}, {-200, false}, {250.7, true},
        {true, false},      {QVariantList{200}, false}, {QByteArray("201"), true}, {qulonglong(201), true},
    };
    for (const Case& c : cases)
        EXPECT_EQ(QvUtilityObj::isNetworkRequestSuccess(c.value), c.success) << c.value.toString().toStdString();
    EXPECT_TRUE(QvUtilityObj::isValidJSONString("{\"a\":[1,2]}"));
    EXPECT_FALSE(QvUtilityObj::isValidJSONString("{\"a\":"));
}

TEST(QvUtilityObj, FoldersAreCreatedOnceAndRefusedWhenAFileIsInTheWay)
{
    QTemporaryDir dir;
    ScopedEnv tmp("TMPDIR", dir.filePath("tmp"));
    ScopedEnv cache("XDG_CACHE_HOME", dir.filePath("cache"));
    ScopedEnv downloads("XDG_DOWNLOAD_DIR", dir.filePath("Downloads"));
    QDir().mkpath(dir.filePath("tmp"));
    const QString temp = QvUtilityObj::getTempFolder();
    EXPECT_TRUE(temp.endsWith("/Rivela"));
    EXPECT_TRUE(QFileInfo(temp).isDir());
    EXPECT_EQ(QvUtilityObj::getTempFolder(), temp);
    EXPECT_EQ(QvUtilityObj::getAppCacheFolder(), dir.filePath("cache/Rivela"));
    EXPECT_TRUE(QvUtilityObj::getCaseImagesZipFile("C001").endsWith("/C001.zip"));

    QDir().mkpath(dir.filePath("blocked"));
    QFile blocker(dir.filePath("blocked/Rivela"));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    ScopedEnv blockedCache("XDG_CACHE_HOME", dir.filePath("blocked"));
    EXPECT_TRUE(QvUtilityObj::getAppCacheFolder().isNull());
}

TEST(QvUtilityObj, LibrariesAreResources)
{
    QTemporaryDir dir;
    QDir(dir.path()).mkpath("Attachment.bundle");
    platform::SetResourceFolder(dir.path());
    EXPECT_EQ(QvUtilityObj::getAttachmentPath(), dir.filePath("Attachment.bundle"));
    EXPECT_TRUE(QvUtilityObj::getBKTPath().isNull());
    EXPECT_EQ(QvUtilityObj::getResourcePath(), dir.path());
    platform::SetResourceFolder({});
}

TEST(QvUtilityObj, AlertsAndParameters)
{
    QStringList texts;
    int answer = 0;
    platform::SetAlertResponder([&](QMessageBox& box) {
        texts << box.text();
        return answer;
    });
    EXPECT_TRUE(QvUtilityObj::showAlertQuestionWithInfo("确认关闭影像资料?"));
    answer = 1;
    EXPECT_FALSE(QvUtilityObj::showAlertQuestionWithInfo("确认注销？"));
    answer = 0;
    QvUtilityObj::showAlertWithMessage("导出成功！");
    QvUtilityObj::showAlertWithError("下载失败");
    platform::SetAlertResponder({});
    EXPECT_EQ(texts, (QStringList{"确认关闭影像资料?", "确认注销？", "导出成功！", "下载失败"}));

    const QVariantMap image = QvUtilityObj::getDownloadCaseImageParameters("C001", 2, "cp9");
    EXPECT_EQ(image.value("sizeType").toInt(), 3);
    EXPECT_EQ(image.value("isDynamic").toInt(), 1);
    EXPECT_EQ(image.value("itemCode").toInt(), 0);
    EXPECT_EQ(image.value("filePosition").toInt(), 0);
    EXPECT_EQ(image.value("casePhaseId").toString(), "cp9");
    const QVariantMap file = QvUtilityObj::getDownloadFileParameters("C001", 2, 1041);
    EXPECT_EQ(file, (QVariantMap{{"fileType", 1041}, {"caseNo", "C001"}, {"phaseNo", 2}}));
}

} // namespace
