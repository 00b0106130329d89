#pragma once
// A term of a language's glossary (docs/glossary.md): the source words the
// application must translate one way, the translations it wants, those it
// does not, or that the term is never translated.
#include <QString>
#include <QStringList>

namespace trd::quality {

struct GlossaryTerm {
    qint64 id = 0;
    QString source; // one or more words: "Pedido", "Nota fiscal"
    QStringList preferred; // any of them is right: "Order"
    QStringList forbidden; // none of them may appear: "Request"
    bool doNotTranslate = false; // the source words stay as written: a product name
    QString note; // for the translator
    QString program; // empty: every program; else only that program's rows
    bool operator==(const GlossaryTerm&) const = default;
};

// Whether the term applies to rows of `program` (case aside).
bool appliesTo(const GlossaryTerm& term, QStringView program);

} // namespace trd::quality
