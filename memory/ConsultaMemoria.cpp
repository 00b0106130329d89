#include "ConsultaMemoria.h"

#include "TSocketConnection.h"
#include "WebServer.h"
#include "WebSession.h"

#include <QThread>

namespace trd {

// Lives on the background thread, with the connection it made there.
class ConsultaMemoria::Trabalho : public QObject {
public:
    Trabalho(std::shared_ptr<std::atomic<int>> ultima, std::shared_ptr<std::atomic<bool>> encerrando)
        : m_ultima(std::move(ultima)), m_encerrando(std::move(encerrando))
    {
    }

    struct Endereco {
        QString host;
        int porta = 0;
        bool tls = false;
        QString ca;
        QByteArray sessao;
        int esperaMs = 30000;
    };

    void executa(ConsultaMemoria* dono, int numero, const QString& metodo, const TRemoteArgs& argumentos,
                 const Endereco& endereco)
    {
        // A newer question came while this one waited: this answer would be
        // dropped, so it is not asked at all.
        if (numero != m_ultima->load())
            return;
        if (!m_conexao) {
            m_conexao = std::make_unique<TSocketConnection>();
            m_conexao->ServerName = QStringLiteral("Trd09300.rdmTraducao");
            m_conexao->ThrowException = false;
            // The wait for a slow server ends as soon as the asker goes (the
            // editor closes): its connection hook gives up the call.
            m_conexao->OnWaiting = [encerrando = m_encerrando] {
                if (encerrando->load())
                    throw Exception(QStringLiteral("Consulta interrompida."));
            };
        }
        if (m_conexao->Host != endereco.host || m_conexao->Port != endereco.porta || m_conexao->UseTls != endereco.tls
            || m_conexao->TlsCaFile != endereco.ca)
            m_conexao->Close();
        m_conexao->Host = endereco.host;
        m_conexao->Port = endereco.porta;
        m_conexao->UseTls = endereco.tls;
        m_conexao->TlsCaFile = endereco.ca;
        m_conexao->ReadTimeoutMs = endereco.esperaMs;
        m_conexao->ConnectTimeoutMs = qMin(endereco.esperaMs, 5000);
        const QByteArray sessao = endereco.sessao;
        m_conexao->SessionToken = [sessao] { return sessao; };
        // Nobody is asked for a password from here: the editor's own
        // connection does that; the question fails with the server's words.
        m_conexao->Login = nullptr;
        // The asker lives until this thread has ended (its destructor waits),
        // so a signal posted to it is delivered or dropped with it.
        try {
            const TServerResult resposta = m_conexao->AppServer().Call(metodo, argumentos);
            if (m_encerrando->load())
                return;
            if (resposta.Ok)
                QMetaObject::invokeMethod(
                    dono, [dono, numero, pacote = resposta.Packet] { emit dono->respondeu(numero, pacote); });
            else
                QMetaObject::invokeMethod(
                    dono, [dono, numero, m = resposta.ErrorMessage] { emit dono->falhou(numero, m, true); });
        } catch (const EConnectionError& e) {
            if (!m_encerrando->load())
                QMetaObject::invokeMethod(dono,
                                          [dono, numero, m = e.Message()] { emit dono->falhou(numero, m, false); });
        } catch (const Exception& e) {
            if (!m_encerrando->load())
                QMetaObject::invokeMethod(dono,
                                          [dono, numero, m = e.Message()] { emit dono->falhou(numero, m, true); });
        } catch (const std::exception& e) {
            if (!m_encerrando->load())
                QMetaObject::invokeMethod(
                    dono, [dono, numero, m = QString::fromLocal8Bit(e.what())] { emit dono->falhou(numero, m, true); });
        }
    }

    ~Trabalho() override = default;

private:
    std::shared_ptr<std::atomic<int>> m_ultima;
    std::shared_ptr<std::atomic<bool>> m_encerrando;
    std::unique_ptr<TSocketConnection> m_conexao;
};

ConsultaMemoria::ConsultaMemoria(QObject* parent)
    : QObject(parent), m_thread(new QThread), m_ultima(std::make_shared<std::atomic<int>>(0)),
      m_encerrando(std::make_shared<std::atomic<bool>>(false))
{
    m_trabalho = new Trabalho(m_ultima, m_encerrando);
    m_trabalho->moveToThread(m_thread);
    connect(m_thread, &QThread::finished, m_trabalho, &QObject::deleteLater);
    m_thread->setObjectName(QStringLiteral("ConsultaMemoria"));
    m_thread->start(QThread::LowPriority);
}

ConsultaMemoria::~ConsultaMemoria()
{
    // A question still waiting for the server gives up within one turn of
    // the connection's waiting hook (40 ms), so closing the editor never
    // waits for a slow server.
    m_ultima->store(-1);
    m_encerrando->store(true);
    m_thread->quit();
    m_thread->wait();
    delete m_thread;
}

int ConsultaMemoria::pergunta(const QString& metodo, const TRemoteArgs& argumentos)
{
    const int numero = ++m_numero;
    m_ultima->store(numero);
    Trabalho::Endereco endereco{WebURL, WebPort, WebTls, WebTlsCaFile, WebSessionToken, m_esperaMs};
    QMetaObject::invokeMethod(m_trabalho, [trabalho = m_trabalho, self = this, numero, metodo, argumentos, endereco] {
        trabalho->executa(self, numero, metodo, argumentos, endereco);
    });
    return numero;
}

} // namespace trd
