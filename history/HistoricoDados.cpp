#include "HistoricoDados.h"

#include "LeituraDoPacote.h"
#include "ScopedBatch.h"
#include "ServerCalls.h"
#include "TClientDataSet.h"

#include <algorithm>
#include <functional>

namespace trd::historico {

using namespace pacote;

int Desfazimento::desfeitas() const
{
    return static_cast<int>(std::count_if(linhas.begin(), linhas.end(), [](const auto& l) { return l.desfeita; }));
}

int Desfazimento::mantidas() const
{
    return static_cast<int>(linhas.size()) - desfeitas();
}

QList<Versao> LeVersoes(const QByteArray& pacote)
{
    return registros<Versao>(pacote, [](TClientDataSet& d) {
        Versao v;
        preenche<Versao>(d, v,
                         {{"IDVERSAO", &Versao::id},
                          {"IDLOTE", &Versao::lote},
                          {"TPLOTE", &Versao::tipoLote},
                          {"NMUSUARIO", &Versao::usuario},
                          {"NMMETODO", &Versao::metodo},
                          {"DTALTERACAO", &Versao::data},
                          {"TPALTERACAO", &Versao::alteracao},
                          {"IDSITANT", &Versao::situacaoAntes},
                          {"STVALORANT", &Versao::textoAntes},
                          {"IDSITTRADUCAO", &Versao::situacaoDepois},
                          {"STVALORPROP", &Versao::textoDepois}});
        return v;
    });
}

QList<Lote> LeLotes(const QByteArray& pacote)
{
    return registros<Lote>(pacote, [](TClientDataSet& d) {
        Lote l;
        preenche<Lote>(d, l,
                       {{"IDLOTE", &Lote::id},
                        {"DTLOTE", &Lote::data},
                        {"NMUSUARIO", &Lote::usuario},
                        {"TPLOTE", &Lote::tipo},
                        {"NMMETODO", &Lote::metodo},
                        {"NRLINHAS", &Lote::linhas},
                        {"IDLOTEDESFEITO", &Lote::desfaz},
                        {"IDDESFEITOPOR", &Lote::desfeitoPor}});
        return l;
    });
}

Desfazimento LeDesfazimento(const QByteArray& pacote)
{
    Desfazimento r;
    cadaLinha(pacote, [&](TClientDataSet& d) {
        r.lote = numero(d, "IDLOTE");
        LinhaDesfeita l;
        preenche<LinhaDesfeita>(d, l,
                                {{"CDPROGTRAD", &LinhaDesfeita::programa},
                                 {"NMCOMPONENTE", &LinhaDesfeita::componente},
                                 {"STAGRVALPROP", &LinhaDesfeita::origem},
                                 {"DSMOTIVO", &LinhaDesfeita::motivo},
                                 {"STVALORPROP", &LinhaDesfeita::texto},
                                 {"IDSITTRADUCAO", &LinhaDesfeita::situacao}});
        l.desfeita = texto(d, "DESFEITA") == QStringLiteral("S");
        r.linhas.append(l);
    });
    return r;
}

QList<Versao> BuscaHistorico(TSocketConnection& conexao, const ChaveLinha& chave, int maximo)
{
    return LeVersoes(
        chama(conexao, metodo::GetHistorico, {chave.idioma, chave.programa, chave.componente, chave.origem, maximo}));
}

QList<Lote> BuscaLotes(TSocketConnection& conexao, const QString& idioma, TDateTime de, TDateTime ate)
{
    return LeLotes(chama(conexao, metodo::GetLotes, {idioma, de, ate}));
}

qint64 AbreLote(TSocketConnection& conexao, const QString& idioma, const QString& tipo, const QString& origem)
{
    TClientDataSet dados;
    TRemoteArgs argumentos{idioma, tipo};
    if (!origem.isEmpty())
        argumentos.emplace_back(origem);
    dados.SetData(chama(conexao, metodo::AbreLote, argumentos));
    return dados.IsEmpty() ? 0 : static_cast<qint64>(dados.FieldByName(QStringLiteral("IDLOTE"))->AsFloat());
}

Desfazimento DesfazLote(TSocketConnection& conexao, const QString& idioma, qint64 lote, bool forcar)
{
    return LeDesfazimento(
        chama(conexao, metodo::DesfazLote, {idioma, lote, forcar ? QStringLiteral("S") : QStringLiteral("N")}));
}

qint64 ChamaEmLote(TSocketConnection& conexao, const QString& idioma, const QString& tipo,
                   const std::function<void()>& chamada, const QString& origem)
{
    qint64 lote = 0;
    try {
        lote = AbreLote(conexao, idioma, tipo, origem);
    } catch (const Exception&) {
        lote = 0; // no history on this server: the save is still one batch of its own
    }
    ScopedBatch escopo(conexao, lote);
    chamada();
    return lote;
}

} // namespace trd::historico
