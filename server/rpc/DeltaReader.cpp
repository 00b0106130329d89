#include "DeltaReader.h"

#include "DataPacket.h"
#include "RpcError.h"
#include "Utf8Text.h"

#include <array>
#include <optional>

namespace trd::server {

namespace {

enum Field { Source, Destination, Status, LanguageCode, Component, Program, FieldCount };
constexpr std::array<const char*, FieldCount> FieldNames = {"STAGRVALPROP", "STVALORPROP",  "IDSITTRADUCAO",
                                                            "IDIDIOMA",     "NMCOMPONENTE", "CDPROGTRAD"};
constexpr std::array<std::size_t, FieldCount> FieldSizes = {
    fieldsize::Text, fieldsize::Text, fieldsize::Status, fieldsize::Language, fieldsize::Component, fieldsize::Program};

using Values = std::array<std::optional<std::string>, FieldCount>;

std::string rowText(int rowNumber)
{
    return " (linha " + std::to_string(rowNumber) + " do pacote de alterações)";
}

Values readValues(const trd::PacketReader& reader, const std::array<int, FieldCount>& index)
{
    Values values;
    for (int f = 0; f < FieldCount; ++f)
        if (!reader.isNull(index[static_cast<std::size_t>(f)]))
            values[static_cast<std::size_t>(f)] = std::string(reader.raw(index[static_cast<std::size_t>(f)]));
    return values;
}

// The values written for a row; key fields must be given, the destination
// text may be empty.
TranslationRow toRow(const Values& values, int rowNumber)
{
    for (int f : {Status, LanguageCode, Component, Program}) {
        const auto& v = values[static_cast<std::size_t>(f)];
        if (!v || v->empty())
            invalidParams(std::string("O campo ") + FieldNames[static_cast<std::size_t>(f)] + " deve ser informado"
                          + rowText(rowNumber) + ".");
    }
    for (int f = 0; f < FieldCount; ++f)
        if (values[static_cast<std::size_t>(f)])
            checkFieldText(*values[static_cast<std::size_t>(f)], FieldNames[static_cast<std::size_t>(f)],
                           FieldSizes[static_cast<std::size_t>(f)], rowNumber);
    checkLanguageCode(*values[LanguageCode], rowNumber);
    const std::string& status = *values[Status];
    if (status != "T" && status != "D" && status != "N")
        invalidParams("Situação inválida: \"" + status + "\"" + rowText(rowNumber) + ". Use T, D ou N.");
    TranslationRow row;
    row.key.language = *values[LanguageCode];
    row.key.program = *values[Program];
    row.key.component = *values[Component];
    row.key.source = values[Source].value_or(std::string());
    row.destination = values[Destination].value_or(std::string());
    row.status = status;
    return row;
}

RowChange original(RowChange::Kind kind, const Values& values, int rowNumber)
{
    RowChange change;
    change.kind = kind;
    change.rowNumber = rowNumber;
    change.original.language = values[LanguageCode].value_or(std::string());
    change.original.program = values[Program].value_or(std::string());
    change.original.component = values[Component].value_or(std::string());
    change.original.source = values[Source].value_or(std::string());
    change.originalDestination = values[Destination].value_or(std::string());
    change.originalStatus = values[Status].value_or(std::string());
    return change;
}

} // namespace

void checkFieldText(std::string_view value, const char* field, std::size_t maxChars, int rowNumber)
{
    const std::string where = rowNumber > 0 ? rowText(rowNumber) : std::string();
    if (!utf8::isWin1252(value))
        invalidParams(std::string("O campo ") + field + " contém um caractere que não existe no Windows-1252" + where
                      + ".");
    if (utf8::hasForbiddenControl(value))
        invalidParams(std::string("O campo ") + field + " contém um caractere de controle" + where + ".");
    const std::size_t length = utf8::length(value);
    if (length > maxChars)
        invalidParams(std::string("Texto longo demais no campo ") + field + where + ": " + std::to_string(length)
                      + " caracteres, o máximo é " + std::to_string(maxChars) + ".");
}

void checkLanguageCode(std::string_view code, int rowNumber)
{
    if (utf8::isWin1252(code) && utf8::length(code) != fieldsize::Language)
        invalidParams("O código de idioma deve ter exatamente " + std::to_string(fieldsize::Language)
                      + " caracteres: \"" + std::string(code) + "\""
                      + (rowNumber > 0 ? rowText(rowNumber) : std::string()) + ".");
    checkFieldText(code, "IDIDIOMA", fieldsize::Language, rowNumber);
}

std::vector<RowChange> readDelta(const std::string& packetXml)
{
    std::optional<trd::PacketReader> reader;
    try {
        reader.emplace(QByteArray(packetXml.data(), static_cast<qsizetype>(packetXml.size())));
    } catch (const trd::EDBClient& e) {
        invalidParams(std::string("Pacote de alterações inválido: ") + e.what());
    }
    std::array<int, FieldCount> index{};
    for (int f = 0; f < FieldCount; ++f) {
        index[static_cast<std::size_t>(f)] = reader->fieldIndex(FieldNames[static_cast<std::size_t>(f)]);
        if (index[static_cast<std::size_t>(f)] < 0)
            invalidParams(std::string("Pacote de alterações inválido: falta o campo ")
                          + FieldNames[static_cast<std::size_t>(f)] + ".");
    }

    std::vector<RowChange> changes;
    std::optional<std::pair<Values, int>> pendingOriginal;
    try {
        while (reader->next()) {
            const int number = reader->rowNumber();
            const int state = reader->rowState() & ~64; // 64 flags detail updates only
            if (pendingOriginal && state != trd::rsModified)
                invalidParams("Pacote de alterações inválido: o registro original" + rowText(pendingOriginal->second)
                              + " não é seguido da sua alteração.");
            const Values values = readValues(*reader, index);
            switch (state) {
            case trd::rsOriginal:
                pendingOriginal.emplace(values, number);
                break;
            case trd::rsModified: {
                if (!pendingOriginal)
                    invalidParams("Pacote de alterações inválido: alteração sem o registro original" + rowText(number)
                                  + ".");
                RowChange change = original(RowChange::Kind::Modify, pendingOriginal->first, pendingOriginal->second);
                Values merged = pendingOriginal->first;
                for (std::size_t f = 0; f < merged.size(); ++f)
                    if (values[f])
                        merged[f] = values[f];
                change.updated = toRow(merged, number);
                changes.push_back(std::move(change));
                pendingOriginal.reset();
                break;
            }
            case trd::rsDeleted:
                changes.push_back(original(RowChange::Kind::Delete, values, number));
                break;
            case trd::rsInserted: {
                RowChange change;
                change.kind = RowChange::Kind::Insert;
                change.rowNumber = number;
                change.updated = toRow(values, number);
                changes.push_back(std::move(change));
                break;
            }
            default:
                invalidParams("Pacote de alterações inválido: RowState " + std::to_string(reader->rowState())
                              + " não suportado" + rowText(number) + ".");
            }
        }
    } catch (const trd::EDBClient& e) {
        invalidParams(std::string("Pacote de alterações inválido: ") + e.what());
    }
    if (pendingOriginal)
        invalidParams("Pacote de alterações inválido: o registro original" + rowText(pendingOriginal->second)
                      + " não é seguido da sua alteração.");
    return changes;
}

} // namespace trd::server
