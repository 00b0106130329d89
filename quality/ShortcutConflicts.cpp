#include "ShortcutConflicts.h"

#include "TextProfile.h"

#include <algorithm>

namespace trd::quality {

namespace {

// The part of a destination a message quotes.
constexpr int QuotedLength = 60;

} // namespace

void ShortcutIndex::set(int row, QStringView program, QStringView component, QStringView source,
                        QStringView destination)
{
    const QChar letter = markedLetter(destination);
    // A row's program never changes: what the index held for it is in that
    // program's entries, a screen's few marked texts.
    auto bucket = m_programs.find(program);
    if (bucket != m_programs.end()) {
        bucket->second.entries.removeIf([row](const Entry& e) { return e.row == row; });
        if (letter.isNull() && bucket->second.entries.isEmpty()) {
            m_programs.erase(bucket);
            return;
        }
    }
    if (letter.isNull())
        return;
    if (bucket == m_programs.end())
        bucket = m_programs.emplace(program.toString(), Program()).first;
    Program& p = bucket->second;
    const QStringView quoted = destination.left(QuotedLength);
    p.entries.append({row, letter, markedLetter(source), p.texts.size(), int(component.size()), int(quoted.size())});
    p.texts += component;
    p.texts += quoted;
}

void ShortcutIndex::clear()
{
    m_programs.clear();
}

std::optional<Finding> ShortcutIndex::conflictOf(int row, QStringView program, QStringView source,
                                                 QStringView destination) const
{
    const QChar letter = markedLetter(destination);
    if (letter.isNull())
        return std::nullopt;
    const auto bucket = m_programs.find(program);
    if (bucket == m_programs.end())
        return std::nullopt;
    const QChar sourceLetter = markedLetter(source);
    QList<const Entry*> others;
    const Program& p = bucket->second;
    for (const Entry& e : p.entries) {
        if (e.row == row || e.letter != letter)
            continue;
        if (!sourceLetter.isNull() && e.sourceLetter == sourceLetter)
            continue; // the sources already shared the letter
        others << &e;
    }
    if (others.isEmpty())
        return std::nullopt;
    // The message names the first of them by component, in a stable order.
    auto component = [&p](const Entry* e) { return QStringView(p.texts).mid(e->text, e->componentLength); };
    std::sort(others.begin(), others.end(), [&](const Entry* a, const Entry* b) {
        const int order = component(a).compare(component(b));
        return order != 0 ? order < 0 : a->row < b->row;
    });
    const Entry& first = *others.front();
    const QStringView quoted = QStringView(p.texts).mid(first.text + first.componentLength, first.destinationLength);
    QString message =
        QStringLiteral("A tecla de atalho \"") + letter.toUpper() + QStringLiteral("\" também é marcada em ");
    message += component(&first);
    message += QStringLiteral(" (\"");
    message += quoted;
    message += QStringLiteral("\")");
    if (others.size() > 1)
        message += QStringLiteral(" e em mais ") + QString::number(others.size() - 1)
            + (others.size() == 2 ? QStringLiteral(" texto") : QStringLiteral(" textos"));
    message += QStringLiteral(" desta tela; na origem não coincidiam.");
    return Finding{CheckId::ConflitoAtalho, checkInfo(CheckId::ConflitoAtalho).severity, std::move(message)};
}

} // namespace trd::quality
