#pragma once
// The answer of an undo, the history's (DesfazLote, DesfazVersao) and a
// release's alike (docs/protocol.md): a row for each row the batch wrote,
// whether it was put back and why not, and the row as the undo left it.
#include "AnswerPacketWriter.h"

#include <cstdint>
#include <string_view>

namespace trd::server {

struct UndoAnswerRow {
    std::string_view program, component, source;
    bool restored = false;
    std::string_view reason; // why the row was left alone
    std::string_view text, status; // after the undo (empty when the row is gone)
};

class UndoAnswer {
public:
    // `batch`: the undo's own batch, 0 when it wrote nothing.
    UndoAnswer(AnswerBuffer& out, std::int64_t batch);
    void row(const UndoAnswerRow& row);
    void finish() { m_packet.finish(); }

private:
    AnswerPacketWriter m_packet;
    double m_batch;
};

} // namespace trd::server
