#include "ReportVariables.h"

namespace trd {

namespace {

// Calls visit(name) for each {name}, appending literal parts to out.
template <typename Visit>
void scan(const QString& text, QString* out, Visit visit)
{
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c == u'{' && i + 1 < text.size() && text.at(i + 1) == u'{') {
            if (out) out->append(c);
            ++i;
            continue;
        }
        if (c == u'{') {
            const qsizetype close = text.indexOf(u'}', i + 1);
            if (close > i + 1) {
                const QString name = text.mid(i + 1, close - i - 1);
                if (!name.contains(u' ')) {
                    visit(name);
                    i = close;
                    continue;
                }
            }
        }
        if (out) out->append(c);
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
    scan(text, nullptr, [&](const QString& name) {
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
    scan(text, &out, [&](const QString& name) { out += value(name); });
    return out;
}

} // namespace trd
