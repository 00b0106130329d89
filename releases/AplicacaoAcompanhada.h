#pragma once
// A release applied on the server while the window follows it: the apply's
// call goes on a connection and a thread of its own, and meanwhile its
// progress is asked on another connection a few times a second (which
// language the server reads or writes, how many are done) and reported as
// the job's progress. A cancel of the job is passed to the server
// (CancelaLiberacao) until the apply reaches its commit: the server then
// rolls the whole release back, and the job ends cancelled with nothing
// applied. Past that point the server refuses the cancel and the apply's own
// answer stands, applied. Rules of the steps' texts without a window below.
#include "LiberacaoDados.h"
#include "ServerLink.h"

#include <QString>

#include <memory>

namespace trd {
class TSocketConnection;
}

namespace trd::liberacao {

// The apply's progress as GetProgressoLiberacao tells it.
struct Progresso {
    QString etapa; // "aguardando", "lendo", "gravando", "confirmando", "aplicada", "cancelada", "desconhecida"...
    QString idioma;
    int feitos = 0, total = 0; // languages
};
Progresso LeProgresso(const QByteArray& pacote);

// The window's line for a step: "Aplicando a liberação: gravando ENG (2 de 10 idiomas)".
QString TextoDoProgresso(const Progresso& p);
// From this step on a cancel comes too late: the server is committing.
bool SemVolta(const Progresso& p);

// A new identification for an apply.
QString NovaFicha();

// A connection of the window's own to the server, with the session's token,
// raising errors; with `controle`, a call waiting for its answer is broken
// off by the job's cancel.
std::unique_ptr<TSocketConnection> ConexaoDaJanela(const exchange::ServerAddress& endereco,
                                                   const exchange::JobControl* controle);

// Applies (as Aplica) and follows the apply; throws exchange::Cancelled when
// the server took the cancel, and whatever Aplica throws otherwise.
QByteArray AplicaAcompanhando(const exchange::ServerAddress& endereco, const QString& arquivo, const Opcoes& opcoes,
                              bool confirmado, const exchange::JobControl& controle, int intervaloMs = 250);

} // namespace trd::liberacao
