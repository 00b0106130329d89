#pragma once
// The glossary's three checks on a row (docs/glossary.md), all "aviso":
//   termo-ausente       a term of the source whose preferred translation is
//                       not in the destination, in any inflection
//   termo-proibido      a translation the glossary forbids for a term of
//                       the source is in the destination
//   termo-nao-traduzir  a term never translated is not in the destination
//                       as written
// Each lists the terms it found, so a row still has one finding per check.
#include "SpellSettings.h"
#include "TermCheck.h"
#include "TermMatcher.h"

#include <memory>
#include <vector>

namespace trd::quality {

class GlossaryCheck final : public TermCheck {
public:
    // The word forms must outlive the check.
    GlossaryCheck(QList<GlossaryTerm> terms, WordForms& sourceForms, WordForms& destinationForms);

    void check(QStringView program, QStringView source, QStringView destination, const CheckSet& checks,
               Findings& out) override;

    TermMatcher& matcher() { return m_matcher; }

private:
    TermMatcher m_matcher;
    struct Texts {
        QString source; // quoted
        QString preferred; // the preferred translations, quoted, "ou" between
        QString missing; // what termo-ausente's message says of the term
        bool hasPreferred = false; // a translation to look for
    };
    std::vector<Texts> m_texts; // per term
};

// The word forms of the source texts: Portuguese, with the pt_BR dictionary
// of the spelling's folder and the plural rule; exact words when it is not
// installed. Opening reads megabytes (about two seconds): off any
// interface thread.
std::unique_ptr<WordForms> sourceWordForms(const SpellSettings& settings);
// The word forms of a destination language: the dictionary the spelling's
// settings give it where installed, else exact words.
std::unique_ptr<WordForms> destinationWordForms(const SpellSettings& settings, const QString& language);

} // namespace trd::quality
