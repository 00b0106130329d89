// The grid's keyboard: the form's key events first, then the keys that move,
// post, cancel, insert and delete, in the grid and in its in-place editor.
#include "TDBGrid.h"

#include "CellEditorKeys.h"
#include "DataSetEditing.h"
#include "Dispatch.h"
#include "TApplication.h"
#include "TClientDataSet.h"
#include "TDBGridDelegate.h"
#include "TDBGridModel.h"
#include "Win1252.h"

#include <QApplication>
#include <QKeyEvent>
#include <QLineEdit>

namespace trd {

bool TDBGrid::runKeyDown(QKeyEvent* event, int& key)
{
    if (!OnKeyDown)
        return false;
    // A handler that raised (an abort included) has abandoned the key.
    return !Dispatch([&] { OnKeyDown(this, key, event->modifiers()); }) || key == 0;
}

bool TDBGrid::runKeyPress(QKeyEvent*, QChar& ch)
{
    if (!OnKeyPress)
        return false;
    return !Dispatch([&] { OnKeyPress(this, ch); }) || ch.isNull();
}

namespace {
// The character a key types, as the framework's key-press event sees it
// (Tab, Enter, Escape and Backspace included).
QChar typedChar(const QKeyEvent* event)
{
    // Alt with a letter is a command (a menu's or a button's letter), never a
    // character of the text, even where the display sends the letter along;
    // AltGr comes as no modifier or as Ctrl and Alt together.
    const Qt::KeyboardModifiers chord = event->modifiers() & (Qt::ControlModifier | Qt::AltModifier);
    if (chord == Qt::AltModifier || (event->modifiers() & Qt::MetaModifier))
        return QChar();
    if (!event->text().isEmpty())
        return event->text().at(0);
    switch (event->key()) {
    case Qt::Key_Tab:
    case Qt::Key_Backtab:
        return QChar(u'\t');
    case Qt::Key_Return:
    case Qt::Key_Enter:
        return QChar(u'\r');
    case Qt::Key_Escape:
        return QChar(0x1b);
    case Qt::Key_Backspace:
        return QChar(u'\b');
    default:
        return QChar();
    }
}
} // namespace

bool TDBGrid::navigationKey(int key, Qt::KeyboardModifiers modifiers)
{
    TClientDataSet* ds = DataSet();
    switch (key) {
    case Qt::Key_Down:
        moveDown();
        return true;
    case Qt::Key_Up:
        moveUp();
        return true;
    case Qt::Key_Tab:
    case Qt::Key_Backtab:
        if (!HasOption(dgTabs))
            return false;
        tab(key == Qt::Key_Tab && !(modifiers & Qt::ShiftModifier));
        return true;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        if (isEditing(ds)) {
            postOrCancel(true);
        } else if (currentIndex().isValid() && CanEditCell(currentIndex().row(), currentIndex().column())) {
            edit(currentIndex(), EditKeyPressed, nullptr);
        }
        return true;
    case Qt::Key_Escape:
        if (!isEditing(ds))
            return false;
        postOrCancel(false);
        return true;
    case Qt::Key_Insert:
        if (modifiers & (Qt::ControlModifier | Qt::ShiftModifier | Qt::AltModifier))
            return false;
        insertRecord();
        return true;
    case Qt::Key_Delete:
        if (!(modifiers & Qt::ControlModifier))
            return false;
        deleteRecord();
        return true;
    default:
        return false;
    }
}

void TDBGrid::keyPressEvent(QKeyEvent* event)
{
    // While a cell is being edited its editor owns the keys, even one sent
    // to the grid itself.
    // A key the editor ignores propagates back up to the grid: handing it to
    // the editor again would loop until the stack runs out.
    if (m_editor && state() == QAbstractItemView::EditingState && !m_forwardingKey) {
        if (m_keyToEditor) {
            event->ignore();
            return;
        }
        m_keyToEditor = true;
        QCoreApplication::sendEvent(m_editor, event);
        m_keyToEditor = false;
        return;
    }
    int key = event->key();
    if (runKeyDown(event, key)) {
        event->accept();
        return;
    }
    QChar ch = typedChar(event);
    const QChar typed = ch;
    if (!typed.isNull() && runKeyPress(event, ch)) {
        event->accept();
        return;
    }
    if (navigationKey(key, event->modifiers())) {
        event->accept();
        return;
    }
    if (!event->text().isEmpty() && !win1252::isRepresentable(event->text())) {
        event->accept();
        Application()->Dialogs().ShowError(
            QStringLiteral("O caractere \"%1\" não pode ser usado neste texto.").arg(event->text()));
        return;
    }
    // A character typed into a cell opens its editor with that character in
    // place of the cell's text. Done here rather than by the view re-sending
    // the key, whose effect on the editor's selection differs by platform.
    // A row still holding text typed and not yet posted is continued, never
    // typed over: that text exists nowhere else.
    if (!m_editor && !typed.isNull() && ch.isPrint() && !event->text().isEmpty() && currentIndex().isValid()) {
        const bool continues = m_recordTyped && isEditing(DataSet());
        if (edit(currentIndex(), EditKeyPressed, nullptr) && m_editor) {
            if (continues) {
                m_editor->end(false);
                m_editor->insert(QString(ch));
            } else {
                m_editor->setText(QString(ch));
            }
            event->accept();
            return;
        }
    }
    m_forwardingKey = true;
    if (ch != typed && !ch.isNull() && !event->text().isEmpty()) {
        QKeyEvent replaced(event->type(), key, event->modifiers(), QString(ch));
        QTableView::keyPressEvent(&replaced);
    } else {
        QTableView::keyPressEvent(event);
    }
    m_forwardingKey = false;
}

bool TDBGrid::event(QEvent* event)
{
    if (event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Tab || key == Qt::Key_Backtab) {
            m_tabKey = true;
            const bool result = QTableView::event(event);
            m_tabKey = false;
            return result;
        }
    }
    return QTableView::event(event);
}

bool TDBGrid::focusNextPrevChild(bool next)
{
    // Qt also asks a view to pass the focus on when it is hidden while
    // focused, and the view answers with a Tab of its own: only a real Tab
    // key may move through the cells (and post, and append).
    if (m_tabKey)
        return QTableView::focusNextPrevChild(next);
    return QWidget::focusNextPrevChild(next);
}

void TDBGrid::keyReleaseEvent(QKeyEvent* event)
{
    if (OnKeyUp) {
        int key = event->key();
        if (!Dispatch([&] { OnKeyUp(this, key, event->modifiers()); }) || key == 0) {
            event->accept();
            return;
        }
    }
    QTableView::keyReleaseEvent(event);
}

bool TDBGrid::editorKeyPress(QKeyEvent* event)
{
    if (m_forwardingKey)
        return false; // the key that opened the editor: handled by the grid already
    int key = event->key();
    if (runKeyDown(event, key))
        return true;
    QChar ch = typedChar(event);
    const QChar typed = ch;
    if (!typed.isNull() && runKeyPress(event, ch))
        return true;
    if (ch != typed && !event->text().isEmpty()) {
        QKeyEvent replaced(event->type(), key, event->modifiers(), QString(ch));
        m_forwardingKey = true;
        QCoreApplication::sendEvent(m_editor, &replaced);
        m_forwardingKey = false;
        return true;
    }
    switch (ClassifyCellKey(event, window(), m_editor)) {
    case CellKey::Editing:
        if (IsRedoKey(event)) {
            m_editor->redo();
            return true;
        }
        break;
    case CellKey::Grid:
        break;
    case CellKey::MenuCommand:
    case CellKey::Button:
    case CellKey::Nothing:
        // Settled and sent on as a shortcut already, or no key of the cell:
        // it never edits the text.
        return true;
    }
    if (!event->text().isEmpty() && !win1252::isRepresentable(event->text())) {
        Application()->Dialogs().ShowError(
            QStringLiteral("O caractere \"%1\" não pode ser usado neste texto.").arg(event->text()));
        return true;
    }
    switch (key) {
    case Qt::Key_Down:
    case Qt::Key_Up:
    case Qt::Key_PageDown:
    case Qt::Key_PageUp: {
        if (!commitEditor())
            return true;
        const QModelIndex cell = m_editorIndex;
        closeInplaceEditor(false);
        if (key == Qt::Key_Down)
            moveDown();
        else if (key == Qt::Key_Up)
            moveUp();
        else
            QTableView::keyPressEvent(event);
        reopenRefusedEdit(cell);
        return true;
    }
    case Qt::Key_Tab:
    case Qt::Key_Backtab: {
        if (!commitEditor())
            return true;
        const QModelIndex cell = m_editorIndex;
        closeInplaceEditor(false);
        if (HasOption(dgTabs))
            tab(key == Qt::Key_Tab && !(event->modifiers() & Qt::ShiftModifier));
        else
            focusNextPrevChild(key == Qt::Key_Tab && !(event->modifiers() & Qt::ShiftModifier));
        reopenRefusedEdit(cell);
        return true;
    }
    case Qt::Key_Return:
    case Qt::Key_Enter: {
        if (!commitEditor())
            return true;
        const QModelIndex cell = m_editorIndex;
        closeInplaceEditor(false);
        postOrCancel(true);
        reopenRefusedEdit(cell);
        return true;
    }
    case Qt::Key_Escape:
        closeInplaceEditor(false);
        postOrCancel(false);
        return true;
    case Qt::Key_Delete:
        if (!(event->modifiers() & Qt::ControlModifier))
            return false;
        deleteRecord();
        return true;
    default:
        return false;
    }
}

void TDBGrid::reopenRefusedEdit(const QModelIndex& cell)
{
    // A post refused on the way out of the cell (a question answered No, a
    // handler that abandoned it) leaves the row being edited with the typed
    // text in its field: the text goes back into an open editor on the same
    // cell, so the next key continues it instead of starting over.
    TClientDataSet* ds = DataSet();
    if (m_editor || !cell.isValid() || !isEditing(ds) || ds->CurrentIndex() != cell.row()
        || cell.row() >= m_model->rowCount() || cell.column() >= m_model->columnCount())
        return;
    // Only where the grid stayed: on the same cell, the keyboard not given
    // to another control (a Tab to the next column or out of the grid leaves
    // the edit as it is). Right after a question the window may not have the
    // activation back yet: the editor takes the focus when it comes.
    const QModelIndex index = m_model->index(cell.row(), cell.column());
    const QWidget* focus = QApplication::focusWidget();
    if (currentIndex() != index || (focus && focus != this && !isAncestorOf(focus)))
        return;
    edit(index, EditKeyPressed, nullptr);
    if (m_editor) {
        m_editor->end(false);
        m_editor->setFocus(Qt::OtherFocusReason);
    }
}

bool TDBGrid::editorShortcutOverride(QKeyEvent* event)
{
    switch (ClassifyCellKey(event, window(), m_editor)) {
    case CellKey::MenuCommand:
        // The menus and their commands act on a settled row, as from the
        // grid; a refused post keeps the text in the cell and runs nothing.
        if (settleEdit()) {
            event->ignore();
            return true;
        }
        event->accept();
        return true;
    case CellKey::Button:
        event->ignore();
        return true;
    case CellKey::Editing:
    case CellKey::Grid:
    case CellKey::Nothing:
        break;
    }
    // The key comes to the cell as a key press, where the grid decides.
    event->accept();
    return true;
}

bool TDBGrid::settleEdit()
{
    TClientDataSet* ds = DataSet();
    if (!commitEditor())
        return false;
    closeInplaceEditor(false);
    if (ds && ds->Active() && isEditing(ds))
        Dispatch([ds] { ds->CheckBrowseMode(); });
    followDataSet();
    return !isEditing(ds);
}

void TDBGrid::editorKeyRelease(QKeyEvent* event)
{
    if (!OnKeyUp)
        return;
    int key = event->key();
    Dispatch([&] { OnKeyUp(this, key, event->modifiers()); });
}

} // namespace trd
