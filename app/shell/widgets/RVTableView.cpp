// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/shell/widgets/RVTableView.h"

#include <QCoreApplication>
#include <QDebug>
#include <QMouseEvent>

RVTableView::RVTableView(QWidget* parent) : QTableView(parent)
{
    setMouseTracking(true);
}

std::pair<int, int> RVTableView::CellAt(const QPoint& point) const
{
    return {columnAt(point.x()), rowAt(point.y())};
}

// Only a cell that still exists hears of it; its widget is never made for this.
void RVTableView::TellExited()
{
    if (!model() || m_currentRow < 0 || m_currentRow >= model()->rowCount(rootIndex()) || m_currentColumn < 0 ||
        m_currentColumn >= model()->columnCount(rootIndex()))
        return;
    qDebug().noquote() << QStringLiteral("column = %1, row = %2").arg(m_currentColumn).arg(m_currentRow);
    if (QWidget* cell = indexWidget(model()->index(m_currentRow, m_currentColumn, rootIndex()))) {
        QEvent leave(QEvent::Leave);
        QCoreApplication::sendEvent(cell, &leave);
    }
}

void RVTableView::mouseMoveEvent(QMouseEvent* event)
{
    QTableView::mouseMoveEvent(event);
    const auto [column, row] = CellAt(event->position().toPoint()); // viewport coordinates
    if (column == m_currentColumn && row == m_currentRow)
        return;
    TellExited();
    m_currentColumn = column;
    m_currentRow = row;
}

void RVTableView::leaveEvent(QEvent* event)
{
    QTableView::leaveEvent(event);
    const QPoint at = viewport()->mapFromGlobal(QCursor::pos());
    const auto [column, row] = CellAt(at);
    if (column != m_currentColumn || row != m_currentRow)
        TellExited();
    m_currentColumn = -1;
    m_currentRow = -1;
}
