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
            TSocketConnection& conexao = m_conexao.para(e, false, 5000);
            const TServerResult resposta = conexao.AppServer().Call(metodo::GetPapeis);
            if (!resposta.Ok)
                return std::nullopt;
            TClientDataSet linhas;
            linhas.SetData(resposta.Packet);
            papeis::PapeisDoUsuario p;
            if (!p.Le(linhas))
                return std::nullopt;
            return p;
        } catch (...) {
            m_conexao.esquece();
            return std::nullopt;
        }
    }

private:
    historico::ConexaoDeFundo m_conexao;
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
        return; // one question at a time: a slow server is not piled on
    m_emCurso = true;
    const EnderecoDosPapeis endereco = Endereco();
    QPointer<ConsultaPapeis> self(this);
    Trabalhador* trabalhador = m_trabalhador;
    QMetaObject::invokeMethod(
        m_trabalhador,
        [trabalhador, endereco, self] {
            const std::optional<papeis::PapeisDoUsuario> p = trabalhador->pergunta(endereco);
            QMetaObject::invokeMethod(
                self.data(),
                [self, p] {
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
