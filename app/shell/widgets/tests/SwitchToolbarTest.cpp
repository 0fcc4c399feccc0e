// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/shell/widgets/QvToolbarView.h"
#include "app/shell/widgets/RVSwitchView.h"
#include "app/shell/widgets/tests/WidgetFixtures.h"

namespace {

const QColor kNormal(115, 115, 115), kSelected(68, 68, 68);

struct Recorder : RVSwitchViewDelegate {
    std::vector<int> indices;
    std::vector<QColor> leftAtCall;
    void view(RVSwitchView* view, qint32 index) override
    {
        indices.push_back(index);
        leftAtCall.push_back(RVSwitchView::colourOf(view->leftBtn()));
        view->changeToSelectedStatus(index == 0); // overridden by the click's own colours
    }
};

TEST(RVSwitchView, ClicksReportThenRecolour)
{
    RVSwitchView view;
    view.resize(200, 30);
    view.setLeftTitle("初始", "目标");
    view.show();
    EXPECT_EQ(view.leftBtn()->geometry(), QRect(2, 2, 99, 26));  // x 2 to 101
    EXPECT_EQ(view.rightBtn()->geometry(), QRect(99, 2, 99, 26)); // x 99 to 198
    EXPECT_EQ(RVSwitchView::colourOf(view.leftBtn()), kNormal);
    EXPECT_EQ(RVSwitchView::colourOf(view.rightBtn()), kSelected);

    Recorder recorder;
    view.setDelegate(&recorder);
    view.leftBtn()->click();
    EXPECT_EQ(recorder.indices, std::vector<int>{0});
    EXPECT_EQ(recorder.leftAtCall.back(), kNormal); // told before recolouring
    EXPECT_EQ(RVSwitchView::colourOf(view.leftBtn()), kSelected);
    EXPECT_EQ(RVSwitchView::colourOf(view.rightBtn()), kNormal);
    view.leftBtn()->click(); // the marked side is reported again
    EXPECT_EQ(recorder.indices, (std::vector<int>{0, 0}));
    view.recover();
    EXPECT_EQ(RVSwitchView::colourOf(view.rightBtn()), kSelected);

    view.changeToSelectedStatus(false);
    EXPECT_EQ(RVSwitchView::colourOf(view.leftBtn()), kSelected);
    EXPECT_EQ(recorder.indices.size(), 2u); // not told
    const QColor blue(30, 90, 200);
    view.setSelectedColor(blue);
    EXPECT_EQ(RVSwitchView::colourOf(view.leftBtn()), kSelected); // shown at the next recolouring
    view.rightBtn()->click();
    EXPECT_EQ(recorder.indices.back(), 1);
    EXPECT_EQ(RVSwitchView::colourOf(view.rightBtn()), blue);

    view.setDelegate(nullptr);
    view.leftBtn()->click();
    EXPECT_EQ(RVSwitchView::colourOf(view.leftBtn()), blue);
}

TEST(QvToolbarView, SquareButtonsCentredWithTheMarginAdded)
{
    QvToolbarView bar;
    bar.resize(300, 38);
    QList<QImage> images;
    for (int i = 0; i < 3; ++i)
        images.append(fixtures::Strip(120, 30, i).copy(30, 0, 30, 30));
    bar.configureImages(images);
    ASSERT_EQ(bar.buttonArray().size(), 3);
    const int xs[] = {109, 139, 169};
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(bar.buttonArray()[i]->geometry(), QRect(xs[i], 4, 30, 30)) << i;

    bar.buttonArray()[2]->click(); // no block: ignored
    std::vector<qsizetype> clicked;
    bar.setBlock([&](qsizetype index) { clicked.push_back(index); });
    bar.buttonArray()[2]->click();
    bar.buttonArray()[0]->click();
    EXPECT_EQ(clicked, (std::vector<qsizetype>{2, 0}));

    // A second call adds on top; indices continue. An empty list adds nothing.
    bar.configureImages(images.mid(0, 1));
    ASSERT_EQ(bar.buttonArray().size(), 4);
    EXPECT_EQ(bar.buttonArray()[3]->geometry(), QRect(139, 4, 30, 30));
    bar.buttonArray()[3]->click();
    EXPECT_EQ(clicked.back(), 3);
    bar.configureImages({});
    EXPECT_EQ(bar.buttonArray().size(), 4);
}

} // namespace
