// Feeds arbitrary bytes to the CBOR packet reader (behind the self-describe
// tag, so that every input reaches it), to a client data set, and to the CBOR
// answer envelope. Any input must load or raise EDBClient (EMalformedAnswer
// for the envelope) and leave a failed data set closed; whatever loads must
// load the same again from the CBOR and the XML the data set gives back.
#include "Cbor.h"
#include "CborPacketWriter.h"
#include "DataPacket.h"
#include "JsonRpc.h"
#include "TClientDataSet.h"
#include "TField.h"

#include <cstdint>
#include <cstdlib>

using namespace trd;

namespace {

// The loaded rows written again in the CBOR form, field by field.
QByteArray asCbor(TClientDataSet& ds, const std::vector<PacketField>& fields)
{
    std::string out;
    CborPacketWriter w(out);
    w.begin(fields);
    for (ds.First(); !ds.Eof(); ds.Next()) {
        w.beginRow();
        for (int f = 0; f < ds.FieldCount(); ++f) {
            TField* field = ds.Fields(f);
            if (field->IsNull())
                continue;
            switch (field->DataType()) {
            case TFieldType::ftString:
                w.string(f, field->AsString().toStdString());
                break;
            case TFieldType::ftInteger:
                w.integer(f, field->AsInteger());
                break;
            case TFieldType::ftFloat:
                w.real(f, field->AsFloat());
                break;
            case TFieldType::ftDateTime:
                w.dateTime(f, field->AsDateTime());
                break;
            }
        }
        w.endRow();
    }
    w.end();
    return QByteArray::fromStdString(out);
}

void loadAndWriteBack(const QByteArray& bytes)
{
    TClientDataSet ds;
    std::vector<PacketField> fields;
    try {
        fields = PacketReader(bytes).fields();
        ds.SetData(bytes);
    } catch (const EDBClient&) {
        if (ds.Active())
            std::abort(); // a failed load must leave the data set closed
        return;
    }
    const QByteArray xml = ds.Data();
    TClientDataSet fromXml, fromCbor;
    fromXml.SetData(xml); // must not throw: we wrote it
    fromCbor.SetData(asCbor(ds, fields));
    if (fromXml.Data() != xml || fromCbor.Data() != xml)
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QByteArray input(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const QByteArray packet = isCborPacket(input) ? input : QByteArray(cbor::kSelfDescribe, 3) + input;
    loadAndWriteBack(packet);
    try {
        const TServerResult answer = jsonrpc::DecodeCborAnswer(QByteArray(input), 1);
        if (answer.Ok)
            loadAndWriteBack(answer.Packet);
    } catch (const EMalformedAnswer&) {
    } catch (const EDBClient&) {
    }
    return 0;
}
