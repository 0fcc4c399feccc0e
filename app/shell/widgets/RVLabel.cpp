// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/shell/widgets/RVLabel.h"

#include <QEvent>
#include <QFontMetricsF>
#include <QPainter>
#include <QTextLayout>
#include <QTextOption>

#include <cmath>

namespace widgets {

std::optional<Qt::Alignment> HorizontalAlignment(qint64 code)
{
    switch (code) {
    case 0: return Qt::AlignLeft;
    case 1: return Qt::AlignRight;
    case 2: return Qt::AlignHCenter;
    case 3: return Qt::AlignJustify;
    case 4: return Qt::AlignLeading;
    default: return std::nullopt;
    }
}

} // namespace widgets

namespace {

QFont DefaultLabelFont()
{
    QFont font;
    font.setPixelSize(14);
    return font;
}

// Height of the text laid out in the width, breaking at any character.
double WrappedHeight(const QString& text, const QFont& font, double width, Qt::Alignment alignment)
{
    if (text.isEmpty())
        return 0;
    QTextLayout layout(text, font);
    QTextOption option(alignment);
    option.setWrapMode(QTextOption::WrapAnywhere);
    layout.setTextOption(option);
    layout.beginLayout();
    double height = 0;
    for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
        line.setLineWidth(std::max(1.0, width));
        height += line.height();
    }
    layout.endLayout();
    return height;
}

} // namespace

RVLabel::RVLabel(QWidget* parent) : QWidget(parent)
{
    m_textHeight = 0;
    relayout();
}

QFont RVLabel::font() const
{
    if (!m_hasFont) {
        m_font = DefaultLabelFont();
        m_hasFont = true;
    }
    return m_font;
}

void RVLabel::setFont(const QFont& font)
{
    m_font = font;
    m_hasFont = true;
    relayout();
}

QColor RVLabel::textColor() const
{
    return m_textColor.isValid() ? m_textColor : QColor(Qt::black);
}

void RVLabel::setTextColor(const QColor& colour)
{
    m_textColor = colour;
    QWidget::update();
}

void RVLabel::setString(const QString& text)
{
    m_string = text;
    relayout();
}

void RVLabel::setBackgroundColor(const QColor& colour)
{
    m_backgroundColor = colour;
    QWidget::update();
}

void RVLabel::setNumberOfLines(qint64 count)
{
    m_numberOfLines = count;
    relayout();
}

void RVLabel::setAlignment(qint64 code)
{
    m_alignment = code;
    if (const auto alignment = widgets::HorizontalAlignment(code))
        m_drawnAlignment = *alignment;
    QWidget::update();
}

double RVLabel::lineHeight() const
{
    const QFontMetricsF metrics(font());
    return metrics.ascent() + metrics.descent();
}

QSize RVLabel::sizeHint() const
{
    if (wraps())
        return {width(), heightForWidth(width())};
    const double w = m_string.isEmpty() ? 0 : QFontMetricsF(font()).horizontalAdvance(m_string);
    return {static_cast<int>(std::ceil(w)), static_cast<int>(std::ceil(lineHeight() + 2))};
}

int RVLabel::heightForWidth(int width) const
{
    const double text = WrappedHeight(m_string, font(), width, m_drawnAlignment);
    return static_cast<int>(std::ceil(std::max(text, lineHeight()) + 2));
}

QRectF RVLabel::textBand() const
{
    return {0, (height() - m_textHeight) / 2, static_cast<double>(width()), m_textHeight};
}

void RVLabel::relayout()
{
    // One line keeps the band one line high; wrapped text takes the height it needs
    // at the current width.
    m_textHeight = wraps() ? heightForWidth(width()) : lineHeight() + 2;
    updateGeometry();
    QWidget::update();
}

void RVLabel::resizeEvent(QResizeEvent*)
{
    relayout();
}

void RVLabel::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    if (m_backgroundColor.isValid())
        painter.fillRect(rect(), m_backgroundColor);
    if (m_string.isEmpty())
        return;
    painter.setFont(font());
    painter.setPen(textColor());
    QTextOption option(m_drawnAlignment | Qt::AlignTop);
    option.setWrapMode(wraps() ? QTextOption::WrapAnywhere : QTextOption::NoWrap);
    // The band is one pixel inside at the top, like the two spare pixels of its height.
    painter.drawText(textBand().adjusted(0, 1, 0, -1), m_string, option);
}

NSLabel::NSLabel(QWidget* parent) : QLabel(parent)
{
    setFrameShape(QFrame::NoFrame);
    setAutoFillBackground(true);
    setTextInteractionFlags(Qt::NoTextInteraction);
    setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
}

void NSLabel::setText(const QString& text, const QFont& font, qint64 textAlignment)
{
    QLabel::setText(text);
    setFont(font);
    m_textAlignment = textAlignment;
    setAlignment(widgets::HorizontalAlignment(textAlignment).value_or(Qt::AlignLeft) | Qt::AlignVCenter);
}

void NSLabel::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::EnabledChange)
        setAttribute(Qt::WA_TransparentForMouseEvents, !isEnabled());
    QLabel::changeEvent(event);
}
