#pragma once
// A translation answer as the server sends it: six fields, screen texts of
// about 40 characters, a few with ampersands, quotes, accents and line breaks.
#include "DataPacket.h"

#include <QString>

#include <vector>

namespace trd::bench {

struct TranslationRow {
    QString source, destination, status, language, component, program;
};

std::vector<PacketField> translationFields();
std::vector<TranslationRow> makeTranslationRows(int count, unsigned seed = 20240131);
QByteArray writeTranslationPacket(const std::vector<TranslationRow>& rows);
// The same rows in the CBOR form the server sends to clients that ask for it.
QByteArray writeTranslationCbor(const std::vector<TranslationRow>& rows);

} // namespace trd::bench
