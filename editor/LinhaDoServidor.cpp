#include "LinhaDoServidor.h"

#include "CamposTraducao.h"
#include "ServerCalls.h"
#include "TClientDataSet.h"

#include <algorithm>

namespace trd {

QByteArray PacoteDaChave(const ChaveLinha& chave)
{
    return PacoteDasChaves({chave});
}

QByteArray PacoteDasChaves(const QList<ChaveLinha>& chaves)
{
    TClientDataSet lista;
    lista.AddField(NMIDIOMA, TFieldType::ftString, 3);
    lista.AddField(NMPROGRAMA, TFieldType::ftString, 20);
    lista.AddField(NMCOMPONENTE, TFieldType::ftString, 50);
    lista.AddField(NMORIGEM, TFieldType::ftString, 4000);
    lista.AddField(QStringLiteral("TPLISTA"), TFieldType::ftString, 1);
    lista.CreateDataSet();
    TField* idioma = lista.FieldByName(NMIDIOMA);
    TField* programa = lista.FieldByName(NMPROGRAMA);
    TField* componente = lista.FieldByName(NMCOMPONENTE);
    TField* origem = lista.FieldByName(NMORIGEM);
    TField* tipo = lista.FieldByName(QStringLiteral("TPLISTA"));
    for (const ChaveLinha& chave : chaves) {
        lista.Append();
        idioma->SetAsString(chave.idioma);
        programa->SetAsString(chave.programa);
        componente->SetAsString(chave.componente);
        origem->SetAsString(chave.origem);
        tipo->SetAsString(QStringLiteral("N"));
        lista.Post();
    }
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
        conexao.AppServer().Call(metodo::GetCDSFilter, {chave.idioma, PacoteDaChave(chave), QStringLiteral("2")}), true,
        0));
    // Listed kinds match by program and component too; the source text makes it one row.
    return linha.Locate(NMORIGEM, {chave.origem});
}

void LeLinhasDoServidor(TSocketConnection& conexao, const QString& idioma, const QList<ChaveLinha>& chaves,
                        TClientDataSet& linhas)
{
    linhas.SetData(CheckResultServ(
        conexao.AppServer().Call(metodo::GetCDSFilter, {idioma, PacoteDasChaves(chaves), QStringLiteral("2")}), true,
        0));
}

} // namespace trd
