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

namespace trd::quality {

class ShortcutIndex {
public:
    // Adds a row, or replaces what the index holds for it (the row's program
    // never changes). `row` is the caller's key: a record number, an index.
    // A destination without a mark costs nothing to hold.
    void set(int row, QStringView program, QStringView component, QStringView source, QStringView destination);
    void clear();
    bool isEmpty() const { return m_programs.isEmpty(); }

    // The conflict of a row with the other rows of its program in the index,
    // for the texts given: they may be newer than those the index holds for
    // it (the editor asks while the user types).
    std::optional<Finding> conflictOf(int row, QStringView program, QStringView source,
                                      QStringView destination) const;

private:
    struct Entry {
        int row;
        QChar letter;           // of the destination's mark, folded
        QChar sourceLetter;     // of the source's mark, folded; null when none
        QString component;
        QString destination;
    };
    QHash<QString, QList<Entry>> m_programs;
    QHash<int, QString> m_rowProgram;   // the program of each row held
};

} // namespace trd::quality
