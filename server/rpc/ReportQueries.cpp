#include "ReportQueries.h"

#include "AnswerPacketWriter.h"
#include "MemoryMethods.h"
#include "MethodArgs.h"
#include "QualityReport.h"
#include "RpcError.h"
#include "Utf8Text.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cmath>
#include <map>
#include <optional>
#include <span>

namespace trd::server {

namespace {

enum class ParamKind { Text, Date };

struct QueryParam {
    const char* name;
    ParamKind kind;
    std::size_t maxChars; // Text
};

// The values a request bound, by declared name.
struct Bound {
    std::map<std::string, std::string> texts;
    std::map<std::string, double> dates;
    const std::string& text(const char* name) const { return texts.at(name); }
    double date(const char* name) const { return dates.at(name); }
};

// What a query reads from: the database, and the translation memory when the
// server has one.
struct Sources {
    SessionPool& sessions;
    memory::TranslationMemory* memory;
    ReportDictionaries& dictionaries;
};

using Runner = void (*)(Sources&, const Bound&, AnswerBuffer&);

struct Query {
    const char* name;
    const char* description;
    std::span<const QueryParam> params;
    std::span<const AnswerField> fields;
    Runner run;
};

constexpr std::array<QueryParam, 5> LinesParams = {{{"P_IDIDIOMA", ParamKind::Text, 3},
                                                    {"P_SITUACAO", ParamKind::Text, 1},
                                                    {"P_TSITUACAO", ParamKind::Text, 3},
                                                    {"P_DtIni", ParamKind::Date, 0},
                                                    {"P_DtFim", ParamKind::Date, 0}}};
constexpr std::array<AnswerField, 7> LinesFields = {{{"CDPROGTRAD", "string", 20},
                                                     {"NMCOMPONENTE", "string", 50},
                                                     {"STAGRVALPROP", "string", 4000},
                                                     {"STVALORPROP", "string", 4000},
                                                     {"IDSITTRADUCAO", "string", 1},
                                                     {"NRCARACTER", "r8", 0},
                                                     {"DTALTERACAO", "dateTime", 0}}};

constexpr std::array<QueryParam, 1> LanguageParam = {{{"P_IDIDIOMA", ParamKind::Text, 3}}};
constexpr std::array<AnswerField, 7> ProgramFields = {{{"CDPROGTRAD", "string", 20},
                                                       {"NRTOTAL", "r8", 0},
                                                       {"NRTRAD", "r8", 0},
                                                       {"NRDUV", "r8", 0},
                                                       {"NRNTRAD", "r8", 0},
                                                       {"PCTRAD", "r8", 0},
                                                       {"NRCARACTER", "r8", 0}}};

constexpr std::array<QueryParam, 0> NoParams = {};
constexpr std::array<AnswerField, 7> LanguageFields = {{{"IDIDIOMA", "string", 3},
                                                        {"DSIDIOMA", "string", 30},
                                                        {"NRTOTAL", "r8", 0},
                                                        {"NRTRAD", "r8", 0},
                                                        {"NRDUV", "r8", 0},
                                                        {"NRNTRAD", "r8", 0},
                                                        {"PCTRAD", "r8", 0}}};

// The statuses wanted: P_SITUACAO, unless it is empty or P_TSITUACAO is "ALL".
std::string wantedStatuses(const Bound& b)
{
    const std::string& status = b.text("P_SITUACAO");
    const std::string& all = b.text("P_TSITUACAO");
    if (!all.empty() && all != "ALL")
        invalidParams("GetConsultaRel: P_TSITUACAO deve ser \"ALL\" ou vazio, não \"" + all + "\".");
    if (!status.empty() && status != "T" && status != "D" && status != "N")
        invalidParams("GetConsultaRel: P_SITUACAO deve ser T, D, N ou vazio, não \"" + status + "\".");
    return all == "ALL" || status.empty() ? std::string("TDN") : status;
}

void runLines(Sources& sources, const Bound& b, AnswerBuffer& out)
{
    auto session = sources.sessions.acquire();
    RowSelection selection;
    selection.language = b.text("P_IDIDIOMA");
    selection.statuses = wantedStatuses(b);
    // P_DtIni is the first day (0: open); P_DtFim the day after the last
    // (an empty final date arrives as 0 + 1: open).
    if (const double from = b.date("P_DtIni"); from != 0)
        selection.dates.from = std::floor(from);
    if (const double until = b.date("P_DtFim"); until > 1)
        selection.dates.until = std::floor(until);
    AnswerPacketWriter packet(out, LinesFields);
    session->selectRows(selection, [&packet](const TranslationRowView& row) {
        packet.beginRow();
        packet.string(0, row.program);
        packet.string(1, row.component);
        packet.string(2, row.source);
        packet.string(3, row.destination);
        packet.string(4, row.status);
        packet.number(5, static_cast<double>(utf8::countedLength(row.destination)));
        packet.dateTime(6, row.changed);
        packet.endRow();
    });
    packet.finish();
}

void runPrograms(Sources& sources, const Bound& b, AnswerBuffer& out)
{
    auto session = sources.sessions.acquire();
    RowSelection selection;
    selection.language = b.text("P_IDIDIOMA");
    selection.statuses = "TDN";
    AnswerPacketWriter packet(out, ProgramFields);
    std::string program;
    double counts[3] = {0, 0, 0}; // T, D, N
    double characters = 0;
    bool open = false;
    auto flush = [&] {
        if (!open)
            return;
        const double total = counts[0] + counts[1] + counts[2];
        packet.beginRow();
        packet.string(0, program);
        packet.number(1, total);
        packet.number(2, counts[0]);
        packet.number(3, counts[1]);
        packet.number(4, counts[2]);
        packet.number(5, total > 0 ? counts[0] * 100.0 / total : 0.0);
        packet.number(6, characters);
        packet.endRow();
    };
    // Rows come ordered by program: one pass, one program at a time.
    session->selectRows(selection, [&](const TranslationRowView& row) {
        if (!open || row.program != program) {
            flush();
            program.assign(row.program);
            counts[0] = counts[1] = counts[2] = 0;
            characters = 0;
            open = true;
        }
        const char s = row.status.empty() ? ' ' : row.status[0];
        counts[s == 'T' ? 0 : s == 'D' ? 1 : 2] += 1;
        if (s == 'T')
            characters += static_cast<double>(utf8::countedLength(row.destination));
    });
    flush();
    packet.finish();
}

void runLanguages(Sources& sources, const Bound&, AnswerBuffer& out)
{
    auto session = sources.sessions.acquire();
    AnswerPacketWriter packet(out, LanguageFields);
    for (const Language& lang : session->languages()) {
        const auto t = static_cast<double>(session->countRows(lang.code, "T", {}));
        const auto d = static_cast<double>(session->countRows(lang.code, "D", {}));
        const auto n = static_cast<double>(session->countRows(lang.code, "N", {}));
        packet.beginRow();
        packet.string(0, lang.code);
        packet.string(1, lang.description);
        packet.number(2, t + d + n);
        packet.number(3, t);
        packet.number(4, d);
        packet.number(5, n);
        packet.number(6, t + d + n > 0 ? t * 100.0 / (t + d + n) : 0.0);
        packet.endRow();
    }
    packet.finish();
}

void runInconsistencies(Sources& sources, const Bound& b, AnswerBuffer& out)
{
    if (!sources.memory)
        throw ServerError(ErrorKind::Unavailable, "Este servidor não tem memória de tradução.");
    MemoryMethods::writeInconsistencies(*sources.memory, b.text("P_IDIDIOMA"), out);
}

void runFindings(Sources& sources, const Bound& b, AnswerBuffer& out)
{
    auto session = sources.sessions.acquire();
    runFindingsByProgram(*session, b.text("P_IDIDIOMA"), sources.dictionaries, out);
}

constexpr std::array<Query, 5> Catalog = {{
    {"LinhasPorTela", "Linhas de um idioma por situação e período de alteração, para agrupar por tela", LinesParams,
     LinesFields, runLines},
    {"ProgressoPorTela", "Progresso da tradução de um idioma por tela", LanguageParam, ProgramFields, runPrograms},
    {"ProgressoPorIdioma", "Progresso da tradução de cada idioma", NoParams, LanguageFields, runLanguages},
    {"VerificacoesPorTela", "O que as verificações acham nas traduções de um idioma, por tela e verificação",
     LanguageParam, FindingsByProgramFields, runFindings},
    {"TraducoesDivergentes", "Textos de origem traduzidos de mais de uma forma, com suas variantes", LanguageParam,
     InconsistencyFields, runInconsistencies},
}};

bool sameName(std::string_view a, std::string_view b)
{
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::toupper(static_cast<unsigned char>(x)) == std::toupper(static_cast<unsigned char>(y));
           });
}

std::string names(const auto& items)
{
    std::string list;
    for (const auto& item : items)
        list += (list.empty() ? "" : ", ") + std::string(item.name);
    return list.empty() ? std::string("nenhum") : list;
}

} // namespace

std::span<const MethodEntry<ReportQueries>> ReportQueries::methods()
{
    static constexpr MethodEntry<ReportQueries> Table[] = {
        {"GetCatalogoRel", &ReportQueries::catalog, Right::read()},
        {"GetConsultaRel", &ReportQueries::run, Right::read()},
    };
    return Table;
}

void ReportQueries::catalog(MethodCall& call)
{
    MethodArgs(call, {0});
    static constexpr std::array<AnswerField, 4> Fields = {{{"NMCONSULTA", "string", 40},
                                                           {"DSCONSULTA", "string", 200},
                                                           {"PARAMETROS", "string", 400},
                                                           {"CAMPOS", "string", 400}}};
    AnswerPacketWriter packet(call.out, Fields);
    for (const Query& q : Catalog) {
        std::string paramList, fieldList;
        for (const QueryParam& p : q.params)
            paramList +=
                std::string(paramList.empty() ? "" : ";") + p.name + (p.kind == ParamKind::Date ? ":date" : ":string");
        for (const AnswerField& f : q.fields)
            fieldList += std::string(fieldList.empty() ? "" : ";") + f.name;
        packet.beginRow();
        packet.string(0, q.name);
        packet.string(1, q.description);
        packet.string(2, paramList);
        packet.string(3, fieldList);
        packet.endRow();
    }
    packet.finish();
}

void ReportQueries::run(MethodCall& call)
{
    std::vector<JsonValue>& params = call.params;
    AnswerBuffer& out = call.out;
    MethodArgs args(call);
    if (params.empty() || params.size() % 2 == 0)
        invalidParams("GetConsultaRel recebe o nome da consulta seguido de pares nome do parâmetro, valor.");
    const std::string name = args.text(0, "consulta", 40);
    const Query* query = nullptr;
    for (const Query& q : Catalog)
        if (sameName(q.name, name))
            query = &q;
    if (!query)
        invalidParams("Consulta de relatório desconhecida: \"" + name + "\". Consultas: " + names(Catalog) + ".");

    Bound bound;
    for (std::size_t i = 1; i < params.size(); i += 2) {
        const std::string pname = args.text(i, "nome do parâmetro", 40);
        const QueryParam* decl = nullptr;
        for (const QueryParam& p : query->params)
            if (sameName(p.name, pname))
                decl = &p;
        if (!decl)
            invalidParams("A consulta " + std::string(query->name) + " não tem o parâmetro \"" + pname
                          + "\". Parâmetros: " + names(query->params) + ".");
        if (bound.texts.count(decl->name) || bound.dates.count(decl->name))
            invalidParams("O parâmetro " + std::string(decl->name) + " foi enviado duas vezes.");
        if (decl->kind == ParamKind::Date)
            bound.dates[decl->name] = args.date(i + 1, decl->name);
        else
            bound.texts[decl->name] = args.text(i + 1, decl->name, decl->maxChars);
    }
    for (const QueryParam& p : query->params)
        if (!bound.texts.count(p.name) && !bound.dates.count(p.name))
            invalidParams("A consulta " + std::string(query->name) + " precisa do parâmetro " + p.name + ".");
    Sources sources{m_sessions, m_memory, *m_dictionaries};
    query->run(sources, bound, out);
}

} // namespace trd::server
