#include "CellEditorKeys.h"

#include <QAbstractButton>
#include <QAction>
#include <QMenu>
#include <QMenuBar>
#include <QShortcut>
#include <QWidget>

#include <algorithm>
#include <iterator>

namespace trd {

namespace {

constexpr Qt::KeyboardModifiers kChordModifiers = Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier;

QKeySequence sequenceOf(const QKeyEvent* event)
{
    return QKeySequence(QKeyCombination(event->modifiers() & ~Qt::KeypadModifier, Qt::Key(event->key())));
}

bool isGridKey(const QKeyEvent* event)
{
    switch (event->key()) {
    case Qt::Key_Up:
    case Qt::Key_Down:
    case Qt::Key_PageUp:
    case Qt::Key_PageDown:
    case Qt::Key_Tab:
    case Qt::Key_Backtab:
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_Escape:
        return true;
    case Qt::Key_Delete:
        return (event->modifiers() & Qt::ControlModifier) != 0;
    default:
        return false;
    }
}

bool isEditingKey(const QKeyEvent* event)
{
    const Qt::KeyboardModifiers chord = event->modifiers() & kChordModifiers;
    const bool ctrl = chord & Qt::ControlModifier;
    const bool alt = chord & Qt::AltModifier;
    switch (event->key()) {
    case Qt::Key_Shift:
    case Qt::Key_Control:
    case Qt::Key_Alt:
    case Qt::Key_AltGr:
    case Qt::Key_Meta:
        // A modifier on its own edits nothing; Alt alone still reaches the
        // menu bar, as on Windows.
        return true;
    default:
        break;
    }
    // Typing: AltGr comes as no modifier or as Ctrl and Alt together.
    if (!event->text().isEmpty() && event->text().at(0).isPrint() && ctrl == alt && !(chord & Qt::MetaModifier))
        return true;
    static constexpr QKeySequence::StandardKey editing[] = {
        QKeySequence::Copy,
        QKeySequence::Cut,
        QKeySequence::Paste,
        QKeySequence::Undo,
        QKeySequence::Redo,
        QKeySequence::SelectAll,
        QKeySequence::MoveToNextChar,
        QKeySequence::MoveToPreviousChar,
        QKeySequence::MoveToNextWord,
        QKeySequence::MoveToPreviousWord,
        QKeySequence::MoveToStartOfLine,
        QKeySequence::MoveToEndOfLine,
        QKeySequence::SelectNextChar,
        QKeySequence::SelectPreviousChar,
        QKeySequence::SelectNextWord,
        QKeySequence::SelectPreviousWord,
        QKeySequence::SelectStartOfLine,
        QKeySequence::SelectEndOfLine,
        QKeySequence::DeleteStartOfWord,
        QKeySequence::DeleteEndOfWord,
        QKeySequence::Backspace,
        QKeySequence::Delete,
    };
    if (std::any_of(std::begin(editing), std::end(editing), [event](auto k) { return event->matches(k); }))
        return true;
    if (IsRedoKey(event))
        return true;
    // Plain moves and deletions, with or without Shift.
    if (chord == Qt::NoModifier) {
        switch (event->key()) {
        case Qt::Key_Left:
        case Qt::Key_Right:
        case Qt::Key_Home:
        case Qt::Key_End:
        case Qt::Key_Backspace:
        case Qt::Key_Delete:
            return true;
        default:
            break;
        }
    }
    return false;
}

// The command of `menu` (or of its submenus) that carries the key, if any.
const QAction* menuCommand(const QMenu* menu, const QKeySequence& sequence)
{
    for (const QAction* action : menu->actions()) {
        if (const QMenu* sub = action->menu()) {
            if (const QAction* found = menuCommand(sub, sequence))
                return found;
        } else if (action->shortcuts().contains(sequence)) {
            return action;
        }
    }
    return nullptr;
}

enum class MenuKey { None, Enabled, Disabled };

// A command of one of the window's menu bars, or the letter of a menu title.
MenuKey menuKey(const QKeySequence& sequence, const QWidget* window)
{
    QList<QMenuBar*> bars = window->findChildren<QMenuBar*>();
    for (const QMenuBar* bar : bars) {
        if (!bar->isVisible())
            continue;
        for (const QAction* title : bar->actions()) {
            if (title->isVisible() && title->isEnabled() && QKeySequence::mnemonic(title->text()) == sequence)
                return MenuKey::Enabled;
            if (const QMenu* menu = title->menu())
                if (const QAction* command = menuCommand(menu, sequence))
                    return command->isEnabled() && title->isEnabled() ? MenuKey::Enabled : MenuKey::Disabled;
        }
    }
    return MenuKey::None;
}

// A shortcut of a control that holds the cell (the editor's Ctrl+1 for its
// first suggestion): it acts on the cell being typed in, as it stands.
bool isCellShortcut(const QKeySequence& sequence, const QWidget* cell)
{
    if (!cell)
        return false;
    const QList<QShortcut*> shortcuts = cell->window()->findChildren<QShortcut*>();
    return std::any_of(shortcuts.begin(), shortcuts.end(), [&](const QShortcut* s) {
        const auto* owner = qobject_cast<const QWidget*>(s->parent());
        return s->isEnabled() && s->key() == sequence && owner && owner->isAncestorOf(cell)
            && s->context() != Qt::WidgetShortcut;
    });
}

bool isButtonKey(const QKeySequence& sequence, const QWidget* window)
{
    const QList<QAbstractButton*> buttons = window->findChildren<QAbstractButton*>();
    return std::any_of(buttons.begin(), buttons.end(), [&](const QAbstractButton* b) {
        return b->isVisible() && b->isEnabled() && QKeySequence::mnemonic(b->text()) == sequence;
    });
}

} // namespace

bool IsRedoKey(const QKeyEvent* event)
{
    return event->key() == Qt::Key_Y && (event->modifiers() & kChordModifiers) == Qt::ControlModifier;
}

CellKey ClassifyCellKey(const QKeyEvent* event, const QWidget* window, const QWidget* cell)
{
    if (isGridKey(event))
        return CellKey::Grid;
    if (isEditingKey(event))
        return CellKey::Editing;
    if (!window)
        return CellKey::Nothing;
    const QKeySequence sequence = sequenceOf(event);
    switch (menuKey(sequence, window)) {
    case MenuKey::Enabled:
        return CellKey::MenuCommand;
    case MenuKey::Disabled:
        // A command that is off while the row is being edited does nothing:
        // it must not post the text on its way to nothing.
        return CellKey::Nothing;
    case MenuKey::None:
        break;
    }
    if (isButtonKey(sequence, window) || isCellShortcut(sequence, cell))
        return CellKey::Button;
    return CellKey::Nothing;
}

} // namespace trd
