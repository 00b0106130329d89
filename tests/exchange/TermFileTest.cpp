// A glossary's files without a server: every value of a term survives TBX and
// CSV; hostile and malformed files are refused with their line and nothing of
// them used; the import's plan against the server's terms; and what the
// Translate Toolkit (Debian's translate-toolkit) makes of our TBX, and we of
// its.
#include "TermExchange.h"
#include "TermFile.h"

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace trd::exchange;

namespace {

TermFile trickyTerms()
{
    TermFile f;
    f.language = "ENG";
    f.terms = {
        {"Pedido", "Order\nPurchase order", "Request\nDemand", false, "O pedido do cliente, não um pedido de ajuda.",
         ""},
        {"Nota fiscal", "Invoice", "", false, "a \"nota\", com vírgula; e <tag> & ]]> &amp; mais\nsegunda linha",
         "TRD09300"},
        {"Trd Studio", "", "", true, "", ""},
        {"Trd Studio Web", "TS Web", "", true, "", "FIN001"},
        {"Só proibida", "", "Forbidden, \"quoted\"", false, "blanks  kept  inside", ""},
        {"Ação", "Action", "", false, "ÀÉÎõü ç €", "P,1"},
    };
    return f;
}

void expectSameTerms(const TermFile& a, const TermFile& b)
{
    ASSERT_EQ(a.terms.size(), b.terms.size());
    for (std::size_t i = 0; i < a.terms.size(); ++i) {
        SCOPED_TRACE(a.terms[i].source);
        EXPECT_EQ(a.terms[i].source, b.terms[i].source);
        EXPECT_EQ(a.terms[i].preferred, b.terms[i].preferred);
        EXPECT_EQ(a.terms[i].forbidden, b.terms[i].forbidden);
        EXPECT_EQ(a.terms[i].doNotTranslate, b.terms[i].doNotTranslate);
        EXPECT_EQ(a.terms[i].note, b.terms[i].note);
        EXPECT_EQ(a.terms[i].program, b.terms[i].program);
    }
}

int refusedLine(const std::function<void()>& read, const QString& reasonHas)
{
    try {
        read();
    } catch (const FileError& e) {
        EXPECT_TRUE(e.reason().contains(reasonHas)) << e.Message().toStdString();
        return e.line();
    }
    ADD_FAILURE() << "not refused";
    return -1;
}

int tbxLine(std::string text, const QString& reasonHas)
{
    return refusedLine([&] { readTbx(text, "ENG"); }, reasonHas);
}

int csvLine(const std::string& text, const QString& reasonHas)
{
    return refusedLine([&] { readTermCsv(text); }, reasonHas);
}

const std::string TbxHead = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<martif type=\"TBX-Basic\">\n<text><body>\n";
const std::string TbxTail = "</body></text>\n</martif>\n";

} // namespace

TEST(TermFiles, EveryValueSurvivesTbxAndCsv)
{
    const TermFile terms = trickyTerms();
    std::string tbx;
    writeTbx(terms, tbx);
    const TermFile fromTbx = readTbx(tbx, "ENG");
    EXPECT_EQ(fromTbx.language, "ENG");
    expectSameTerms(terms, fromTbx);

    std::string csv;
    writeTermCsv(terms, csv);
    const TermFile fromCsv = readTermCsv(csv);
    expectSameTerms(terms, fromCsv);
    // Where each term starts, for the import's messages: the header is line 1
    // and a quoted line break moves the next term down.
    EXPECT_EQ(fromCsv.terms[0].line, 2);
    EXPECT_EQ(fromCsv.terms[1].line, 5);
    EXPECT_EQ(fromCsv.terms[2].line, 7);

    // Texts a spreadsheet would evaluate as formulas go after an apostrophe,
    // which it shows as text; texts that start with apostrophes of their own
    // come back with them.
    TermFile formulas;
    formulas.terms = {{"=SOMA(A1;A2)", "+55 11\n-x", "-ção", false, "@menção", "'=P1"},
                      {"'=com aspa", "''+duas", "'sem fórmula", false, "\tcom tab", "\rcr"}};
    std::string guarded;
    writeTermCsv(formulas, guarded);
    EXPECT_NE(guarded.find("\r\n\"'=SOMA(A1;A2)\",\"'+55 11\n-x\",'-ção,N,'@menção,''=P1\r\n"), std::string::npos)
        << guarded;
    EXPECT_NE(guarded.find("\r\n''=com aspa,'''+duas,'sem fórmula,N,'\tcom tab,\"'\rcr\"\r\n"), std::string::npos)
        << guarded;
    expectSameTerms(formulas, readTermCsv(guarded));
    // A sheet typed by hand: the apostrophe before a formula sign is the
    // spreadsheet's, one before anything else is the text's.
    const TermFile typed = readTermCsv("DSTERMO,DSNOTA\n'=x,'nota\n=y,''-z\n");
    ASSERT_EQ(typed.terms.size(), 2u);
    EXPECT_EQ(typed.terms[0].source, "=x");
    EXPECT_EQ(typed.terms[0].note, "'nota");
    EXPECT_EQ(typed.terms[1].source, "=y");
    EXPECT_EQ(typed.terms[1].note, "'-z");

    // A spreadsheet set to Portuguese: semicolons, a byte order mark, CR LF,
    // columns in its own order and some left out.
    const TermFile sheet =
        readTermCsv("\xEF\xBB\xBF"
                    "DSPREFERIDAS;dstermo;FLNAOTRADUZIR\r\nOrder;Pedido;n\r\n\"A; B\";Nota;S\r\n\r\n");
    ASSERT_EQ(sheet.terms.size(), 2u);
    EXPECT_EQ(sheet.terms[1].source, "Nota");
    EXPECT_EQ(sheet.terms[1].preferred, "A; B");
    EXPECT_TRUE(sheet.terms[1].doNotTranslate);
    EXPECT_TRUE(sheet.given.preferred && sheet.given.doNotTranslate);
    EXPECT_FALSE(sheet.given.forbidden || sheet.given.note);
}

TEST(TermFiles, HostileAndMalformedFilesAreRefusedWithTheirLine)
{
    // Entities: declared (the expansion attack), undeclared, external.
    EXPECT_EQ(tbxLine("<?xml version=\"1.0\"?>\n<!DOCTYPE martif [\n<!ENTITY a \"aaaaaaaa\">\n]>\n<martif/>\n",
                      QStringLiteral("entidades")),
              2);
    EXPECT_EQ(tbxLine(TbxHead
                          + "<termEntry><langSet xml:lang=\"pt-BR\"><tig><term>&xxe;</term></tig></langSet>"
                            "</termEntry>\n"
                          + TbxTail,
                      QStringLiteral("&xxe;")),
              4);
    // Nested past any term base's need, before anything recurses through it.
    std::string deep = TbxHead + "<termEntry><note>";
    for (int i = 0; i < 300; ++i)
        deep += "<hi>";
    deep += "x";
    for (int i = 0; i < 300; ++i)
        deep += "</hi>";
    deep += "</note></termEntry>" + TbxTail;
    EXPECT_EQ(tbxLine(deep, QStringLiteral("aninhados")), 4);
    EXPECT_EQ(tbxLine(TbxHead + "<termEntry>\n<langSet xml:lang=\"pt-BR\"><tig><term>Caf\xE9</term>" + TbxTail,
                      QStringLiteral("não é UTF-8")),
              5);
    EXPECT_EQ(tbxLine(TbxHead + "<termEntry>\n<langSet>\n" + TbxTail, QStringLiteral("XML malformado")), 6);
    EXPECT_EQ(tbxLine("<?xml version=\"1.0\"?>\n<xliff version=\"1.2\"/>\n", QStringLiteral("não é um arquivo TBX")),
              2);
    EXPECT_EQ(tbxLine(TbxHead
                          + "<termEntry><langSet xml:lang=\"pt-BR\"><tig><term>A</term></tig></langSet>"
                            "<langSet xml:lang=\"de\"><tig><term>B</term></tig></langSet></termEntry>\n"
                            "<termEntry><langSet xml:lang=\"pt-BR\"><tig><term>C</term></tig></langSet>"
                            "<langSet xml:lang=\"fr\"><tig><term>D</term></tig></langSet></termEntry>\n"
                          + TbxTail,
                      QStringLiteral("nenhum deles é ENG")),
              4);

    EXPECT_EQ(csvLine("DSTERMO,DSNOTA\nPedido,\"sem fim\n\nmais", QStringLiteral("não se fecha")), 2);
    EXPECT_EQ(csvLine("DSTERMO,DSNOTA\nA,b\nPedido,nota,extra\n", QStringLiteral("3 campos")), 3);
    EXPECT_EQ(csvLine("DSTERMO,DSNOTAS\nA,b\n", QStringLiteral("DSNOTAS")), 1);
    EXPECT_EQ(csvLine("DSNOTA\nb\n", QStringLiteral("DSTERMO")), 1);
    EXPECT_EQ(csvLine("DSTERMO,FLNAOTRADUZIR\nA,N\nB,talvez\n", QStringLiteral("talvez")), 3);
    EXPECT_EQ(csvLine("DSTERMO,DSNOTA\nA,\"b\"c\n", QStringLiteral("aspas")), 2);
    EXPECT_EQ(csvLine("DSTERMO\nA\nCaf\xE9\n", QStringLiteral("não é UTF-8")), 3);
}

TEST(TermFiles, TheImportWritesOnlyWhatTheFileChanges)
{
    const std::vector<ServerTerm> server = {
        {1, {"Pedido", "Order", "Request", false, "nota do servidor", ""}, 46000.5},
        {2, {"Nota fiscal", "Invoice", "", false, "", "TRD09300"}, 46000.5},
        {3, {"Cliente", "Customer", "", false, "", ""}, 46000.5},
    };
    // A sheet without the forbidden and note columns keeps the server's.
    TermFile sheet = readTermCsv("DSTERMO,DSPREFERIDAS,CDPROGTRAD\n"
                                 "  PEDIDO ,Order,\n" // case and blanks aside: the same term, changed
                                 "Nota  fiscal,\" Invoice \n\n\",TRD09300\n" // blanks as the server keeps them
                                 "Nota fiscal,Bill,FIN001\n" // another scope: a new term
                                 "Cliente,Client,\n"
                                 "cliente,Patron,\n" // the file repeats itself
                                 "Caf\xC3\xA9 \xE2\x82\xAC,\xE2\x86\x92,\n" // U+2192 is not in Windows-1252
                                 "\"Duas\nlinhas\",X,\n");
    const TermPlan plan = planTermImport(sheet, server);
    std::vector<TermOutcome> outcomes;
    for (const TermPlanEntry& e : plan.entries)
        outcomes.push_back(e.outcome);
    EXPECT_EQ(outcomes,
              (std::vector<TermOutcome>{TermOutcome::Changed, TermOutcome::Same, TermOutcome::New, TermOutcome::Changed,
                                        TermOutcome::Refused, TermOutcome::Refused, TermOutcome::Refused}));
    EXPECT_EQ(plan.count(TermOutcome::Refused), 3);
    EXPECT_EQ(sheet.terms[0].source, "PEDIDO");
    EXPECT_EQ(sheet.terms[0].forbidden, "Request");
    EXPECT_EQ(sheet.terms[0].note, "nota do servidor");
    EXPECT_EQ(plan.entries[4].reason, QStringLiteral("repete o termo da linha 7"));
    EXPECT_TRUE(plan.entries[5].reason.contains(QStringLiteral("Windows-1252")))
        << plan.entries[5].reason.toStdString();
    EXPECT_TRUE(plan.entries[6].reason.contains(QStringLiteral("uma linha só")));

    // The server's own terms, exported and read back, are all unchanged.
    TermFile exported;
    exported.language = "ENG";
    for (const ServerTerm& t : server)
        exported.terms.push_back(t.values);
    for (const TermFormat format : {TermFormat::Tbx, TermFormat::Csv}) {
        std::string bytes;
        format == TermFormat::Tbx ? writeTbx(exported, bytes) : writeTermCsv(exported, bytes);
        TermFile back = format == TermFormat::Tbx ? readTbx(bytes, "ENG") : readTermCsv(bytes);
        EXPECT_EQ(planTermImport(back, server).count(TermOutcome::Same), 3) << termFormatName(format);
    }
}

namespace {

const char* const Python = "/usr/bin/python3";

bool haveTranslateToolkit()
{
    QProcess p;
    p.start(QString::fromLatin1(Python), {QStringLiteral("-c"), QStringLiteral("import translate.storage.tbx")});
    return p.waitForFinished(60000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
}

QString python(const QString& script, const QStringList& args)
{
    QProcess p;
    p.setProcessChannelMode(QProcess::SeparateChannels);
    p.start(QString::fromLatin1(Python), QStringList{QStringLiteral("-c"), script} + args);
    EXPECT_TRUE(p.waitForFinished(60000));
    EXPECT_EQ(p.exitCode(), 0) << p.readAllStandardError().toStdString();
    return QString::fromUtf8(p.readAllStandardOutput());
}

} // namespace

TEST(TermFiles, TheTranslateToolkitReadsOurTbxAndWeReadItsTbx)
{
    if (!haveTranslateToolkit())
        GTEST_SKIP() << "python3's translate.storage.tbx (Debian's translate-toolkit) is not installed";
    QTemporaryDir dir;
    const QString ours = dir.filePath(QStringLiteral("ours.tbx"));
    writeTermFile(TermFormat::Tbx, trickyTerms(), ours);
    // Its reading: source, target (the first term of the second language set), notes.
    const QString read = python(QStringLiteral("import sys\n"
                                               "from translate.storage import tbx\n"
                                               "for u in tbx.tbxfile.parsefile(sys.argv[1]).units:\n"
                                               "    print(repr((u.source, u.target, u.getnotes())))\n"),
                                {ours});
    EXPECT_EQ(read.split(u'\n', Qt::SkipEmptyParts),
              (QStringList{
                  QStringLiteral("('Pedido', 'Order', 'O pedido do cliente, não um pedido de ajuda.')"),
                  QStringLiteral("('Nota fiscal', 'Invoice', 'a \"nota\", com vírgula; e <tag> & ]]> &amp; mais\\n"
                                 "segunda linha')"),
                  QStringLiteral("('Trd Studio', 'Trd Studio', 'Não traduzir.')"),
                  QStringLiteral("('Trd Studio Web', 'Trd Studio Web', 'Não traduzir.')"),
                  QStringLiteral("('Só proibida', 'Forbidden, \"quoted\"', 'blanks  kept  inside')"),
                  QStringLiteral("('Ação', 'Action', 'ÀÉÎõü ç €')"),
              }));

    // Its writing: its own DOCTYPE naming a DTD, source "en" and target "xx" as
    // csv2tbx leaves them, a note, markup characters.
    const QString theirs = dir.filePath(QStringLiteral("theirs.tbx"));
    python(QStringLiteral("import sys\n"
                          "from translate.storage import tbx\n"
                          "f = tbx.tbxfile()\n"
                          "u = f.addsourceunit('Nota fiscal')\n"
                          "u.settarget('Invoice', lang='xx')\n"
                          "u.addnote('o documento, não uma anotação')\n"
                          "u = f.addsourceunit('Pedido & cia <ltda>')\n"
                          "u.settarget('Order & co', lang='xx')\n"
                          "f.savefile(sys.argv[1])\n"),
           {theirs});
    const TermFile back = readTermFile(theirs, "ENG");
    EXPECT_EQ(back.language, "xx");
    TermFile expected;
    expected.terms = {{"Nota fiscal", "Invoice", "", false, "o documento, não uma anotação", ""},
                      {"Pedido & cia <ltda>", "Order & co", "", false, "", ""}};
    expectSameTerms(expected, back);
}
