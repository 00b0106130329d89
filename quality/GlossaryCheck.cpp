#include "GlossaryCheck.h"

#include <algorithm>

namespace trd::quality {

namespace {

// At most three terms in a message, so it stays one line of the panel.
constexpr int Shown = 3;

QString quoted(const QString& text)
{
    return u'"' + text + u'"';
}

QString alternatives(const QStringList& texts)
{
    QStringList q;
    for (const QString& t : texts)
        if (!t.trimmed().isEmpty())
            q << quoted(t);
    return q.join(QStringLiteral(" ou "));
}

QString joined(const QStringList& parts, qsizetype more)
{
    QString text = parts.join(QStringLiteral("; "));
    if (more > 0)
        text += QStringLiteral("; e mais ") + QString::number(more);
    return text;
}

void add(Findings& out, CheckId id, const QString& message)
{
    out.append(Finding{id, checkInfo(id).severity, message});
}

} // namespace

GlossaryCheck::GlossaryCheck(QList<GlossaryTerm> terms, WordForms& sourceForms, WordForms& destinationForms)
    : m_matcher(std::move(terms), sourceForms, destinationForms)
{
    // The texts of the messages, once per term rather than per finding.
    for (const GlossaryTerm& t : m_matcher.terms()) {
        Texts texts;
        texts.source = quoted(t.source);
        texts.preferred = alternatives(t.preferred);
        texts.hasPreferred = !texts.preferred.isEmpty();
        texts.missing = texts.source + QStringLiteral(" se traduz ") + texts.preferred;
        m_texts.push_back(std::move(texts));
    }
}

void GlossaryCheck::check(QStringView program, QStringView source, QStringView destination, const CheckSet& checks,
                          Findings& out)
{
    const bool ausente = checks.contains(CheckId::TermoAusente);
    const bool proibido = checks.contains(CheckId::TermoProibido);
    const bool naoTraduzir = checks.contains(CheckId::TermoNaoTraduzir);
    if ((!ausente && !proibido && !naoTraduzir) || destination.trimmed().isEmpty())
        return;
    const std::vector<int> found = m_matcher.termsIn(source, program);
    if (found.empty())
        return;
    m_matcher.readDestination(destination);
    // A message names the first terms and counts the others: texts are
    // written only for those it names.
    QStringList missing, forbidden, translated;
    qsizetype moreMissing = 0, moreForbidden = 0, moreTranslated = 0;
    for (int t : found) {
        const GlossaryTerm& term = m_matcher.terms()[t];
        const Texts& texts = m_texts[std::size_t(t)];
        if (term.doNotTranslate) {
            if (naoTraduzir && !m_matcher.hasUntranslated(t)) {
                if (translated.size() < Shown)
                    translated << texts.source;
                else
                    ++moreTranslated;
            }
            continue;
        }
        if (ausente && texts.hasPreferred && !m_matcher.hasPreferred(t)) {
            if (missing.size() < Shown)
                missing << texts.missing;
            else
                ++moreMissing;
        }
        if (proibido && !term.forbidden.isEmpty())
            if (const int f = m_matcher.forbiddenFound(t); f >= 0) {
                if (forbidden.size() >= Shown) {
                    ++moreForbidden;
                    continue;
                }
                QString part = quoted(term.forbidden[f]) + QStringLiteral(" para ") + texts.source;
                if (texts.hasPreferred)
                    part += QStringLiteral(" (use ") + texts.preferred + u')';
                forbidden << part;
            }
    }
    if (!missing.isEmpty())
        add(out, CheckId::TermoAusente,
            QStringLiteral("Falta a tradução do glossário: ") + joined(missing, moreMissing) + u'.');
    if (!forbidden.isEmpty())
        add(out, CheckId::TermoProibido,
            QStringLiteral("O glossário proíbe ") + joined(forbidden, moreForbidden) + u'.');
    if (!translated.isEmpty())
        add(out, CheckId::TermoNaoTraduzir,
            QStringLiteral("Não se traduz e falta como está na origem: ") + joined(translated, moreTranslated) + u'.');
}

namespace {

std::unique_ptr<WordForms> openForms(const SpellSettings& settings, const QString& dictionary)
{
    if (!dictionary.isEmpty())
        if (auto forms = HunspellWordForms::open(settings.affixFile(dictionary), settings.wordFile(dictionary),
                                                 dictionary.startsWith(QStringLiteral("pt"))))
            return forms;
    return std::make_unique<ExactWordForms>();
}

} // namespace

std::unique_ptr<WordForms> sourceWordForms(const SpellSettings& settings)
{
    return openForms(settings, QStringLiteral("pt_BR"));
}

std::unique_ptr<WordForms> destinationWordForms(const SpellSettings& settings, const QString& language)
{
    return openForms(settings, settings.dictionaryFor(language));
}

} // namespace trd::quality
