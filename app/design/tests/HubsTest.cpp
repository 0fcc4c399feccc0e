// SPDX-License-Identifier: GPL-3.0-or-later
// The draw state and the two view hubs: weak receiver lists, broadcasts in order with
// one redraw each, jaw modes, scheme bindings per view and the tool-bar states.
#include "app/design/RVDMDrawStatus.h"
#include "app/design/RVDMMouseActionManager.h"
#include "app/design/RVDMOprationManager.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::vector<std::string> g_log;

struct Receiver : RV3DOprationDelegate {
    explicit Receiver(std::string name) : name(std::move(name)) {}
    void toolBarShowFDI(RVDMToolBarState*, bool on) override { g_log.push_back(name + " fdi " + (on ? "1" : "0")); }
    void toolBarShowMoveData(RVDMToolBarState*, bool) override { g_log.push_back(name + " movedata"); }
    void subToolBarShowGum(RVDMSubToolBarState*, bool on) override { g_log.push_back(name + " gum " + (on ? "1" : "0")); }
    void subToolBarShowFront(RVDMSubToolBarState*, bool on) override { g_log.push_back(name + " front"); }
    void toolBarShowAtt(RVDMToolBarState*, bool on) override { g_log.push_back(name + " att " + (on ? "1" : "0")); }
    void switchStep(int step, QvScheme*, QvView*) override { g_log.push_back(name + " step " + std::to_string(step)); }
    std::string name;
};

// Answers nothing: every message passes it by.
struct Silent : RV3DOprationDelegate {};

struct Drawer : RVDMDrawDelegate {
    int currentStep() override { return 7; }
    void displayModel() override { g_log.push_back("redraw"); }
    QvAuxRender* auxRender() override { return reinterpret_cast<QvAuxRender*>(this); }
};

struct Bar : RVDMToolBarState {
    bool isAttachmentChecked() const override { return att; }
    bool isCompareChecked() const override { return compare; }
    bool isCollisionChecked() const override { return collision; }
    bool isGapChecked() const override { return gap; }
    bool isIPRChecked() const override { return false; }
    void setCompareChecked(bool on) override { compare = on; }
    void uncheckCollisionAndGap() override { collision = gap = false; }
    bool att = true, compare = true, collision = true, gap = true;
};

struct SubBar : RVDMSubToolBarState {
    bool gumState() const override { return gum; }
    void setGumState(bool on) override { gum = on; }
    bool enableTwoCompView() const override { return two; }
    void setEnableTwoCompView(bool on) override { two = on; }
    bool gum = false, two = false;
};

struct Mouse : RVDMMouseActionDelegate {
    void digitalModelMoveTo(const QvGDIPoint& p) override { g_log.push_back("move " + std::to_string(p.x)); }
    void digitalModelScaleBy(double d) override { g_log.push_back("scale " + std::to_string(static_cast<int>(d))); }
};

class HubsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        g_log.clear();
        RVDMOprationManager::shared().ResetForTests();
        RVDMMouseActionManager::shared().ResetForTests();
        RVDMDrawStatus::shared().ResetForTests();
    }
    void TearDown() override { SetUp(); }
};

TEST_F(HubsTest, ReceiversAreWeakUniqueAndCalledInOrderWithOneRedraw)
{
    RVDMOprationManager& hub = RVDMOprationManager::shared();
    auto drawer = std::make_shared<Drawer>();
    RVDMDrawStatus::shared().delegate = drawer;
    auto a = std::make_shared<Receiver>("a");
    auto b = std::make_shared<Receiver>("b");
    auto gone = std::make_shared<Receiver>("gone");
    hub.addDelegate(a);
    hub.addDelegate(gone);
    hub.addDelegate(std::make_shared<Silent>()); // dies at once
    hub.addDelegate(b);
    hub.addDelegate(a);
    gone.reset();
    hub.toolBarShowFDI(nullptr, true);
    EXPECT_EQ(g_log, (std::vector<std::string>{"a fdi 1", "b fdi 1", "redraw"}));

    // The next registration drops the entries whose receivers went away.
    hub.addDelegate(b);
    EXPECT_EQ(hub.delegates().size(), 2u);
    hub.removeDelegate(a.get());
    g_log.clear();
    hub.switchStep(3, nullptr, nullptr);
    EXPECT_EQ(g_log, (std::vector<std::string>{"b step 3", "redraw"}));
}

TEST_F(HubsTest, MoveDataAndRotateMenuDoNotRedraw)
{
    RVDMOprationManager& hub = RVDMOprationManager::shared();
    auto drawer = std::make_shared<Drawer>();
    RVDMDrawStatus::shared().delegate = drawer;
    auto a = std::make_shared<Receiver>("a");
    hub.addDelegate(a);
    hub.toolBarShowMoveData(nullptr, true);
    hub.openRotateView();
    EXPECT_EQ(g_log, (std::vector<std::string>{"a movedata"}));
    // With no receivers a broadcast still redraws.
    hub.removeDelegate(a.get());
    g_log.clear();
    hub.subToolBarShowRoot(nullptr, true);
    EXPECT_EQ(g_log, (std::vector<std::string>{"redraw"}));
}

TEST_F(HubsTest, ToolBarStatesComeFromTheRegisteredBars)
{
    RVDMOprationManager& hub = RVDMOprationManager::shared();
    auto a = std::make_shared<Receiver>("a");
    hub.addDelegate(a);
    // No bars: everything reads off; the broadcasts still go out.
    EXPECT_FALSE(hub.showAttachment());
    EXPECT_FALSE(hub.showCompare());
    EXPECT_FALSE(hub.showGum());
    hub.setEnableTwoCompView(true);
    EXPECT_FALSE(hub.enableTwoCompView()) << "the bar's flag, not the stored one";
    hub.updateAttachment();
    hub.resetGumStatus();
    hub.resetCollisionAndGapStatus();
    EXPECT_EQ(g_log, (std::vector<std::string>{"a att 0"}));

    auto bar = std::make_shared<Bar>();
    auto sub = std::make_shared<SubBar>();
    hub.setToolBar(bar);
    hub.setSubToolBar(sub);
    g_log.clear();
    EXPECT_TRUE(hub.showAttachment());
    EXPECT_TRUE(hub.showCompare());
    hub.updateAttachment();
    hub.showGum(true);
    EXPECT_TRUE(sub->gum);
    hub.showFront();
    EXPECT_EQ(g_log, (std::vector<std::string>{"a att 1", "a gum 1", "a front"}));
    sub->gum = false;
    hub.resetGumStatus();
    EXPECT_TRUE(hub.showGum());
    hub.resetCollisionAndGapStatus();
    EXPECT_FALSE(bar->collision || bar->gap);
    hub.setEnableTwoCompView(true);
    EXPECT_TRUE(hub.enableTwoCompView());
    bar.reset();
    EXPECT_FALSE(hub.showAttachment()) << "a bar that went away reads off";
}

TEST_F(HubsTest, JawModesAndSchemeBindings)
{
    RVDMDrawStatus& status = RVDMDrawStatus::shared();
    const struct {
        unsigned mode;
        bool upper, lower;
    } rows[] = {{0, false, false}, {1, true, false}, {2, false, true}, {3, true, false}, {4, false, true}};
    for (const auto& row : rows) {
        status.drawJawType = row.mode;
        EXPECT_EQ(status.isHideUpperJaw(), row.upper) << row.mode;
        EXPECT_EQ(status.isHideLowerJaw(), row.lower) << row.mode;
    }
    status.resetJawType();
    EXPECT_EQ(status.drawJawType, 0u);

    auto* s1 = reinterpret_cast<QvScheme*>(0x1000);
    auto* s3 = reinterpret_cast<QvScheme*>(0x3000);
    EXPECT_EQ(status.schemeWithViewId(0), nullptr);
    status.setScheme(s3, 3);
    status.setScheme(s1, 1);
    EXPECT_EQ(status.schemeWithViewId(3), s3);
    EXPECT_EQ(status.schemeWithViewId(0), s1) << "unbound: the smallest bound id";
    EXPECT_EQ(status.schemeWithViewId(9), s1);
    status.setScheme(nullptr, 1);
    EXPECT_EQ(status.schemeWithViewId(0), s3);
    status.clearScheme();
    EXPECT_EQ(status.schemeWithViewId(3), nullptr);

    // Without a draw delegate.
    EXPECT_EQ(status.currentStep(), 0);
    EXPECT_EQ(status.auxRender(), nullptr);
    status.display();
    EXPECT_TRUE(g_log.empty());
    auto drawer = std::make_shared<Drawer>();
    status.delegate = drawer;
    EXPECT_EQ(status.currentStep(), 7);
    EXPECT_NE(status.auxRender(), nullptr);
}

TEST_F(HubsTest, MouseHubForwardsWithoutRedrawing)
{
    auto drawer = std::make_shared<Drawer>();
    RVDMDrawStatus::shared().delegate = drawer;
    auto mouse = std::make_shared<Mouse>();
    RVDMMouseActionManager::addDelegate(mouse);
    RVDMMouseActionManager::addDelegate(mouse);
    RVDMMouseActionManager::digitalModelMoveTo(QvGDIPoint(12, 5));
    RVDMMouseActionManager::digitalModelRotateTo(QvGDIPoint(1, 1)); // not answered
    RVDMMouseActionManager::digitalModelScaleBy(-3.0);
    EXPECT_EQ(g_log, (std::vector<std::string>{"move 12", "scale -3"}));
}

} // namespace
