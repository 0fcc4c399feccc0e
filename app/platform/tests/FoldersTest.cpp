// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/platform/FilePanels.h"
#include "app/platform/Folders.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

TEST(Folders, EnsureFolderCreatesOnceAndRefusesAFileInTheWay)
{
    QTemporaryDir dir;
    const QString nested = dir.filePath("a/b/Rivela");
    EXPECT_EQ(platform::EnsureFolder(nested), nested);
    EXPECT_TRUE(QFileInfo(nested).isDir());
    EXPECT_EQ(platform::EnsureFolder(nested), nested);

    const QString file = dir.filePath("plain");
    QFile f(file);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.close();
    EXPECT_TRUE(platform::EnsureFolder(file).isNull());
    EXPECT_TRUE(platform::EnsureFolder(file + "/below").isNull());
    EXPECT_TRUE(platform::EnsureFolder({}).isNull());
}

TEST(Folders, SystemFoldersFollowTheEnvironment)
{
    QTemporaryDir dir;
    const QByteArray oldTmp = qgetenv("TMPDIR");
    const QByteArray oldCache = qgetenv("XDG_CACHE_HOME");
    qputenv("TMPDIR", QFile::encodeName(dir.filePath("tmp")));
    qputenv("XDG_CACHE_HOME", QFile::encodeName(dir.filePath("cache")));
    QDir().mkpath(dir.filePath("tmp"));
    EXPECT_EQ(QDir(platform::TemporaryFolder()).canonicalPath(), QDir(dir.filePath("tmp")).canonicalPath());
    EXPECT_EQ(platform::CachesFolder(), dir.filePath("cache"));
    EXPECT_FALSE(platform::DownloadsFolder().isEmpty());
    EXPECT_FALSE(platform::DocumentsFolder().isEmpty());
    oldTmp.isNull() ? qunsetenv("TMPDIR") : qputenv("TMPDIR", oldTmp);
    oldCache.isNull() ? qunsetenv("XDG_CACHE_HOME") : qputenv("XDG_CACHE_HOME", oldCache);
}

TEST(Folders, ResourcesAreFoundByNameAndType)
{
    QTemporaryDir dir;
    QDir(dir.path()).mkpath("Attachment.bundle");
    QFile ini(dir.filePath("Rivela.ini"));
    ASSERT_TRUE(ini.open(QIODevice::WriteOnly));
    ini.close();
    platform::SetResourceFolder(dir.path());
    EXPECT_EQ(platform::PathForResource("Rivela", "ini"), dir.filePath("Rivela.ini"));
    EXPECT_EQ(platform::PathForResource("Attachment", "bundle"), dir.filePath("Attachment.bundle"));
    EXPECT_TRUE(platform::PathForResource("BKT", "bundle").isNull());
    EXPECT_TRUE(platform::PathForResource("", "ini").isNull());
    platform::SetResourceFolder({});
    EXPECT_TRUE(platform::ResourceFolder().endsWith("/resources"));
}

TEST(FilePanels, AScriptedResponderAnswersOpenAndSave)
{
    std::vector<platform::FilePanelRequest> seen;
    platform::SetFilePanelResponder([&](const platform::FilePanelRequest& request) -> std::optional<QStringList> {
        seen.push_back(request);
        if (request.title == "cancel")
            return std::nullopt;
        return QStringList{"/data/a.png", "/data/b.png"};
    });
    platform::FilePanelRequest open;
    open.title = "选择图片";
    open.allowMultiple = true;
    EXPECT_EQ(platform::RunOpenPanel(nullptr, open), (QStringList{"/data/a.png", "/data/b.png"}));
    open.allowMultiple = false;
    EXPECT_EQ(platform::RunOpenPanel(nullptr, open), QStringList{"/data/a.png"});
    platform::FilePanelRequest save;
    save.proposedName = "C001_20241230.gif";
    EXPECT_EQ(platform::RunSavePanel(nullptr, save), QString("/data/a.png"));
    EXPECT_EQ(seen.back().kind, platform::FilePanelRequest::Kind::Save);
    EXPECT_EQ(seen.back().proposedName, "C001_20241230.gif");
    save.title = "cancel";
    EXPECT_FALSE(platform::RunSavePanel(nullptr, save));
    platform::SetFilePanelResponder({});
}

} // namespace
