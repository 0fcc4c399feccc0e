// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/shell/widgets/GridTable.h"
#include "app/shell/widgets/RVLabel.h"
#include "app/shell/widgets/RVTreatmentPlanListCell.h"
#include "app/shell/widgets/tests/WidgetFixtures.h"
#include "testing/QtScreens.h"

#include <QPainter>

#include <cmath>
#include <tuple>

namespace {

RVPlanModel Plan(const char* type, const QString& name, bool belvista, const char* createTime, const QString& content)
{
    RVPlanModel plan;
    plan.planType = QString::fromUtf8(type);
    plan.planName = name;
    plan.isBelvistaCase = belvista;
    plan.createTime = QString::fromUtf8(createTime);
    plan.content = content;
    return plan;
}

TEST(RVTreatmentPlanListCell, TitlesTimesAndContentHeight)
{
    struct Case {
        RVPlanModel plan;
        const char* title;
    } cases[] = {
        {Plan("2", QString(), false, "", ""), "后台建议"},
        {Plan("3", "方案A", true, "", ""), "【Belvista】后台专家方案方案A"},
        {Plan("1", "复诊", false, "", ""), "医生方案复诊"},
        {Plan("", QString(), true, "", ""), "【Belvista】医生方案"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(RVTreatmentPlanListCell::titleOf(c.plan), QString::fromUtf8(c.title)) << c.title;

    const QString epoch = QDateTime::fromSecsSinceEpoch(0).toString("yyyy-MM-dd HH:mm:ss");
    EXPECT_EQ(RVTreatmentPlanListCell::timeTextOf("999"), epoch); // the fraction of a second dropped
    EXPECT_EQ(RVTreatmentPlanListCell::timeTextOf("-999"), epoch); // towards zero
    EXPECT_EQ(RVTreatmentPlanListCell::timeTextOf(""), QString(""));
    EXPECT_EQ(RVTreatmentPlanListCell::timeTextOf(QString()), QString(""));
    EXPECT_EQ(RVTreatmentPlanListCell::timeTextOf("1700000000123"),
              QDateTime::fromSecsSinceEpoch(1700000000).toString("yyyy-MM-dd HH:mm:ss"));

    RVTreatmentPlanListCell cell;
    cell.resize(400, 200);
    cell.setModel(Plan("3", "方案A", true, "999", "上颌扩弓"));
    EXPECT_EQ(cell.titleLabel()->text(), QString("【Belvista】后台专家方案方案A"));
    EXPECT_EQ(cell.titleLabel()->textAlignment(), 0);
    EXPECT_EQ(cell.timeLabel()->text(), epoch);
    EXPECT_EQ(cell.timeLabel()->textAlignment(), 1);
    EXPECT_EQ(cell.timeLabel()->font().pixelSize(), 13);
    EXPECT_EQ(cell.contentLabel()->toPlainText(), QString("上颌扩弓"));
    EXPECT_EQ(cell.contentLabel()->height(), 60);

    // Content that needs more than 60 at width 350 makes the same view that high.
    QString longText;
    for (int i = 0; i < 5; ++i)
        longText += QString(40, QChar(u'牙'));
    const double needed = RVTreatmentPlanListCell::contentHeightFor(longText, cell.contentLabel()->font());
    EXPECT_GT(needed, 100);
    cell.setModel(Plan("1", "复诊", false, "", longText));
    EXPECT_EQ(cell.contentLabel()->height(), int(std::ceil(needed)));
    EXPECT_EQ(cell.timeLabel()->text(), QString(""));
    cell.setModel(Plan("1", "复诊", false, "", QString())); // no content: empty text, 60 again
    EXPECT_EQ(cell.contentLabel()->toPlainText(), QString());
    EXPECT_EQ(cell.contentLabel()->height(), 60);
}

TEST(NumberDrawing, DrawsTheNumbersText)
{
    EXPECT_EQ(widgets::NumberText(12), QString("12"));
    EXPECT_EQ(widgets::NumberText(1.5), QString("1.5"));
    EXPECT_EQ(widgets::NumberText(0.1), QString("0.1"));
    EXPECT_EQ(widgets::NumberText(-3), QString("-3"));

    QImage image(80, 30, QImage::Format_RGB32);
    image.fill(Qt::white);
    QFont font;
    font.setPixelSize(16);
    {
        QPainter painter(&image);
        widgets::drawWithRect(painter, 12, QRectF(0, 0, 40, 30), Qt::AlignLeft | Qt::AlignTop, font);
        widgets::drawVerticalCenterWithRect(painter, 12, QRectF(40, 0, 40, 30), Qt::AlignLeft, font, 1);
    }
    EXPECT_GT(screens::InkPixels(image, QRect(0, 0, 40, 30)), 10);
    EXPECT_GT(screens::InkPixels(image, QRect(40, 0, 40, 30)), 10);
}

struct Clicks : GridTableDelegate {
    std::vector<std::tuple<QObject*, int, int>> seen;
    std::vector<std::tuple<int, int, QString>> edits;
    void SelectNotify(QObject* grid, int row, int col) override { seen.emplace_back(grid, row, col); }
    void TextNotify(QObject*, int row, int col, const QString& text) override { edits.emplace_back(row, col, text); }
};

TEST(GridTable, HeaderRowsShadingAndClicks)
{
    QWidget pane;
    pane.resize(360, 600);
    auto* grid = new GridTable(18, 3, true, QRect(0, 0, 100, 100), &pane);
    grid->SetGridSectionValue("牙齿宽度", true);
    for (int row = 0; row < 18; ++row)
        for (int col = 0; col < 3; ++col) {
            GridValue* value = grid->GetGridValueAtRow(row, col);
            ASSERT_NE(value, nullptr);
            value->val = QString("%1-%2").arg(row).arg(col).toStdString();
            value->bColor = row % 2 == 1;
        }
    for (auto [row, col] : {std::pair{-1, 0}, {18, 0}, {0, 3}, {0, -1}})
        EXPECT_EQ(grid->GetGridValueAtRow(row, col), nullptr) << row << " " << col;
    grid->CreateGridTable();
    grid->CreateGridTable(); // once only

    EXPECT_EQ(grid->geometry().size(), QSize(360, 429));
    EXPECT_EQ(grid->tableView()->geometry(), QRect(0, 33, 360, 396));
    EXPECT_EQ(grid->section()->geometry(), QRect(0, 0, 360, 33));
    EXPECT_EQ(grid->section()->text()->text(), QString("  牙齿宽度"));
    EXPECT_EQ(grid->tableView()->columnWidth(1), 120);
    EXPECT_EQ(grid->tableView()->rowHeight(5), 22);
    ASSERT_NE(grid->cellAt(4, 2), nullptr);
    EXPECT_EQ(grid->cellAt(4, 2)->text()->text(), QString("4-2"));
    pane.show();
    const QImage drawn = grid->grab().toImage();
    const QColor shade(221, 221, 221);
    EXPECT_EQ(drawn.pixelColor(8, 33 + 22 * 3 + 11), shade); // beside the text of a shaded cell
    EXPECT_EQ(drawn.pixelColor(5, 33 + 22 * 3 + 3), shade);
    EXPECT_EQ(drawn.pixelColor(8, 33 + 22 * 4 + 11), QColor(Qt::white));
    EXPECT_EQ(drawn.pixelColor(300, 10), shade); // the header band

    QWidget* viewport = grid->tableView()->viewport();
    fixtures::Mouse(viewport, QEvent::MouseButtonRelease, {130, 22 * 7 + 5}); // no delegate: nothing
    Clicks clicks;
    grid->set_delegate(&clicks);
    fixtures::Mouse(viewport, QEvent::MouseButtonRelease, {130, 22 * 7 + 5});
    fixtures::Mouse(viewport, QEvent::MouseButtonRelease, {10, 22 * 18 + 40}); // below the rows
    ASSERT_EQ(clicks.seen.size(), 2u);
    EXPECT_EQ(clicks.seen[0], std::make_tuple(static_cast<QObject*>(grid), 7, 1));
    EXPECT_EQ(std::get<1>(clicks.seen[1]), -1);

    // An owner that makes a cell editable hears of the edit (cells made after the delegate was set).
    grid->Reload();
    QLineEdit* field = grid->cellAt(2, 1)->text();
    field->setReadOnly(false);
    field->setText("7.75");
    emit field->editingFinished();
    ASSERT_EQ(clicks.edits.size(), 1u);
    EXPECT_EQ(clicks.edits[0], std::make_tuple(2, 1, QString("7.75")));

    // Changed records show after a reload.
    grid->GetGridValueAtRow(0, 0)->val = "changed";
    grid->Reload();
    EXPECT_EQ(grid->cellAt(0, 0)->text()->text(), QString("changed"));

    pane.resize(300, 600);
    grid->UpdateSize();
    EXPECT_EQ(grid->tableView()->columnWidth(0), 100);
}

TEST(GridTable, WithoutHeaderOrParent)
{
    GridTable grid(4, 2, false, QRect(0, 0, 50, 50));
    grid.CreateGridTable();
    EXPECT_EQ(grid.size(), QSize(0, 88)); // no superview: 0 wide
    EXPECT_EQ(grid.section(), nullptr);
    EXPECT_EQ(grid.tableView()->geometry(), QRect(0, 0, 0, 88));

    GridTable empty(0, 0, true, QRect());
    empty.CreateGridTable();
    EXPECT_EQ(empty.size(), QSize(0, 33));
    EXPECT_EQ(empty.GetGridValueAtRow(0, 0), nullptr);
}

} // namespace
