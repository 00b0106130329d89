#pragma once
// Shortcut letters repeated on one screen. Two captions of a screen that mark
// the same letter leave one of them out of the keyboard's reach. The texts of
// a screen are the rows of one program; a conflict is reported when two
// destination texts of a program mark the same letter (case aside) while
// their source texts did not (a conflict the source already has is the
// screen's own, not the translation's).
#include "Checks.h"

#include <QChar>
#include <QHash>
#include <QList>
#include <QString>
#include <QStringView>

#include <optional>
#include <unordered_map>

namespace trd::quality {

class ShortcutIndex {
public:
    // Adds a row, or replaces what the index holds for it: a row's program
    // never changes, so the row is looked for among that program's rows. `row` is the caller's key: a record number, an index.
    // A destination without a mark costs nothing to hold.
    void set(int row, QStringView program, QStringView component, QStringView source, QStringView destination);
    void clear();
    bool isEmpty() const { return m_programs.empty(); }

    // The conflict of a row with the other rows of its program in the index,
    // for the texts given: they may be newer than those the index holds for
    // it (the editor asks while the user types).
    std::optional<Finding> conflictOf(int row, QStringView program, QStringView source, QStringView destination) const;

private:
    // The texts a message quotes live in one string per program, so that
    // holding a row costs no allocation of its own.
    struct Entry {
        int row;
        QChar letter; // of the destination's mark, folded
        QChar sourceLetter; // of the source's mark, folded; null when none
        qsizetype text; // where its component and destination start in Program::texts
        int componentLength;
        int destinationLength; // at most the part a message quotes
    };
    struct Program {
        QList<Entry> entries;
        QString texts;
    };
    // Looked up by a view of the program's name: asking allocates nothing.
    struct NameHash {
        using is_transparent = void;
        std::size_t operator()(QStringView name) const noexcept { return qHash(name); }
    };
    struct NameEqual {
        using is_transparent = void;
        bool operator()(QStringView a, QStringView b) const noexcept { return a == b; }
    };
    std::unordered_map<QString, Program, NameHash, NameEqual> m_programs;
};

} // namespace trd::quality
