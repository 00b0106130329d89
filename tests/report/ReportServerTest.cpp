// Reports on a real trd-server: a report dialog runs a definition whose
// table comes from a named query of the server's catalog, the parameters its
// handler set travel bound, and the catalog refuses unknown queries and
// parameters, missing ones and values of the wrong kind by name.
#include "ReportTestKit.h"
#include "RecordingDialogSeam.h"
#include "TfrmDadosGerRel.h"
#include "TrdServerProcess.h"

#include <QFile>

#include <gtest/gtest.h>

using namespace trd;
using namespace trd::test;

namespace {

const char* Rows = "L\tENG\tInglês\tPOR\n"
                   "L\tSPA\tEspanhol\tPOR\n"
                   "R\tENG\tTRD09300\tsbtSalvar\t&Salvar\t&Save\tT\t2025-03-01 10:00:00\n"
                   "R\tENG\tTRD09300\tsbtSair\tSair\tExit\tT\t2025-03-31 23:00:00\n"
                   "R\tENG\tTRD09300\tlblIdioma\tIdioma\tLanguage\tD\t2025-03-15 10:00:00\n"
                   "R\tENG\tTRD09301\tbtnFiltro\tFiltrar\tFilter it\tT\t2025-04-01 00:00:00\n"
                   "R\tENG\tTRD09301\tbtnLimpar\tLimpar\t\tN\t2025-02-28 10:00:00\n"
                   "R\tSPA\tTRD09300\tsbtSalvar\t&Salvar\t&Guardar\tT\t2025-03-10 10:00:00\n";

class Situacao : public TfrmDadosGerRel {
public:
    QString status;
    Situacao() { lblCodRel->setText(QStringLiteral("TRD093")); }
};

class ReportServerTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        tsvDir = new QTemporaryDir;
        TrdServerProcess::Options options;
        options.importTsv = WriteFile(*tsvDir, QStringLiteral("rows.tsv"), Rows);
        server = new TrdServerProcess(options);
        ASSERT_TRUE(server->isRunning()) << server->errorString().toStdString();
    }
    static void TearDownTestSuite()
    {
        delete server;
        delete tsvDir;
    }
    static TrdServerProcess* server;
    static QTemporaryDir* tsvDir;

    Situacao* dialog()
    {
        auto* form = CreateForm<Situacao>();
        form->netQRDesign->Host = server->host();
        form->netQRDesign->Port = server->port();
        form->rpddPadrao->BeforeGetQueryParams = [form](QObject*, TParams& p, bool&) {
            p.ParamByName(QStringLiteral("P_IDIDIOMA")).SetAsString(QStringLiteral("ENG"));
            p.ParamByName(QStringLiteral("P_SITUACAO")).SetAsString(form->status);
            p.ParamByName(QStringLiteral("P_TSITUACAO"))
                .SetAsString(form->status.isEmpty() ? QStringLiteral("ALL") : QString());
            p.ParamByName(QStringLiteral("P_DtIni")).SetAsDate(EncodeDate(2025, 3, 1));
            p.ParamByName(QStringLiteral("P_DtFim")).SetAsDate(EncodeDate(2025, 3, 31) + 1);
        };
        return form;
    }
    TServerResult call(const TRemoteArgs& args)
    {
        TSocketConnection c;
        c.Host = server->host();
        c.Port = server->port();
        c.ServerName = QStringLiteral("Trd09300.rdmTraducao");
        c.ThrowException = false;
        return c.AppServer().Call(QStringLiteral("GetConsultaRel"), args);
    }

    RecordingDialogSeam seam;
    QTemporaryDir out;
};

TrdServerProcess* ReportServerTest::server = nullptr;
QTemporaryDir* ReportServerTest::tsvDir = nullptr;

const QByteArray Definition = R"(<?xml version="1.0" encoding="UTF-8"?>
<report version="1" title="Linhas por tela" code="TRD093">
  <parameters>
    <parameter name="P_IDIDIOMA"/><parameter name="P_SITUACAO"/><parameter name="P_TSITUACAO"/>
    <parameter name="P_DtIni" type="date"/><parameter name="P_DtFim" type="date"/>
  </parameters>
  <sources><query name="linhas" query="LinhasPorTela" params="P_IDIDIOMA P_SITUACAO P_TSITUACAO P_DtIni P_DtFim"/></sources>
  <body>
    <text>{P_IDIDIOMA} de {P_DtIni} a {P_DtFim}</text>
    <table source="linhas" group="CDPROGTRAD" group-title="Tela ">
      <column field="NMCOMPONENTE" title="Componente" width="40"/>
      <column field="STVALORPROP" title="Tradução" width="40"/>
      <column field="IDSITTRADUCAO" title="Sit" width="10" total="count"/>
      <column field="NRCARACTER" title="Letras" width="20" align="right" total="sum"/>
    </table>
  </body>
</report>
)";

TEST_F(ReportServerTest, ATableFromANamedQueryHoldsTheRowsOfTheBoundParameters)
{
    const QString file = WriteFile(out, QStringLiteral("TRD093_linhas.xml"), Definition);
    auto* form = dialog();
    auto prepared = form->rpddPadrao->PrepareFile(file);
    ASSERT_TRUE(prepared && prepared->document);
    const QString pdf = out.filePath(QStringLiteral("a.pdf"));
    ASSERT_TRUE(prepared->document->exportPdf(pdf));
    const QString text = PdfText(pdf).simplified();
    // March 1 to 31 of ENG, every status: the rows of 1, 15 and 31 March.
    EXPECT_TRUE(text.contains(QStringLiteral("ENG de 01/03/2025 a 01/04/2025"))) << text.toStdString();
    EXPECT_TRUE(text.contains(
        QStringLiteral("Tela TRD09300 lblIdioma Language D 8 sbtSair Exit T 4 sbtSalvar &Save T 4 Subtotal 3 16")))
        << text.toStdString();
    EXPECT_FALSE(text.contains(QStringLiteral("btnFiltro"))); // 1 April: past the last day
    EXPECT_FALSE(text.contains(QStringLiteral("btnLimpar"))); // 28 February
    EXPECT_FALSE(text.contains(QStringLiteral("Guardar"))); // another language

    form->status = QStringLiteral("D");
    prepared = form->rpddPadrao->PrepareFile(file);
    ASSERT_TRUE(prepared->document->exportPdf(pdf));
    const QString doubtful = PdfText(pdf).simplified();
    EXPECT_TRUE(doubtful.contains(QStringLiteral("lblIdioma")));
    EXPECT_FALSE(doubtful.contains(QStringLiteral("sbtSair")));
    delete form;
}

TEST_F(ReportServerTest, TheCatalogRefusesWhatItDoesNotDeclareByName)
{
    auto refusal = [&](const TRemoteArgs& args) {
        const TServerResult r = call(args);
        EXPECT_FALSE(r.Ok);
        return r.ErrorMessage;
    };
    EXPECT_TRUE(
        refusal({"ApagaTudo"})
            .startsWith(QStringLiteral("Consulta de relatório desconhecida: \"ApagaTudo\". Consultas: LinhasPorTela")));
    EXPECT_TRUE(
        refusal({"ProgressoPorTela", "P_IDIOMA", "ENG"}).contains(QStringLiteral("não tem o parâmetro \"P_IDIOMA\"")));
    EXPECT_EQ(refusal({"ProgressoPorTela"}),
              QStringLiteral("A consulta ProgressoPorTela precisa do parâmetro P_IDIDIOMA."));
    EXPECT_TRUE(
        refusal({"ProgressoPorTela", "P_IDIDIOMA", "ENG", "P_IDIDIOMA", "SPA"}).contains(QStringLiteral("duas vezes")));
    EXPECT_TRUE(refusal({"ProgressoPorTela", "P_IDIDIOMA", "ENG'; DROP TABLE x; --"})
                    .contains(QStringLiteral("mais de 3 caracteres")));
    EXPECT_TRUE(refusal({"LinhasPorTela", "P_IDIDIOMA", "ENG", "P_SITUACAO", "T", "P_TSITUACAO", "", "P_DtIni", "ontem",
                         "P_DtFim", TRemoteArg(0.0)})
                    .contains(QStringLiteral("P_DtIni")));
    EXPECT_TRUE(refusal({"LinhasPorTela", "P_IDIDIOMA", "ENG", "P_SITUACAO", "Q", "P_TSITUACAO", "", "P_DtIni",
                         TRemoteArg(0.0), "P_DtFim", TRemoteArg(0.0)})
                    .contains(QStringLiteral("P_SITUACAO")));
    EXPECT_TRUE(refusal({"ProgressoPorTela", "P_IDIDIOMA"}).contains(QStringLiteral("pares")));

    // Progress per program: counts per status and the translated share.
    const TServerResult ok = call({"progressoportela", "p_ididioma", "ENG"});
    ASSERT_TRUE(ok.Ok) << ok.ErrorMessage.toStdString();
    TClientDataSet ds;
    ds.SetData(ok.Packet);
    ASSERT_EQ(ds.RecordCount(), 2);
    EXPECT_EQ(ds.FieldByName(QStringLiteral("CDPROGTRAD"))->AsString(), QStringLiteral("TRD09300"));
    EXPECT_EQ(ds.FieldByName(QStringLiteral("NRTOTAL"))->AsFloat(), 3);
    EXPECT_EQ(ds.FieldByName(QStringLiteral("NRTRAD"))->AsFloat(), 2);
    EXPECT_EQ(ds.FieldByName(QStringLiteral("NRDUV"))->AsFloat(), 1);
    EXPECT_NEAR(ds.FieldByName(QStringLiteral("PCTRAD"))->AsFloat(), 66.667, 0.01);
}

TEST_F(ReportServerTest, TheDesignerSeesTheCatalogWithParametersAndFields)
{
    auto* form = dialog();
    const QList<ReportCatalogQuery> catalog = form->rpddPadrao->Catalog();
    QStringList names;
    for (const ReportCatalogQuery& q : catalog)
        names << q.name;
    EXPECT_EQ(names,
              (QStringList{QStringLiteral("LinhasPorTela"), QStringLiteral("ProgressoPorTela"),
                           QStringLiteral("ProgressoPorIdioma"), QStringLiteral("VerificacoesPorTela"),
                           QStringLiteral("TraducoesDivergentes")}));
    ASSERT_EQ(catalog.first().params.size(), 5);
    EXPECT_EQ(catalog.first().params[3].name, QStringLiteral("P_DtIni"));
    EXPECT_EQ(catalog.first().params[3].type, TParamType::ftDate);
    EXPECT_TRUE(catalog.first().fields.contains(QStringLiteral("CDPROGTRAD")));
    delete form;
}

TEST_F(ReportServerTest, AServerRefusalReachesTheUserWithTheQueryName)
{
    QByteArray xml = Definition;
    xml.replace("query=\"LinhasPorTela\"", "query=\"LinhasPorTelas\"");
    const QString file = WriteFile(out, QStringLiteral("TRD093_ruim.xml"), xml);
    auto* form = dialog();
    try {
        form->rpddPadrao->PrepareFile(file);
        FAIL() << "no error";
    } catch (const Exception& e) {
        EXPECT_TRUE(
            e.Message().startsWith(QStringLiteral("Consulta 'LinhasPorTelas': Consulta de relatório desconhecida")))
            << e.Message().toStdString();
    }
    delete form;
}

} // namespace
