// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/platform/Folders.h"
#include "app/shell/widgets/RVButton.h"
#include "app/shell/widgets/RVProgressIndicator.h"
#include "app/shell/widgets/RVTableView.h"
#include "app/shell/widgets/RVToolBar.h"
#include "app/shell/widgets/XibManager.h"
#include "testing/QtScreens.h"

#include <QApplication>
#include <QEnterEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QStandardItemModel>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

class XibProbe : public QObject {
    Q_OBJECT
};
class XibProbeChild : public XibProbe {
    Q_OBJECT
};
class XibMissing : public QObject {
    Q_OBJECT
};

void SendMouse(QWidget* widget, QEvent::Type type, const QPointF& at)
{
    QMouseEvent event(type, at, widget->mapToGlobal(at), Qt::LeftButton,
                      type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(widget, &event);
}

void Enter(QWidget* widget)
{
    QEnterEvent event(QPointF(1, 1), QPointF(1, 1), widget->mapToGlobal(QPointF(1, 1)));
    QApplication::sendEvent(widget, &event);
}

void Leave(QWidget* widget)
{
    QEvent event(QEvent::Leave);
    QApplication::sendEvent(widget, &event);
}

} // namespace

TEST(XibManager, MakesEachFileOnceAndAnswersByKind)
{
    int loads = 0;
    XibManager::RegisterXib(QStringLiteral("XibProbe"), [&loads] {
        ++loads;
        return QList<QObject*>{new QObject, new XibProbeChild, new XibProbe};
    });
    int emptyLoads = 0;
    XibManager::RegisterXib(QStringLiteral("XibMissing"), [&emptyLoads] {
        ++emptyLoads;
        return QList<QObject*>{};
    });
    XibManager& xib = XibManager::shared();
    XibProbe* first = xib.objectFromClass<XibProbe>();
    ASSERT_NE(first, nullptr);
    EXPECT_TRUE(qobject_cast<XibProbeChild*>(first)) << "the first object of the kind, subclasses included";
    EXPECT_EQ(xib.objectFromClass<XibProbe>(), first);
    EXPECT_EQ(loads, 1);
    ASSERT_NE(xib.arrayWithXib(QStringLiteral("XibProbe")), nullptr);
    EXPECT_EQ(xib.arrayWithXib(QStringLiteral("XibProbe"))->size(), 3);

    // An empty file is not remembered: asked again, it is loaded again.
    EXPECT_EQ(xib.objectFromClass<XibMissing>(), nullptr);
    EXPECT_EQ(xib.objectFromClass<XibMissing>(), nullptr);
    EXPECT_EQ(emptyLoads, 2);
    EXPECT_EQ(xib.arrayWithXib(QStringLiteral("XibMissing")), nullptr);
    xib.Reset();
    EXPECT_EQ(xib.arrayWithXib(QStringLiteral("XibProbe")), nullptr);
}

TEST(RVProgressIndicator, CountsShowsCoversItsHostAndEatsClicks)
{
    QWidget host;
    host.resize(320, 200);
    auto* button = new QPushButton(QStringLiteral("确定"), &host);
    button->setGeometry(110, 80, 100, 40);
    int clicks = 0;
    QObject::connect(button, &QPushButton::clicked, [&clicks] { ++clicks; });
    host.show();

    RVProgressIndicator overlay;
    overlay.setContentView(&host);
    overlay.show();
    overlay.show();
    overlay.hide();
    EXPECT_EQ(overlay.displayCount(), 1);
    EXPECT_TRUE(overlay.isVisible());
    EXPECT_TRUE(overlay.isSpinning());
    EXPECT_EQ(overlay.geometry(), host.rect());
    host.resize(400, 260);
    EXPECT_EQ(overlay.geometry(), host.rect()) << "follows its host";

    // A click on the covered button reaches the overlay, not the button.
    QWidget* under = host.childAt(button->geometry().center());
    EXPECT_EQ(under, &overlay);
    SendMouse(under, QEvent::MouseButtonPress, QPointF(under->mapFrom(&host, button->geometry().center())));
    SendMouse(under, QEvent::MouseButtonRelease, QPointF(under->mapFrom(&host, button->geometry().center())));
    EXPECT_EQ(clicks, 0);

    const QImage shot = screens::Save(host, QStringLiteral("progress_overlay"));
    ASSERT_FALSE(shot.isNull());
    const QColor corner = shot.pixelColor(5, 5);
    EXPECT_LT(corner.red(), 200) << "the grey cover is drawn";

    overlay.hide();
    overlay.hide();
    EXPECT_EQ(overlay.displayCount(), 0);
    EXPECT_FALSE(overlay.isVisible());
    EXPECT_FALSE(overlay.isSpinning());
    EXPECT_EQ(host.childAt(button->geometry().center()), button);

    // Taken away by someone else: the count starts again.
    overlay.show();
    overlay.show();
    overlay.setParent(nullptr);
    EXPECT_EQ(overlay.displayCount(), 0);
    EXPECT_FALSE(overlay.isSpinning());
}

TEST(RVButton, StateTablesFallBackToSelectedThenNormal)
{
    const QColor normal(10, 10, 10), selected(20, 20, 20), high(30, 30, 30), disabled(40, 40, 40);
    struct Case {
        const char* name;
        bool enabled, hover, isSelected;
        bool setSelected, setHigh, setDisabled;
        QColor expected;
    };
    const Case cases[] = {
        {"normal", true, false, false, true, true, true, normal},
        {"selected", true, false, true, true, true, true, selected},
        {"hover", true, true, false, true, true, true, high},
        {"hover, no state 2, not selected", true, true, false, true, false, true, normal},
        {"hover, no state 2, selected", true, true, true, true, false, true, selected},
        {"disabled", false, false, false, true, true, true, disabled},
        {"disabled, no state 3, selected", false, true, true, true, true, false, selected},
        {"disabled, no state 3, not selected", false, false, false, true, true, false, normal},
        {"selected, only normal", true, false, true, false, false, false, normal},
    };
    for (const Case& c : cases) {
        RVButton button;
        button.setTitleColor(normal, RVButton::Normal);
        if (c.setSelected)
            button.setTitleColor(selected, RVButton::Selected);
        if (c.setHigh)
            button.setTitleColor(high, RVButton::Highlighted);
        if (c.setDisabled)
            button.setTitleColor(disabled, RVButton::Disabled);
        button.setIsSelected(c.isSelected);
        button.setEnabled(c.enabled);
        if (c.hover)
            Enter(&button);
        EXPECT_EQ(button.currentTitleColor(), c.expected) << c.name;
    }
    RVButton bare;
    EXPECT_EQ(bare.currentTitleColor(), QColor(0, 122, 255)) << "system blue";
    EXPECT_EQ(bare.backgroundColor().alpha(), 0) << "clear";
    EXPECT_TRUE(bare.currentTitle().isNull());
}

TEST(RVButton, HoverMaskSelectionAndImages)
{
    QWidget window;
    auto* button = new RVButton(&window);
    button->setGeometry(10, 10, 200, 38);
    button->setTitle(QStringLiteral("我的病例"), RVButton::Normal);
    button->setBackgroundColor(QColor(211, 206, 212), RVButton::Normal);
    button->setBackgroundColor(Qt::white, RVButton::Selected);
    window.resize(220, 60);
    window.show();

    Enter(button);
    EXPECT_TRUE(button->mouseHovering());
    ASSERT_TRUE(button->maskView()->isVisible());
    EXPECT_EQ(button->maskView()->geometry(), button->rect());
    // The mouse over an unselected button shows the selected background.
    button->maskView()->hide();
    const QImage hovered = button->grab().toImage();
    EXPECT_EQ(hovered.pixelColor(2, 20), QColor(Qt::white));
    button->maskView()->show();

    // A click that turns the state on selects and ends the hover look.
    button->click();
    EXPECT_TRUE(button->isSelected());
    EXPECT_FALSE(button->mouseHovering());
    EXPECT_FALSE(button->maskView()->isVisible());
    button->setIsSelected(true);
    EXPECT_TRUE(button->isChecked());
    button->setIsSelected(false);
    EXPECT_FALSE(button->isChecked());
    Leave(button);

    QPixmap a(4, 4), b(4, 4), c(4, 4);
    a.fill(Qt::red);
    b.fill(Qt::green);
    c.fill(Qt::blue);
    button->setImage(b, RVButton::Highlighted);
    button->setNormalImage(a, QPixmap(), c, QPixmap());
    Enter(button);
    EXPECT_EQ(button->currentImage().toImage().pixelColor(0, 0), QColor(Qt::green)) << "a null image keeps state 2";
}

TEST(RVButton, ContentPositionsAndImagePosition)
{
    QPixmap image(20, 20);
    image.fill(Qt::black);
    struct Case {
        unsigned position;
        int imagePosition;
        int expectedLeft; // first dark column, -1: nothing drawn
    };
    // Insets left 5: position 1 puts the image 5 right of the inset.
    const Case cases[] = {{RVButton::Left, RVButton::ImageLeft, 10},
                          {RVButton::Centre, RVButton::ImageLeft, -2},
                          {RVButton::Left, RVButton::ImageRight, -1}};
    for (const Case& c : cases) {
        RVButton button;
        button.resize(200, 38);
        button.setContentInsets(QMargins(5, 0, 15, 0));
        button.setContentPosition(c.position);
        button.setImagePosition(c.imagePosition);
        button.setBackgroundColor(Qt::white, RVButton::Normal);
        button.setImage(image, RVButton::Normal);
        button.setTitle(QStringLiteral("影像资料"), RVButton::Normal);
        const QImage shot = button.grab().toImage();
        int first = -1;
        for (int x = 0; x < shot.width() && first < 0; ++x)
            if (shot.pixelColor(x, 19).lightness() < 40)
                first = x;
        if (c.expectedLeft == -1)
            EXPECT_EQ(first, -1) << "image right of the title draws only the background";
        else if (c.expectedLeft == -2)
            EXPECT_GT(first, 40) << "centred";
        else
            EXPECT_EQ(first, c.expectedLeft);
    }
}

TEST(RVTableView, TellsTheCellLeftAndForgetsOnExit)
{
    QStandardItemModel model(5, 2);
    RVTableView table;
    table.setModel(&model);
    table.resize(300, 300);
    table.show();
    struct Cell : QWidget {
        int exits = 0;
        bool event(QEvent* e) override
        {
            if (e->type() == QEvent::Leave)
                ++exits;
            return QWidget::event(e);
        }
    };
    std::vector<Cell*> cells;
    for (int row = 0; row < 5; ++row) {
        auto* cell = new Cell;
        table.setIndexWidget(model.index(row, 0), cell);
        cells.push_back(cell);
    }
    auto centre = [&](int row) { return QPointF(table.visualRect(model.index(row, 0)).center()); };
    SendMouse(table.viewport(), QEvent::MouseMove, centre(2));
    EXPECT_EQ(table.currentRow(), 2);
    EXPECT_EQ(table.currentColumn(), 0);
    SendMouse(table.viewport(), QEvent::MouseMove, centre(2) + QPointF(1, 1));
    EXPECT_EQ(cells[2]->exits, 0) << "moving within a cell sends nothing";
    SendMouse(table.viewport(), QEvent::MouseMove, centre(3));
    EXPECT_EQ(cells[2]->exits, 1);
    EXPECT_EQ(table.currentRow(), 3);

    // A recorded row that no longer exists hears nothing.
    model.removeRows(3, 2);
    const int before = cells[2]->exits;
    SendMouse(table.viewport(), QEvent::MouseMove, centre(0));
    EXPECT_EQ(cells[2]->exits, before);
    Leave(&table);
    EXPECT_EQ(table.currentRow(), -1);
    EXPECT_EQ(table.currentColumn(), -1);
}

namespace {

struct RecordingBarDelegate : RVToolBarDelegate {
    QList<quint64> selects, closes;
    bool answerSelect = true, answerClose = true;
    bool toolBar(RVToolBar&, quint64 type) override
    {
        selects << type;
        return answerSelect;
    }
    bool toolBarClose(RVToolBar&, quint64 type) override
    {
        closes << type;
        return answerClose;
    }
};

} // namespace

TEST(RVToolBar, TabsAppearOnDemandAndFollowTheSelectionRule)
{
    RVToolBar bar;
    bar.resize(900, RVToolBar::kHeight);
    RecordingBarDelegate delegate;
    bar.setDelegate(&delegate);
    EXPECT_TRUE(bar.rowTypes().isEmpty());

    bar.clickItem(1);
    EXPECT_EQ(delegate.selects, QList<quint64>{1});
    EXPECT_EQ(bar.button(1)->currentTitle(), QStringLiteral("我的病例"));
    EXPECT_EQ(bar.closeButton(1), nullptr);
    bar.clickItem(1);
    EXPECT_EQ(delegate.selects.size(), 1) << "the current tab never asks";

    bar.clickItem(3);
    bar.setTitle(QStringLiteral("张三/C1(1)"), 2);
    bar.clickItem(2);
    EXPECT_EQ(bar.rowTypes(), (QList<quint64>{1, 3, 2}));
    EXPECT_EQ(bar.button(2)->currentTitle(), QStringLiteral("张三/C1(1)"));
    EXPECT_NE(bar.closeButton(3), nullptr);
    // Separators bordering the selected tab 2 are hidden, the others shown.
    EXPECT_TRUE(bar.separatorVisible(1));
    EXPECT_FALSE(bar.separatorVisible(3));
    EXPECT_FALSE(bar.separatorVisible(2));
    EXPECT_TRUE(bar.button(2)->isSelected());
    EXPECT_FALSE(bar.button(1)->isSelected());

    delegate.answerSelect = false;
    bar.clickItem(3);
    EXPECT_EQ(bar.currentItemType(), 2u) << "a refusal restores the old tab";
    EXPECT_TRUE(bar.button(2)->isSelected());
    EXPECT_FALSE(bar.button(3)->isSelected());
    delegate.answerSelect = true;

    delegate.answerClose = false;
    bar.closeButton(3)->click();
    EXPECT_EQ(bar.rowTypes(), (QList<quint64>{1, 3, 2}));
    delegate.answerClose = true;
    bar.closeButton(3)->click();
    EXPECT_EQ(delegate.closes, (QList<quint64>{3, 3}));
    EXPECT_EQ(bar.rowTypes(), (QList<quint64>{1, 2}));

    bar.clear();
    EXPECT_EQ(bar.rowTypes(), QList<quint64>{1});
    EXPECT_EQ(bar.removeItem(3), nullptr);
    RVToolBar fresh;
    fresh.clickItem(2);
    EXPECT_EQ(fresh.button(2)->currentTitle(), QStringLiteral("数字模型"));
}

#include "WidgetsTest.moc"
