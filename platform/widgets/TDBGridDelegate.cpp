#include "TDBGridDelegate.h"

#include "Dispatch.h"
#include "TApplication.h"
#include "TClientDataSet.h"
#include "TDBGrid.h"
#include "TDBGridModel.h"
#include "FieldTextValidator.h"

#include <QKeyEvent>
#include <QLineEdit>
#include <QPainter>
#include <QTimer>

namespace trd {

namespace {
// The text the editor was opened (or reloaded) with.
constexpr char kLoadedText[] = "trdLoadedText";
} // namespace

TDBGridDelegate::TDBGridDelegate(TDBGrid* grid) : QStyledItemDelegate(grid), m_grid(grid)
{
}

void TDBGridDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    TClientDataSet* ds = m_grid->DataSet();
    TColumn* column = m_grid->m_model->column(index.column());
    // While its controls are disabled the data set may hold fewer rows than
    // the view still shows; those rows are left blank until it tells us.
    if (!ds || !ds->Active() || !column || index.row() >= ds->RecordCount())
        return;

    const QModelIndex current = m_grid->currentIndex();
    const QLineEdit* editor = m_grid->InplaceEditor();
    const bool focused = m_grid->hasFocus() || (editor && editor->hasFocus());
    const bool currentCell = current.isValid() && current.row() == index.row() && current.column() == index.column();
    const bool inSelection =
        m_grid->HasOption(dgRowSelect) ? current.isValid() && current.row() == index.row() : currentCell;
    TGridDrawState state = 0;
    if (inSelection && (focused || m_grid->HasOption(dgAlwaysShowSelection)))
        state |= gdSelected;
    if (currentCell && focused)
        state |= gdFocused;

    TCanvas& canvas = m_grid->m_canvas;
    canvas.SetPainter(painter);
    canvas.SetBaseFont(option.font);
    canvas.Brush.Color = (state & gdSelected) ? clHighlight() : clWindow();
    canvas.Font.Color = (state & gdSelected) ? clHighlightText() : clWindowText();
    painter->save();
    painter->setClipRect(option.rect);
    bool ok = true;
    try {
        // Field reads inside the handler give the row being painted.
        ActiveRecordScope scope(ds, index.row());
        if (m_grid->DefaultDrawing)
            m_grid->DefaultDrawColumnCell(option.rect, index.column(), column, state);
        if (m_grid->OnDrawColumnCell)
            m_grid->OnDrawColumnCell(m_grid, option.rect, index.column(), column, state);
    } catch (...) {
        ok = false;
        paintFailed();
    }
    painter->restore();
    canvas.SetPainter(nullptr);
    if (ok)
        m_paintErrorPending = false;
}

void TDBGridDelegate::paintFailed() const
{
    // A dialog cannot open inside painting, and a handler that fails fails
    // for every cell: show the first error once, after the paint, and no other
    // until a cell paints cleanly again.
    if (m_paintErrorPending)
        return;
    m_paintErrorPending = true;
    HandleExceptionLater(m_grid);
}

QWidget* TDBGridDelegate::createEditor(QWidget* parent, const QStyleOptionViewItem& option,
                                       const QModelIndex& index) const
{
    auto* editor = new QLineEdit(parent);
    editor->setObjectName(QStringLiteral("InplaceEditor"));
    editor->setFrame(false);
    editor->setFont(option.font);
    if (TField* field = m_grid->m_model->field(index.column()); field && field->DataType() == TFieldType::ftString) {
        // A paste (or a drop) that the field could not hold is refused whole,
        // with the field's reason, and the editor keeps its text. A length
        // limit would cut a paste short without a word instead.
        auto* validator = new FieldTextValidator(field, editor);
        editor->setValidator(validator);
        connect(editor, &QLineEdit::inputRejected, editor, [editor, validator] {
            const QString reason = validator->TakeRefusal();
            if (reason.isEmpty())
                return;
            // Once the line edit has undone the change, not in the middle of it.
            QTimer::singleShot(0, editor, [reason] { Application()->Dialogs().ShowError(reason); });
        });
    }
    m_grid->m_editor = editor;
    m_grid->m_editorIndex = index;
    return editor;
}

void TDBGridDelegate::setEditorData(QWidget* editor, const QModelIndex& index) const
{
    // Loaded once, when it opens: later repaints of the row must not throw
    // away what the user is typing.
    auto* lineEdit = qobject_cast<QLineEdit*>(editor);
    if (!lineEdit || lineEdit->property("trdLoaded").toBool())
        return;
    lineEdit->setProperty("trdLoaded", true);
    TClientDataSet* ds = m_grid->DataSet();
    TField* field = m_grid->m_model->field(index.column());
    if (!ds || !field)
        return;
    ActiveRecordScope scope(ds, index.row());
    load(lineEdit, field->AsString());
}

void TDBGridDelegate::load(QLineEdit* editor, const QString& text) const
{
    editor->setText(text);
    editor->setProperty(kLoadedText, text);
}

bool TDBGridDelegate::holdsSomethingNew(const QLineEdit* editor)
{
    return editor->text() != editor->property(kLoadedText).toString();
}

void TDBGridDelegate::reloadUnchangedEditor(QWidget* editor, const QModelIndex& index) const
{
    auto* lineEdit = qobject_cast<QLineEdit*>(editor);
    TClientDataSet* ds = m_grid->DataSet();
    TField* field = m_grid->m_model->field(index.column());
    if (!lineEdit || !ds || !field || holdsSomethingNew(lineEdit) || index.row() != ds->CurrentIndex())
        return;
    const QString value = field->AsString();
    if (value != lineEdit->text())
        load(lineEdit, value);
}

void TDBGridDelegate::setModelData(QWidget* editor, QAbstractItemModel*, const QModelIndex& index) const
{
    writeEditor(editor, index);
}

bool TDBGridDelegate::writeEditor(QWidget* editor, const QModelIndex& index) const
{
    return Dispatch([&] { writeEditorOrRaise(editor, index); });
}

void TDBGridDelegate::writeEditorOrRaise(QWidget* editor, const QModelIndex& index) const
{
    auto* lineEdit = qobject_cast<QLineEdit*>(editor);
    TClientDataSet* ds = m_grid->DataSet();
    TField* field = m_grid->m_model->field(index.column());
    if (!lineEdit || !ds || !ds->Active() || !field || !m_grid->CanEditCell(index.row(), index.column()))
        return;
    if (index.row() != ds->CurrentIndex())
        return; // the data set moved on; the text belongs to no row now
    // An editor the user typed nothing into holds no value of its own: a
    // value set meanwhile by code (a replacement) must not be written over
    // with the one the editor was opened with.
    if (!holdsSomethingNew(lineEdit))
        return;
    const QString text = lineEdit->text();
    if (text == field->AsString())
        return;
    if (ds->State() == TDataSetState::dsBrowse)
        ds->Edit();
    field->SetAsString(text);
    m_grid->m_recordTyped = true;
}

void TDBGridDelegate::updateEditorGeometry(QWidget* editor, const QStyleOptionViewItem& option,
                                           const QModelIndex&) const
{
    editor->setGeometry(option.rect);
}

bool TDBGridDelegate::eventFilter(QObject* object, QEvent* event)
{
    if (object == m_grid->m_editor) {
        if (event->type() == QEvent::FocusOut) {
            // A message box, a menu or another application taking the focus
            // for a while is no leaving of the cell: the editor stays open with
            // its text and cursor, and gets the focus back when its window
            // does. Only the focus moving to another control of the window
            // ends the edit.
            const Qt::FocusReason reason = static_cast<QFocusEvent*>(event)->reason();
            if (reason == Qt::ActiveWindowFocusReason || reason == Qt::PopupFocusReason)
                return false;
            // A click on another control (the detail panel's texts, to copy a
            // word) is no leaving of the row either: the edit stays open with
            // its text, cursor and undo, as the user left it, until the row is
            // posted, cancelled or left in the grid. Closing it here would
            // leave the typed text in the field with no editor, and the next
            // key typed in the cell would start a new editor over it.
            return false;
        }
        if (event->type() == QEvent::KeyPress) {
            if (m_grid->editorKeyPress(static_cast<QKeyEvent*>(event)))
                return true;
            // Keys the grid did not take belong to the line edit; the base
            // filter would turn Tab, Enter and Escape into its own editing hints.
            return false;
        }
        if (event->type() == QEvent::KeyRelease) {
            m_grid->editorKeyRelease(static_cast<QKeyEvent*>(event));
            return false;
        }
        if (event->type() == QEvent::ShortcutOverride)
            return m_grid->editorShortcutOverride(static_cast<QKeyEvent*>(event));
    }
    return QStyledItemDelegate::eventFilter(object, event);
}

} // namespace trd
