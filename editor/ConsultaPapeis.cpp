#include "ConsultaPapeis.h"

#include "ServerCalls.h"
#include "TClientDataSet.h"
#include "TSocketConnection.h"

#include <QPointer>

#include <memory>
#include <optional>

namespace trd {

// Lives on the background thread with its own connection.
class ConsultaPapeis::Trabalhador : public QObject {
public:
    std::optional<papeis::PapeisDoUsuario> pergunta(const EnderecoDosPapeis& e)
    {
        try {
            if (!m_conexao || m_endereco.host != e.host || m_endereco.port != e.port || m_endereco.tls != e.tls
                || m_endereco.caFile != e.caFile) {
                m_conexao = std::make_unique<TSocketConnection>();
                m_conexao->Host = e.host;
                m_conexao->Port = e.port;
                m_conexao->UseTls = e.tls;
                m_conexao->TlsCaFile = e.caFile;
                m_conexao->ServerName = ServerNameTraducao;
                m_conexao->ThrowException = false;
                m_conexao->ConnectTimeoutMs = 3000;
                // Short: closing the editor waits for a question in flight.
                m_conexao->ReadTimeoutMs = 5000;
            }
            m_endereco = e;
            const QByteArray token = e.token;
            m_conexao->SessionToken = [token] { return token; };
            const TServerResult resposta = m_conexao->AppServer().Call(metodo::GetPapeis);
            if (!resposta.Ok)
                return std::nullopt;
            TClientDataSet linhas;
            linhas.SetData(resposta.Packet);
            papeis::PapeisDoUsuario p;
            if (!p.Le(linhas))
                return std::nullopt;
            return p;
        } catch (...) {
            m_conexao.reset();
            return std::nullopt;
        }
    }

private:
    std::unique_ptr<TSocketConnection> m_conexao;
    EnderecoDosPapeis m_endereco;
};

ConsultaPapeis::ConsultaPapeis(QObject* parent) : QObject(parent)
{
    m_trabalhador = new Trabalhador;
    m_trabalhador->moveToThread(&m_thread);
    connect(&m_thread, &QThread::finished, m_trabalhador, &QObject::deleteLater);
    m_thread.setObjectName(QStringLiteral("papeis"));
    m_thread.start();
    connect(&m_relogio, &QTimer::timeout, this, [this] { pergunta(); });
}

ConsultaPapeis::~ConsultaPapeis()
{
    m_thread.quit();
    m_thread.wait();
}

void ConsultaPapeis::Segue(int intervaloMs)
{
    if (intervaloMs <= 0)
        m_relogio.stop();
    else
        m_relogio.start(intervaloMs);
}

void ConsultaPapeis::pergunta()
{
    if (m_emCurso || !Endereco)
        return;   // one question at a time: a slow server is not piled on
    m_emCurso = true;
    const EnderecoDosPapeis endereco = Endereco();
    QPointer<ConsultaPapeis> self(this);
    Trabalhador* trabalhador = m_trabalhador;
    QMetaObject::invokeMethod(
        m_trabalhador,
        [trabalhador, endereco, self] {
            const std::optional<papeis::PapeisDoUsuario> p = trabalhador->pergunta(endereco);
            QMetaObject::invokeMethod(
                self.data(), [self, p] {
                    if (!self)
                        return;
                    self->m_emCurso = false;
                    if (p && self->Recebe)
                        self->Recebe(*p);
                },
                Qt::QueuedConnection);
        },
        Qt::QueuedConnection);
}

} // namespace trd
