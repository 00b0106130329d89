#pragma once
// Reads the CBOR form of a data packet (docs/data-packets.md) row by row,
// straight from the received bytes: no tree, texts are views into the buffer
// until the data set asks for them. Holds every rule the XML reader holds
// (field types, WIDTH, the code page, integer ranges, dates) and raises the
// same EDBClient messages; structural faults name the byte offset.
#include "Cbor.h"
#include "DataPacket.h"

#include <QByteArray>

#include <cstdint>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace trd {

class CborPacketReader {
public:
    // Reads the fields and parameters; the rows are read by next().
    explicit CborPacketReader(QByteArray packet);

    const std::vector<PacketField>& fields() const { return m_fields; }
    const PacketParams& params() const { return m_params; }
    int fieldIndex(std::string_view name) const;
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
    void readValue(std::size_t field);
    [[noreturn]] void valueError(std::size_t field, const QString& what) const;

    QByteArray m_buffer;
    cbor::Cursor m_in;
    std::vector<PacketField> m_fields;
    std::vector<const PacketType*> m_types;
    PacketParams m_params;
    std::unordered_map<std::string_view, int> m_byName;
    std::size_t m_rowCount = 0;
    int m_rowNumber = 0;
    std::vector<Value> m_values;
};

} // namespace trd
