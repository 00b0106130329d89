#include "AplicacaoAcompanhada.h"

#include "ServerCalls.h"
#include "TClientDataSet.h"
#include "TSocketConnection.h"

#include <QUuid>

#include <chrono>
#include <exception>
#include <future>
#include <memory>

namespace trd::liberacao {

namespace {

const QString GetProgressoLiberacao = QStringLiteral("GetProgressoLiberacao");
const QString CancelaLiberacao = QStringLiteral("CancelaLiberacao");

// The apply waits this long for the server's word: a large release over
// many languages takes minutes, and the call is never broken off.
constexpr int EsperaDaAplicacaoMs = 15 * 60 * 1000;

QString campo(TClientDataSet& ds, const char* nome)
{
    TField* f = ds.FindField(QString::fromLatin1(nome));
    return f ? f->AsString() : QString();
}

} // namespace

Progresso LeProgresso(const QByteArray& pacote)
{
    TClientDataSet ds;
    ds.SetData(pacote);
    Progresso p;
    ds.First();
    if (ds.Eof())
        return p;
    p.etapa = campo(ds, "STETAPA");
    p.idioma = campo(ds, "IDIDIOMA");
    p.feitos = campo(ds, "NRFEITOS").toInt();
    p.total = campo(ds, "NRTOTAL").toInt();
    return p;
}

QString TextoDoProgresso(const Progresso& p)
{
    const QString idiomas = QStringLiteral(" (%1 de %2 idiomas)").arg(p.feitos + 1).arg(p.total);
    if (p.etapa == QLatin1String("lendo"))
        return QStringLiteral("Aplicando a liberação: lendo e comparando ") + p.idioma + idiomas;
    if (p.etapa == QLatin1String("gravando"))
        return QStringLiteral("Aplicando a liberação: gravando ") + p.idioma + idiomas;
    if (SemVolta(p))
        return QStringLiteral("Aplicando a liberação: confirmando no servidor (não pode mais ser cancelada)");
    if (p.etapa == QLatin1String("aguardando"))
        return QStringLiteral("Aplicando a liberação: aguardando as gravações em curso no servidor");
    return QStringLiteral("Aplicando a liberação no servidor");
}

bool SemVolta(const Progresso& p)
{
    return p.etapa == QLatin1String("confirmando") || p.etapa == QLatin1String("aplicada");
}

QString NovaFicha()
{
    return QUuid::createUuid().toString(QUuid::WithoutBraces);
}

std::unique_ptr<TSocketConnection> ConexaoDaJanela(const exchange::ServerAddress& endereco,
                                                   const exchange::JobControl* controle)
{
    auto c = exchange::connectionTo(endereco);
    const QByteArray token = endereco.token;
    c->SessionToken = [token] { return token; };
    if (controle) {
        c->WaitingIntervalMs = 100;
        c->OnWaiting = [controle] { controle->checkCancel(); };
    }
    return c;
}

QByteArray AplicaAcompanhando(const exchange::ServerAddress& endereco, const QString& arquivo, const Opcoes& opcoes,
                              bool confirmado, const exchange::JobControl& controle, int intervaloMs)
{
    const QString ficha = NovaFicha();
    controle.report(QStringLiteral("Conectando ao servidor de aplicação"));
    // Never broken off: the server applies all or nothing, and its word is awaited.
    auto aplicacao = ConexaoDaJanela(endereco, nullptr);
    aplicacao->ReadTimeoutMs = EsperaDaAplicacaoMs;
    aplicacao->Open();
    controle.checkCancel();
    auto acompanhamento = ConexaoDaJanela(endereco, nullptr);
    acompanhamento->ReadTimeoutMs = 5000;
    controle.report(QStringLiteral("Aplicando a liberação no servidor"));
    // The apply's own call, on a thread of its own: its connection is used by it alone.
    std::future<QByteArray> resposta = std::async(std::launch::async, [&aplicacao, arquivo, opcoes, confirmado, ficha] {
        return Aplica(*aplicacao, arquivo, opcoes, confirmado, ficha);
    });
    bool cancelada = false; // the server took the cancel
    bool pediuCancelar = false; // asked once; the server's word then stands
    while (resposta.wait_for(std::chrono::milliseconds(intervaloMs)) != std::future_status::ready) {
        try {
            const Progresso p =
                LeProgresso(CheckResultServ(acompanhamento->AppServer().Call(GetProgressoLiberacao, {ficha}), true, 0));
            // Until the server has the apply (its call still on its way) there is nothing to follow or cancel.
            if (p.etapa.isEmpty() || p.etapa == QLatin1String("desconhecida"))
                continue;
            if (!pediuCancelar && controle.cancel && controle.cancel->load()) {
                pediuCancelar = true;
                TClientDataSet r;
                r.SetData(CheckResultServ(acompanhamento->AppServer().Call(CancelaLiberacao, {ficha}), true, 0));
                r.First();
                cancelada = campo(r, "FLCANCELADA") == QLatin1String("S");
                controle.report(cancelada ? QStringLiteral("Cancelando: nada da liberação fica gravado")
                                          : QStringLiteral("Tarde demais para cancelar: a liberação já está sendo "
                                                           "confirmada"),
                                p.feitos, p.total);
                continue;
            }
            if (!pediuCancelar)
                controle.report(TextoDoProgresso(p), SemVolta(p) ? p.total : p.feitos, p.total);
        } catch (const Exception&) {
            // Following is a courtesy: the apply goes on, and its answer is what counts.
        }
    }
    try {
        return resposta.get();
    } catch (const Exception&) {
        if (cancelada)
            throw exchange::Cancelled();
        throw;
    }
}

} // namespace trd::liberacao
