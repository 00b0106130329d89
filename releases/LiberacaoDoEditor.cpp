#include "LiberacaoDoEditor.h"

#include "QuemAplica.h"

#include "BuscaUltimaAlteracao.h"
#include "DialogSeam.h"
#include "Dispatch.h"
#include "HistoricoDoEditor.h"
#include "LiberacaoDialog.h"
#include "MensErro.h"
#include "PainelOrigemAnterior.h"
#include "ServerCalls.h"
#include "ServicosDoEditor.h"
#include "TClientDataSet.h"
#include "TDataSource.h"
#include "TSocketConnection.h"
#include "WebSession.h"

#include <QAction>
#include <QLineEdit>

namespace trd::liberacao {

namespace {

// Rows loaded come in several events; their origins are asked once they settle.
constexpr int kAssentaMs = 200;

} // namespace

// Lives on the background thread with its own connection.
class LiberacaoDoEditor::Trabalhador : public QObject {
public:
    // The origins of the language's rows; false when the server could not tell
    // (unreachable, a session that ended, a server without releases).
    bool busca(const historico::Servidor& servidor, const QString& idioma, QList<Origem>& origens)
    {
        try {
            TSocketConnection& conexao = m_conexao.para(servidor, true, 10000);
            origens = BuscaOrigens(conexao, idioma, false);
            return true;
        } catch (...) {
            m_conexao.esquece();
            return false;
        }
    }

private:
    historico::ConexaoDeFundo m_conexao;
};

LiberacaoDoEditor::LiberacaoDoEditor(ServicosDoEditor& editor) : QObject(editor.janela()), m_editor(editor)
{
    editor.adicionaSeparador("N6");
    mnuLiberacao = editor.adicionaItem("mnuLiberacao", QStringLiteral("Libera&ção do Aplicativo..."),
                                       QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_L));
    connect(mnuLiberacao, &QAction::triggered, this, [this] { Dispatch([this] { abreJanela(); }); });

    m_painel = new PainelOrigemAnterior;
    editor.adicionaPainel(m_painel, ServicosDoEditor::Lugar::SobODetalhe);

    m_trabalhador = new Trabalhador;
    m_trabalhador->moveToThread(&m_thread);
    connect(&m_thread, &QThread::finished, m_trabalhador, &QObject::deleteLater);
    m_thread.setObjectName(QStringLiteral("origens-anteriores"));
    m_thread.start();

    m_espera.setSingleShot(true);
    connect(&m_espera, &QTimer::timeout, this, [this] { buscaOrigens(); });

    m_fonte = new TDataSource(this);
    m_fonte->SetDataSet(&editor.linhas());
    connect(m_fonte, &TDataSource::dataEvent, this, [this](TDataEvent e, qintptr) { evento(static_cast<int>(e)); });
}

LiberacaoDoEditor::~LiberacaoDoEditor()
{
    // The editor is going (this is its child): its rows are heard of no more.
    disconnect(m_fonte, nullptr, this, nullptr);
    m_thread.quit();
    m_thread.wait();
}

void LiberacaoDoEditor::evento(int evento)
{
    switch (static_cast<TDataEvent>(evento)) {
    case TDataEvent::deDataSetChange:
    case TDataEvent::deLayoutChange: {
        // Rows came or went: other rows may have other origins now. A merge of
        // a colleague's save keeps the language and the count: nothing to ask.
        const TClientDataSet& linhas = m_editor.linhas();
        if (linhas.Active() && (m_editor.idioma() != m_idiomaDasOrigens || linhas.RecordCount() != m_linhasDasOrigens))
            m_espera.start(kAssentaMs);
        mostraAtual();
        break;
    }
    case TDataEvent::deDataSetScroll:
    case TDataEvent::deRecordChange:
    case TDataEvent::deUpdateState:
        mostraAtual();
        break;
    default:
        break;
    }
}

void LiberacaoDoEditor::buscaOrigens()
{
    const TClientDataSet& linhas = m_editor.linhas();
    const QString idioma = m_editor.idioma();
    if (!linhas.Active() || idioma.isEmpty())
        return;
    m_idiomaDasOrigens = idioma;
    m_linhasDasOrigens = linhas.RecordCount();
    const quint64 pedido = ++m_pedido;
    const TSocketConnection& conexao = m_editor.conexao();
    historico::Servidor servidor;
    servidor.host = conexao.Host;
    servidor.port = conexao.Port;
    servidor.tls = conexao.UseTls;
    servidor.caFile = conexao.TlsCaFile;
    servidor.token = WebSessionToken;
    QPointer<LiberacaoDoEditor> self(this);
    Trabalhador* trabalhador = m_trabalhador;
    QMetaObject::invokeMethod(
        m_trabalhador,
        [trabalhador, servidor, idioma, pedido, self] {
            QList<Origem> origens;
            const bool ok = trabalhador->busca(servidor, idioma, origens);
            QMetaObject::invokeMethod(
                self.data(),
                [self, idioma, pedido, origens, ok] {
                    if (self)
                        self->recebe(idioma, pedido, origens, ok);
                },
                Qt::QueuedConnection);
        },
        Qt::QueuedConnection);
}

void LiberacaoDoEditor::recebe(const QString& idioma, quint64 pedido, const QList<Origem>& origens, bool ok)
{
    if (pedido != m_pedido)
        return; // a newer request is on its way
    if (!ok) {
        // Not now: asked again with the next rows loaded.
        m_idiomaDasOrigens.clear();
        m_origens.clear();
    } else if (idioma == m_editor.idioma()) {
        m_origens = PorChave(origens);
    }
    mostraAtual();
    emit origensChegaram();
}

void LiberacaoDoEditor::mostraAtual()
{
    const ChaveLinha chave = m_editor.chaveAtual();
    const bool temOrigens =
        std::any_of(m_origens.cbegin(), m_origens.cend(), [](const Origem& o) { return o.mudouAOrigem(); });
    if (chave.vazia() || chave.idioma != m_idiomaDasOrigens || !temOrigens) {
        m_painel->Esconde();
        return;
    }
    // Once a language has reworded rows the panel stays while the user moves
    // through its rows, so that the grid above does not grow and shrink.
    const auto it = m_origens.constFind(ChaveDaLinha(chave.programa, chave.componente, chave.origem));
    if (it != m_origens.cend() && it->mudouAOrigem())
        m_painel->Mostra(*it);
    else
        m_painel->SemOrigem();
}

void LiberacaoDoEditor::abreJanela()
{
    const TDataSetState estado = m_editor.linhas().State();
    if (estado == TDataSetState::dsEdit || estado == TDataSetState::dsInsert)
        MensErro(QStringLiteral("Termine a edição da linha antes de abrir a liberação do aplicativo."), true);
    auto* janela = new LiberacaoDialog(m_editor.idioma(), MotivoParaNaoAplicar(m_editor.papeis()), m_editor.janela());
    janela->OnAplicada = [this](const Previa& aplicada) { ofereceRecarga(aplicada); };
    QPointer<QWidget> alvo(m_editor.janela());
    connect(janela, &QDialog::finished, this, [this, alvo] {
        if (alvo)
            m_editor.devolveTeclado();
    });
    janela->setWindowModality(Qt::WindowModal);
    janela->show();
    janela->raise();
    janela->activateWindow();
    janela->edtArquivo->setFocus(Qt::OtherFocusReason);
}

void LiberacaoDoEditor::ofereceRecarga(const Previa& aplicada)
{
    // The origins are asked again with the next rows loaded, whatever their count.
    m_idiomaDasOrigens.clear();
    TClientDataSet& linhas = m_editor.linhas();
    const Idioma* doEditor = aplicada.idioma(m_editor.idioma());
    if (!linhas.Active() || !doEditor || doEditor->total.alteradas() == 0)
        return;
    if (MessageDlg(QStringLiteral("A liberação mudou linhas de %1: linhas novas chegaram e outras ficaram obsoletas. "
                                  "Carregar as linhas do editor de novo agora?")
                       .arg(doEditor->codigo),
                   mtConfirmation, mbYes | mbNo)
        != mrYes)
        return;
    historico::RecarregaLinhas(m_editor);
    buscaOrigens();
}

} // namespace trd::liberacao
