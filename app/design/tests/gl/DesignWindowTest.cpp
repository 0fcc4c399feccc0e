// SPDX-License-Identifier: GPL-3.0-or-later
// The whole design window on the demo case in a real GL context: the 3-D view in its
// box beside the side-pane column, the bars above and below, one view and two.
#include "app/design/RVDMOprationManager.h"
#include "app/design/RVDMDrawStatus.h"
#include "app/design/RVDMMouseActionManager.h"
#include "app/design/RVDesignViewController.h"
#include "app/design/tests/DesignTestSupport.h"
#include "app/design/tests/FakeBars.h"
#include "core/render/QvViewManager.h"
#include "testing/QtScreens.h"

#include <QApplication>
#include <QWindow>

#include <gtest/gtest.h>

using namespace designtest;

namespace {

class DesignWindowGL : public ::testing::Test {
protected:
    void SetUp() override
    {
        RVModelManager::shared().ResetForTests();
        RegisterFakeBars();
        RegisterRecordingPanes();
        controller = std::make_unique<RVDesignViewController>();
        controller->initialize();
        controller->view()->resize(1600, 1000);
        controller->view()->show();
        ASSERT_TRUE(WaitFor(
            [&] { return controller->view()->windowHandle() && controller->view()->windowHandle()->isExposed(); },
            5000));
    }
    void TearDown() override
    {
        controller.reset();
        UnregisterRecordingPanes();
        UnregisterFakeBars();
        RVDMOprationManager::shared().ResetForTests();
        RVDMMouseActionManager::shared().ResetForTests();
        RVDMDrawStatus::shared().ResetForTests();
        RVModelManager::shared().ResetForTests();
    }
    void Open(const std::shared_ptr<RVCaseInfo>& info)
    {
        controller->setCaseInfo(info);
        ASSERT_TRUE(WaitFor([&] { return !controller->loadingView(); }, 60000));
        qtwait::Settle(300); // let the view draw
    }
    // Pixels of the 3-D view's box that are not the background around its corner.
    int ToothInk(const QImage& shot, QRect box)
    {
        return screens::InkPixels(shot, box.adjusted(box.width() / 4, box.height() / 4, -box.width() / 4,
                                                     -box.height() / 4));
    }
    std::unique_ptr<RVDesignViewController> controller;
};

TEST_F(DesignWindowGL, DemoCaseAtStepZeroThenInTwoViewsThenReopened)
{
    Open(Case(kRVModelStepAnimation, 7004, "demo.OS"));
    const QImage one = screens::Save(*controller->view(), QStringLiteral("design-window-demo"));
    ASSERT_FALSE(one.isNull());
    EXPECT_EQ(controller->layout().currentSpaceStyle(), 15u);
    const QRect left = controller->leftBox()->geometry().translated(0, 64);
    EXPECT_EQ(left, QRect(0, 64, 1200, 872));
    EXPECT_EQ(controller->rightContainerView()->geometry(), QRect(1200, 0, 400, 872));
    EXPECT_GT(ToothInk(one, left), 500);
    // The column is white under its icon strip.
    EXPECT_EQ(one.pixel(1400, 64 + 600), qRgb(250, 250, 250)) << "the selected pane fills the box";

    RVDMOprationManager::shared().subToolBarShowMultiView(nullptr, true);
    qtwait::Settle(300);
    EXPECT_EQ(QvViewManager::Instance()->GetViewCount(), 2u);
    const QImage two = screens::Save(*controller->view(), QStringLiteral("design-window-two-views"));
    const QRect leftHalf(0, 64, 600, 872), rightHalf(600, 64, 600, 872);
    EXPECT_GT(ToothInk(two, leftHalf), 200);
    EXPECT_GT(ToothInk(two, rightHalf), 200);
    RVDMOprationManager::shared().subToolBarShowMultiView(nullptr, false);

    // The last step with the compare ghosts of the start (the recording step bar does
    // not move the views, so the step is switched here as the real bar would).
    RVDMOprationManager::shared().switchStep(kDemoSteps - 1, nullptr, nullptr);
    RVDMOprationManager::shared().toolBarShowCompare(nullptr, true);
    qtwait::Settle(300);
    EXPECT_EQ(controller->heldRenderView()->currentStep(), kDemoSteps - 1);
    const QImage ghosts = screens::Save(*controller->view(), QStringLiteral("design-window-last-step-compare"));
    EXPECT_GT(ToothInk(ghosts, left), 500);
    RVDMOprationManager::shared().toolBarShowCompare(nullptr, false);

    // The same case again: the view is rebuilt and shows the teeth.
    Open(Case(kRVModelStepAnimation, 7004, "demo.OS"));
    const QImage again = screens::Save(*controller->view(), QStringLiteral("design-window-reopened"));
    EXPECT_GT(ToothInk(again, left), 500);
}

TEST_F(DesignWindowGL, FullScreenPaneAndFoldedColumn)
{
    Open(Case(kRVModelStepAnimation, 7004, "demo.OS"));
    controller->paneDidSelect(7);
    controller->OnBnClickedFullScreen();
    qtwait::Settle(200);
    EXPECT_EQ(controller->rightContainerView()->geometry(), QRect(0, 0, 1600, 872));
    EXPECT_TRUE(controller->leftBox()->isHidden());
    screens::Save(*controller->view(), QStringLiteral("design-window-full-screen-pane"));
    controller->OnBnClickedFullScreen();
    controller->OnBnClickedShowSplite();
    qtwait::Settle(200);
    EXPECT_EQ(controller->leftBox()->geometry().width(), 1600);
    const QImage folded = screens::Save(*controller->view(), QStringLiteral("design-window-folded"));
    EXPECT_GT(ToothInk(folded, QRect(0, 64, 1600, 872)), 500);
}

} // namespace
