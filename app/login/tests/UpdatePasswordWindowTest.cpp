// SPDX-License-Identifier: GPL-3.0-or-later
// The account window against the stand-in: the three checks, the change itself and
// its replies, the campus lines and the "CEFGPU" setting with its restart question.
#include "app/login/UpdatePasswordWindowController.h"
#include "app/login/tests/LoginTestSupport.h"
#include "app/platform/Alerts.h"
#include "app/shell/IniFile.h"
#include "testing/QtScreens.h"

#include <QFile>
#include <QMessageBox>
#include <QTimer>

namespace {

using namespace logintest;

const QString kQuestion = QStringLiteral("配置必须重新启动应用程序才能生效。立即重启？");

class UpdatePasswordTest : public LoginTest {
protected:
    void SetUp() override
    {
        LoginTest::SetUp();
        platform::SetAlertResponder([this](QMessageBox& box) {
            alerts.push_back(box.text());
            return box.text() == kQuestion ? restartAnswer : 0;
        });
        UpdatePasswordWindowController::setRelaunch([this] { ++relaunched; });
        LoadConfiguration("[General]\nCEFGPU=1\n");
    }
    void TearDown() override
    {
        UpdatePasswordWindowController::setRelaunch({});
        platform::SetAlertResponder({});
        IniFile::Instance().Release();
        LoginTest::TearDown();
    }
    void LoadConfiguration(const QByteArray& text)
    {
        iniPath = folder.filePath(QStringLiteral("rivela.ini"));
        QFile file(iniPath);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(text);
        file.close();
        ASSERT_EQ(IniFile::Instance().Load(iniPath.toStdString()), 0);
    }
    static void Fill(UpdatePasswordWindowController& w, const QString& old, const QString& fresh, const QString& confirm)
    {
        w.oldPasswordTextField->setText(old);
        w.freshPasswordTextField->setText(fresh);
        w.confirmPasswordTextField->setText(confirm);
    }
    // Signs the doctor in at the stand-in, which leaves the ticket cookie the change needs.
    void SignIn()
    {
        QVLoginService service;
        ASSERT_EQ(Login(service, QStringLiteral("doctor")).at(0)->resultType, 1u);
        IniFile::Instance().SetValue("Url", "ChangePasswordUrl",
                                     (Base(primary) + QStringLiteral(" /client/ changePasswd.do ")).toStdString());
    }
    int Changes() const { return Count(primary, "POST /client/changePasswd.do"); }

    QStringList alerts;
    int restartAnswer = 1;
    int relaunched = 0;
    QString iniPath;
};

TEST_F(UpdatePasswordTest, ChecksStopAtTheirFirstFault)
{
    SignIn();
    struct Case {
        const char* old;
        const char* fresh;
        const char* confirm;
        const char* alert;
    };
    const Case cases[] = {
        {"", "", "", "请输入原密码"},
        {"", "new-pw", "new-pw", "请输入原密码"},
        {"old", "", "new-pw", "请输入新密码"},
        {"old", "New-Pw", "new-pw", "两次输入的密码不一致"},
        {"old", "new-pw", "", "两次输入的密码不一致"},
    };
    UpdatePasswordWindowController window;
    for (const Case& c : cases) {
        alerts.clear();
        Fill(window, QString::fromUtf8(c.old), QString::fromUtf8(c.fresh), QString::fromUtf8(c.confirm));
        window.updateButton->click();
        EXPECT_EQ(alerts, QStringList{QString::fromUtf8(c.alert)}) << c.old << "/" << c.fresh << "/" << c.confirm;
    }
    EXPECT_EQ(Changes(), 0);
}

TEST_F(UpdatePasswordTest, ChangesThePasswordAtTheService)
{
    SignIn();
    UpdatePasswordWindowController window;
    window.show();
    // A wrong old password: the service's message, the window stays as it was.
    Fill(window, QStringLiteral("wrong"), QStringLiteral("Neu-密码1"), QStringLiteral("Neu-密码1"));
    window.updateButton->click();
    window.updateButton->click(); // while the first runs: nothing sent
    ASSERT_TRUE(WaitFor([&] { return !alerts.isEmpty(); }));
    Settle();
    EXPECT_EQ(Changes(), 1);
    EXPECT_EQ(alerts, QStringList{QStringLiteral("原密码不正确")});
    EXPECT_TRUE(window.isVisible());
    EXPECT_EQ(window.oldPasswordTextField->text(), QStringLiteral("wrong"));

    // The right one: success, and the window's modal run ends.
    alerts.clear();
    Fill(window, kPassword, QStringLiteral("Neu-密码1"), QStringLiteral("Neu-密码1"));
    QTimer::singleShot(0, &window, [&] { window.updateButton->click(); });
    EXPECT_EQ(platform::RunModal(&window), 0);
    EXPECT_EQ(alerts, QStringList{QStringLiteral("修改密码成功")});
    EXPECT_FALSE(window.isVisible());
    EXPECT_TRUE(window.oldPasswordTextField->text().isEmpty());

    // The blanks of the configured address were dropped, and the new password works.
    QVLoginService again;
    EXPECT_EQ(Login(again, QStringLiteral("doctor"), QStringLiteral("Neu-密码1")).at(0)->resultType, 1u);
}

TEST_F(UpdatePasswordTest, UnclearRepliesAreFailedRequests)
{
    SignIn();
    struct Case {
        int status;
        const char* body;
        const char* alert;
    };
    const Case cases[] = {
        {200, R"({"errorMsg":"不会成功"})", "发送请求失败"}, // no status
        {200, R"({"status":"ok"})", "发送请求失败"},
        {200, R"({"status":0.5})", "发送请求失败"},
        {200, R"([0])", "发送请求失败"},
        {200, R"({"status":1})", "发送请求失败"}, // refused without a reason
        {200, R"({"status":2,"errorMsg":"密码太简单"})", "密码太简单"},
        {200, R"(not json)", "发送请求失败"},
        {500, R"({"status":0})", "发送请求失败"},
    };
    UpdatePasswordWindowController window;
    window.show();
    for (const Case& c : cases) {
        standin::Fault fault;
        fault.status = c.status;
        fault.body = c.body;
        fault.replaceBody = true;
        fault.contentType = "application/json";
        primary->SetFault("/client/changePasswd.do", fault);
        alerts.clear();
        Fill(window, kPassword, QStringLiteral("x"), QStringLiteral("x"));
        window.updateButton->click();
        ASSERT_TRUE(WaitFor([&] { return !window.requestIng(); })) << c.body;
        EXPECT_EQ(alerts, QStringList{QString::fromUtf8(c.alert)}) << c.body;
        EXPECT_TRUE(window.isVisible()) << c.body;
    }

    // No address configured: the request fails.
    IniFile::Instance().DeleteKey("Url", "ChangePasswordUrl");
    EXPECT_TRUE(UpdatePasswordWindowController::getURL().isEmpty());
    alerts.clear();
    window.updateButton->click();
    ASSERT_TRUE(WaitFor([&] { return !window.requestIng(); }));
    EXPECT_EQ(alerts, QStringList{QStringLiteral("发送请求失败")});
}

TEST_F(UpdatePasswordTest, CampusAndOfficeLines)
{
    {
        UpdatePasswordWindowController window;
        EXPECT_EQ(window.hospitalLabel->text(), QStringLiteral("院区:  无"));
        EXPECT_EQ(window.departmentLabel->text(), QStringLiteral("科室:  无"));
    }
    auto hospital = std::make_shared<QVHospitalItem>();
    hospital->hospitalName = QStringLiteral("北京总院");
    auto office = std::make_shared<QVOfficeItem>();
    office->officeName = QStringLiteral("正畸科");
    auto& user = QVUserInfoManager::sharedInstance();
    user.setUsername(QStringLiteral("doctor"));
    user.updateHospital(hospital);
    user.updateOffice(office);
    UpdatePasswordWindowController window;
    EXPECT_EQ(window.hospitalLabel->text(), QStringLiteral("院区:  北京总院"));
    EXPECT_EQ(window.departmentLabel->text(), QStringLiteral("科室:  正畸科"));
    window.oldPasswordTextField->setText(QStringLiteral("abc"));
    // Kept with its alpha channel like the login window's, though this window is opaque.
    ASSERT_FALSE(screens::Save(window, QStringLiteral("account_window")).isNull());
    const QImage shot = window.grab().toImage().convertToFormat(QImage::Format_ARGB32);
    ASSERT_TRUE(shot.save(screens::PathOf(QStringLiteral("account_window"))));
    EXPECT_GT(screens::InkPixels(shot), 500);
}

TEST_F(UpdatePasswordTest, GraphicsSettingAndRestart)
{
    struct Case {
        const char* file;
        bool on;
    };
    const Case cases[] = {{"[General]\nCEFGPU=1\n", true},   {"[General]\nCEFGPU=0\n", false},
                          {"[General]\nCEFGPU=11\n", false}, {"[General]\nCEFGPU=true\n", false},
                          {"[General]\n", false}};
    for (const Case& c : cases) {
        LoadConfiguration(c.file);
        UpdatePasswordWindowController window;
        EXPECT_EQ(window.cefGPUCheckbox->isChecked(), c.on) << c.file;
    }

    // Turning it on stores "1" at once; cancelling the restart keeps it.
    LoadConfiguration("[General]\nCEFGPU=11\n");
    UpdatePasswordWindowController window;
    window.show();
    restartAnswer = 1;
    window.cefGPUCheckbox->click();
    ASSERT_TRUE(WaitFor([&] { return alerts.contains(kQuestion); }));
    Settle();
    EXPECT_EQ(relaunched, 0);
    EXPECT_EQ(IniFile::Instance().GetValue("General", "CEFGPU"), "1");
    QFile file(iniPath);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_TRUE(file.readAll().contains("CEFGPU=1"));

    // Off again, and "确定" restarts.
    alerts.clear();
    restartAnswer = 0;
    window.cefGPUCheckbox->click();
    ASSERT_TRUE(WaitFor([&] { return relaunched == 1; }));
    EXPECT_EQ(IniFile::Instance().GetValue("General", "CEFGPU"), "0");
}

} // namespace
