#pragma once
// The framework's string grid: a table of texts addressed by column and row,
// with fixed (title) rows and columns, per-column widths and per-row heights,
// and an owner-draw event painting on Canvas().
#include "FormEvents.h"
#include "TCanvas.h"
#include "TDBGrid.h" // TGridDrawState

#include <QTableView>

namespace trd {

class TStringGrid;
class TStringGridModel;
using TDrawCellEvent =
    std::function<void(TStringGrid* sender, int col, int row, const QRect& rect, TGridDrawState state)>;

class TStringGrid : public QTableView {
    Q_OBJECT
public:
    explicit TStringGrid(QWidget* parent = nullptr);
    ~TStringGrid() override;

    int ColCount() const;
    void SetColCount(int count);
    int RowCount() const;
    void SetRowCount(int count);
    int FixedCols() const { return m_fixedCols; }
    void SetFixedCols(int count);
    int FixedRows() const { return m_fixedRows; }
    void SetFixedRows(int count);

    QString Cells(int col, int row) const;
    void SetCells(int col, int row, const QString& text);

    int ColWidths(int col) const;
    void SetColWidths(int col, int width);
    int RowHeights(int row) const;
    void SetRowHeights(int row, int height);
    int DefaultColWidth() const { return m_defaultColWidth; }
    void SetDefaultColWidth(int width);
    int DefaultRowHeight() const { return m_defaultRowHeight; }
    void SetDefaultRowHeight(int height);

    // The current cell (never a fixed one).
    int Col() const;
    int Row() const;
    void SetCol(int col);
    void SetRow(int row);

    QColor Color; // background of the non-fixed cells
    QColor FixedColor;
    bool DefaultDrawing = true;
    bool Editing() const { return m_editing; }
    void SetEditing(bool editing);

    // Valid inside OnDrawCell.
    TCanvas* Canvas() { return &m_canvas; }
    TDrawCellEvent OnDrawCell;
    TNotifyEvent OnSelectCell;

private:
    friend class TStringGridDelegate;
    void paintCell(QPainter* painter, const QRect& rect, int col, int row, const QFont& font);
    void ensureCurrent();

    TStringGridModel* m_model;
    TCanvas m_canvas;
    int m_fixedCols = 1;
    int m_fixedRows = 1;
    int m_defaultColWidth = 64;
    int m_defaultRowHeight = 24;
    bool m_editing = false;
    bool m_paintErrorShown = false;
};

} // namespace trd
