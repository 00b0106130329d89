#pragma once
// Writes an answer data packet straight into the answer body, in the form the
// client asked for (docs/protocol.md): by default as a JSON string literal
// holding the XML packet, the XML escaping of each value and the JSON escaping
// of the result done in one pass; or, for a client that accepts CBOR, as the
// CBOR packet, each value copied once from the storage row. Either way a
// 200,000-row answer is built once and never copied.
#include "CborPacketWriter.h"

#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace trd::server {

struct AnswerField {
    const char* name;
    const char* type;   // "string", "r8", "dateTime"
    int width = 0;      // WIDTH of a string field
};

enum class PacketForm { XmlInJson, Cbor };

// The body being built and the form its packets take.
struct AnswerBuffer {
    std::string bytes;
    PacketForm form = PacketForm::XmlInJson;
};

class AnswerPacketWriter {
public:
    // Writes the packet's start and its metadata.
    AnswerPacketWriter(AnswerBuffer& out, std::span<const AnswerField> fields);

    void beginRow();
    void string(int field, std::string_view utf8);
    void number(int field, double value);
    void dateTime(int field, double dayCount);
    void endRow();
    // Closes the packet (and the JSON string).
    void finish();

    // Once a few rows are written, reserves room for `expectedRows` rows of
    // the same average size, so a large answer grows without repeated copies.
    void expectRows(std::size_t expectedRows);

private:
    void reserveAhead();

    std::string& m_out;
    std::optional<trd::CborPacketWriter> m_cbor;
    std::span<const AnswerField> m_fields;
    std::vector<std::string> m_prefixes;   // ` NAME=\"`, JSON-escaped, per field
    std::size_t m_rowsStart = 0;
    std::size_t m_rows = 0;
    std::size_t m_expectedRows = 0;
};

// Appends text escaped for an XML attribute inside a JSON string.
void appendPacketValue(std::string& out, std::string_view utf8);

} // namespace trd::server
