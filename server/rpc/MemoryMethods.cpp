#include "MemoryMethods.h"

#include "MethodArgs.h"
#include "RpcError.h"
#include "Utf8Text.h"
#include "TranslationRowFields.h"

#include <algorithm>
#include <array>

namespace trd::server {

namespace {

constexpr std::array<AnswerField, 13> SuggestionFields = {{{"TPSUGESTAO", "string", 1},
                                                           {"NRSIMILAR", "r8", 0},
                                                           {"STVALORPROP", "string", 4000},
                                                           {"IDSITTRADUCAO", "string", 1},
                                                           {"STAGRVALPROP", "string", 4000},
                                                           {"CDPROGTRAD", "string", 20},
                                                           {"NMCOMPONENTE", "string", 50},
                                                           {"NRLINHAS", "r8", 0},
                                                           {"NRTRADUCOES", "r8", 0},
                                                           {"DSSITUACOES", "string", 2},
                                                           {"DSPROGRAMAS", "string", 4000},
                                                           {"DTALTERACAO", "dateTime", 0},
                                                           {"STOBSOLETA", "string", 1}}};

constexpr double DefaultThreshold = 70;
// The least threshold searched. Below it a match may be at any distance: a
// long source would be compared with nearly every row of the language (a
// 4,000-character source at 1 % took 0.9 s of processor over 200,000 rows),
// for suggestions nobody would take. Lower values asked are searched at it.
constexpr double LeastThreshold = 50;

// The programs, comma-separated, within the field's 4000 characters: a list
// that does not fit ends with how many were left out; one read from some of
// the rows only ends with "...".
std::string programList(const std::vector<std::string>& programs, bool complete = true)
{
    constexpr std::size_t Width = 4000;
    std::string list;
    for (std::size_t i = 0; i < programs.size(); ++i) {
        const std::string more = " (+" + std::to_string(programs.size() - i) + ")";
        const std::size_t needed = utf8::length(list) + (list.empty() ? 0 : 2) + utf8::length(programs[i]);
        const bool last = i + 1 == programs.size();
        if (needed + (last ? 0 : 8) > Width) {
            list += more;
            break;
        }
        if (!list.empty())
            list += ", ";
        list += programs[i];
    }
    if (!complete)
        list += ", ...";
    return list;
}

void writeVariant(AnswerPacketWriter& packet, const memory::TranslationVariant& v)
{
    packet.string(2, v.best.destination);
    packet.string(3, v.best.status);
    packet.string(4, v.best.source);
    packet.string(5, v.best.program);
    packet.string(6, v.best.component);
}

// The row asked about: language, source, program, component.
memory::MemoryQuery askedRow(MethodArgs& args)
{
    memory::MemoryQuery q;
    q.language = args.language(0);
    q.source = args.text(1, "texto de origem", 4000);
    q.program = args.text(2, "tela", 20);
    q.component = args.text(3, "componente", 50);
    return q;
}

} // namespace

std::span<const MethodEntry<MemoryMethods>> MemoryMethods::methods()
{
    static constexpr MethodEntry<MemoryMethods> Table[] = {
        {"GetSugestoes", &MemoryMethods::getSugestoes, Right::read()},
        {"GetMesmaOrigem", &MemoryMethods::getMesmaOrigem, Right::read()},
        {"GetInconsistencias", &MemoryMethods::getInconsistencias, Right::read()},
    };
    return Table;
}

void MemoryMethods::getSugestoes(MethodCall& call)
{
    MethodArgs args(call, {4, 5});
    memory::MemoryQuery q = askedRow(args);
    q.threshold = DefaultThreshold;
    if (args.count() == 5) {
        if (!call.params[4].isNumber() || !(call.params[4].number() >= 1 && call.params[4].number() <= 100))
            invalidParams("GetSugestoes: o argumento 5 (limiar de semelhança) deve ser um número de 1 a 100.");
        q.threshold = std::max(LeastThreshold, call.params[4].number());
    }
    const memory::Suggestions found = m_memory.suggest(q);

    AnswerPacketWriter packet(call.out, SuggestionFields);
    for (const memory::TranslationVariant& v : found.exact) {
        packet.beginRow();
        packet.string(0, "I");
        packet.number(1, 100);
        writeVariant(packet, v);
        packet.number(7, static_cast<double>(v.rows));
        packet.number(8, 1);
        packet.string(9, v.statuses);
        packet.string(10, programList(v.programs, v.programsComplete));
        packet.dateTime(11, v.best.changed);
        packet.string(12, v.best.obsolete ? "S" : "N");
        packet.endRow();
    }
    for (const memory::FuzzySuggestion& f : found.fuzzy) {
        packet.beginRow();
        packet.string(0, "P");
        packet.number(1, f.similarity.shownPercent());
        packet.string(2, f.best.destination);
        packet.string(3, f.best.status);
        packet.string(4, f.best.source);
        packet.string(5, f.best.program);
        packet.string(6, f.best.component);
        packet.number(7, static_cast<double>(f.rows));
        packet.number(8, static_cast<double>(f.translations));
        packet.string(9, "");
        packet.string(10, "");
        packet.dateTime(11, f.best.changed);
        packet.string(12, f.best.obsolete ? "S" : "N");
        packet.endRow();
    }
    packet.finish();
}

void MemoryMethods::getMesmaOrigem(MethodCall& call)
{
    MethodArgs args(call, {4});
    const memory::MemoryQuery q = askedRow(args);
    const std::vector<memory::MemoryRowDetail> rows = m_memory.sameSource(q);
    // Where the language requires review a reviewed row is not every
    // writer's to change: the marks go with the rows, so the editor leaves
    // out beforehand those its user may not save (docs/users.md). Elsewhere
    // no mark keeps a row from a change, and none is read (the memory's
    // index does not hold them).
    std::vector<std::optional<ReviewMark>> marks(rows.size());
    if (m_sessions) {
        auto session = m_sessions->acquire();
        const auto settings = session->reviewSettings();
        const bool required = std::any_of(settings.begin(), settings.end(),
                                          [&](const auto& s) { return s.first == q.language && s.second.required; });
        for (std::size_t i = 0; required && i < rows.size(); ++i)
            marks[i] = session->reviewMark({q.language, rows[i].program, rows[i].component, rows[i].source});
    }
    AnswerPacketWriter packet(call.out, TranslationRowFields);
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const memory::MemoryRowDetail& row = rows[i];
        writeTranslationRow(packet,
                            {.source = row.source,
                             .destination = row.destination,
                             .status = row.status,
                             .language = q.language,
                             .component = row.component,
                             .program = row.program,
                             .reviewer = marks[i] ? std::string_view(marks[i]->reviewer) : std::string_view(),
                             .reviewed = marks[i] ? marks[i]->when : 0});
    }
    packet.finish();
}

void MemoryMethods::getInconsistencias(MethodCall& call)
{
    MethodArgs args(call, {1});
    writeInconsistencies(m_memory, args.language(0), call.out);
}

void MemoryMethods::writeInconsistencies(memory::TranslationMemory& memory, const std::string& language,
                                         AnswerBuffer& out)
{
    const std::vector<memory::InconsistentSource> sources = memory.inconsistencies(language);
    AnswerPacketWriter packet(out, InconsistencyFields);
    double group = 0;
    for (const memory::InconsistentSource& s : sources) {
        ++group;
        for (const memory::TranslationVariant& v : s.variants) {
            packet.beginRow();
            packet.number(0, group);
            packet.string(1, s.source);
            packet.number(2, static_cast<double>(s.rows));
            packet.number(3, static_cast<double>(s.variants.size()));
            packet.string(4, v.best.destination);
            packet.string(5, v.best.status);
            packet.number(6, static_cast<double>(v.rows));
            packet.string(7, v.statuses);
            packet.string(8, programList(v.programs));
            packet.string(9, v.best.program);
            packet.string(10, v.best.component);
            packet.dateTime(11, v.best.changed);
            packet.endRow();
        }
    }
    packet.finish();
}

} // namespace trd::server
