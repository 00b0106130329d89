#include "MachineMethods.h"

#include "DataPacket.h"
#include "MethodArgs.h"
#include "RpcError.h"
#include "ServerError.h"
#include "Utf8Text.h"

#include <array>

namespace trd::server {

namespace {

constexpr std::array<AnswerField, 6> PairFields = {{{"IDIDIOMA", "string", 3},
                                                    {"DSMOTOR", "string", 40},
                                                    {"CDIDIOMAMOTOR", "string", 20},
                                                    {"DSROTA", "string", 80},
                                                    {"STENCADEADA", "string", 1},
                                                    {"DSAVISO", "string", 250}}};

constexpr std::array<AnswerField, 6> AnswerFields = {{{"DSMOTOR", "string", 40},
                                                      {"DSROTA", "string", 80},
                                                      {"STENCADEADA", "string", 1},
                                                      {"STVALORPROP", "string", 4000},
                                                      {"DSAVISO", "string", 250},
                                                      {"STCACHE", "string", 1}}};

// The most sources one call translates: a pre-translation sends them in
// pieces of this size, each answered well within the engine's time limit.
constexpr std::size_t MostSources = 1000;

void writeAnswers(AnswerBuffer& out, const std::string& engine, const mt::Route& route,
                  const std::vector<mt::MachineTranslation::Answer>& answers)
{
    AnswerPacketWriter packet(out, AnswerFields);
    for (const auto& a : answers) {
        packet.beginRow();
        packet.string(0, engine);
        packet.string(1, route.text());
        packet.string(2, route.chained() ? "S" : "N");
        packet.string(3, a.text.toStdString());
        packet.string(4, a.problem.left(250).toStdString());
        packet.string(5, a.cached ? "S" : "N");
        packet.endRow();
    }
    packet.finish();
}

// The sources: a data packet whose rows hold STAGRVALPROP (what the client
// sends), or a JSON array of strings (handier with curl).
std::vector<QString> readSources(JsonValue& argument)
{
    const std::string limit = "GetTraducoesAutomaticas: o argumento 2 deve trazer até " + std::to_string(MostSources)
        + " textos de origem de até 4000 caracteres";
    std::vector<QString> sources;
    const auto add = [&](std::string_view text) {
        if (sources.size() == MostSources || utf8::length(text) > 4000)
            invalidParams(limit + ".");
        sources.push_back(QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())));
    };
    if (argument.isArray()) {
        for (const JsonValue& item : argument.array()) {
            if (!item.isString())
                invalidParams(limit + ".");
            add(item.string());
        }
        return sources;
    }
    if (!argument.isString())
        invalidParams(limit + " (um pacote de dados com o campo STAGRVALPROP, ou uma lista).");
    try {
        trd::PacketReader reader(
            QByteArray(argument.string().data(), static_cast<qsizetype>(argument.string().size())));
        const int source = reader.fieldIndex("STAGRVALPROP");
        if (source < 0)
            invalidParams("GetTraducoesAutomaticas: o pacote não tem o campo STAGRVALPROP.");
        while (reader.next())
            add(reader.isNull(source) ? std::string_view() : reader.raw(source));
    } catch (const trd::EDBClient& e) {
        invalidParams(std::string("GetTraducoesAutomaticas: pacote inválido: ") + e.what());
    }
    return sources;
}

} // namespace

std::span<const MethodEntry<MachineMethods>> MachineMethods::methods()
{
    static constexpr MethodEntry<MachineMethods> Table[] = {
        {"GetParesAutomaticos", &MachineMethods::getParesAutomaticos, Right::read()},
        {"GetTraducaoAutomatica", &MachineMethods::getTraducaoAutomatica, Right::read()},
        {"GetTraducoesAutomaticas", &MachineMethods::getTraducoesAutomaticas,
         Right::translate(0, "pré-traduzir suas linhas")},
    };
    return Table;
}

bool MachineMethods::isMachineMethod(std::string_view method)
{
    return findMethod(methods(), method) != nullptr;
}

bool MachineMethods::isBulkMethod(std::string_view method)
{
    return method == "GetTraducoesAutomaticas";
}

mt::MachineTranslation& MachineMethods::machine() const
{
    if (!m_machine)
        throw ServerError(ErrorKind::Unavailable,
                          "Este servidor não tem tradução automática configurada (opção --mt-url).");
    return *m_machine;
}

void MachineMethods::getParesAutomaticos(MethodCall& call)
{
    MethodArgs(call, {0});
    mt::MachineTranslation& mt = machine();
    const auto languages = m_sessions.acquire()->languages();
    AnswerPacketWriter packet(call.out, PairFields);
    for (const Language& language : languages) {
        const mt::MachineTranslation::Plan plan = mt.plan(language.code);
        packet.beginRow();
        packet.string(0, language.code);
        packet.string(1, mt.engineName());
        packet.string(2, plan.code);
        packet.string(3, plan.route ? plan.route->text() : std::string());
        packet.string(4, plan.route && plan.route->chained() ? "S" : "N");
        packet.string(5, plan.problem);
        packet.endRow();
    }
    packet.finish();
}

void MachineMethods::getTraducaoAutomatica(MethodCall& call)
{
    MethodArgs args(call, {2});
    const std::string language = args.language(0);
    const QString source = QString::fromStdString(args.text(1, "texto de origem", 4000));
    mt::MachineTranslation& mt = machine();
    mt::Route route;
    const auto answers = mt.translate(language, {source}, route);
    writeAnswers(call.out, mt.engineName(), route, answers);
}

void MachineMethods::getTraducoesAutomaticas(MethodCall& call)
{
    MethodArgs args(call, {2});
    const std::string language = args.language(0);
    std::vector<QString> sources = readSources(call.params[1]);
    mt::MachineTranslation& mt = machine();
    mt::Route route;
    const auto answers = mt.translate(language, sources, route);
    writeAnswers(call.out, mt.engineName(), route, answers);
}

} // namespace trd::server
