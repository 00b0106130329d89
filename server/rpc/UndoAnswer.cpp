#include "UndoAnswer.h"

#include <array>

namespace trd::server {

namespace {

constexpr std::array<AnswerField, 8> UndoFields = {{{"IDLOTE", "r8", 0},
                                                    {"CDPROGTRAD", "string", 20},
                                                    {"NMCOMPONENTE", "string", 50},
                                                    {"STAGRVALPROP", "string", 4000},
                                                    {"DESFEITA", "string", 1},
                                                    {"DSMOTIVO", "string", 200},
                                                    {"STVALORPROP", "string", 4000},
                                                    {"IDSITTRADUCAO", "string", 1}}};

} // namespace

UndoAnswer::UndoAnswer(AnswerBuffer& out, std::int64_t batch)
    : m_packet(out, UndoFields), m_batch(static_cast<double>(batch))
{
}

void UndoAnswer::row(const UndoAnswerRow& row)
{
    m_packet.beginRow();
    m_packet.number(0, m_batch);
    m_packet.string(1, row.program);
    m_packet.string(2, row.component);
    m_packet.string(3, row.source);
    m_packet.string(4, row.restored ? "S" : "N");
    m_packet.string(5, row.reason);
    m_packet.string(6, row.text);
    m_packet.string(7, row.status);
    m_packet.endRow();
}

} // namespace trd::server
