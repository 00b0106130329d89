#include "TermosDoServidor.h"

#include "ServerCalls.h"
#include "TClientDataSet.h"
#include "TSocketConnection.h"

namespace trd::glossario {

namespace {

// JSON-RPC's "method not found", and the server's "unavailable" of a
// database without the glossary's tables.
constexpr int MetodoDesconhecido = -32601;
constexpr int Indisponivel = -32603;

} // namespace

QStringList linhas(const QString& texto)
{
    QStringList out;
    for (const QString& l : texto.split(u'\n'))
        if (!l.trimmed().isEmpty())
            out << l.trimmed();
    return out;
}

QList<quality::GlossaryTerm> termosDoPacote(TClientDataSet& pacote)
{
    QList<quality::GlossaryTerm> termos;
    const TField* id = pacote.FieldByName(QStringLiteral("IDTERMO"));
    const TField* termo = pacote.FieldByName(QStringLiteral("DSTERMO"));
    const TField* preferidas = pacote.FieldByName(QStringLiteral("DSPREFERIDAS"));
    const TField* proibidas = pacote.FieldByName(QStringLiteral("DSPROIBIDAS"));
    const TField* naoTraduzir = pacote.FieldByName(QStringLiteral("FLNAOTRADUZIR"));
    const TField* nota = pacote.FieldByName(QStringLiteral("DSNOTA"));
    const TField* programa = pacote.FieldByName(QStringLiteral("CDPROGTRAD"));
    for (pacote.First(); !pacote.Eof(); pacote.Next()) {
        quality::GlossaryTerm t;
        t.id = static_cast<qint64>(id->AsFloat());
        t.source = termo->AsString();
        t.preferred = linhas(preferidas->AsString());
        t.forbidden = linhas(proibidas->AsString());
        t.doNotTranslate = naoTraduzir->AsString() == u"S";
        t.note = nota->AsString();
        t.program = programa->AsString();
        termos << t;
    }
    return termos;
}

std::optional<QList<quality::GlossaryTerm>> leTermos(TSocketConnection& conexao, const QString& idioma)
{
    TClientDataSet pacote;
    try {
        pacote.SetData(CheckResultServ(conexao.AppServer().Call(GetTermos, {idioma}), true, 0));
    } catch (const EServerError& e) {
        if (e.ErrorCode() == MetodoDesconhecido)
            return std::nullopt;
        if (e.ErrorCode() == Indisponivel && e.Message().contains(QStringLiteral("não guarda glossário")))
            return std::nullopt;
        throw;
    }
    return termosDoPacote(pacote);
}

} // namespace trd::glossario
