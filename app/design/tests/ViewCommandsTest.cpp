// SPDX-License-Identifier: GPL-3.0-or-later
// What the 3-D view does for the tool bars' messages, the revision notifications and
// its rotate-mode menu, with a recording window around it (no GL context needed).
#include "app/design/RVDMOprationManager.h"
#include "app/design/RVDMViewHandle.h"
#include "app/design/RivelaView.h"
#include "app/design/RVDMLayout.h"
#include "app/design/tests/DesignTestSupport.h"
#include "app/design/tests/FakeBars.h"
#include "app/platform/NotificationHub.h"
#include "core/model/QvModel.h"
#include "core/scheme/QvScheme.h"
#include "core/scheme/QvSchemeMgr.h"

#include <QCoreApplication>

#include <gtest/gtest.h>

using namespace designtest;

namespace {

class Host : public RivelaViewHost {
public:
    void setActivePane(int id) override
    {
        BarLog() << QStringLiteral("active %1").arg(id);
        if (id == 4 && sectionPane)
            active = sectionPane;
        else
            active = id ? &other : nullptr;
    }
    QvPane* getActivePane() override { return active; }
    RVDesignToolBarPort* viewAbovePane() override { return &above; }
    RVStepBarPort* viewBelowPane() override { return &below; }

    QWidget window;
    FakeToolBar above;
    FakeStepBar below;
    RecordingSidePane other{6};
    QvPane* sectionPane = nullptr;
    QvPane* active = nullptr;
};

class ViewCommandsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        RVModelManager::shared().ResetForTests();
        RegisterFakeBars();
        BarLog().clear();
        host.above.setParent(&host.window);
        host.above.setGeometry(0, 0, 1600, 64);
        view = new RivelaView(&host.window);
        view->setGeometry(0, 64, 1200, 800);
        view->setHost(&host);
        view->reloadData();
        BarLog().clear();
    }
    void TearDown() override
    {
        view->Clear();
        delete view;
        RivelaView::SetCompareViewMaker({});
        UnregisterFakeBars();
        RVDMOprationManager::shared().ResetForTests();
        RVModelManager::shared().ResetForTests();
    }
    Host host;
    RivelaView* view = nullptr;
};

TEST_F(ViewCommandsTest, PaneMessagesThroughTheHub)
{
    RVDMOprationManager& hub = RVDMOprationManager::shared();
    struct Row {
        void (RVDMOprationManager::*message)(RVDMToolBarState*, bool);
        bool on;
        QStringList log;
    };
    const Row rows[] = {
        {&RVDMOprationManager::toolBarShowDistMeasure, true, {"active 3"}},
        {&RVDMOprationManager::toolBarShowDistMeasure, false, {"active 0"}},
        {&RVDMOprationManager::toolBarShowTargetDesign, true, {"active 9", "below SetTargetStep 1"}},
        {&RVDMOprationManager::toolBarShowTargetDesign, false, {"active 6", "below SetTargetStep 0"}},
        {&RVDMOprationManager::toolBarShowBracket, true, {"sub quitTwoCompView", "active 10"}},
        {&RVDMOprationManager::toolBarShowBracket, false, {"sub quitTwoCompView", "active 6"}},
        {&RVDMOprationManager::toolBarShowMoveData, true, {}},
        // No scheme: the step bar is not moved.
        {&RVDMOprationManager::toolBarShowCompare, true, {}},
    };
    for (const Row& row : rows) {
        BarLog().clear();
        (hub.*row.message)(nullptr, row.on);
        EXPECT_EQ(BarLog(), row.log) << row.log.join('|').toStdString();
    }
}

TEST_F(ViewCommandsTest, SectionPaneEmbedsOnlyWhenTheHostMakesItActive)
{
    RVDMOprationManager::shared().toolBarShowSection(nullptr, true);
    EXPECT_EQ(view->sectionPane(), nullptr) << "the active pane is not the section pane";

    RecordingSectionPane section;
    host.sectionPane = &section;
    BarLog().clear();
    RVDMOprationManager::shared().toolBarShowSection(nullptr, true);
    EXPECT_EQ(view->sectionPane(), &section);
    EXPECT_EQ(section.parentWidget(), view);
    EXPECT_EQ(BarLog(), QStringList({"active 4", "pane4 initStateWithFrame"}));

    BarLog().clear();
    RVDMOprationManager::shared().toolBarShowSection(nullptr, false);
    EXPECT_EQ(view->sectionPane(), nullptr);
    EXPECT_EQ(section.parentWidget(), nullptr);
    EXPECT_EQ(BarLog(), QStringList({"active 0"}));
}

TEST_F(ViewCommandsTest, RotateMenuOpensUnderTheButtonAndChoosesTheMode)
{
    RVDMOprationManager::shared().openRotateView();
    SmallMenu* menu = view->menuRotate();
    ASSERT_NE(menu, nullptr);
    EXPECT_EQ(menu->parentWidget(), &host.window);
    EXPECT_EQ(menu->geometry(), QRect(520 - 10, 16 + 32, 100, 80));
    RVDMOprationManager::shared().openRotateView();
    EXPECT_EQ(view->menuRotate(), menu) << "a second press changes nothing";

    struct Row {
        const char* tooltip;
        int type;
        const char* image;
    };
    const Row rows[] = {
        {"水平旋转", 1, "水平旋转"}, {"竖直旋转", 2, "竖直旋转"}, {"自由旋转", 0, "自由旋转"}, {"别的", 0, "自由旋转"},
    };
    for (const Row& row : rows) {
        view->CreateMenuRotate();
        const IconItem chosen(QStringLiteral("x_hor"), QString::fromUtf8(row.tooltip));
        const QList<IconItem> reordered{view->arrMenuRotate()[2], view->arrMenuRotate()[0], chosen};
        view->replaceItemAtIndex(0, chosen, reordered);
        EXPECT_EQ(RVDMViewHandle::viewRotateType(), row.type) << row.tooltip;
        EXPECT_EQ(RVDMLayout::buttonImage(host.above.rotate), QString::fromUtf8(row.image));
        EXPECT_EQ(view->menuRotate(), nullptr);
        EXPECT_EQ(view->arrMenuRotate(), reordered) << "the row order survives";
    }
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

TEST_F(ViewCommandsTest, RevisionDisablesTwoViewsAndShowsTheCompareBarUntilItQuits)
{
    QPointer<QWidget> made;
    RivelaView::SetCompareViewMaker([&made] {
        made = new QWidget;
        return made.data();
    });
    platform::NotificationHub::Shared().Post(platform::notifications::kCreateNewScheme);
    EXPECT_EQ(BarLog(), QStringList({"sub setEnableTwoCompView 0"})) << "one view: nothing to quit";
    ASSERT_TRUE(made);
    EXPECT_EQ(made->parentWidget(), view);
    EXPECT_EQ(made->geometry(), view->rect());

    BarLog().clear();
    platform::NotificationHub::Shared().Post(platform::notifications::kApproveSchemeNewSchemeQuit);
    EXPECT_EQ(BarLog(), QStringList({"sub setEnableTwoCompView 1"}));
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_FALSE(made);

    // Clear re-enables the button too, and stops listening.
    platform::NotificationHub::Shared().Post(platform::notifications::kCreateNewScheme);
    BarLog().clear();
    view->Clear();
    EXPECT_EQ(BarLog(), QStringList({"sub setEnableTwoCompView 1"}));
    BarLog().clear();
    platform::NotificationHub::Shared().Post(platform::notifications::kCreateNewScheme);
    EXPECT_TRUE(BarLog().isEmpty());
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

TEST_F(ViewCommandsTest, CompareJumpsTheStepBarAndStepCountsReachIt)
{
    const auto info = Case(kRVModelStepAnimation, 7004, "demo.OS");
    ASSERT_EQ(OpenOnWorker(info->openURL, nullptr, info), 0u);
    view->reloadData();
    QvScheme* scheme = QvGetSchemeMgr(*view->getModel())->GetCurScheme();
    ASSERT_NE(scheme, nullptr);
    ASSERT_GT(scheme->GetStepCount(), 1);
    BarLog().clear();
    RVDMOprationManager::shared().toolBarShowCompare(nullptr, true);
    RVDMOprationManager::shared().toolBarShowCompare(nullptr, false);
    EXPECT_EQ(BarLog(), QStringList({QStringLiteral("below didSelectStep %1 1").arg(scheme->GetStepCount() - 1),
                                     "below didSelectStep 0 1"}));

    BarLog().clear();
    view->GetTreatStep();
    RivelaView::TreatSteps steps;
    ASSERT_TRUE(view->GetTreatStep(steps));
    EXPECT_EQ(BarLog(), QStringList({QStringLiteral("below up %1").arg(steps.up),
                                     QStringLiteral("below down %1").arg(steps.down),
                                     QStringLiteral("below upExceed %1").arg(steps.upExceed),
                                     QStringLiteral("below downExceed %1").arg(steps.downExceed)}));
    EXPECT_EQ(steps.up, kDemoSteps - 1);
    view->Clear();
}

} // namespace
