#include "SizeRule.h"

#include <algorithm>

namespace trd::quality {

QList<QStringView> splitLines(QStringView text)
{
    QList<QStringView> lines;
    qsizetype start = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c != u'\r' && c != u'\n')
            continue;
        lines << text.mid(start, i - start);
        if (c == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n')
            ++i;
        start = i + 1;
    }
    lines << text.mid(start);
    return lines;
}

int shownLength(QStringView line, bool countAmpersands)
{
    if (countAmpersands)
        return int(line.size());
    int length = 0;
    for (qsizetype i = 0; i < line.size(); ++i) {
        if (line[i] == u'&') {
            // "&&" shows one "&"; a lone "&" shows nothing and underlines the next letter.
            if (i + 1 < line.size() && line[i + 1] == u'&') {
                ++length;
                ++i;
            }
            continue;
        }
        ++length;
    }
    return length;
}

int allowedLength(int sourceLength, const SizeRule& rule)
{
    // Rounded up: a 10% allowance on a 4-character label is still one more.
    const int grown = (sourceLength * std::max(rule.percent, 0) + 99) / 100;
    int allowed = sourceLength + std::max(grown, std::max(rule.minExtra, 0));
    if (rule.maxLine > 0)
        allowed = std::min(allowed, rule.maxLine);
    return allowed;
}

namespace {

// The lines of a text one after the other, as splitLines cuts them, each
// with the characters it shows, in one pass and without a list: the check
// runs for every row of a language.
class LineCursor {
public:
    LineCursor(QStringView text, bool countAmpersands) : m_text(text), m_countAmpersands(countAmpersands) { }

    // The characters the next line shows; false after the last line.
    bool next(int& shown)
    {
        if (m_done)
            return false;
        const qsizetype n = m_text.size();
        qsizetype i = m_start;
        int length = 0;
        for (; i < n; ++i) {
            const QChar c = m_text[i];
            if (c == u'\r' || c == u'\n')
                break;
            // "&&" shows one "&"; a lone "&" shows nothing (shownLength).
            if (c == u'&' && !m_countAmpersands) {
                if (i + 1 < n && m_text[i + 1] == u'&') {
                    ++length;
                    ++i;
                }
                continue;
            }
            ++length;
        }
        shown = length;
        if (i >= n) {
            m_done = true;
            return true;
        }
        if (m_text[i] == u'\r' && i + 1 < n && m_text[i + 1] == u'\n')
            ++i;
        m_start = i + 1;
        return true;
    }

private:
    QStringView m_text;
    bool m_countAmpersands;
    qsizetype m_start = 0;
    bool m_done = false;
};

} // namespace

SizeFinding checkSize(QStringView source, QStringView destination, const SizeRule& rule)
{
    SizeFinding worst;
    if (destination.isEmpty())
        return worst;
    LineCursor sourceLines(source, rule.countAmpersands);
    LineCursor destLines(destination, rule.countAmpersands);
    int worstExcess = 0;
    bool sourceLeft = true;
    int found = 0;
    int sourceShown = 0;
    for (int i = 0; destLines.next(found); ++i) {
        sourceLeft = sourceLeft && sourceLines.next(sourceShown);
        const bool extra = !sourceLeft;
        const int sourceLength = extra ? 0 : sourceShown;
        // A trailing line break adds an empty line that takes no room.
        if (extra && found == 0)
            continue;
        const int allowed = extra ? 0 : allowedLength(sourceLength, rule);
        const int excess = found - allowed;
        if (excess > worstExcess) {
            worstExcess = excess;
            worst = {true, i + 1, found, allowed, sourceLength, extra};
        }
    }
    return worst;
}

QString sizeMessage(const SizeFinding& f)
{
    if (f.extraLine)
        return QStringLiteral("Linha %1 com %2 caracteres, a mais que as linhas do texto de origem.")
            .arg(f.line)
            .arg(f.found);
    return QStringLiteral("Linha %1 com %2 caracteres; o máximo é %3 (origem com %4).")
        .arg(f.line)
        .arg(f.found)
        .arg(f.allowed)
        .arg(f.sourceLength);
}

} // namespace trd::quality
