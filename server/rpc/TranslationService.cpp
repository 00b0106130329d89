#include "TranslationService.h"

#include "DeltaReader.h"
#include "AnswerPacketWriter.h"
#include "ListedRowsReader.h"
#include "MethodArgs.h"
#include "ReportQueries.h"
#include "RpcError.h"
#include "Utf8Text.h"

#include <algorithm>
#include <array>
#include <ctime>

namespace trd::server {

namespace {

constexpr std::array<AnswerField, 3> LanguageFields = {{
    {"IDIDIOMA", "string", 3}, {"DSIDIOMA", "string", 30}, {"IDIPROP", "string", 3}}};

constexpr std::array<AnswerField, 6> RowFields = {{
    {"STAGRVALPROP", "string", 4000}, {"STVALORPROP", "string", 4000}, {"IDSITTRADUCAO", "string", 1},
    {"IDIDIOMA", "string", 3}, {"NMCOMPONENTE", "string", 50}, {"CDPROGTRAD", "string", 20}}};

// The information and report dialogs load these rows into a 250-character
// field; longer texts travel in consecutive pieces (docs/protocol.md).
constexpr std::size_t InfoTextWidth = 250;
constexpr std::array<AnswerField, 2> InfoFields = {{{"IDSITTRADUCAO", "string", 1},
                                                   {"STVALORPROP", "string", static_cast<int>(InfoTextWidth)}}};

constexpr std::array<AnswerField, 1> CountFields = {{{"STVALORPROP", "r8", 0}}};

constexpr std::array<AnswerField, 8> SummaryFields = {{
    {"IDIDIOMA", "string", 3}, {"DSIDIOMA", "string", 30}, {"IDSITTRADUCAO", "string", 1},
    {"STVALORPROP", "r8", 0}, {"NRCARACTER", "r8", 0}, {"NRTOTAL", "r8", 0}, {"PCLINHAS", "r8", 0},
    {"DTULTALT", "dateTime", 0}}};

constexpr std::array<AnswerField, 0> NoFields = {};

constexpr std::array<AnswerField, 2> ClockFields = {{{"DTATUAL", "dateTime", 0}, {"NRFUSO", "r8", 0}}};

// Minutes east of UTC of the server's local time now.
int utcOffsetMinutes()
{
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    return static_cast<int>(local.tm_gmtoff / 60);
}

void writeRow(AnswerPacketWriter& packet, const TranslationRowView& row)
{
    const std::string_view values[] = {row.source, row.destination, row.status,
                                       row.language, row.component, row.program};
    packet.textRow(values);
}

void writeRows(StorageSession& session, const RowSelection& selection, AnswerBuffer& out)
{
    // Without filter conditions the row count is an index-only count, far
    // cheaper than growing a buffer of tens of megabytes step by step. An
    // answer sent in pieces grows no such buffer: it needs no count.
    const bool whole = !(out.sink && out.form == PacketForm::Cbor);
    const std::size_t expected = whole && selection.conditions.empty()
        ? static_cast<std::size_t>(session.countRows(selection.language, selection.statuses, selection.dates))
        : 0;
    AnswerPacketWriter packet(out, RowFields, expected);
    session.selectRows(selection, [&packet](const TranslationRowView& row) { writeRow(packet, row); });
    packet.finish();
}

// The statuses wanted by the three status arguments ("X" wants none).
std::string wantedStatuses(const MethodArgs& args)
{
    std::string wanted;
    for (std::size_t i = 0; i < 3; ++i) {
        const std::string s = args.status(i);
        if (!s.empty() && wanted.find(s) == std::string::npos)
            wanted += s;
    }
    return wanted;
}

// The first date, the last date and how they bound the rows, from three
// consecutive arguments.
DateBounds dateBounds(const MethodArgs& args, std::size_t firstIndex)
{
    const double first = args.date(firstIndex, "data inicial");
    const double last = args.date(firstIndex + 1, "data final");
    return MethodArgs::bounds(first, last, args.dateMode(firstIndex + 2));
}

} // namespace

TranslationService::TranslationService(SessionPool& sessions, WriteCoordinator& writer)
    : m_sessions(sessions), m_writer(writer), m_history(sessions, writer), m_releases(sessions, writer)
{
}

bool TranslationService::isMethod(std::string_view method)
{
    static constexpr std::string_view Methods[] = {"GetIdiTrad", "GetDestino", "GetFiltroDest",
                                                   "GetCDSFilter", "SetDestino", "GetInfoTrad",
                                                   "GetCalcTrad", "GetCalcNtrad", "GetCalcDuv",
                                                   "GetCatalogoRel", "GetConsultaRel", "GetDataHoraServ"};
    return std::find(std::begin(Methods), std::end(Methods), method) != std::end(Methods)
        || HistoryMethods::isMethod(method) || MemoryMethods::isMethod(method) || ReleaseMethods::isMethod(method);
}

void TranslationService::setMemory(memory::TranslationMemory& memory)
{
    m_memory = &memory;
    m_memoryMethods = std::make_unique<MemoryMethods>(memory);
}

void TranslationService::call(std::string_view method, std::vector<JsonValue>& params, AnswerBuffer& out,
                              const Caller& caller)
{
    if (method == "GetIdiTrad") getIdiTrad(params, out);
    else if (method == "GetDestino") getDestino(params, out);
    else if (method == "GetFiltroDest") getFiltroDest(params, out);
    else if (method == "GetCDSFilter") getCdsFilter(params, out);
    else if (method == "SetDestino") setDestino(params, out, caller);
    else if (method == "GetInfoTrad") getInfoTrad(params, out);
    else if (method == "GetCalcTrad") getCalcTrad(params, out);
    else if (method == "GetCalcNtrad") getStatusSummary(params, "N", out);
    else if (method == "GetCalcDuv") getStatusSummary(params, "D", out);
    else if (method == "GetCatalogoRel") ReportQueries(m_sessions, m_memory).catalog(params, out);
    else if (method == "GetConsultaRel") ReportQueries(m_sessions, m_memory).run(params, out);
    else if (method == "GetDataHoraServ") getDataHoraServ(params, out);
    else if (ReleaseMethods::isMethod(method) || m_releases.takesUndo(method, params))
        m_releases.call(method, params, out, caller);
    else if (HistoryMethods::isMethod(method)) m_history.call(method, params, out, caller);
    else if (m_memoryMethods && MemoryMethods::isMethod(method)) m_memoryMethods->call(method, params, out);
    else throw RpcError(rpc::MethodNotFound, "Método desconhecido: " + std::string(method) + ".");
}

void TranslationService::getIdiTrad(std::vector<JsonValue>& params, AnswerBuffer& out)
{
    MethodArgs("GetIdiTrad", params).expectCount({0});
    const auto languages = m_sessions.acquire()->languages();
    AnswerPacketWriter packet(out, LanguageFields);
    for (const auto& lang : languages) {
        packet.beginRow();
        packet.string(0, lang.code);
        packet.string(1, lang.description);
        packet.string(2, lang.prop);
        packet.endRow();
    }
    packet.finish();
}

void TranslationService::getDestino(std::vector<JsonValue>& params, AnswerBuffer& out)
{
    MethodArgs args("GetDestino", params);
    args.expectCount({7});
    RowSelection selection;
    selection.statuses = wantedStatuses(args);
    selection.language = args.language(3);
    selection.dates = dateBounds(args, 4);
    writeRows(*m_sessions.acquire(), selection, out);
}

void TranslationService::getFiltroDest(std::vector<JsonValue>& params, AnswerBuffer& out)
{
    MethodArgs args("GetFiltroDest", params);
    args.expectCount({8});
    RowSelection selection;
    selection.statuses = wantedStatuses(args);
    selection.conditions = parseFilterFragment(args.text(3, "filtro", 64 * 1024));
    selection.language = args.language(4);
    selection.dates = dateBounds(args, 5);
    writeRows(*m_sessions.acquire(), selection, out);
}

void TranslationService::getCdsFilter(std::vector<JsonValue>& params, AnswerBuffer& out)
{
    MethodArgs args("GetCDSFilter", params);
    args.expectCount({3});
    const std::string language = args.language(0);
    const std::string kind = args.text(2, "tipo de listagem", 1);
    const std::string listed = args.packet(1, "itens listados");
    const std::vector<ListedKey> keys = readListedRows(listed, language, kind);
    AnswerPacketWriter packet(out, RowFields);
    m_sessions.acquire()->selectListedRows(language, keys, [&packet](const TranslationRowView& row) { writeRow(packet, row); });
    packet.finish();
}

void TranslationService::setDestino(std::vector<JsonValue>& params, AnswerBuffer& out, const Caller& caller)
{
    MethodArgs args("SetDestino", params);
    args.expectCount({1});
    // A post is a batch of its own, unless the call names an open batch it
    // joins (a replace-all run: docs/history.md).
    WriteOrigin origin;
    origin.user = caller.user;
    origin.method = "SetDestino";
    origin.batch = HistoryMethods::batchOfHeader(caller.batchHeaders);
    if (origin.batch)
        origin.kind = BatchKind::Replace;
    const std::vector<RowChange> changes = readDelta(args.packet(0, "pacote de alterações"));
    if (!changes.empty())
        m_writer.apply(changes, origin);
    AnswerPacketWriter packet(out, NoFields);
    packet.finish();
}

void TranslationService::getDataHoraServ(std::vector<JsonValue>& params, AnswerBuffer& out)
{
    MethodArgs("GetDataHoraServ", params).expectCount({0});
    AnswerPacketWriter packet(out, ClockFields);
    packet.beginRow();
    packet.dateTime(0, m_writer.readTime());
    packet.number(1, utcOffsetMinutes());
    packet.endRow();
    packet.finish();
}

void TranslationService::getInfoTrad(std::vector<JsonValue>& params, AnswerBuffer& out)
{
    MethodArgs args("GetInfoTrad", params);
    args.expectCount({3, 1});
    const std::string language = args.language(0);
    AnswerPacketWriter packet(out, InfoFields);
    const auto writePieces = [&packet](std::string_view status, std::string_view destination) {
        std::string_view rest = destination;
        do {
            const std::string_view piece = utf8::left(rest, InfoTextWidth);
            packet.beginRow();
            packet.string(0, status);
            packet.string(1, piece);
            packet.endRow();
            rest.remove_prefix(piece.size());
        } while (!rest.empty());
    };
    auto session = m_sessions.acquire();
    if (args.count() == 3) {
        // The statistics dialog counts what it is sent, in any order: only
        // the two columns, and no sort of a whole language by its key.
        const double first = args.date(1, "data inicial");
        const double last = args.date(2, "data final");
        session->selectInfoRows(language, MethodArgs::bounds(first, last, "N"), writePieces);
    } else {
        RowSelection selection;
        selection.language = language;
        selection.statuses = "TDN";
        session->selectRows(selection,
                            [&writePieces](const TranslationRowView& row) { writePieces(row.status, row.destination); });
    }
    packet.finish();
}

void TranslationService::getCalcTrad(std::vector<JsonValue>& params, AnswerBuffer& out)
{
    MethodArgs args("GetCalcTrad", params);
    args.expectCount({5, 1});
    if (args.count() == 1) {
        getStatusSummary(params, "T", out);
        return;
    }
    const std::string language = args.language(0);
    const double first = args.date(1, "data inicial");
    const double last = args.date(2, "data final");
    const std::string status = args.status(3);
    const DateBounds dates = MethodArgs::bounds(first, last, args.dateMode(4));
    const std::int64_t count = m_sessions.acquire()->countRows(language, status, dates);
    AnswerPacketWriter packet(out, CountFields);
    packet.beginRow();
    packet.number(0, static_cast<double>(count));
    packet.endRow();
    packet.finish();
}

void TranslationService::getStatusSummary(std::vector<JsonValue>& params, const char* status, AnswerBuffer& out)
{
    MethodArgs args(status[0] == 'T' ? "GetCalcTrad" : status[0] == 'N' ? "GetCalcNtrad" : "GetCalcDuv", params);
    args.expectCount({1});
    const std::string language = args.language(0);
    auto session = m_sessions.acquire();

    std::string description;
    for (const auto& lang : session->languages())
        if (lang.code == language)
            description = lang.description;
    RowSelection selection;
    selection.language = language;
    selection.statuses = status;
    double lines = 0;
    double characters = 0;
    double latest = 0;
    session->selectRows(selection, [&](const TranslationRowView& row) {
        lines += 1;
        characters += static_cast<double>(utf8::countedLength(row.destination));
        latest = std::max(latest, row.changed);
    });
    const auto total = static_cast<double>(session->countRows(language, "TDN", {}));

    AnswerPacketWriter packet(out, SummaryFields);
    packet.beginRow();
    packet.string(0, language);
    packet.string(1, description);
    packet.string(2, status);
    packet.number(3, lines);
    packet.number(4, characters);
    packet.number(5, total);
    packet.number(6, total > 0 ? lines * 100.0 / total : 0.0);
    if (lines > 0)
        packet.dateTime(7, latest);
    packet.endRow();
    packet.finish();
}

} // namespace trd::server
