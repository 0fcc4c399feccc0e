// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/design/bars/RVDMSubToolBar.h"

#include "BarsTestSupport.h"
#include "app/shell/widgets/NSButtonEx.h"
#include "testing/QtScreens.h"

namespace {

class SubToolBarTest : public barstest::BarsTest {
protected:
    void SetUp() override
    {
        BarsTest::SetUp();
        bar = std::make_unique<RVDMSubToolBar>();
        bar->model()->viewCount = [this] { return views; };
    }
    void TearDown() override
    {
        bar.reset();
        BarsTest::TearDown();
    }
    unsigned jaw() const { return RVDMDrawStatus::shared().drawJawType; }

    std::size_t views = 1;
    std::unique_ptr<RVDMSubToolBar> bar;
};

TEST_F(SubToolBarTest, TwelveButtonsAfterAnEmptyColumnAndTheNewestBarIsTheHubs)
{
    EXPECT_EQ(bar->intrinsicContentSize(), QSize(520, 32));
    RVDMSubToolBar framed;
    framed.setGeometry(0, 0, 900, 90);
    EXPECT_EQ(framed.sizeHint(), QSize(520, 32));
    EXPECT_EQ(RVDMOprationManager::shared().subToolBar(), framed.model());

    const struct {
        NSButtonEx* button;
        const char* toolTip;
    } rows[] = {{bar->upJawBtn, "上颌"},       {bar->faceUpperJawBtn, "上颌面"}, {bar->rightSideBtn, "右侧"},
                {bar->frontSideBtn, "正面"},   {bar->backSideBtn, "舌侧"},       {bar->leftSideBtn, "左侧"},
                {bar->faceLowerJawBtn, "下颌面"}, {bar->lowerJawBtn, "下颌"},    {bar->viewGumBtn, "牙龈"},
                {bar->showRootBtn, "牙根"},    {bar->showJawBoneBtn, "颌骨"},    {bar->viewTypeBtn, "多视图"}};
    int x = 40;
    for (const auto& row : rows) {
        EXPECT_EQ(row.button->geometry(), QRect(x, 0, 40, 32)) << row.toolTip;
        EXPECT_EQ(row.button->toolTip(), QString::fromUtf8(row.toolTip));
        EXPECT_EQ(row.button->m_arrImg.size(), 4) << "strip of " << row.toolTip;
        EXPECT_FALSE(row.button->m_arrImg.value(1).isNull()) << row.toolTip;
        x += 40;
    }
}

TEST_F(SubToolBarTest, ViewButtonsWriteTheJawModeThenBroadcast)
{
    const struct {
        void (RVDMSubToolBar::*click)();
        unsigned jaw;
        const char* message;
    } cases[] = {
        {&RVDMSubToolBar::OnBnClickedUpperJaw, 1, "upper 1"},
        {&RVDMSubToolBar::OnBnClickedRight, 0, "right 1"},
        {&RVDMSubToolBar::OnBnClickedFaceUpperJaw, 3, "faceupper 1"},
        {&RVDMSubToolBar::OnBnClickedFront, 0, "front 1"},
        {&RVDMSubToolBar::OnBnClickedLowerJaw, 2, "lower 1"},
        {&RVDMSubToolBar::OnBnClickedBack, 0, "back 1"},
        {&RVDMSubToolBar::OnBnClickedFaceLowerJaw, 4, "facelower 1"},
        {&RVDMSubToolBar::OnBnClickedLeft, 0, "left 1"},
    };
    for (const auto& c : cases) {
        hub->log.clear();
        (bar.get()->*c.click)();
        EXPECT_EQ(jaw(), c.jaw) << c.message;
        EXPECT_EQ(hub->log, QStringList{QString::fromUtf8(c.message)});
    }
}

TEST_F(SubToolBarTest, TogglesSendTheirNewState)
{
    bar->OnBnClickedViewGum();
    bar->OnBnClickedViewGum();
    bar->OnBnClickedShowRoot();
    bar->OnBnClickedShowJawBone();
    EXPECT_EQ(hub->log, (QStringList{"gum 0", "gum 1", "root 1", "jawbone 1"}));
    EXPECT_TRUE(bar->showRoot());
    EXPECT_EQ(jaw(), 0u);
}

TEST_F(SubToolBarTest, TheViewTypeButtonShowsWhereItsNextClickLeads)
{
    const struct {
        bool enabled;
        std::size_t views;
        bool quit; // quitTwoCompView instead of a click
        const char* sent;
        const char* toolTip;
    } steps[] = {
        {false, 1, false, nullptr, "多视图"},   // disabled: nothing
        {false, 2, false, nullptr, "多视图"},
        {true, 1, true, nullptr, "多视图"},     // quit with one view: nothing
        {true, 1, false, "multiview 1", "单视图"},
        {true, 2, false, "multiview 0", "双视图"},
        {true, 2, true, "multiview 0", "双视图"},
    };
    for (const auto& s : steps) {
        hub->log.clear();
        RVDMDrawStatus::shared().drawJawType = 3;
        bar->setEnableTwoCompView(s.enabled);
        views = s.views;
        if (s.quit)
            bar->quitTwoCompView();
        else
            bar->OnBtnClickedViewType();
        EXPECT_EQ(hub->log, s.sent ? QStringList{QString::fromUtf8(s.sent)} : QStringList{});
        EXPECT_EQ(bar->viewTypeBtn->toolTip(), QString::fromUtf8(s.toolTip));
        // Only the quit back to one view resets the jaw mode.
        EXPECT_EQ(jaw(), s.quit && s.sent ? 0u : 3u);
    }
    EXPECT_EQ(bar->model()->viewTypeImage, QStringLiteral("multi_view"));
}

TEST_F(SubToolBarTest, AClickOnAButtonGoesThroughTheHub)
{
    bar->resize(bar->sizeHint());
    barstest::Press(*bar->viewGumBtn, QPointF(20, 16));
    EXPECT_EQ(hub->log, QStringList{"gum 0"});
    const QImage shot = screens::Save(*bar, QStringLiteral("bars-view-direction"));
    ASSERT_FALSE(shot.isNull());
    EXPECT_GT(screens::InkPixels(shot, QRect(40, 0, 480, 32)), 200);
}

} // namespace
