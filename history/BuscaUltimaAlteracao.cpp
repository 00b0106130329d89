#include "BuscaUltimaAlteracao.h"

#include "HistoricoRegras.h"
#include "ServerCalls.h"
#include "TSocketConnection.h"

#include <QPointer>

namespace trd::historico {

// Lives on the background thread with its own connection.
class BuscaUltimaAlteracao::Trabalhador : public QObject {
public:
    using Resposta = BuscaUltimaAlteracao::Resposta;
    // Answers, on the background thread, the line for the row and who changed it last.
    Resposta busca(const ChaveLinha& chave, const Servidor& servidor)
    {
        // A few versions: review marks may lie over the last change of the text.
        constexpr int Versoes = 8;
        try {
            TSocketConnection& conexao = m_conexao.para(servidor, false, 5000);
            const TServerResult resposta = conexao.AppServer().Call(
                metodo::GetHistorico, {chave.idioma, chave.programa, chave.componente, chave.origem, Versoes});
            if (!resposta.Ok)
                return {}; // a server without history, a session ended: the panel says nothing
            const QList<Versao> versoes = LeVersoes(resposta.Packet);
            return {UltimaAlteracao(versoes.isEmpty() ? std::nullopt : std::optional<Versao>(versoes.first())),
                    AutorDaUltimaAlteracao(versoes)};
        } catch (...) {
            m_conexao.esquece();
            return {};
        }
    }

private:
    ConexaoDeFundo m_conexao;
};

BuscaUltimaAlteracao::BuscaUltimaAlteracao(QObject* parent) : QObject(parent)
{
    m_trabalhador = new Trabalhador;
    m_trabalhador->moveToThread(&m_thread);
    connect(&m_thread, &QThread::finished, m_trabalhador, &QObject::deleteLater);
    m_thread.setObjectName(QStringLiteral("ultima-alteracao"));
    m_thread.start();
    m_pausa.setSingleShot(true);
    connect(&m_pausa, &QTimer::timeout, this, [this] { envia(); });
}

BuscaUltimaAlteracao::~BuscaUltimaAlteracao()
{
    m_thread.quit();
    m_thread.wait();
}

void BuscaUltimaAlteracao::Pede(const ChaveLinha& chave, bool denovo)
{
    if (chave == m_desejada && chave == m_mostrada && !denovo)
        return;
    if (!(chave == m_desejada) || denovo)
        m_mostrada = {};
    m_desejada = chave;
    m_pausa.start(PausaMs);
}

void BuscaUltimaAlteracao::Esquece()
{
    m_pausa.stop();
    m_desejada = {};
    m_mostrada = {};
    if (Mostra)
        Mostra(QString());
}

void BuscaUltimaAlteracao::envia()
{
    if (m_emCurso || m_desejada.vazia() || !Endereco)
        return; // the answer on its way sends the newest row next
    m_emCurso = true;
    const ChaveLinha chave = m_desejada;
    const Servidor servidor = Endereco();
    QPointer<BuscaUltimaAlteracao> self(this);
    Trabalhador* trabalhador = m_trabalhador;
    QMetaObject::invokeMethod(
        m_trabalhador,
        [trabalhador, chave, servidor, self] {
            const Resposta resposta = trabalhador->busca(chave, servidor);
            // Back on the UI thread; dropped if the editor went meanwhile.
            QMetaObject::invokeMethod(
                self.data(),
                [self, chave, resposta] {
                    if (self)
                        self->recebe(chave, resposta);
                },
                Qt::QueuedConnection);
        },
        Qt::QueuedConnection);
}

void BuscaUltimaAlteracao::recebe(const ChaveLinha& chave, const Resposta& resposta)
{
    m_emCurso = false;
    if (chave == m_desejada) {
        m_mostrada = chave;
        if (Mostra)
            Mostra(resposta.linha);
        if (Autor)
            Autor(chave, resposta.autor);
    } else if (!m_desejada.vazia() && !m_pausa.isActive()) {
        envia();
    }
}

} // namespace trd::historico
