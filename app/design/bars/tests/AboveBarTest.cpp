// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/design/bars/RivelaAbovePane.h"

#include "BarsTestSupport.h"
#include "app/platform/Alerts.h"
#include "app/service/RVCaseManager.h"
#include "app/shell/widgets/NSButtonEx.h"
#include "testing/QtScreens.h"
#include "testing/QtWait.h"

#include <QLayout>
#include <QMessageBox>

#include <deque>
#include <functional>

namespace {

using Box = RivelaAboveModel::Box;

// The model with a scripted asker, a queue the test drains by hand and a counted
// split handler.
class AboveModelTest : public barstest::BarsTest {
protected:
    void SetUp() override
    {
        BarsTest::SetUp();
        model = std::make_shared<RivelaAboveModel>();
        model->ask = [this](const QString& question) {
            questions.append(question);
            return answer;
        };
        model->post = [this](std::function<void()> work) { queued.push_back(std::move(work)); };
        model->updateSplitViewHandler = [this] { ++splits; };
        model->exportScheme = [this] { ++exports; };
    }
    void drain()
    {
        while (!queued.empty()) {
            auto work = std::move(queued.front());
            queued.pop_front();
            work();
        }
    }

    std::shared_ptr<RivelaAboveModel> model;
    std::deque<std::function<void()>> queued;
    QStringList questions;
    bool answer = true;
    int splits = 0;
    int exports = 0;
};

TEST_F(AboveModelTest, TheModesExcludeEachOtherAndBracketDesignIsLeftOnlyOnConsent)
{
    const QString ask = QStringLiteral("是否关闭托槽定位！");
    const struct {
        const char* name;
        std::vector<Box> on; // checked before the click
        Box clicked;
        bool answer;
        QStringList sent;
        int questions;
        int splits;
        std::vector<Box> after; // checked once the queued work ran (IPR aside)
        bool revertQueued;
    } cases[] = {
        {"section leaves bracket design without asking", {Box::BracketDesign}, Box::Section, true,
         {"bracket 0", "section 1"}, 0, 0, {Box::Section}, false},
        {"section leaves target design", {Box::TargetDesign}, Box::Section, true, {"target 0", "section 1"}, 0, 1,
         {Box::Section}, false},
        {"distance asks; no keeps bracket design", {Box::BracketDesign}, Box::DistMeasure, false, {}, 1, 0,
         {Box::BracketDesign}, true},
        {"distance asks; yes leaves it", {Box::BracketDesign}, Box::DistMeasure, true, {"bracket 0", "dist 1"}, 1, 0,
         {Box::DistMeasure}, false},
        {"target asks; no keeps bracket design and the earlier messages",
         {Box::BracketDesign, Box::Section}, Box::TargetDesign, false, {"section 0"}, 1, 0, {Box::BracketDesign},
         true},
        {"target over section and distance", {Box::Section, Box::DistMeasure}, Box::TargetDesign, true,
         {"section 0", "dist 0", "target 1"}, 0, 1, {Box::TargetDesign}, false},
        {"bracket over target: split handler twice", {Box::TargetDesign}, Box::BracketDesign, true,
         {"target 0", "bracket 1"}, 0, 2, {Box::BracketDesign}, false},
        {"bracket off, no: stays on, nothing sent", {Box::BracketDesign}, Box::BracketDesign, false, {}, 1, 1,
         {Box::BracketDesign}, true},
        {"bracket off, yes", {Box::BracketDesign}, Box::BracketDesign, true, {"bracket 0"}, 1, 1, {}, false},
        {"target off", {Box::TargetDesign}, Box::TargetDesign, true, {"target 0"}, 0, 1, {}, false},
        {"independent box", {Box::Section}, Box::Gap, true, {"gap 1"}, 0, 0, {Box::Section, Box::Gap}, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        model->reset();
        for (Box b : c.on)
            model->setChecked(b, true);
        hub->log.clear();
        questions.clear();
        splits = 0;
        answer = c.answer;
        model->press(c.clicked);
        EXPECT_EQ(hub->log, c.sent);
        EXPECT_EQ(questions, QStringList(c.questions, ask));
        EXPECT_EQ(splits, c.splits);
        EXPECT_EQ(queued.size(), c.revertQueued ? 1u : 0u);
        // Until the queue runs the clicked box keeps the state its press gave it.
        if (c.revertQueued)
            EXPECT_EQ(model->isChecked(c.clicked), c.clicked != Box::BracketDesign);
        drain();
        std::vector<Box> checked;
        for (int i = 0; i < RivelaAboveModel::kBoxCount; ++i)
            if (Box(i) != Box::IPR && model->isChecked(Box(i)))
                checked.push_back(Box(i));
        EXPECT_EQ(checked, c.after);
        EXPECT_EQ(hub->log, c.sent) << "the revert broadcasts nothing";
    }
}

TEST_F(AboveModelTest, StateSetFromOutsideOrByTheHostNeverBroadcasts)
{
    EXPECT_TRUE(model->isChecked(Box::IPR));
    model->setChecked(Box::Collision, true);
    model->setChecked(Box::Gap, true);
    model->setChecked(Box::MoveData, true);
    RVDMOprationManager::shared().setToolBar(model);
    RVDMOprationManager::shared().resetCollisionAndGapStatus();
    EXPECT_FALSE(model->isCollisionChecked());
    EXPECT_FALSE(model->isGapChecked());
    model->setChecked(Box::Grid, true);
    model->setChecked(Box::IPR, false);
    model->reset();
    EXPECT_TRUE(model->isChecked(Box::IPR));
    EXPECT_FALSE(model->isChecked(Box::Grid));
    EXPECT_TRUE(model->isChecked(Box::MoveData)) << "reset keeps the movement table";
    EXPECT_TRUE(hub->log.isEmpty());
}

TEST_F(AboveModelTest, ModelKindDecidesAttachmentsAndBracketDesign)
{
    for (bool bracketCase : {true, false}) {
        model->setAttachBtnEnable(!bracketCase, bracketCase);
        EXPECT_EQ(model->isEnabled(Box::Att), !bracketCase);
        EXPECT_EQ(model->isChecked(Box::Att), !bracketCase);
        EXPECT_EQ(model->isEnabled(Box::BracketDesign), bracketCase);
        hub->log.clear();
        model->press(Box::BracketDesign);
        EXPECT_EQ(hub->log, bracketCase ? QStringList{"bracket 1"} : QStringList{});
        model->reset();
    }
}

TEST_F(AboveModelTest, TheExportBoxActsAsAPushButton)
{
    model->press(Box::SaveScheme);
    EXPECT_EQ(exports, 1);
    EXPECT_TRUE(model->isChecked(Box::SaveScheme));
    drain();
    EXPECT_FALSE(model->isChecked(Box::SaveScheme));
    EXPECT_TRUE(hub->log.isEmpty());
}

TEST_F(AboveModelTest, SchemeTitleByTheCurrentCasesSchemeType)
{
    auto info = std::make_shared<RVCaseInfo>();
    info->schemeName = QStringLiteral("方案2");
    info->caseNo = QStringLiteral("C77");
    RVCaseManager::shared().setCaseInfo(info);
    const std::pair<const char*, const char*> cases[] = {
        {"5", "分步动画"}, {"3", "方案2"}, {"", "数字模型"}, {"9", ""}, {"6", "托槽定位"}, {"1", "方案2"}};
    for (const auto& [type, title] : cases) {
        info->schemeType = QString::fromUtf8(type);
        EXPECT_EQ(RivelaAboveModel::GetSchemeTitle(), QString::fromUtf8(title)) << type;
    }
    EXPECT_EQ(RivelaAboveModel::GetCaseNo(), QStringLiteral("C77"));
    RVCaseManager::shared().clear();
}

class AbovePaneTest : public barstest::BarsTest {
protected:
    void TearDown() override
    {
        platform::SetAlertResponder({});
        BarsTest::TearDown();
    }
};

TEST_F(AbovePaneTest, ANewBarShowsIPROnlyAndTheSplitButton)
{
    RivelaAbovePane bar;
    bar.showMenuBar();
    bar.resize(1200, 80);
    bar.show();
    EXPECT_EQ(RVDMOprationManager::shared().toolBar(), bar.model());
    EXPECT_TRUE(bar.showIPRBtn->isChecked());
    for (NSCheckBoxEx* box : {bar.showFDIBtn, bar.showSectionBtn, bar.bracketDesignBtn, bar.saveSchemeBtn})
        EXPECT_FALSE(box->isChecked());
    EXPECT_FALSE(bar.menuRightBtn->isHidden());
    EXPECT_TRUE(bar.menuLeftBtn->isHidden());
    EXPECT_EQ(bar.menuRightBtn->geometry(), QRect(1200 - 10 - 32, 24, 32, 32));
    EXPECT_EQ(bar.menuLeftBtn->geometry(), QRect(1200 - 10 - 32 - 10 - 32, 24, 32, 32));
    EXPECT_EQ(bar.showFDIBtn->size(), QSize(64, 64));
    EXPECT_EQ(bar.cephalometryBtn, nullptr);

    // Fourteen controls, 3 apart, centred.
    const int row = 14 * 64 + 13 * 3;
    EXPECT_EQ(bar.stackView->size(), QSize(row, 64));
    EXPECT_NEAR(bar.stackView->geometry().center().x(), 600, 1);
    EXPECT_EQ(bar.stackView->y(), 8);
    const QImage shot = screens::Save(bar, QStringLiteral("bars-design-tool-bar"));
    EXPECT_GT(screens::InkPixels(shot), 2000);

    // The approval step hides target design and the row closes up.
    const int bracketX = bar.bracketDesignBtn->x() - bar.showFDIBtn->x();
    bar.setIsApproveSchemeStep(true);
    bar.layout()->activate();
    bar.stackView->layout()->activate();
    EXPECT_TRUE(bar.targetDesignBtn->isHidden());
    EXPECT_EQ(bar.bracketDesignBtn->x() - bar.showFDIBtn->x(), bracketX - 67);
    bar.setIsApproveSchemeStep(false);
    bar.layout()->activate();
    bar.stackView->layout()->activate();
    EXPECT_EQ(bar.bracketDesignBtn->x() - bar.showFDIBtn->x(), bracketX);
}

TEST_F(AbovePaneTest, ADeclinedClickIsTakenBackAfterTheBoxFinishedItsPress)
{
    RivelaAbovePane bar;
    bar.resize(1200, 80);
    bar.show();
    bar.setAttachBtnEnable(false, true);
    EXPECT_FALSE(bar.showAttBtn->isEnable());
    QStringList asked;
    platform::SetAlertResponder([&](QMessageBox& box) {
        asked.append(box.text());
        return 1; // "取消"
    });
    barstest::Press(*bar.bracketDesignBtn, QPointF(30, 30));
    EXPECT_EQ(hub->log, QStringList{"bracket 1"});
    barstest::Press(*bar.distMeasureBtn, QPointF(30, 30));
    EXPECT_TRUE(bar.distMeasureBtn->isChecked()) << "until the queued revert";
    qtwait::Settle(50);
    EXPECT_FALSE(bar.distMeasureBtn->isChecked());
    EXPECT_EQ(bar.distMeasureBtn->shownFrame(), 1);
    EXPECT_TRUE(bar.bracketDesignBtn->isChecked());
    EXPECT_EQ(asked, QStringList{"是否关闭托槽定位！"});
    EXPECT_EQ(hub->log, QStringList{"bracket 1"});

    // A disabled box ignores its click.
    barstest::Press(*bar.showAttBtn, QPointF(30, 30));
    EXPECT_FALSE(bar.showAttBtn->isChecked());
    EXPECT_EQ(hub->log.size(), 1);
}

} // namespace
