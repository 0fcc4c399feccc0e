// SPDX-License-Identifier: GPL-3.0-or-later
// The login window against the stand-in: both stages, captchas, the remembered
// accounts, and its passive views on their own.
#include "app/login/QVLoginController.h"
#include "app/login/QVUserSelectInfoModel.h"
#include "app/login/tests/LoginTestSupport.h"
#include "app/platform/Alerts.h"
#include "testing/QtScreens.h"

#include <QGuiApplication>
#include <QMessageBox>
#include <QTimer>

namespace {

using namespace logintest;

struct Recorder : QVLoginAccountDelegate, QVLoginMoreDelegate, QVLoginHospitalDelegate {
    std::vector<std::string> calls;
    void selectedAccount(bool open) override { calls.push_back(open ? "account YES" : "account NO"); }
    void changeCodeImg() override { calls.push_back("code"); }
    void selectedMsg(qint64 tag) override { calls.push_back("selected " + std::to_string(tag)); }
    void deleteMsg(qint64 index) override { calls.push_back("delete " + std::to_string(index)); }
    void selectedHospital(bool open) override { calls.push_back(open ? "hospital YES" : "hospital NO"); }
    void selectedOffice(bool open) override { calls.push_back(open ? "office YES" : "office NO"); }
};

std::vector<std::shared_ptr<QVUserSelectInfoItem>> Accounts(std::initializer_list<const char*> names)
{
    std::vector<std::shared_ptr<QVUserSelectInfoItem>> list;
    for (const char* name : names) {
        auto item = std::make_shared<QVUserSelectInfoItem>();
        item->account = QString::fromUtf8(name);
        item->accountID = QString::fromUtf8(name);
        list.push_back(item);
    }
    return list;
}

TEST(LoginViews, ButtonsAndRowsReportToTheirDelegate)
{
    Recorder recorder;
    QVLoginAccountView account;
    account.resize(200, 80);
    account.delegate = &recorder;
    account.moreBtn->click();
    account.moreBtn->click();
    account.codeImg->click();

    QVLoginHospitalView hospital;
    hospital.resize(200, 80);
    hospital.delegate = &recorder;
    hospital.moreHospital->click();
    hospital.moreOffice->click();
    hospital.moreOffice->click();

    QVLoginMoreView more;
    more.resize(200, 120);
    more.delegate = &recorder;
    more.setUserList(Accounts({"a", "b", "c"}));
    more.allBtn[1]->accountBtn->click();
    for (std::size_t i = 0; i < more.allBtn.size(); ++i)
        EXPECT_EQ(more.allBtn[i]->isSelected(), i == 1) << i;
    EXPECT_TRUE(more.allBtn[2]->line->isHidden());
    EXPECT_FALSE(more.allBtn[0]->line->isHidden());
    more.allBtn[0]->deleteBtn->click();
    EXPECT_EQ(more.allBtn.size(), 2u);
    more.setUserList(Accounts({"b", "c"}));
    ASSERT_EQ(more.allBtn.size(), 2u);
    EXPECT_EQ(QVLoginTag(more.allBtn[0]->accountBtn), 1000);
    EXPECT_EQ(QVLoginTag(more.allBtn[1]->accountBtn), 1001);
    EXPECT_EQ(QVLoginTag(more.allBtn[0]->deleteBtn), 2000);
    EXPECT_EQ(QVLoginTag(more.allBtn[1]->deleteBtn), 2001);

    auto office = std::make_shared<QVOfficeItem>();
    office->officeName = QStringLiteral("正畸科");
    more.setOfficeList({office});
    EXPECT_TRUE(more.allBtn[0]->deleteBtn->isHidden());
    more.setOfficeList({});
    EXPECT_TRUE(more.allBtn.empty());

    EXPECT_EQ(recorder.calls, (std::vector<std::string>{"account YES", "account NO", "code", "hospital YES",
                                                         "office YES", "office NO", "selected 1001", "delete 0"}));
}

TEST(LoginViews, CaptchaRowAndCompleteness)
{
    QVLoginAccountView view;
    std::vector<bool> seen;
    view.textChangeBlock = [&](bool complete) { seen.push_back(complete); };
    view.setNeedCode(false);
    view.accountField->setText(QStringLiteral("doctor"));
    view.psdSecureField->setText(QStringLiteral("x"));
    view.controlTextDidChange();
    view.codeField->setText(QStringLiteral("abcd"));
    view.setNeedCode(false);
    EXPECT_EQ(view.codeField->text(), QStringLiteral("abcd"));
    view.setNeedCode(true);
    EXPECT_TRUE(view.codeField->text().isEmpty());
    EXPECT_EQ(view.height(), 120);
    view.controlTextDidChange();
    view.codeField->setText(QStringLiteral("7xk2"));
    view.controlTextDidChange();
    EXPECT_EQ(seen, (std::vector<bool>{true, false, true}));
}

class LoginWindowTest : public LoginTest {
protected:
    void SetUp() override
    {
        LoginTest::SetUp();
        platform::SetAlertResponder([this](QMessageBox& box) {
            alerts.push_back(box.text());
            if (screenshotAlert)
                screens::Save(*box.window(), QStringLiteral("login_alert"));
            return 0;
        });
    }
    void TearDown() override
    {
        platform::SetAlertResponder({});
        LoginTest::TearDown();
    }
    static void Type(QVLoginController& c, const QString& user, const QString& password = kPassword)
    {
        c.accountV->accountField->setText(user);
        c.accountV->psdSecureField->setText(password);
        c.accountV->controlTextDidChange();
    }
    // Runs the window modally; the script runs once the run has started.
    static int Run(QVLoginWindow& window, std::function<void()> script)
    {
        QTimer::singleShot(0, &window, std::move(script));
        return platform::RunModal(&window);
    }
    QStringList alerts;
    bool screenshotAlert = false;
};

TEST_F(LoginWindowTest, SignsInAndRemembersTheAccount)
{
    QVLoginSwitches::setShouldSaveLocalPassword(true);
    QVLoginWindow window;
    auto& c = *window.controller();
    EXPECT_TRUE(c.remberBtn->isChecked());
    EXPECT_FALSE(c.sureBtn->isEnabled());
    const int code = Run(window, [&] {
        Type(c, QStringLiteral("doctor"));
        screens::Save(window, QStringLiteral("login_account_stage"));
        c.sureBtn->click();
        c.sureBtn->click(); // busy: the second click sends nothing
    });
    EXPECT_EQ(code, platform::kModalResponseContinue);
    EXPECT_EQ(Count(primary, "POST /v1/tickets "), 1);
    const auto stored = QVUserSelectInfoModel::Stored();
    ASSERT_FALSE(stored->list.empty());
    EXPECT_EQ(stored->list[0]->account, QStringLiteral("doctor"));
    EXPECT_EQ(stored->list[0]->psdStr, kPassword);
    EXPECT_TRUE(stored->list[0]->isSelected);

    // The next run starts with the remembered account filled in.
    QVLoginWindow again;
    EXPECT_EQ(again.controller()->accountV->accountField->text(), QStringLiteral("doctor"));
    EXPECT_TRUE(again.controller()->sureBtn->isEnabled());
}

TEST_F(LoginWindowTest, ClosingEndsTheRunWithStop)
{
    QVLoginWindow window;
    EXPECT_EQ(Run(window, [&] { window.close(); }), platform::kModalResponseStop);
    window.close(); // after the run: nothing to stop
}

TEST_F(LoginWindowTest, HospitalStage)
{
    QVLoginWindow window;
    window.show();
    auto& c = *window.controller();
    Type(c, QStringLiteral("twooffices"));
    c.sureBtn->click();
    ASSERT_TRUE(WaitFor([&] { return c.atHospitalStage() && !c.requestIng(); }));
    EXPECT_EQ(c.sureBtn->text(), QStringLiteral("确定"));
    EXPECT_FALSE(c.sureBtn->isEnabled());

    c.hospitalV->moreHospital->click();
    ASSERT_TRUE(c.scrollView->isVisible());
    ASSERT_GE(c.moreV->allBtn.size(), 2u);
    c.moreV->allBtn[0]->accountBtn->click();
    c.hospitalV->moreOffice->click();
    ASSERT_EQ(c.moreV->allBtn.size(), 2u);
    EXPECT_EQ(c.scrollView->height(), 80);
    screens::Save(window, QStringLiteral("login_office_list"));
    c.moreV->allBtn[1]->accountBtn->click();
    EXPECT_EQ(c.hospitalV->officeField->text(), QStringLiteral("修复科"));
    EXPECT_TRUE(c.sureBtn->isEnabled());

    // Another hospital empties the office and disables the button.
    c.hospitalV->moreHospital->click();
    c.moreV->allBtn[1]->accountBtn->click();
    EXPECT_TRUE(c.hospitalV->officeField->text().isEmpty());
    EXPECT_FALSE(c.sureBtn->isEnabled());

    // Back: the choices and their texts are forgotten.
    c.cancelBtn->click();
    EXPECT_FALSE(c.atHospitalStage());
    EXPECT_TRUE(c.hospitalV->hospitalField->text().isEmpty());
    EXPECT_FALSE(c.scrollView->isVisible());
}

TEST_F(LoginWindowTest, CaptchaAfterRefusal)
{
    primary->Login().SetCaptchaDue(true);
    QVLoginWindow window;
    window.show();
    auto& c = *window.controller();
    Type(c, QStringLiteral("doctor"));
    screenshotAlert = true;
    c.sureBtn->click();
    ASSERT_TRUE(WaitFor([&] { return !alerts.isEmpty() && !c.captchId().isEmpty() && !c.requestIng(); }));
    screenshotAlert = false;
    EXPECT_TRUE(c.accountV->needCode());
    EXPECT_FALSE(c.sureBtn->isEnabled());
    EXPECT_EQ(Count(primary, "GET /rs/captcha/"), 1);
    screens::Save(window, QStringLiteral("login_captcha_row"));

    c.accountV->codeField->setText(QString::fromUtf8(standin::LoginSide::kCaptchaAnswer));
    c.accountV->controlTextDidChange();
    EXPECT_TRUE(c.sureBtn->isEnabled());
    const int code = Run(window, [&] { c.sureBtn->click(); });
    EXPECT_EQ(code, platform::kModalResponseContinue);
}

TEST_F(LoginWindowTest, WhatTheDoctorRemovesStaysRemoved)
{
    QVUserSelectInfoModel model;
    model.list = Accounts({"doctor", "other", "third"});
    model.list[0]->accountID = QStringLiteral("1001");
    model.list[0]->psdStr = kPassword;
    model.list[0]->isSelected = true;
    platform::UserDefaults::Standard().SetValue(platform::defaults::kAllLoginAccountList, model.toText());
    QVLoginSwitches::setShouldSaveLocalPassword(false);
    {
        QVLoginWindow window;
        window.show();
        auto& c = *window.controller();
        EXPECT_FALSE(c.remberBtn->isChecked());
        c.accountV->moreBtn->click();
        ASSERT_EQ(c.moreV->allBtn.size(), 3u);
        screens::Save(window, QStringLiteral("login_account_list"));
        c.moreV->allBtn[1]->deleteBtn->click();
        EXPECT_EQ(c.moreV->allBtn.size(), 2u);
        EXPECT_EQ(Run(window, [&] { c.sureBtn->click(); }), platform::kModalResponseContinue);
    }
    const auto stored = QVUserSelectInfoModel::Stored();
    ASSERT_EQ(stored->list.size(), 2u);
    EXPECT_EQ(stored->list[0]->account, QStringLiteral("doctor"));
    EXPECT_TRUE(stored->list[0]->psdStr.isEmpty());
    EXPECT_EQ(stored->list[1]->account, QStringLiteral("third"));

    // The next run: the account without its password, the deleted one not offered.
    QVLoginWindow next;
    auto& c = *next.controller();
    EXPECT_EQ(c.accountV->accountField->text(), QStringLiteral("doctor"));
    EXPECT_TRUE(c.accountV->psdSecureField->text().isEmpty());
    EXPECT_FALSE(c.sureBtn->isEnabled());
    ASSERT_EQ(c.userListModel()->list.size(), 2u);
    EXPECT_EQ(c.userListModel()->list[1]->account, QStringLiteral("third"));
}

// Run on a real X server only (the test "rivela_login_xvfb"): the frameless,
// translucent window shown as on a desktop, and a sign-in through it.
TEST_F(LoginWindowTest, OnScreenUnderX)
{
    if (QGuiApplication::platformName() != QLatin1String("xcb"))
        GTEST_SKIP() << "needs an X server";
    QVLoginSwitches::setShouldSaveLocalPassword(true);
    QVLoginWindow window;
    auto& c = *window.controller();
    QImage shot;
    const int code = Run(window, [&] {
        EXPECT_TRUE(window.windowFlags() & Qt::FramelessWindowHint);
        Type(c, QStringLiteral("doctor"));
        shot = screens::Save(window, QStringLiteral("login_window_xcb"));
        c.sureBtn->click();
    });
    EXPECT_EQ(code, platform::kModalResponseContinue);
    ASSERT_FALSE(shot.isNull());
    ASSERT_TRUE(shot.hasAlphaChannel());
    // The corner outside the rounded content is clear; the content is opaque.
    EXPECT_LT(qAlpha(shot.pixel(0, 0)), 40);
    const QPoint middle = c.geometry().center() * shot.devicePixelRatio();
    EXPECT_EQ(qAlpha(shot.pixel(middle)), 255);
    EXPECT_EQ(QVUserSelectInfoModel::Stored()->list.at(0)->account, QStringLiteral("doctor"));
}

} // namespace
