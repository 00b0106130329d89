// What an import would do, decided before anything is written: matching by id
// then by key, the outcome of each unit, the conflict rule, the save rules,
// and the change log that applies the accepted part.
#include "DataPacket.h"
#include "ImportPlan.h"
#include "UnitId.h"

#include <gtest/gtest.h>

using namespace trd::exchange;

namespace {

constexpr double Exported = 46000.5; // the file's export time on the server's clock
constexpr double Before = Exported - 1.0 / 24, After = Exported + 1.0 / 86400;

Unit unitFor(const Row& r, std::optional<std::string> target, char status)
{
    Unit u;
    u.id = unitId(r.program, r.component, r.source);
    u.program = r.program;
    u.component = r.component;
    u.source = r.source;
    u.target = std::move(target);
    u.status = status;
    return u;
}

struct PlanCase : ::testing::Test {
    std::vector<Row> rows = {
        {"P", "a", "Abrir", "", 'N', Before}, // 0: gets a first translation
        {"P", "b", "Fechar", "Close", 'D', Before}, // 1: changed text
        {"P", "c", "Sair", "Exit", 'T', Before}, // 2: unchanged
        {"P", "d", "Salvar", "Save", 'T', After}, // 3: changed on the server after the export
        {"P", "e", "Novo", "New", 'T', After}, // 4: changed after, but the file agrees
        {"P", "f", "Ajuda", "", 'N', Before}, // 5: text outside Windows-1252
        {"P", "g", "Editar", "Edit", 'D', Before}, // 6: matched by key (id dropped by a tool)
    };
    Document doc;
    void SetUp() override
    {
        doc.units = {unitFor(rows[0], "Open", 'T'),      unitFor(rows[1], "Close!", 'D'),
                     unitFor(rows[2], "Exit", 'T'),      unitFor(rows[3], "Store", 'T'),
                     unitFor(rows[4], "New", 'T'),       unitFor(rows[5], "Hjælp ł", 'T'),
                     unitFor(rows[6], std::nullopt, 'T')};
        doc.units[6].id.clear();
        Unit stray;
        stray.id = "u0000";
        stray.source = "Não existe";
        stray.target = "Does not exist";
        doc.units.push_back(stray);
    }
};

TEST_F(PlanCase, EachUnitGetsItsOutcomeAndAConflictIsNeverAnOrdinaryChange)
{
    const Plan plan = planImport(doc, rows, Exported);
    const std::vector<Outcome> expected = {Outcome::New,      Outcome::Changed,   Outcome::Unchanged,
                                           Outcome::Conflict, Outcome::Unchanged, Outcome::Refused,
                                           Outcome::Changed,  Outcome::Unmatched};
    ASSERT_EQ(plan.entries.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i)
        EXPECT_EQ(plan.entries[i].outcome, expected[i]) << "unit " << i;
    EXPECT_TRUE(plan.entries[3].reason.contains(QStringLiteral("depois da exportação")));
    EXPECT_TRUE(plan.entries[5].reason.contains(QStringLiteral("U+0142"))) << plan.entries[5].reason.toStdString();
    EXPECT_EQ(plan.entries[6].row, 6);
    EXPECT_EQ(plan.entries[6].destination, "Edit"); // no target: the row keeps its text
    EXPECT_EQ(plan.count(Outcome::Unchanged), 2);

    // A row changed in the very moment of the export counts as changed after it.
    rows[1].changed = Exported;
    EXPECT_EQ(planImport(doc, rows, Exported).entries[1].outcome, Outcome::Conflict);
    // Without an export time no change can be told safe.
    const Plan unknown = planImport(doc, rows, std::nullopt);
    EXPECT_EQ(unknown.entries[0].outcome, Outcome::Conflict);
    EXPECT_EQ(unknown.entries[2].outcome, Outcome::Unchanged);
}

TEST_F(PlanCase, TheChangeLogCarriesOnlyAcceptedRowsWithTheValuesTheyWereReadWith)
{
    const Plan plan = planImport(doc, rows, Exported);
    int written = 0;
    const QByteArray none = buildDelta(plan, rows, QStringLiteral("ENG"), {}, &written);
    EXPECT_EQ(written, 3); // new, changed, changed by key; not the conflict
    std::vector<bool> overwrite(plan.entries.size(), false);
    overwrite[3] = true;
    const QByteArray withConflict = buildDelta(plan, rows, QStringLiteral("ENG"), overwrite, &written);
    EXPECT_EQ(written, 4);

    trd::PacketReader reader(withConflict);
    EXPECT_TRUE(reader.isDelta());
    const int src = reader.fieldIndex("STAGRVALPROP"), dst = reader.fieldIndex("STVALORPROP"),
              st = reader.fieldIndex("IDSITTRADUCAO"), lang = reader.fieldIndex("IDIDIOMA");
    std::vector<std::string> seen;
    while (reader.next()) {
        if (reader.rowState() == trd::rsOriginal) {
            EXPECT_EQ(reader.raw(lang), "ENG");
            seen.push_back(std::string(reader.raw(src)) + "|" + std::string(reader.raw(dst)) + "|"
                           + std::string(reader.raw(st)));
        } else {
            EXPECT_EQ(reader.rowState(), trd::rsModified);
            seen.push_back("-> " + std::string(reader.raw(dst)) + "|" + std::string(reader.raw(st)));
        }
    }
    const std::vector<std::string> expected = {"Abrir||N",      "-> Open|T",  "Fechar|Close|D", "-> Close!|D",
                                               "Salvar|Save|T", "-> Store|T", "Editar|Edit|D",  "-> Edit|T"};
    EXPECT_EQ(seen, expected);
}

TEST_F(PlanCase, TwoUnitsForOneRowAndUnreadableContentAreRefused)
{
    Unit twin = unitFor(rows[1], "Fechar!", 'T');
    twin.id.clear(); // found by its key, after the first took the row
    twin.line = 40;
    doc.units[1].line = 12;
    doc.units.push_back(twin);
    doc.units[2].problem = "marcação <ph> (um código em linha) não pode ser importada como texto";
    const Plan plan = planImport(doc, rows, Exported);
    EXPECT_EQ(plan.entries.back().outcome, Outcome::Refused);
    EXPECT_TRUE(plan.entries.back().reason.contains(QStringLiteral("linha 12")))
        << plan.entries.back().reason.toStdString();
    EXPECT_EQ(plan.entries[2].outcome, Outcome::Refused);
}

TEST(SaveRules, TheTextsTheServerWouldRefuse)
{
    EXPECT_TRUE(textRuleBreak("Ação € “aspas” ÿ\ttab\r\n").isEmpty());
    EXPECT_FALSE(textRuleBreak("\x01").isEmpty());
    EXPECT_FALSE(textRuleBreak("ł").isEmpty());
    EXPECT_FALSE(textRuleBreak("😀").isEmpty());
    EXPECT_TRUE(textRuleBreak(std::string(4000, 'a')).isEmpty());
    EXPECT_FALSE(textRuleBreak(std::string(4001, 'a')).isEmpty());
    std::string accents;
    for (int i = 0; i < 4000; ++i)
        accents += "é"; // 4000 characters, 8000 bytes
    EXPECT_TRUE(textRuleBreak(accents).isEmpty());
}

} // namespace
