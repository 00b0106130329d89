// trd-exchange as a user runs it, against a real trd-server on SQLite and on
// PostgreSQL: an export imported back unedited writes nothing in any format;
// an edited file is applied as one save; a row changed on the server after
// the export is never overwritten unless asked; refused units and malformed
// files write nothing unless the user agrees; an applied import is one batch
// of the history, listed as an import and undone whole.
#include "DataPacket.h"
#include "ExchangeJobs.h"
#include "ExchangeTestData.h"
#include "PostgresCluster.h"
#include "TSocketConnection.h"
#include "TrdServerProcess.h"
#include "UnitId.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <map>
#include <memory>

using namespace trd;
using namespace trd::exchange;
using namespace trd::test;

namespace {

QByteArray tsvText(const std::string& text)
{
    QByteArray out;
    for (char c : text) {
        switch (c) {
        case '\t':
            out += "\\t";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\\':
            out += "\\\\";
            break;
        default:
            out += c;
        }
    }
    return out;
}

QByteArray seed()
{
    QByteArray tsv = "L\tENG\tInglês\tENG\nL\tFRA\tFrancês\tFRA\n";
    for (const Row& r : exchange::test::trickyRows())
        tsv += "R\tENG\t" + tsvText(r.program) + "\t" + tsvText(r.component) + "\t" + tsvText(r.source) + "\t"
            + tsvText(r.destination) + "\t" + QByteArray(1, r.status) + "\t2025-01-01 10:00:00\n";
    tsv += "R\tFRA\tTRD09300\tsbtSalvar\t&Salvar\t&Enregistrer\tT\n";
    return tsv;
}

struct Result {
    int code = -1;
    QString out, err;
};

enum class Backend { Sqlite, Postgres };

class ExchangeServer : public ::testing::TestWithParam<Backend> {
protected:
    void SetUp() override
    {
        TrdServerProcess::Options options;
        options.seedTsv = seed();
        if (GetParam() == Backend::Postgres) {
            if (!postgresCluster().ready())
                GTEST_SKIP() << "no PostgreSQL server binaries (initdb, pg_ctl) to run a test cluster";
            options.pg = QString::fromStdString(postgresCluster().freshDatabase());
        }
        server = std::make_unique<TrdServerProcess>(options);
        ASSERT_TRUE(server->isRunning()) << server->errorString().toStdString();
        address.host = server->host();
        address.port = server->port();
    }

    Result exchange(const QStringList& args)
    {
        QProcess p;
        p.start(QDir(qEnvironmentVariable("TRD_BIN_DIR")).filePath(QStringLiteral("trd-exchange")),
                QStringList{args.constFirst(), QStringLiteral("--server"), server->hostPort(), QStringLiteral("-q")}
                    + args.mid(1));
        Result r;
        if (!p.waitForFinished(120000)) {
            ADD_FAILURE() << "trd-exchange did not finish";
            p.kill();
            p.waitForFinished();
            return r;
        }
        r.code = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
        r.out = QString::fromUtf8(p.readAllStandardOutput());
        r.err = QString::fromUtf8(p.readAllStandardError());
        return r;
    }

    // The language's rows as the server holds them, change dates included.
    std::vector<Row> rows(const QString& language = QStringLiteral("ENG"))
    {
        JobControl control;
        return ServerLink(address, control).rowsWithDates(language);
    }
    const Row& row(const std::vector<Row>& all, const std::string& component)
    {
        for (const Row& r : all)
            if (r.component == component)
                return r;
        ADD_FAILURE() << component << " not found";
        return all.front();
    }
    // Another user saves a row meanwhile.
    void saveBehind(const std::string& component, const std::string& destination, char status)
    {
        const std::vector<Row> all = rows();
        const Row& r = row(all, component);
        Document doc;
        Unit u;
        u.id = unitId(r.program, r.component, r.source);
        u.source = r.source;
        u.target = destination;
        u.status = status;
        doc.units.push_back(u);
        const Plan plan = planImport(doc, all, 1e9);
        JobControl control;
        ServerLink(address, control).apply(buildDelta(plan, all, QStringLiteral("ENG"), {}));
    }
    QByteArray read(const QString& path)
    {
        QFile f(path);
        EXPECT_TRUE(f.open(QIODevice::ReadOnly));
        return f.readAll();
    }
    void write(const QString& path, const QByteArray& bytes)
    {
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
    }
    int saves() const { return static_cast<int>(server->log().count(" SetDestino ")); }
    // A call on a connection of its own, as the editor's history windows make it.
    QByteArray call(const QString& method, std::initializer_list<TRemoteArg> args)
    {
        TSocketConnection net;
        net.Host = address.host;
        net.Port = address.port;
        net.ServerName = QStringLiteral("Trd09300.rdmTraducao");
        net.ThrowException = true;
        net.Open();
        return net.AppServer().Call(method, args).Packet;
    }

    std::unique_ptr<TrdServerProcess> server;
    ServerAddress address;
    QTemporaryDir dir;
};

void expectSameRows(const std::vector<Row>& a, const std::vector<Row>& b)
{
    ASSERT_EQ(a.size(), b.size());
    for (std::size_t i = 0; i < a.size(); ++i) {
        EXPECT_EQ(a[i].component, b[i].component);
        EXPECT_EQ(a[i].destination, b[i].destination) << a[i].component;
        EXPECT_EQ(a[i].status, b[i].status) << a[i].component;
        EXPECT_EQ(a[i].changed, b[i].changed) << a[i].component << ": written";
    }
}

TEST_P(ExchangeServer, ExportThenImportWithoutAnEditChangesNothingInAnyFormat)
{
    const std::vector<Row> before = rows();
    for (const char* format : {"xliff12", "xliff21", "po"}) {
        SCOPED_TRACE(format);
        const QString path = dir.filePath(QStringLiteral("eng.") + QLatin1String(format));
        const Result out = exchange({QStringLiteral("export"), QStringLiteral("--format"), QLatin1String(format),
                                     QStringLiteral("-o"), path, QStringLiteral("eng")});
        ASSERT_EQ(out.code, 0) << out.err.toStdString();
        EXPECT_TRUE(out.out.contains(QStringLiteral("%1 linhas de ENG").arg(before.size()))) << out.out.toStdString();

        // The same rows give the same file; only the export time moves.
        const QString again = path + QStringLiteral(".2");
        ASSERT_EQ(exchange({QStringLiteral("export"), QStringLiteral("--format"), QLatin1String(format),
                            QStringLiteral("-o"), again, QStringLiteral("ENG")})
                      .code,
                  0);
        static const QRegularExpression time(
            QStringLiteral("\\d{4}-\\d\\d-\\d\\d[T ]\\d\\d:\\d\\d(:\\d\\d\\.\\d{3})?[+-]\\d\\d:?\\d\\d"));
        EXPECT_EQ(QString::fromUtf8(read(path)).replace(time, QStringLiteral("T")),
                  QString::fromUtf8(read(again)).replace(time, QStringLiteral("T")));

        const Result in = exchange({QStringLiteral("import"), QStringLiteral("--apply"), path});
        ASSERT_EQ(in.code, 0) << in.err.toStdString() << in.out.toStdString();
        EXPECT_TRUE(in.out.contains(QStringLiteral("0 linha(s) gravadas"))) << in.out.toStdString();
        EXPECT_TRUE(in.out.contains(QRegularExpression(QStringLiteral("sem mudança: +%1").arg(before.size()))))
            << in.out.toStdString();
    }
    EXPECT_EQ(saves(), 0);
    expectSameRows(before, rows());
}

TEST_P(ExchangeServer, AnEditedFileIsAppliedAsOneSaveAndRefusedUnitsOnlyWhenTheUserAgrees)
{
    const QString path = dir.filePath(QStringLiteral("eng.xlf"));
    ASSERT_EQ(exchange({QStringLiteral("export"), QStringLiteral("-o"), path, QStringLiteral("ENG")}).code, 0);
    QByteArray xlf = read(path);
    // A translator's edits: a new translation, a changed one with a line
    // break and quotes, and a text outside Windows-1252.
    xlf.replace("<source>a\tb</source>\n     <target state=\"new\"></target>",
                "<source>a\tb</source>\n     <target state=\"translated\">a\tb &amp; \"c\"\n'd' €</target>");
    xlf.replace("<target state=\"needs-review-translation\">Confirm?</target>",
                "<target state=\"translated\">Confirm it?</target>");
    xlf.replace("<target state=\"translated\">Slash / and \\</target>", "<target state=\"translated\">Łódź</target>");
    write(path, xlf);
    const std::vector<Row> before = rows();

    const Result refused = exchange({QStringLiteral("import"), QStringLiteral("--apply"), path});
    EXPECT_EQ(refused.code, 4) << refused.out.toStdString() << refused.err.toStdString();
    EXPECT_TRUE(refused.out.contains(QStringLiteral("U+0141"))) << refused.out.toStdString();
    EXPECT_EQ(saves(), 0);
    expectSameRows(before, rows());

    const Result applied =
        exchange({QStringLiteral("import"), QStringLiteral("--apply"), QStringLiteral("--accept-refused"), path});
    ASSERT_EQ(applied.code, 0) << applied.out.toStdString() << applied.err.toStdString();
    EXPECT_TRUE(applied.out.contains(QStringLiteral("2 linha(s) gravadas"))) << applied.out.toStdString();
    EXPECT_EQ(saves(), 1); // one change log, one transaction
    const std::vector<Row> after = rows();
    EXPECT_EQ(row(after, "lblTab").destination, "a\tb & \"c\"\n'd' €");
    EXPECT_EQ(row(after, "lblTab").status, 'T');
    EXPECT_EQ(row(after, "lblDuvida").destination, "Confirm it?");
    EXPECT_EQ(row(after, "lblDuvida").status, 'T');
    EXPECT_EQ(row(after, "comp/onente\\").destination, "Slash / and \\");
    EXPECT_EQ(rows(QStringLiteral("FRA")).front().destination, "&Enregistrer"); // another language untouched
}

TEST_P(ExchangeServer, ARowChangedOnTheServerAfterTheExportIsOverwrittenOnlyWhenAsked)
{
    const QString path = dir.filePath(QStringLiteral("eng.po"));
    ASSERT_EQ(exchange({QStringLiteral("export"), QStringLiteral("--format"), QStringLiteral("po"),
                        QStringLiteral("-o"), path, QStringLiteral("ENG")})
                  .code,
              0);
    saveBehind("sbtSalvar", "&Store", 'T'); // a colleague's work after the export
    saveBehind("lblIgualN", "Same text", 'T'); // changed after the export, not by the file
    QByteArray po = read(path);
    po.replace("msgstr \"&Save\"", "msgstr \"&Keep\"");
    po.replace("msgstr \"Confirm?\"", "msgstr \"Confirm this?\"");
    write(path, po);

    const Result first = exchange({QStringLiteral("import"), QStringLiteral("--apply"), path});
    ASSERT_EQ(first.code, 0) << first.out.toStdString() << first.err.toStdString();
    // Both rows changed after the export are conflicts, also the one the file
    // marks untranslated: it would put the colleague's row back to N.
    EXPECT_TRUE(first.out.contains(QRegularExpression(QStringLiteral("conflitos: +2")))) << first.out.toStdString();
    EXPECT_TRUE(first.out.contains(QStringLiteral("depois da exportação"))) << first.out.toStdString();
    std::vector<Row> now = rows();
    EXPECT_EQ(row(now, "sbtSalvar").destination, "&Store"); // kept
    EXPECT_EQ(row(now, "lblDuvida").destination, "Confirm this?"); // written
    EXPECT_EQ(row(now, "lblIgualN").status, 'T'); // kept

    const Result forced =
        exchange({QStringLiteral("import"), QStringLiteral("--apply"), QStringLiteral("--overwrite-conflicts"), path});
    ASSERT_EQ(forced.code, 0) << forced.out.toStdString() << forced.err.toStdString();
    now = rows();
    EXPECT_EQ(row(now, "sbtSalvar").destination, "&Keep");
    EXPECT_EQ(row(now, "lblIgualN").status, 'N'); // the file's status, its text left as it was
    EXPECT_EQ(row(now, "lblIgualN").destination, "Same text");
}

TEST_P(ExchangeServer, AMalformedFileOrAnotherLanguagesFileWritesNothing)
{
    const QString path = dir.filePath(QStringLiteral("eng.xlf"));
    ASSERT_EQ(exchange({QStringLiteral("export"), QStringLiteral("-o"), path, QStringLiteral("ENG")}).code, 0);
    const QByteArray whole = read(path);
    write(path, whole.left(whole.size() / 2).replace("Confirm?", "Changed!"));
    const std::vector<Row> before = rows();
    const Result cut =
        exchange({QStringLiteral("import"), QStringLiteral("--apply"), QStringLiteral("--accept-refused"), path});
    EXPECT_EQ(cut.code, 1);
    EXPECT_TRUE(cut.err.contains(QStringLiteral("Arquivo recusado, linha"))) << cut.err.toStdString();

    write(path, whole);
    const Result other = exchange({QStringLiteral("import"), QStringLiteral("--apply"), QStringLiteral("--language"),
                                   QStringLiteral("FRA"), path});
    EXPECT_EQ(other.code, 1);
    EXPECT_TRUE(other.err.contains(QStringLiteral("é do idioma ENG, não de FRA"))) << other.err.toStdString();
    EXPECT_EQ(saves(), 0);
    expectSameRows(before, rows());
}

// What each row of a packet answer holds, by field name.
std::vector<std::map<std::string, std::string>> packetRows(const QByteArray& packet)
{
    PacketReader reader(packet);
    std::vector<std::map<std::string, std::string>> out;
    while (reader.next()) {
        std::map<std::string, std::string> row;
        for (std::size_t f = 0; f < reader.fields().size(); ++f) {
            const PacketField& field = reader.fields()[f];
            const int i = static_cast<int>(f);
            row[field.name.toStdString()] = field.type == TFieldType::ftFloat
                ? std::to_string(static_cast<long long>(reader.real(i)))
                : std::string(reader.raw(i));
        }
        out.push_back(std::move(row));
    }
    return out;
}

TEST_P(ExchangeServer, AnAppliedImportIsOneImportBatchThatUndoingPutsEveryRowBackByteForByte)
{
    const std::vector<Row> before = rows();
    // A translator's file that changes every row but one, with texts of line
    // breaks of both kinds, quotes, '&' and markup around what each row held
    // (the whole Windows-1252 repertoire among them), and every status moved.
    std::vector<Row> edited = before;
    std::size_t changed = 0;
    for (Row& r : edited) {
        if (r.component == "lblIgualN")
            continue; // left as it is: no version, not in the batch
        r.destination = "«" + r.destination + "»\r\n& \"ok\" <i>\n";
        r.status = r.status == 'T' ? 'D' : 'T';
        ++changed;
    }
    sortForExport(edited);
    JobControl control;
    ExportHeader header;
    header.language = "ENG";
    header.clock = ServerLink(address, control).clock();
    const QString path = dir.filePath(QStringLiteral("eng.xlf"));
    writeExchangeFile(Format::Xliff12, header, edited, path);

    const Result applied = exchange({QStringLiteral("import"), QStringLiteral("--apply"), path});
    ASSERT_EQ(applied.code, 0) << applied.out.toStdString() << applied.err.toStdString();
    const QRegularExpressionMatch done =
        QRegularExpression(QStringLiteral("(\\d+) linha\\(s\\) gravadas em ENG, lote (\\d+) do histórico"))
            .match(applied.out);
    ASSERT_TRUE(done.hasMatch()) << applied.out.toStdString();
    EXPECT_EQ(done.captured(1).toULongLong(), changed);
    const std::string batch = done.captured(2).toStdString();
    EXPECT_EQ(saves(), 1);
    const std::vector<Row> imported = rows();
    for (std::size_t i = 0; i < before.size(); ++i) {
        if (before[i].component != "lblIgualN") {
            EXPECT_NE(imported[i].destination, before[i].destination) << before[i].component << ": not imported";
        }
    }

    // The batches window's list: the newest batch is the import, of the
    // rows it changed, by the server's user.
    auto batches = packetRows(call(QStringLiteral("GetLotes"), {QStringLiteral("ENG"), TDateTime(0), TDateTime(0)}));
    ASSERT_FALSE(batches.empty());
    EXPECT_EQ(batches.front().at("IDLOTE"), batch);
    EXPECT_EQ(batches.front().at("TPLOTE"), "importacao");
    EXPECT_EQ(batches.front().at("NRLINHAS"), std::to_string(changed));
    EXPECT_EQ(batches.front().at("NMUSUARIO"), "local");
    EXPECT_EQ(batches.front().at("IDDESFEITOPOR"), "0");

    // Undone whole: every row the import changed says so, and every row of
    // the language is back to its text and status byte for byte.
    const auto undone =
        packetRows(call(QStringLiteral("DesfazLote"),
                        {QStringLiteral("ENG"), static_cast<qint64>(std::stoll(batch)), QStringLiteral("N")}));
    ASSERT_EQ(undone.size(), changed);
    for (const auto& r : undone)
        EXPECT_EQ(r.at("DESFEITA"), "S") << r.at("NMCOMPONENTE") << ": " << r.at("DSMOTIVO");
    const std::vector<Row> after = rows();
    ASSERT_EQ(after.size(), before.size());
    for (std::size_t i = 0; i < before.size(); ++i) {
        EXPECT_EQ(after[i].destination, before[i].destination) << before[i].component;
        EXPECT_EQ(after[i].status, before[i].status) << before[i].component;
    }
    batches = packetRows(call(QStringLiteral("GetLotes"), {QStringLiteral("ENG"), TDateTime(0), TDateTime(0)}));
    ASSERT_GE(batches.size(), 2u);
    EXPECT_EQ(batches.front().at("TPLOTE"), "desfazer");
    EXPECT_EQ(batches.front().at("IDLOTEDESFEITO"), batch);
    EXPECT_EQ(batches.at(1).at("IDDESFEITOPOR"), batches.front().at("IDLOTE"));
    EXPECT_EQ(rows(QStringLiteral("FRA")).front().destination, "&Enregistrer"); // another language untouched
}

TEST_P(ExchangeServer, AReleaseOfTheSameTextsKeepsEveryRowAndATruncatedOneWaitsForConfirm)
{
    // The release file written with the import's escapes from every key of
    // ENG (FRA's one key is among them): tabs, line breaks and backslashes inside texts read back
    // as the same keys, so nothing leaves.
    const std::vector<Row> before = rows();
    QByteArray file = "# versão 2\n";
    for (const Row& r : before)
        file += tsvText(r.program) + "\t" + tsvText(r.component) + "\t" + tsvText(r.source) + "\n";
    const QString path = dir.filePath(QStringLiteral("versao2.tsv"));
    write(path, file);

    Result r = exchange({QStringLiteral("release"), path, QStringLiteral("--preview")});
    EXPECT_EQ(r.code, 0) << r.err.toStdString();
    const QString all = QString::number(before.size());
    EXPECT_TRUE(r.out.contains(QStringLiteral("ENG: %1 vivas; %1 mantidas, 0 reescritas, 0 movidas, 0 novas").arg(all)))
        << r.out.toStdString();
    r = exchange({QStringLiteral("release"), path, QStringLiteral("--apply")});
    EXPECT_EQ(r.code, 0) << r.err.toStdString();
    expectSameRows(before, rows());

    // A file cut after its second text would make most of ENG obsolete.
    const QString cut = dir.filePath(QStringLiteral("cortado.tsv"));
    write(cut, file.left(file.indexOf('\n', file.indexOf('\n', file.indexOf('\n') + 1) + 1) + 1));
    r = exchange({QStringLiteral("release"), cut, QStringLiteral("--preview")});
    EXPECT_EQ(r.code, 5) << r.out.toStdString();
    r = exchange({QStringLiteral("release"), cut, QStringLiteral("--apply")});
    EXPECT_EQ(r.code, 5) << r.out.toStdString();
    EXPECT_TRUE(r.err.contains(QStringLiteral("--confirm"))) << r.err.toStdString();
    expectSameRows(before, rows());
    r = exchange({QStringLiteral("release"), cut, QStringLiteral("--apply"), QStringLiteral("--confirm")});
    EXPECT_EQ(r.code, 0) << r.err.toStdString();
    EXPECT_EQ(rows().size(), 2u);
    EXPECT_TRUE(r.out.contains(QStringLiteral("lote "))) << r.out.toStdString();

    // Neither or both of --preview and --apply, --confirm without --apply, a
    // threshold out of range: the command line is refused.
    for (const QStringList& bad :
         {QStringList{QStringLiteral("release"), path},
          QStringList{QStringLiteral("release"), path, QStringLiteral("--preview"), QStringLiteral("--apply")},
          QStringList{QStringLiteral("release"), path, QStringLiteral("--preview"), QStringLiteral("--confirm")},
          QStringList{QStringLiteral("release"), path, QStringLiteral("--preview"), QStringLiteral("--threshold"),
                      QStringLiteral("40")}})
        EXPECT_EQ(exchange(bad).code, 2) << bad.join(u' ').toStdString();
}

INSTANTIATE_TEST_SUITE_P(Backends, ExchangeServer, ::testing::Values(Backend::Sqlite, Backend::Postgres),
                         [](const auto& info) { return info.param == Backend::Sqlite ? "Sqlite" : "Postgres"; });

} // namespace
