#include "ReviewMethods.h"

#include "MethodArgs.h"
#include "RpcError.h"

#include <algorithm>
#include <array>

namespace trd::server {

namespace {

constexpr std::array<AnswerField, 2> MarkFields = {{{"NMREVISOR", "string", 64}, {"DTREVISAO", "dateTime", 0}}};

constexpr std::array<AnswerField, 3> SettingsFields = {
    {{"IDIDIOMA", "string", 3}, {"FLREVOBRIG", "string", 1}, {"FLREVPROPRIA", "string", 1}}};

constexpr std::array<AnswerField, 3> CountFields = {
    {{"IDSITTRADUCAO", "string", 1}, {"NRLINHAS", "r8", 0}, {"NRREVISADAS", "r8", 0}}};

ReviewSettings settingsOf(StorageSession& session, const std::string& language)
{
    for (const auto& [code, rules] : session.reviewSettings())
        if (code == language)
            return rules;
    return {};
}

} // namespace

std::span<const MethodEntry<ReviewMethods>> ReviewMethods::methods()
{
    static constexpr MethodEntry<ReviewMethods> Table[] = {
        {"MarcaRevisao", &ReviewMethods::marcaRevisao, Right::review(0, "marcar traduções como revisadas")},
        {"SetRevisaoIdioma", &ReviewMethods::setRevisaoIdioma,
         Right::administerLanguage(0, "mudar as regras de revisão dele")},
        {"GetCalcRevisadas", &ReviewMethods::getCalcRevisadas, Right::read()},
    };
    return Table;
}

void ReviewMethods::marcaRevisao(MethodCall& call)
{
    MethodArgs args(call, {5, 7});
    RowChange change;
    change.kind = RowChange::Kind::Review;
    change.original.language = args.language(0);
    change.original.program = args.text(1, "tela", fieldsize::Program);
    change.original.component = args.text(2, "componente", fieldsize::Component);
    change.original.source = args.text(3, "texto de origem", fieldsize::Text);
    change.marked = args.yesNo(4, "marcada");
    if (args.count() == 7) {
        change.checkSeen = true;
        change.originalDestination = args.text(5, "texto de destino", fieldsize::Text);
        change.originalStatus = args.status(6, false);
    }
    change.reviewer = call.caller.user;
    change.refuseOwnChange =
        change.marked && settingsOf(*m_sessions.acquire(), change.original.language).ownChangeBlocked;

    WriteOrigin origin;
    origin.user = call.caller.user;
    origin.method = "MarcaRevisao";
    origin.kind = BatchKind::Review;
    m_writer.apply({change}, origin);

    const std::optional<ReviewMark> mark = m_sessions.acquire()->reviewMark(change.original);
    AnswerPacketWriter packet(call.out, MarkFields);
    packet.beginRow();
    packet.string(0, mark ? std::string_view(mark->reviewer) : std::string_view());
    if (mark)
        packet.dateTime(1, mark->when);
    packet.endRow();
    packet.finish();
}

void ReviewMethods::setRevisaoIdioma(MethodCall& call)
{
    MethodArgs args(call, {3});
    const std::string language = args.language(0);
    ReviewSettings settings;
    settings.required = args.yesNo(1, "revisão obrigatória");
    settings.ownChangeBlocked = args.yesNo(2, "revisor não marca a própria alteração");
    const auto languages = m_sessions.acquire()->languages();
    if (std::none_of(languages.begin(), languages.end(), [&](const Language& l) { return l.code == language; }))
        throw ServerError(ErrorKind::Conflict, "Idioma não cadastrado: " + language + ".");
    WriteOrigin origin;
    origin.user = call.caller.user;
    origin.method = "SetRevisaoIdioma";
    m_writer.runExclusive(origin, [&](StorageWriter& w) { w.setReviewSettings(language, settings); });

    const ReviewSettings now = settingsOf(*m_sessions.acquire(), language);
    AnswerPacketWriter packet(call.out, SettingsFields);
    packet.beginRow();
    packet.string(0, language);
    packet.string(1, now.required ? "S" : "N");
    packet.string(2, now.ownChangeBlocked ? "S" : "N");
    packet.endRow();
    packet.finish();
}

void ReviewMethods::getCalcRevisadas(MethodCall& call)
{
    MethodArgs args(call, {4});
    const std::string language = args.language(0);
    const DateBounds dates = args.dateRange(1, 3);
    const std::vector<ReviewCount> counts = m_sessions.acquire()->countReviewed(language, dates);
    AnswerPacketWriter packet(call.out, CountFields);
    for (const ReviewCount& c : counts) {
        packet.beginRow();
        packet.string(0, std::string_view(&c.status, 1));
        packet.number(1, static_cast<double>(c.rows));
        packet.number(2, static_cast<double>(c.reviewed));
        packet.endRow();
    }
    packet.finish();
}

} // namespace trd::server
