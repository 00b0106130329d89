// The glossary's matching and checks on Debian's dictionaries: Portuguese
// terms found in their inflected forms and not inside other words, English
// translations found in theirs, languages without a dictionary by exact
// words, and the three checks with their scope.
#include "GlossaryCheck.h"
#include "ProgramChecks.h"

#include <gtest/gtest.h>

#include <map>
#include <random>

using namespace trd::quality;

namespace {

// Opening pt_BR takes about two seconds: once for the whole program.
struct Dictionaries {
    std::unique_ptr<WordForms> portuguese = sourceWordForms(SpellSettings::defaults());
    std::unique_ptr<WordForms> english = destinationWordForms(SpellSettings::defaults(), QStringLiteral("ENG"));
    static Dictionaries& get()
    {
        static Dictionaries d;
        return d;
    }
};

GlossaryTerm term(const QString& source, QStringList preferred = {}, QStringList forbidden = {})
{
    GlossaryTerm t;
    t.source = source;
    t.preferred = std::move(preferred);
    t.forbidden = std::move(forbidden);
    return t;
}

bool foundInSource(const QString& termSource, const QString& text)
{
    Dictionaries& d = Dictionaries::get();
    TermMatcher m({term(termSource)}, *d.portuguese, *d.english);
    return !m.termsIn(text, u"TRD09300").empty();
}

QStringList findings(GlossaryCheck& check, const QString& source, const QString& destination,
                     const QString& program = QStringLiteral("TRD09300"))
{
    Findings out;
    check.check(program, source, destination, CheckSet::all(), out);
    QStringList codes;
    for (const Finding& f : out)
        codes << checkInfo(f.check).code.toString() + QStringLiteral(": ") + f.message;
    return codes;
}

} // namespace

TEST(GlossarioCasamento, TheDictionariesAreInstalled)
{
    // Without them every case below would pass or fail for the wrong reason.
    ASSERT_TRUE(Dictionaries::get().portuguese->stems()) << "instale hunspell-pt-br (tools/install-deps.sh)";
    ASSERT_TRUE(Dictionaries::get().english->stems()) << "instale hunspell-en-us";
}

TEST(GlossarioCasamento, PortugueseInflectedFormsAreTheTerm)
{
    struct Case {
        const char16_t* term;
        const char16_t* text;
        bool found;
        const char* why;
    };
    const Case cases[] = {
        {u"Pedido", u"Pedidos pendentes", true, "plural"},
        {u"Pedido", u"Consulta de pedido", true, "case"},
        {u"Usuário", u"Usuária bloqueada", true, "feminine, from the dictionary's flags"},
        {u"Usuário", u"Lista de usuárias", true, "feminine plural"},
        {u"Alemão", u"Textos alemães", true, "plural -ães"},
        {u"Alemão", u"Versão alemã", true, "feminine -ã"},
        {u"Arquivo", u"Arquivos abertos", true, "plural the dictionary keeps as a word of its own"},
        {u"Ativo", u"Clientes ativos", true, "plural kept as a word of its own"},
        {u"Ativo", u"Conta ativa", true, "feminine"},
        {u"Nota fiscal", u"Emitir notas fiscais", true, "two words, both plural (-ais)"},
        {u"Salvar", u"Salvando o arquivo...", true, "gerund"},
        {u"Salvar", u"O arquivo foi salvo", true, "participle"},
        {u"Salvar", u"Você salvou", true, "past tense"},
        {u"Cancelar", u"Operação cancelada", true, "feminine participle"},
        {u"Flor", u"Flores", true, "plural -es after r"},
        {u"&Salvar", u"Sal&var e sair", true, "shortcut marks on either side"},
        {u"Cliente", u"CLIENTES", true, "capitals"},
        {u"Cliente", u"Clientela", false, "a longer word"},
        {u"Pedido", u"Pedidoweb", false, "a longer word the dictionary does not know"},
        {u"Pedido", u"Ele pede ajuda", false, "pede and pedido only share the stem pedir"},
        {u"Nota", u"Você notou", false, "nota and notou only share the stem notar"},
        {u"Pedido", u"Pedida", true, "feminine by its ending"},
        {u"Nota fiscal", u"O fiscal da nota", false, "the words in another order"},
        {u"Nota fiscal", u"Nota de débito fiscal", false, "words not next to each other"},
        {u"Arquivo", u"Arquivista", false, "another word of the family"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(foundInSource(QString::fromUtf16(c.term), QString::fromUtf16(c.text)), c.found)
            << QString::fromUtf16(c.term).toStdString() << " in \"" << QString::fromUtf16(c.text).toStdString()
            << "\": " << c.why;
}

namespace {

// The matching rule of WordForms.h read literally: every term tried at every
// word, each word's keys asked of the dictionary. Slow and plainly right.
class RuleByTheLetter {
public:
    explicit RuleByTheLetter(WordForms& forms) : m_forms(forms) { }

    std::vector<QString> words(const QString& text)
    {
        std::vector<TextWord> at;
        textWords(text, at);
        std::vector<QString> out;
        for (const TextWord& w : at) {
            QString folded;
            foldWord(QStringView(text).mid(w.start, w.length), folded);
            out.push_back(folded);
        }
        return out;
    }
    bool same(const QString& termWord, const QString& textWord)
    {
        const WordForms::Keys& t = keys(termWord);
        const WordForms::Keys& w = keys(textWord);
        for (const QString& f : t.forms)
            if (w.forms.contains(f))
                return true;
        if (t.stems.contains(termWord) && w.stems.contains(termWord))
            return true;
        for (const QString& s : t.stems)
            if (termWord.startsWith(s) && textWord.startsWith(s) && w.stems.contains(s))
                return true;
        return false;
    }
    // Where the phrase's words stand in order in the text, or -1.
    qsizetype firstAt(const std::vector<QString>& phrase, const std::vector<QString>& text, bool exact)
    {
        for (std::size_t i = 0; !phrase.empty() && i + phrase.size() <= text.size(); ++i) {
            bool all = true;
            for (std::size_t j = 0; all && j < phrase.size(); ++j)
                all = exact ? phrase[j] == text[i + j] : same(phrase[j], text[i + j]);
            if (all)
                return qsizetype(i);
        }
        return -1;
    }

private:
    const WordForms::Keys& keys(const QString& word)
    {
        auto it = m_keys.find(word);
        if (it == m_keys.end())
            it = m_keys.emplace(word, m_forms.keys(word)).first;
        return it->second;
    }
    WordForms& m_forms;
    std::map<QString, WordForms::Keys> m_keys;
};

} // namespace

TEST(GlossarioCasamento, IndexedMatchingFindsWhatTheRuleFinds)
{
    // Seeded texts of inflected words, terms of one to three words of them:
    // the matcher's indexes and the pairs of words it keeps must find, in
    // source and destination, exactly what the rule finds word by word.
    Dictionaries& d = Dictionaries::get();
    const QStringList origem = {QStringLiteral("Pedido"),    QStringLiteral("pedidos"),   QStringLiteral("Pedida"),
                                QStringLiteral("pede"),      QStringLiteral("Nota"),      QStringLiteral("notas"),
                                QStringLiteral("notou"),     QStringLiteral("fiscal"),    QStringLiteral("FISCAIS"),
                                QStringLiteral("Arquivo"),   QStringLiteral("arquivos"),  QStringLiteral("Arquivista"),
                                QStringLiteral("Salvar"),    QStringLiteral("salvando"),  QStringLiteral("salvou"),
                                QStringLiteral("&Cancelar"), QStringLiteral("cancelada"), QStringLiteral("Cliente"),
                                QStringLiteral("clientela"), QStringLiteral("usuárias"),  QStringLiteral("Usuário"),
                                QStringLiteral("alemães"),   QStringLiteral("alemã"),     QStringLiteral("de"),
                                QStringLiteral("da"),        QStringLiteral("o"),         QStringLiteral("Sal&var")};
    const QStringList destino = {QStringLiteral("Order"),   QStringLiteral("orders"),    QStringLiteral("ordered"),
                                 QStringLiteral("request"), QStringLiteral("Requests"),  QStringLiteral("invoice"),
                                 QStringLiteral("voice"),   QStringLiteral("customers"), QStringLiteral("custom"),
                                 QStringLiteral("save"),    QStringLiteral("saved"),     QStringLiteral("file"),
                                 QStringLiteral("the"),     QStringLiteral("of"),        QStringLiteral("Pedido")};
    std::mt19937 random(20261209);
    const auto phrase = [&](const QStringList& from, int most) {
        QStringList w;
        const int n = 1 + int(random() % unsigned(most));
        for (int i = 0; i < n; ++i)
            w << from[qsizetype(random() % unsigned(from.size()))];
        return w.join(u' ');
    };
    QList<GlossaryTerm> terms;
    for (int i = 0; i < 80; ++i) {
        GlossaryTerm t = term(phrase(origem, 3), {phrase(destino, 2)}, {phrase(destino, 2)});
        t.doNotTranslate = i % 7 == 0;
        if (i % 5 == 0)
            t.program = QStringLiteral("FIN001");
        terms << t;
    }
    TermMatcher matcher(terms, *d.portuguese, *d.english);
    RuleByTheLetter source(*d.portuguese), english(*d.english);
    std::vector<QString> texts;
    for (int i = 0; i < 150; ++i)
        texts.push_back(phrase(origem, 12));
    std::size_t matched = 0;
    for (int round = 0; round < 2; ++round) // the second time, every pair of words is known
        for (const QString& text : texts)
            // Both programs one after the other: the same source, another scope.
            for (const QString& program : {QStringLiteral("FIN001"), QStringLiteral("TRD09300")}) {
                const QString translated = phrase(destino, 10);
                const std::vector<QString> words = source.words(text);
                std::map<int, qsizetype> expected; // term -> its first word
                for (qsizetype t = 0; t < terms.size(); ++t)
                    if (appliesTo(terms[t], program))
                        if (const qsizetype at = source.firstAt(source.words(terms[t].source), words, false); at >= 0)
                            expected[int(t)] = at;
                const std::vector<int> found = matcher.termsIn(text, program);
                std::map<int, qsizetype> got;
                qsizetype last = 0;
                for (int t : found) {
                    got[t] = expected.count(t) ? expected[t] : -1;
                    EXPECT_GE(got[t], last) << "in the order they first appear: " << text.toStdString();
                    last = got[t];
                }
                ASSERT_EQ(got, expected) << text.toStdString() << " (" << program.toStdString() << ")";
                EXPECT_EQ(matcher.termsIn(text, program), found) << "the same source asked again";

                matcher.readDestination(translated);
                const std::vector<QString> other = english.words(translated);
                for (int t : found) {
                    const GlossaryTerm& g = terms[t];
                    EXPECT_EQ(matcher.hasPreferred(t),
                              english.firstAt(english.words(g.preferred[0]), other, false) >= 0)
                        << g.preferred[0].toStdString() << " in " << translated.toStdString();
                    EXPECT_EQ(matcher.forbiddenFound(t),
                              english.firstAt(english.words(g.forbidden[0]), other, false) >= 0 ? 0 : -1)
                        << g.forbidden[0].toStdString() << " in " << translated.toStdString();
                    EXPECT_EQ(matcher.hasUntranslated(t), english.firstAt(english.words(g.source), other, true) >= 0)
                        << g.source.toStdString() << " as written in " << translated.toStdString();
                }
                matched += found.size();
            }
    EXPECT_GT(matched, texts.size()) << "the seeded set must hold terms, not only agree on none";
}

TEST(GlossarioCasamento, EnglishTranslationsInTheirInflectionsAndNoPrefixStems)
{
    Dictionaries& d = Dictionaries::get();
    GlossaryCheck check({term(QStringLiteral("Pedido"), {QStringLiteral("Order")}),
                         term(QStringLiteral("Fatura"), {QStringLiteral("Invoice")})},
                        *d.portuguese, *d.english);
    EXPECT_TRUE(findings(check, QStringLiteral("Pedidos"), QStringLiteral("Orders")).isEmpty());
    EXPECT_TRUE(findings(check, QStringLiteral("Pedido gravado"), QStringLiteral("Saved ORDER")).isEmpty());
    // Hunspell gives "invoice" the stem "voice" (a prefix "in"): taking it
    // would let "voice" stand for "invoice".
    EXPECT_EQ(findings(check, QStringLiteral("Fatura"), QStringLiteral("Voice")).size(), 1);
    EXPECT_TRUE(findings(check, QStringLiteral("Faturas"), QStringLiteral("Invoices")).isEmpty());
}

TEST(GlossarioCasamento, LanguageWithoutDictionaryMatchesExactWords)
{
    Dictionaries& d = Dictionaries::get();
    auto exact = destinationWordForms(SpellSettings::defaults(), QStringLiteral("XYZ"));
    EXPECT_FALSE(exact->stems());
    GlossaryCheck check({term(QStringLiteral("Pedido"), {QStringLiteral("Commande")})}, *d.portuguese, *exact);
    EXPECT_TRUE(findings(check, QStringLiteral("Pedidos"), QStringLiteral("La commande")).isEmpty());
    EXPECT_EQ(findings(check, QStringLiteral("Pedidos"), QStringLiteral("Les commandes")).size(), 1)
        << "without a dictionary a plural is another word";
}

TEST(GlossarioVerificacoes, PreferredForbiddenAndDoNotTranslate)
{
    Dictionaries& d = Dictionaries::get();
    GlossaryTerm produto = term(QStringLiteral("Trd Studio"));
    produto.doNotTranslate = true;
    GlossaryCheck check(
        {term(QStringLiteral("Pedido"), {QStringLiteral("Order")}, {QStringLiteral("Request")}), produto},
        *d.portuguese, *d.english);

    EXPECT_EQ(findings(check, QStringLiteral("Novo pedido"), QStringLiteral("New request")),
              (QStringList{QStringLiteral("termo-ausente: Falta a tradução do glossário: \"Pedido\" se traduz "
                                          "\"Order\"."),
                           QStringLiteral("termo-proibido: O glossário proíbe \"Request\" para \"Pedido\" (use "
                                          "\"Order\").")}));
    // Forbidden in any inflection, even beside the preferred word.
    EXPECT_EQ(findings(check, QStringLiteral("Pedidos"), QStringLiteral("Orders (requests)")).size(), 1);
    EXPECT_TRUE(findings(check, QStringLiteral("Pedidos"), QStringLiteral("Orders")).isEmpty());
    // A forbidden word where the source has no such term is no finding.
    EXPECT_TRUE(findings(check, QStringLiteral("Solicitar"), QStringLiteral("Request")).isEmpty());

    EXPECT_EQ(findings(check, QStringLiteral("Abrir o Trd Studio"), QStringLiteral("Open the TRD Workshop")),
              (QStringList{QStringLiteral("termo-nao-traduzir: Não se traduz e falta como está na origem: \"Trd "
                                          "Studio\".")}));
    EXPECT_TRUE(findings(check, QStringLiteral("Abrir o Trd Studio"), QStringLiteral("Open trd studio")).isEmpty());
    // A blank destination is not compared: nothing has been written yet.
    EXPECT_TRUE(findings(check, QStringLiteral("Novo pedido"), QStringLiteral("  ")).isEmpty());
}

TEST(GlossarioVerificacoes, ScopeChoiceAndProgramChecks)
{
    Dictionaries& d = Dictionaries::get();
    GlossaryTerm escopo = term(QStringLiteral("Saldo"), {QStringLiteral("Balance")});
    escopo.program = QStringLiteral("FIN001");
    GlossaryCheck check({escopo}, *d.portuguese, *d.english);
    EXPECT_TRUE(findings(check, QStringLiteral("Saldo"), QStringLiteral("Rest"), QStringLiteral("TRD09300")).isEmpty());
    EXPECT_EQ(findings(check, QStringLiteral("Saldo"), QStringLiteral("Rest"), QStringLiteral("fin001")).size(), 1);

    // Through the checks of a program, with and without the glossary's checks chosen.
    RowOptions options;
    options.terms = &check;
    const QList<RowTexts> rows = {{u"lblSaldo", u"Saldo:", u"Rest:", u"T"}, {u"lblOk", u"Saldo:", u"Balance:", u"T"}};
    QList<qsizetype> flagged;
    checkProgram(u"FIN001", rows, options, [&](qsizetype row, const Finding& f) {
        if (f.check == CheckId::TermoAusente)
            flagged << row;
    });
    EXPECT_EQ(flagged, QList<qsizetype>{0});
    options.checks.remove(CheckId::TermoAusente);
    flagged.clear();
    checkProgram(u"FIN001", rows, options, [&](qsizetype row, const Finding& f) {
        if (f.check == CheckId::TermoAusente)
            flagged << row;
    });
    EXPECT_TRUE(flagged.isEmpty());
}
