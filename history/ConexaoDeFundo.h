#pragma once
// A connection of its own for a companion's questions on its background
// thread, so that the editor's synchronous connection is never shared: kept
// while the server's address stays the same, made anew when it changes or
// after a failure.
#include "ServerCalls.h"
#include "TSocketConnection.h"

#include <QByteArray>
#include <QString>

#include <memory>

namespace trd::historico {

// Where the server is and the session to show it, as the editor's connection
// has them when a question leaves.
struct Servidor {
    QString host;
    int port = 0;
    bool tls = false;
    QString caFile;
    QByteArray token;
};

class ConexaoDeFundo {
public:
    // The connection to `servidor`, carrying its session. The read time
    // limit is short: closing the editor waits for a question in flight.
    TSocketConnection& para(const Servidor& servidor, bool lancaErros, int leituraMs)
    {
        if (!m_conexao || m_servidor.host != servidor.host || m_servidor.port != servidor.port
            || m_servidor.tls != servidor.tls || m_servidor.caFile != servidor.caFile) {
            m_conexao = std::make_unique<TSocketConnection>();
            m_conexao->Host = servidor.host;
            m_conexao->Port = servidor.port;
            m_conexao->UseTls = servidor.tls;
            m_conexao->TlsCaFile = servidor.caFile;
            m_conexao->ServerName = ServerNameTraducao;
            m_conexao->ConnectTimeoutMs = 3000;
        }
        m_conexao->ThrowException = lancaErros;
        m_conexao->ReadTimeoutMs = leituraMs;
        m_servidor = servidor;
        const QByteArray token = servidor.token;
        m_conexao->SessionToken = [token] { return token; };
        return *m_conexao;
    }

    // After a failure: the next question connects again.
    void esquece() { m_conexao.reset(); }

private:
    std::unique_ptr<TSocketConnection> m_conexao;
    Servidor m_servidor;
};

} // namespace trd::historico
