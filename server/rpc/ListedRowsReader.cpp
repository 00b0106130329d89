#include "ListedRowsReader.h"

#include "DataPacket.h"
#include "RpcError.h"

#include <optional>

namespace trd::server {

std::vector<ListedKey> readListedRows(const std::string& packetXml, const std::string& language,
                                      const std::string& listingKind)
{
    // A digit of bits: 1 size errors, 2 not translated, 4 the other checks'
    // findings; "1", "2" and "3" are what the dialog has always sent.
    const bool oneDigit = listingKind.size() == 1 && listingKind[0] >= '1' && listingKind[0] <= '7';
    if (!oneDigit)
        invalidParams("Tipo de listagem inválido: \"" + listingKind + "\". Use de 1 a 7.");
    const int wanted = listingKind[0] - '0';
    const bool wantSize = wanted & 1;
    const bool wantUntranslated = wanted & 2;
    const bool wantOthers = wanted & 4;

    std::vector<ListedKey> keys;
    try {
        trd::PacketReader reader(QByteArray(packetXml.data(), static_cast<qsizetype>(packetXml.size())));
        const int program = reader.fieldIndex("CDPROGTRAD");
        const int component = reader.fieldIndex("NMCOMPONENTE");
        const int kind = reader.fieldIndex("TPLISTA");
        const int source = reader.fieldIndex("STAGRVALPROP");
        const int lang = reader.fieldIndex("IDIDIOMA");
        for (const auto& [index, name] :
             {std::pair{program, "CDPROGTRAD"}, std::pair{component, "NMCOMPONENTE"}, std::pair{kind, "TPLISTA"}})
            if (index < 0)
                invalidParams(std::string("Arquivo de itens listados inválido: falta o campo ") + name + ".");
        while (reader.next()) {
            const std::string_view type = reader.raw(kind);
            if (type != "E" && type != "N" && type != "Q")
                invalidParams("Arquivo de itens listados inválido: TPLISTA \"" + std::string(type) + "\" na linha "
                              + std::to_string(reader.rowNumber()) + " (use E, N ou Q).");
            if ((type == "E" && !wantSize) || (type == "N" && !wantUntranslated) || (type == "Q" && !wantOthers))
                continue;
            if (lang >= 0 && !reader.isNull(lang) && !reader.raw(lang).empty() && reader.raw(lang) != language)
                continue;
            ListedKey key;
            key.program = std::string(reader.raw(program));
            key.component = std::string(reader.raw(component));
            if (source >= 0 && !reader.isNull(source))
                key.source = std::string(reader.raw(source));
            keys.push_back(std::move(key));
        }
    } catch (const trd::EDBClient& e) {
        invalidParams(std::string("Arquivo de itens listados inválido: ") + e.what());
    }
    return keys;
}

} // namespace trd::server
