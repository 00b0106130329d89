// The report library without a dialog: definitions read strictly (file and
// line in every refusal), tables bound to data (sort, groups, subtotals,
// totals), pages (the header row again on every page, page N of M), charts,
// PDF read back with pdftotext, CSV, and the write-read round trip.
#include "ReportDefinition.h"
#include "ReportDocument.h"
#include "ReportError.h"
#include "ReportPreviewWindow.h"
#include "TReportDesignerDialog.h"
#include "ReportTestKit.h"

#include <QScreen>
#include <QFile>
#include <QPainter>
#include <QComboBox>
#include <QLabel>
#include <QRegularExpression>
#include <QScrollArea>
#include <QTest>

#include <gtest/gtest.h>

using namespace trd;
using namespace trd::test;

namespace {

const std::vector<FieldSpec> RowFields = {
    {"CDPROGTRAD", "string", 20}, {"NMCOMPONENTE", "string", 50}, {"NRCARACTER", "r8"}, {"DTALTERACAO", "dateTime"}};

std::vector<QStringList> sampleRows()
{
    return {{"TRD09301", "btnFiltro", "10", "20250301T10:00:00000"},
            {"TRD09300", "lblIdioma", "7", "20250302T10:00:00000"},
            {"TRD09301", "btnAplicar", "5", "20250303T10:00:00000"},
            {"TRD09300", "sbtSalvar", "1234.5", "20250304T10:00:00000"}};
}

QByteArray groupedDefinition(const char* extraBody = "")
{
    return QByteArray(R"(<?xml version="1.0" encoding="UTF-8"?>
<report version="1" title="Caracteres por tela">
  <parameters><parameter name="P_IDIDIOMA"/></parameters>
  <sources><dataset name="linhas" component="cdsLinhas"/></sources>
  <body>
    <text bold="true">Idioma: {P_IDIDIOMA}</text>
    <table name="t" source="linhas" group="CDPROGTRAD" group-title="Tela: " main="true">
      <sort field="NMCOMPONENTE"/>
      <column field="NMCOMPONENTE" title="Componente" width="50"/>
      <column field="NRCARACTER" title="Caracteres" width="30" align="right" format="#,##0.0" total="sum"/>
      <column field="DTALTERACAO" title="Alterado" width="30" format="dd/MM/yyyy"/>
    </table>)")
        + extraBody + R"(
  </body>
</report>
)";
}

struct Fixture {
    QTemporaryDir dir;
    std::unique_ptr<TClientDataSet> data;
    std::unique_ptr<ReportDocument> doc;

    ReportDocument& make(const QByteArray& xml, std::vector<QStringList> rows, const QString& language = "ENG")
    {
        data = MakeDataSet(RowFields, rows, QStringLiteral("cdsLinhas"));
        ReportDefinition def = ParseReportDefinition(xml, QStringLiteral("teste.xml"));
        TParams params;
        for (const ReportParameter& p : def.parameters)
            params.CreateParam(p.type, p.name);
        if (TParam* p = params.FindParam(QStringLiteral("P_IDIDIOMA")))
            p->SetAsString(language);
        doc = std::make_unique<ReportDocument>(def, params,
                                               std::map<QString, const TClientDataSet*>{{"linhas", data.get()}},
                                               QDateTime(QDate(2025, 5, 6), QTime(14, 30)));
        return *doc;
    }
    QString pdf()
    {
        const QString path = dir.filePath(QStringLiteral("r.pdf"));
        EXPECT_TRUE(doc->exportPdf(path));
        return path;
    }
    // The bytes of the report's CSV export.
    QByteArray csv()
    {
        const QString path = dir.filePath(QStringLiteral("r.csv"));
        EXPECT_TRUE(doc->exportCsv(path));
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::ReadOnly));
        return file.readAll();
    }
};

// Lines of text with runs of blanks squeezed, for order checks.
QStringList squeezed(const QString& text)
{
    QStringList out;
    for (QString line : text.split(u'\n')) {
        line = line.simplified();
        if (!line.isEmpty())
            out << line;
    }
    return out;
}

TEST(ReportDocumentTest, GroupsSortedRowsWithSubtotalsAndAGrandTotalAndSubstitutesParameters)
{
    Fixture f;
    f.make(groupedDefinition(), sampleRows());
    const QStringList lines = squeezed(PdfText(f.pdf()));
    auto at = [&](const QString& text) {
        for (int i = 0; i < lines.size(); ++i)
            if (lines[i] == text)
                return i;
        ADD_FAILURE() << "missing line: " << text.toStdString() << "\n" << lines.join(u'\n').toStdString();
        return -1;
    };
    EXPECT_GE(at(QStringLiteral("Idioma: ENG")), 0);
    // Groups in order of the group field, rows by component inside each.
    const int g1 = at(QStringLiteral("Tela: TRD09300"));
    const int r1 = at(QStringLiteral("lblIdioma 7,0 02/03/2025"));
    const int r2 = at(QStringLiteral("sbtSalvar 1.234,5 04/03/2025"));
    const int s1 = at(QStringLiteral("Subtotal 1.241,5"));
    const int g2 = at(QStringLiteral("Tela: TRD09301"));
    const int r3 = at(QStringLiteral("btnAplicar 5,0 03/03/2025"));
    const int r4 = at(QStringLiteral("btnFiltro 10,0 01/03/2025"));
    const int s2 = at(QStringLiteral("Subtotal 15,0"));
    const int total = at(QStringLiteral("Total geral 1.256,5"));
    EXPECT_TRUE(g1 < r1 && r1 < r2 && r2 < s1 && s1 < g2 && g2 < r3 && r3 < r4 && r4 < s2 && s2 < total)
        << lines.join(u'\n').toStdString();
    // Header and footer: title, date of the run, page N of M.
    EXPECT_GE(at(QStringLiteral("Caracteres por tela 06/05/2025")), 0);
    EXPECT_GE(at(QStringLiteral("Página 1 de 1")), 0);
}

TEST(ReportDocumentTest, TheHeaderRowOpensEveryPageATableRunsOnto)
{
    std::vector<QStringList> rows;
    for (int i = 0; i < 400; ++i)
        rows.push_back({QStringLiteral("TRD%1").arg(i / 100), QStringLiteral("cmp%1").arg(i, 3, 10, QLatin1Char('0')),
                        QString::number(i), "20250301T10:00:00000"});
    Fixture f;
    const ReportDocument& doc = f.make(groupedDefinition(), rows);
    ASSERT_GE(doc.pageCount(), 4);
    const QStringList pages = PdfPages(f.pdf());
    ASSERT_EQ(pages.size(), doc.pageCount());
    QStringList seen;
    for (int p = 0; p < pages.size(); ++p) {
        const QStringList lines = squeezed(pages[p]);
        EXPECT_TRUE(lines.contains(QStringLiteral("Componente Caracteres Alterado"))) << "page " << p + 1;
        EXPECT_TRUE(lines.contains(QStringLiteral("Página %1 de %2").arg(p + 1).arg(pages.size()))) << "page " << p + 1;
        for (const QString& l : lines)
            if (l.startsWith(QStringLiteral("cmp")))
                seen << l.section(u' ', 0, 0);
    }
    // Every row printed once, in order, none lost at a page break.
    ASSERT_EQ(seen.size(), 400);
    for (int i = 0; i < 400; ++i)
        EXPECT_EQ(seen[i], QStringLiteral("cmp%1").arg(i, 3, 10, QLatin1Char('0')));
    EXPECT_TRUE(squeezed(pages.last()).contains(QStringLiteral("Total geral 79.800,0")));
}

TEST(ReportDocumentTest, AChartDrawsOneBarPerGroupAndTheCsvHoldsTheMainTable)
{
    Fixture f;
    f.make(groupedDefinition(R"(<chart table="t" value="NRCARACTER" title="Por tela"/>)"), sampleRows());
    const QStringList lines = squeezed(PdfText(f.pdf()));
    const int title = static_cast<int>(lines.indexOf(QStringLiteral("Por tela")));
    ASSERT_GE(title, 0);
    EXPECT_EQ(lines.mid(title + 1, 2),
              (QStringList{QStringLiteral("Tela: TRD09300 1.241,50"), QStringLiteral("Tela: TRD09301 15")}));
    // The longer bar is the larger group's: look at the pixels.
    const QImage page = f.doc->renderPage(0, 72);
    ASSERT_FALSE(page.isNull());
    auto barLength = [&](int yPoints) {
        int count = 0;
        for (int x = 0; x < page.width(); ++x)
            count += page.pixelColor(x, yPoints) == QColor(70, 110, 170);
        return count;
    };
    int longest = 0, shortest = 1 << 20;
    for (int y = 0; y < page.height(); ++y)
        if (const int n = barLength(y); n > 0) {
            longest = std::max(longest, n);
            shortest = std::min(shortest, n);
        }
    EXPECT_GT(longest, 50 * shortest / 10) << longest << " " << shortest;

    EXPECT_EQ(f.csv(),
              QByteArray("\xEF\xBB\xBF"
                         "Componente;Caracteres;Alterado\r\n"
                         "lblIdioma;7,0;02/03/2025\r\nsbtSalvar;1.234,5;04/03/2025\r\n"
                         "btnAplicar;5,0;03/03/2025\r\nbtnFiltro;10,0;01/03/2025\r\n"));
}

TEST(ReportDocumentTest, ACsvTextThatLooksLikeAFormulaIsWrittenAsText)
{
    Fixture f;
    f.make(groupedDefinition(),
           {{"TRD09300", "=SOMA(A1)", "-5", "20250301T10:00:00000"},
            {"TRD09300", "@sbt", "7", "20250302T10:00:00000"},
            {"TRD09300", "'+x", "7", "20250303T10:00:00000"},
            {"TRD09300", "a=b", "7", "20250304T10:00:00000"}});
    // The texts are shown as text; the negative number stays a number.
    EXPECT_EQ(f.csv(),
              QByteArray("\xEF\xBB\xBF"
                         "Componente;Caracteres;Alterado\r\n"
                         "''+x;7,0;03/03/2025\r\n'=SOMA(A1);-5,0;01/03/2025\r\n"
                         "'@sbt;7,0;02/03/2025\r\na=b;7,0;04/03/2025\r\n"));
}

TEST(ReportDocumentTest, ACancelledPdfOrCsvLeavesNoFile)
{
    std::vector<QStringList> rows;
    for (int i = 0; i < 300; ++i)
        rows.push_back({QStringLiteral("TRD%1").arg(i % 3), QStringLiteral("c%1").arg(i), QString::number(i),
                        "20250301T10:00:00000"});
    Fixture f;
    f.make(groupedDefinition(), rows);
    ASSERT_GT(f.doc->pageCount(), 3);
    const QString pdf = f.dir.filePath(QStringLiteral("c.pdf"));
    int seen = 0, total = 0;
    EXPECT_FALSE(f.doc->exportPdf(pdf, [&](int done, int all) {
        seen = done;
        total = all;
        return done < 2;
    }));
    EXPECT_EQ(seen, 2);
    EXPECT_EQ(total, f.doc->pageCount());
    EXPECT_FALSE(QFile::exists(pdf));
    const QString csv = f.dir.filePath(QStringLiteral("c.csv"));
    EXPECT_FALSE(f.doc->exportCsv(csv, [](int, int) { return false; }));
    EXPECT_FALSE(QFile::exists(csv));
}

TEST(ReportDocumentTest, AFieldTheSourceLacksIsNamed)
{
    Fixture f;
    QByteArray xml = groupedDefinition();
    xml.replace("field=\"DTALTERACAO\"", "field=\"DTALTERADO\"");
    try {
        f.make(xml, sampleRows());
        FAIL() << "no error";
    } catch (const EReportError& e) {
        EXPECT_EQ(e.Message(),
                  QStringLiteral("O campo 'DTALTERADO' (coluna da tabela 't') não existe na fonte de dados 'linhas'."));
    }
}

// Whether the words come in this order in the text, each after the last.
bool inOrder(const QString& text, const QStringList& words)
{
    qsizetype at = 0;
    for (const QString& w : words) {
        at = text.indexOf(w, at);
        if (at < 0)
            return false;
        at += w.size();
    }
    return true;
}

TEST(ReportDocumentTest, CellsAndTitlesWrapInTheirColumnAndTotalsAreNeverCut)
{
    // Narrow columns: a long title, a text with a line break, a word longer
    // than its column, and a total far wider than its column.
    const QByteArray xml = R"(<?xml version="1.0" encoding="UTF-8"?>
<report version="1" title="Colunas estreitas">
  <sources><dataset name="linhas" component="cdsLinhas"/></sources>
  <body>
    <table name="t" source="linhas" main="true">
      <column field="CDPROGTRAD" title="Tela" width="20"/>
      <column field="NMCOMPONENTE" title="Componente com um título longo demais" width="25"/>
      <column field="NRCARACTER" title="Qtd." width="17" align="right" format="#,##0" total="sum"/>
    </table>
  </body>
</report>
)";
    const QString quebra = QStringLiteral("Sem estoque\nProduto indisponível");
    const QString comprida = QString(50, u'x');
    Fixture f;
    f.make(xml,
           {{"TRD09300", quebra, "990000", "20250301T10:00:00000"},
            {"TRD09301", comprida, "990000", "20250301T10:00:00000"},
            {"TRD09302", "curto", "990001", "20250301T10:00:00000"}});
    const QString text = PdfText(f.pdf());
    EXPECT_FALSE(text.contains(QStringLiteral("…")) || text.contains(QStringLiteral("..."))) << text.toStdString();
    // Every cell whole, in row order.
    EXPECT_TRUE(inOrder(text,
                        {"TRD09300", "Sem estoque", "990.000", "Produto", "indisponível", "TRD09301", "xxx", "990.000",
                         "TRD09302", "curto", "990.001"}))
        << text.toStdString();
    EXPECT_EQ(text.count(u'x'), 50) << "the long word wraps inside its column, nothing of it lost";
    // The line break is a line of its own, not drawn over the next row.
    for (const QString& line : text.split(u'\n')) {
        if (line.contains(QStringLiteral("Sem estoque"))) {
            EXPECT_FALSE(line.contains(QStringLiteral("Produto"))) << line.toStdString();
        }
        EXPECT_FALSE(line.contains(QStringLiteral("indisponível")) && line.contains(QStringLiteral("TRD09301")))
            << line.toStdString();
    }
    // The title wraps in the header row, every word of it printed.
    EXPECT_TRUE(inOrder(text, {"Componente", "com", "um", "título", "longo", "demais"})) << text.toStdString();
    // The total takes the room its column lacks.
    EXPECT_TRUE(QRegularExpression(QStringLiteral("Total geral\\s+2\\.970\\.001\\b")).match(text).hasMatch())
        << text.toStdString();

    // No rows: the header alone.
    f.make(groupedDefinition(), {});
    EXPECT_EQ(f.doc->pageCount(), 1);
    EXPECT_TRUE(PdfText(f.pdf()).contains(QStringLiteral("Componente")));
}

TEST(ReportDocumentTest, ARowTallerThanAPageIsCutAtThePagesFootAndTheNextRowsFollow)
{
    QString enorme;
    for (int i = 0; i < 400; ++i)
        enorme += QStringLiteral("linha%1\n").arg(i);
    Fixture f;
    const QByteArray xml = groupedDefinition();
    // The component is a string of 50 in the fixture's data set: a data set
    // of its own for the tall text.
    const std::vector<FieldSpec> fields = {{"CDPROGTRAD", "string", 20},
                                           {"NMCOMPONENTE", "string", 4000},
                                           {"NRCARACTER", "r8"},
                                           {"DTALTERACAO", "dateTime"}};
    f.data = MakeDataSet(
        fields,
        {{"TRD09300", enorme, "1", "20250301T10:00:00000"}, {"TRD09300", "zdepois", "2", "20250302T10:00:00000"}},
        QStringLiteral("cdsLinhas"));
    f.doc = std::make_unique<ReportDocument>(ParseReportDefinition(xml, QStringLiteral("t.xml")), TParams(),
                                             std::map<QString, const TClientDataSet*>{{"linhas", f.data.get()}});
    const QStringList pages = PdfPages(f.pdf());
    ASSERT_EQ(pages.size(), f.doc->pageCount());
    const QStringList onde = pages.filter(QStringLiteral("linha0"));
    ASSERT_EQ(onde.size(), 1) << "the tall row is on one page";
    EXPECT_TRUE(onde.first().contains(QStringLiteral("…"))) << "the cut is shown";
    EXPECT_FALSE(pages.join(QString()).contains(QStringLiteral("linha399")));
    EXPECT_TRUE(onde.first().contains(QStringLiteral("Tela: TRD09300"))) << "its group heading is with it";
    EXPECT_TRUE(inOrder(pages.join(QString()), {"linha0", "zdepois", "Total geral"}));
}

TEST(ReportPreviewTest, PagesAndZoomFollowTheKeysAndTheZoomList)
{
    std::vector<QStringList> rows;
    for (int i = 0; i < 400; ++i)
        rows.push_back({QStringLiteral("TRD%1").arg(i % 4), QStringLiteral("c%1").arg(i), QString::number(i),
                        "20250301T10:00:00000"});
    auto prepared = std::make_unique<PreparedReport>();
    prepared->queryData.push_back(MakeDataSet(RowFields, rows, QStringLiteral("cdsLinhas")));
    prepared->document = std::make_unique<ReportDocument>(
        ParseReportDefinition(groupedDefinition(), QStringLiteral("p.xml")), TParams(),
        std::map<QString, const TClientDataSet*>{{"linhas", prepared->queryData.back().get()}});
    const int pages = prepared->document->pageCount();
    ASSERT_GE(pages, 4);
    ReportPreviewWindow window(std::move(prepared));
    window.show();
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    // It opens whole on the screen, even one lower than the page it would like.
    EXPECT_TRUE(window.screen()->availableGeometry().contains(window.geometry()))
        << "window at " << window.geometry().y() << " tall " << window.height();
    // It opens at the page's width: the page fills the pane across, and
    // follows the pane when the window is made wider.
    auto* pane = window.findChild<QScrollArea*>(QStringLiteral("scrPagina"));
    ASSERT_NE(pane, nullptr);
    auto pageWidth = [&] {
        return window.PageImage()->pixmap().width() / window.PageImage()->pixmap().devicePixelRatio();
    };
    EXPECT_GE(pageWidth(), pane->viewport()->width() - 30) << "pane " << pane->viewport()->width();
    EXPECT_LE(pageWidth(), pane->viewport()->width());
    window.resize(window.width() + 200, window.height());
    ASSERT_TRUE(QTest::qWaitFor([&] { return pageWidth() >= pane->viewport()->width() - 30; }))
        << pageWidth() << " in " << pane->viewport()->width();
    QTest::keyClick(&window, Qt::Key_PageDown);
    EXPECT_EQ(window.CurrentPage(), 1);
    QTest::keyClick(&window, Qt::Key_End);
    EXPECT_EQ(window.CurrentPage(), pages - 1);
    QTest::keyClick(&window, Qt::Key_PageDown); // stays on the last page
    EXPECT_EQ(window.CurrentPage(), pages - 1);
    QTest::keyClick(&window, Qt::Key_Home);
    EXPECT_EQ(window.CurrentPage(), 0);

    auto* zoom = window.findChild<QComboBox*>(QStringLiteral("cbbZoom"));
    ASSERT_NE(zoom, nullptr);
    zoom->setCurrentIndex(zoom->findData(100));
    const int at100 = window.PageImage()->pixmap().width();
    zoom->setCurrentIndex(zoom->findData(200));
    const int at200 = window.PageImage()->pixmap().width();
    EXPECT_NEAR(at200, 2 * at100, 2);
    EXPECT_NEAR(at100 / window.PageImage()->pixmap().devicePixelRatio(), 794, 2); // A4 at 96 dpi
    QTest::keyClick(&window, Qt::Key_Minus, Qt::ControlModifier);
    EXPECT_EQ(zoom->currentData().toInt(), 150);
}

struct Malformed {
    const char* name;
    QByteArray xml;
    int line;
    const char* says;
};

TEST(ReportDefinitionTest, AMalformedDefinitionIsRefusedWithFileLineAndReason)
{
    const QByteArray head = "<?xml version=\"1.0\"?>\n<report version=\"1\" title=\"T\">\n";
    const std::vector<Malformed> cases = {
        {"not xml", head + "<body>\n<text>a</texto>\n</body></report>", 4, "XML malformado"},
        {"no version", "<report title=\"T\">\n<body/></report>", 1, "versão"},
        {"future version", "<report version=\"9\">\n<body/></report>", 1, "versão do formato \"9\""},
        {"unknown element", head + "<body>\n<tabela source=\"x\"/>\n</body></report>", 4, "<tabela>"},
        {"unknown attribute", head + "<body>\n<text sise=\"3\">a</text>\n</body></report>", 4, "\"sise\""},
        {"bad number", head + "<body>\n<text size=\"grande\">a</text>\n</body></report>", 4, "\"size\""},
        {"undeclared source", head + "<body>\n\n<table source=\"nada\"><column field=\"A\"/></table>\n</body></report>",
         5, "\"nada\""},
        {"table without columns",
         head
             + "<sources><dataset component=\"c\"/></sources>\n<body>\n<table source=\"c\">\n</table>\n</body></report>",
         5, "não tem colunas"},
        {"undeclared query parameter",
         head + "<sources>\n<query query=\"LinhasPorTela\" params=\"P_X\"/>\n</sources><body/></report>", 4, "\"P_X\""},
        {"unknown variable", head + "<body>\n<text>Idioma {P_IDIOMA}</text>\n</body></report>", 4, "{P_IDIOMA}"},
        {"chart of a table without groups",
         head
             + "<sources><dataset component=\"c\"/></sources><body>\n<table name=\"t\" source=\"c\"><column field=\"A\"/></table>\n<chart table=\"t\" value=\"A\"/>\n</body></report>",
         5, "não é agrupada"},
        {"no body", head + "</report>", 3, "<body>"},
        {"empty file", "", 1, "vazio"},
    };
    for (const Malformed& c : cases) {
        try {
            ParseReportDefinition(c.xml, QStringLiteral("/rel/TRD093_x.xml"));
            ADD_FAILURE() << c.name << ": accepted";
        } catch (const EReportError& e) {
            const QString prefix =
                QStringLiteral("Definição de relatório inválida em '/rel/TRD093_x.xml', linha %1: ").arg(c.line);
            EXPECT_TRUE(e.Message().startsWith(prefix)) << c.name << ": " << e.Message().toStdString();
            EXPECT_TRUE(e.Message().contains(QString::fromUtf8(c.says))) << c.name << ": " << e.Message().toStdString();
        }
    }
}

TEST(ReportDefinitionTest, WhatIsWrittenReadsBackTheSame)
{
    ReportDefinition def = ParseReportDefinition(
        groupedDefinition(R"(<chart table="t" value="NRCARACTER" title="Por {P_IDIDIOMA}" height="50"/>)"),
        QStringLiteral("a.xml"));
    def.page.orientation = QPageLayout::Landscape;
    def.page.marginsMm = QMarginsF(10, 12, 10, 20);
    def.footer.center = QStringLiteral("{code} & <rodapé>");
    def.code = QStringLiteral("TRD093");
    def.sources.append(ReportSource{QStringLiteral("q"),
                                    ReportSource::Kind::Query,
                                    QStringLiteral("LinhasPorTela"),
                                    {QStringLiteral("P_IDIDIOMA")},
                                    0});
    const QByteArray once = WriteReportDefinition(def);
    const ReportDefinition back = ParseReportDefinition(once, QStringLiteral("b.xml"));
    EXPECT_EQ(WriteReportDefinition(back), once);
    EXPECT_EQ(back.footer.center, def.footer.center);
    EXPECT_EQ(back.page.orientation, QPageLayout::Landscape);
    EXPECT_EQ(back.page.marginsMm, def.page.marginsMm);
    const ReportTable* t = back.findTable(QStringLiteral("t"));
    ASSERT_NE(t, nullptr);
    EXPECT_EQ(t->groupTitle, QStringLiteral("Tela: "));
    EXPECT_EQ(t->columns.size(), 3);
    EXPECT_EQ(t->columns[1].total, ReportTotal::Sum);
    EXPECT_EQ(t->columns[1].align, Qt::AlignRight);
    EXPECT_EQ(back.sources.last().params, QStringList{QStringLiteral("P_IDIDIOMA")});
}

} // namespace
