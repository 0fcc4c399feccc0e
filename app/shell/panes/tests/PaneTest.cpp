// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/platform/Folders.h"
#include "app/shell/panes/InfoDlg.h"
#include "app/shell/panes/QvMenuBar.h"
#include "app/shell/panes/QvPane.h"
#include "app/shell/widgets/XibManager.h"
#include "testing/QtScreens.h"

#include <QApplication>
#include <QMouseEvent>

#include <gtest/gtest.h>

#include <memory>

namespace {

// What the recording panes were told, in order: "Clear 9", "Initialize 4" ...
QStringList g_log;

class RecordingPane : public QvPane {
public:
    explicit RecordingPane(bool dummy) : m_dummy(dummy) {}
    bool IsDummy() const override { return m_dummy; }
    void Clear() override { g_log << QStringLiteral("Clear %1").arg(m_id); }
    bool Initialize() override
    {
        g_log << QStringLiteral("Initialize %1").arg(m_id);
        return true;
    }

private:
    bool m_dummy;
};

class TestSectionPane : public SectionPane {
    Q_OBJECT
public:
    void Clear() override { g_log << QStringLiteral("Clear section"); }
};

struct RecordingRecord : RVUndoData {
    explicit RecordingRecord(QString name) : name(std::move(name)) {}
    void undo() override { g_log << QStringLiteral("undo ") + name; }
    QString name;
};

class PaneFixture : public ::testing::Test {
protected:
    void SetUp() override
    {
        g_log.clear();
        QvPane::UnregisterAllPaneClasses();
        for (int id : {3, 6, 7, 8, 9, 10, 11})
            QvPane::RegisterPaneClass(id, [id] { return new RecordingPane(id == 3); });
        XibManager::RegisterXib(QStringLiteral("SectionPane"), [] { return QList<QObject*>{new TestSectionPane}; });
        // The application's own icons: strips of four 30 x 30 states.
        platform::SetResourceFolder(QStringLiteral(RIVELA_RESOURCES_DIR));
    }
    void TearDown() override
    {
        platform::SetResourceFolder({});
        QvPane::UnregisterAllPaneClasses();
        XibManager::shared().Reset();
    }
};

struct RecordingHostDelegate : InfoDlgDelegate {
    QList<int> selected;
    void paneDidSelect(int id) override { selected << id; }
};

void Click(QWidget* widget, const QPointF& at)
{
    QMouseEvent press(QEvent::MouseButtonPress, at, widget->mapToGlobal(at), Qt::LeftButton, Qt::LeftButton,
                      Qt::NoModifier);
    QApplication::sendEvent(widget, &press);
}

} // namespace

TEST_F(PaneFixture, FactoryMakesPanesByIdWithTheirIcons)
{
    for (int id : {5, 0, 2, 12, -1})
        EXPECT_EQ(QvPane::CreatePaneWithID(id), nullptr) << id;

    QvPane* section = QvPane::CreatePaneWithID(4);
    ASSERT_NE(section, nullptr);
    section->m_id = 0;
    EXPECT_EQ(QvPane::CreatePaneWithID(4), section) << "the interface loader keeps it";
    EXPECT_EQ(section->m_id, 4);
    EXPECT_FALSE(section->iconItem());

    struct Row {
        int id;
        const char* icon;
        const char* tooltip;
    };
    const Row rows[] = {{6, "model_measure", "模型测量"},      {7, "clinical_info", "矫治说明"},
                        {8, "right_bar_stepinfo", "分步信息"}, {9, "right_bar_target", "目标位模拟"},
                        {10, "bracket", "托槽定位"},           {11, "right_bar_approvescheme", "审核分步"}};
    for (const Row& row : rows) {
        std::unique_ptr<QvPane> pane(QvPane::CreatePaneWithID(row.id));
        ASSERT_TRUE(pane) << row.id;
        EXPECT_EQ(pane->m_id, row.id);
        ASSERT_TRUE(pane->iconItem());
        EXPECT_EQ(pane->iconItem()->iconName(), QString::fromUtf8(row.icon));
        EXPECT_EQ(pane->iconItem()->tooltipName(), QString::fromUtf8(row.tooltip));
    }
    std::unique_ptr<QvPane> distance(QvPane::CreatePaneWithID(3));
    EXPECT_FALSE(distance->iconItem());
    EXPECT_TRUE(g_log.contains(QStringLiteral("Initialize 3"))) << "Initialize follows the id";

    QvPane fresh;
    EXPECT_EQ(fresh.m_id, 0);
    EXPECT_EQ(fresh.m_segCtrlIndex, -1);
    EXPECT_EQ(fresh.GetTitle(), QString(""));
    EXPECT_TRUE(fresh.IsDummy());
}

TEST_F(PaneFixture, UndoStackAndRedrawWithoutAView)
{
    QvPane pane;
    EXPECT_FALSE(pane.canUndo());
    EXPECT_EQ(pane.lastUndoData(), nullptr);
    pane.undo();
    pane.addUndoData(std::make_unique<RecordingRecord>(QStringLiteral("a")));
    pane.addUndoData(std::make_unique<RecordingRecord>(QStringLiteral("b")));
    pane.undo();
    EXPECT_EQ(g_log, QStringList{QStringLiteral("undo b")});
    pane.clearUndoData();
    EXPECT_FALSE(pane.canUndo());
    EXPECT_EQ(g_log.size(), 1) << "clearing undoes nothing";

    QvPane::SetActiveViewProvider({});
    pane.InvalidateView();
    QvPane::SetActiveViewProvider([] { return static_cast<QWidget*>(nullptr); });
    pane.InvalidateView();
    int paints = 0;
    struct View : QWidget {
        int* paints;
        void paintEvent(QPaintEvent*) override { ++*paints; }
    } view;
    view.paints = &paints;
    view.resize(10, 10);
    view.show();
    QApplication::processEvents();
    QvPane::SetActiveViewProvider([&view] { return static_cast<QWidget*>(&view); });
    paints = 0;
    pane.InvalidateView();
    EXPECT_EQ(paints, 1) << "redrawn at once";
    QvPane::SetActiveViewProvider({});
}

TEST_F(PaneFixture, HostAddsKeepsAndRemovesPanes)
{
    QWidget box;
    InfoDlg host(&box);
    QvMenuBar bar;
    bar.resize(400, 90);
    host.SetMenuBar(&bar);

    QvPane* six = host.AddPane(6);
    EXPECT_EQ(host.AddPane(6), six);
    EXPECT_EQ(host.AddPane(5), nullptr);
    for (int id : {9, 7, 3, 11})
        ASSERT_NE(host.AddPane(id), nullptr);
    EXPECT_EQ(host.paneIds(), (QList<int>{6, 9, 7, 3, 11}));
    EXPECT_EQ(bar.iconItems().size(), 4);
    g_log.clear();
    host.RemoveAllPaneIsKeep(true);
    EXPECT_EQ(host.paneIds(), (QList<int>{6, 7, 11}));
    EXPECT_EQ(g_log, (QStringList{QStringLiteral("Clear 9"), QStringLiteral("Clear 3")}));
    EXPECT_EQ(bar.iconItems().size(), 3);
    EXPECT_EQ(host.lastSegSelected(), -1);

    // RemoveAllPane leaves the bar's icons until the next update.
    host.RemoveAllPane();
    EXPECT_TRUE(host.paneIds().isEmpty());
    EXPECT_EQ(bar.iconItems().size(), 3);
    host.updateMenuBar();
    EXPECT_TRUE(bar.iconItems().isEmpty());

    for (int id : {9, 6})
        host.AddPane(id);
    host.RemoveAllPaneIsKeep(false);
    EXPECT_TRUE(host.paneIds().isEmpty());

    // The deferred removal takes what is listed when it runs, later additions too.
    host.AddPane(6);
    host.RemoveAllPaneIsKeepImagePane(true);
    host.AddPane(7);
    EXPECT_EQ(host.paneIds(), (QList<int>{6, 7}));
    QApplication::processEvents();
    EXPECT_TRUE(host.paneIds().isEmpty());
    EXPECT_TRUE(bar.iconItems().isEmpty());

    // A box that goes first takes its shown pane along; the host forgets it.
    auto shortLived = std::make_unique<QWidget>();
    InfoDlg other(shortLived.get());
    other.AddPane(6);
    other.SelectPane(6);
    shortLived.reset();
    EXPECT_TRUE(other.paneIds().isEmpty());
}

TEST_F(PaneFixture, DummyPanesKeepNoIndexAndIconsSelectTheirPanes)
{
    QWidget box;
    InfoDlg host(&box);
    RecordingHostDelegate delegate;
    host.setDelegate(&delegate);
    QvMenuBar bar;
    bar.resize(400, 90);
    host.SetMenuBar(&bar);
    for (int id : {3, 6, 7, 8})
        host.AddPane(id);
    EXPECT_EQ(host.GetPaneByID(3)->m_segCtrlIndex, -1);
    EXPECT_EQ(host.GetPaneByID(6)->m_segCtrlIndex, 0);
    EXPECT_EQ(host.GetPaneByID(7)->m_segCtrlIndex, 1);
    EXPECT_EQ(host.GetPaneByID(8)->m_segCtrlIndex, 2);

    bar.calculateImageData();
    const double right1 = bar.iconOriginXAtIndex(1);
    EXPECT_DOUBLE_EQ(right1, 12 + 15 + 30 + 30);
    Click(&bar, QPointF(right1 - 15, 25));
    EXPECT_EQ(host.contentView(), host.GetPaneByID(7));
    EXPECT_EQ(delegate.selected, QList<int>{7});
    EXPECT_EQ(host.lastSegSelected(), 1);
    EXPECT_EQ(bar.selectedIndex(), 1);

    host.SelectPane(7);
    EXPECT_EQ(delegate.selected.size(), 1) << "the shown pane is not selected again";
    host.SelectPane(3);
    EXPECT_EQ(host.contentView(), host.GetPaneByID(7)) << "a dummy pane is never shown";

    // After RemovePane the next selection tells no delegate; a later one does.
    host.RemovePane(8);
    host.SelectPane(6);
    EXPECT_EQ(host.contentView(), host.GetPaneByID(6));
    EXPECT_EQ(delegate.selected, QList<int>{7});
    host.SelectPane(7);
    EXPECT_EQ(delegate.selected, (QList<int>{7, 7}));

    // Right after a menu rebuild a dummy pane counts as selected: removing it detaches it.
    QWidget elsewhere;
    host.GetPaneByID(3)->setParent(&elsewhere);
    host.updateMenuBar();
    EXPECT_TRUE(host.IsPaneIDSelected(3));
    host.RemovePane(3);
    EXPECT_EQ(host.GetPaneByID(3), nullptr);
    EXPECT_TRUE(elsewhere.children().isEmpty());

    // The box given a plain widget: no pane counts as shown.
    QWidget plain;
    host.setContentView(&plain);
    EXPECT_EQ(host.lastSegSelected(), -1);
    host.setContentView(nullptr);
}

TEST_F(PaneFixture, MenuBarClampsTheSelectionAndMissesOutsideIcons)
{
    QvMenuBar bar;
    bar.resize(400, 90);
    bar.configureIconItems({IconItem(QStringLiteral("model_measure"), QStringLiteral("模型测量")),
                            IconItem(QStringLiteral("clinical_info"), QStringLiteral("矫治说明"))});
    bar.setSelectedIndex(5);
    const QImage shot = bar.grab().toImage();
    EXPECT_EQ(bar.selectedIndex(), 1);
    EXPECT_EQ(bar.title(), QStringLiteral("矫治说明"));
    // The underline: 2 high, 8 below the icons (top 10, 30 high), under icon 1 only.
    const int lineY = 10 + 30 + 8;
    EXPECT_EQ(shot.pixelColor(12 + 30 + 15 + 15, lineY), QvMenuBar::kSelectionColour);
    EXPECT_EQ(shot.pixelColor(12 + 15, lineY), QvMenuBar::kBackgroundColour);

    bar.calculateImageData();
    struct Hit {
        QPointF at;
        qint64 index;
    };
    const double left0 = 12, right0 = 42, left1 = 57, right1 = 87;
    const Hit hits[] = {
        {{11, 30}, QvMenuBar::kNotFound},          {{left0, 30}, QvMenuBar::kNotFound},
        {{right0, 30}, QvMenuBar::kNotFound},      {{left1, 30}, QvMenuBar::kNotFound},
        {{right1, 30}, QvMenuBar::kNotFound},      {{left0 + 1, 30}, 0},
        {{right1 - 1, 30}, 1},                     {{30, 9}, QvMenuBar::kNotFound},
        {{30, 41}, QvMenuBar::kNotFound},          {{401, 30}, QvMenuBar::kNotFound},
        {{50, 30}, QvMenuBar::kNotFound},
    };
    for (const Hit& hit : hits)
        EXPECT_EQ(bar.indexOfPoint(hit.at), hit.index) << hit.at.x() << "," << hit.at.y();

    // A missing picture draws nothing and breaks nothing.
    bar.configureIconItems({IconItem(QStringLiteral("no_such_icon"), QStringLiteral("无"))});
    EXPECT_FALSE(bar.grab().toImage().isNull());
    Click(&bar, QPointF(20, 20));
    EXPECT_EQ(bar.selectedIndex(), 0);
}

TEST_F(PaneFixture, PaneHostScreenshot)
{
    QWidget window;
    window.resize(400, 400);
    auto* bar = new QvMenuBar(&window);
    bar->setGeometry(0, 0, 400, 90);
    auto* box = new QWidget(&window);
    box->setGeometry(0, 90, 400, 310);
    InfoDlg host(box);
    host.SetMenuBar(bar);
    for (int id = 6; id <= 11; ++id)
        host.AddPane(id);
    QPalette palette = host.GetPaneByID(9)->palette();
    palette.setColor(QPalette::Window, QColor(221, 232, 240));
    host.GetPaneByID(9)->setPalette(palette);
    host.GetPaneByID(9)->setAutoFillBackground(true);
    host.SelectPane(9);
    window.show();
    EXPECT_EQ(bar->selectedIndex(), 3);
    const QImage shot = screens::Save(window, QStringLiteral("pane_host"));
    ASSERT_FALSE(shot.isNull());
    EXPECT_GT(screens::InkPixels(shot, QRect(0, 0, 400, 60)), 1000) << "six icons drawn";
    const double right3 = 12 + 15 * 3 + 4 * 30;
    EXPECT_EQ(shot.pixelColor(int(right3 - 15), 10 + 30 + 8), QvMenuBar::kSelectionColour);
    EXPECT_EQ(shot.pixelColor(200, 250), QColor(221, 232, 240)) << "the selected pane fills the box";
}

#include "PaneTest.moc"
