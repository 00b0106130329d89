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

SizeFinding checkSize(QStringView source, QStringView destination, const SizeRule& rule)
{
    SizeFinding worst;
    if (destination.isEmpty())
        return worst;
    const QList<QStringView> sourceLines = splitLines(source);
    const QList<QStringView> destLines = splitLines(destination);
    int worstExcess = 0;
    for (qsizetype i = 0; i < destLines.size(); ++i) {
        const int found = shownLength(destLines[i], rule.countAmpersands);
        const bool extra = i >= sourceLines.size();
        const int sourceLength = extra ? 0 : shownLength(sourceLines[i], rule.countAmpersands);
        // A trailing line break adds an empty line that takes no room.
        if (extra && found == 0)
            continue;
        const int allowed = extra ? 0 : allowedLength(sourceLength, rule);
        const int excess = found - allowed;
        if (excess > worstExcess) {
            worstExcess = excess;
            worst = {true, int(i) + 1, found, allowed, sourceLength, extra};
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
