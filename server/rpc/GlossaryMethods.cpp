#include "GlossaryMethods.h"

#include "MethodArgs.h"
#include "RpcError.h"
#include "TermRules.h"
#include "TermStore.h"

#include <algorithm>
#include <array>

namespace trd::server {

namespace {

constexpr std::array<AnswerField, 12> TermFields = {{
    {"IDVERSAOTERMO", "r8", 0}, // in the history's answer only; 0 elsewhere
    {"TPALTERACAO", "string", 1}, // I, A or E in the history's answer; empty elsewhere
    {"IDTERMO", "r8", 0},
    {"IDIDIOMA", "string", 3},
    {"DSTERMO", "string", termsize::Term},
    {"DSPREFERIDAS", "string", termsize::Translations},
    {"DSPROIBIDAS", "string", termsize::Translations},
    {"FLNAOTRADUZIR", "string", 1},
    {"DSNOTA", "string", termsize::Note},
    {"CDPROGTRAD", "string", fieldsize::Program},
    {"DTALTERACAO", "dateTime", 0},
    {"NMUSUARIO", "string", 64},
}};

void writeTerm(AnswerPacketWriter& packet, const TermRecord& t, std::int64_t version = 0, char change = 0)
{
    packet.beginRow();
    packet.number(0, static_cast<double>(version));
    packet.string(1, change ? std::string_view(&change, 1) : std::string_view());
    packet.number(2, static_cast<double>(t.id));
    packet.string(3, t.language);
    packet.string(4, t.source);
    packet.string(5, t.preferred);
    packet.string(6, t.forbidden);
    packet.string(7, t.doNotTranslate ? "S" : "N");
    packet.string(8, t.note);
    packet.string(9, t.program);
    packet.dateTime(10, t.changed);
    packet.string(11, t.changedBy);
    packet.endRow();
}

StatementDb& glossaryOf(StorageSession& session)
{
    StatementDb* db = session.glossary();
    if (!db)
        terms::glossaryNotKept();
    return *db;
}

std::int64_t termId(const MethodArgs& args, std::size_t index)
{
    return args.integer(index, "número do termo", 1, std::int64_t(1) << 52);
}

// A change of the term named by its language and id (arguments 0 and 1),
// with the change date its caller read when it sends one at `seenAt`.
TermWrite namedTermWrite(const MethodArgs& args, TermChange change, std::size_t seenAt)
{
    TermWrite w;
    w.change = change;
    w.term.language = args.language(0);
    w.term.id = termId(args, 1);
    if (args.count() > seenAt)
        w.seen = args.date(seenAt, "data da alteração lida");
    return w;
}

// The term's values from arguments first..first+5: words, preferred,
// forbidden, do not translate, note, program.
void readValues(const MethodArgs& args, std::size_t first, TermRecord& t)
{
    t.source = terms::normalisedList(args.text(first, "termo", termsize::Term));
    if (t.source.empty())
        invalidParams("O termo não pode ficar em branco.");
    if (t.source.find('\n') != std::string::npos)
        invalidParams("O termo é uma linha só: as traduções vão uma por linha, o termo não.");
    t.preferred = args.text(first + 1, "traduções preferidas", termsize::Translations);
    t.forbidden = args.text(first + 2, "traduções proibidas", termsize::Translations);
    t.doNotTranslate = args.yesNo(first + 3, "não traduzir");
    t.note = args.text(first + 4, "nota", termsize::Note);
    t.program = args.text(first + 5, "tela", fieldsize::Program);
}

} // namespace

std::span<const MethodEntry<GlossaryMethods>> GlossaryMethods::methods()
{
    static constexpr MethodEntry<GlossaryMethods> Table[] = {
        {"GetTermos", &GlossaryMethods::getTermos, Right::read()},
        {"GetTermo", &GlossaryMethods::getTermo, Right::read()},
        {"AddTermo", &GlossaryMethods::addTermo, Right::review(0, "mudar o glossário dele")},
        {"AlteraTermo", &GlossaryMethods::alteraTermo, Right::review(0, "mudar o glossário dele")},
        {"ExcluiTermo", &GlossaryMethods::excluiTermo, Right::review(0, "mudar o glossário dele")},
        {"GetHistoricoTermos", &GlossaryMethods::getHistoricoTermos, Right::read()},
    };
    return Table;
}

void GlossaryMethods::getTermos(MethodCall& call)
{
    MethodArgs args(call, {1});
    const std::string language = args.language(0);
    const std::vector<TermRecord> all = termstore::terms(glossaryOf(*m_sessions.acquire()), language);
    AnswerPacketWriter packet(call.out, TermFields);
    for (const TermRecord& t : all)
        writeTerm(packet, t);
    packet.finish();
}

void GlossaryMethods::getTermo(MethodCall& call)
{
    MethodArgs args(call, {2});
    const std::string language = args.language(0);
    const std::int64_t id = termId(args, 1);
    const std::optional<TermRecord> t = termstore::term(glossaryOf(*m_sessions.acquire()), language, id);
    if (!t)
        terms::refuseUnknown(language, id);
    AnswerPacketWriter packet(call.out, TermFields);
    writeTerm(packet, *t);
    packet.finish();
}

TermRecord GlossaryMethods::write(const TermWrite& w, MethodCall& call)
{
    const auto languages = m_sessions.acquire()->languages();
    if (std::none_of(languages.begin(), languages.end(), [&](const Language& l) { return l.code == w.term.language; }))
        throw ServerError(ErrorKind::Conflict, "Idioma não cadastrado: " + w.term.language + ".");
    WriteOrigin origin;
    origin.user = call.caller.user;
    origin.method = std::string(call.method);
    TermRecord written;
    m_writer.runExclusive(origin, [&](StorageWriter& writer) {
        StatementDb* db = writer.glossary();
        if (!db)
            terms::glossaryNotKept();
        TermWrite stamped = w;
        stamped.term.changedBy = call.caller.user;
        written = termstore::write(*db, stamped, m_writer.now());
    });
    AnswerPacketWriter packet(call.out, TermFields);
    writeTerm(packet, written);
    packet.finish();
    return written;
}

void GlossaryMethods::addTermo(MethodCall& call)
{
    MethodArgs args(call, {7});
    TermWrite w;
    w.change = TermChange::Insert;
    w.term.language = args.language(0);
    readValues(args, 1, w.term);
    write(w, call);
}

void GlossaryMethods::alteraTermo(MethodCall& call)
{
    MethodArgs args(call, {8, 9});
    TermWrite w = namedTermWrite(args, TermChange::Alter, 8);
    readValues(args, 2, w.term);
    write(w, call);
}

void GlossaryMethods::excluiTermo(MethodCall& call)
{
    MethodArgs args(call, {2, 3});
    write(namedTermWrite(args, TermChange::Delete, 2), call);
}

void GlossaryMethods::getHistoricoTermos(MethodCall& call)
{
    MethodArgs args(call, {1, 2});
    const std::string language = args.language(0);
    const std::int64_t id = args.count() == 2 ? args.integer(1, "número do termo", 0, std::int64_t(1) << 52) : 0;
    const std::vector<TermVersion> versions = termstore::history(glossaryOf(*m_sessions.acquire()), language, id);
    AnswerPacketWriter packet(call.out, TermFields);
    for (const TermVersion& v : versions)
        writeTerm(packet, v.term, v.version, static_cast<char>(v.change));
    packet.finish();
}

} // namespace trd::server
