#include "LinhaDoServidor.h"

#include "ServerCalls.h"
#include "TClientDataSet.h"

#include <algorithm>

namespace trd {

QByteArray PacoteDaChave(const ChaveLinha& chave)
{
    TClientDataSet lista;
    lista.AddField(QStringLiteral("IDIDIOMA"), TFieldType::ftString, 3);
    lista.AddField(QStringLiteral("CDPROGTRAD"), TFieldType::ftString, 20);
    lista.AddField(QStringLiteral("NMCOMPONENTE"), TFieldType::ftString, 50);
    lista.AddField(QStringLiteral("STAGRVALPROP"), TFieldType::ftString, 4000);
    lista.AddField(QStringLiteral("TPLISTA"), TFieldType::ftString, 1);
    lista.CreateDataSet();
    lista.Append();
    lista.FieldByName(QStringLiteral("IDIDIOMA"))->SetAsString(chave.idioma);
    lista.FieldByName(QStringLiteral("CDPROGTRAD"))->SetAsString(chave.programa);
    lista.FieldByName(QStringLiteral("NMCOMPONENTE"))->SetAsString(chave.componente);
    lista.FieldByName(QStringLiteral("STAGRVALPROP"))->SetAsString(chave.origem);
    lista.FieldByName(QStringLiteral("TPLISTA"))->SetAsString(QStringLiteral("N"));
    lista.Post();
    return lista.Data();
}

bool LeLinhaDoServidor(TSocketConnection& conexao, const ChaveLinha& chave, TClientDataSet& linha, int esperaMs)
{
    struct Espera {
        TSocketConnection& c;
        int antes;
        ~Espera() { c.ReadTimeoutMs = antes; }
    } espera{conexao, conexao.ReadTimeoutMs};
    conexao.ReadTimeoutMs = std::min(conexao.ReadTimeoutMs, esperaMs);
    linha.SetData(CheckResultServ(
        conexao.AppServer().Call(metodo::GetCDSFilter, {chave.idioma, PacoteDaChave(chave), QStringLiteral("2")}),
        true, 0));
    // Listed kinds match by program and component too; the source text makes it one row.
    return linha.Locate(QStringLiteral("STAGRVALPROP"), {chave.origem});
}

} // namespace trd
