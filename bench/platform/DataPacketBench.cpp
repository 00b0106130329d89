// Times the translation answer end to end on the data-access side: writing the
// packet, parsing it, loading it into a client data set, writing it back from
// the data set, and the heap the loaded rows take beyond their text.
//
//   bench_data_packet [rows] [repetitions] [file to save the packet in]
#include "TClientDataSet.h"
#include "TranslationPacket.h"

#include <QFile>

#include <malloc.h>
#include <time.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <memory>
#include <vector>

using namespace trd;
using namespace trd::bench;

namespace {

struct Timing {
    double best = 0, median = 0, cpuBest = 0;
};

double cpuMs()
{
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return ts.tv_sec * 1e3 + ts.tv_nsec / 1e6;
}

// Wall-clock and thread CPU time: the CPU time stays meaningful when other
// work shares the machine's two cores.
Timing measure(int repetitions, const std::function<void()>& action)
{
    std::vector<double> ms, cpu;
    for (int i = 0; i < repetitions; ++i) {
        const double cpuStart = cpuMs();
        const auto start = std::chrono::steady_clock::now();
        action();
        ms.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
        cpu.push_back(cpuMs() - cpuStart);
    }
    std::sort(ms.begin(), ms.end());
    std::sort(cpu.begin(), cpu.end());
    return {ms.front(), ms[ms.size() / 2], cpu.front()};
}

void report(const char* what, Timing t, double goal)
{
    std::printf("%-42s wall best %6.1f median %6.1f ms, cpu best %6.1f ms", what, t.best, t.median, t.cpuBest);
    if (goal > 0)
        std::printf("  (goal %.0f ms)", goal);
    std::printf("\n");
}

std::size_t heapInUse()
{
    malloc_trim(0);
    // Large blocks (the row set's text blocks among them) are mapped apart from the heap.
    const struct mallinfo2 info = mallinfo2();
    return info.uordblks + info.hblkhd;
}

} // namespace

int main(int argc, char** argv)
{
    const int rowCount = argc > 1 ? std::atoi(argv[1]) : 200000;
    const int repetitions = argc > 2 ? std::atoi(argv[2]) : 7;

    const std::vector<TranslationRow> rows = makeTranslationRows(rowCount);
    std::size_t textChars = 0;
    for (const TranslationRow& r : rows)
        textChars += static_cast<std::size_t>(r.source.size() + r.destination.size() + r.status.size()
                                              + r.language.size() + r.component.size() + r.program.size());

    QByteArray packet;
    const Timing write = measure(repetitions, [&] { packet = writeTranslationPacket(rows); });
    std::printf("%d rows, packet %.1f MB, %.1f characters of text per row\n", rowCount, packet.size() / 1e6,
                double(textChars) / rowCount);
    report("write packet (PacketWriter)", write, 150);
    if (argc > 3) { // keep the packet for other tools
        QFile file(QString::fromLocal8Bit(argv[3]));
        if (file.open(QIODevice::WriteOnly))
            file.write(packet);
    }

    const Timing construct = measure(repetitions, [&] { PacketReader reader(packet); });
    report("parse packet (PacketReader construction)", construct, 0);
    const Timing parse = measure(repetitions, [&] {
        PacketReader reader(packet);
        std::size_t bytes = 0;
        while (reader.next()) {
            for (int f = 0; f < 6; ++f)
                bytes += reader.raw(f).size();
        }
        if (bytes == 0)
            std::printf("no data\n");
    });
    report("parse packet and visit every raw value", parse, 0);

    {
        // A first load: a new data set, the packet still held by the caller (copied once).
        std::vector<std::unique_ptr<TClientDataSet>> sets;
        const Timing fresh = measure(repetitions, [&] {
            sets.push_back(std::make_unique<TClientDataSet>());
            sets.back()->SetData(packet);
        });
        sets.clear();
        report("read and load into a new data set", fresh, 250);
        std::vector<QByteArray> copies(static_cast<std::size_t>(repetitions), packet);
        for (QByteArray& c : copies)
            c.detach();
        std::size_t next = 0;
        const Timing moved = measure(repetitions, [&] {
            sets.push_back(std::make_unique<TClientDataSet>());
            sets.back()->SetData(std::move(copies[next++]));
        });
        sets.clear();
        report("  the same, answer handed over (no copy)", moved, 250);
    }
    {
        TClientDataSet ds;
        ds.SetData(packet);
        const Timing load = measure(repetitions, [&] { ds.SetData(packet); });
        report("reload, replacing the loaded rows", load, 250);
        QByteArray back;
        const Timing data = measure(repetitions, [&] { back = ds.Data(); });
        report("write back from data set (Data)", data, 150);
        if (back != packet)
            std::printf("warning: the data set wrote a different packet\n");
        const Timing sort = measure(3, [&] {
            ds.SetIndexFieldNames(QStringLiteral("STAGRVALPROP"));
            ds.SetIndexFieldNames(QString());
        });
        report("sort by source text and back", sort, 0);
    }

    // The same answer in the CBOR form.
    QByteArray cbor;
    report("write packet, CBOR form (CborPacketWriter)",
           measure(repetitions, [&] { cbor = writeTranslationCbor(rows); }), 0);
    std::printf("CBOR packet %.1f MB\n", cbor.size() / 1e6);
    {
        TClientDataSet ds;
        ds.SetData(cbor);
        report("reload from the CBOR form, replacing the rows", measure(repetitions, [&] { ds.SetData(cbor); }), 0);
        if (ds.Data() != packet)
            std::printf("warning: the CBOR form loaded different rows\n");
    }

    // Memory: the heap the loaded rows hold, against the UTF-16 text they carry.
    for (const QByteArray* form : {&packet, &cbor}) {
        const std::size_t before = heapInUse();
        auto* ds = new TClientDataSet;
        ds->SetData(*form);
        const std::size_t after = heapInUse();
        const double perRow = double(after - before) / rowCount;
        const double textPerRow = 2.0 * double(textChars) / rowCount;
        std::printf("%s: heap held by the loaded rows: %.1f MB, %.0f bytes per row, of which text %.0f (UTF-16, every\n"
                    "value counted even where rows share it): %.0f bytes per row beyond the text (goal 300)\n",
                    form == &packet ? "XML" : "CBOR", (after - before) / 1e6, perRow, textPerRow, perRow - textPerRow);
        delete ds;
    }
    return 0;
}
