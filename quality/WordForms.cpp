#include "WordForms.h"

#include "HunspellFiles.h"

#include <QFile>
#include <QFileInfo>

#include <hunspell/hunspell.hxx>

namespace trd::quality {

namespace {

// Hunspell strips prefixes too: en_US gives "invoices" the stem "voice" (a
// prefix "in") and "requests" "quest". Inflection in the languages we
// translate to changes the end of a word, so a stem found after the
// word's first letters takes them back: "invoice", "request". A stem found
// nowhere in the word is an irregular form and is taken as it is.
QString withPrefixBack(const QString& word, const QString& stem)
{
    const qsizetype at = stem.size() >= 3 ? word.indexOf(stem) : -1;
    return at > 0 ? word.left(at) + stem : stem;
}

void addOnce(QStringList& keys, const QString& key)
{
    if (!key.isEmpty() && !keys.contains(key))
        keys.append(key);
}

struct Ending {
    QStringView from;
    QStringView to;
};

// Plural endings, longest first.
constexpr Ending PluralEndings[] = {
    {u"ões", u"ão"}, {u"ães", u"ão"}, {u"ãos", u"ão"}, {u"ais", u"al"}, {u"éis", u"el"},
    {u"eis", u"el"}, {u"óis", u"ol"}, {u"uis", u"ul"}, {u"is", u"il"},  {u"ns", u"m"},
    {u"res", u"r"},  {u"zes", u"z"},  {u"ses", u"s"},  {u"es", u""},    {u"s", u""},
};

// Feminine endings of nouns and adjectives.
constexpr Ending FeminineEndings[] = {
    {u"ã", u"ão"}, {u"ona", u"ão"}, {u"ora", u"or"}, {u"esa", u"ês"}, {u"a", u"o"},
};

void addEndings(const QString& word, const Ending* first, const Ending* last, QStringList& out)
{
    for (const Ending* e = first; e != last; ++e) {
        if (!word.endsWith(e->from) || word.size() <= e->from.size() + 1)
            continue;
        const QString base = word.left(word.size() - e->from.size()) + e->to.toString();
        if (base.size() >= 2 && base != word && !out.contains(base))
            out.append(base);
    }
}

} // namespace

QStringList portugueseBaseForms(const QString& word)
{
    QStringList forms;
    addEndings(word, std::begin(PluralEndings), std::end(PluralEndings), forms);
    QStringList feminine;
    addEndings(word, std::begin(FeminineEndings), std::end(FeminineEndings), feminine);
    for (const QString& singular : std::as_const(forms))
        addEndings(singular, std::begin(FeminineEndings), std::end(FeminineEndings), feminine);
    for (const QString& f : std::as_const(feminine))
        if (!forms.contains(f))
            forms.append(f);
    return forms;
}

std::unique_ptr<HunspellWordForms> HunspellWordForms::open(const QString& affixFile, const QString& wordFile,
                                                           bool portuguese)
{
    HunspellFiles opened = openHunspellFiles(affixFile, wordFile);
    if (!opened.hunspell)
        return nullptr;
    return std::unique_ptr<HunspellWordForms>(
        new HunspellWordForms(std::move(opened.hunspell), opened.utf8, portuguese));
}

HunspellWordForms::HunspellWordForms(std::unique_ptr<Hunspell> hunspell, bool utf8, bool portuguese)
    : m_hunspell(std::move(hunspell)), m_utf8(utf8), m_portuguese(portuguese)
{
}

HunspellWordForms::~HunspellWordForms() = default;

bool HunspellWordForms::known(const QString& word)
{
    if (!m_utf8)
        for (QChar c : word)
            if (c.unicode() > 0xFF)
                return false;
    const std::string encoded = m_utf8 ? word.toStdString() : word.toLatin1().toStdString();
    return m_hunspell->spell(encoded);
}

void HunspellWordForms::addStems(const QString& word, QStringList& stems)
{
    if (!m_utf8)
        for (QChar c : word)
            if (c.unicode() > 0xFF)
                return;
    const std::string encoded = m_utf8 ? word.toStdString() : word.toLatin1().toStdString();
    for (const std::string& s : m_hunspell->stem(encoded)) {
        const QString stem =
            (m_utf8 ? QString::fromStdString(s) : QString::fromLatin1(s.data(), qsizetype(s.size()))).toLower();
        addOnce(stems, withPrefixBack(word, stem));
    }
}

WordForms::Keys HunspellWordForms::keys(const QString& word)
{
    Keys keys{{word}, {}};
    const std::lock_guard lock(m_lock);
    // The dictionary keeps some plurals as words of their own ("arquivos",
    // "ativos") and derives most feminines from a verb ("ativa" from
    // "ativar"), so it does not lead from them to the singular masculine:
    // the forms Portuguese endings give, where the dictionary knows them, do.
    if (m_portuguese)
        for (const QString& base : portugueseBaseForms(word))
            if (known(base))
                addOnce(keys.forms, base);
    for (const QString& form : std::as_const(keys.forms))
        addStems(form, keys.stems);
    return keys;
}

} // namespace trd::quality
