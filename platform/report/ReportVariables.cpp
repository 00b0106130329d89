#include "ReportVariables.h"

namespace trd {

namespace {

// A {name|value=text|...} writes the text given for the variable's value
// ("=text" for the empty value), or the value itself when none is given.
QString chosen(const QString& value, const QStringList& choices)
{
    for (const QString& choice : choices) {
        const qsizetype equals = choice.indexOf(u'=');
        if (equals >= 0 && choice.left(equals) == value)
            return choice.mid(equals + 1);
    }
    return value;
}

// Calls visit(name, choices) for each {name} or {name|choices}, appending
// literal parts to out.
template <typename Visit>
void scan(const QString& text, QString* out, Visit visit)
{
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c == u'{' && i + 1 < text.size() && text.at(i + 1) == u'{') {
            if (out)
                out->append(c);
            ++i;
            continue;
        }
        if (c == u'{') {
            const qsizetype close = text.indexOf(u'}', i + 1);
            if (close > i + 1) {
                QStringList parts = text.mid(i + 1, close - i - 1).split(u'|');
                const QString name = parts.takeFirst();
                if (!name.isEmpty() && !name.contains(u' ')) {
                    visit(name, parts);
                    i = close;
                    continue;
                }
            }
        }
        if (out)
            out->append(c);
    }
}

bool builtIn(const QString& name, bool band)
{
    static const QStringList always = {QStringLiteral("title"), QStringLiteral("code"), QStringLiteral("date"),
                                       QStringLiteral("time")};
    return always.contains(name) || (band && (name == u"page" || name == u"pages"));
}

} // namespace

QString UnknownVariable(const QString& text, const QStringList& params, bool band)
{
    QString unknown;
    scan(text, nullptr, [&](const QString& name, const QStringList&) {
        if (unknown.isEmpty() && !builtIn(name, band) && !params.contains(name, Qt::CaseInsensitive))
            unknown = name;
    });
    return unknown;
}

QString SubstituteVariables(const QString& text, const std::function<QString(const QString&)>& value)
{
    if (!text.contains(u'{'))
        return text;
    QString out;
    out.reserve(text.size());
    scan(text, &out, [&](const QString& name, const QStringList& choices) {
        out += choices.isEmpty() ? value(name) : chosen(value(name), choices);
    });
    return out;
}

} // namespace trd
