#include "ContagemRevisadas.h"

#include "ServerCalls.h"
#include "TClientDataSet.h"
#include "TDateTime.h"
#include "TSocketConnection.h"

namespace trd::info {

qint64 Revisadas::da(const QString& situacao) const
{
    if (situacao == QLatin1String("T"))
        return traduzidas;
    if (situacao == QLatin1String("D"))
        return duvidas;
    if (situacao == QLatin1String("N"))
        return naoTraduzidas;
    return 0;
}

std::optional<Revisadas> LeRevisadas(TClientDataSet& resposta)
{
    TField* situacao = resposta.Active() ? resposta.FindField(QStringLiteral("IDSITTRADUCAO")) : nullptr;
    TField* revisadas = resposta.Active() ? resposta.FindField(QStringLiteral("NRREVISADAS")) : nullptr;
    if (!situacao || !revisadas)
        return std::nullopt;
    Revisadas r;
    for (resposta.First(); !resposta.Eof(); resposta.Next()) {
        const qint64 n = static_cast<qint64>(revisadas->AsFloat());
        const QString s = situacao->AsString();
        if (s == QLatin1String("T"))
            r.traduzidas = n;
        else if (s == QLatin1String("D"))
            r.duvidas = n;
        else if (s == QLatin1String("N"))
            r.naoTraduzidas = n;
    }
    return r;
}

std::optional<Revisadas> ContaRevisadas(TSocketConnection& conexao, const QString& idioma, double dataInicial,
                                        double dataFinal, const QString& modoData)
{
    const bool lanca = conexao.ThrowException;
    conexao.ThrowException = false;
    struct Devolve {
        TSocketConnection& c;
        bool v;
        ~Devolve() { c.ThrowException = v; }
    } devolve{conexao, lanca};
    // No dates go as the counts beside them send them: whole zeros.
    TServerResult resposta = dataInicial == 0 && dataFinal == 0
        ? conexao.AppServer().Call(metodo::GetCalcRevisadas, {idioma, 0, 0, modoData})
        : conexao.AppServer().Call(metodo::GetCalcRevisadas,
                                   {idioma, TDateTime(dataInicial), TDateTime(dataFinal), modoData});
    if (!resposta.Ok)
        return std::nullopt;
    TClientDataSet linhas;
    linhas.SetData(resposta.Packet);
    return LeRevisadas(linhas);
}

} // namespace trd::info
