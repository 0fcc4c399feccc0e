// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/platform/Alerts.h"

#include "testing/QtScreens.h"

#include <QApplication>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <QWidget>

#include <gtest/gtest.h>

#include <memory>

namespace {

struct Seen {
    QString text;
    QStringList buttons;
    QString defaultButton;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
};

Seen Look(QMessageBox& box)
{
    Seen seen;
    seen.text = box.text();
    for (QAbstractButton* b : box.buttons())
        seen.buttons << b->text();
    seen.defaultButton = box.defaultButton() ? box.defaultButton()->text() : QString();
    seen.icon = box.icon();
    return seen;
}

class AlertsTest : public ::testing::Test {
protected:
    void TearDown() override { platform::SetAlertResponder({}); }
};

TEST_F(AlertsTest, QuestionIsYesOnlyForTheFirstButtonAndIsDrawnInChinese)
{
    Seen seen;
    QImage shot;
    platform::SetAlertResponder([&](QMessageBox& box) {
        seen = Look(box);
        shot = screens::Save(box, QStringLiteral("question-close-images"));
        return 0;
    });
    EXPECT_TRUE(platform::AskQuestion(QStringLiteral("确认关闭影像资料?")));
    EXPECT_EQ(seen.text, QStringLiteral("确认关闭影像资料?"));
    EXPECT_EQ(seen.defaultButton, QStringLiteral("确定"));
    EXPECT_TRUE(seen.buttons.contains(QStringLiteral("确定")) && seen.buttons.contains(QStringLiteral("取消")));
    ASSERT_FALSE(shot.isNull());
    // The question and both buttons leave ink: the CJK glyphs were found and drawn.
    EXPECT_GT(screens::InkPixels(shot), 200);

    platform::SetAlertResponder([](QMessageBox&) { return 1; });
    EXPECT_FALSE(platform::AskQuestion(QStringLiteral("确认注销？")));
    // Closed without a choice: not a yes either.
    platform::SetAlertResponder([](QMessageBox&) { return -1; });
    EXPECT_FALSE(platform::AskQuestion(QStringLiteral("系统将退出，是否继续？")));
}

TEST_F(AlertsTest, MessageAndErrorHaveOneButton)
{
    std::vector<Seen> seen;
    platform::SetAlertResponder([&](QMessageBox& box) {
        seen.push_back(Look(box));
        screens::Save(box, seen.size() == 1 ? QStringLiteral("alert-message") : QStringLiteral("alert-error"));
        return 0;
    });
    platform::ShowMessage(QStringLiteral("正在开发中..."));
    platform::ShowError(QStringLiteral("下载失败"));
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[0].buttons, QStringList{QStringLiteral("确定")});
    EXPECT_EQ(seen[1].buttons, QStringList{QStringLiteral("确定")});
    EXPECT_EQ(seen[1].icon, QMessageBox::Critical);
    EXPECT_EQ(seen[1].text, QStringLiteral("下载失败"));
}

TEST_F(AlertsTest, SheetReturnsAtOnceAndCompletesWithTheChoice)
{
    QWidget window;
    window.resize(400, 300);
    window.show();
    platform::SetAlertResponder([&window](QMessageBox& box) {
        EXPECT_EQ(box.windowModality(), Qt::WindowModal);
        EXPECT_EQ(box.parentWidget(), &window);
        screens::Save(box, QStringLiteral("sheet-logout"));
        return 1;
    });
    int answer = -5;
    platform::ShowSheet(&window, QStringLiteral("确认注销？"), {QStringLiteral("确定"), QStringLiteral("取消")},
                        [&](int choice) { answer = choice; });
    EXPECT_EQ(answer, -5); // not yet: the sheet does not block
    for (int i = 0; i < 50 && answer == -5; ++i)
        QApplication::processEvents(QEventLoop::AllEvents, 10);
    EXPECT_EQ(answer, 1);
}

TEST_F(AlertsTest, ModalRunsEndWithTheirCode)
{
    QWidget window;
    QTimer::singleShot(0, [] { platform::StopModal(platform::kModalResponseContinue); });
    EXPECT_EQ(platform::RunModal(&window), -1002);

    // Nested: the inner run ends first, with its own code.
    QWidget outer, inner;
    int innerCode = 0;
    QTimer::singleShot(0, [&] {
        QTimer::singleShot(0, [] { platform::StopModal(platform::kModalResponseStop); });
        innerCode = platform::RunModal(&inner);
        platform::StopModal(platform::kModalResponseContinue);
    });
    EXPECT_EQ(platform::RunModal(&outer), -1002);
    EXPECT_EQ(innerCode, -1000);

    // A window that goes away ends its run instead of leaving it hanging.
    auto* doomed = new QWidget;
    QTimer::singleShot(0, [doomed] { delete doomed; });
    EXPECT_EQ(platform::RunModal(doomed), platform::kModalResponseAbort);

    platform::StopModal(7); // no run: nothing happens
}

} // namespace
