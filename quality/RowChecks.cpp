#include "RowChecks.h"

#include "TextProfile.h"

#include <algorithm>

namespace trd::quality {

namespace {

using Views = QVarLengthArray<QStringView, 8>;

QString quoted(QStringView text)
{
    return u'"' + text.toString() + u'"';
}

// At most five, so that a message stays one line of the panel.
QString quotedList(const Views& items)
{
    constexpr qsizetype shown = 5;
    QString list;
    for (qsizetype i = 0; i < items.size() && i < shown; ++i) {
        if (i)
            list += QStringLiteral(", ");
        list += quoted(items[i]);
    }
    if (items.size() > shown)
        list += QStringLiteral(" e mais ") + QString::number(items.size() - shown);
    return list;
}

// What one list has that the other lacks, each item counted as often as it
// appears: "%s %s" against "%s" lacks one "%s".
template <typename Less>
void difference(const Views& source, const Views& destination, Less less, Views& missing, Views& extra)
{
    Views a = source;
    Views b = destination;
    std::sort(a.begin(), a.end(), less);
    std::sort(b.begin(), b.end(), less);
    qsizetype i = 0;
    qsizetype j = 0;
    while (i < a.size() || j < b.size()) {
        if (j == b.size() || (i < a.size() && less(a[i], b[j])))
            missing.append(a[i++]);
        else if (i == a.size() || less(b[j], a[i]))
            extra.append(b[j++]);
        else {
            ++i;
            ++j;
        }
    }
}

template <typename Less>
bool sameItems(const Views& source, const Views& destination, Less less)
{
    if (source.size() != destination.size())
        return false;
    // The usual case, nothing moved, needs no sorting.
    bool inOrder = true;
    for (qsizetype i = 0; i < source.size() && inOrder; ++i)
        inOrder = !less(source[i], destination[i]) && !less(destination[i], source[i]);
    if (inOrder)
        return true;
    Views missing;
    Views extra;
    difference(source, destination, less, missing, extra);
    return missing.isEmpty() && extra.isEmpty();
}

// "Falta na tradução o marcador "%s" da origem. A tradução tem o marcador "%d", que a origem não tem."
QString differenceMessage(const Views& missing, const Views& extra, const QString& singular, const QString& plural)
{
    QString message;
    if (!missing.isEmpty()) {
        message = missing.size() == 1 ? QStringLiteral("Falta na tradução o ") + singular + u' ' + quotedList(missing)
                                      : QStringLiteral("Faltam na tradução os ") + plural + u' ' + quotedList(missing);
        message += QStringLiteral(" da origem.");
    }
    if (!extra.isEmpty()) {
        if (!message.isEmpty())
            message += u' ';
        message += missing.isEmpty() && extra.size() == 1 ? QStringLiteral("A tradução tem o ") + singular
            : missing.isEmpty()                           ? QStringLiteral("A tradução tem os ") + plural
            : extra.size() == 1                           ? QStringLiteral("Tem o ") + singular
                                                          : QStringLiteral("Tem os ") + plural;
        message += u' ' + quotedList(extra) + QStringLiteral(", que a origem não tem.");
    }
    return message;
}

bool textLess(QStringView a, QStringView b)
{
    return a.compare(b) < 0;
}

void add(Findings& out, CheckId check, QString message)
{
    out.append({check, checkInfo(check).severity, std::move(message)});
}

void placeholders(const TextProfile& s, const TextProfile& d, Findings& out)
{
    if (sameItems(s.placeholders, d.placeholders, textLess))
        return;
    Views missing;
    Views extra;
    difference(s.placeholders, d.placeholders, textLess, missing, extra);
    add(out, CheckId::Marcadores,
        differenceMessage(missing, extra, QStringLiteral("marcador"), QStringLiteral("marcadores")));
}

QString markList(const QVarLengthArray<QStringView, 2>& marks)
{
    QString list;
    for (QStringView mark : marks) {
        if (!list.isEmpty())
            list += QStringLiteral(", ");
        list += mark.toString();
    }
    return list;
}

void shortcutMark(const TextProfile& s, const TextProfile& d, Findings& out)
{
    QStringList sentences;
    if (!s.marks.isEmpty() && d.marks.isEmpty())
        sentences << QStringLiteral("A origem marca a tecla de atalho ") + quoted(s.marks[0].mid(1))
                + QStringLiteral(" (") + s.marks[0].toString() + QStringLiteral("); a tradução não marca nenhuma.");
    if (s.marks.isEmpty() && !d.marks.isEmpty())
        sentences << QStringLiteral("A tradução marca a tecla de atalho ") + quoted(d.marks[0].mid(1))
                + QStringLiteral(" (") + d.marks[0].toString() + QStringLiteral("), que a origem não marca.");
    if (d.marks.size() > 1)
        sentences << QStringLiteral("A tradução marca ") + QString::number(d.marks.size())
                + QStringLiteral(" teclas de atalho (") + markList(d.marks) + QStringLiteral("); só uma pode valer.");
    if (d.strayAmpersands.size() > s.strayAmpersands.size())
        sentences << QStringLiteral("O \"&\" em ") + quoted(d.strayAmpersands[0])
                + QStringLiteral(" não marca letra nem dígito; para mostrar \"&\" escreva \"&&\".");
    if (!sentences.isEmpty())
        add(out, CheckId::Atalho, sentences.join(u' '));
}

QString countOf(int n, const QString& singular, const QString& plural)
{
    return QString::number(n) + u' ' + (n == 1 ? singular : plural);
}

void lineBreaks(const TextProfile& s, const TextProfile& d, Findings& out)
{
    if (s.lineBreaks == d.lineBreaks)
        return;
    const QString source = s.lineBreaks == 0 ? QStringLiteral("A origem não tem quebra de linha")
                                             : QStringLiteral("A origem tem ")
            + countOf(s.lineBreaks, QStringLiteral("quebra de linha"), QStringLiteral("quebras de linha"));
    const QString destination = d.lineBreaks == 0 ? QStringLiteral("a tradução não tem nenhuma")
                                                  : QStringLiteral("a tradução tem ") + QString::number(d.lineBreaks);
    add(out, CheckId::Quebras, source + QStringLiteral("; ") + destination + u'.');
}

void spaces(const TextProfile& s, const TextProfile& d, Findings& out)
{
    QStringList sentences;
    auto compare = [&](int source, int destination, const QString& where) {
        if (source != destination)
            sentences << QStringLiteral("Espaços ") + where + QStringLiteral(": ") + QString::number(source)
                    + QStringLiteral(" na origem, ") + QString::number(destination) + QStringLiteral(" na tradução.");
    };
    compare(s.leadingSpaces, d.leadingSpaces, QStringLiteral("no início"));
    compare(s.trailingSpaces, d.trailingSpaces, QStringLiteral("no fim"));
    if (!sentences.isEmpty())
        add(out, CheckId::Espacos, sentences.join(u' '));
}

void endPunctuation(const TextProfile& s, const TextProfile& d, Findings& out)
{
    if (s.endPunctuation == d.endPunctuation)
        return;
    auto ending = [](QChar mark) {
        return mark.isNull() ? QStringLiteral("sem pontuação") : QStringLiteral("com ") + quoted(QStringView(&mark, 1));
    };
    add(out, CheckId::Pontuacao,
        QStringLiteral("A origem termina ") + ending(s.endPunctuation) + QStringLiteral(" e a tradução ")
            + ending(d.endPunctuation) + u'.');
}

void repetitions(const TextProfile& s, const TextProfile& d, Findings& out)
{
    QStringList sentences;
    if (d.doubleSpaces > s.doubleSpaces)
        sentences << QStringLiteral("A tradução tem espaços duplos que a origem não tem.");
    // Counted, not matched word for word: "Bora Bora" keeps its double in
    // every language, but its words need not be the source's.
    if (d.doubledWords.size() > s.doubledWords.size()) {
        Views doubled;
        for (QStringView pair : d.doubledWords)
            doubled.append(pair);
        sentences << (doubled.size() == 1 ? QStringLiteral("Palavra repetida na tradução: ")
                                          : QStringLiteral("Palavras repetidas na tradução: "))
                + quotedList(doubled) + u'.';
    }
    if (!sentences.isEmpty())
        add(out, CheckId::Repeticoes, sentences.join(u' '));
}

void delimiters(const TextProfile& s, const TextProfile& d, Findings& out)
{
    QStringList sentences;
    auto compare = [&](const Brackets& source, const Brackets& destination, const QString& name) {
        if (source.balance() == destination.balance())
            return;
        sentences << name + QStringLiteral(": a origem abre ") + QString::number(source.opened)
                + QStringLiteral(" e fecha ") + QString::number(source.closed) + QStringLiteral("; a tradução abre ")
                + QString::number(destination.opened) + QStringLiteral(" e fecha ")
                + QString::number(destination.closed) + u'.';
    };
    compare(s.parentheses, d.parentheses, QStringLiteral("Parênteses"));
    compare(s.squareBrackets, d.squareBrackets, QStringLiteral("Colchetes"));
    compare(s.braces, d.braces, QStringLiteral("Chaves"));
    // Quotes have no side that opens in every language ("…", «…», „…“):
    // what counts is whether every one is closed, as in the source.
    if (s.doubleQuotes % 2 != d.doubleQuotes % 2)
        sentences << QStringLiteral("Aspas: ") + QString::number(s.doubleQuotes) + QStringLiteral(" na origem, ")
                + QString::number(d.doubleQuotes) + QStringLiteral(" na tradução.");
    if (!sentences.isEmpty())
        add(out, CheckId::Delimitadores, sentences.join(u' '));
}

void numbers(const TextProfile& s, const TextProfile& d, Findings& out)
{
    if (sameItems(s.numbers, d.numbers, numberLess))
        return;
    Views missing;
    Views extra;
    difference(s.numbers, d.numbers, numberLess, missing, extra);
    add(out, CheckId::Numeros, differenceMessage(missing, extra, QStringLiteral("número"), QStringLiteral("números")));
}

} // namespace

void checkRow(QStringView source, QStringView destination, QStringView status, const RowOptions& options, Findings& out)
{
    if (std::all_of(destination.begin(), destination.end(), [](QChar c) { return c.isSpace(); }))
        return;
    const CheckSet& checks = options.checks;
    TextProfile s;
    TextProfile d;
    readProfile(source, s);
    readProfile(destination, d);
    if (checks.contains(CheckId::Marcadores))
        placeholders(s, d, out);
    if (checks.contains(CheckId::Atalho))
        shortcutMark(s, d, out);
    if (checks.contains(CheckId::Quebras))
        lineBreaks(s, d, out);
    if (checks.contains(CheckId::Espacos))
        spaces(s, d, out);
    if (checks.contains(CheckId::Pontuacao))
        endPunctuation(s, d, out);
    if (checks.contains(CheckId::Repeticoes))
        repetitions(s, d, out);
    if (checks.contains(CheckId::Delimitadores))
        delimiters(s, d, out);
    if (checks.contains(CheckId::Numeros))
        numbers(s, d, out);
    if (checks.contains(CheckId::IgualOrigem) && status == u"T" && destination == source && s.hasLetter)
        add(out, CheckId::IgualOrigem, QStringLiteral("Tradução igual à origem numa linha marcada como traduzida."));
    if (checks.contains(CheckId::Tamanho)) {
        const SizeFinding size = checkSize(source, destination, options.size);
        if (size.tooLong)
            add(out, CheckId::Tamanho, sizeMessage(size));
    }
}

} // namespace trd::quality
