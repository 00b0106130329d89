// What other tools make of our files: the XLIFF validates against the OASIS
// schemas Debian ships, gettext's msgfmt --check accepts the PO, Qt's lconvert
// reads the XLIFF 1.2 and the PO, and a PO that gettext's msgcat rewrote
// (wrapped and sorted otherwise) reads back the same.
#include "ExchangeJobs.h"
#include "ExchangeTestData.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace trd::exchange;

namespace {

// Shipped inside Debian's php-symfony-translation (tools/install-deps.sh).
const QString SchemaDir = QStringLiteral("/usr/share/php/Symfony/Component/Translation/Resources/schemas");

struct ToolRun {
    int exitCode = -1;
    QString output;
};

ToolRun run(const QString& program, const QStringList& args)
{
    QProcess p;
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(program, args);
    if (!p.waitForFinished(120000))
        return {};
    return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1, QString::fromUtf8(p.readAll())};
}

// The rows without carriage returns and without an empty source text:
// msgfmt refuses "\r" in any message, and lconvert takes a message whose
// msgid is empty for a second header, so a PO holding either passes neither
// (docs/exchange.md, "What other tools accept").
std::vector<Row> rowsForTools()
{
    std::vector<Row> rows;
    for (Row r : test::trickyRows()) {
        if (r.destination.find('\r') != std::string::npos || r.source.empty())
            continue;
        rows.push_back(r);
    }
    sortForExport(rows);
    return rows;
}

class OutsideTools : public ::testing::Test {
protected:
    QString exportTo(Format format, const char* name)
    {
        const QString path = dir.filePath(QString::fromLatin1(name));
        writeExchangeFile(format, {"ENG", {46000.5, -180}}, rowsForTools(), path);
        return path;
    }
    static void need(const QString& path)
    {
        if (!QFileInfo::exists(path))
            FAIL() << path.toStdString() << " is missing: run tools/install-deps.sh";
    }
    QTemporaryDir dir;
};

TEST_F(OutsideTools, XliffValidatesAgainstTheOasisSchemas)
{
    ASSERT_NO_FATAL_FAILURE(need(QStringLiteral("/usr/bin/xmllint")));
    ASSERT_NO_FATAL_FAILURE(need(SchemaDir + QStringLiteral("/xliff-core-1.2-strict.xsd")));
    // The schemas import the W3C xml.xsd by its web address (1.2) and by a
    // relative path (2.0): a catalog and a copy beside the schema keep
    // xmllint off the network.
    const QString catalog = dir.filePath(QStringLiteral("catalog.xml"));
    QFile c(catalog);
    ASSERT_TRUE(c.open(QIODevice::WriteOnly));
    c.write(
        QStringLiteral("<?xml version=\"1.0\"?>\n<catalog xmlns=\"urn:oasis:names:tc:entity:xmlns:xml:catalog\">\n"
                       " <system systemId=\"http://www.w3.org/2001/xml.xsd\" uri=\"file://%1/xml.xsd\"/>\n</catalog>\n")
            .arg(SchemaDir)
            .toUtf8());
    c.close();
    const QString copies = dir.filePath(QStringLiteral("v2/informativeCopiesOf3rdPartySchemas/w3c"));
    ASSERT_TRUE(QDir().mkpath(copies));
    ASSERT_TRUE(QFile::copy(SchemaDir + QStringLiteral("/xliff-core-2.0.xsd"),
                            dir.filePath(QStringLiteral("v2/xliff-core-2.0.xsd"))));
    ASSERT_TRUE(QFile::copy(SchemaDir + QStringLiteral("/xml.xsd"), copies + QStringLiteral("/xml.xsd")));

    qputenv("XML_CATALOG_FILES", catalog.toUtf8());
    const ToolRun v12 =
        run(QStringLiteral("xmllint"),
            {QStringLiteral("--nonet"), QStringLiteral("--noout"), QStringLiteral("--schema"),
             SchemaDir + QStringLiteral("/xliff-core-1.2-strict.xsd"), exportTo(Format::Xliff12, "v12.xlf")});
    EXPECT_EQ(v12.exitCode, 0) << v12.output.toStdString();
    EXPECT_TRUE(v12.output.contains(QStringLiteral("validates"))) << v12.output.toStdString();
    const ToolRun v21 =
        run(QStringLiteral("xmllint"),
            {QStringLiteral("--nonet"), QStringLiteral("--noout"), QStringLiteral("--schema"),
             dir.filePath(QStringLiteral("v2/xliff-core-2.0.xsd")), exportTo(Format::Xliff21, "v21.xlf")});
    EXPECT_EQ(v21.exitCode, 0) << v21.output.toStdString();
    EXPECT_TRUE(v21.output.contains(QStringLiteral("validates"))) << v21.output.toStdString();
    // The check itself can fail: a unit without its source does not validate.
    QFile broken(dir.filePath(QStringLiteral("v12.xlf")));
    ASSERT_TRUE(broken.open(QIODevice::ReadOnly));
    QByteArray text = broken.readAll();
    broken.close();
    text.replace("<source>&amp;Salvar</source>", "");
    QFile out(dir.filePath(QStringLiteral("broken.xlf")));
    ASSERT_TRUE(out.open(QIODevice::WriteOnly));
    out.write(text);
    out.close();
    EXPECT_NE(run(QStringLiteral("xmllint"),
                  {QStringLiteral("--nonet"), QStringLiteral("--noout"), QStringLiteral("--schema"),
                   SchemaDir + QStringLiteral("/xliff-core-1.2-strict.xsd"), out.fileName()})
                  .exitCode,
              0);
}

TEST_F(OutsideTools, MsgfmtChecksThePo)
{
    ASSERT_NO_FATAL_FAILURE(need(QStringLiteral("/usr/bin/msgfmt")));
    const ToolRun r = run(QStringLiteral("msgfmt"),
                          {QStringLiteral("--check"), QStringLiteral("--statistics"), QStringLiteral("-o"),
                           dir.filePath(QStringLiteral("out.mo")), exportTo(Format::Po, "eng.po")});
    EXPECT_EQ(r.exitCode, 0) << r.output.toStdString();
    // gettext counts by msgstr: the T rows with a text, the D row with a text
    // as fuzzy, and the N rows and the empty T and D rows as untranslated.
    EXPECT_TRUE(
        r.output.contains(QStringLiteral("6 translated messages, 1 fuzzy translation, 4 untranslated messages")))
        << r.output.toStdString();
}

TEST_F(OutsideTools, LconvertReadsXliff12AndPo)
{
    const QString lconvert = QStringLiteral("/usr/lib/qt6/bin/lconvert");
    ASSERT_NO_FATAL_FAILURE(need(lconvert));
    const std::size_t expected = rowsForTools().size();
    for (const auto& [format, name] : {std::pair{Format::Xliff12, "l.xlf"}, std::pair{Format::Po, "l.po"}}) {
        const QString ts = dir.filePath(QString::fromLatin1(name) + QStringLiteral(".ts"));
        const ToolRun r = run(lconvert, {QStringLiteral("-i"), exportTo(format, name), QStringLiteral("-o"), ts});
        ASSERT_EQ(r.exitCode, 0) << name << ": " << r.output.toStdString();
        QFile f(ts);
        ASSERT_TRUE(f.open(QIODevice::ReadOnly));
        const QByteArray content = f.readAll();
        EXPECT_EQ(static_cast<std::size_t>(content.count("<message")), expected) << name;
        EXPECT_TRUE(content.contains("<source>&amp;Salvar</source>")) << name;
        EXPECT_TRUE(content.contains("&amp;Save")) << name;
    }
}

TEST_F(OutsideTools, PoRewrappedAndSortedByMsgcatReadsTheSame)
{
    ASSERT_NO_FATAL_FAILURE(need(QStringLiteral("/usr/bin/msgcat")));
    const QString original = exportTo(Format::Po, "orig.po");
    const QString rewritten = dir.filePath(QStringLiteral("rewritten.po"));
    const ToolRun r = run(QStringLiteral("msgcat"),
                          {QStringLiteral("-w"), QStringLiteral("20"), QStringLiteral("--sort-output"),
                           QStringLiteral("-o"), rewritten, original});
    ASSERT_EQ(r.exitCode, 0) << r.output.toStdString();
    QFile a(original), b(rewritten);
    ASSERT_TRUE(a.open(QIODevice::ReadOnly) && b.open(QIODevice::ReadOnly));
    ASSERT_NE(a.readAll(), b.readAll());
    const Document before = readExchangeFile(original), after = readExchangeFile(rewritten);
    ASSERT_EQ(before.units.size(), after.units.size());
    EXPECT_EQ(after.exportTime, before.exportTime);
    for (const Unit& u : before.units) {
        const auto it =
            std::find_if(after.units.begin(), after.units.end(), [&](const Unit& v) { return v.id == u.id; });
        ASSERT_NE(it, after.units.end()) << u.id;
        EXPECT_EQ(it->source, u.source);
        EXPECT_EQ(it->target, u.target);
        EXPECT_EQ(it->status, u.status);
        EXPECT_EQ(it->program, u.program);
        EXPECT_EQ(it->component, u.component);
    }
}

} // namespace

// The PO is written and read with gettext's direct UTF-8 paths (PoFile.cpp):
// what they write is byte for byte what gettext's own msgcat writes of the
// same file on its usual paths (the switches out of its environment), and
// both read back alike.
TEST_F(OutsideTools, PoOnGettextsDirectPathsIsWhatMsgcatWritesOnItsUsualOnes)
{
    ASSERT_NO_FATAL_FAILURE(need(QStringLiteral("/usr/bin/msgcat")));
    const QString original = exportTo(Format::Po, "direct.po");
    ASSERT_TRUE(qEnvironmentVariableIsSet("OLD_PO_FILE_OUTPUT"));
    const QString rewritten = dir.filePath(QStringLiteral("usual.po"));
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(QStringLiteral("OLD_PO_FILE_OUTPUT"));
    env.remove(QStringLiteral("OLD_PO_FILE_INPUT"));
    p.setProcessEnvironment(env);
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(QStringLiteral("msgcat"), {QStringLiteral("-o"), rewritten, original});
    ASSERT_TRUE(p.waitForFinished(120000));
    ASSERT_EQ(p.exitCode(), 0) << p.readAll().toStdString();
    QFile a(original), b(rewritten);
    ASSERT_TRUE(a.open(QIODevice::ReadOnly) && b.open(QIODevice::ReadOnly));
    const QByteArray ours = a.readAll();
    EXPECT_EQ(ours, b.readAll());
    EXPECT_TRUE(ours.contains("msgctxt")) << "a file of the rows, not an empty one";
    const Document direct = readExchangeFile(original), usual = readExchangeFile(rewritten);
    ASSERT_EQ(direct.units.size(), rowsForTools().size());
    ASSERT_EQ(direct.units.size(), usual.units.size());
    for (std::size_t i = 0; i < direct.units.size(); ++i) {
        EXPECT_EQ(direct.units[i].id, usual.units[i].id);
        EXPECT_EQ(direct.units[i].source, usual.units[i].source);
        EXPECT_EQ(direct.units[i].target, usual.units[i].target);
        EXPECT_EQ(direct.units[i].status, usual.units[i].status);
    }
}
