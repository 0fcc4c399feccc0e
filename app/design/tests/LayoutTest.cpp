// SPDX-License-Identifier: GPL-3.0-or-later
// The design window's arrangement without a window: spaces, the column's place, the
// fold and full-screen buttons.
#include "app/design/RVDMLayout.h"
#include "app/design/tests/FakeBars.h"

#include <gtest/gtest.h>

namespace {

using designtest::BarLog;
using designtest::FakeToolBar;

class Host : public RVDMLayoutHost {
public:
    RVDesignToolBarPort* layoutToolBar() override { return &bar; }
    int layoutActivePaneId() override { return activeId; }
    double layoutRootWidth() override { return rootWidth; }
    void layoutSetRenderSplit(bool split) override { renderSplit = split; }
    void layoutUpdatePaneFullScreen(bool full) override { BarLog() << QStringLiteral("UpdateSize %1").arg(full); }
    void layoutChanged() override { ++changes; }

    FakeToolBar bar;
    int activeId = 0;
    double rootWidth = 1600;
    int renderSplit = -1;
    int changes = 0;
};

class LayoutTest : public ::testing::Test {
protected:
    void SetUp() override { BarLog().clear(); }
    QString RightImage() { return RVDMLayout::buttonImage(host.bar.right); }
    QString LeftImage() { return RVDMLayout::buttonImage(host.bar.left); }
    Host host;
    RVDMLayout layout{host};
};

TEST_F(LayoutTest, SpaceBitsSetShowHideAndTest)
{
    struct Row {
        std::uint64_t start;
        char op;
        std::uint64_t arg;
        std::uint64_t expected;
    };
    const Row rows[] = {
        {15, 'h', 13, 2}, {15, 'h', 2, 13}, {2, 'h', 13, 2}, {0, 'h', 15, 0}, {1, 's', 0, 1},
        {11, 's', 4, 15},  {15, 's', 0, 15}, {7, 'S', 7, 7},  {15, 'S', 0, 0}, {13, 'h', 16, 13},
    };
    for (const Row& row : rows) {
        layout.resetState(row.start, true, false);
        const int before = host.changes;
        if (row.op == 'h')
            layout.hideSpace(row.arg);
        else if (row.op == 's')
            layout.showSpace(row.arg);
        else
            layout.setSpace(row.arg);
        EXPECT_EQ(layout.currentSpaceStyle(), row.expected) << row.start << row.op << row.arg;
        // Even a change to the same value lays the window out again.
        EXPECT_EQ(host.changes, before + 1);
    }
    layout.resetState(2, true, false);
    EXPECT_FALSE(layout.isExist(6));
    EXPECT_TRUE(layout.isExist(0));
    layout.resetState(4, true, false);
    EXPECT_FALSE(layout.isExist(6));
    layout.resetState(6, true, false);
    EXPECT_TRUE(layout.isExist(6));
}

TEST_F(LayoutTest, ColumnIsFourHundredAtTheRightFoldedOutsideOrTheWholeWidth)
{
    const QSize root(1600, 1000);
    layout.setSpace(15);
    RVDMLayoutGeometry g = layout.geometry(root);
    EXPECT_EQ(g.top, QRect(0, 0, 1600, 64));
    EXPECT_EQ(g.centre, QRect(0, 64, 1600, 872));
    EXPECT_EQ(g.bottom, QRect(0, 936, 1600, 64));
    EXPECT_EQ(g.right, QRect(1200, 0, 400, 872));
    EXPECT_EQ(g.left, QRect(0, 0, 1200, 872));
    EXPECT_EQ(g.rightTab, QRect(0, 0, 400, 90));
    EXPECT_EQ(g.rightPane, QRect(0, 90, 400, 782));
    EXPECT_TRUE(g.topShown && g.leftShown && g.rightShown && g.bottomShown);

    layout.setSpace(11); // folded in: the 3-D view takes the width, the column lies beyond it
    g = layout.geometry(root);
    EXPECT_EQ(g.right.x(), 1600);
    EXPECT_EQ(g.left.width(), 1600);
    EXPECT_FALSE(g.rightShown);

    layout.setSpace(13); // full screen: the column takes the width
    g = layout.geometry(root);
    EXPECT_EQ(g.right, QRect(0, 0, 1600, 872));
    EXPECT_FALSE(g.leftShown);
    EXPECT_EQ(g.left.x(), -1);

    // Neither side shown: both hidden, the last place kept; the stack closes up.
    layout.setSpace(1);
    g = layout.geometry(root);
    EXPECT_EQ(g.right, QRect(0, 0, 1600, 936));
    EXPECT_FALSE(g.leftShown || g.rightShown || g.bottomShown);
    EXPECT_EQ(g.centre, QRect(0, 64, 1600, 936));
}

TEST_F(LayoutTest, ButtonTableByActivePaneAndPosition)
{
    struct Row {
        int pane;
        double x;
        bool fullScreen;
        const char* rightImage;
        bool leftShown;
        bool rightShown;
    };
    // The right button starts hidden in every row, so "stays" reads as hidden.
    const Row rows[] = {
        {7, 400.0, false, "右", true, true},   {8, 400.0, true, "右", true, true},
        {8, 1600.0, true, "左", true, false},  {7, 399.5, false, "左", false, true},
        {6, 400.0, false, "右", false, true},  {0, 400.0, true, "右", false, false},
        {9, 1600.0, false, "左", false, false},
    };
    for (const Row& row : rows) {
        host.activeId = row.pane;
        layout.setFullScreen(row.fullScreen);
        host.bar.right->hide();
        host.bar.left->show();
        layout.splitViewDidPosition(row.x);
        EXPECT_EQ(RightImage(), QString::fromUtf8(row.rightImage)) << row.pane << " " << row.x;
        EXPECT_EQ(!host.bar.left->isHidden(), row.leftShown) << row.pane << " " << row.x;
        EXPECT_EQ(!host.bar.right->isHidden(), row.rightShown) << row.pane << " " << row.x;
    }
}

TEST_F(LayoutTest, FoldingInAndOut)
{
    host.activeId = 6;
    layout.setSpace(15);
    layout.OnBnClickedShowSplite();
    EXPECT_EQ(layout.currentSpaceStyle(), 11u);
    EXPECT_FALSE(layout.splitState());
    EXPECT_EQ(host.renderSplit, 0);
    // The table has the last word: position is the root width, so "左".
    EXPECT_EQ(RightImage(), QStringLiteral("左"));
    EXPECT_TRUE(host.bar.left->isHidden());

    layout.OnBnClickedShowSplite();
    EXPECT_EQ(layout.currentSpaceStyle(), 15u);
    EXPECT_TRUE(layout.splitState());
    EXPECT_EQ(host.renderSplit, 1);
    EXPECT_EQ(RightImage(), QStringLiteral("右"));
    EXPECT_FALSE(host.bar.right->isHidden());
}

TEST_F(LayoutTest, FullScreenTellsOnlyTheStepPane)
{
    for (int pane : {8, 7}) {
        BarLog().clear();
        host.activeId = pane;
        layout.setSpace(15);
        layout.OnBnClickedFullScreen();
        EXPECT_EQ(layout.currentSpaceStyle(), 13u);
        EXPECT_TRUE(layout.isFullScreen());
        EXPECT_EQ(LeftImage(), QStringLiteral("小2"));
        EXPECT_FALSE(host.bar.left->isHidden());
        EXPECT_TRUE(host.bar.right->isHidden());

        layout.OnBnClickedFullScreen();
        EXPECT_EQ(layout.currentSpaceStyle(), 15u);
        EXPECT_FALSE(layout.isFullScreen());
        EXPECT_EQ(LeftImage(), QStringLiteral("大2"));
        if (pane == 8)
            EXPECT_EQ(BarLog(), QStringList({"UpdateSize 1", "UpdateSize 0"}));
        else
            EXPECT_TRUE(BarLog().isEmpty());
    }
    // From the start state (top only) leaving "full screen" shows all but keeps the top.
    layout.setSpace(0);
    layout.OnBnClickedFullScreen();
    EXPECT_EQ(layout.currentSpaceStyle(), 14u);
}

} // namespace
