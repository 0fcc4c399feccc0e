// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/platform/UserDefaults.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sys/stat.h>

namespace {

namespace keys = platform::defaults;

mode_t ModeOf(const QString& path)
{
    struct stat st {};
    if (::stat(QFile::encodeName(path).constData(), &st) != 0)
        return 0;
    return st.st_mode & 0777;
}

TEST(UserDefaults, KeysAreTheStoredNames)
{
    EXPECT_EQ(keys::kAllApplicationURL, "AllApplicationURL");
    EXPECT_EQ(keys::kAllLoginAccountList, "AllLoginAccountList");
    EXPECT_EQ(keys::kInitialToolTipDelay, "NSInitialToolTipDelay");
    EXPECT_EQ(keys::ShouldSaveLocalPasswordKey(7), "ShouldSaveLocalPassword_7");
    EXPECT_EQ(keys::ShouldAutoLoginInKey(18446744073709551615ul), "ShouldAutoLoginIn_18446744073709551615");
}

TEST(UserDefaults, ValuesSurviveAReopenAndTheFileStaysOwnerOnly)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("nested/user-defaults.ini");
    const QVariantList apps{QVariantMap{{"serviceName", "RVM"}, {"url", "127.0.0.1:8080"}},
                            QVariantMap{{"serviceName", "BVST"}, {"url", "b.example"}}};
    {
        platform::UserDefaults defaults(path);
        EXPECT_EQ(ModeOf(path), 0600u); // created private before anything is in it
        defaults.SetValue(keys::kAllApplicationURL, apps);
        defaults.SetValue(keys::ShouldSaveLocalPasswordKey(3), true);
        defaults.SetValue(keys::kInitialToolTipDelay, 50);
        EXPECT_TRUE(defaults.Sync());
        EXPECT_EQ(ModeOf(path), 0600u);
        defaults.SetValue(keys::kAllLoginAccountList, QStringList{"doctor"});
        // Written by QSettings itself when the object goes, without our Sync.
    }
    EXPECT_EQ(ModeOf(path), 0600u);

    platform::UserDefaults again(path);
    EXPECT_EQ(again.Value(keys::kAllApplicationURL).toList(), apps);
    EXPECT_TRUE(again.Value(keys::ShouldSaveLocalPasswordKey(3)).toBool());
    EXPECT_EQ(again.Value(keys::kInitialToolTipDelay).toInt(), 50);
    EXPECT_EQ(again.Value(keys::kAllLoginAccountList).toStringList(), QStringList{"doctor"});
    EXPECT_FALSE(again.Contains(keys::ShouldAutoLoginInKey(3)));
    again.Remove(keys::kAllLoginAccountList);
    EXPECT_FALSE(again.Contains(keys::kAllLoginAccountList));
}

TEST(UserDefaults, StandardStoreCanBePointedAtATestFile)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("standard.ini");
    platform::UserDefaults::UseFileForTesting(path);
    platform::UserDefaults::Standard().SetValue(keys::kInitialToolTipDelay, 50);
    EXPECT_TRUE(platform::UserDefaults::Standard().Sync());
    EXPECT_EQ(platform::UserDefaults::Standard().FilePath(), path);
    EXPECT_EQ(platform::UserDefaults(path).Value(keys::kInitialToolTipDelay).toInt(), 50);
}

} // namespace
