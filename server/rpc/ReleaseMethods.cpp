#include "ReleaseMethods.h"

#include "HistoryRecords.h"
#include "MethodArgs.h"
#include "ReleaseApply.h"
#include "RowFieldCopy.h"
#include "RpcError.h"
#include "UndoAnswer.h"

#include <algorithm>
#include <array>
#include <map>

namespace trd::server {

namespace {

constexpr std::array<AnswerField, 24> ReleaseFields = {{{"TPLINHA", "string", 1},
                                                        {"IDIDIOMA", "string", 3},
                                                        {"CDPROGTRAD", "string", 20},
                                                        {"NMCOMPONENTE", "string", 50},
                                                        {"STAGRVALPROP", "string", 4000},
                                                        {"CDPROGANT", "string", 20},
                                                        {"NMCOMPANT", "string", 50},
                                                        {"STAGRVALANT", "string", 4000},
                                                        {"STVALORPROP", "string", 4000},
                                                        {"IDSITTRADUCAO", "string", 1},
                                                        {"NRSIMILAR", "r8", 0},
                                                        {"STMEMORIA", "string", 1},
                                                        {"NRVIVAS", "r8", 0},
                                                        {"NRMANTIDAS", "r8", 0},
                                                        {"NRREESCRITAS", "r8", 0},
                                                        {"NRMOVIDAS", "r8", 0},
                                                        {"NRNOVAS", "r8", 0},
                                                        {"NRMEMORIA", "r8", 0},
                                                        {"NRREVIVIDAS", "r8", 0},
                                                        {"NROBSOLETAS", "r8", 0},
                                                        {"PCOBSOLETAS", "r8", 0},
                                                        {"STCONFIRMAR", "string", 1},
                                                        {"DSAVISO", "string", 200},
                                                        {"IDLOTE", "r8", 0}}};
enum ReleaseField {
    Kind,
    LanguageCode,
    Program,
    Component,
    Source,
    FromProgram,
    FromComponent,
    FromSource,
    Destination,
    Status,
    Similar,
    Memory,
    Live,
    Kept,
    Reworded,
    Moved,
    Added,
    FromMemory,
    Revived,
    Vanished,
    Percent,
    Confirm,
    Warning,
    Batch
};

constexpr std::array<AnswerField, 11> PreviousFields = {{{"CDPROGTRAD", "string", 20},
                                                         {"NMCOMPONENTE", "string", 50},
                                                         {"STAGRVALPROP", "string", 4000},
                                                         {"TPLIBERACAO", "string", 1},
                                                         {"CDPROGANT", "string", 20},
                                                         {"NMCOMPANT", "string", 50},
                                                         {"STAGRVALANT", "string", 4000},
                                                         {"NRSIMILAR", "r8", 0},
                                                         {"IDLOTE", "r8", 0},
                                                         {"DTLOTE", "dateTime", 0},
                                                         {"STULTIMA", "string", 1}}};

constexpr std::array<AnswerField, 8> ObsoleteFields = {{{"STAGRVALPROP", "string", 4000},
                                                        {"STVALORPROP", "string", 4000},
                                                        {"IDSITTRADUCAO", "string", 1},
                                                        {"IDIDIOMA", "string", 3},
                                                        {"NMCOMPONENTE", "string", 50},
                                                        {"CDPROGTRAD", "string", 20},
                                                        {"DTALTERACAO", "dateTime", 0},
                                                        {"IDLOTE", "r8", 0}}};

// An apply's progress (GetProgressoLiberacao) and the answer to its cancel.
constexpr std::array<AnswerField, 5> ProgressFields = {{{"STETAPA", "string", 20},
                                                        {"IDIDIOMA", "string", 3},
                                                        {"NRFEITOS", "r8", 0},
                                                        {"NRTOTAL", "r8", 0},
                                                        {"FLCANCELADA", "string", 1}}};

// The token an apply is followed by: what a client's random identifier needs, nothing that must be escaped.
constexpr std::size_t TokenChars = 64;

std::string applyToken(MethodArgs& args, std::size_t index)
{
    std::string token = args.text(index, "identificação da aplicação", TokenChars);
    const bool plain = !token.empty() && std::all_of(token.begin(), token.end(), [](unsigned char c) {
        return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '-' || c == '_';
    });
    if (!plain)
        invalidParams("A identificação da aplicação deve ter de 1 a 64 letras, dígitos, '-' ou '_'.");
    return token;
}

// One row of the answer: every field written once, in the packet's order;
// those a row kind does not use are empty.
struct ReleaseRow {
    char kind = 'S';
    std::string_view language, program, component, source, fromProgram, fromComponent, fromSource, destination, status;
    double similar = 0;
    bool memory = false;
    const release::Counts* counts = nullptr;
    const release::LanguageSummary* whole = nullptr;
    std::int64_t batch = 0;
};

void writeRow(AnswerPacketWriter& packet, const ReleaseRow& r)
{
    const release::Counts none;
    const release::Counts& c = r.counts ? *r.counts : none;
    packet.beginRow();
    packet.string(Kind, std::string_view(&r.kind, 1));
    packet.string(LanguageCode, r.language);
    packet.string(Program, r.program);
    packet.string(Component, r.component);
    packet.string(Source, r.source);
    packet.string(FromProgram, r.fromProgram);
    packet.string(FromComponent, r.fromComponent);
    packet.string(FromSource, r.fromSource);
    packet.string(Destination, r.destination);
    packet.string(Status, r.status);
    packet.number(Similar, r.similar);
    packet.string(Memory, r.memory ? "S" : "N");
    packet.number(Live, static_cast<double>(c.live));
    packet.number(Kept, static_cast<double>(c.kept));
    packet.number(Reworded, static_cast<double>(c.reworded));
    packet.number(Moved, static_cast<double>(c.moved));
    packet.number(Added, static_cast<double>(c.added));
    packet.number(FromMemory, static_cast<double>(c.fromMemory));
    packet.number(Revived, static_cast<double>(c.revived));
    packet.number(Vanished, static_cast<double>(c.vanished));
    packet.number(Percent, r.whole ? r.whole->vanishedPercent : 0);
    packet.string(Confirm, r.whole && r.whole->needsConfirm ? "S" : "N");
    packet.string(Warning, r.whole ? std::string_view(r.whole->warning) : std::string_view());
    packet.number(Batch, static_cast<double>(r.batch));
    packet.endRow();
}

void writeOutcome(AnswerBuffer& out, const release::ReleaseOutcome& outcome)
{
    AnswerPacketWriter packet(out, ReleaseFields);
    for (const release::LanguageOutcome& l : outcome.languages) {
        ReleaseRow total;
        total.language = l.language;
        total.counts = &l.summary.total;
        total.whole = &l.summary;
        total.batch = l.batch;
        writeRow(packet, total);
        for (const release::Counts& c : l.summary.programs) {
            ReleaseRow program;
            program.language = l.language;
            program.program = c.program;
            program.counts = &c;
            writeRow(packet, program);
        }
        for (const release::DetailRow& d : l.details) {
            ReleaseRow row;
            row.kind = d.kind;
            row.language = l.language;
            copyRowText(row, d);
            row.fromProgram = d.fromProgram;
            row.fromComponent = d.fromComponent;
            row.fromSource = d.fromSource;
            row.similar = d.similarity;
            row.memory = d.fromMemory;
            writeRow(packet, row);
        }
    }
    packet.finish();
}

// The batch of the language's newest release that no undo has undone.
std::int64_t lastRelease(HistoryReader& history, const std::string& language)
{
    std::map<std::int64_t, std::int64_t> undoneBy;
    for (const auto& [batch, undo] : history.undos(language))
        undoneBy.emplace(batch, undo);
    for (const BatchRecord& b : history.batches(language, {}))
        if (b.kind == BatchKind::Release && !undoneBy.count(b.id))
            return b.id;
    return 0;
}

} // namespace

std::span<const MethodEntry<ReleaseMethods>> ReleaseMethods::methods()
{
    // A preview writes nothing and tells nothing a reader could not count
    // from the rows; applying one changes every language at once.
    static constexpr MethodEntry<ReleaseMethods> Table[] = {
        {"GetPreviaLiberacao", &ReleaseMethods::preview, Right::read()},
        {"AplicaLiberacao", &ReleaseMethods::apply, Right::administer("aplicar uma liberação do aplicativo")},
        {"GetOrigensAnteriores", &ReleaseMethods::previousSources, Right::read()},
        {"GetObsoletas", &ReleaseMethods::obsoleteRows, Right::read()},
        {"GetProgressoLiberacao", &ReleaseMethods::applyProgress,
         Right::administer("acompanhar a aplicação de uma liberação do aplicativo")},
        {"CancelaLiberacao", &ReleaseMethods::cancelApply,
         Right::administer("cancelar a aplicação de uma liberação do aplicativo")},
    };
    return Table;
}

Right ReleaseMethods::undoRight()
{
    return Right::administer("desfazer uma liberação do aplicativo");
}

bool ReleaseMethods::takesUndo(std::string_view method, const std::vector<JsonValue>& params)
{
    if (method != "DesfazLote" || params.size() != 3 || !params[1].isNumber())
        return false;
    const double id = params[1].number();
    if (!(id >= 1 && id <= static_cast<double>(MethodArgs::MaxId)))
        return false;
    const auto batch = m_sessions.acquire()->history().batch(static_cast<std::int64_t>(id));
    return batch && batch->kind == BatchKind::Release;
}

void ReleaseMethods::previewOrApply(bool apply, MethodCall& call)
{
    const Caller& caller = call.caller;
    MethodArgs args(call);
    if (apply)
        args.expectCount({1, 2, 3, 4, 5, 6});
    else
        args.expectCount({1, 2, 3, 4, 5});
    release::ReleaseRequest request;
    request.file = args.packet(0, "arquivo da liberação");
    if (args.count() > 1)
        request.options.threshold = static_cast<int>(args.integer(1, "similaridade mínima (%)", 50, 100));
    if (args.count() > 2)
        request.vanishLimit = static_cast<int>(args.integer(2, "limite de linhas obsoletas (%)", 0, 100));
    if (args.count() > 3)
        request.options.memory = args.yesNo(3, "oferecer a memória");
    if (args.count() > 4)
        request.confirm = args.yesNo(4, "confirmar");
    request.user = caller.user;

    std::vector<std::string> languages;
    for (const Language& l : m_sessions.acquire()->languages())
        languages.push_back(l.code);
    release::ReleaseOutcome outcome;
    if (apply) {
        // With a token the apply can be followed and cancelled from other calls.
        std::shared_ptr<release::ReleaseProgress> progress;
        if (args.count() > 5)
            progress = m_jobs.start(applyToken(args, 5), caller.user);
        try {
            outcome = release::applyRelease(m_writer, languages, request, progress.get());
        } catch (...) {
            if (progress)
                progress->finished(false);
            throw;
        }
        if (progress)
            progress->finished(true);
    } else {
        outcome = release::previewRelease(*m_sessions.acquire(), languages, request);
    }

    writeOutcome(call.out, outcome);
}

void ReleaseMethods::previousSources(MethodCall& call)
{
    MethodArgs args(call, {2});
    const std::string language = args.language(0);
    const std::string scope = args.text(1, "escopo", 1);
    if (scope != "U" && scope != "T")
        invalidParams("GetOrigensAnteriores: escopo inválido: \"" + scope
                      + "\". Use U (a última liberação) ou T (todas).");
    auto session = m_sessions.acquire();
    const std::int64_t last = lastRelease(session->history(), language);
    AnswerPacketWriter packet(call.out, PreviousFields);
    if (scope == "T" || last != 0) {
        session->selectPreviousSources(language, scope == "U" ? last : 0, [&](const PreviousSourceView& v) {
            const char kind = static_cast<char>(v.origin);
            packet.beginRow();
            packet.string(0, v.program);
            packet.string(1, v.component);
            packet.string(2, v.source);
            packet.string(3, std::string_view(&kind, 1));
            packet.string(4, v.fromProgram);
            packet.string(5, v.fromComponent);
            packet.string(6, v.fromSource);
            packet.number(7, v.similarity);
            packet.number(8, static_cast<double>(v.batch));
            packet.dateTime(9, v.batchWhen);
            packet.string(10, v.batch == last ? "S" : "N");
            packet.endRow();
        });
    }
    packet.finish();
}

void ReleaseMethods::obsoleteRows(MethodCall& call)
{
    MethodArgs args(call, {1});
    const std::string language = args.language(0);
    AnswerPacketWriter packet(call.out, ObsoleteFields);
    m_sessions.acquire()->selectObsoleteRows(language, [&](const ObsoleteRowView& r) {
        packet.beginRow();
        packet.string(0, r.source);
        packet.string(1, r.destination);
        packet.string(2, r.status);
        packet.string(3, language);
        packet.string(4, r.component);
        packet.string(5, r.program);
        packet.dateTime(6, r.changed);
        packet.number(7, static_cast<double>(r.batch));
        packet.endRow();
    });
    packet.finish();
}

void ReleaseMethods::undo(MethodCall& call)
{
    const Caller& caller = call.caller;
    MethodArgs args(call, {3});
    const std::string language = args.language(0);
    const std::int64_t id = args.integer(1, "lote", 1, MethodArgs::MaxId);
    const bool force = args.yesNo(2, "forçar");
    const release::ReleaseUndoOutcome outcome = release::undoRelease(m_writer, language, id, force, caller.user);
    UndoAnswer answer(call.out, outcome.batch);
    for (const release::ReleaseUndoRow& r : outcome.rows)
        answer.row({r.program, r.component, r.source, r.restored, r.reason, r.destination, r.status});
    answer.finish();
}

namespace {

void writeProgress(AnswerBuffer& out, const release::ApplySnapshot* s, bool cancelled)
{
    AnswerPacketWriter packet(out, ProgressFields);
    packet.beginRow();
    // Unknown: not started yet (the apply's call may still be on its way), or ended long ago.
    packet.string(0, s ? release::phaseName(s->phase) : "desconhecida");
    packet.string(1, s ? s->language : std::string());
    packet.number(2, s ? static_cast<double>(s->languagesDone) : 0);
    packet.number(3, s ? static_cast<double>(s->languages) : 0);
    packet.string(4, cancelled ? "S" : "N");
    packet.endRow();
    packet.finish();
}

} // namespace

void ReleaseMethods::applyProgress(MethodCall& call)
{
    MethodArgs args(call, {1});
    const auto progress = m_jobs.find(applyToken(args, 0), call.caller.user);
    if (!progress) {
        writeProgress(call.out, nullptr, false);
        return;
    }
    const release::ApplySnapshot s = progress->snapshot();
    writeProgress(call.out, &s, s.cancelAsked);
}

void ReleaseMethods::cancelApply(MethodCall& call)
{
    MethodArgs args(call, {1});
    const auto progress = m_jobs.find(applyToken(args, 0), call.caller.user);
    if (!progress) {
        // Nothing of the caller's runs under that token: nothing to cancel (N).
        writeProgress(call.out, nullptr, false);
        return;
    }
    // N: too late, the apply is committing or has ended; its own answer says how.
    const bool cancelled = progress->cancel();
    const release::ApplySnapshot s = progress->snapshot();
    writeProgress(call.out, &s, cancelled);
}

} // namespace trd::server
