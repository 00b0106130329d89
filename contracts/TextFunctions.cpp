#include "TextFunctions.h"

#include "Exceptions.h"

#include <algorithm>

namespace trd {

bool EmptyString(QStringView text)
{
    for (QChar c : text)
        if (!c.isSpace())
            return false;
    return true;
}

QString Replace(const QString& what, const QString& text, const QString& with, int length)
{
    const qsizetype n = std::clamp<qsizetype>(length, 0, text.size());
    if (what.isEmpty())
        return text;
    QString head = text.left(n);
    head.replace(what, with);
    return head + text.mid(n);
}

namespace {

bool isSeparator(QChar c)
{
    return c == u',' || c == u'.';
}

} // namespace

void MaxNumber(const QString& text, int integerDigits, int decimalDigits, const QString& key, int selStart,
               int selLength)
{
    if (key.size() != 1)
        return;
    const QChar k = key.at(0);
    if (!k.isDigit() && !isSeparator(k))
        return;
    const qsizetype start = std::clamp<qsizetype>(selStart, 0, text.size());
    const qsizetype length = std::clamp<qsizetype>(selLength, 0, text.size() - start);
    const QString result = text.left(start) + k + text.mid(start + length);

    int before = 0, after = 0;
    bool seenSeparator = false;
    for (QChar c : result) {
        if (isSeparator(c))
            seenSeparator = true;
        else if (c.isDigit())
            ++(seenSeparator ? after : before);
    }
    if (before > integerDigits || after > decimalDigits)
        Abort();
}

} // namespace trd
