// SPDX-License-Identifier: GPL-3.0-or-later
// A small fixed grid of text cells with an optional titled header above it, as the
// model-measure pane shows its tables. The owner fixes rows and columns, fills the
// cell records through GetGridValueAtRow, then builds the table once and lays it
// out with UpdateSize whenever it lays the grid out. GUI thread only.
#pragma once

#include <QLineEdit>
#include <QTableWidget>
#include <QWidget>

#include <string>
#include <vector>

struct GridSection {
    std::string val; // UTF-8
    bool bColor = false;
};

struct GridValue {
    std::string val; // UTF-8
    qint32 nTag = 0;
    bool bColor = false; // shaded grey
};

class GridTableDelegate {
public:
    virtual ~GridTableDelegate() = default;
    // A click on the table; row -1 below the last row.
    virtual void SelectNotify(QObject* grid, int row, int col) = 0;
    // The text of a cell an owner made editable was edited.
    virtual void TextNotify(QObject* grid, int row, int col, const QString& text) {}
};

class GridTableSection : public QWidget {
    Q_OBJECT
public:
    using QWidget::QWidget;
    void SetGridSection(const GridSection& section);
    QLineEdit* text() const { return m_pText; }

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    QLineEdit* m_pText = nullptr;
    QWidget* m_bottomLine = nullptr;
};

class GridTable;

class GridTableCell : public QWidget {
    Q_OBJECT
public:
    using QWidget::QWidget;
    void SetGridValue(GridTable* grid, const GridValue& value, int row, int col);
    QLineEdit* text() const { return m_pText; }
    void set_delegate(GridTableDelegate* delegate) { m_delegate = delegate; }

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void controlTextDidEndEditing();

    QLineEdit* m_pText = nullptr;
    GridTable* m_pTableView = nullptr;
    int m_row = 0;
    int m_col = 0;
    GridTableDelegate* m_delegate = nullptr;
};

class GridTable : public QWidget {
    Q_OBJECT
public:
    static constexpr int kRowHeight = 22;
    static constexpr double kSectionRows = 1.5;

    // rows x cols empty cells; no table until CreateGridTable. Negative counts count as 0.
    GridTable(int rows, int cols, bool section, const QRect& frame, QWidget* parent = nullptr);

    void set_delegate(GridTableDelegate* delegate) { m_delegate = delegate; }
    GridTableDelegate* _delegate() const { return m_delegate; }
    void SetGridSectionValue(const QString& text, bool color);
    // The cell record, for the owner to fill; null outside the grid.
    GridValue* GetGridValueAtRow(int row, int col);

    // Builds the table (once; later calls do nothing) and sizes it.
    void CreateGridTable();
    // Width of the parent (0 without one); height rows x 22, plus 33 with a header.
    void UpdateSize();
    // Shows the cell records as they are now.
    void Reload();

    QTableWidget* tableView() const { return m_pTableView; }
    GridTableSection* section() const { return m_pSection; }
    GridTableCell* cellAt(int row, int col) const;

private:
    void ontablerowclicked(int row, int col);
    bool eventFilter(QObject* watched, QEvent* event) override;

    QTableWidget* m_pTableView = nullptr;
    GridTableSection* m_pSection = nullptr;
    int m_row;
    int m_col;
    bool m_bSection;
    std::vector<std::vector<GridValue>> m_GridValus;
    GridSection m_Section;
    GridTableDelegate* m_delegate = nullptr;
};
