// SPDX-License-Identifier: GPL-3.0-or-later
// A table that records the cell under the mouse and tells the cell widget the mouse
// has left (a Leave event) when the mouse moves to another cell or leaves the table.
// Cell widgets detect entering themselves. GUI thread only.
#pragma once

#include <QTableView>

class RVTableView : public QTableView {
    Q_OBJECT
public:
    explicit RVTableView(QWidget* parent = nullptr);

    int currentColumn() const { return m_currentColumn; }
    int currentRow() const { return m_currentRow; }
    void setCurrentColumn(int column) { m_currentColumn = column; }
    void setCurrentRow(int row) { m_currentRow = row; }

protected:
    void mouseMoveEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;

private:
    // The cell at a point of the viewport, (-1, -1) where there is none.
    std::pair<int, int> CellAt(const QPoint& point) const;
    void TellExited();

    int m_currentColumn = -1;
    int m_currentRow = -1;
};
