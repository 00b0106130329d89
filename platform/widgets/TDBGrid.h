#pragma once
// The data grid: a QTableView on a TDataSource, behaving as the framework's
// data grid where the module relies on it.
//
// - Its current row is the data set's current row both ways (the grid does not
//   move the data set while the data set's controls are disabled).
// - Typing into an editable cell (dgEditing on, column and field not read-only)
//   puts the data set in edit; the in-place editor's text goes to the field when
//   the cell is left. Leaving the row or Enter posts; Escape cancels.
// - Down (or Tab at the last cell) on the last row calls Next, which sets Eof,
//   and then, with dgEditing on, Append (which BeforeInsert may refuse).
// - Insert inserts (dgEditing on); Ctrl+Delete deletes, asking first with
//   dgConfirmDelete.
// - OnKeyDown, OnKeyPress and OnKeyUp see the keys whether the grid or its
//   in-place editor has the focus; OnDrawColumnCell paints on Canvas() with the
//   data set's active record set to the row being painted.
#include "FormEvents.h"
#include "TCanvas.h"
#include "TColumn.h"

#include <QLineEdit>
#include <QPersistentModelIndex>
#include <QPointer>
#include <QTableView>

#include <vector>

namespace trd {

class TClientDataSet;
}
#include "TDataSource.h"
namespace trd {
class TDBGridModel;
class TDBGridDelegate;
class TField;
enum class TDataEvent;

// The framework's options that the module's grids use; the always-shown
// editor and multiple selection are not provided.
enum TDBGridOption : int {
    dgEditing = 1 << 0,
    dgTitles = 1 << 2,
    dgIndicator = 1 << 3,
    dgColumnResize = 1 << 4,
    dgColLines = 1 << 5,
    dgRowLines = 1 << 6,
    dgTabs = 1 << 7,
    dgRowSelect = 1 << 8,
    dgAlwaysShowSelection = 1 << 9,
    dgConfirmDelete = 1 << 10,
    dgCancelOnExit = 1 << 11,
};
using TDBGridOptions = int;

enum TGridDrawStateFlag : int { gdSelected = 1, gdFocused = 2, gdFixed = 4 };
using TGridDrawState = int;

class TDBGrid;
using TDrawColumnCellEvent =
    std::function<void(TDBGrid* sender, const QRect& rect, int dataCol, TColumn* column, TGridDrawState state)>;

class TDBGrid : public QTableView {
    Q_OBJECT
public:
    explicit TDBGrid(QWidget* parent = nullptr);
    ~TDBGrid() override;

    TDataSource* DataSource() const { return m_dataSource; }
    void SetDataSource(TDataSource* source);
    TClientDataSet* DataSet() const;

    TDBGridColumns& Columns() { return m_columns; }
    // The columns shown: the persistent ones, or one per visible field when
    // none was defined.
    int VisibleColumnCount() const;
    TColumn* VisibleColumn(int index) const;
    // Re-reads titles, widths and fields after the columns were changed.
    void ColumnsChanged();
    // The shown columns (by index) that share the room the grid has beyond
    // its columns' widths, each in proportion to its width; none at first.
    // Once the user sizes a column by hand, the widths are the user's.
    void SetFillColumns(std::vector<int> columns);

    TDBGridOptions Options() const { return m_options; }
    void SetOptions(TDBGridOptions options);
    bool HasOption(TDBGridOption option) const { return (m_options & option) != 0; }
    void SetOption(TDBGridOption option, bool on);

    bool ReadOnly() const { return m_readOnly; }
    void SetReadOnly(bool readOnly) { m_readOnly = readOnly; }
    bool DefaultDrawing = true;

    // The selected column (0-based among the shown columns) and its field.
    int SelectedIndex() const;
    void SetSelectedIndex(int index);
    TField* SelectedField() const;
    TColumn* SelectedColumn() const;

    // Valid inside OnDrawColumnCell.
    TCanvas* Canvas() { return &m_canvas; }
    // The in-place editor while a cell is being edited, else nullptr.
    QLineEdit* InplaceEditor() const;
    // Opens the in-place editor on the current cell, with the field's value
    // and the cursor at its end, as F2 does; false closes it, writing its text.
    void SetEditorMode(bool on);
    // The framework's default cell painting: background and the field's text.
    void DefaultDrawColumnCell(const QRect& rect, int dataCol, TColumn* column, TGridDrawState state);

    TDrawColumnCellEvent OnDrawColumnCell;
    // The hint of a row's cells (0-based row), when it has one of its own;
    // empty: the grid's own hint.
    std::function<QString(int row)> OnRowHint;
    TNotifyEvent OnColEnter;
    TNotifyEvent OnColExit;
    TNotifyEvent OnCellClick;
    TNotifyEvent OnDblClick;
    TKeyEvent OnKeyDown;
    TKeyPressEvent OnKeyPress;
    TKeyEvent OnKeyUp;

    // Whether the cell of this row and shown column may be typed into now.
    bool CanEditCell(int row, int column) const;
    // The record being edited holds a text the user typed into one of this
    // grid's cells (written from its editor); false once it is posted or
    // cancelled, and for values set by code.
    bool RecordTyped() const { return m_recordTyped; }

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void currentChanged(const QModelIndex& current, const QModelIndex& previous) override;
    bool edit(const QModelIndex& index, EditTrigger trigger, QEvent* event) override;
    void closeEditor(QWidget* editor, QAbstractItemDelegate::EndEditHint hint) override;
    void keyboardSearch(const QString&) override { }
    bool event(QEvent* event) override;
    bool viewportEvent(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void changeEvent(QEvent* event) override;
    bool focusNextPrevChild(bool next) override;

    // The sortable grid reacts to title clicks.
    virtual void TitleClick(TColumn* column);
    TDBGridModel* model_() const { return m_model; }

private:
    friend class TDBGridDelegate;
    friend class TDBGridModel;

    void dataEvent(TDataEvent event, qintptr info);
    void dataSetDestroyed();
    void followDataSet();
    void moveDataSetTo(int row);
    void applyOptions();
    // The view's own grid lines are off; the grid fills them (GridLines.h)
    // where the view would have stroked them.
    void applyGridLines();
    void applyColumnWidths();
    void rebuildDefaultColumns();
    int rowHeight_() const;

    // Keys, from the grid or from the in-place editor. Each returns true when
    // it consumed the key.
    bool runKeyDown(QKeyEvent* event, int& key);
    bool runKeyPress(QKeyEvent* event, QChar& ch);
    bool editorKeyPress(QKeyEvent* event);
    // A shortcut override from the in-place editor (CellEditorKeys.h); true
    // when handled, with the event accepted for the cell or left for the
    // window's shortcuts.
    bool editorShortcutOverride(QKeyEvent* event);
    // Posts what the cell holds before a command runs; false when the row
    // is still being edited (the post was refused).
    bool settleEdit();
    void editorKeyRelease(QKeyEvent* event);
    bool navigationKey(int key, Qt::KeyboardModifiers modifiers);
    bool commitEditor();
    void closeInplaceEditor(bool commit);
    void reopenRefusedEdit(const QModelIndex& cell);
    void moveDown();
    void moveUp();
    void tab(bool forward);
    void postOrCancel(bool post);
    void insertRecord();
    void deleteRecord();
    void cancelOnExit();
    void leaveRecord(int* targetRow);

    QPointer<TDataSource> m_dataSource;
    TDBGridColumns m_columns;
    TDBGridColumns m_defaultColumns;
    TDBGridOptions m_options = dgEditing | dgTitles | dgIndicator | dgColumnResize | dgColLines | dgRowLines | dgTabs
        | dgConfirmDelete | dgCancelOnExit;
    bool m_readOnly = false;
    TDBGridModel* m_model;
    TDBGridDelegate* m_delegate;
    TCanvas m_canvas;
    int m_syncing = 0; // > 0 while the grid follows the data set
    bool m_forwardingKey = false; // the key that opened the editor is being re-sent to it
    bool m_keyToEditor = false; // a key handed to the editor; if it comes back, the editor declined it
    bool m_tabKey = false; // a Tab key press is being delivered to the grid
    bool m_recordTyped = false; // see RecordTyped()
    int m_lastSelectedIndex = 0;
    std::vector<int> m_fillColumns;
    QPointer<QLineEdit> m_editor;
    QPersistentModelIndex m_editorIndex;
};

} // namespace trd
