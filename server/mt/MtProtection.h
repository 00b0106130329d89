#pragma once
// What the engine must not touch in a screen text, hidden before it is sent
// and put back after. The program fills the format placeholders (the checks'
// own definitions, quality/Tokens.h) and reads the shortcut mark; a line
// break lays the text out on its screen; an address, an entity or a doubled
// "%%" or "&&" is not prose. Each becomes a tag <xN/>, which the engine keeps
// as it stands, in a text whose own "<", ">" and "&" travel as entities; the
// shortcut mark is taken off and set again on the translation's letter. An
// answer that lost, doubled or invented a tag, or in which the checks still
// find a placeholder, a mark or a line break broken, is refused with the
// reason: never offered as good.
#include <QString>

#include <string>
#include <vector>

namespace trd::server::mt {

struct ProtectedText {
    std::string markup; // UTF-8, what the engine is sent
    std::vector<QString> tokens; // what <x1/>, <x2/>... stand for
    std::vector<bool> lineBreak; // per token: a line break (they keep their order)
    QString leading; // blanks around the text, kept as they are
    QString trailing;
    QChar markedLetter; // the letter the shortcut mark was on (null: none)
    bool empty() const { return markup.empty(); }
};

ProtectedText protect(const QString& source);

struct Restored {
    QString text; // the translation, everything put back
    QString problem; // empty when it can be offered; else why it is refused
    bool ok() const { return problem.isEmpty(); }
};

// The engine's answer (UTF-8) to protected.markup made a translation of `source` again.
Restored restore(const QString& source, const ProtectedText& protectedText, const std::string& answer);

} // namespace trd::server::mt
