// The release file's reader and the reconciliation's rules on hand-made rows,
// without a database: each rule of docs/releases.md, the ties, and the
// guards. Texts are UTF-8 as the server holds them.
#include "ReleaseFile.h"
#include "ReleaseSummary.h"
#include "ServerError.h"

#include <gtest/gtest.h>

#include <algorithm>

using namespace trd::server;
using namespace trd::server::release;

namespace {

std::string refusal(const std::string& text)
{
    try {
        readReleaseFile(text);
    } catch (const ServerError& e) {
        EXPECT_EQ(e.kind(), ErrorKind::BadArgument);
        return e.userMessage();
    }
    return "(aceito)";
}

LanguageRow row(std::int64_t id, std::string program, std::string component, std::string source,
                std::string destination, std::string status, bool obsolete = false)
{
    return {
        id,      std::move(program), std::move(component), std::move(source), std::move(destination), std::move(status),
        obsolete};
}

struct Case {
    std::vector<ReleaseKey> keys;
    std::vector<LanguageRow> rows;
    LanguagePlan plan;

    Case(std::vector<ReleaseKey> k, std::vector<LanguageRow> r, ReconcileOptions options = {})
        : keys(std::move(k)), rows(std::move(r))
    {
        ReleaseIndex index(keys);
        plan = reconcile(index, rows, options);
    }
    const ReleaseKey& key(std::size_t k) const { return keys[k]; }
    // The carried pair as "new source <- old source".
    std::vector<std::string> pairs(const std::vector<Carried>& list) const
    {
        std::vector<std::string> out;
        for (const Carried& c : list)
            out.push_back(keys[c.key].program + "/" + keys[c.key].source + " <- " + rows[c.row].program + "/"
                          + rows[c.row].source + " " + std::to_string(c.similarity));
        return out;
    }
    std::vector<std::string> sources(const std::vector<std::size_t>& rowIndices) const
    {
        std::vector<std::string> out;
        for (std::size_t r : rowIndices)
            out.push_back(rows[r].source);
        return out;
    }
};

} // namespace

TEST(ReleaseFile, ReadsKeysWithTheImportsEscapes)
{
    const auto keys = readReleaseFile(
        "# comentário\r\nTRD09300\tsbtSalvar\t&Salvar\r\n\nTRD09300\tlblNota\tLinha 1\\nLinha 2\\t\\\\\n"
        "CAD001\tlbl\t\n");
    ASSERT_EQ(keys.size(), 3u);
    EXPECT_EQ(keys[0].source, "&Salvar");
    EXPECT_EQ(keys[0].line, 2u);
    EXPECT_EQ(keys[1].source, "Linha 1\nLinha 2\t\\");
    EXPECT_EQ(keys[1].line, 4u);
    EXPECT_EQ(keys[2].source, ""); // an empty source is a key like any other
    EXPECT_TRUE(readReleaseFile("").empty());
    EXPECT_TRUE(readReleaseFile("# só comentário\n\n").empty());
}

TEST(ReleaseFile, RefusesEachFaultWithItsLine)
{
    struct Row {
        const char* why;
        std::string text;
        std::string expected;
    } table[] = {
        {"two fields", "P\tC\tok\nP\tC\n",
         "linha 2: esperados 3 campos separados por tabulação (programa, componente, "
         "texto de origem); encontrados 2"},
        {"a tab too many (an unescaped tab in the source)", "P\tC\ta\tb\n", "linha 1: esperados 3 campos"},
        {"unknown escape", "P\tC\tx\\q\n", "linha 1: escape desconhecido \\q"},
        {"program too long", std::string(21, 'P') + "\tC\tx\n", "linha 1: o programa tem 21 caracteres; o máximo é 20"},
        {"component too long", "P\t" + std::string(51, 'c') + "\tx\n", "o componente tem 51 caracteres; o máximo é 50"},
        {"source too long, counted in characters",
         "P\tC\t" + std::string(2001, 'x') + "çã" + std::string(1998, 'y') + "\n",
         "o texto de origem tem 4001 caracteres"},
        {"outside Windows-1252", "P\tC\tok\nP\tC\t\xe4\xb8\xad\n",
         "linha 2: o texto de origem tem um caractere que não existe no Windows-1252"},
        {"not UTF-8 (a Windows-1252 byte as it stands)", "P\tC\tA\xe7\xe3o\n", "linha 1: o texto não está em UTF-8"},
        {"control character", "P\tC\ta\x01z\n", "o texto de origem tem um caractere de controle"},
        {"duplicate key", "P\tC\tx\nP\tC\ty\n# c\nP\tC\tx\n",
         "linha 4: a mesma chave (programa, componente, origem) já está na linha 1"},
        {"empty program", "\tC\tx\n", "linha 1: o programa está vazio"},
    };
    for (const Row& r : table) {
        const std::string message = refusal(r.text);
        EXPECT_NE(message.find(r.expected), std::string::npos) << r.why << ": " << message;
        EXPECT_EQ(message.rfind("Arquivo da liberação inválido, linha ", 0), 0u) << r.why;
        EXPECT_NE(message.find("Nada foi aplicado."), std::string::npos) << r.why;
    }
    // Same text, other component or program: different keys.
    EXPECT_EQ(readReleaseFile("P\tC\tx\nP\tD\tx\nQ\tC\tx\n").size(), 3u);
}

TEST(Reconcile, KeptRevivedVanishedAndNew)
{
    Case c({{"P", "a", "Abrir", 1}, {"P", "b", "Fechar", 2}, {"P", "z", "Sair do sistema agora", 3}},
           {row(1, "P", "a", "Abrir", "Open", "T"), row(2, "P", "b", "Fechar", "Close", "D", true),
            row(3, "P", "c", "Imprimir", "Print", "T"), row(4, "P", "d", "Antigo", "Old", "T", true)});
    EXPECT_EQ(c.plan.kept.size(), 1u);
    EXPECT_EQ(c.sources(c.plan.revived), std::vector<std::string>{"Fechar"});
    EXPECT_EQ(c.sources(c.plan.vanished), std::vector<std::string>{"Imprimir"}); // an obsolete row stays as it is
    ASSERT_EQ(c.plan.added.size(), 1u);
    EXPECT_EQ(c.key(c.plan.added[0].key).source, "Sair do sistema agora");
    EXPECT_FALSE(c.plan.added[0].memoryRow);
    EXPECT_EQ(c.plan.liveBefore, 2u);
    EXPECT_TRUE(c.plan.reworded.empty());
    EXPECT_TRUE(c.plan.moved.empty());
}

TEST(Reconcile, RewordedInsideItsComponentAtTheThreshold)
{
    // "Salvar registro" -> "Salvar o registro": d = 2, L = 17, 88 %.
    // "Cancelar" -> "Cancelar tudo": d = 5, L = 13, 61 %: below 70, not carried.
    Case c({{"P", "btnSalvar", "Salvar o registro", 1}, {"P", "btnCancelar", "Cancelar tudo", 2}},
           {row(1, "P", "btnSalvar", "Salvar registro", "Save record", "T"),
            row(2, "P", "btnCancelar", "Cancelar", "Cancel", "T")});
    EXPECT_EQ(c.pairs(c.plan.reworded), std::vector<std::string>{"P/Salvar o registro <- P/Salvar registro 88"});
    EXPECT_EQ(c.sources(c.plan.vanished), std::vector<std::string>{"Cancelar"});
    ASSERT_EQ(c.plan.added.size(), 1u);

    // The threshold is an option: at 60 the second pair is carried too.
    ReconcileOptions low;
    low.threshold = 60;
    Case d(c.keys, c.rows, low);
    EXPECT_EQ(d.plan.reworded.size(), 2u);
    EXPECT_TRUE(d.plan.vanished.empty());
}

TEST(Reconcile, NotCarriedAcrossComponentsUnlessIdentical)
{
    // A rewording in another program is a guess; an identical source there
    // is a screen that moved. Marks do not count, case does.
    Case c({{"NOVO", "lblA", "Salvar o registro", 1}, {"NOVO", "lblB", "&Imprimir", 2}, {"NOVO", "lblC", "EXCLUIR", 3}},
           {row(1, "VELHO", "lblA", "Salvar registro", "Save record", "T"),
            row(2, "VELHO", "lblB", "Impri&mir", "&Print", "T"), row(3, "VELHO", "lblC", "Excluir", "Delete", "T")});
    EXPECT_TRUE(c.plan.reworded.empty());
    EXPECT_EQ(c.pairs(c.plan.moved), std::vector<std::string>{"NOVO/&Imprimir <- VELHO/Impri&mir 100"});
    EXPECT_EQ(c.sources(c.plan.vanished), (std::vector<std::string>{"Salvar registro", "Excluir"}));
    EXPECT_EQ(c.plan.added.size(), 2u);
}

TEST(Reconcile, IdenticalSourcePrefersTheNearestPlace)
{
    // Two rows leave with the same source: the one in the new key's own
    // program is taken, the other program's stays for another key.
    Case c({{"P", "novo", "Gravar", 1}, {"R", "novo", "Gravar", 2}},
           {row(1, "Q", "x", "Gravar", "Write (Q)", "T"), row(2, "P", "velho", "Gravar", "Write (P)", "T")});
    EXPECT_EQ(c.pairs(c.plan.moved),
              (std::vector<std::string>{"P/Gravar <- P/Gravar 100", "R/Gravar <- Q/Gravar 100"}));
    EXPECT_TRUE(c.plan.vanished.empty());
}

TEST(Reconcile, EqualCandidatesWithDifferentTextsCarryNothing)
{
    // "Abrir A" is as similar to "Abrir B" as to "Abrir C" (d 1, L 7): two
    // translations, no way to choose.
    Case c({{"P", "b", "Abrir A", 1}},
           {row(1, "P", "b", "Abrir C", "Open C", "T"), row(2, "P", "b", "Abrir B", "Open B", "T")});
    EXPECT_TRUE(c.plan.reworded.empty());
    EXPECT_EQ(c.plan.vanished.size(), 2u);
    ASSERT_EQ(c.plan.added.size(), 1u);

    // Same translation on both (marks aside): the choice changes nothing;
    // the first in source order gives it.
    Case d({{"P", "b", "Abrir A", 1}},
           {row(1, "P", "b", "Abrir C", "&Open", "T"), row(2, "P", "b", "Abrir B", "Open", "D")});
    EXPECT_EQ(d.pairs(d.plan.reworded), std::vector<std::string>{"P/Abrir A <- P/Abrir B 85"});

    // The same for a moved text found in two other programs.
    Case e({{"NOVO", "b", "Gravar", 1}},
           {row(1, "A", "b", "Gravar", "Write", "T"), row(2, "B", "b", "Gravar", "Save", "T")});
    EXPECT_TRUE(e.plan.moved.empty());
    EXPECT_EQ(e.plan.vanished.size(), 2u);
}

TEST(Reconcile, AVanishedTextIsCarriedOnceMostSimilarFirst)
{
    // One old row, two new keys: the more similar takes it; at equal
    // similarity the first in source order.
    Case c({{"P", "b", "Abrir o arquivo", 1}, {"P", "b", "Abrir arquivos", 2}},
           {row(1, "P", "b", "Abrir arquivo", "Open file", "T")});
    EXPECT_EQ(c.pairs(c.plan.reworded), std::vector<std::string>{"P/Abrir arquivos <- P/Abrir arquivo 92"});
    EXPECT_EQ(c.plan.added.size(), 1u);
    Case d({{"P", "b", "Abrir arquivoB", 1}, {"P", "b", "Abrir arquivoA", 2}},
           {row(1, "P", "b", "Abrir arquivo", "Open file", "T")});
    EXPECT_EQ(d.pairs(d.plan.reworded), std::vector<std::string>{"P/Abrir arquivoA <- P/Abrir arquivo 92"});
}

TEST(Reconcile, UntranslatedRowsCarryNothing)
{
    Case c({{"P", "b", "Salvar o registro", 1}, {"Q", "b", "Fechar", 2}},
           {row(1, "P", "b", "Salvar registro", "", "N"), row(2, "R", "b", "Fechar", "Fechar", "N")});
    EXPECT_TRUE(c.plan.reworded.empty());
    EXPECT_TRUE(c.plan.moved.empty());
    EXPECT_EQ(c.plan.vanished.size(), 2u);
}

TEST(Reconcile, NewRowsGetTheMemorysExactTranslatedMatch)
{
    const std::vector<LanguageRow> rows = {
        row(1, "A", "x", "&Arquivo", "&File", "T"),   row(2, "B", "x", "Arquivo", "File", "T"),
        row(3, "C", "x", "Arquivo", "Archive", "T"),  row(4, "D", "y", "Editar", "Edit", "D"),
        row(5, "E", "y", "Ajuda", "Help", "T"),       row(6, "F", "y", "Ajuda", "Assist", "T"),
        row(7, "G", "z", "Sobre", "About", "T", true)};
    std::vector<ReleaseKey> keys = {
        {"N", "1", "Arquivo", 1}, {"N", "2", "Editar", 2}, {"N", "3", "Ajuda", 3}, {"N", "4", "Sobre", 4}};
    for (const auto& r : rows)
        keys.push_back({r.program, r.component, r.source, 10});
    keys.erase(std::remove_if(keys.begin(), keys.end(), [](const ReleaseKey& k) { return k.program == "G"; }),
               keys.end());
    Case c(keys, rows);
    std::map<std::string, std::string> offered;
    for (const Added& a : c.plan.added)
        offered[c.key(a.key).source] = a.memoryRow ? c.rows[*a.memoryRow].destination : "-";
    EXPECT_EQ(offered["Arquivo"], "&File"); // "&File" and "File" are one text, two rows against one
    EXPECT_EQ(offered["Editar"], "-"); // only T is offered
    EXPECT_EQ(offered["Ajuda"], "-"); // one row each: no way to choose
    EXPECT_EQ(offered["Sobre"], "About"); // an obsolete row still counts
    ReconcileOptions off;
    off.memory = false;
    Case d(keys, rows, off);
    for (const Added& a : d.plan.added)
        EXPECT_FALSE(a.memoryRow);
}

TEST(Reconcile, TheSamePlanTwiceChangesNothing)
{
    // The rows as the first apply leaves them: the carried and new keys are
    // rows, the rows that left are obsolete.
    Case first({{"P", "b", "Salvar o registro", 1}, {"P", "c", "Novo", 2}},
               {row(1, "P", "b", "Salvar registro", "Save record", "T"), row(2, "P", "d", "Velho", "Old", "T")});
    std::vector<LanguageRow> after = {
        row(1, "P", "b", "Salvar registro", "Save record", "T", true), row(2, "P", "d", "Velho", "Old", "T", true),
        row(3, "P", "b", "Salvar o registro", "Save record", "D"), row(4, "P", "c", "Novo", "", "N")};
    Case second(first.keys, after);
    EXPECT_TRUE(second.plan.unchanged());
    EXPECT_EQ(second.plan.kept.size(), 2u);
}

TEST(ReleaseGuards, EmptyFileAndVanishShare)
{
    std::vector<LanguageRow> rows;
    std::vector<ReleaseKey> keys;
    for (int i = 0; i < 10; ++i) {
        rows.push_back(row(i + 1, i < 5 ? "A" : "B", "c", "Texto número " + std::to_string(i * 37), "t", "T"));
        if (i >= 3)
            keys.push_back({rows.back().program, "c", rows.back().source, static_cast<std::size_t>(i)});
    }
    // 3 of 10 leave: 30 % is allowed, 31 % would not be.
    ReleaseIndex index(keys);
    LanguagePlan plan = reconcile(index, rows, {});
    LanguageSummary s = summarize("ENG", plan, index, rows, {});
    EXPECT_EQ(s.total.vanished, 3u);
    EXPECT_FALSE(s.needsConfirm);
    ASSERT_EQ(s.programs.size(), 2u);
    EXPECT_EQ(s.programs[0].program, "A");
    EXPECT_EQ(s.programs[0].vanished, 3u);
    EXPECT_EQ(s.programs[1].kept, 5u);

    keys.erase(keys.begin());
    ReleaseIndex fewer(keys);
    s = summarize("ENG", reconcile(fewer, rows, {}), fewer, rows, {});
    EXPECT_TRUE(s.needsConfirm);
    EXPECT_EQ(s.warning, "A liberação tornaria obsoletas 40,00 % das linhas vivas de ENG (4 de 10; o limite é 30 %).");
    GuardOptions generous;
    generous.vanishLimit = 40;
    EXPECT_FALSE(summarize("ENG", reconcile(fewer, rows, {}), fewer, rows, generous).needsConfirm);

    const std::vector<ReleaseKey> none;
    ReleaseIndex empty(none);
    GuardOptions emptyFile;
    emptyFile.emptyFile = true;
    emptyFile.vanishLimit = 100;
    s = summarize("ENG", reconcile(empty, rows, {}), empty, rows, emptyFile);
    EXPECT_TRUE(s.needsConfirm);
    EXPECT_NE(s.warning.find("não tem nenhuma linha"), std::string::npos);
    EXPECT_EQ(thousands(11704), "11.704");
    EXPECT_EQ(percentText(35.2), "35,20");
}
