#include "TStringGrid.h"

#include "Dispatch.h"

#include <QAbstractTableModel>
#include <QHeaderView>
#include <QPainter>
#include <QStyledItemDelegate>

#include <vector>

namespace trd {

// The texts, column by row, and which cells are fixed.
class TStringGridModel : public QAbstractTableModel {
public:
    explicit TStringGridModel(TStringGrid* grid) : QAbstractTableModel(grid), m_grid(grid) { }

    int rowCount(const QModelIndex& parent = {}) const override { return parent.isValid() ? 0 : m_rows; }
    int columnCount(const QModelIndex& parent = {}) const override { return parent.isValid() ? 0 : m_cols; }

    QVariant data(const QModelIndex& index, int role) const override
    {
        if (!index.isValid() || (role != Qt::DisplayRole && role != Qt::EditRole))
            return {};
        return cell(index.column(), index.row());
    }

    bool setData(const QModelIndex& index, const QVariant& value, int role) override
    {
        if (!index.isValid() || role != Qt::EditRole)
            return false;
        setCell(index.column(), index.row(), value.toString());
        return true;
    }

    Qt::ItemFlags flags(const QModelIndex& index) const override
    {
        if (!index.isValid() || index.column() < m_grid->FixedCols() || index.row() < m_grid->FixedRows())
            return Qt::NoItemFlags;
        Qt::ItemFlags f = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
        if (m_grid->Editing())
            f |= Qt::ItemIsEditable;
        return f;
    }

    QString cell(int col, int row) const
    {
        if (col < 0 || row < 0 || col >= m_cols || row >= m_rows)
            return {};
        return m_cells[static_cast<size_t>(row) * static_cast<size_t>(m_cols) + static_cast<size_t>(col)];
    }

    void setCell(int col, int row, const QString& text)
    {
        if (col < 0 || row < 0 || col >= m_cols || row >= m_rows)
            return;
        m_cells[static_cast<size_t>(row) * static_cast<size_t>(m_cols) + static_cast<size_t>(col)] = text;
        emit dataChanged(index(row, col), index(row, col));
    }

    void resize(int cols, int rows)
    {
        cols = qMax(0, cols);
        rows = qMax(0, rows);
        std::vector<QString> cells(static_cast<size_t>(cols) * static_cast<size_t>(rows));
        for (int r = 0; r < qMin(rows, m_rows); ++r)
            for (int c = 0; c < qMin(cols, m_cols); ++c)
                cells[static_cast<size_t>(r) * static_cast<size_t>(cols) + static_cast<size_t>(c)] = cell(c, r);
        beginResetModel();
        m_cells.swap(cells);
        m_cols = cols;
        m_rows = rows;
        endResetModel();
    }

private:
    TStringGrid* m_grid;
    std::vector<QString> m_cells;
    int m_cols = 0;
    int m_rows = 0;
};

class TStringGridDelegate : public QStyledItemDelegate {
public:
    explicit TStringGridDelegate(TStringGrid* grid) : QStyledItemDelegate(grid), m_grid(grid) { }
    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override
    {
        m_grid->paintCell(painter, option.rect, index.column(), index.row(), option.font);
    }

private:
    TStringGrid* m_grid;
};

TStringGrid::TStringGrid(QWidget* parent) : QTableView(parent), m_model(new TStringGridModel(this))
{
    Color = clWindow();
    FixedColor = clBtnFace();
    setModel(m_model);
    setItemDelegate(new TStringGridDelegate(this));
    horizontalHeader()->hide();
    verticalHeader()->hide();
    horizontalHeader()->setMinimumSectionSize(1);
    verticalHeader()->setMinimumSectionSize(1);
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    horizontalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setWordWrap(false);
    SetColCount(5);
    SetRowCount(5);
    connect(selectionModel(), &QItemSelectionModel::currentChanged, this, [this] {
        if (OnSelectCell)
            Dispatch([this] { OnSelectCell(this); });
    });
}

TStringGrid::~TStringGrid() = default;

int TStringGrid::ColCount() const
{
    return m_model->columnCount();
}
int TStringGrid::RowCount() const
{
    return m_model->rowCount();
}

void TStringGrid::SetColCount(int count)
{
    const int old = ColCount();
    std::vector<int> widths;
    for (int c = 0; c < old; ++c)
        widths.push_back(columnWidth(c));
    m_model->resize(count, RowCount());
    for (int c = 0; c < count; ++c)
        setColumnWidth(c, c < old ? widths[static_cast<size_t>(c)] : m_defaultColWidth);
    ensureCurrent();
}

void TStringGrid::SetRowCount(int count)
{
    const int old = RowCount();
    std::vector<int> heights;
    for (int r = 0; r < old; ++r)
        heights.push_back(rowHeight(r));
    m_model->resize(ColCount(), count);
    for (int r = 0; r < count; ++r)
        setRowHeight(r, r < old ? heights[static_cast<size_t>(r)] : m_defaultRowHeight);
    ensureCurrent();
}

void TStringGrid::SetFixedCols(int count)
{
    m_fixedCols = qMax(0, count);
    ensureCurrent();
    viewport()->update();
}

void TStringGrid::SetFixedRows(int count)
{
    m_fixedRows = qMax(0, count);
    ensureCurrent();
    viewport()->update();
}

void TStringGrid::ensureCurrent()
{
    const QModelIndex current = currentIndex();
    if (current.isValid() && current.column() >= m_fixedCols && current.row() >= m_fixedRows)
        return;
    if (m_fixedCols < ColCount() && m_fixedRows < RowCount())
        setCurrentIndex(m_model->index(m_fixedRows, m_fixedCols));
}

QString TStringGrid::Cells(int col, int row) const
{
    return m_model->cell(col, row);
}
void TStringGrid::SetCells(int col, int row, const QString& text)
{
    m_model->setCell(col, row, text);
}

int TStringGrid::ColWidths(int col) const
{
    return columnWidth(col);
}
void TStringGrid::SetColWidths(int col, int width)
{
    setColumnWidth(col, width);
}
int TStringGrid::RowHeights(int row) const
{
    return rowHeight(row);
}
void TStringGrid::SetRowHeights(int row, int height)
{
    setRowHeight(row, height);
}

void TStringGrid::SetDefaultColWidth(int width)
{
    m_defaultColWidth = width;
    for (int c = 0; c < ColCount(); ++c)
        setColumnWidth(c, width);
}

void TStringGrid::SetDefaultRowHeight(int height)
{
    m_defaultRowHeight = height;
    for (int r = 0; r < RowCount(); ++r)
        setRowHeight(r, height);
}

int TStringGrid::Col() const
{
    return currentIndex().isValid() ? currentIndex().column() : m_fixedCols;
}
int TStringGrid::Row() const
{
    return currentIndex().isValid() ? currentIndex().row() : m_fixedRows;
}

void TStringGrid::SetCol(int col)
{
    if (col >= m_fixedCols && col < ColCount())
        setCurrentIndex(m_model->index(Row(), col));
}

void TStringGrid::SetRow(int row)
{
    if (row >= m_fixedRows && row < RowCount())
        setCurrentIndex(m_model->index(row, Col()));
}

void TStringGrid::SetEditing(bool editing)
{
    m_editing = editing;
    setEditTriggers(editing ? (QAbstractItemView::AnyKeyPressed | QAbstractItemView::EditKeyPressed
                               | QAbstractItemView::DoubleClicked)
                            : QAbstractItemView::NoEditTriggers);
}

void TStringGrid::paintCell(QPainter* painter, const QRect& rect, int col, int row, const QFont& font)
{
    const bool fixed = col < m_fixedCols || row < m_fixedRows;
    const QModelIndex current = currentIndex();
    const bool currentCell = current.isValid() && current.column() == col && current.row() == row;
    TGridDrawState state = 0;
    if (fixed)
        state |= gdFixed;
    if (currentCell && !fixed)
        state |= gdSelected;
    if (currentCell && hasFocus())
        state |= gdFocused;

    m_canvas.SetPainter(painter);
    m_canvas.SetBaseFont(font);
    // As the framework prepares the canvas: a selected cell is highlighted,
    // except the focused one, which shows the focus rectangle instead.
    const bool highlight = (state & gdSelected) && !(state & gdFocused);
    m_canvas.Brush.Color = fixed ? FixedColor : (highlight ? clHighlight() : Color);
    m_canvas.Font.Color = highlight ? clHighlightText() : clWindowText();
    painter->save();
    painter->setClipRect(rect);
    bool ok = true;
    try {
        if (DefaultDrawing) {
            m_canvas.FillRect(rect);
            m_canvas.TextRect(rect, rect.left() + 2, rect.top() + 2, Cells(col, row));
            if (state & gdFocused)
                m_canvas.DrawFocusRect(rect);
        }
        if (OnDrawCell)
            OnDrawCell(this, col, row, rect, state);
    } catch (...) {
        ok = false;
        // Shown after the paint, once until a cell paints cleanly again.
        if (!m_paintErrorShown)
            HandleExceptionLater(this);
        m_paintErrorShown = true;
    }
    if (ok)
        m_paintErrorShown = false;
    painter->restore();
    m_canvas.SetPainter(nullptr);
}

} // namespace trd
