// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/shell/widgets/RVSwitchView.h"

namespace {

QPushButton* NewSegment(QWidget* parent)
{
    auto* button = new QPushButton(QString(), parent);
    button->setFlat(true);
    button->setFocusPolicy(Qt::NoFocus);
    return button;
}

void SetColour(QPushButton* button, const QColor& colour)
{
    button->setProperty("segmentColour", colour);
    button->setStyleSheet(QStringLiteral("QPushButton { background-color: %1; border: none; border-radius: 5px;"
                                         " color: white; font-size: 13px; }")
                              .arg(colour.name(QColor::HexArgb)));
}

} // namespace

RVSwitchView::RVSwitchView(QWidget* parent)
    : QWidget(parent), m_leftBtn(NewSegment(this)), m_rightBtn(NewSegment(this))
{
    connect(m_leftBtn, &QPushButton::clicked, this, [this] { leftBtnAction(); });
    connect(m_rightBtn, &QPushButton::clicked, this, [this] { rightBtnAction(); });
    recover();
}

QColor RVSwitchView::normalColor() const
{
    return m_normalColor.isValid() ? m_normalColor : QColor(115, 115, 115);
}

QColor RVSwitchView::selectedColor() const
{
    return m_selectedColor.isValid() ? m_selectedColor : QColor(68, 68, 68);
}

QColor RVSwitchView::colourOf(const QPushButton* button)
{
    return button->property("segmentColour").value<QColor>();
}

void RVSwitchView::setLeftTitle(const QString& left, const QString& rightTitle)
{
    m_leftBtn->setText(left);
    m_rightBtn->setText(rightTitle);
}

void RVSwitchView::paint(const QColor& left, const QColor& right)
{
    SetColour(m_leftBtn, left);
    SetColour(m_rightBtn, right);
}

void RVSwitchView::recover()
{
    paint(normalColor(), selectedColor());
}

void RVSwitchView::changeToSelectedStatus(bool status)
{
    if (status)
        paint(normalColor(), selectedColor());
    else
        paint(selectedColor(), normalColor());
}

void RVSwitchView::leftBtnAction()
{
    // The delegate hears first, so the click's own colours win over any it sets.
    if (m_delegate)
        m_delegate->view(this, 0);
    paint(selectedColor(), normalColor());
}

void RVSwitchView::rightBtnAction()
{
    if (m_delegate)
        m_delegate->view(this, 1);
    paint(normalColor(), selectedColor());
}

void RVSwitchView::resizeEvent(QResizeEvent*)
{
    // Each segment is half the width less one, 2 in from its outer edge and from top
    // and bottom: the two overlap by 2 in the middle.
    const double half = width() * 0.5 - 1;
    const int h = height() - 4;
    m_leftBtn->setGeometry(2, 2, static_cast<int>(half), h);
    m_rightBtn->setGeometry(static_cast<int>(width() - 2 - half), 2, static_cast<int>(half), h);
}
