#include "TDBGrid.h"

#include "DataSetEditing.h"
#include "Dispatch.h"
#include "GridLines.h"
#include "TApplication.h"
#include "TClientDataSet.h"
#include "TDBGridDelegate.h"
#include "TDBGridModel.h"
#include "TDataSource.h"

#include <QApplication>
#include <QHeaderView>
#include <QPainter>
#include <QPaintEvent>
#include <QStyle>
#include <QResizeEvent>
#include <QScrollBar>
#include <QTimer>

#include <algorithm>

namespace trd {

TDBGrid::TDBGrid(QWidget* parent)
    : QTableView(parent), m_columns(this), m_defaultColumns(this), m_model(new TDBGridModel(this)),
      m_delegate(new TDBGridDelegate(this))
{
    setModel(m_model);
    setItemDelegate(m_delegate);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::AnyKeyPressed | QAbstractItemView::EditKeyPressed
                    | QAbstractItemView::DoubleClicked);
    setWordWrap(false);
    // A fixed row height keeps a million rows as cheap as a hundred.
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    verticalHeader()->setDefaultSectionSize(rowHeight_());
    verticalHeader()->setMinimumSectionSize(1);
    verticalHeader()->setDefaultAlignment(Qt::AlignCenter);
    horizontalHeader()->setSectionsClickable(true);
    horizontalHeader()->setHighlightSections(false);
    horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    connect(horizontalHeader(), &QHeaderView::sectionClicked, this, [this](int section) {
        if (TColumn* column = m_model->column(section))
            TitleClick(column);
    });
    connect(horizontalHeader(), &QHeaderView::sectionResized, this, [this](int section, int, int size) {
        if (m_syncing)
            return;
        // Sized by hand: every column keeps the width it shows now.
        if (!m_fillColumns.empty()) {
            m_fillColumns.clear();
            for (int i = 0; i < m_model->columnCount(); ++i)
                if (TColumn* column = m_model->column(i))
                    column->Width = horizontalHeader()->sectionSize(i);
        }
        if (TColumn* column = m_model->column(section))
            column->Width = size;
    });
    applyOptions();
    applyGridLines();
}

TDBGrid::~TDBGrid() = default;

int TDBGrid::rowHeight_() const
{
    return fontMetrics().height() + 4;
}

TClientDataSet* TDBGrid::DataSet() const
{
    return m_dataSource ? m_dataSource->DataSet() : nullptr;
}

void TDBGrid::SetDataSource(TDataSource* source)
{
    if (m_dataSource == source)
        return;
    TDataSource::Relink(m_dataSource, source, this, [this](TDataEvent event, qintptr info) { dataEvent(event, info); });
    if (source)
        connect(source, &QObject::destroyed, this, &TDBGrid::dataSetDestroyed);
    dataEvent(TDataEvent::deLayoutChange, 0);
}

void TDBGrid::dataSetDestroyed()
{
    m_dataSource = nullptr;
    rebuildDefaultColumns();
    m_model->reset();
}

// ---------------------------------------------------------------- columns

int TDBGrid::VisibleColumnCount() const
{
    const TDBGridColumns& source = m_columns.Count() > 0 ? m_columns : m_defaultColumns;
    int n = 0;
    for (int i = 0; i < source.Count(); ++i)
        n += source.Items(i)->Visible ? 1 : 0;
    return n;
}

TColumn* TDBGrid::VisibleColumn(int index) const
{
    const TDBGridColumns& source = m_columns.Count() > 0 ? m_columns : m_defaultColumns;
    for (int i = 0; i < source.Count(); ++i) {
        if (!source.Items(i)->Visible)
            continue;
        if (index-- == 0)
            return source.Items(i);
    }
    return nullptr;
}

void TDBGrid::rebuildDefaultColumns()
{
    m_defaultColumns.Clear();
    TClientDataSet* ds = DataSet();
    if (!ds || m_columns.Count() > 0)
        return;
    for (int i = 0; i < ds->FieldCount(); ++i) {
        TField* field = ds->Fields(i);
        if (!field->Visible)
            continue;
        const int chars = field->DisplayWidth > 0 ? field->DisplayWidth
                                                  : (field->DataType() == TFieldType::ftString ? field->Size() : 12);
        const int width = qBound(24, fontMetrics().averageCharWidth() * qMin(chars, 40) + 8, 400);
        m_defaultColumns.Add(field->FieldName(), QString(), width, false);
    }
}

void TDBGrid::applyColumnWidths()
{
    const int count = m_model->columnCount();
    std::vector<int> widths(static_cast<std::size_t>(count), 0);
    int total = 0;
    // A section is never narrower than the header allows.
    const int narrowest = horizontalHeader()->minimumSectionSize();
    for (int i = 0; i < count; ++i)
        if (TColumn* column = m_model->column(i))
            total += widths[static_cast<std::size_t>(i)] = std::max(column->Width, narrowest);
    // The room beyond the columns goes to the fill columns, in proportion to
    // their widths; the last one takes what rounding leaves.
    int fill = 0;
    for (int c : m_fillColumns)
        if (c >= 0 && c < count)
            fill += widths[static_cast<std::size_t>(c)];
    const int extra = viewport()->width() - total;
    if (extra > 0 && fill > 0) {
        int given = 0;
        int last = -1;
        for (int c : m_fillColumns) {
            if (c < 0 || c >= count)
                continue;
            const int share = static_cast<int>(static_cast<qint64>(extra) * widths[static_cast<std::size_t>(c)] / fill);
            widths[static_cast<std::size_t>(c)] += share;
            given += share;
            last = c;
        }
        widths[static_cast<std::size_t>(last)] += extra - given;
    }
    ++m_syncing;
    for (int i = 0; i < count; ++i)
        if (m_model->column(i))
            horizontalHeader()->resizeSection(i, widths[static_cast<std::size_t>(i)]);
    --m_syncing;
}

void TDBGrid::SetFillColumns(std::vector<int> columns)
{
    m_fillColumns = std::move(columns);
    applyColumnWidths();
}

void TDBGrid::paintEvent(QPaintEvent* event)
{
    QTableView::paintEvent(event);
    if (!showGrid() || gridStyle() != Qt::NoPen || isRightToLeft() || !itemDelegate())
        return;
    QStyleOptionViewItem option;
    initViewItemOption(&option);
    const QColor colour =
        QColor::fromRgba(static_cast<QRgb>(style()->styleHint(QStyle::SH_Table_GridLineColor, &option, this)));
    QPainter painter(viewport());
    FillGridLines(*this, painter, event->region(), colour);
}

void TDBGrid::changeEvent(QEvent* event)
{
    QTableView::changeEvent(event);
    if (event->type() == QEvent::LayoutDirectionChange)
        applyGridLines();
}

void TDBGrid::applyGridLines()
{
    // Right to left, the view strokes its own.
    setGridStyle(isRightToLeft() ? Qt::SolidLine : Qt::NoPen);
}

bool TDBGrid::viewportEvent(QEvent* event)
{
    const bool handled = QTableView::viewportEvent(event);
    if (event->type() == QEvent::Resize && !m_fillColumns.empty())
        applyColumnWidths();
    return handled;
}

void TDBGrid::ColumnsChanged()
{
    closeInplaceEditor(false);
    rebuildDefaultColumns();
    m_model->reset();
    applyColumnWidths();
    followDataSet();
}

// ---------------------------------------------------------------- options

void TDBGrid::SetOptions(TDBGridOptions options)
{
    const TDBGridOptions changed = m_options ^ options;
    m_options = options;
    // Switching editing per column (as the editor does on every column
    // change) must not cost a repaint of the whole grid.
    const TDBGridOptions visual = dgTitles | dgIndicator | dgColumnResize | dgColLines | dgRowLines | dgTabs
        | dgRowSelect | dgAlwaysShowSelection;
    if (changed & visual)
        applyOptions();
    else if (!HasOption(dgEditing) && m_editor)
        closeInplaceEditor(true);
}

void TDBGrid::SetOption(TDBGridOption option, bool on)
{
    SetOptions(on ? (m_options | option) : (m_options & ~option));
}

void TDBGrid::applyOptions()
{
    horizontalHeader()->setVisible(HasOption(dgTitles));
    verticalHeader()->setVisible(HasOption(dgIndicator));
    verticalHeader()->setFixedWidth(HasOption(dgIndicator) ? 14 : 0);
    horizontalHeader()->setSectionResizeMode(HasOption(dgColumnResize) ? QHeaderView::Interactive : QHeaderView::Fixed);
    setShowGrid(HasOption(dgColLines) || HasOption(dgRowLines));
    setTabKeyNavigation(HasOption(dgTabs));
    setSelectionBehavior(HasOption(dgRowSelect) ? QAbstractItemView::SelectRows : QAbstractItemView::SelectItems);
    if (!HasOption(dgEditing) && m_editor)
        closeInplaceEditor(true);
    viewport()->update();
}

// ---------------------------------------------------------------- selection

int TDBGrid::SelectedIndex() const
{
    const QModelIndex current = currentIndex();
    return current.isValid() ? current.column() : m_lastSelectedIndex;
}

void TDBGrid::SetSelectedIndex(int index)
{
    if (index < 0 || index >= m_model->columnCount())
        return;
    // The data set's row: the view may be on its way to another one.
    const TClientDataSet* ds = DataSet();
    const int row = ds && ds->Active() && ds->CurrentIndex() >= 0 ? ds->CurrentIndex()
        : currentIndex().isValid()                                ? currentIndex().row()
                                                                  : 0;
    if (row < m_model->rowCount())
        setCurrentIndex(m_model->index(row, index));
    else
        m_lastSelectedIndex = index;
}

TColumn* TDBGrid::SelectedColumn() const
{
    return m_model->column(SelectedIndex());
}

TField* TDBGrid::SelectedField() const
{
    return m_model->field(SelectedIndex());
}

QLineEdit* TDBGrid::InplaceEditor() const
{
    return state() == QAbstractItemView::EditingState ? m_editor.data() : nullptr;
}

void TDBGrid::SetEditorMode(bool on)
{
    if (!on) {
        closeInplaceEditor(true);
        return;
    }
    // On the data set's row, also while the grid is on its way to another
    // one (a post refused as the user clicked elsewhere puts the text back).
    followDataSet();
    if (m_editor || !currentIndex().isValid())
        return;
    edit(currentIndex(), EditKeyPressed, nullptr);
    if (m_editor)
        m_editor->end(false);
}

bool TDBGrid::CanEditCell(int row, int column) const
{
    TClientDataSet* ds = DataSet();
    if (!HasOption(dgEditing) || m_readOnly || !ds || !ds->Active() || row < 0
        || (m_dataSource && !m_dataSource->Enabled))
        return false;
    TColumn* col = m_model->column(column);
    TField* field = m_model->field(column);
    return col && !col->ReadOnly && field && !field->ReadOnly;
}

void TDBGrid::DefaultDrawColumnCell(const QRect& rect, int, TColumn* column, TGridDrawState)
{
    m_canvas.FillRect(rect);
    if (TField* field = column ? column->Field() : nullptr)
        m_canvas.TextRect(rect, rect.left() + 2, rect.top() + 2, field->AsString());
}

// ---------------------------------------------------------------- following the data set

void TDBGrid::dataEvent(TDataEvent event, qintptr info)
{
    TClientDataSet* ds = DataSet();
    switch (event) {
    case TDataEvent::deLayoutChange:
    case TDataEvent::deDataSetChange:
        closeInplaceEditor(false);
        if (event == TDataEvent::deLayoutChange)
            rebuildDefaultColumns();
        // A merge of the change log after every save, or a sort, keeps the
        // shape: repainting is enough, and much cheaper than a reset.
        if (event == TDataEvent::deDataSetChange && m_model->sameShape()) {
            m_model->allChanged();
        } else {
            m_model->reset();
            applyColumnWidths();
        }
        followDataSet();
        break;
    case TDataEvent::deDataSetScroll:
        followDataSet();
        break;
    case TDataEvent::deRecordChange:
    case TDataEvent::deFieldChange:
        // Code changing the value under an open editor the user typed
        // nothing into: the editor shows the new value and will not write
        // the old one back.
        if (m_editor && ds && m_editorIndex.row() == ds->CurrentIndex())
            m_delegate->reloadUnchangedEditor(m_editor, m_editorIndex);
        if (m_model->rowCountChanged()) {
            closeInplaceEditor(false);
            m_model->reset();
            followDataSet();
        } else if (ds) {
            m_model->rowChanged(ds->CurrentIndex());
        }
        break;
    case TDataEvent::deRowChange:
        // Another row than the one an open editor may be on: repainted, the
        // editor left as it is.
        if (!m_model->rowCountChanged())
            m_model->rowChanged(static_cast<int>(info));
        break;
    case TDataEvent::deRowRemoved:
        if (m_model->rowCount() == (ds ? ds->RecordCount() : 0) + 1 && info >= 0 && info < m_model->rowCount()) {
            // The view moves its current cell by itself; the data set has
            // placed its cursor already, which followDataSet shows. A row
            // leaving above the view would slide every row in it up by one:
            // the view follows, so the user keeps seeing the same rows.
            const int removed = static_cast<int>(info);
            const int top = rowAt(0);
            const int shift = removed < top ? rowViewportPosition(top + 1) - rowViewportPosition(top) : 0;
            ++m_syncing;
            m_model->rowRemoved(removed);
            if (shift > 0) {
                QScrollBar* bar = verticalScrollBar();
                bar->setValue(bar->value() - (verticalScrollMode() == ScrollPerItem ? 1 : shift));
            }
            --m_syncing;
        } else {
            closeInplaceEditor(false);
            m_model->reset();
        }
        followDataSet();
        break;
    case TDataEvent::deUpdateRecord:
        // The text being typed belongs to the record that is about to be
        // posted; the editor stays open, as the user left it.
        if (m_editor) {
            try {
                m_delegate->writeEditorOrRaise(m_editor, m_editorIndex);
            } catch (...) {
                if (m_dataSource)
                    m_dataSource->RefuseUpdate(std::current_exception());
            }
        }
        break;
    case TDataEvent::deUpdateState:
        if (!isEditing(ds)) {
            closeInplaceEditor(false);
            m_recordTyped = false;
        }
        if (!ds || !ds->Active() || m_model->rowCountChanged()) {
            closeInplaceEditor(false);
            if (!ds || !ds->Active())
                rebuildDefaultColumns();
            m_model->reset();
            applyColumnWidths();
        }
        followDataSet();
        break;
    }
}

void TDBGrid::followDataSet()
{
    TClientDataSet* ds = DataSet();
    if (HasOption(dgIndicator))
        verticalHeader()->viewport()->update();
    if (!ds || !ds->Active())
        return;
    if (m_model->rowCountChanged()) {
        closeInplaceEditor(false);
        m_model->reset();
    }
    const int row = ds->CurrentIndex();
    if (row < 0 || row >= m_model->rowCount() || m_model->columnCount() == 0)
        return;
    const QModelIndex current = currentIndex();
    if (current.isValid() && current.row() == row)
        return;
    // Text typed for another row must not be written into this one.
    closeInplaceEditor(false);
    const int column =
        current.isValid() ? current.column() : qBound(0, m_lastSelectedIndex, m_model->columnCount() - 1);
    ++m_syncing;
    selectionModel()->setCurrentIndex(m_model->index(row, column), QItemSelectionModel::ClearAndSelect);
    --m_syncing;
    scrollTo(m_model->index(row, column));
}

void TDBGrid::leaveRecord(int* targetRow)
{
    TClientDataSet* ds = DataSet();
    // An appended or inserted row the user never typed into goes away
    // instead of being posted empty.
    if (ds->State() == TDataSetState::dsInsert && !ds->Modified()) {
        const int inserted = ds->CurrentIndex();
        ds->Cancel();
        if (targetRow && *targetRow > inserted)
            --*targetRow;
        return;
    }
    ds->CheckBrowseMode();
}

void TDBGrid::moveDataSetTo(int row)
{
    TClientDataSet* ds = DataSet();
    if (m_syncing || !ds || !ds->Active() || ds->ControlsDisabled() || row == ds->CurrentIndex())
        return;
    Dispatch([&] {
        int target = row;
        leaveRecord(&target);
        if (target != ds->CurrentIndex() && target < ds->RecordCount())
            ds->MoveBy(target - ds->CurrentIndex());
    });
    // Back to the data set's row when it refused to move (a post that failed).
    followDataSet();
}

void TDBGrid::currentChanged(const QModelIndex& current, const QModelIndex& previous)
{
    // The base commits and closes an editor left open on the previous cell.
    QTableView::currentChanged(current, previous);
    if (!current.isValid())
        return;
    if (!m_syncing && (!previous.isValid() || current.row() != previous.row()))
        moveDataSetTo(current.row());
    if (current.column() != m_lastSelectedIndex) {
        m_lastSelectedIndex = current.column();
        if (OnColExit && previous.isValid())
            Dispatch([this] { OnColExit(this); });
        if (OnColEnter)
            Dispatch([this] { OnColEnter(this); });
    }
}

// ---------------------------------------------------------------- editing

bool TDBGrid::edit(const QModelIndex& index, EditTrigger trigger, QEvent* event)
{
    const EditTriggers opening = AnyKeyPressed | EditKeyPressed | DoubleClicked | SelectedClicked;
    if (index.isValid() && (trigger & opening) && !(m_editor && m_editorIndex == index)) {
        TClientDataSet* ds = DataSet();
        if (!CanEditCell(index.row(), index.column()))
            return false;
        // A cell opens on the data set's row only: a double click on another
        // row (its first click counted with an earlier one) moves there first,
        // or the text typed would be written into no row and lost.
        if (currentIndex() != index)
            setCurrentIndex(index);
        if (currentIndex() != index || ds->CurrentIndex() != index.row())
            return false;
        if (ds->State() == TDataSetState::dsBrowse) {
            if (m_dataSource && !m_dataSource->AutoEdit)
                return false;
            if (!Dispatch([ds] { ds->Edit(); }))
                return false;
        }
        if (!isEditing(ds))
            return false;
    }
    return QTableView::edit(index, trigger, event);
}

void TDBGrid::closeEditor(QWidget* editor, QAbstractItemDelegate::EndEditHint hint)
{
    QTableView::closeEditor(editor, hint);
    if (editor == m_editor) {
        m_editor = nullptr;
        m_editorIndex = QPersistentModelIndex();
    }
}

bool TDBGrid::commitEditor()
{
    if (!m_editor)
        return true;
    return m_delegate->writeEditor(m_editor, m_editorIndex);
}

void TDBGrid::closeInplaceEditor(bool commit)
{
    if (!m_editor)
        return;
    if (commit)
        commitEditor();
    QWidget* editor = m_editor;
    closeEditor(editor, QAbstractItemDelegate::NoHint);
}

void TDBGrid::postOrCancel(bool post)
{
    TClientDataSet* ds = DataSet();
    if (!isEditing(ds))
        return;
    Dispatch([&] {
        if (post)
            ds->Post();
        else
            ds->Cancel();
    });
    followDataSet();
}

void TDBGrid::insertRecord()
{
    TClientDataSet* ds = DataSet();
    if (!ds || !ds->Active() || !HasOption(dgEditing) || m_readOnly)
        return;
    Dispatch([ds] { ds->Insert(); });
    followDataSet();
}

void TDBGrid::deleteRecord()
{
    TClientDataSet* ds = DataSet();
    if (!ds || !ds->Active() || ds->IsEmpty() || m_readOnly)
        return;
    if (HasOption(dgConfirmDelete)
        && MessageDlg(QStringLiteral("Excluir registro?"), mtConfirmation, mbYes | mbNo, 0) != mrYes)
        return;
    closeInplaceEditor(false);
    Dispatch([ds] { ds->Delete(); });
    followDataSet();
}

// ---------------------------------------------------------------- movement

void TDBGrid::moveDown()
{
    TClientDataSet* ds = DataSet();
    if (!ds || !ds->Active())
        return;
    Dispatch([&] {
        if (ds->State() == TDataSetState::dsInsert && !ds->Modified()) {
            if (ds->CurrentIndex() < ds->RecordCount() - 1)
                ds->Cancel();
            return;
        }
        ds->CheckBrowseMode();
        // As the framework: at the last row Next fails and sets Eof, and only
        // then may an editable grid start a new row.
        ds->Next();
        if (ds->Eof() && HasOption(dgEditing) && !m_readOnly)
            ds->Append();
    });
    followDataSet();
}

void TDBGrid::moveUp()
{
    TClientDataSet* ds = DataSet();
    if (!ds || !ds->Active())
        return;
    Dispatch([&] {
        if (ds->State() == TDataSetState::dsInsert && !ds->Modified()) {
            ds->Cancel();
            return;
        }
        ds->CheckBrowseMode();
        ds->Prior();
    });
    followDataSet();
}

void TDBGrid::tab(bool forward)
{
    const int columns = m_model->columnCount();
    if (columns == 0)
        return;
    const QModelIndex current = currentIndex();
    const int column = current.isValid() ? current.column() : 0;
    const int next = column + (forward ? 1 : -1);
    if (next >= 0 && next < columns) {
        setCurrentIndex(m_model->index(current.row(), next));
        return;
    }
    closeInplaceEditor(true);
    if (forward)
        moveDown();
    else
        moveUp();
    TClientDataSet* ds = DataSet();
    // A refused post keeps the row, and the text back in its cell.
    if (isEditing(ds))
        return;
    if (ds && ds->Active() && ds->CurrentIndex() >= 0 && ds->CurrentIndex() < m_model->rowCount())
        setCurrentIndex(m_model->index(ds->CurrentIndex(), forward ? 0 : columns - 1));
}

// ---------------------------------------------------------------- focus and mouse

void TDBGrid::focusOutEvent(QFocusEvent* event)
{
    QTableView::focusOutEvent(event);
    if (HasOption(dgCancelOnExit))
        QTimer::singleShot(0, this, [this] { cancelOnExit(); });
}

void TDBGrid::cancelOnExit()
{
    QWidget* focus = QApplication::focusWidget();
    if (focus && (focus == this || isAncestorOf(focus)))
        return;
    TClientDataSet* ds = DataSet();
    if (ds && ds->State() == TDataSetState::dsInsert && !ds->Modified() && !m_editor) {
        Dispatch([ds] { ds->Cancel(); });
        followDataSet();
    }
}

void TDBGrid::showEvent(QShowEvent* event)
{
    QTableView::showEvent(event);
    // Columns are usually set up field by field while the form is built; a
    // grid shown again unchanged keeps its editor and current cell.
    if (m_model->sameColumns() && !m_model->rowCountChanged()) {
        applyColumnWidths();
        m_model->headerDataChanged(Qt::Horizontal, 0, qMax(0, m_model->columnCount() - 1));
    } else {
        ColumnsChanged();
    }
}

void TDBGrid::resizeEvent(QResizeEvent* event)
{
    // A grid made shorter (a bar shown above or below it) keeps its current
    // row in view: the row being worked on never ends up hidden behind it.
    // The viewport has its new size already; whether the row was in view is
    // judged on the height it had before.
    const QModelIndex current = currentIndex();
    QTableView::resizeEvent(event);
    if (!current.isValid() || !event->oldSize().isValid() || event->size().height() >= event->oldSize().height())
        return;
    const QRect row = visualRect(current);
    const int heightBefore = viewport()->height() + event->oldSize().height() - event->size().height();
    if (row.bottom() >= 0 && row.top() < heightBefore)
        scrollTo(current, EnsureVisible);
}

void TDBGrid::mousePressEvent(QMouseEvent* event)
{
    QTableView::mousePressEvent(event);
    if (OnCellClick && indexAt(event->position().toPoint()).isValid())
        Dispatch([this] { OnCellClick(this); });
}

void TDBGrid::mouseDoubleClickEvent(QMouseEvent* event)
{
    if (OnDblClick)
        Dispatch([this] { OnDblClick(this); });
    QTableView::mouseDoubleClickEvent(event);
}

void TDBGrid::TitleClick(TColumn*)
{
}

} // namespace trd
