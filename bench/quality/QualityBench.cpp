// Times the checks the way the editor and trd-check use them, each figure
// beside a floor measured in the same run:
//   1. every check (the shortcut conflicts of each screen included) over a
//      large made-up language, one row in twenty with a fault seeded, beside
//      a bare scan reading every character of the same rows: a program at a
//      time as trd-check and the report go, and with one index of all rows
//      as the editor holds them;
//   2. every check of one row of 4,000 characters each side (the longest a
//      row holds), beside a bare scan of that row;
//   3. the spelling of 200-character rows against Debian's en_US dictionary,
//      every word looked up for the first time, and the suggestions for one
//      misspelt word (the right-click).
// Usage: bench_quality [rows]   (default 1,000,000)
#include "AmostraLinhas.h"
#include "ProgramChecks.h"
#include "RowChecks.h"
#include "ShortcutConflicts.h"
#include "SpellChecker.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <functional>
#include <vector>

using namespace trd;
using namespace trd::quality;
using trd::test::LinhaAmostra;

namespace {

double percentile(std::vector<double> v, double p)
{
    std::sort(v.begin(), v.end());
    return v[std::min(v.size() - 1, std::size_t(double(v.size()) * p))];
}

// Median of `runs` timings of `work`, in milliseconds.
double timeIt(int runs, const std::function<void()>& work)
{
    std::vector<double> times;
    for (int i = 0; i < runs; ++i) {
        QElapsedTimer t;
        t.start();
        work();
        times.push_back(double(t.nsecsElapsed()) / 1e6);
    }
    return percentile(times, 0.5);
}

double loadAverage()
{
    double load[1] = {-1};
    return getloadavg(load, 1) == 1 ? load[0] : -1;
}

long residentMb()
{
    QFile f(QStringLiteral("/proc/self/status"));
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : f.readAll().split('\n'))
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').first().toLong() / 1024;
    return -1;
}

// The processor time this thread has used, in milliseconds: a row's own
// cost, which a busy machine's preemption (a 4 ms time slice) does not add to.
double cpuMs()
{
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) * 1e3 + double(t.tv_nsec) / 1e6;
}

// Something the compiler cannot throw away.
volatile std::size_t sink;

std::size_t bareScan(const QList<LinhaAmostra>& rows)
{
    std::size_t sum = 0;
    for (const LinhaAmostra& r : rows) {
        for (QChar c : r.origem)
            sum += c.unicode();
        for (QChar c : r.destino)
            sum += c.unicode();
        sum += r.situacao.size() + r.programa.size();
    }
    return sum;
}

// As trd-check and the report go: the rows in the server's order, one
// program (screen) at a time.
std::size_t everyCheck(const QList<LinhaAmostra>& rows)
{
    std::size_t found = 0;
    const RowOptions options;
    QList<RowTexts> program;
    auto count = [&found](qsizetype, const Finding&) { ++found; };
    for (qsizetype i = 0; i < rows.size();) {
        program.clear();
        const QString& name = rows[i].programa;
        for (; i < rows.size() && rows[i].programa == name; ++i)
            program.append({rows[i].componente, rows[i].origem, rows[i].destino, rows[i].situacao});
        checkProgram(program, options, count);
    }
    return found;
}

// The editor's way: one index of the shortcut letters of every loaded row.
std::size_t everyCheckOneIndex(const QList<LinhaAmostra>& rows)
{
    ShortcutIndex shortcuts;
    for (qsizetype i = 0; i < rows.size(); ++i)
        shortcuts.set(int(i), rows[i].programa, rows[i].componente, rows[i].origem, rows[i].destino);
    std::size_t found = 0;
    Findings findings;
    const RowOptions options;
    for (qsizetype i = 0; i < rows.size(); ++i) {
        const LinhaAmostra& r = rows[i];
        findings.clear();
        checkRow(r.origem, r.destino, r.situacao, options, findings);
        if (auto conflict = shortcuts.conflictOf(int(i), r.programa, r.origem, r.destino))
            findings.append(*conflict);
        found += std::size_t(findings.size());
    }
    return found;
}

// A row as long as a row may be: sentences with placeholders, marks, numbers
// and an address, 4,000 characters each side.
LinhaAmostra longRow()
{
    LinhaAmostra r;
    r.situacao = QStringLiteral("T");
    int n = 0;
    while (r.origem.size() < 3900) {
        r.origem +=
            QStringLiteral("Linha %1 do relatório com %s itens e {0} pedidos em http://exemplo.com/a?b=%1. ").arg(n);
        r.destino +=
            QStringLiteral("Line %1 of the report with %s items and {0} orders at http://exemplo.com/a?b=%1. ").arg(n);
        ++n;
    }
    r.origem = r.origem.left(4000);
    r.destino = r.destino.left(4000);
    return r;
}

// Words of the dictionary itself, in its order, so that each row's words
// are new to the checker; one word in ten misspelt.
QStringList spellingRows(int count)
{
    QFile dic(QStringLiteral("/usr/share/hunspell/en_US.dic"));
    if (!dic.open(QIODevice::ReadOnly))
        return {};
    const QList<QByteArray> lines = dic.readAll().split('\n');
    QStringList rows;
    QString row;
    int word = 0;
    for (qsizetype i = 1; i < lines.size() && rows.size() < count; i += 7) {
        QString w =
            QString::fromUtf8(lines[i].left(lines[i].indexOf('/') < 0 ? lines[i].size() : lines[i].indexOf('/')));
        if (w.size() < 3 || !w.at(0).isLower())
            continue;
        if (++word % 10 == 0)
            w.remove(1, 1);
        if (row.size() + w.size() + 1 > 200) {
            rows << row;
            row.clear();
        }
        row += (row.isEmpty() ? QString() : QStringLiteral(" ")) + w;
    }
    return rows;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const int rowCount = argc > 1 ? std::atoi(argv[1]) : 1000000;
    std::printf("load average at start: %.2f\n", loadAverage());

    QList<LinhaAmostra> rows = test::linhasBoas(rowCount, 7);
    int seeded = 0;
    for (qsizetype i = 0; i < rows.size(); i += 20)
        seeded += test::semeiaDefeito(quality::allChecks()[std::size_t(i / 20) % CheckCount].id, rows, i) ? 1 : 0;
    std::printf("%d rows (%d with a fault seeded), resident memory %ld MB\n", rowCount, seeded, residentMb());

    std::size_t found = 0;
    const double scan = timeIt(3, [&] { sink = bareScan(rows); });
    const double checks = timeIt(3, [&] { found = everyCheck(rows); });
    std::printf("\n1. %d rows\n", rowCount);
    std::printf("   floor: bare scan of every character of the same rows   %9.1f ms\n", scan);
    std::printf("   every check, a program at a time (trd-check, report)   %9.1f ms  (%.2f us a row, %zu findings)\n",
                checks, checks * 1000.0 / rowCount, found);
    std::size_t foundOneIndex = 0;
    const double oneIndex = timeIt(3, [&] { foundOneIndex = everyCheckOneIndex(rows); });
    std::printf("   every check, one index of all rows (the editor's way)  %9.1f ms  (%zu findings)\n", oneIndex,
                foundOneIndex);

    const LinhaAmostra big = longRow();
    Findings findings;
    const int repeats = 2000;
    const double bigScan = timeIt(5,
                                  [&] {
                                      for (int i = 0; i < repeats; ++i)
                                          sink = bareScan({big});
                                  })
        / repeats;
    const double bigChecks = timeIt(5,
                                    [&] {
                                        for (int i = 0; i < repeats; ++i) {
                                            findings.clear();
                                            checkRow(big.origem, big.destino, big.situacao, RowOptions{}, findings);
                                        }
                                    })
        / repeats;
    std::printf("\n2. one row of %lld + %lld characters\n", qlonglong(big.origem.size()),
                qlonglong(big.destino.size()));
    std::printf("   floor: bare scan of the row                            %9.4f ms\n", bigScan);
    std::printf("   every check of the row                                 %9.4f ms  (%lld findings)\n", bigChecks,
                qlonglong(findings.size()));

    QTemporaryDir words;
    SpellSettings settings = SpellSettings::defaults();
    settings.userWordsFolder = words.path();
    QElapsedTimer opening;
    opening.start();
    const auto speller = SpellChecker::open(settings, QStringLiteral("ENG"));
    const double openMs = double(opening.nsecsElapsed()) / 1e6;
    if (!speller) {
        std::printf("\n3. no en_US dictionary: install hunspell-en-us\n");
        return 0;
    }
    const QStringList texts = spellingRows(500);
    std::vector<double> cold;
    std::vector<double> coldCpu;
    std::vector<double> floor;
    std::size_t wrong = 0;
    for (const QString& text : texts) {
        QElapsedTimer t;
        t.start();
        sink = std::size_t(spellingWords(text).size());
        floor.push_back(double(t.nsecsElapsed()) / 1e6);
        t.restart();
        const double cpu = cpuMs();
        wrong += std::size_t(speller->misspelt(text).size());
        coldCpu.push_back(cpuMs() - cpu);
        cold.push_back(double(t.nsecsElapsed()) / 1e6);
    }
    std::vector<double> warm;
    for (const QString& text : texts) {
        QElapsedTimer t;
        t.start();
        sink = std::size_t(speller->misspelt(text).size());
        warm.push_back(double(t.nsecsElapsed()) / 1e6);
    }
    std::vector<double> suggest;
    for (int i = 0; i < 20; ++i) {
        QElapsedTimer t;
        t.start();
        sink = std::size_t(speller->suggestions(QStringLiteral("recieve")).size());
        suggest.push_back(double(t.nsecsElapsed()) / 1e6);
    }
    std::printf("\n3. spelling, en_US (opening the dictionary: %.0f ms, off the interface thread)\n", openMs);
    std::printf("   %lld rows of up to 200 characters, %zu words misspelt\n", qlonglong(texts.size()), wrong);
    std::printf("   floor: finding the words of a row                      %9.4f ms median, %.4f ms p99\n",
                percentile(floor, 0.5), percentile(floor, 0.99));
    std::printf("   spelling a row, every word new                         %9.4f ms median, %.4f ms p99\n",
                percentile(cold, 0.5), percentile(cold, 0.99));
    std::printf("     the same, processor time of the thread               %9.4f ms median, %.4f ms p99, %.4f ms max\n",
                percentile(coldCpu, 0.5), percentile(coldCpu, 0.99), percentile(coldCpu, 1.0));
    std::printf("   spelling it again (as while typing)                    %9.4f ms median\n", percentile(warm, 0.5));
    std::printf("   suggestions for one misspelt word                      %9.4f ms median\n",
                percentile(suggest, 0.5));
    std::printf("\nload average at end: %.2f\n", loadAverage());
    return 0;
}
