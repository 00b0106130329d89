// The glossary's matching where it must be fast (docs/glossary.md): every
// row of a language checked against 5,000 terms, beside the other checks on
// the same rows (the floor the figure is read against), and the check of one
// row of 4,000 characters as the editor runs it at every key, in processor
// time. The terms are word pairs of the rows' own sources (all of them by
// default, so that most rows hold several terms: more matching than a real
// glossary asks for; a third argument gives the share, the rest are terms
// found nowhere).
#include "AmostraLinhas.h"
#include "GlossaryCheck.h"
#include "ProgramChecks.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QHash>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <functional>
#include <vector>

using namespace trd;
using namespace trd::quality;
using test::LinhaAmostra;

namespace {

double cpuMs()
{
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) * 1e3 + double(t.tv_nsec) / 1e6;
}

// The medians of wall and processor time: on a shared machine the processor
// time compares two passes fairly when the wall time waits for a core.
struct Times {
    double wall = 0;
    double cpu = 0;
};

Times timeIt(int runs, const std::function<void()>& work)
{
    std::vector<double> wall, cpu;
    for (int i = 0; i < runs; ++i) {
        QElapsedTimer t;
        const double c = cpuMs();
        t.start();
        work();
        wall.push_back(double(t.nsecsElapsed()) / 1e6);
        cpu.push_back(cpuMs() - c);
    }
    std::sort(wall.begin(), wall.end());
    std::sort(cpu.begin(), cpu.end());
    return {wall[wall.size() / 2], cpu[cpu.size() / 2]};
}

double loadAverage()
{
    double load[1] = {-1};
    return getloadavg(load, 1) == 1 ? load[0] : -1;
}

// Word pairs of the sources, the most frequent first, each with the pair of
// destination words in the same places as its preferred translation; one in
// ten with a forbidden one, one in fifty never translated.
QList<GlossaryTerm> termsOf(const QList<LinhaAmostra>& rows, int wanted, int foundShare)
{
    QHash<QString, int> count;
    QHash<QString, QString> translation;
    for (const LinhaAmostra& r : rows) {
        const QStringList s = r.origem.split(u' ', Qt::SkipEmptyParts);
        const QStringList d = r.destino.split(u' ', Qt::SkipEmptyParts);
        for (qsizetype i = 0; i + 1 < s.size() && i + 1 < d.size(); ++i) {
            if (!s[i].front().isLetter() || !s[i + 1].front().isLetter())
                continue;
            const QString pair = s[i] + u' ' + s[i + 1];
            if (++count[pair] == 1)
                translation.insert(pair, d[i] + u' ' + d[i + 1]);
        }
    }
    QList<QString> pairs = count.keys();
    std::sort(pairs.begin(), pairs.end(),
              [&](const QString& a, const QString& b) { return count[a] != count[b] ? count[a] > count[b] : a < b; });
    QList<GlossaryTerm> terms;
    const qsizetype fromRows = std::min(pairs.size(), qsizetype(wanted) * foundShare / 100);
    for (int i = 0; terms.size() < wanted; ++i) {
        GlossaryTerm t;
        if (i < fromRows) {
            t.source = pairs[i];
            t.preferred = {translation[pairs[i]]};
        } else {
            t.source = QStringLiteral("Termo%1 raro").arg(i); // found nowhere, as most of a real glossary
            t.preferred = {QStringLiteral("Rare term %1").arg(i)};
        }
        if (i % 10 == 0)
            t.forbidden = {QStringLiteral("Forbidden %1").arg(i)};
        t.doNotTranslate = i % 50 == 0;
        terms << t;
    }
    return terms;
}

std::size_t byProgram(const QList<LinhaAmostra>& rows, const RowOptions& options)
{
    std::size_t found = 0;
    QList<RowTexts> program;
    auto count = [&found](qsizetype, const Finding&) { ++found; };
    for (qsizetype i = 0; i < rows.size();) {
        program.clear();
        const QString& name = rows[i].programa;
        for (; i < rows.size() && rows[i].programa == name; ++i)
            program.append({rows[i].componente, rows[i].origem, rows[i].destino, rows[i].situacao});
        checkProgram(name, program, options, count);
    }
    return found;
}

// `digest`: of every finding's row, check and message in order, so that two
// builds of the matcher can be shown to find the very same.
std::size_t glossaryOnly(const QList<LinhaAmostra>& rows, TermCheck& glossary, quint64* digest = nullptr)
{
    std::size_t found = 0;
    Findings findings;
    const CheckSet checks = CheckSet::all();
    quint64 h = 1469598103934665603ULL;
    for (qsizetype i = 0; i < rows.size(); ++i) {
        const LinhaAmostra& r = rows[i];
        findings.clear();
        glossary.check(r.programa, r.origem, r.destino, checks, findings);
        found += std::size_t(findings.size());
        if (digest)
            for (const Finding& f : findings) {
                // FNV-1a: qHash is seeded per process.
                for (const quint64 v : {quint64(i), quint64(f.check)})
                    h = (h ^ v) * 1099511628211ULL;
                for (const QChar c : f.message)
                    h = (h ^ c.unicode()) * 1099511628211ULL;
            }
    }
    if (digest)
        *digest = h;
    return found;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const int rowCount = argc > 1 ? std::atoi(argv[1]) : 1000000;
    const int termCount = argc > 2 ? std::atoi(argv[2]) : 5000;
    // The share of the terms taken from the rows' word pairs, in percent; the
    // others are found nowhere.
    const int foundShare = argc > 3 ? std::atoi(argv[3]) : 100;
    std::printf("load average at start: %.2f\n", loadAverage());
    const QList<LinhaAmostra> rows = test::linhasBoas(rowCount, 7);
    const QList<GlossaryTerm> terms = termsOf(rows, termCount, foundShare);

    const SpellSettings dictionaries = SpellSettings::defaults();
    QElapsedTimer opening;
    opening.start();
    auto source = sourceWordForms(dictionaries);
    auto destination = destinationWordForms(dictionaries, QStringLiteral("ENG"));
    const double openMs = double(opening.nsecsElapsed()) / 1e6;
    if (!source->stems() || !destination->stems()) {
        std::fprintf(stderr, "bench_glossary: the pt_BR and en_US dictionaries are needed (tools/install-deps.sh)\n");
        return 1;
    }
    QElapsedTimer building;
    building.start();
    GlossaryCheck glossary(terms, *source, *destination);
    const double buildMs = double(building.nsecsElapsed()) / 1e6;
    std::printf(
        "%d rows, %lld terms (%d%% from the rows' word pairs); dictionaries opened in %.0f ms, terms read into keys in %.0f ms\n",
        rowCount, qlonglong(terms.size()), foundShare, openMs, buildMs);

    std::size_t foundOthers = 0, foundGlossary = 0, foundBoth = 0;
    RowOptions others;
    others.checks = CheckSet::all();
    const Times floor = timeIt(3, [&] { foundOthers = byProgram(rows, others); });
    QElapsedTimer cold;
    cold.start();
    quint64 digest = 0;
    glossaryOnly(rows, glossary, &digest);
    const double coldMs = double(cold.nsecsElapsed()) / 1e6;
    const Times alone = timeIt(3, [&] { foundGlossary = glossaryOnly(rows, glossary); });
    RowOptions withGlossary = others;
    withGlossary.terms = &glossary;
    const Times both = timeIt(3, [&] { foundBoth = byProgram(rows, withGlossary); });
    std::printf("\n1. %d rows, a program at a time (trd-check, report): wall / processor time\n", rowCount);
    std::printf("   floor: the other checks                               %9.1f / %9.1f ms  (%zu findings)\n",
                floor.wall, floor.cpu, foundOthers);
    std::printf("   the glossary's checks alone, first pass (words new)    %9.1f ms\n", coldMs);
    std::printf("   the glossary's checks alone                            %9.1f / %9.1f ms  (%zu findings) = %.2f / "
                "%.2f x the floor\n",
                alone.wall, alone.cpu, foundGlossary, alone.wall / floor.wall, alone.cpu / floor.cpu);
    std::printf("   every check with the glossary                          %9.1f / %9.1f ms  (%zu findings)\n",
                both.wall, both.cpu, foundBoth);
    std::printf("   digest of the glossary's findings                      %016llx\n", qulonglong(digest));

    // One row of 4,000 characters each side, of the rows' own sentences.
    LinhaAmostra big;
    for (qsizetype i = 0; big.origem.size() < 3900 && i < rows.size(); ++i) {
        big.origem += rows[i].origem + u' ';
        big.destino += rows[i].destino + u' ';
    }
    big.origem.truncate(4000);
    big.destino.truncate(4000);
    Findings findings;
    const CheckSet checks = CheckSet::all();
    std::vector<double> cpu;
    for (int i = 0; i < 200; ++i) {
        // As typing changes it: one more character each time.
        const QString typed = big.destino.left(big.destino.size() - 200 + i);
        findings.clear();
        const double start = cpuMs();
        glossary.check(u"P1", big.origem, typed, checks, findings);
        cpu.push_back(cpuMs() - start);
    }
    std::sort(cpu.begin(), cpu.end());
    double floorRow = cpuMs();
    for (int i = 0; i < 200; ++i) {
        findings.clear();
        checkRow(big.origem, big.destino, big.situacao, RowOptions{}, findings);
    }
    floorRow = (cpuMs() - floorRow) / 200;
    std::printf("\n2. one row of %lld + %lld characters, as typed\n", qlonglong(big.origem.size()),
                qlonglong(big.destino.size()));
    std::printf("   floor: the other checks of the row                     %9.4f ms processor time\n", floorRow);
    std::printf("   the glossary's checks of the row                       %9.4f ms median, %.4f ms the slowest "
                "(processor time; limit 1 ms)\n",
                cpu[cpu.size() / 2], cpu.back());
    std::printf("load average at end: %.2f\n", loadAverage());
    return 0;
}
