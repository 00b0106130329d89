#include "TranslationService.h"

#include "DeltaReader.h"
#include "AnswerPacketWriter.h"
#include "ListedRowsReader.h"
#include "MethodArgs.h"
#include "ReportQueries.h"
#include "AccessMethods.h"
#include "ReviewMethods.h"
#include "GlossaryMethods.h"
#include "RpcError.h"
#include "Utf8Text.h"
#include "TranslationRowFields.h"

#include <algorithm>
#include <array>
#include <ctime>

namespace trd::server {

namespace {

constexpr std::array<AnswerField, 3> LanguageFields = {
    {{"IDIDIOMA", "string", 3}, {"DSIDIOMA", "string", 30}, {"IDIPROP", "string", 3}}};

// The information and report dialogs load these rows into a 250-character
// field; longer texts travel in consecutive pieces (docs/protocol.md).
constexpr std::size_t InfoTextWidth = 250;
constexpr std::array<AnswerField, 2> InfoFields = {
    {{"IDSITTRADUCAO", "string", 1}, {"STVALORPROP", "string", static_cast<int>(InfoTextWidth)}}};

constexpr std::array<AnswerField, 1> CountFields = {{{"STVALORPROP", "r8", 0}}};

constexpr std::array<AnswerField, 8> SummaryFields = {{{"IDIDIOMA", "string", 3},
                                                       {"DSIDIOMA", "string", 30},
                                                       {"IDSITTRADUCAO", "string", 1},
                                                       {"STVALORPROP", "r8", 0},
                                                       {"NRCARACTER", "r8", 0},
                                                       {"NRTOTAL", "r8", 0},
                                                       {"PCLINHAS", "r8", 0},
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

// A tradutor's save of a language that requires review may not touch a
// reviewed row: the writer refuses it inside the transaction that would
// write it (Storage.h, RowChange::guardReviewed).
void guardReviewedRows(const Caller& caller, std::vector<RowChange>& changes)
{
    for (RowChange& change : changes)
        change.guardReviewed =
            change.kind != RowChange::Kind::Insert && caller.grants.on(change.original.language) < Role::Reviewer;
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
    AnswerPacketWriter packet(out, TranslationRowFields, expected);
    session.selectRows(selection, [&packet](const TranslationRowView& row) { writeTranslationRow(packet, row); });
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

} // namespace

TranslationService::TranslationService(SessionPool& sessions, WriteCoordinator& writer)
    : m_sessions(sessions), m_writer(writer), m_history(sessions, writer), m_reports(sessions),
      m_access(std::make_unique<AccessMethods>(sessions)), m_review(std::make_unique<ReviewMethods>(sessions, writer)),
      m_releases(sessions, writer), m_machineMethods(std::make_unique<MachineMethods>(sessions, nullptr)),
      m_glossary(std::make_unique<GlossaryMethods>(sessions, writer))
{
}

TranslationService::~TranslationService() = default;

std::span<const MethodEntry<TranslationService>> TranslationService::methods()
{
    static constexpr MethodEntry<TranslationService> Table[] = {
        {"GetIdiTrad", &TranslationService::getIdiTrad, Right::read()},
        {"GetDestino", &TranslationService::getDestino, Right::read()},
        {"GetFiltroDest", &TranslationService::getFiltroDest, Right::read()},
        {"GetCDSFilter", &TranslationService::getCdsFilter, Right::read()},
        {"SetDestino", &TranslationService::setDestino,
         Right::translate(Right::DeltaLanguages, "alterar suas traduções")},
        {"GetInfoTrad", &TranslationService::getInfoTrad, Right::read()},
        {"GetCalcTrad", &TranslationService::getCalcTrad, Right::read()},
        {"GetCalcNtrad", &TranslationService::getCalcNtrad, Right::read()},
        {"GetCalcDuv", &TranslationService::getCalcDuv, Right::read()},
        {"GetDataHoraServ", &TranslationService::getDataHoraServ, Right::read()},
    };
    return Table;
}

namespace {

template <typename Service>
Service* serviceAt(Service& service)
{
    return &service;
}

template <typename Service>
Service* serviceAt(std::unique_ptr<Service>& service)
{
    return service.get();
}

} // namespace

// The one list of the services' tables, in the order calls look them up:
// `visit(table, service)` for each until one returns true (the service is
// null without `self`, or when it is not given yet: the memory's).
template <typename Visit>
bool TranslationService::anyTable(TranslationService* self, Visit&& visit)
{
    const auto at = [self](auto TranslationService::*member) { return self ? serviceAt(self->*member) : nullptr; };
    return visit(methods(), self) || visit(HistoryMethods::methods(), at(&TranslationService::m_history))
        || visit(MemoryMethods::methods(), at(&TranslationService::m_memoryMethods))
        || visit(ReportQueries::methods(), at(&TranslationService::m_reports))
        || visit(AccessMethods::methods(), at(&TranslationService::m_access))
        || visit(ReviewMethods::methods(), at(&TranslationService::m_review))
        || visit(ReleaseMethods::methods(), at(&TranslationService::m_releases))
        || visit(MachineMethods::methods(), at(&TranslationService::m_machineMethods))
        || visit(GlossaryMethods::methods(), at(&TranslationService::m_glossary));
}

bool TranslationService::isMethod(std::string_view method)
{
    return anyTable(nullptr, [method](auto table, auto*) { return findMethod(table, method) != nullptr; });
}

std::vector<std::string_view> TranslationService::methodNames()
{
    std::vector<std::string_view> names;
    anyTable(nullptr, [&names](auto table, auto*) {
        for (const auto& entry : table)
            names.push_back(entry.name);
        return false;
    });
    return names;
}

void TranslationService::setMemory(memory::TranslationMemory& memory)
{
    m_memory = &memory;
    m_memoryMethods = std::make_unique<MemoryMethods>(memory, &m_sessions);
    m_reports.setMemory(&memory);
}

void TranslationService::setMachine(mt::MachineTranslation* machine)
{
    m_machineMethods = std::make_unique<MachineMethods>(m_sessions, machine);
}

void TranslationService::call(std::string_view method, std::vector<JsonValue>& params, AnswerBuffer& out,
                              const Caller& caller)
{
    MethodCall call{method, params, out, caller, {}};
    // A release's batch is undone whole, by the release's own undo: the
    // history's undo refuses it, and only an administrator may.
    if (m_releases.takesUndo(method, params)) {
        checkRight(ReleaseMethods::undoRight(), call);
        m_releases.undo(call);
        return;
    }
    const bool ran =
        anyTable(this, [&call](auto table, auto* service) { return service && dispatch(*service, table, call); });
    if (!ran)
        throw RpcError(rpc::MethodNotFound, "Método desconhecido: " + std::string(method) + ".");
}

void TranslationService::checkCall(std::string_view method, std::vector<JsonValue>& params, const Caller& caller)
{
    AnswerBuffer none;
    MethodCall call{method, params, none, caller, {}};
    anyTable(nullptr, [&](auto table, auto*) {
        if (const auto* entry = findMethod(table, method)) {
            checkRight(entry->right, call);
            return true;
        }
        return false;
    });
}

void TranslationService::getIdiTrad(MethodCall& call)
{
    MethodArgs(call, {0});
    const auto languages = m_sessions.acquire()->languages();
    AnswerPacketWriter packet(call.out, LanguageFields);
    for (const auto& lang : languages) {
        packet.beginRow();
        packet.string(0, lang.code);
        packet.string(1, lang.description);
        packet.string(2, lang.prop);
        packet.endRow();
    }
    packet.finish();
}

void TranslationService::getDestino(MethodCall& call)
{
    MethodArgs args(call, {7, 8});
    RowSelection selection;
    selection.statuses = wantedStatuses(args);
    selection.language = args.language(3);
    selection.dates = args.dateRange(4, 6);
    selection.obsolete = args.count() > 7 && args.yesNo(7, "linhas obsoletas");
    writeRows(*m_sessions.acquire(), selection, call.out);
}

void TranslationService::getFiltroDest(MethodCall& call)
{
    MethodArgs args(call, {8, 9});
    RowSelection selection;
    selection.statuses = wantedStatuses(args);
    selection.conditions = parseFilterFragment(args.text(3, "filtro", 64 * 1024));
    // The review condition is not a column's: it selects by the mark.
    for (auto it = selection.conditions.begin(); it != selection.conditions.end();) {
        if (it->column != FilterColumn::Reviewed) {
            ++it;
            continue;
        }
        const bool wanted = it->literal == "S";
        if (selection.reviewed && *selection.reviewed != wanted)
            selection.statuses.clear(); // both S and N: no row
        selection.reviewed = wanted;
        it = selection.conditions.erase(it);
    }
    selection.language = args.language(4);
    selection.dates = args.dateRange(5, 7);
    selection.obsolete = args.count() > 8 && args.yesNo(8, "linhas obsoletas");
    writeRows(*m_sessions.acquire(), selection, call.out);
}

void TranslationService::getCdsFilter(MethodCall& call)
{
    MethodArgs args(call, {3});
    const std::string language = args.language(0);
    const std::string kind = args.text(2, "tipo de listagem", 1);
    const std::string listed = args.packet(1, "itens listados");
    const std::vector<ListedKey> keys = readListedRows(listed, language, kind);
    AnswerPacketWriter packet(call.out, TranslationRowFields);
    m_sessions.acquire()->selectListedRows(
        language, keys, [&packet](const TranslationRowView& row) { writeTranslationRow(packet, row); });
    packet.finish();
}

void TranslationService::setDestino(MethodCall& call)
{
    const Caller& caller = call.caller;
    // A post is a batch of its own, unless the call names an open batch it
    // joins (a replace-all run: docs/history.md).
    WriteOrigin origin;
    origin.user = caller.user;
    origin.method = "SetDestino";
    origin.batch = HistoryMethods::batchOfHeader(caller.batchHeaders);
    if (origin.batch)
        origin.kind = BatchKind::Replace;
    // The delta was read when its languages' rights were checked.
    std::vector<RowChange>& changes = call.delta;
    if (!changes.empty()) {
        guardReviewedRows(caller, changes);
        m_writer.apply(changes, origin);
    }
    AnswerPacketWriter packet(call.out, NoFields);
    packet.finish();
}

void TranslationService::getDataHoraServ(MethodCall& call)
{
    MethodArgs(call, {0});
    AnswerPacketWriter packet(call.out, ClockFields);
    packet.beginRow();
    packet.dateTime(0, m_writer.readTime());
    packet.number(1, utcOffsetMinutes());
    packet.endRow();
    packet.finish();
}

void TranslationService::getInfoTrad(MethodCall& call)
{
    MethodArgs args(call, {3, 1});
    const std::string language = args.language(0);
    AnswerPacketWriter packet(call.out, InfoFields);
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
        session->selectInfoRows(language, args.dateRange(1), writePieces);
    } else {
        RowSelection selection;
        selection.language = language;
        selection.statuses = "TDN";
        session->selectRows(
            selection, [&writePieces](const TranslationRowView& row) { writePieces(row.status, row.destination); });
    }
    packet.finish();
}

void TranslationService::getCalcNtrad(MethodCall& call)
{
    getStatusSummary(call, "N");
}

void TranslationService::getCalcDuv(MethodCall& call)
{
    getStatusSummary(call, "D");
}

void TranslationService::getCalcTrad(MethodCall& call)
{
    MethodArgs args(call, {5, 1});
    if (args.count() == 1) {
        getStatusSummary(call, "T");
        return;
    }
    const std::string language = args.language(0);
    const double first = args.date(1, "data inicial");
    const double last = args.date(2, "data final");
    const std::string status = args.status(3);
    const DateBounds dates = MethodArgs::bounds(first, last, args.dateMode(4));
    const std::int64_t count = m_sessions.acquire()->countRows(language, status, dates);
    AnswerPacketWriter packet(call.out, CountFields);
    packet.beginRow();
    packet.number(0, static_cast<double>(count));
    packet.endRow();
    packet.finish();
}

void TranslationService::getStatusSummary(MethodCall& call, const char* status)
{
    MethodArgs args(call, {1});
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

    AnswerPacketWriter packet(call.out, SummaryFields);
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
