// Saving: modified, deleted and inserted rows, the change date, optimistic
// concurrency (a row changed meanwhile refuses the whole delta) and no lost
// update under concurrent savers.
#include "ServerTestKit.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

using namespace trd::server::test;

namespace {

const TRow Save{"ENG", "TRD09300", "sbtSalvar", "&Salvar", "&Salvar", "N"};
const TRow Close{"ENG", "TRD09300", "sbtFechar", "&Fechar", "&Close", "T"};

class SetDestino : public ::testing::Test {
protected:
    void SetUp() override { server.seed({Save, Close}, 45000); }
    Answer save(const DeltaBuilder& delta) { return server.call("SetDestino", json(delta.xml())); }
    Row row(const std::string& comp)
    {
        for (const auto& r : allRows(server, "ENG"))
            if (r.at("NMCOMPONENTE") == comp)
                return r;
        return {};
    }
    InProcessServer server;
};

const std::string ChangedByOther = "O registro foi alterado por outro usuário";

} // namespace

TEST_F(SetDestino, AppliesModifiedDeletedAndInsertedRowsAndStampsTheServerTime)
{
    server.setNow(46100.25);
    const Answer a = save(DeltaBuilder()
                              .modify(Save, std::string("&Save"), std::string("T"))
                              .remove(Close)
                              .insert({"ENG", "TRD09300", "sbtNovo", "&Novo", "&New", "D"}));
    ASSERT_TRUE(a.ok) << a.message;
    EXPECT_TRUE(a.rows.empty());
    const auto rows = allRows(server, "ENG");
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(row("sbtSalvar").at("STVALORPROP"), "&Save");
    EXPECT_EQ(row("sbtSalvar").at("IDSITTRADUCAO"), "T");
    EXPECT_EQ(row("sbtNovo").at("STVALORPROP"), "&New");
    EXPECT_TRUE(row("sbtFechar").empty());
    // Both written rows carry the server's date; nothing else does.
    const Answer onThatDay =
        server.call("GetDestino", "\"T\",\"D\",\"N\",\"ENG\"," + date(46100) + "," + date(46100) + ",\"N\"");
    EXPECT_EQ(onThatDay.rows.size(), 2u);
}

TEST_F(SetDestino, ChangingOnlyTheStatusKeepsTheText)
{
    ASSERT_TRUE(save(DeltaBuilder().modify(Close, std::nullopt, std::string("D"))).ok);
    EXPECT_EQ(row("sbtFechar").at("STVALORPROP"), "&Close");
    EXPECT_EQ(row("sbtFechar").at("IDSITTRADUCAO"), "D");
}

TEST_F(SetDestino, SecondEditorOfTheSameRowIsRefusedAndNothingIsLost)
{
    // Both editors loaded Save as it is now; the first saves.
    ASSERT_TRUE(save(DeltaBuilder().modify(Save, std::string("&Save"), std::string("T"))).ok);
    const Answer second = save(DeltaBuilder().modify(Save, std::string("&Store"), std::string("T")));
    ASSERT_FALSE(second.ok);
    EXPECT_EQ(second.code, -32000);
    EXPECT_EQ(second.message.rfind(ChangedByOther, 0), 0u) << second.message;
    EXPECT_NE(second.message.find("sbtSalvar"), std::string::npos);
    EXPECT_EQ(row("sbtSalvar").at("STVALORPROP"), "&Save");
    // A delete from stale values is refused the same way, and so is a row deleted meanwhile.
    EXPECT_FALSE(save(DeltaBuilder().remove(Save)).ok);
    ASSERT_TRUE(save(DeltaBuilder().remove(Close)).ok);
    const Answer gone = save(DeltaBuilder().modify(Close, std::string("x")));
    EXPECT_EQ(gone.message.rfind(ChangedByOther, 0), 0u);
}

TEST_F(SetDestino, ARefusedRowRefusesTheWholeDelta)
{
    ASSERT_TRUE(save(DeltaBuilder().modify(Close, std::string("Close"))).ok);
    // Close is stale now: Save's change in the same delta must not stay.
    const Answer a =
        save(DeltaBuilder().modify(Save, std::string("&Save"), std::string("T")).modify(Close, std::string("X")));
    EXPECT_FALSE(a.ok);
    EXPECT_EQ(row("sbtSalvar").at("STVALORPROP"), "&Salvar");
    EXPECT_EQ(row("sbtFechar").at("STVALORPROP"), "Close");
}

TEST_F(SetDestino, InsertsThatCollideOrNameAnUnknownLanguageAreRefused)
{
    const Answer dup = save(DeltaBuilder().insert(Save));
    EXPECT_EQ(dup.code, -32000);
    EXPECT_EQ(dup.message.rfind("Já existe uma tradução", 0), 0u) << dup.message;
    const Answer lang = save(DeltaBuilder().insert({"XYZ", "P", "c", "s", "d", "N"}));
    EXPECT_EQ(lang.message, "Idioma não cadastrado: XYZ.");
    const Answer curto = save(DeltaBuilder().insert({"EN", "P", "c", "s", "d", "N"}));
    EXPECT_NE(curto.message.find("deve ter exatamente 3 caracteres: \"EN\""), std::string::npos) << curto.message;
    EXPECT_EQ(allRows(server, "ENG").size(), 2u);
}

TEST_F(SetDestino, ConcurrentSaversOfOneRowLoseNoUpdate)
{
    // Each thread appends its mark to one shared row, re-reading and retrying
    // when refused: every successful save must be in the final text.
    constexpr int Threads = 6;
    constexpr int Saves = 15;
    std::atomic<int> refused = 0;
    std::vector<std::thread> threads;
    for (int t = 0; t < Threads; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < Saves; ++i) {
                for (;;) {
                    Row current;
                    for (const auto& r : allRows(server, "ENG"))
                        if (r.at("NMCOMPONENTE") == "sbtSalvar")
                            current = r;
                    TRow original = Save;
                    original.dst = current.at("STVALORPROP");
                    original.status = current.at("IDSITTRADUCAO");
                    const std::string mark = "[" + std::to_string(t) + "." + std::to_string(i) + "]";
                    const Answer a =
                        server.call("SetDestino", json(DeltaBuilder().modify(original, original.dst + mark).xml()));
                    if (a.ok)
                        break;
                    ASSERT_EQ(a.message.rfind(ChangedByOther, 0), 0u) << a.message;
                    ++refused;
                }
            }
        });
    }
    for (auto& th : threads)
        th.join();
    const std::string text = row("sbtSalvar").at("STVALORPROP");
    std::size_t expectedSize = std::string("&Salvar").size();
    for (int t = 0; t < Threads; ++t) {
        for (int i = 0; i < Saves; ++i) {
            const std::string mark = "[" + std::to_string(t) + "." + std::to_string(i) + "]";
            EXPECT_NE(text.find(mark), std::string::npos) << mark;
            expectedSize += mark.size();
        }
    }
    EXPECT_EQ(text.size(), expectedSize);
}
