#pragma once
// Reads the CBOR form of a data packet (docs/data-packets.md) row by row,
// straight from the received bytes: no tree, texts are views into the buffer
// until the data set asks for them. Holds every rule the XML reader holds
// (field types, WIDTH, the code page, integer ranges, dates) and raises the
// same EDBClient messages; structural faults name the byte offset.
//
// Read from a PacketSource, it holds only a window of the packet: each row is
// read from the bytes at hand, and when they end inside it more are fetched
// and the row read again. The values of a row are then valid until next().
#include "Cbor.h"
#include "DataPacket.h"
#include "PacketStream.h"

#include <QByteArray>

#include <cstdint>
#include <memory>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace trd {

class CborPacketReader {
public:
    // Reads the fields and parameters; the rows are read by next().
    explicit CborPacketReader(QByteArray packet);
    explicit CborPacketReader(std::shared_ptr<PacketSource> source);

    const std::vector<PacketField>& fields() const { return m_fields; }
    const PacketParams& params() const { return m_params; }
    int fieldIndex(std::string_view name) const;
    // The rows to make room for: the count of a definite list of rows, 0 for
    // an open one.
    std::size_t rowCount() const { return m_rowCount; }

    bool next();
    int rowNumber() const { return m_rowNumber; }
    bool isNull(int field) const { return m_values[static_cast<std::size_t>(field)].kind == Kind::Null; }
    std::string_view raw(int field) const;
    QString string(int field) const;
    std::int64_t integer(int field) const;
    double real(int field) const;
    double dateTime(int field) const;

private:
    enum class Kind : std::uint8_t { Null, Text, Integer, Number };
    struct Value {
        Kind kind = Kind::Null;
        std::uint32_t length = 0;
        const char* text = nullptr;
        std::int64_t integer = 0;
        double number = 0;
    };

    void readHeader();
    void readFields();
    void readField(int number);
    void readParams();
    void startRows();
    bool readRow();
    void endRows();
    [[noreturn]] void readFailure();
    void readValue(std::size_t field);
    [[noreturn]] void valueError(std::size_t field, const QString& what) const;
    // A count the bytes at hand cannot hold: more are fetched when they may
    // still come (Truncated), otherwise the count is refused.
    void checkCount(std::uint64_t count, std::size_t smallestItem, const char* what, std::size_t at) const;
    std::size_t bytesToCome() const;
    // Reads more of the source after the bytes from `keep` on (moved to the
    // front); false when it has ended.
    bool refill(const char* keep);
    template <typename Step>
    auto again(Step step);

    QByteArray m_buffer;
    std::size_t m_filled = 0; // bytes of m_buffer holding the packet
    std::size_t m_base = 0; // where m_buffer starts in the packet
    std::shared_ptr<PacketSource> m_source;
    bool m_sourceEnded = true;
    cbor::Cursor m_in;
    std::vector<PacketField> m_fields;
    std::vector<const PacketType*> m_types;
    PacketParams m_params;
    std::unordered_map<std::string_view, int> m_byName;
    std::size_t m_rowCount = 0;
    bool m_openRows = false;
    bool m_ended = false;
    int m_rowNumber = 0;
    std::vector<Value> m_values;
};

} // namespace trd
