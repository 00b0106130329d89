// The glossary's checks where a whole language is checked, against a real
// trd-server holding real rows with term faults seeded among clean ones:
// trd-check lists exactly the faulty rows (kind Q, with the check and the
// terms named), and the checks' report counts the same per program. Clean
// rows that trap a loose rule (a plural, a verb sharing a stem, a term
// scoped to another program) are not flagged.
#include "ServerCalls.h"
#include "TClientDataSet.h"
#include "TSocketConnection.h"
#include "TrdServerProcess.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace trd;
using namespace trd::test;

namespace {

const char* const Semente =
    "L\tENG\tEnglish\tENG\n"
    "R\tENG\tTRD09300\tlblPedidos\tPedidos pendentes\tPending requests\tT\n" // ausente, proibido
    "R\tENG\tTRD09300\tlblNovo\tNovo pedido\tNew order\tT\n"
    "R\tENG\tTRD09300\tlblClientes\tClientes ativos\tActive customers\tT\n"
    "R\tENG\tTRD09300\tlblCliente\tCliente\tClient\tT\n" // ausente
    "R\tENG\tTRD09300\tlblSobre\tSobre o Trd Studio\tAbout TRD Workshop\tT\n" // nao-traduzir
    "R\tENG\tTRD09300\tlblAbrir\tAbrir o Trd Studio\tOpen Trd Studio\tT\n"
    "R\tENG\tTRD09300\tlblPede\tEle pede ajuda\tHe asks for help\tT\n"
    "R\tENG\tTRD09300\tlblVazio\tNovos pedidos\t\tN\n"
    "R\tENG\tFIN001\tlblSaldo\tSaldo\tRest\tT\n" // ausente (scoped)
    "R\tENG\tTRD09301\tlblSaldo\tSaldo\tRest\tT\n";

void chama(TSocketConnection& c, const QString& metodo, const TRemoteArgs& args)
{
    CheckResultServ(c.AppServer().Call(metodo, args), true, 0);
}

class GlossarioVerificacao : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        pasta = new QTemporaryDir;
        const QString tsv = pasta->filePath(QStringLiteral("semente.tsv"));
        QFile f(tsv);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(Semente);
        f.close();
        TrdServerProcess::Options opcoes;
        opcoes.importTsv = tsv;
        servidor = new TrdServerProcess(opcoes);
        ASSERT_TRUE(servidor->isRunning()) << servidor->errorString().toStdString();
        TSocketConnection c;
        c.Port = servidor->port();
        c.ServerName = QStringLiteral("Trd09300.rdmTraducao");
        const auto termo = [&](const char* origem, const char* preferidas, const char* proibidas, const char* nao,
                               const char* programa) {
            chama(c, QStringLiteral("AddTermo"),
                  {QStringLiteral("ENG"), QString::fromUtf8(origem), QString::fromUtf8(preferidas),
                   QString::fromUtf8(proibidas), QString::fromUtf8(nao), QString(), QString::fromUtf8(programa)});
        };
        termo("Pedido", "Order", "Request", "N", "");
        termo("Cliente", "Customer", "", "N", "");
        termo("Trd Studio", "", "", "S", "");
        termo("Saldo", "Balance", "", "N", "FIN001");
    }
    static void TearDownTestSuite()
    {
        delete servidor;
        delete pasta;
    }
    static QTemporaryDir* pasta;
    static TrdServerProcess* servidor;
};

QTemporaryDir* GlossarioVerificacao::pasta = nullptr;
TrdServerProcess* GlossarioVerificacao::servidor = nullptr;

} // namespace

TEST_F(GlossarioVerificacao, TrdCheckListsTheSeededTermFaultsAndNothingElse)
{
    const QString saida = pasta->filePath(QStringLiteral("termos.cds"));
    QProcess p;
    p.start(QDir(qEnvironmentVariable("TRD_BIN_DIR")).filePath(QStringLiteral("trd-check")),
            {QStringLiteral("ENG"), QStringLiteral("--server"), servidor->hostPort(), QStringLiteral("-q"),
             QStringLiteral("--checks"), QStringLiteral("termo-ausente,termo-proibido,termo-nao-traduzir"),
             QStringLiteral("-o"), saida});
    ASSERT_TRUE(p.waitForFinished(120000));
    EXPECT_EQ(p.exitCode(), 0) << p.readAllStandardError().toStdString();
    TClientDataSet lista;
    lista.LoadFromFile(saida);
    QStringList linhas;
    for (lista.First(); !lista.Eof(); lista.Next())
        if (lista.FieldByName(QStringLiteral("TPLISTA"))->AsString() == u"Q")
            linhas << lista.FieldByName(QStringLiteral("CDPROGTRAD"))->AsString() + u'|'
                    + lista.FieldByName(QStringLiteral("NMCOMPONENTE"))->AsString() + u'|'
                    + lista.FieldByName(QStringLiteral("CDVERIFICACAO"))->AsString() + u'|'
                    + lista.FieldByName(QStringLiteral("DSMENSAGEM"))->AsString();
    EXPECT_EQ(
        linhas.join(u'\n').toStdString(),
        (QStringList{
             QStringLiteral(
                 "FIN001|lblSaldo|termo-ausente|Falta a tradução do glossário: \"Saldo\" se traduz \"Balance\"."),
             QStringLiteral("TRD09300|lblCliente|termo-ausente|Falta a tradução do glossário: \"Cliente\" se traduz "
                            "\"Customer\"."),
             QStringLiteral("TRD09300|lblPedidos|termo-ausente|Falta a tradução do glossário: \"Pedido\" se traduz "
                            "\"Order\"."),
             QStringLiteral("TRD09300|lblPedidos|termo-proibido|O glossário proíbe \"Request\" para \"Pedido\" (use "
                            "\"Order\")."),
             QStringLiteral("TRD09300|lblSobre|termo-nao-traduzir|Não se traduz e falta como está na origem: \"Trd "
                            "Studio\"."),
         })
            .join(u'\n')
            .toStdString());
}

TEST_F(GlossarioVerificacao, TheChecksReportCountsTheSameFindingsPerProgram)
{
    TSocketConnection c;
    c.Port = servidor->port();
    c.ServerName = QStringLiteral("Trd09300.rdmTraducao");
    TClientDataSet relatorio;
    relatorio.SetData(CheckResultServ(c.AppServer().Call(QStringLiteral("GetConsultaRel"),
                                                         {QStringLiteral("VerificacoesPorTela"),
                                                          QStringLiteral("P_IDIDIOMA"), QStringLiteral("ENG")}),
                                      true, 0));
    QStringList contagens;
    for (relatorio.First(); !relatorio.Eof(); relatorio.Next()) {
        const QString verificacao = relatorio.FieldByName(QStringLiteral("CDVERIFICACAO"))->AsString();
        if (verificacao.startsWith(QStringLiteral("termo-")))
            contagens << relatorio.FieldByName(QStringLiteral("CDPROGTRAD"))->AsString() + u'|' + verificacao + u'|'
                    + relatorio.FieldByName(QStringLiteral("NRACHADOS"))->AsString();
    }
    EXPECT_EQ(
        contagens.join(u' ').toStdString(),
        (QStringList{QStringLiteral("FIN001|termo-ausente|1"), QStringLiteral("TRD09300|termo-ausente|2"),
                     QStringLiteral("TRD09300|termo-proibido|1"), QStringLiteral("TRD09300|termo-nao-traduzir|1")})
            .join(u' ')
            .toStdString());
}
