// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/shell/widgets/RVTreatmentPlanListCell.h"

#include "app/shell/foundation/ColorFontExtensions.h"
#include "app/shell/foundation/DateExtensions.h"
#include "app/shell/foundation/StringExtensions.h"
#include "app/shell/widgets/RVLabel.h"

#include <QBoxLayout>
#include <QPainter>
#include <QTextDocument>

#include <algorithm>
#include <cmath>

namespace {

QFont SystemFont(int pixels)
{
    QFont font;
    font.setPixelSize(pixels);
    return font;
}

QString RgbStyle(quint32 rgb)
{
    return foundation::qvui_colorWithRGBValue(rgb).name();
}

QWidget* Spacer(QWidget* parent)
{
    auto* spacer = new QWidget(parent);
    spacer->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    return spacer;
}

constexpr double kContentWidth = 350;
constexpr double kMinContentHeight = 60;

} // namespace

RVTreatmentPlanListCell::RVTreatmentPlanListCell(QWidget* parent)
    : QWidget(parent), m_titleLabel(new NSLabel), m_timeLabel(new NSLabel), m_contentLabel(new QTextEdit)
{
    QPalette palette = m_timeLabel->palette();
    palette.setColor(QPalette::WindowText, foundation::qvui_colorWithRGBValue(0x9C9C9C));
    m_timeLabel->setPalette(palette);
    m_contentLabel->setReadOnly(true);
    m_contentLabel->setFont(SystemFont(15));
    m_contentLabel->setFrameShape(QFrame::NoFrame);
    m_contentLabel->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_contentLabel->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_contentLabel->document()->setDocumentMargin(0);
    setupSubviews();
}

void RVTreatmentPlanListCell::setupSubviews()
{
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    auto* container = new QFrame(this);
    container->setObjectName(QStringLiteral("planCard"));
    container->setStyleSheet(QStringLiteral("QFrame#planCard { background: white; border: 1px solid %1; }")
                                 .arg(RgbStyle(0xDDDDDD)));
    outer->addWidget(container);

    auto* stack = new QVBoxLayout(container);
    stack->setContentsMargins(1, 1, 1, 1); // inside the border
    stack->setSpacing(0);

    auto* titleRow = new QWidget(container);
    titleRow->setAutoFillBackground(true);
    QPalette band = titleRow->palette();
    band.setColor(QPalette::Window, foundation::qvui_colorWithRGBValue(0xF2F2F2));
    titleRow->setPalette(band);
    m_titleLabel->setPalette(band);
    auto* titleLayout = new QHBoxLayout(titleRow);
    titleLayout->setContentsMargins(15, 0, 0, 0);
    m_titleLabel->setFixedHeight(40);
    titleLayout->addWidget(m_titleLabel);
    titleLayout->addWidget(Spacer(titleRow));
    stack->addWidget(titleRow);

    auto* headerRow = new QWidget(container);
    auto* headerLayout = new QHBoxLayout(headerRow);
    headerLayout->setContentsMargins(15, 0, 15, 0);
    headerRow->setFixedHeight(40);
    auto* header = new NSLabel(headerRow);
    header->setText(QStringLiteral("方案内容"), SystemFont(15), 0);
    headerLayout->addWidget(header);
    headerLayout->addWidget(Spacer(headerRow));
    headerLayout->addWidget(m_timeLabel);
    for (NSLabel* label : {header, m_timeLabel}) {
        QPalette white = label->palette();
        white.setColor(QPalette::Window, Qt::white);
        label->setPalette(white);
    }
    stack->addWidget(headerRow);

    auto* separator = new QWidget(container);
    separator->setFixedHeight(1);
    separator->setAutoFillBackground(true);
    QPalette line = separator->palette();
    line.setColor(QPalette::Window, foundation::qvui_colorWithRGBValue(0xF8F8F8));
    separator->setPalette(line);
    stack->addWidget(separator);

    auto* contentRow = new QHBoxLayout;
    contentRow->setContentsMargins(15, 0, 15, 0);
    m_contentLabel->setFixedHeight(static_cast<int>(kMinContentHeight));
    contentRow->addWidget(m_contentLabel);
    stack->addLayout(contentRow);
    stack->addSpacing(5);
}

QString RVTreatmentPlanListCell::titleOf(const RVPlanModel& model)
{
    QString title = model.planType == QLatin1String("2")   ? QStringLiteral("后台建议")
                    : model.planType == QLatin1String("3") ? QStringLiteral("后台专家方案")
                                                           : QStringLiteral("医生方案");
    if (!model.planName.isNull())
        title += model.planName;
    return (model.isBelvistaCase ? QStringLiteral("【Belvista】") : QString()) + title;
}

QString RVTreatmentPlanListCell::timeTextOf(const QString& createTime)
{
    if (createTime.isEmpty())
        return QStringLiteral("");
    const qint64 seconds = createTime.toLongLong() / 1000; // truncates towards zero
    return foundation::qvui_stringWithFormatter(QDateTime::fromSecsSinceEpoch(seconds),
                                                QStringLiteral("yyyy-MM-dd HH:mm:ss"));
}

double RVTreatmentPlanListCell::contentHeightFor(const QString& content, const QFont& font)
{
    QTextDocument document;
    document.setDocumentMargin(0);
    document.setDefaultFont(font);
    document.setPlainText(content);
    document.setTextWidth(kContentWidth);
    return std::max(document.size().height(), kMinContentHeight);
}

void RVTreatmentPlanListCell::setModel(const RVPlanModel& model)
{
    m_model = model;
    m_titleLabel->setText(titleOf(model), SystemFont(15), 0);
    m_timeLabel->setText(timeTextOf(model.createTime), SystemFont(13), 1);
    m_contentLabel->setPlainText(model.content);
    m_contentLabel->setFixedHeight(static_cast<int>(std::ceil(contentHeightFor(model.content, m_contentLabel->font()))));
}

namespace widgets {

QString NumberText(double number)
{
    return QString::number(number, 'g', 15); // 15 digits: 0.1 reads "0.1", not its binary tail
}

void drawWithRect(QPainter& painter, double number, const QRectF& rect, int flags, const QFont& font)
{
    painter.save();
    painter.setFont(font);
    painter.drawText(rect, flags, NumberText(number));
    painter.restore();
}

void drawVerticalCenterWithRect(QPainter& painter, double number, const QRectF& rect, int flags,
                                const QFont& font, int lineNum)
{
    foundation::DrawVerticalCenter(painter, NumberText(number), rect, flags, font, lineNum);
}

} // namespace widgets
