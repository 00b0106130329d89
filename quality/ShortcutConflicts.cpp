#include "ShortcutConflicts.h"

#include "TextProfile.h"

#include <algorithm>

namespace trd::quality {

void ShortcutIndex::set(int row, QStringView program, QStringView component, QStringView source,
                        QStringView destination)
{
    const QChar letter = markedLetter(destination);
    // Most rows mark nothing and never did: they cost one lookup of a number.
    if (const auto held = m_rowProgram.constFind(row); held != m_rowProgram.cend()) {
        auto bucket = m_programs.find(*held);
        bucket->removeIf([row](const Entry& e) { return e.row == row; });
        if (bucket->isEmpty())
            m_programs.erase(bucket);
        m_rowProgram.erase(held);
    }
    if (letter.isNull())
        return;
    const QString key = program.toString();
    m_programs[key].append({row, letter, markedLetter(source), component.toString(), destination.toString()});
    m_rowProgram.insert(row, key);
}

void ShortcutIndex::clear()
{
    m_programs.clear();
    m_rowProgram.clear();
}

std::optional<Finding> ShortcutIndex::conflictOf(int row, QStringView program, QStringView source,
                                                 QStringView destination) const
{
    const QChar letter = markedLetter(destination);
    if (letter.isNull())
        return std::nullopt;
    const auto bucket = m_programs.constFind(program.toString());
    if (bucket == m_programs.cend())
        return std::nullopt;
    const QChar sourceLetter = markedLetter(source);
    QList<const Entry*> others;
    for (const Entry& e : *bucket) {
        if (e.row == row || e.letter != letter)
            continue;
        if (!sourceLetter.isNull() && e.sourceLetter == sourceLetter)
            continue;   // the sources already shared the letter
        others << &e;
    }
    if (others.isEmpty())
        return std::nullopt;
    // The message names the first of them by component, in a stable order.
    std::sort(others.begin(), others.end(), [](const Entry* a, const Entry* b) {
        return a->component != b->component ? a->component < b->component : a->row < b->row;
    });
    const Entry& first = *others.front();
    QString message = QStringLiteral("A tecla de atalho \"") + letter.toUpper() +
                      QStringLiteral("\" também é marcada em ") + first.component + QStringLiteral(" (\"") +
                      first.destination.left(60) + QStringLiteral("\")");
    if (others.size() > 1)
        message += QStringLiteral(" e em mais ") + QString::number(others.size() - 1) +
                   (others.size() == 2 ? QStringLiteral(" texto") : QStringLiteral(" textos"));
    message += QStringLiteral(" desta tela; na origem não coincidiam.");
    return Finding{CheckId::ConflitoAtalho, checkInfo(CheckId::ConflitoAtalho).severity, std::move(message)};
}

} // namespace trd::quality
