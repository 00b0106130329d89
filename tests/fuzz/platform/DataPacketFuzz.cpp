// Feeds arbitrary bytes to the packet reader and to a client data set. Any
// input must either load or raise EDBClient; whatever loads must write a
// packet that loads again to the same content.
#include "DataPacket.h"
#include "TClientDataSet.h"

#include <cstdint>
#include <cstdlib>

using namespace trd;

namespace {

void readAll(const QByteArray& bytes)
{
    try {
        PacketReader reader(bytes);
        const int nf = static_cast<int>(reader.fields().size());
        while (reader.next()) {
            reader.rowState();
            for (int f = 0; f < nf; ++f) {
                if (reader.isNull(f))
                    continue;
                switch (reader.fields()[static_cast<std::size_t>(f)].type) {
                case TFieldType::ftString:
                    reader.string(f);
                    break;
                case TFieldType::ftInteger:
                    reader.integer(f);
                    break;
                case TFieldType::ftFloat:
                    reader.real(f);
                    break;
                case TFieldType::ftDateTime:
                    reader.dateTime(f);
                    break;
                }
            }
        }
    } catch (const EDBClient&) {
    }
}

void loadAndWriteBack(const QByteArray& bytes)
{
    TClientDataSet ds;
    try {
        ds.SetData(bytes);
    } catch (const EDBClient&) {
        if (ds.Active())
            std::abort(); // a failed load must leave the data set closed
        return;
    }
    const QByteArray written = ds.Data();
    TClientDataSet again;
    again.SetData(written); // must not throw: we wrote it
    if (again.Data() != written || again.RecordCount() != ds.RecordCount())
        std::abort();
    // Exercise the change log on what loaded.
    if (!ds.IsEmpty()) {
        ds.Last();
        ds.Delete();
        PacketReader delta(ds.Delta());
        while (delta.next()) { }
        ds.CancelUpdates();
        if (ds.Data() != written)
            std::abort();
    }
}

// Persistent fields take values of other packet types (a float into an integer).
void loadIntoPersistentFields(const QByteArray& bytes)
{
    TClientDataSet ds;
    ds.AddField(QStringLiteral("IDIDIOMA"), TFieldType::ftString, 3);
    ds.AddField(QStringLiteral("QTD"), TFieldType::ftInteger);
    ds.AddField(QStringLiteral("DTALT"), TFieldType::ftDateTime);
    try {
        ds.SetData(bytes);
        ds.Data();
    } catch (const EDBClient&) {
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    readAll(bytes);
    loadAndWriteBack(bytes);
    loadIntoPersistentFields(bytes);
    return 0;
}
