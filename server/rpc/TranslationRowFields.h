#pragma once
// The translation row packet (docs/protocol.md, "Translation row packet"):
// the six fields the editor declares, then the review mark. GetDestino and
// the memory's lookup of a row answer with it alike, so its fields are named
// and written here once.
#include "AnswerPacketWriter.h"
#include "Storage.h"

#include <array>

namespace trd::server {

inline constexpr std::array<AnswerField, 8> TranslationRowFields = {{{"STAGRVALPROP", "string", 4000},
                                                                     {"STVALORPROP", "string", 4000},
                                                                     {"IDSITTRADUCAO", "string", 1},
                                                                     {"IDIDIOMA", "string", 3},
                                                                     {"NMCOMPONENTE", "string", 50},
                                                                     {"CDPROGTRAD", "string", 20},
                                                                     {"NMREVISOR", "string", 64},
                                                                     {"DTREVISAO", "dateTime", 0}}};

// One row of a packet of TranslationRowFields; the date of review only with a reviewer.
inline void writeTranslationRow(AnswerPacketWriter& packet, const TranslationRowView& row)
{
    packet.beginRow();
    packet.string(0, row.source);
    packet.string(1, row.destination);
    packet.string(2, row.status);
    packet.string(3, row.language);
    packet.string(4, row.component);
    packet.string(5, row.program);
    packet.string(6, row.reviewer);
    if (!row.reviewer.empty())
        packet.dateTime(7, row.reviewed);
    packet.endRow();
}

} // namespace trd::server
