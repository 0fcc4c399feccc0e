// SPDX-License-Identifier: GPL-3.0-or-later
// One row of the treatment-plan list: a bordered card with the plan's title on a grey
// band, the header "方案内容" with the creation time on the right, a hairline and
// the plan's content, as high as the content needs (at least 60). GUI thread only.
#pragma once

#include "app/service/RVFileModel.h"

#include <QTextEdit>
#include <QWidget>

class NSLabel;

class RVTreatmentPlanListCell : public QWidget {
    Q_OBJECT
public:
    explicit RVTreatmentPlanListCell(QWidget* parent = nullptr);

    // Fills every text and the content height from the plan.
    void setModel(const RVPlanModel& model);
    const RVPlanModel& model() const { return m_model; }

    NSLabel* titleLabel() const { return m_titleLabel; }
    NSLabel* timeLabel() const { return m_timeLabel; }
    QTextEdit* contentLabel() const { return m_contentLabel; }

    // "【Belvista】" when handed over, the type title ("后台建议" for "2", "后台专家方案"
    // for "3", "医生方案" otherwise), then the plan's name.
    static QString titleOf(const RVPlanModel& model);
    // The creation time (milliseconds since 1970, whole seconds kept) in local time as
    // "yyyy-MM-dd HH:mm:ss"; "" for an empty text.
    static QString timeTextOf(const QString& createTime);
    // The content's height in the content font at width 350, at least 60.
    static double contentHeightFor(const QString& content, const QFont& font);

private:
    void setupSubviews();

    RVPlanModel m_model;
    NSLabel* m_titleLabel;
    NSLabel* m_timeLabel;
    QTextEdit* m_contentLabel;
};

class QPainter;

// Numbers that draw themselves as text, the way the clinical sheet fills its tables.
namespace widgets {
// The number's text ("%@" of the number: 12 gives "12", 1.5 gives "1.5").
QString NumberText(double number);
void drawWithRect(QPainter& painter, double number, const QRectF& rect, int flags, const QFont& font);
void drawVerticalCenterWithRect(QPainter& painter, double number, const QRectF& rect, int flags,
                                const QFont& font, int lineNum);
} // namespace widgets
