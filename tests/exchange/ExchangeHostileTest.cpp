// Files an import must refuse whole, with the line and the reason, before a
// row is touched; and files an outside tool rewrote, which must still read.
#include "ExchangeJobs.h"
#include "ExchangeTestData.h"
#include "UnitId.h"

#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace trd::exchange;

namespace {

class Hostile : public ::testing::Test {
protected:
    QString file(const QByteArray& content, const char* name)
    {
        const QString path = dir.filePath(QString::fromLatin1(name));
        QFile f(path);
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(content);
        return path;
    }
    // The FileError a file gets; fails the test when it reads.
    FileError refusal(const QByteArray& content, const char* name, const ReadLimits& limits = {})
    {
        try {
            readExchangeFile(file(content, name), limits);
        } catch (const FileError& e) {
            return e;
        }
        ADD_FAILURE() << name << " was read";
        return FileError(0, QString());
    }
    QByteArray exported(Format format, const std::vector<Row>& rows)
    {
        const QString path = dir.filePath(QStringLiteral("exported.") + QLatin1String(formatExtension(format)));
        writeExchangeFile(format, {"ENG", {46000.5, 0}}, rows, path);
        QFile f(path);
        EXPECT_TRUE(f.open(QIODevice::ReadOnly));
        return f.readAll();
    }
    QTemporaryDir dir;
};

const QByteArray Xliff12Head =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
    "<xliff xmlns=\"urn:oasis:names:tc:xliff:document:1.2\" version=\"1.2\">\n"
    "<file original=\"x\" source-language=\"pt-BR\" target-language=\"ENG\" datatype=\"plaintext\">\n"
    "<body><group resname=\"P\">\n";
const QByteArray Xliff12Tail = "</group></body></file></xliff>\n";

QByteArray unit12(const QByteArray& id, const QByteArray& source, const QByteArray& target)
{
    return "<trans-unit id=\"" + id + "\" resname=\"C\"><source>" + source + "</source><target state=\"translated\">"
        + target + "</target></trans-unit>\n";
}

TEST_F(Hostile, TruncatedFilesAreRefusedWithTheirLine)
{
    for (Format format : {Format::Xliff12, Format::Xliff21, Format::Po}) {
        const QByteArray whole = exported(format, test::trickyRows());
        // Cut inside a quoted string / an element, well past the header.
        const QByteArray cut = whole.left(whole.indexOf("Repert") + 3);
        const FileError e = refusal(cut, format == Format::Po ? "cut.po" : "cut.xlf");
        EXPECT_GT(e.line(), 1) << formatName(format) << ": " << e.Message().toStdString();
        if (format != Format::Po) {
            EXPECT_TRUE(e.reason().contains(QStringLiteral("XML malformado"))) << e.Message().toStdString();
        }
    }
}

TEST_F(Hostile, AnEncodingOtherThanUtf8IsRefusedAtItsFirstByte)
{
    // Latin-1 bytes on line 6 of an XLIFF file and line 4 of a PO file.
    const FileError x = refusal(Xliff12Head + unit12("u1", "Per\xEDodo", "Period") + Xliff12Tail, "latin1.xlf");
    EXPECT_EQ(x.line(), 5);
    EXPECT_TRUE(x.reason().contains(QStringLiteral("0xED"))) << x.Message().toStdString();
    const FileError p = refusal(
        "msgid \"\"\nmsgstr \"Content-Type: text/plain; charset=UTF-8\\n\"\n\nmsgid \"Per\xEDodo\"\nmsgstr \"\"\n",
        "latin1.po");
    EXPECT_EQ(p.line(), 4);
    const FileError utf16 = refusal(QByteArray("\xFF\xFE<\0?\0x\0", 8), "utf16.xlf");
    EXPECT_TRUE(utf16.reason().contains(QStringLiteral("UTF-16")));
    const FileError declared =
        refusal(QByteArray(Xliff12Head).replace("UTF-8", "ISO-8859-1") + Xliff12Tail, "declared.xlf");
    EXPECT_TRUE(declared.reason().contains(QStringLiteral("ISO-8859-1"))) << declared.Message().toStdString();
    const FileError charset =
        refusal("msgid \"\"\nmsgstr \"Content-Type: text/plain; charset=ISO-8859-1\\n\"\n", "charset.po");
    EXPECT_TRUE(charset.reason().contains(QStringLiteral("ISO-8859-1"))) << charset.Message().toStdString();
}

TEST_F(Hostile, EntityExpansionAndExternalEntitiesAreRefusedBeforeParsing)
{
    QByteArray laughs = "<?xml version=\"1.0\"?>\n<!DOCTYPE xliff [\n <!ENTITY lol \"lol\">\n";
    for (int i = 1; i < 10; ++i)
        laughs += " <!ENTITY lol" + QByteArray::number(i) + " \"" + QByteArray("&lol") + QByteArray::number(i - 1) + ";"
            + QByteArray("&lol") + QByteArray::number(i - 1) + ";\">\n";
    laughs += "]>\n" + Xliff12Head.mid(Xliff12Head.indexOf('\n') + 1) + unit12("u1", "a", "&lol9;") + Xliff12Tail;
    QElapsedTimer clock;
    clock.start();
    const FileError expansion = refusal(laughs, "laughs.xlf");
    EXPECT_EQ(expansion.line(), 2);
    EXPECT_TRUE(expansion.reason().contains(QStringLiteral("expansão de entidades")))
        << expansion.Message().toStdString();

    const FileError external =
        refusal("<?xml version=\"1.0\"?>\n<!DOCTYPE xliff SYSTEM \"file:///etc/passwd\">\n"
                    + Xliff12Head.mid(Xliff12Head.indexOf('\n') + 1) + unit12("u1", "a", "b") + Xliff12Tail,
                "external.xlf");
    EXPECT_TRUE(external.reason().contains(QStringLiteral("entidades externas"))) << external.Message().toStdString();

    // A reference to an entity never declared: pugixml would keep "&passwd;"
    // as text; it is refused instead, with its line.
    const FileError undeclared =
        refusal(Xliff12Head + unit12("u1", "a", "x &passwd; y") + Xliff12Tail, "undeclared.xlf");
    EXPECT_EQ(undeclared.line(), 5);
    EXPECT_TRUE(undeclared.reason().contains(QStringLiteral("&passwd;"))) << undeclared.Message().toStdString();
    // Within CDATA the same characters are plain text.
    const Document cdata = readExchangeFile(
        file(Xliff12Head + unit12("u1", "a", "<![CDATA[x &passwd; <y>]]>") + Xliff12Tail, "cdata.xlf"));
    ASSERT_EQ(cdata.units.size(), 1u);
    EXPECT_EQ(cdata.units[0].target.value_or(""), "x &passwd; <y>");
}

TEST_F(Hostile, DuplicateIdsAreRefusedNamingBothLines)
{
    const FileError x12 =
        refusal(Xliff12Head + unit12("u1", "a", "b") + unit12("u2", "c", "d") + unit12("u1", "e", "f") + Xliff12Tail,
                "dup12.xlf");
    EXPECT_EQ(x12.line(), 7);
    EXPECT_TRUE(x12.reason().contains(QStringLiteral("linha 5"))) << x12.Message().toStdString();

    QByteArray x21 = exported(Format::Xliff21, {{"P", "C", "a", "b", 'T', 0}, {"P", "D", "c", "d", 'T', 0}});
    x21.replace(unitId("P", "D", "c").c_str(), unitId("P", "C", "a").c_str());
    const FileError e21 = refusal(x21, "dup21.xlf");
    EXPECT_GT(e21.line(), 0);
    EXPECT_TRUE(e21.reason().contains(QStringLiteral("se repete"))) << e21.Message().toStdString();

    QByteArray po = exported(Format::Po, {{"P", "C", "a", "b", 'T', 0}, {"P", "D", "c", "d", 'T', 0}});
    po.replace(unitId("P", "D", "c").c_str(), unitId("P", "C", "a").c_str());
    const FileError ep = refusal(po, "dup.po");
    EXPECT_GT(ep.line(), 15);
    EXPECT_TRUE(ep.reason().contains(QStringLiteral("se repete"))) << ep.Message().toStdString();
}

TEST_F(Hostile, AHundredMegabyteFileIsRefusedOverTheLimitAndReadUnderIt)
{
    // One target of 100 MB: within the file limit it reads, and the plan
    // refuses that one unit for its size while the other goes through.
    QByteArray huge = Xliff12Head + unit12("u0", "pequeno", "small");
    huge += "<trans-unit id=\"u1\" resname=\"C\"><source>enorme</source><target state=\"translated\">";
    huge += QByteArray(100 << 20, 'x');
    huge += "</target></trans-unit>\n" + Xliff12Tail;
    const QString path = file(huge, "huge.xlf");
    huge.clear();

    QElapsedTimer clock;
    clock.start();
    try {
        readExchangeFile(path, ReadLimits{64 << 20});
        ADD_FAILURE() << "a file over the limit was read";
    } catch (const FileError& e) {
        EXPECT_TRUE(e.reason().contains(QStringLiteral("100 MiB"))) << e.Message().toStdString();
    }

    const Document doc = readExchangeFile(path);
    ASSERT_EQ(doc.units.size(), 2u);
    EXPECT_EQ(doc.units[1].target->size(), std::size_t(100) << 20);
    const std::vector<Row> rows = {{"P", "C", "pequeno", "", 'N', 0}, {"P", "C", "enorme", "", 'N', 0}};
    const Plan plan = planImport(doc, rows, 1e9);
    EXPECT_EQ(plan.entries[0].outcome, Outcome::New);
    EXPECT_EQ(plan.entries[1].outcome, Outcome::Refused);
    EXPECT_TRUE(plan.entries[1].reason.contains(QStringLiteral("máximo é 4000")))
        << plan.entries[1].reason.toStdString();
}

TEST_F(Hostile, MalformedPoIsRefusedWithGettextsLineAndReadsAgainAfterwards)
{
    const FileError e =
        refusal("msgid \"\"\nmsgstr \"Content-Type: text/plain; charset=UTF-8\\n\"\n\nmsgid \"a\"\nmsgstr \"b\n"
                "msgid \"c\"\nmsgstr \"d\"\n",
                "broken.po");
    // The string left open on line 5; gettext reports where it noticed.
    EXPECT_TRUE(e.line() == 5 || e.line() == 6) << e.Message().toStdString();
    // The library is left able to read the next file.
    const QByteArray good = exported(Format::Po, {{"P", "C", "a", "b", 'T', 0}});
    EXPECT_EQ(readExchangeFile(file(good, "good.po")).units.size(), 1u);
}

TEST_F(Hostile, Xliff12RewrittenByAnotherToolReadsTheSame)
{
    // Another tool's habits: prefixed namespace, attributes in another
    // order, notes, context, alternatives with targets of their own, CDATA,
    // segmentation marks, its own elements, no indentation.
    const std::string id = unitId("TRD09300", "sbtSalvar", "&Salvar");
    const QByteArray rewritten =
        "<?xml version='1.0' encoding='utf-8'?><x:xliff version='1.2' xmlns:x='urn:oasis:names:tc:xliff:document:1.2' "
        "xmlns:o='urn:other'><x:file target-language='eng' datatype='plaintext' date='2025-12-09T15:00:00Z' "
        "source-language='pt-BR' original='y'><x:header><o:stats words='3'/></x:header><x:body>"
        "<x:group resname='TRD09300' id='g'><x:trans-unit resname='sbtSalvar' id='"
        + QByteArray(id.c_str())
        + "'>"
          "<x:note>revisar</x:note><x:seg-source><x:mrk mtype='seg' mid='1'>&amp;Salvar</x:mrk></x:seg-source>"
          "<x:source>&amp;Salvar</x:source><x:context-group><x:context context-type='x-a'>q</x:context></x:context-group>"
          "<x:target state='needs-review-translation'><x:mrk mtype='seg' mid='1'><![CDATA[&Save]]> <x:g id='1'>now</x:g></x:mrk></x:target>"
          "<x:alt-trans><x:target>Outra</x:target></x:alt-trans><o:extra/></x:trans-unit>"
          "<x:trans-unit id='semid2' resname='lbl'><x:source>Fim</x:source></x:trans-unit>"
          "<x:trans-unit id='ph' resname='lbl2'><x:source>Com código</x:source><x:target>A <x:ph id='1'>{0}</x:ph></x:target></x:trans-unit>"
          "</x:group></x:body></x:file></x:xliff>";
    const Document doc = readExchangeFile(file(rewritten, "rewritten.xlf"));
    EXPECT_EQ(doc.language, "eng");
    EXPECT_EQ(doc.exportTime, "2025-12-09T15:00:00Z");
    ASSERT_EQ(doc.units.size(), 3u);
    EXPECT_EQ(doc.units[0].id, id);
    EXPECT_EQ(doc.units[0].program.value_or(""), "TRD09300");
    EXPECT_EQ(doc.units[0].component.value_or(""), "sbtSalvar");
    EXPECT_EQ(doc.units[0].source, "&Salvar");
    EXPECT_EQ(doc.units[0].target.value_or(""), "&Save now");
    EXPECT_EQ(doc.units[0].status, 'D');
    EXPECT_FALSE(doc.units[1].target.has_value()); // no target: the row keeps its text
    EXPECT_EQ(doc.units[1].status, 'N');
    EXPECT_TRUE(doc.units[2].problem.find("<ph>") != std::string::npos) << doc.units[2].problem;
}

TEST_F(Hostile, Xliff2SegmentsIgnorablesAndMarkupOfAnotherToolReadTheSame)
{
    const QByteArray rewritten =
        "<?xml version=\"1.0\"?>\n<xliff version=\"2.0\" trgLang=\"ENG\" srcLang=\"pt-BR\" "
        "xmlns=\"urn:oasis:names:tc:xliff:document:2.0\" xmlns:mda=\"urn:oasis:names:tc:xliff:metadata:2.0\">\n"
        "  <file id=\"f\">\n    <notes><note>x</note></notes>\n"
        "    <mda:metadata><mda:metaGroup category=\"trd\"><mda:meta type=\"export-time\">2025-12-09T12:00:00-03:00</mda:meta>"
        "</mda:metaGroup></mda:metadata>\n"
        "    <group id=\"g\" name=\"P\"><group id=\"h\"><unit name=\"C\" id=\"u9\">\n"
        "      <segment state=\"reviewed\"><source>Uma frase.</source><target>One <pc id=\"1\">sentence</pc>.</target></segment>\n"
        "      <ignorable><source> </source></ignorable>\n"
        "      <segment state=\"translated\" subState=\"trd:duvida\"><source>Outra<sm id=\"m\"/>.</source>"
        "<target>Another<em startRef=\"m\"/><cp hex=\"0021\"/></target></segment>\n"
        "    </unit></group></group>\n  </file>\n</xliff>\n";
    const Document doc = readExchangeFile(file(rewritten, "rewritten2.xlf"));
    EXPECT_EQ(doc.exportTime, "2025-12-09T12:00:00-03:00");
    ASSERT_EQ(doc.units.size(), 1u);
    const Unit& u = doc.units[0];
    EXPECT_EQ(u.program.value_or(""), "P");
    EXPECT_EQ(u.component.value_or(""), "C");
    EXPECT_EQ(u.source, "Uma frase. Outra.");
    EXPECT_EQ(u.target.value_or(""), "One sentence. Another!");
    EXPECT_EQ(u.status, 'D'); // as far along as its least finished segment
    EXPECT_TRUE(u.problem.empty()) << u.problem;
}

// Tens of thousands of nested elements (0.5 MB files) once overflowed the
// reader's stack; past the documented depth the file is refused whole with
// the line of the first element too deep, and a file nested as deep as real
// tools nest still reads.
TEST_F(Hostile, ElementsNestedTooDeepAreRefusedWithTheirLine)
{
    const auto nested = [](const QByteArray& open, const QByteArray& close, int depth) {
        QByteArray text;
        for (int i = 0; i < depth; ++i)
            text += open;
        text += "x";
        for (int i = 0; i < depth; ++i)
            text += close;
        return text;
    };
    const QByteArray deepG =
        Xliff12Head + unit12("u1", "Texto", "\n" + nested("<g id=\"1\">", "</g>", 50000)) + Xliff12Tail;
    const FileError g = refusal(deepG, "deep-g.xlf");
    EXPECT_EQ(g.line(), 6) << g.Message().toStdString();
    EXPECT_TRUE(g.reason().contains(QStringLiteral("aninhados em mais de 256 níveis"))) << g.Message().toStdString();

    const QByteArray head2 = "<?xml version=\"1.0\"?>\n<xliff version=\"2.1\" trgLang=\"ENG\" srcLang=\"pt-BR\" "
                             "xmlns=\"urn:oasis:names:tc:xliff:document:2.0\">\n<file id=\"f\">\n"
                             "<group id=\"g\" name=\"P\"><unit name=\"C\" id=\"u2\"><segment state=\"translated\">"
                             "<source>Texto</source>\n<target>";
    const QByteArray tail2 = "</target></segment></unit></group></file></xliff>\n";
    const FileError pc = refusal(head2 + nested("<pc id=\"1\">", "</pc>", 60000) + tail2, "deep-pc.xlf");
    EXPECT_EQ(pc.line(), 5) << pc.Message().toStdString();
    EXPECT_TRUE(pc.reason().contains(QStringLiteral("<pc> dentro de <pc>"))) << pc.Message().toStdString();

    // Groups within groups recurse too, each on a line of its own.
    QByteArray groups = Xliff12Head;
    for (int i = 0; i < 20000; ++i)
        groups += "<group>\n";
    groups += unit12("u3", "a", "b");
    for (int i = 0; i < 20000; ++i)
        groups += "</group>\n";
    groups += Xliff12Tail;
    const FileError grp = refusal(groups, "deep-groups.xlf");
    // The root is level 1, file 2, body 3, the header's group 4: the 253rd
    // group of the file's own is the first too deep, on line 5 + 252.
    EXPECT_EQ(grp.line(), 5 + 252) << grp.Message().toStdString();

    // As deep as a tool nests its inline markup, and a few groups: read.
    const QByteArray fine = Xliff12Head + "<group><group>\n"
        + unit12("u4", "Texto", nested("<g id=\"1\">", "</g>", 200)) + "</group></group>\n" + Xliff12Tail;
    const Document doc = readExchangeFile(file(fine, "fine.xlf"));
    ASSERT_EQ(doc.units.size(), 1u);
    EXPECT_EQ(doc.units[0].target.value_or(""), "x");
}

} // namespace
