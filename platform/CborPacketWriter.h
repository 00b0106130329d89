#pragma once
// Writes the CBOR form of a data packet (docs/data-packets.md). The server
// writes its answers with it straight from the storage rows; values go in
// field order, and a field a row skips is written as null.
#include "DataPacket.h"

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace trd {

class CborPacketWriter {
public:
    explicit CborPacketWriter(std::string& out);

    void begin(const std::vector<PacketField>& fields, const PacketParams& params = {});
    // The same, the rows in an open list (RFC 8949's indefinite length) for a
    // writer that sends them before it knows how many there are.
    void beginOpen(const std::vector<PacketField>& fields);
    void beginRow();
    // Fields in increasing order within a row; the skipped ones are null.
    void string(int field, std::string_view utf8);
    void integer(int field, std::int64_t value); // true/false for a boolean field
    void real(int field, double value);
    void dateTime(int field, double dayCount);
    void endRow();
    // A whole row of texts, one per field, written at once (a server's answer
    // writes hundreds of thousands of them).
    void textRow(std::span<const std::string_view> values);
    // Fills in the number of rows, which was not known when they started, or
    // ends the open list.
    void end();

    std::size_t rows() const { return m_rows; }

    // What a writer of an open list puts in place of the next row when it
    // cannot go on: the rows before it are not the whole packet.
    static void appendFailure(std::string& out, std::int64_t code, std::string_view message);

private:
    void writeHeader(const std::vector<PacketField>& fields, const PacketParams& params, bool open);
    void skipTo(int field);
    // The field a row writes next, the usual case, costs no call.
    void next(int field)
    {
        if (field == m_next && field < m_fieldCount)
            ++m_next;
        else
            skipTo(field);
    }

    std::string& m_out;
    std::vector<char> m_boolean; // per field
    int m_fieldCount = 0;
    int m_next = 0; // the next field a row expects
    std::size_t m_rowsHead = 0;
    bool m_open = false;
    std::size_t m_rows = 0;
};

} // namespace trd
