// SPDX-License-Identifier: GPL-3.0-or-later
// The older user record: its saved-login file, hospitals and offices, ticket and roles.
#include "app/login/QvDesCipher.h"
#include "app/login/QvUser.h"
#include "app/platform/Alerts.h"
#include "app/platform/PropertyList.h"

#include <QDir>
#include <QFile>
#include <QMessageBox>

#include <gtest/gtest.h>

namespace {

QStringList g_messages;

void Capture(QtMsgType, const QMessageLogContext&, const QString& message)
{
    g_messages.append(message);
}

class QvUserTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        path = QvUser::loginPlistPath();
        ASSERT_FALSE(path.isNull());
        QFile::remove(path);
        QDir(path).removeRecursively();
        g_messages.clear();
        previous = qInstallMessageHandler(Capture);
    }
    void TearDown() override
    {
        qInstallMessageHandler(previous);
        QFile::remove(path);
        QDir(path).removeRecursively();
    }
    static QVariantMap Stored(const QString& file)
    {
        QFile f(file);
        EXPECT_TRUE(f.open(QIODevice::ReadOnly));
        const auto root = platform::ReadPropertyList(f.readAll());
        EXPECT_TRUE(root);
        return root ? root->toMap() : QVariantMap();
    }
    static bool Save(const QString& name, const QString& password, bool remember = true)
    {
        QvUser user;
        user.m_strUsername = name;
        user.m_strPassword = password;
        return user.saveLoginInfo(remember);
    }
    static QStringList Names(const QvUser& user)
    {
        QStringList names;
        for (const auto& u : user.getLoginedUsers().value_or(std::vector<std::shared_ptr<QvUser>>{}))
            names.append(u->m_strUsername + QLatin1Char('=') + u->m_strPassword);
        return names;
    }
    void ExpectNoPasswordLogged(const QStringList& secrets) const
    {
        for (const QString& message : g_messages)
            for (const QString& secret : secrets)
                EXPECT_FALSE(message.contains(secret, Qt::CaseInsensitive)) << message.toStdString();
    }

    QString path;
    QtMessageHandler previous = nullptr;
};

TEST_F(QvUserTest, SavedAccountsAndTheLastUser)
{
    QvUser none;
    EXPECT_FALSE(none.m_plistData);
    EXPECT_FALSE(none.getLoginedUsers());
    EXPECT_EQ(none.getLastUserIndex(), 0x7FFFFFFFFFFFFFFF);

    ASSERT_TRUE(Save(QStringLiteral("zhang"), QStringLiteral("secret123")));
    ASSERT_TRUE(Save(QStringLiteral("zhang"), QStringLiteral("secret123")));
    EXPECT_EQ(QvUser().getLastUserIndex(), 0);
    ASSERT_TRUE(Save(QStringLiteral("li"), QStringLiteral("密码")));
    QvUser next;
    EXPECT_EQ(Names(next), (QStringList{QStringLiteral("li=密码"), QStringLiteral("zhang=secret123")}));
    EXPECT_EQ(next.getLastUserIndex(), 0);
    ASSERT_TRUE(Save(QStringLiteral("zhang"), QStringLiteral("secret123")));
    EXPECT_EQ(QvUser().getLastUserIndex(), 1);

    // The stored form: enciphered upper-case hex under the account, the last user apart.
    const QVariantMap stored = Stored(path);
    EXPECT_EQ(stored.value("kUserListKey").toMap().value("zhang"), QStringLiteral("6E5E296CCBFFE32502CD5F0B3C05390B"));
    EXPECT_EQ(stored.value("kLastUserKey").toMap(), (QVariantMap{{"kLastUserKey", QStringLiteral("zhang")}}));
    EXPECT_EQ(int(QFile::permissions(path) & 0x7077), int(QFile::ReadOwner | QFile::WriteOwner));
    QFile raw(path);
    ASSERT_TRUE(raw.open(QIODevice::ReadOnly));
    EXPECT_FALSE(raw.readAll().contains("secret123"));
    ExpectNoPasswordLogged({QStringLiteral("secret123"), QStringLiteral("6E5E296C")});
}

TEST_F(QvUserTest, WhatTheDoctorRemovesStaysRemoved)
{
    ASSERT_TRUE(Save(QStringLiteral("other"), QStringLiteral("pw-other")));
    ASSERT_TRUE(Save(QStringLiteral("zhang"), QStringLiteral("secret123")));
    // "记住密码" off: the account stays, its password goes with this save.
    ASSERT_TRUE(Save(QStringLiteral("zhang"), QStringLiteral("secret123"), false));
    QvUser run;
    EXPECT_EQ(Names(run), (QStringList{QStringLiteral("other=pw-other"), QStringLiteral("zhang=")}));
    EXPECT_EQ(Stored(path).value("kUserListKey").toMap().value("zhang"), QString());

    // Deleted from the drop-down: gone from the file, and no longer the last user.
    EXPECT_TRUE(run.removeLoginInfo(QStringLiteral("zhang")));
    EXPECT_FALSE(run.removeLoginInfo(QStringLiteral("zhang")));
    QvUser after;
    EXPECT_EQ(Names(after), QStringList{QStringLiteral("other=pw-other")});
    EXPECT_EQ(after.getLastUserIndex(), 0x7FFFFFFFFFFFFFFF);
    EXPECT_EQ(Stored(path).keys(), (QStringList{"kLastUserKey", "kUserListKey"}));
}

TEST_F(QvUserTest, ADamagedFileIsNoSavedListAndIsReplacedWhole)
{
    {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("<?xml version=\"1.0\"?><plist version=\"1.0\"><dict><key>kUserListKey</key>");
    }
    QvUser user;
    EXPECT_FALSE(user.getLoginedUsers());
    EXPECT_EQ(user.getLastUserIndex(), 0x7FFFFFFFFFFFFFFF);
    user.m_strUsername = QStringLiteral("zhang");
    user.m_strPassword = QStringLiteral("secret123");
    ASSERT_TRUE(user.saveLoginInfo());
    EXPECT_EQ(Names(QvUser()), QStringList{QStringLiteral("zhang=secret123")});

    // A file that cannot be replaced: nothing saved, and nothing secret in the log.
    ASSERT_TRUE(QFile::remove(path));
    ASSERT_TRUE(QDir().mkpath(path));
    user.m_strPassword = QStringLiteral("another-secret");
    EXPECT_FALSE(user.saveLoginInfo());
    EXPECT_FALSE(g_messages.isEmpty());
    ExpectNoPasswordLogged({QStringLiteral("secret123"), QStringLiteral("another-secret")});
}

TEST(QvUserRecords, HospitalsAndOffices)
{
    QvUser& shared = QvUser::shared();
    shared.reset();
    shared.UnmashallHospital({{"hospitalId", 12}, {"hospitalName", QStringLiteral("北院")}, {"parentHospitalId", 1}});
    shared.UnmashallHospital({{"hospitalName", QStringLiteral("无号")}});
    shared.UnmashallHospital({{"hospitalId", QStringLiteral("12")}, {"hospitalName", QStringLiteral("北院区")}});
    ASSERT_EQ(shared.m_arrHospital.size(), 2u);
    EXPECT_EQ(shared.m_arrHospital[0]->m_strHospitalID, QStringLiteral("(null)"));
    EXPECT_EQ(shared.GetHospitalByIndex(1)->m_strHospitalName, QStringLiteral("北院区"));
    EXPECT_EQ(shared.GetHospitalByIndex(1)->m_strParentHospitalID, QStringLiteral("(null)"));
    EXPECT_FALSE(shared.GetHospitalByIndex(2));
    EXPECT_FALSE(shared.GetHospitalByIndex(-1));

    // Offices go into the process-wide record's hospitals, also through another record.
    QvUser other;
    other.UnmashallOffice({{"hospitalId", 12}, {"officeId", 7}, {"officeName", QStringLiteral("正畸科")}});
    other.UnmashallOffice({{"hospitalId", 12}, {"officeId", 7}, {"officeName", QStringLiteral("口腔正畸科")}});
    other.UnmashallOffice({{"hospitalId", 99}, {"officeId", 8}, {"officeName", QStringLiteral("无院")}});
    const auto hospital = shared.GetHospitalByID(QStringLiteral("12"));
    ASSERT_TRUE(hospital);
    ASSERT_EQ(hospital->m_arrOffice.size(), 1u);
    EXPECT_EQ(hospital->getOfficeById(QStringLiteral("7"))->m_strOfficeName, QStringLiteral("口腔正畸科"));
    EXPECT_FALSE(hospital->getOfficeById(QStringLiteral("8")));
    EXPECT_FALSE(shared.GetHospitalByID(QStringLiteral("99")));
    shared.reset();
}

TEST(QvUserRecords, TicketAndRoles)
{
    QStringList alerts;
    platform::SetAlertResponder([&](QMessageBox& box) {
        alerts.append(box.text());
        return 0;
    });
    QvUser user;
    EXPECT_TRUE(user.setCookieWithHeaders({{"Location", QStringLiteral("http://sso/v1/tickets/TGT-1-abc")}}));
    EXPECT_EQ(user.m_strCookie, QStringLiteral("TGT-1-abc"));
    EXPECT_TRUE(alerts.isEmpty());
    EXPECT_FALSE(user.setCookieWithHeaders({{"Location", QStringLiteral("http://sso/v1/tickets/")}}));
    EXPECT_FALSE(user.setCookieWithHeaders({}));
    EXPECT_EQ(alerts, (QStringList{QStringLiteral("用户名密码错误"), QStringLiteral("用户名密码错误")}));
    platform::SetAlertResponder({});

    EXPECT_FALSE(user.HasBVSTRight());
    user.m_arrRoles = {QStringLiteral("RVM2C"), QStringLiteral("bvstc00")};
    EXPECT_FALSE(user.HasBVSTRight());
    user.m_arrRoles.append(QStringLiteral("BVSTS01"));
    EXPECT_TRUE(user.HasBVSTRight());
}

} // namespace
