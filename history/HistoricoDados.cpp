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
        v.id = numero(d, "IDVERSAO");
        v.lote = numero(d, "IDLOTE");
        v.tipoLote = texto(d, "TPLOTE");
        v.usuario = texto(d, "NMUSUARIO");
        v.metodo = texto(d, "NMMETODO");
        v.data = d.FieldByName(QStringLiteral("DTALTERACAO"))->AsDateTime();
        v.alteracao = texto(d, "TPALTERACAO");
        v.situacaoAntes = texto(d, "IDSITANT");
        v.textoAntes = texto(d, "STVALORANT");
        v.situacaoDepois = texto(d, "IDSITTRADUCAO");
        v.textoDepois = texto(d, "STVALORPROP");
        return v;
    });
}

QList<Lote> LeLotes(const QByteArray& pacote)
{
    return registros<Lote>(pacote, [](TClientDataSet& d) {
        Lote l;
        l.id = numero(d, "IDLOTE");
        l.data = d.FieldByName(QStringLiteral("DTLOTE"))->AsDateTime();
        l.usuario = texto(d, "NMUSUARIO");
        l.tipo = texto(d, "TPLOTE");
        l.metodo = texto(d, "NMMETODO");
        l.linhas = numero(d, "NRLINHAS");
        l.desfaz = numero(d, "IDLOTEDESFEITO");
        l.desfeitoPor = numero(d, "IDDESFEITOPOR");
        return l;
    });
}

Desfazimento LeDesfazimento(const QByteArray& pacote)
{
    Desfazimento r;
    cadaLinha(pacote, [&](TClientDataSet& d) {
        r.lote = numero(d, "IDLOTE");
        LinhaDesfeita l;
        l.programa = texto(d, "CDPROGTRAD");
        l.componente = texto(d, "NMCOMPONENTE");
        l.origem = texto(d, "STAGRVALPROP");
        l.desfeita = texto(d, "DESFEITA") == QStringLiteral("S");
        l.motivo = texto(d, "DSMOTIVO");
        l.texto = texto(d, "STVALORPROP");
        l.situacao = texto(d, "IDSITTRADUCAO");
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
