#include "MtProtection.h"

#include "RowChecks.h"
#include "Tokens.h"
#include "Win1252.h"

namespace trd::server::mt {

namespace {

using quality::Span;
using quality::Spans;

// The ends of a text's address that starts at i, or -1.
qsizetype addressEndAt(const Spans& spans, qsizetype i)
{
    for (const Span& s : spans)
        if (s.begin == i)
            return s.end;
    return -1;
}

struct Builder {
    ProtectedText& out;
    QString markup;

    void token(const QString& text, bool isBreak)
    {
        out.tokens.push_back(text);
        out.lineBreak.push_back(isBreak);
        markup += QStringLiteral("<x%1/>").arg(out.tokens.size());
    }
};

// Length of a tag <xN/> at a[i], with N read into n; 0 when none is there.
qsizetype tagAt(const QString& a, qsizetype i, int& n)
{
    if (i + 4 >= a.size() || a[i] != u'<' || a[i + 1] != u'x')
        return 0;
    qsizetype k = i + 2;
    n = 0;
    while (k < a.size() && quality::isAsciiDigit(a[k]) && n < 100000)
        n = n * 10 + (a[k++].unicode() - u'0');
    if (k == i + 2 || k + 1 >= a.size() || a[k] != u'/' || a[k + 1] != u'>')
        return 0;
    return k + 2 - i;
}

struct Entity {
    QStringView name;
    QChar character;
};
constexpr Entity Entities[] = {{u"&lt;", u'<'},   {u"&gt;", u'>'},   {u"&amp;", u'&'},
                               {u"&quot;", u'"'}, {u"&#39;", u'\''}, {u"&apos;", u'\''}};

// Where the shortcut mark goes in the translation: before the first word
// that starts with the letter it was on, else before that letter anywhere,
// else before the first letter or digit. Never inside what was put back.
qsizetype markPlace(const QString& text, const std::vector<bool>& restored, QChar letter)
{
    const auto free = [&](qsizetype i) { return !restored[static_cast<std::size_t>(i)]; };
    for (qsizetype i = 0; i < text.size(); ++i)
        if (free(i) && text[i].toLower() == letter && (i == 0 || !text[i - 1].isLetterOrNumber()))
            return i;
    for (qsizetype i = 0; i < text.size(); ++i)
        if (free(i) && text[i].toLower() == letter)
            return i;
    for (qsizetype i = 0; i < text.size(); ++i)
        if (free(i) && text[i].isLetterOrNumber())
            return i;
    return -1;
}

// The engine's marks on a word ("#palavra": its form could not be made,
// "@palavra": left untranslated) come off: the word is still the right one,
// as the user can read. Only where the source has no such character.
void dropEngineMarks(const QString& source, QString& text, std::vector<bool>& restored)
{
    for (qsizetype i = 0; i + 1 < text.size(); ++i) {
        const QChar c = text[i];
        if ((c == u'#' || c == u'@') && !restored[static_cast<std::size_t>(i)] && text[i + 1].isLetter()
            && (i == 0 || !text[i - 1].isLetterOrNumber()) && !source.contains(c)) {
            text.remove(i, 1);
            restored.erase(restored.begin() + i);
        }
    }
}

// A word marked unknown ("*palavra"): marks are never asked for, so an
// answer with them is not the one the engine was asked for.
bool hasUnknownMarks(const QString& source, const QString& text, const std::vector<bool>& restored)
{
    for (qsizetype i = 0; i + 1 < text.size(); ++i)
        if (text[i] == u'*' && !restored[static_cast<std::size_t>(i)] && text[i + 1].isLetter()
            && (i == 0 || !text[i - 1].isLetterOrNumber()) && !source.contains(u'*'))
            return true;
    return false;
}

} // namespace

ProtectedText protect(const QString& source)
{
    ProtectedText out;
    qsizetype first = 0, last = source.size();
    while (first < last && quality::isBlank(source[first]))
        ++first;
    while (last > first && quality::isBlank(source[last - 1]))
        --last;
    out.leading = source.left(first);
    out.trailing = source.mid(last);
    const QStringView body = QStringView(source).mid(first, last - first);
    Spans addresses;
    quality::findAddresses(body, addresses);
    Builder b{out, {}};
    for (qsizetype i = 0; i < body.size();) {
        const QChar c = body[i];
        if (const qsizetype end = addressEndAt(addresses, i); end > i) {
            b.token(body.mid(i, end - i).toString(), false);
            i = end;
        } else if (c == u'\r' && i + 1 < body.size() && body[i + 1] == u'\n') {
            b.token(QStringLiteral("\r\n"), true);
            i += 2;
        } else if (quality::isLineBreak(c)) {
            b.token(QString(c), true);
            ++i;
        } else if (quality::isEscapedPair(body, i) || (c == u'&' && i + 1 < body.size() && body[i + 1] == u'&')) {
            b.token(body.mid(i, 2).toString(), false);
            i += 2;
        } else if (const qsizetype n = (c == u'%' || c == u'{') ? quality::placeholderLength(body, i) : 0) {
            b.token(body.mid(i, n).toString(), false);
            i += n;
        } else if (c == u'&') {
            const qsizetype entity = quality::entityLength(body, i);
            const bool marks = entity == 0 && i + 1 < body.size() && body[i + 1].isLetterOrNumber();
            if (marks && out.markedLetter.isNull()) {
                out.markedLetter = body[i + 1].toLower();
                ++i;
            } else {
                const qsizetype n = entity > 0 ? entity : 1;
                b.token(body.mid(i, n).toString(), false);
                i += n;
            }
        } else {
            if (c == u'<')
                b.markup += QStringLiteral("&lt;");
            else if (c == u'>')
                b.markup += QStringLiteral("&gt;");
            else
                b.markup += c;
            ++i;
        }
    }
    out.markup = b.markup.toStdString();
    return out;
}

Restored restore(const QString& source, const ProtectedText& p, const std::string& answer)
{
    Restored r;
    const QString a = QString::fromUtf8(answer);
    QString text;
    std::vector<bool> restored;
    std::vector<bool> seen(p.tokens.size(), false);
    int lastBreak = 0;
    const auto append = [&](const QString& piece, bool isToken) {
        text += piece;
        restored.insert(restored.end(), static_cast<std::size_t>(piece.size()), isToken);
    };
    for (qsizetype i = 0; i < a.size();) {
        int n = 0;
        if (const qsizetype len = tagAt(a, i, n)) {
            const auto k = static_cast<std::size_t>(n - 1);
            if (n < 1 || k >= p.tokens.size())
                return {{}, QStringLiteral("a resposta do motor trouxe uma marcação que não foi enviada")};
            if (seen[k])
                return {{}, QStringLiteral("a resposta do motor repetiu \"%1\"").arg(p.tokens[k])};
            if (p.lineBreak[k]) {
                if (n < lastBreak)
                    return {{}, QStringLiteral("a resposta do motor trocou a ordem das quebras de linha")};
                lastBreak = n;
            }
            seen[k] = true;
            append(p.tokens[k], true);
            i += len;
            continue;
        }
        if (a[i] == u'<')
            return {{}, QStringLiteral("a resposta do motor trouxe uma marcação que não foi enviada")};
        bool entity = false;
        if (a[i] == u'&')
            for (const Entity& e : Entities)
                if (QStringView(a).mid(i).startsWith(e.name)) {
                    append(QString(e.character), false);
                    i += e.name.size();
                    entity = true;
                    break;
                }
        if (!entity)
            append(QString(a[i++]), false);
    }
    for (std::size_t k = 0; k < seen.size(); ++k)
        if (!seen[k])
            return {{},
                    p.lineBreak[k] ? QStringLiteral("a resposta do motor perdeu uma quebra de linha")
                                   : QStringLiteral("a resposta do motor perdeu \"%1\"").arg(p.tokens[k])};
    // The engine's own blanks around the text give way to the source's.
    qsizetype first = 0, last = text.size();
    while (first < last && !restored[static_cast<std::size_t>(first)] && quality::isBlank(text[first]))
        ++first;
    while (last > first && !restored[static_cast<std::size_t>(last - 1)] && quality::isBlank(text[last - 1]))
        --last;
    text = text.mid(first, last - first);
    restored = std::vector<bool>(restored.begin() + first, restored.begin() + last);
    dropEngineMarks(source, text, restored);
    if (hasUnknownMarks(source, text, restored))
        return {{}, QStringLiteral("a resposta do motor marcou palavras que ele não conhece")};
    if (!p.markedLetter.isNull()) {
        const qsizetype at = markPlace(text, restored, p.markedLetter);
        if (at < 0)
            return {{}, QStringLiteral("a marca de atalho não tem letra onde ficar na resposta do motor")};
        text.insert(at, u'&');
    }
    r.text = p.leading + text + p.trailing;
    // The module's texts are Windows-1252: a character the save would refuse
    // is no draft to offer (nor to write in a pre-translation's save).
    if (const qsizetype at = win1252::firstUnrepresentable(r.text); at >= 0)
        return {{}, QStringLiteral("a resposta do motor traz \"%1\", que não existe no Windows-1252").arg(r.text[at])};
    // The checks of the editor and of trd-check have the last word.
    quality::RowOptions options;
    options.checks = quality::CheckSet();
    options.checks.insert(quality::CheckId::Marcadores);
    options.checks.insert(quality::CheckId::Atalho);
    options.checks.insert(quality::CheckId::Quebras);
    quality::Findings findings;
    quality::checkRow(source, r.text, u"T", options, findings);
    if (!findings.isEmpty()) {
        r.problem = findings.front().message;
        r.text.clear();
    }
    return r;
}

} // namespace trd::server::mt
