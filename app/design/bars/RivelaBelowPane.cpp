// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/design/bars/RivelaBelowPane.h"

#include <QMouseEvent>
#include <QPainter>

#include <algorithm>
#include <cmath>

void NSStepButton::setCurrentIndex(qint64 index)
{
    m_currentIndex = index;
    update();
}

void NSStepButton::setTotalStep(qint64 total)
{
    m_totalStep = total;
    update();
}

void NSStepButton::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const double w = width();
    painter.setPen(Qt::NoPen);
    painter.setBrush(kColour);
    painter.drawEllipse(QPointF(w / 2, w / 2), w / 2, w / 2);
    const QString text = QString::number(m_currentIndex);
    QFont font = painter.font();
    font.setPixelSize(12);
    painter.setFont(font);
    painter.setPen(Qt::white);
    const double x = (w - double(text.size()) * 12 / 1.8) / 2;
    painter.drawText(QRectF(x, 0, w, height()), Qt::AlignLeft | Qt::AlignVCenter, text);
}

void NSStepButton::mouseMoveEvent(QMouseEvent* event)
{
    if (!(event->buttons() & Qt::LeftButton) || !stepMoveLocation)
        return;
    stepMoveLocation(QPointF(event->position().x(), height() - event->position().y()));
}

RivelaBelowPane::RivelaBelowPane(QWidget* parent) : RivelaAuxPane(parent)
{
    m_model.iconsChanged = [this] { applyIcons(); };
    m_model.showStep = [this](bool createMarker) { showStep(createMarker); };
}

RivelaBelowPane::~RivelaBelowPane()
{
    m_model.iconsChanged = nullptr;
    m_model.showStep = nullptr;
}

void RivelaBelowPane::createAuxPane()
{
    m_model.initBelowData();
    CreateStepBar();
    update();
}

MenuBar* RivelaBelowPane::CreateStepBar()
{
    if (m_pStepBar)
        return m_pStepBar;
    m_pStepBar = new MenuBar(this);
    m_pStepBar->setGeometry(RivelaStepBarModel::getStepFrame(height()).toRect());
    m_pStepBar->setDelegate(this);
    m_pStepBar->setConsiderSelected(false);
    m_model.stepConfigureArrItems();
    m_pStepBar->show();
    return m_pStepBar;
}

void RivelaBelowPane::RemoveAuxView()
{
    setParent(nullptr);
}

void RivelaBelowPane::applyIcons()
{
    if (!m_pStepBar)
        return;
    const RivelaStepIcons& icons = m_model.icons();
    m_pStepBar->configureIconItems(icons.items);
    m_pStepBar->updateIconItems(icons.replaceItems);
    m_pStepBar->setConsiderSelected(icons.considerSelected);
}

void RivelaBelowPane::menuBarDidSelectIconAtIndex(MenuBar&, qint64 index)
{
    m_model.menuBarDidSelectIconAtIndex(index);
}

QSizeF RivelaBelowPane::markerSize() const
{
    return m_btnCurStep ? QSizeF(m_btnCurStep->size())
                        : QSizeF(RivelaStepBarModel::kMarkerSize, RivelaStepBarModel::kMarkerSize);
}

NSStepButton* RivelaBelowPane::drawCrtStepButton()
{
    if (!m_btnCurStep) {
        m_btnCurStep = new NSStepButton(this);
        const int size = int(RivelaStepBarModel::kMarkerSize);
        m_btnCurStep->setGeometry(int(std::lround(m_model.getMoveButtonOriginX(size))), 10, size, size);
        m_btnCurStep->stepMoveLocation = [this](const QPointF& point) { stepMoveLocation(point); };
        m_btnCurStep->setCurrentIndex(m_model.m_nCurrentStep);
        m_btnCurStep->show();
    }
    return m_btnCurStep;
}

void RivelaBelowPane::showStep(bool createMarker)
{
    if (createMarker)
        drawCrtStepButton();
    if (m_btnCurStep)
        m_btnCurStep->setCurrentIndex(m_model.m_nCurrentStep);
    updateMoveButtonSize();
    update();
}

void RivelaBelowPane::updateMoveButtonSize()
{
    m_model.setPaneWidth(width());
    if (m_btnCurStep)
        m_btnCurStep->move(int(std::lround(m_model.getMoveButtonOriginX(m_btnCurStep->width()))), m_btnCurStep->y());
}

void RivelaBelowPane::resizeEvent(QResizeEvent* event)
{
    RivelaAuxPane::resizeEvent(event);
    if (m_pStepBar)
        m_pStepBar->move(RivelaStepBarModel::getStepFrame(height()).topLeft().toPoint());
    updateMoveButtonSize();
}

void RivelaBelowPane::paintEvent(QPaintEvent*)
{
    m_model.applySchemeDisplay();
    m_model.setPaneWidth(width());
    QPainter painter(this);
    drawStepText(painter);
    drawLines(painter);
    if (!m_model.isNullStep())
        drawCrtStepButton();
}

void RivelaBelowPane::drawStepText(QPainter& painter)
{
    const double h = height();
    const double tx = RivelaStepBarModel::kTextX;
    QFont font = painter.font();
    font.setPixelSize(14);
    painter.setFont(font);
    painter.setPen(kTextColour);
    const QString up = m_model.m_nUpStep.isNull() ? QStringLiteral("0") : m_model.m_nUpStep;
    const QString down = m_model.m_nDownStep.isNull() ? QStringLiteral("0") : m_model.m_nDownStep;
    // The upper number stands on a line 4 points above the middle, the lower one
    // hangs from a line 4 points below it.
    painter.drawText(QRectF(tx, 0, 40, h / 2 - 4), Qt::AlignLeft | Qt::AlignBottom, up);
    painter.drawText(QRectF(tx, h / 2 + 4, 40, 18), Qt::AlignLeft | Qt::AlignTop, down);
    painter.fillRect(QRectF(tx, (h - 2) / 2, 14, 2), kTextColour);
}

void RivelaBelowPane::drawLines(QPainter& painter)
{
    if (m_model.m_nMaxStep <= 0)
        return;
    const qint64 up = m_model.m_nUpStep.toLongLong();
    const qint64 down = m_model.m_nDownStep.toLongLong();
    setDrawLineRef(painter, upperRowY(), up);
    setDrawLineRef(painter, lowerRowY(), down);
}

void RivelaBelowPane::setDrawLineRef(QPainter& painter, double y, qint64 lastStep)
{
    const double x0 = RivelaStepBarModel::kScaleX;
    const double sw = m_model.stepWidth();
    const qint64 max = m_model.m_nMaxStep;
    const bool modelDisplay = m_model.IsSchemeType() == 2 && m_model.m_bStepModel;
    painter.setRenderHint(QPainter::Antialiasing, false);
    auto stroke = [&](double from, double to, const QColor& colour) {
        painter.setPen(QPen(colour, 2.2, Qt::SolidLine, Qt::FlatCap));
        painter.drawLine(QPointF(from, y), QPointF(to, y));
    };
    for (qint64 i = 0; i < max; ++i) {
        QColor colour;
        if (i < lastStep)
            colour = i < m_model.m_nCurrentStep ? kPastColour : kComingColour;
        else if (modelDisplay)
            continue;
        else
            colour = kEndedColour;
        stroke(x0 + double(i) * sw, x0 + double(i + 1) * sw, colour);
    }
    // The over-correction steps.
    for (qint64 i = std::max<qint64>(0, m_model.m_nTotalStep); i < max; ++i)
        stroke(x0 + double(i) * sw, x0 + double(i + 1) * sw, Qt::black);
    for (qint64 j = 1; j < max; ++j)
        stroke(x0 + double(j) * sw, x0 + double(j) * sw + 2, Qt::white);
}
