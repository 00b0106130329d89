#include "HistoryMethods.h"

#include "MethodArgs.h"
#include "RpcError.h"
#include "UndoAnswer.h"
#include "Undo.h"
#include "VersionStates.h"

#include <algorithm>
#include <array>
#include <map>

namespace trd::server {

namespace {

constexpr std::array<AnswerField, 11> VersionFields = {{{"IDVERSAO", "r8", 0},
                                                        {"IDLOTE", "r8", 0},
                                                        {"TPLOTE", "string", 20},
                                                        {"NMUSUARIO", "string", 64},
                                                        {"NMMETODO", "string", 40},
                                                        {"DTALTERACAO", "dateTime", 0},
                                                        {"TPALTERACAO", "string", 1},
                                                        {"IDSITANT", "string", 1},
                                                        {"STVALORANT", "string", 4000},
                                                        {"IDSITTRADUCAO", "string", 1},
                                                        {"STVALORPROP", "string", 4000}}};

constexpr std::array<AnswerField, 8> BatchFields = {{{"IDLOTE", "r8", 0},
                                                     {"DTLOTE", "dateTime", 0},
                                                     {"NMUSUARIO", "string", 64},
                                                     {"TPLOTE", "string", 20},
                                                     {"NMMETODO", "string", 40},
                                                     {"NRLINHAS", "r8", 0},
                                                     {"IDLOTEDESFEITO", "r8", 0},
                                                     {"IDDESFEITOPOR", "r8", 0}}};

constexpr std::array<AnswerField, 1> OpenFields = {{{"IDLOTE", "r8", 0}}};
} // namespace

std::span<const MethodEntry<HistoryMethods>> HistoryMethods::methods()
{
    static constexpr MethodEntry<HistoryMethods> Table[] = {
        {"GetHistorico", &HistoryMethods::getHistorico, Right::read()},
        {"GetLotes", &HistoryMethods::getLotes, Right::read()},
        // Another user's batch also needs administrador: checked by the undo
        // once it has found whose the batch is, before it writes.
        {"DesfazLote", &HistoryMethods::desfaz, Right::translate(0, "desfazer alterações dele")},
        {"DesfazVersao", &HistoryMethods::desfaz, Right::translate(0, "desfazer alterações dele")},
        {"AbreLote", &HistoryMethods::abreLote, Right::translate(0, "alterar suas traduções")},
    };
    return Table;
}

std::optional<std::int64_t> HistoryMethods::batchOfHeader(const std::vector<std::string>& headers)
{
    if (headers.empty())
        return std::nullopt;
    // A header given twice, or given with nothing in it, is a client that
    // meant a batch and failed to say which: saving it as a post of its own
    // would put it outside the run it belongs to.
    if (headers.size() > 1)
        invalidParams("O cabeçalho X-Trd-Lote veio " + std::to_string(headers.size())
                      + " vezes; envie-o uma vez só, com o número do lote. Nada foi gravado.");
    const std::string& header = headers.front();
    if (header.find_first_not_of(" \t") == std::string::npos)
        invalidParams("O cabeçalho X-Trd-Lote veio vazio; envie o número de um lote aberto com AbreLote, ou não o "
                      "envie. Nada foi gravado.");
    std::int64_t id = 0;
    const bool digits = header.size() <= 15 && header.find_first_not_of("0123456789") == std::string::npos;
    if (digits)
        id = std::stoll(header);
    if (!digits || id <= 0)
        invalidParams("O cabeçalho X-Trd-Lote deve trazer o número de um lote aberto com AbreLote; recebido \""
                      + header.substr(0, 20) + "\". Nada foi gravado.");
    return id;
}

void HistoryMethods::getHistorico(MethodCall& call)
{
    MethodArgs args(call, {5});
    const std::string language = args.language(0);
    const std::string program = args.text(1, "tela", fieldsize::Program);
    const std::string component = args.text(2, "componente", fieldsize::Component);
    const std::string source = args.text(3, "texto de origem", fieldsize::Text);
    const auto limit = static_cast<std::size_t>(args.integer(4, "máximo de versões (0: todas)", 0, MethodArgs::MaxId));

    auto session = m_sessions.acquire();
    HistoryReader& history = session->history();
    const std::optional<CurrentRow> row = history.rowByKey(language, program, component, source);
    std::vector<history::ResolvedVersion> versions;
    if (row && row->lastVersion)
        versions = history::resolveChain(history.chain(*row->lastVersion, limit), history::stateOf(row));

    AnswerPacketWriter packet(call.out, VersionFields);
    for (const auto& v : versions) {
        packet.beginRow();
        packet.number(0, static_cast<double>(v.record.id));
        packet.number(1, static_cast<double>(v.record.batch));
        packet.string(2, batchKindName(v.record.kind));
        packet.string(3, v.record.user);
        packet.string(4, v.record.method);
        packet.dateTime(5, v.record.when);
        packet.string(6, std::string_view(reinterpret_cast<const char*>(&v.record.type), 1));
        packet.string(7, v.before.status);
        packet.string(8, v.before.text);
        packet.string(9, v.after.status);
        packet.string(10, v.after.text);
        packet.endRow();
    }
    packet.finish();
}

void HistoryMethods::getLotes(MethodCall& call)
{
    MethodArgs args(call, {3});
    const std::string language = args.language(0);
    const DateBounds dates = args.dateRange(1);

    auto session = m_sessions.acquire();
    HistoryReader& history = session->history();
    const std::vector<BatchRecord> batches = history.batches(language, dates);
    // Which batches are undone now: undone by an undo that was not undone itself.
    std::map<std::int64_t, std::int64_t> undoneBy;
    for (const auto& [batch, undo] : history.undos(language))
        undoneBy.emplace(batch, undo);
    const auto inEffect = [&](std::int64_t batch) -> std::int64_t {
        const auto it = undoneBy.find(batch);
        return it != undoneBy.end() && !undoneBy.count(it->second) ? it->second : 0;
    };

    AnswerPacketWriter packet(call.out, BatchFields, batches.size());
    for (const BatchRecord& b : batches) {
        packet.beginRow();
        packet.number(0, static_cast<double>(b.id));
        packet.dateTime(1, b.when);
        packet.string(2, b.user);
        packet.string(3, batchKindName(b.kind));
        packet.string(4, b.method);
        packet.number(5, static_cast<double>(b.rows));
        packet.number(6, static_cast<double>(b.undoes.value_or(0)));
        packet.number(7, static_cast<double>(inEffect(b.id)));
        packet.endRow();
    }
    packet.finish();
}

void HistoryMethods::desfaz(MethodCall& call)
{
    const std::string_view method = call.method;
    const Caller& caller = call.caller;
    const bool whole = method == "DesfazLote";
    MethodArgs args(call, {3});
    history::UndoRequest request;
    request.language = args.language(0);
    const std::int64_t id = args.integer(1, whole ? "lote" : "versão", 1, MethodArgs::MaxId);
    request.force = args.yesNo(2, "forçar");
    request.user = caller.user;
    request.method = std::string(method);
    const Role role = caller.grants.on(request.language);
    request.mayUndoOthers = role >= Role::Administrator;
    request.guardReviewed = role < Role::Reviewer;
    const history::UndoOutcome outcome =
        whole ? history::undoBatch(m_writer, request, id) : history::undoVersion(m_writer, request, id);

    UndoAnswer answer(call.out, outcome.batch.value_or(0));
    for (const history::UndoneRow& r : outcome.rows)
        answer.row({r.program, r.component, r.source, r.restored, r.reason, r.now.text, r.now.status});
    answer.finish();
}

void HistoryMethods::abreLote(MethodCall& call)
{
    const Caller& caller = call.caller;
    MethodArgs args(call, {2, 3});
    const std::string language = args.language(0);
    const std::string kindName = args.text(1, "tipo", 20);
    const std::optional<BatchKind> kind = batchKindFromName(kindName);
    if (!kind || *kind == BatchKind::Edit || *kind == BatchKind::Undo || *kind == BatchKind::Release
        || *kind == BatchKind::Review)
        invalidParams("AbreLote: tipo de lote inválido: \"" + kindName
                      + "\". Use substituicao, importacao, propagacao ou automatica.");
    WriteOrigin origin;
    origin.user = caller.user;
    origin.method = "SetDestino";
    // Where the batch's texts come from, for the history (the engine and
    // route of machine translation: "Apertium por>spa").
    if (args.count() == 3)
        origin.method = args.text(2, "origem", 40);
    origin.kind = *kind;
    bool known = false;
    for (const Language& l : m_sessions.acquire()->languages())
        known = known || l.code == language;
    if (!known)
        throw ServerError(ErrorKind::Conflict, "Idioma não cadastrado: " + language + ".");
    std::int64_t id = 0;
    const double now = m_writer.now();
    m_writer.runExclusive(origin, [&](StorageWriter& w) { id = w.openBatch(origin, language, now); });
    AnswerPacketWriter packet(call.out, OpenFields);
    packet.beginRow();
    packet.number(0, static_cast<double>(id));
    packet.endRow();
    packet.finish();
}

} // namespace trd::server
