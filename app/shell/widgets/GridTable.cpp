// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/shell/widgets/GridTable.h"

#include <QFontMetricsF>
#include <QHeaderView>
#include <QMouseEvent>

#include <algorithm>
#include <cmath>

namespace {

const QColor kShade(221, 221, 221);

QFont SystemFont(int pixels)
{
    QFont font;
    font.setPixelSize(pixels);
    return font;
}

// A borderless read-only text field, centred vertically in the bounds.
QLineEdit* CentredField(QWidget* parent, const QString& text, const QFont& font, Qt::Alignment alignment)
{
    auto* field = new QLineEdit(text, parent);
    field->setReadOnly(true);
    field->setFrame(false);
    field->setFont(font);
    field->setAlignment(alignment | Qt::AlignVCenter);
    field->setFocusPolicy(Qt::NoFocus);
    field->setAttribute(Qt::WA_TransparentForMouseEvents); // clicks belong to the table
    return field;
}

// The field one text line high, centred vertically in its parent.
void CentreField(QLineEdit* field)
{
    if (!field)
        return;
    const QWidget* parent = field->parentWidget();
    const double inset = (parent->height() - std::ceil(QFontMetricsF(field->font()).height())) / 2;
    field->setGeometry(QRectF(parent->rect()).adjusted(0, inset, 0, -inset).toRect());
}

void Shade(QWidget* widget, const QColor& colour)
{
    widget->setAutoFillBackground(true);
    QPalette palette = widget->palette();
    palette.setColor(QPalette::Window, colour);
    palette.setColor(QPalette::Base, colour);
    widget->setPalette(palette);
}

} // namespace

void GridTableSection::SetGridSection(const GridSection& section)
{
    Shade(this, kShade);
    m_pText = CentredField(this, QStringLiteral("  ") + QString::fromStdString(section.val), SystemFont(15),
                           Qt::AlignLeft);
    Shade(m_pText, kShade);
    m_bottomLine = new QWidget(this);
    Shade(m_bottomLine, Qt::lightGray);
    resizeEvent(nullptr);
}

void GridTableSection::resizeEvent(QResizeEvent*)
{
    CentreField(m_pText);
    if (m_bottomLine)
        m_bottomLine->setGeometry(0, height() - 1, width(), 1);
}

void GridTableCell::SetGridValue(GridTable* grid, const GridValue& value, int row, int col)
{
    delete m_pText;
    m_pText = CentredField(this, QString::fromStdString(value.val), SystemFont(12), Qt::AlignHCenter);
    // The field is see-through: the cell paints the shade, the table the white.
    // (A style sheet: the table's own sheet overrides palettes of its cells.)
    m_pText->setStyleSheet(QStringLiteral("QLineEdit { background: transparent; border: none; }"));
    if (value.bColor)
        Shade(this, kShade);
    CentreField(m_pText);
    m_pText->show();
    connect(m_pText, &QLineEdit::editingFinished, this, [this] { controlTextDidEndEditing(); });
    m_pTableView = grid;
    m_row = row;
    m_col = col;
}

void GridTableCell::resizeEvent(QResizeEvent*)
{
    CentreField(m_pText);
}

void GridTableCell::controlTextDidEndEditing()
{
    if (m_delegate)
        m_delegate->TextNotify(m_pTableView, m_row, m_col, m_pText->text());
}

GridTable::GridTable(int rows, int cols, bool section, const QRect& frame, QWidget* parent)
    : QWidget(parent), m_row(std::max(rows, 0)), m_col(std::max(cols, 0)), m_bSection(section),
      m_GridValus(m_row, std::vector<GridValue>(m_col))
{
    setGeometry(frame);
}

void GridTable::SetGridSectionValue(const QString& text, bool color)
{
    m_Section.val = text.toStdString();
    m_Section.bColor = color;
}

GridValue* GridTable::GetGridValueAtRow(int row, int col)
{
    if (row < 0 || col < 0 || row >= m_row || col >= m_col)
        return nullptr;
    return &m_GridValus[row][col];
}

void GridTable::CreateGridTable()
{
    if (m_pTableView)
        return;
    const int headerHeight = m_bSection ? static_cast<int>(kSectionRows * kRowHeight) : 0;
    if (m_bSection) {
        // The header sits above the rows.
        m_pSection = new GridTableSection(this);
        m_pSection->setGeometry(0, 0, width(), headerHeight);
        m_pSection->SetGridSection(m_Section);
    }
    m_pTableView = new QTableWidget(m_row, m_col, this);
    m_pTableView->setGeometry(0, headerHeight, width(), m_row * kRowHeight);
    m_pTableView->setSelectionMode(QAbstractItemView::NoSelection);
    m_pTableView->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_pTableView->setFocusPolicy(Qt::NoFocus);
    m_pTableView->setFrameShape(QFrame::NoFrame);
    m_pTableView->setShowGrid(true);
    m_pTableView->setGridStyle(Qt::SolidLine);
    m_pTableView->setStyleSheet(QStringLiteral("QTableWidget { gridline-color: lightgray; background: white; }"));
    m_pTableView->horizontalHeader()->hide();
    m_pTableView->verticalHeader()->hide();
    m_pTableView->verticalHeader()->setMinimumSectionSize(1);
    m_pTableView->verticalHeader()->setDefaultSectionSize(kRowHeight);
    m_pTableView->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_pTableView->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_pTableView->viewport()->installEventFilter(this);
    UpdateSize();
    Reload();
}

void GridTable::Reload()
{
    if (!m_pTableView)
        return;
    const int cellWidth = m_col > 0 ? width() / m_col : 0;
    for (int row = 0; row < m_row; ++row)
        for (int col = 0; col < m_col; ++col) {
            auto* cell = new GridTableCell;
            // Clicks go to the table; an owner that makes a cell editable clears this.
            cell->setAttribute(Qt::WA_TransparentForMouseEvents);
            cell->resize(cellWidth, kRowHeight);
            cell->set_delegate(m_delegate);
            cell->SetGridValue(this, m_GridValus[row][col], row, col);
            m_pTableView->setCellWidget(row, col, cell);
        }
}

GridTableCell* GridTable::cellAt(int row, int col) const
{
    return m_pTableView ? qobject_cast<GridTableCell*>(m_pTableView->cellWidget(row, col)) : nullptr;
}

void GridTable::UpdateSize()
{
    const double height = (m_bSection ? m_row + kSectionRows : m_row) * kRowHeight;
    const int w = parentWidget() ? parentWidget()->width() : 0;
    resize(w, static_cast<int>(height));
    if (!m_pTableView)
        return;
    const int headerHeight = m_bSection ? static_cast<int>(kSectionRows * kRowHeight) : 0;
    m_pTableView->setGeometry(0, headerHeight, w, m_row * kRowHeight);
    if (m_pSection)
        m_pSection->setGeometry(0, 0, w, headerHeight);
    for (int col = 0; col < m_col; ++col)
        m_pTableView->setColumnWidth(col, w / m_col);
}

bool GridTable::eventFilter(QObject* watched, QEvent* event)
{
    if (m_pTableView && watched == m_pTableView->viewport() && event->type() == QEvent::MouseButtonRelease) {
        const QPoint point = static_cast<QMouseEvent*>(event)->position().toPoint();
        ontablerowclicked(m_pTableView->rowAt(point.y()), m_pTableView->columnAt(point.x()));
    }
    return QWidget::eventFilter(watched, event);
}

void GridTable::ontablerowclicked(int row, int col)
{
    if (m_delegate)
        m_delegate->SelectNotify(this, row, col);
}
