// trd-exchange's glossary commands as a user runs them, against a real
// trd-server: an export read back unchanged, in either format, writes nothing
// and adds no line to the glossary's history; an edited sheet is applied term
// by term, refused terms only with the user's consent; a hostile file is
// refused whole; a term changed on the server after the preview is not
// overwritten.
#include "DataPacket.h"
#include "TermExchange.h"
#include "TSocketConnection.h"
#include "TrdExchangeRun.h"
#include "TrdServerProcess.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <algorithm>
#include <map>

using namespace trd;
using namespace trd::test;

namespace {

using Term = std::map<std::string, std::string>;

class TermExchange : public ::testing::Test {
protected:
    void SetUp() override
    {
        TrdServerProcess::Options options;
        options.seedTsv = "L\tENG\tInglês\tENG\nR\tENG\tTRD09300\tlblPedido\tPedido\tOrder\tT\n";
        server = std::make_unique<TrdServerProcess>(options);
        ASSERT_TRUE(server->isRunning()) << server->errorString().toStdString();
        add({"ENG", "Pedido", "Order\nPurchase order", "Request", "N", "O pedido do cliente, não um pedido de ajuda.",
             ""});
        add({"ENG", "Nota fiscal", "Invoice", "", "N", "a \"nota\", com vírgula; <b> & ]]>\nsegunda linha",
             "TRD09300"});
        add({"ENG", "Trd Studio", "", "", "S", "", ""});
        add({"ENG", "Só proibida", "", "Forbidden, \"quoted\"", "N", "", ""});
    }

    QByteArray call(const QString& method, const TRemoteArgs& args)
    {
        TSocketConnection net;
        net.Port = server->port();
        net.ServerName = QStringLiteral("Trd09300.rdmTraducao");
        net.ThrowException = true;
        net.Open();
        return net.AppServer().Call(method, args).Packet;
    }
    void add(std::initializer_list<const char*> values)
    {
        TRemoteArgs args;
        for (const char* v : values)
            args.emplace_back(QString::fromUtf8(v));
        call(QStringLiteral("AddTermo"), args);
    }
    std::vector<Term> rows(const QString& method)
    {
        PacketReader reader(call(method, {QStringLiteral("ENG")}));
        std::vector<Term> out;
        while (reader.next()) {
            Term t;
            for (std::size_t f = 0; f < reader.fields().size(); ++f) {
                const int i = static_cast<int>(f);
                const TFieldType type = reader.fields()[f].type;
                // Numbers and dates in full: a binary answer carries no text of them.
                t[reader.fields()[f].name.toStdString()] = type == TFieldType::ftString
                    ? std::string(reader.raw(i))
                    : QString::number(type == TFieldType::ftDateTime ? reader.dateTime(i) : reader.real(i), 'g', 17)
                          .toStdString();
            }
            out.push_back(std::move(t));
        }
        return out;
    }
    int writes() const
    {
        const QByteArray log = server->log();
        return static_cast<int>(log.count(" AddTermo ") + log.count(" AlteraTermo ") + log.count(" ExcluiTermo "));
    }
    ExchangeRun exchange(const QStringList& args) { return runTrdExchange(*server, args); }
    void write(const QString& path, const QByteArray& bytes)
    {
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
    }

    std::unique_ptr<TrdServerProcess> server;
    QTemporaryDir dir;
};

} // namespace

TEST_F(TermExchange, AnExportReadBackUnchangedWritesNothingInEitherFormat)
{
    const std::vector<Term> before = rows(QStringLiteral("GetTermos"));
    const std::size_t versions = rows(QStringLiteral("GetHistoricoTermos")).size();
    ASSERT_EQ(before.size(), 4u);
    const int writesBefore = writes();
    for (const char* format : {"tbx", "csv"}) {
        SCOPED_TRACE(format);
        const QString path = dir.filePath(QStringLiteral("eng.") + QLatin1String(format));
        const ExchangeRun out =
            exchange({QStringLiteral("terms-export"), QStringLiteral("eng"), QStringLiteral("--format"),
                      QLatin1String(format), QStringLiteral("-o"), path});
        ASSERT_EQ(out.code, 0) << out.err.toStdString();
        EXPECT_TRUE(out.out.contains(QStringLiteral("4 termos do glossário de ENG"))) << out.out.toStdString();
        const ExchangeRun in =
            exchange({QStringLiteral("terms-import"), QStringLiteral("ENG"), path, QStringLiteral("--apply")});
        ASSERT_EQ(in.code, 0) << in.err.toStdString() << in.out.toStdString();
        EXPECT_TRUE(in.out.contains(QStringLiteral("sem mudança:   4"))) << in.out.toStdString();
        EXPECT_TRUE(in.out.contains(QStringLiteral("0 termo(s) novos e 0 alterados"))) << in.out.toStdString();
    }
    EXPECT_EQ(writes(), writesBefore);
    EXPECT_EQ(rows(QStringLiteral("GetHistoricoTermos")).size(), versions);
    EXPECT_EQ(rows(QStringLiteral("GetTermos")), before);
}

TEST_F(TermExchange, AnEditedSheetIsAppliedAndRefusedTermsOnlyWithConsent)
{
    const std::size_t versions = rows(QStringLiteral("GetHistoricoTermos")).size();
    const QString sheet = dir.filePath(QStringLiteral("planilha.csv"));
    // No forbidden or note columns: the server's stay. One term changed, one
    // new, one the server would refuse (a character outside Windows-1252).
    write(sheet,
          "DSTERMO;DSPREFERIDAS;CDPROGTRAD\r\n"
          "pedido;Order;\r\n"
          "Cliente;Customer;\r\n"
          "Seta;\xE2\x86\x92;\r\n"
          "Nota fiscal;Invoice;TRD09300\r\n");
    const ExchangeRun preview =
        exchange({QStringLiteral("terms-import"), QStringLiteral("ENG"), sheet, QStringLiteral("--list")});
    ASSERT_EQ(preview.code, 0) << preview.err.toStdString();
    EXPECT_TRUE(preview.out.contains(QStringLiteral("linha 4: \"Seta\": a lista das traduções preferidas tem \"→\"")))
        << preview.out.toStdString();
    const int writesBefore = writes();
    const ExchangeRun refused =
        exchange({QStringLiteral("terms-import"), QStringLiteral("ENG"), sheet, QStringLiteral("--apply")});
    EXPECT_EQ(refused.code, 4) << refused.err.toStdString();
    EXPECT_EQ(writes(), writesBefore);

    const ExchangeRun applied = exchange({QStringLiteral("terms-import"), QStringLiteral("ENG"), sheet,
                                          QStringLiteral("--apply"), QStringLiteral("--accept-refused")});
    ASSERT_EQ(applied.code, 0) << applied.err.toStdString();
    EXPECT_TRUE(applied.out.contains(QStringLiteral("1 termo(s) novos e 1 alterados"))) << applied.out.toStdString();
    std::map<std::string, Term> terms;
    for (Term& t : rows(QStringLiteral("GetTermos")))
        terms[t["DSTERMO"]] = t;
    ASSERT_EQ(terms.size(), 5u);
    EXPECT_EQ(terms["pedido"]["DSPREFERIDAS"], "Order");
    EXPECT_EQ(terms["pedido"]["DSPROIBIDAS"], "Request");
    EXPECT_EQ(terms["pedido"]["DSNOTA"], "O pedido do cliente, não um pedido de ajuda.");
    EXPECT_EQ(terms["Cliente"]["DSPREFERIDAS"], "Customer");
    EXPECT_EQ(terms.count("Seta"), 0u);
    EXPECT_EQ(rows(QStringLiteral("GetHistoricoTermos")).size(), versions + 2);

    // Hostile: entities are refused before anything is read from the server.
    const QString bomb = dir.filePath(QStringLiteral("bomba.tbx"));
    write(bomb,
          "<?xml version=\"1.0\"?>\n<!DOCTYPE martif [\n<!ENTITY a \"aaaaaaaaaa\">\n"
          "<!ENTITY b \"&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;\">\n]>\n<martif><text><body/></text></martif>\n");
    const int writesNow = writes();
    const ExchangeRun bombed =
        exchange({QStringLiteral("terms-import"), QStringLiteral("ENG"), bomb, QStringLiteral("--apply")});
    EXPECT_EQ(bombed.code, 1);
    EXPECT_TRUE(bombed.err.contains(QStringLiteral("Arquivo recusado, linha 2"))) << bombed.err.toStdString();
    EXPECT_EQ(writes(), writesNow);
}

TEST_F(TermExchange, ATermChangedOnTheServerAfterThePreviewIsNotOverwritten)
{
    const QString sheet = dir.filePath(QStringLiteral("planilha.csv"));
    write(sheet, "DSTERMO,DSPREFERIDAS\nPedido,Purchase order\nCliente,Customer\n");
    exchange::ServerAddress address;
    address.port = server->port();
    exchange::JobControl control;
    const exchange::TermImportPreview preview =
        exchange::prepareTermImport(address, sheet, QStringLiteral("ENG"), control);
    ASSERT_EQ(preview.plan.count(exchange::TermOutcome::Changed), 1);
    // A colleague changes "Pedido" between the preview and its apply.
    const std::vector<Term> now = rows(QStringLiteral("GetTermos"));
    const Term& pedido =
        *std::find_if(now.begin(), now.end(), [](const Term& t) { return t.at("DSTERMO") == "Pedido"; });
    call(QStringLiteral("AlteraTermo"),
         {QStringLiteral("ENG"), std::stoll(pedido.at("IDTERMO")), QStringLiteral("Pedido"), QStringLiteral("Order"),
          QStringLiteral("Request"), QStringLiteral("N"), QStringLiteral("dela"), QString()});
    const exchange::AppliedTerms applied = exchange::applyTermImport(address, preview, control);
    EXPECT_TRUE(applied.refusal.contains(
        QStringLiteral("\"Pedido\": O termo \"Pedido\" foi alterado por local depois de lido")))
        << applied.refusal.toStdString();
    std::map<std::string, std::string> notes;
    for (const Term& t : rows(QStringLiteral("GetTermos")))
        notes[t.at("DSTERMO")] = t.at("DSNOTA");
    EXPECT_EQ(notes["Pedido"], "dela");
}
