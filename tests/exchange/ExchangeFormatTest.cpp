// The three formats without a server: what an export writes comes back
// exactly, the same rows give the same bytes, files an outside tool rewrote
// still read, outside tools accept what we write, and every hostile or
// malformed file is refused whole with its line and reason.
#include "ExchangeJobs.h"
#include "ExchangeTestData.h"
#include "ExportTime.h"
#include "PoFile.h"
#include "UnitId.h"
#include "XliffReader.h"
#include "XliffWriter.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>

using namespace trd::exchange;
using namespace trd::exchange::test;

namespace {

const ServerClock Clock{46000.5 + 0.123 / 86400, -180}; // 2025-12-09 12:00:00.123-03:00

ExportHeader header()
{
    return {"ENG", Clock};
}

class ExchangeFormat : public ::testing::TestWithParam<Format> {
protected:
    QString write(const std::vector<Row>& rows, const QString& name = QStringLiteral("out"))
    {
        const QString path = dir.filePath(name + u'.' + QLatin1String(formatExtension(GetParam())));
        writeExchangeFile(GetParam(), header(), rows, path);
        return path;
    }
    static QByteArray bytes(const QString& path)
    {
        QFile f(path);
        EXPECT_TRUE(f.open(QIODevice::ReadOnly));
        return f.readAll();
    }
    QTemporaryDir dir;
};

// What reading a unit back must give for a row: PO says "untranslated" by an
// empty msgstr and gives no text then; the other formats carry every text.
void expectUnitOf(const Row& row, const Unit& unit, Format format)
{
    SCOPED_TRACE(row.program + "/" + row.component);
    EXPECT_EQ(unit.id, unitId(row.program, row.component, row.source));
    ASSERT_TRUE(unit.program && unit.component);
    EXPECT_EQ(*unit.program, row.program);
    EXPECT_EQ(*unit.component, row.component);
    EXPECT_EQ(unit.source, row.source);
    EXPECT_EQ(unit.status, row.status);
    EXPECT_TRUE(unit.problem.empty()) << unit.problem;
    if (format == Format::Po && row.status == 'N')
        EXPECT_FALSE(unit.target.has_value());
    else
        EXPECT_EQ(unit.target.value_or("<absent>"), row.destination);
}

TEST_P(ExchangeFormat, EveryRowComesBackExactlyAndTheSameRowsGiveTheSameBytes)
{
    std::vector<Row> rows = trickyRows();
    sortForExport(rows);
    const QString first = write(rows, QStringLiteral("a"));
    std::vector<Row> shuffled(rows.rbegin(), rows.rend());
    sortForExport(shuffled);
    const QString second = write(shuffled, QStringLiteral("b"));
    EXPECT_EQ(bytes(first), bytes(second));

    const Document doc = readExchangeFile(first);
    EXPECT_EQ(doc.format, GetParam());
    EXPECT_EQ(doc.language, "ENG");
    EXPECT_EQ(doc.exportTime, "2025-12-09T12:00:00.123-03:00");
    ASSERT_EQ(doc.units.size(), rows.size());
    for (std::size_t i = 0; i < rows.size(); ++i)
        expectUnitOf(rows[i], doc.units[i], GetParam());

    // The plan of the same rows changes nothing.
    const auto utc = parseExportTime(doc.exportTime);
    ASSERT_TRUE(utc);
    const Plan plan = planImport(doc, rows, toServerDays(*utc, Clock.offsetMinutes));
    EXPECT_EQ(plan.count(Outcome::Unchanged), static_cast<int>(rows.size()));
}

INSTANTIATE_TEST_SUITE_P(Formats, ExchangeFormat, ::testing::Values(Format::Xliff12, Format::Xliff21, Format::Po),
                         [](const auto& info) {
                             return std::string(info.param == Format::Xliff12       ? "Xliff12"
                                                    : info.param == Format::Xliff21 ? "Xliff21"
                                                                                    : "Po");
                         });

TEST(ExportTime, WrittenAndReadBackOnTheServersClock)
{
    const std::string text = formatExportTime(Clock);
    EXPECT_EQ(text, "2025-12-09T12:00:00.123-03:00");
    const auto utc = parseExportTime(text);
    ASSERT_TRUE(utc);
    EXPECT_NEAR(toServerDays(*utc, -180), Clock.localDays, 1e-9);
    // The same moment rewritten in UTC by a tool, and without milliseconds.
    EXPECT_EQ(parseExportTime("2025-12-09T15:00:00.123Z"), utc);
    EXPECT_EQ(*parseExportTime("2025-12-09 15:00:00+0000"), *utc - 123);
    for (const char* bad : {"", "2025-12-09", "2025-12-09T12:00:00", "2025-13-09T12:00:00Z", "ontem"})
        EXPECT_FALSE(parseExportTime(bad)) << bad;
}

TEST(ExportTime, TheCalendarAcrossLeapDaysMonthEndsAndCenturies)
{
    struct Case {
        double localDays; // noon on the server's clock
        const char* written;
    };
    const Case cases[] = {
        {60.5, "1900-02-28T12:00:00.000+00:00"}, // 1900 has no 29 February...
        {61.5, "1900-03-01T12:00:00.000+00:00"},    {36585.5, "2000-02-29T12:00:00.000+00:00"}, // ...2000 has one...
        {73109.5, "2100-02-28T12:00:00.000+00:00"}, // ...and 2100 has none again
        {73110.5, "2100-03-01T12:00:00.000+00:00"}, {45657.5, "2024-12-31T12:00:00.000+00:00"},
        {45658.5, "2025-01-01T12:00:00.000+00:00"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(formatExportTime({c.localDays, 0}), c.written);
        const auto utc = parseExportTime(c.written);
        ASSERT_TRUE(utc) << c.written;
        EXPECT_NEAR(toServerDays(*utc, 0), c.localDays, 1e-9) << c.written;
    }
    // A day past its month's end, as a tool may write it, counts on into the
    // next month rather than being refused.
    EXPECT_EQ(parseExportTime("2100-02-29T12:00:00Z"), parseExportTime("2100-03-01T12:00:00Z"));
    EXPECT_EQ(parseExportTime("2024-04-31T00:00:00Z"), parseExportTime("2024-05-01T00:00:00Z"));
}

TEST(UnitIds, StableAndTellingTheKeysApart)
{
    EXPECT_EQ(unitId("P", "C", "S"), unitId("P", "C", "S"));
    EXPECT_NE(unitId("P", "C", "S"), unitId("P", "CS", ""));
    EXPECT_NE(unitId("PC", "", "S"), unitId("P", "C", "S"));
    EXPECT_EQ(unitId("P", "C", "S").size(), 21u);
    std::string program, component;
    ASSERT_TRUE(splitPoContext(poContext("a/b\\", "/c"), program, component));
    EXPECT_EQ(program, "a/b\\");
    EXPECT_EQ(component, "/c");
    EXPECT_FALSE(splitPoContext("semBarra", program, component));
    EXPECT_FALSE(splitPoContext("a/b/c", program, component));
}

} // namespace

// A large PO file is written in two halves on two threads: the joined file
// must be the very bytes one writer gives, whatever row falls at the cut, and
// gettext must read it back whole.
TEST(PoFile, TwoHalvesWriteTheBytesOfOneWriter)
{
    QTemporaryDir dir;
    const std::vector<Row> tricky = trickyRows();
    for (const std::size_t count : {std::size_t(2), std::size_t(27), std::size_t(5001)}) {
        SCOPED_TRACE(count);
        std::vector<Row> rows;
        for (std::size_t i = 0; rows.size() < count; ++i) {
            Row r = tricky[i % tricky.size()];
            r.program += std::to_string(i / tricky.size());
            if (i % 5 == 0) // long enough for gettext to wrap it
                r.destination += std::string(120, 'x') + " fim da linha " + std::to_string(i);
            rows.push_back(std::move(r));
        }
        sortForExport(rows);
        const std::string one = QFile::encodeName(dir.filePath(QStringLiteral("one.po"))).toStdString();
        const std::string two = QFile::encodeName(dir.filePath(QStringLiteral("two.po"))).toStdString();
        writePo(header(), rows, one, 1);
        writePo(header(), rows, two, 2);
        QFile a(QString::fromStdString(one)), b(QString::fromStdString(two));
        ASSERT_TRUE(a.open(QIODevice::ReadOnly) && b.open(QIODevice::ReadOnly));
        const QByteArray bytes = a.readAll();
        ASSERT_EQ(bytes, b.readAll());

        const Document doc = readPo(two, std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size())));
        ASSERT_EQ(doc.units.size(), rows.size());
        for (std::size_t i = 0; i < rows.size(); ++i)
            expectUnitOf(rows[i], doc.units[i], Format::Po);
    }
}

// Two rows with one key, one in each half, still make the file fail.
TEST(PoFile, TwoHalvesStillRefuseARepeatedKey)
{
    QTemporaryDir dir;
    std::vector<Row> rows(6000, Row{"P", "c", "s", "t", 'T', 0});
    for (std::size_t i = 0; i < rows.size(); ++i)
        rows[i].component = "c" + std::to_string(i);
    rows.back().component = rows.front().component; // one in each half
    const std::string path = QFile::encodeName(dir.filePath(QStringLiteral("x.po"))).toStdString();
    EXPECT_THROW(writePo(header(), rows, path, 2), FileError);
}

// A target that cannot be opened fails the export with the system's reason,
// on one writer as on two halves (where the join opens the file itself).
TEST(PoFile, AnUnwritableTargetFailsWithTheSystemsReason)
{
    QTemporaryDir dir;
    std::vector<Row> rows(6000, Row{"P", "c", "s", "t", 'T', 0});
    for (std::size_t i = 0; i < rows.size(); ++i)
        rows[i].component = "c" + std::to_string(i);
    const std::string path = QFile::encodeName(dir.filePath(QStringLiteral("missing/x.po"))).toStdString();
    for (int pieces : {1, 2}) {
        try {
            writePo(header(), rows, path, pieces);
            ADD_FAILURE() << pieces << " piece(s): written into a missing folder";
        } catch (const FileError& e) {
            EXPECT_TRUE(e.reason().startsWith(QStringLiteral("não foi possível gravar o arquivo PO: ")))
                << pieces << ": " << e.reason().toStdString();
            if (pieces == 2)
                EXPECT_TRUE(e.reason().endsWith(QString::fromLocal8Bit(std::strerror(ENOENT)))) << e.reason().toStdString();
            else
                EXPECT_GT(e.reason().size(), QStringLiteral("não foi possível gravar o arquivo PO: ").size());
        }
    }
}
