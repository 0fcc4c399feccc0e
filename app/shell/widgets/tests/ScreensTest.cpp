// SPDX-License-Identifier: GPL-3.0-or-later
// Pictures of the widgets together, for people to look at, checked loosely.
#include "app/shell/widgets/GridTable.h"
#include "app/shell/widgets/LoadingView.h"
#include "app/shell/widgets/NSButtonEx.h"
#include "app/shell/widgets/QvToolbarView.h"
#include "app/shell/widgets/RVLabel.h"
#include "app/shell/widgets/RVSwitchView.h"
#include "app/shell/widgets/RVTreatmentPlanListCell.h"
#include "app/shell/widgets/SmallMenu.h"
#include "app/shell/widgets/tests/WidgetFixtures.h"
#include "testing/QtScreens.h"

#include <QPainter>
#include <QVBoxLayout>

namespace {

TEST(WidgetScreens, APanelOfEveryWidget)
{
    fixtures::ResourceFolder resources;
    for (int i = 0; i < 3; ++i)
        resources.Write(QString("icon%1.png").arg(i), fixtures::Strip(400, 40, i));
    const QString strip = resources.Write("button.png", fixtures::Strip(160, 40));

    QWidget panel;
    panel.resize(860, 760);
    panel.setAutoFillBackground(true);
    QPalette palette = panel.palette();
    palette.setColor(QPalette::Window, QColor(250, 250, 250));
    panel.setPalette(palette);

    // Labels: one line left, centred, and wrapped.
    const char* texts[] = {"RVLabel 左对齐 14", "居中 centred", "换行的标签会按宽度折行显示全部文字 wraps at any character"};
    for (int i = 0; i < 3; ++i) {
        auto* label = new RVLabel(&panel);
        label->setString(QString::fromUtf8(texts[i]));
        label->setBackgroundColor(QColor(230, 240, 250));
        if (i == 1)
            label->setAlignment(2);
        if (i == 2)
            label->setNumberOfLines(0);
        label->setGeometry(10, 10 + 40 * i, 220, i == 2 ? 50 : 30);
    }
    auto* nsLabel = new NSLabel(&panel);
    QFont font;
    font.setPixelSize(15);
    nsLabel->setText("NSLabel 居中", font, 2);
    nsLabel->setGeometry(10, 150, 220, 40);

    // Image buttons in each state: disabled, normal, over, pressed; a checked box.
    for (int i = 0; i < 4; ++i) {
        auto* button = new NSButtonEx(&panel);
        button->setGeometry(250 + 50 * i, 10, 40, 40);
        button->setImage(strip);
        if (i == 0)
            button->setEnable(false);
        if (i == 2)
            fixtures::Enter(button);
        if (i == 3)
            fixtures::Mouse(button, QEvent::MouseButtonPress);
    }
    auto* box = new NSCheckBoxEx(&panel);
    box->setGeometry(450, 10, 40, 40);
    box->setImage(strip);
    box->setChecked(true);

    auto* toggle = new RVSwitchView(&panel);
    toggle->setGeometry(250, 60, 200, 30);
    toggle->setLeftTitle("初始位置", "目标位置");

    auto* tools = new QvToolbarView(&panel);
    tools->setGeometry(250, 100, 300, 38);
    tools->setAutoFillBackground(true);
    QList<QImage> images;
    for (int i = 0; i < 3; ++i)
        images.append(fixtures::Strip(120, 30, i).copy(30, 0, 30, 30));
    tools->configureImages(images);

    auto* menu = new SmallMenu(&panel);
    menu->setGeometry(580, 10, 100, 80);
    menu->addMenuBarItems({{"icon0", "a"}, {"icon1", "b"}, {"icon2", "c"}});
    fixtures::Enter(menu->rows()[1]);

    RVPlanModel expert;
    expert.planType = "3";
    expert.planName = "方案A";
    expert.isBelvistaCase = true;
    expert.createTime = "1700000000000";
    expert.content = "上颌扩弓，下颌排齐；共 24 步，第 6 步起加附件。";
    RVPlanModel doctor;
    doctor.planType = "1";
    doctor.planName = "复诊调整";
    doctor.createTime = "1710000000000";
    for (int i = 0; i < 6; ++i)
        doctor.content += "医生方案内容，需要更多高度才能完整显示。";
    auto* cells = new QWidget(&panel);
    cells->setGeometry(10, 200, 400, 550);
    auto* column = new QVBoxLayout(cells);
    for (const RVPlanModel& plan : {expert, doctor}) {
        auto* cell = new RVTreatmentPlanListCell(cells);
        cell->setModel(plan);
        column->addWidget(cell);
    }
    column->addStretch();

    auto* host = new QWidget(&panel);
    host->setGeometry(430, 200, 420, 400);
    auto* grid = new GridTable(6, 3, true, QRect(0, 0, 420, 100), host);
    grid->SetGridSectionValue("牙齿宽度", true);
    const char* heads[] = {"牙位", "宽度", "标准"};
    for (int col = 0; col < 3; ++col)
        grid->GetGridValueAtRow(0, col)->val = heads[col];
    for (int row = 1; row < 6; ++row)
        for (int col = 0; col < 3; ++col) {
            GridValue* value = grid->GetGridValueAtRow(row, col);
            value->val = col == 0 ? std::to_string(10 + row) : QString::number(7.0 + row * 0.3, 'f', 2).toStdString();
            value->bColor = row == 3;
        }
    grid->CreateGridTable();

    panel.show();
    const QImage shot = screens::Save(panel, "widgets_panel");
    ASSERT_FALSE(shot.isNull());
    for (const QRect region : {QRect(10, 10, 220, 180), QRect(250, 10, 240, 40), QRect(250, 60, 200, 30),
                               QRect(250, 100, 300, 38), QRect(580, 10, 100, 80), QRect(10, 200, 400, 400),
                               QRect(430, 200, 420, 160)})
        EXPECT_GT(screens::InkPixels(shot, region), 30) << region.x() << "," << region.y();

    for (int n = 1; n <= 3; ++n) {
        QImage frame(120, 120, QImage::Format_ARGB32);
        frame.fill(Qt::transparent);
        QPainter painter(&frame);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(QPen(QColor(25, 168, 233), 10, Qt::SolidLine, Qt::RoundCap));
        painter.drawArc(QRect(15, 15, 90, 90), n * 120 * 16, 240 * 16);
        resources.Write(QString("loading%1.png").arg(n), frame);
    }
    LoadingView spinner;
    spinner.resize(300, 200);
    spinner.show();
    const QImage spin = screens::Save(spinner, "loading_view");
    EXPECT_GT(screens::InkPixels(spin), 100);
}

} // namespace
