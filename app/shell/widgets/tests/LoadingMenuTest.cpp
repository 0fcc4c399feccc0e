// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/shell/widgets/LoadingView.h"
#include "app/shell/widgets/SmallMenu.h"
#include "app/shell/widgets/tests/WidgetFixtures.h"

#include <QElapsedTimer>

namespace {

QImage Frame(int n)
{
    QImage frame(40, 40, QImage::Format_RGB32);
    frame.fill(QColor::fromHsv((n * 60) % 360, 200, 220));
    return frame;
}

TEST(LoadingView, CyclesTheNumberedFramesUpToTheFirstGap)
{
    fixtures::ResourceFolder resources;
    for (int n = 1; n <= 5; ++n)
        resources.Write(QString("loading%1.png").arg(n), Frame(n));
    resources.Write("loading7.png", Frame(7));

    LoadingView view;
    view.resize(40, 40);
    ASSERT_EQ(view.frames().size(), 5);
    EXPECT_FALSE(view.framePaths().join(' ').contains("loading7"));
    EXPECT_TRUE(view.isLoading());
    std::vector<qsizetype> shown{view.shownFrame()}; // the first shows at once
    for (int tick = 0; tick < 6; ++tick) {
        view.OnLoadingTime();
        shown.push_back(view.shownFrame());
    }
    EXPECT_EQ(shown, (std::vector<qsizetype>{0, 1, 2, 3, 4, 0, 1}));
    EXPECT_EQ(fixtures::PixelOf(view, {20, 20}), Frame(2).pixelColor(0, 0));

    // The timer drives it by itself.
    const qsizetype before = view.shownFrame();
    QElapsedTimer clock;
    clock.start();
    while (view.shownFrame() == before && clock.elapsed() < 2000)
        QApplication::processEvents(QEventLoop::WaitForMoreEvents, 20);
    EXPECT_NE(view.shownFrame(), before);

    view.stopLoading();
    view.stopLoading();
    EXPECT_FALSE(view.isLoading());
}

TEST(LoadingView, WithoutFramesOrWithABrokenOne)
{
    fixtures::ResourceFolder resources;
    {
        LoadingView view;
        view.resize(30, 30);
        view.OnLoadingTime();
        EXPECT_EQ(view.shownFrame(), -1);
        EXPECT_TRUE(view.isLoading()); // keeps running, shows nothing
        view.grab();
    }
    resources.Write("loading1.png", Frame(1));
    resources.WriteBytes("loading2.png", "not a picture");
    LoadingView view;
    view.resize(30, 30);
    view.OnLoadingTime();
    EXPECT_EQ(view.shownFrame(), 1);
    view.grab(); // draws nothing for the broken frame
    view.OnLoadingTime();
    EXPECT_EQ(view.shownFrame(), 0);
}

struct Choices : SmallMenuDelegate {
    std::vector<std::tuple<qsizetype, QString, QStringList>> seen;
    void replaceItemAtIndex(qsizetype index, const IconItem& item, const QList<IconItem>& items) override
    {
        QStringList names;
        for (const IconItem& icon : items)
            names << icon.iconName();
        seen.emplace_back(index, item.iconName(), names);
    }
};

QStringList Names(const QList<IconItem>& icons)
{
    QStringList names;
    for (const IconItem& icon : icons)
        names << icon.iconName();
    return names;
}

TEST(SmallMenu, AClickMakesTheRowTheChoice)
{
    fixtures::ResourceFolder resources;
    for (const char* name : {"P", "Q", "R"})
        resources.Write(QString("%1.png").arg(name), fixtures::Strip(400, 40));
    SmallMenu menu;
    menu.resize(100, 80);
    menu.addMenuBarItems({{"P", "pan"}, {"Q", "quarter"}, {"R", "rotate"}});
    Choices choices;
    menu.setSmallDlegate(&choices);
    ASSERT_EQ(menu.rows().size(), 2);
    EXPECT_EQ(Names(menu.shownItems()), (QStringList{"P", "Q"}));
    EXPECT_EQ(menu.rows()[0]->geometry(), QRect(0, 0, 100, 40));
    EXPECT_EQ(menu.rows()[1]->geometry(), QRect(0, 40, 100, 40));
    EXPECT_EQ(menu.rows()[1]->toolTip(), QString("quarter"));

    SmallMenuItem* q = menu.rows()[1];
    EXPECT_EQ(q->shownFrame(), 1);
    fixtures::Enter(q);
    EXPECT_EQ(q->shownFrame(), 2);
    EXPECT_EQ(fixtures::PixelOf(*q, {50, 20}), fixtures::kFrameColours[2]);
    fixtures::Leave(q);
    EXPECT_EQ(q->shownFrame(), 1);

    fixtures::Mouse(q, QEvent::MouseButtonPress);
    ASSERT_EQ(choices.seen.size(), 1u);
    EXPECT_EQ(choices.seen[0], std::make_tuple(qsizetype(1), QString("Q"), QStringList{"P", "R", "Q"}));
    EXPECT_EQ(menu.selectedIndex(), 1);
    EXPECT_EQ(Names(menu.shownItems()), (QStringList{"P", "R"}));
    QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(menu.findChildren<SmallMenuItem*>().size(), 2); // the old rows are gone

    // Without a delegate a click only rebuilds the rows.
    menu.setSmallDlegate(nullptr);
    fixtures::Mouse(menu.rows()[0], QEvent::MouseButtonPress);
    EXPECT_EQ(Names(menu.fullList()), (QStringList{"Q", "R", "P"}));
    EXPECT_EQ(choices.seen.size(), 1u);

    struct Case {
        unsigned status;
        int frame;
    } cases[] = {{1, 1}, {4, 2}, {2, 0}, {6, 0}, {8, 3}, {9, 1}, {0, 1}};
    for (const Case& c : cases)
        EXPECT_EQ(SmallMenuItem::indexForStatus(c.status), c.frame) << c.status;

    SmallMenu single;
    single.addMenuBarItems({{"P", ""}});
    EXPECT_TRUE(single.rows().isEmpty());
    single.addMenuBarItems({});
    EXPECT_TRUE(single.rows().isEmpty());
}

} // namespace
