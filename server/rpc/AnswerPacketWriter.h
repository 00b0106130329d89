#pragma once
// Writes an answer data packet straight into the answer body, in the form the
// client asked for (docs/protocol.md): by default as a JSON string literal
// holding the XML packet, the XML escaping of each value and the JSON escaping
// of the result done in one pass; or, for a client that accepts CBOR, as the
// CBOR packet, each value copied once from the storage row. Either way a
// 200,000-row answer is built once and never copied.
//
// A CBOR answer given a sink goes out as it is written: each time the rows
// written fill a piece, the piece is handed to the transport, which sends it
// while the next rows are read (the rows then travel in an open list, their
// number known only at its end).
#include "CborPacketWriter.h"

#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace trd::server {

struct AnswerField {
    const char* name;
    const char* type; // "string", "r8", "dateTime"
    int width = 0; // WIDTH of a string field
};

enum class PacketForm { XmlInJson, Cbor };

// The client of a streamed answer went away (or stopped reading): there is
// no one left to write it for.
class AnswerAbandoned : public std::runtime_error {
public:
    AnswerAbandoned() : std::runtime_error("o cliente deixou de receber a resposta") { }
};

// Where the pieces of a streamed answer go: the transport, which sends them
// in order while the answer is still being written.
class AnswerSink {
public:
    virtual ~AnswerSink() = default;
    // Takes the bytes for sending, leaving `bytes` empty (with room for the
    // next piece). May wait for a slow client to take what went before, so
    // that an answer does not pile up whole in memory. Throws AnswerAbandoned
    // once the connection has failed (or its time to take the answer is up).
    virtual void send(std::string& bytes) = 0;
};

// The body being built and the form its packets take.
struct AnswerBuffer {
    std::string bytes;
    PacketForm form = PacketForm::XmlInJson;
    AnswerSink* sink = nullptr; // a CBOR answer goes out in pieces as it is written
    std::size_t pieceBytes = 256 * 1024; // the size a piece reaches before it is sent
    std::size_t sent = 0; // bytes handed to the sink so far
    std::size_t rowsEnd = 0; // where the last whole row ends in `bytes`

    bool streaming() const { return sent > 0; }
    // After each row: a full piece goes out.
    void rowWritten()
    {
        rowsEnd = bytes.size();
        if (sink && bytes.size() >= pieceBytes)
            flush();
    }
    void flush()
    {
        sent += bytes.size();
        rowsEnd = 0;
        sink->send(bytes);
    }
};

class AnswerPacketWriter {
public:
    // Writes the packet's start and its metadata; `expectedRows` (not 0) is
    // how many rows the method counted beforehand, for sizing a whole answer.
    AnswerPacketWriter(AnswerBuffer& out, std::span<const AnswerField> fields, std::size_t expectedRows = 0);

    void beginRow();
    void string(int field, std::string_view utf8);
    void number(int field, double value);
    void dateTime(int field, double dayCount);
    void endRow();
    // A whole row of texts, one per field, the same as beginRow, string for
    // each field and endRow, in fewer steps.
    void textRow(std::span<const std::string_view> values);
    // Closes the packet (and the JSON string).
    void finish();

private:
    // Once a few rows are written, reserves room for the expected rows of the
    // same average size, so a large answer grows without repeated copies.
    void reserveAhead();

    AnswerBuffer& m_buffer;
    std::string& m_out;
    std::optional<trd::CborPacketWriter> m_cbor;
    std::span<const AnswerField> m_fields;
    std::vector<std::string> m_prefixes; // ` NAME=\"`, JSON-escaped, per field
    std::size_t m_rowsStart = 0;
    std::size_t m_rows = 0;
    std::size_t m_expectedRows = 0;
};

// Appends text escaped for an XML attribute inside a JSON string.
void appendPacketValue(std::string& out, std::string_view utf8);

} // namespace trd::server
