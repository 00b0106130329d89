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

QString joined(const QStringList& parts)
{
    QString text = parts.mid(0, Shown).join(QStringLiteral("; "));
    if (parts.size() > Shown)
        text += QStringLiteral("; e mais ") + QString::number(parts.size() - Shown);
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
    for (const GlossaryTerm& t : m_matcher.terms())
        m_hasPreferred.push_back(std::any_of(t.preferred.begin(), t.preferred.end(),
                                             [](const QString& p) { return !p.trimmed().isEmpty(); }));
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
    // Texts are written only for what is found: most terms of a row are right.
    QStringList missing, forbidden, translated;
    for (int t : found) {
        const GlossaryTerm& term = m_matcher.terms()[t];
        if (term.doNotTranslate) {
            if (naoTraduzir && !m_matcher.hasUntranslated(t))
                translated << quoted(term.source);
            continue;
        }
        if (ausente && m_hasPreferred[std::size_t(t)] && !m_matcher.hasPreferred(t))
            missing << quoted(term.source) + QStringLiteral(" se traduz ") + alternatives(term.preferred);
        if (proibido && !term.forbidden.isEmpty())
            if (const int f = m_matcher.forbiddenFound(t); f >= 0) {
                QString part = quoted(term.forbidden[f]) + QStringLiteral(" para ") + quoted(term.source);
                if (!alternatives(term.preferred).isEmpty())
                    part += QStringLiteral(" (use ") + alternatives(term.preferred) + u')';
                forbidden << part;
            }
    }
    if (!missing.isEmpty())
        add(out, CheckId::TermoAusente, QStringLiteral("Falta a tradução do glossário: ") + joined(missing) + u'.');
    if (!forbidden.isEmpty())
        add(out, CheckId::TermoProibido, QStringLiteral("O glossário proíbe ") + joined(forbidden) + u'.');
    if (!translated.isEmpty())
        add(out, CheckId::TermoNaoTraduzir,
            QStringLiteral("Não se traduz e falta como está na origem: ") + joined(translated) + u'.');
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
