#pragma once
// Writes the CBOR form of a data packet (docs/data-packets.md). The server
// writes its answers with it straight from the storage rows; values go in
// field order, and a field a row skips is written as null.
#include "DataPacket.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace trd {

class CborPacketWriter {
public:
    explicit CborPacketWriter(std::string& out);

    void begin(const std::vector<PacketField>& fields, const PacketParams& params = {});
    void beginRow();
    // Fields in increasing order within a row; the skipped ones are null.
    void string(int field, std::string_view utf8);
    void integer(int field, std::int64_t value);   // true/false for a boolean field
    void real(int field, double value);
    void dateTime(int field, double dayCount);
    void endRow();
    // Fills in the number of rows, which was not known when they started.
    void end();

    std::size_t rows() const { return m_rows; }

private:
    void skipTo(int field);

    std::string& m_out;
    std::vector<char> m_boolean;   // per field
    int m_fieldCount = 0;
    int m_next = 0;                // the next field a row expects
    std::size_t m_rowsHead = 0;
    std::size_t m_rows = 0;
};

} // namespace trd
