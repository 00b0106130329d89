#include "AutomaticaDoEditor.h"

#include "CamposTraducao.h"
#include "ConsultaMemoria.h"
#include "Dispatch.h"
#include "PainelAutomatica.h"
#include "PreTraducaoDialog.h"
#include "ServerCalls.h"
#include "ServicosDoEditor.h"
#include "TClientDataSet.h"

#include <QAction>
#include <QKeySequence>
#include <QShortcut>

namespace trd {

namespace {

// As the memory's: a row passed over while the user moves is never asked about.
constexpr int EsperaMs = 150;
// The engine has its own time limit on the server (3 s by default) for each
// of at most three requests (its pairs, its version, the translation) after
// it was away: past this the question is let go and the panel says so.
constexpr int RespostaMs = 12000;
// The memory's panel asks again as often when the server is away.
constexpr int RepeteMs = 3000;

} // namespace

const QString AutomaticaDoEditor::TextoLenta = QStringLiteral("Tradução automática lenta: aguardando o serviço…");

AutomaticaDoEditor::AutomaticaDoEditor(ServicosDoEditor& editor)
    : QObject(editor.janela()), m_editor(editor), m_painel(new PainelAutomatica), m_consulta(new ConsultaMemoria(this))
{
    setObjectName(QStringLiteral("automatica"));
    m_consulta->setEsperaMs(RespostaMs);
    editor.adicionaPainel(m_painel, ServicosDoEditor::Lugar::SobAsSugestoes);
    QShortcut* atalho = editor.adicionaAtalho("atalhoSugestaoAutomatica",
                                              QKeySequence(Qt::CTRL | (Qt::Key_0 + PainelAutomatica::Numero)));
    connect(atalho, &QShortcut::activated, this, [this] { Dispatch([this] { usaSugestao(); }); });
    connect(m_painel, &PainelAutomatica::usar, this, [this] { Dispatch([this] { usaSugestao(); }); });
    m_espera.setSingleShot(true);
    m_espera.setInterval(EsperaMs);
    connect(&m_espera, &QTimer::timeout, this, &AutomaticaDoEditor::pergunta);
    m_lenta.setSingleShot(true);
    m_lenta.setInterval(LentaMs);
    connect(&m_lenta, &QTimer::timeout, this, [this] {
        if (m_aguardando)
            m_painel->mostraEstado(TextoLenta);
    });
    m_repete.setSingleShot(true);
    m_repete.setInterval(RepeteMs);
    connect(&m_repete, &QTimer::timeout, this, &AutomaticaDoEditor::pergunta);
    connect(m_consulta, &ConsultaMemoria::respondeu, this, &AutomaticaDoEditor::chegou);
    connect(m_consulta, &ConsultaMemoria::falhou, this, &AutomaticaDoEditor::falhou);

    editor.adicionaSeparador("N6");
    mnuPreTraduzir = editor.adicionaItem("mnuPreTraduzir", QStringLiteral("Pr&é-traduzir Não Traduzidas..."));
    connect(mnuPreTraduzir, &QAction::triggered, this, [this] { Dispatch([this] { preTraduz(); }); });
}

AutomaticaDoEditor::~AutomaticaDoEditor() = default;

void AutomaticaDoEditor::linhaAtualMudou()
{
    const ChaveLinha chave = m_editor.chaveAtual();
    const std::optional<ChaveLinha> atual = chave.vazia() ? std::nullopt : std::optional<ChaveLinha>(chave);
    if (atual == m_perguntada)
        return; // typing in the same row changes nothing the engine is asked
    m_perguntada = atual;
    m_aguardando = false;
    m_lenta.stop();
    m_repete.stop();
    if (m_usada && (!atual || m_usada->first != *atual))
        m_usada.reset();
    if (!atual) {
        m_espera.stop();
        m_painel->mostraEstado(QStringLiteral("Tradução automática"));
        return;
    }
    m_painel->mostraEstado(QStringLiteral("Pedindo a tradução automática..."));
    m_espera.start();
}

void AutomaticaDoEditor::pergunta()
{
    if (!m_perguntada)
        return;
    m_pedido = m_consulta->pergunta(metodo::GetTraducaoAutomatica, {m_perguntada->idioma, m_perguntada->origem});
    m_aguardando = true;
    m_lenta.start();
}

void AutomaticaDoEditor::chegou(int numero, const QByteArray& pacote)
{
    if (numero != m_pedido || !m_aguardando)
        return; // for a row the user has left
    m_aguardando = false;
    m_lenta.stop();
    try {
        const QList<automatica::Sugestao> lista = automatica::LeSugestoes(pacote);
        if (lista.isEmpty())
            m_painel->mostraEstado(QStringLiteral("Tradução automática: sem resposta para esta linha."));
        else
            m_painel->mostra(lista.constFirst());
    } catch (const Exception& e) {
        m_painel->mostraEstado(QStringLiteral("Tradução automática: resposta ilegível (%1).").arg(e.Message()));
    }
}

void AutomaticaDoEditor::falhou(int numero, const QString& mensagem, bool alcancado)
{
    if (numero != m_pedido || !m_aguardando)
        return;
    m_aguardando = false;
    m_lenta.stop();
    QString linha = mensagem.simplified();
    if (linha.endsWith(u'.'))
        linha.chop(1);
    if (alcancado) {
        m_painel->mostraEstado(QStringLiteral("Tradução automática indisponível: %1.").arg(linha));
        return;
    }
    m_painel->mostraEstado(
        QStringLiteral("Tradução automática indisponível: %1. (nova tentativa em instantes)").arg(linha));
    m_repete.start();
}

void AutomaticaDoEditor::usaSugestao()
{
    const std::optional<automatica::Sugestao>& s = m_painel->sugestao();
    if (!s || !m_perguntada || m_editor.chaveAtual() != *m_perguntada)
        return;
    m_usada = std::make_pair(*m_perguntada, *s);
    m_editor.digitaNaCelula(s->texto);
}

void AutomaticaDoEditor::antesDeGravar(const QString& marcada)
{
    m_origemDaGravacao.reset();
    if (!m_usada || m_editor.chaveAtual() != m_usada->first)
        return;
    TClientDataSet& linhas = m_editor.linhas();
    if (linhas.FieldByName(NMDESTINO)->AsString() != m_usada->second.texto)
        return; // the user rewrote it: their text, promoted as any
    TField* situacao = linhas.FieldByName(NMSITUACAO);
    const QString devida = automatica::SituacaoDoTextoDaMaquina(marcada, situacao->OldValue(), situacao->AsString());
    if (devida != situacao->AsString())
        situacao->SetAsString(devida);
    m_origemDaGravacao = automatica::Origem(m_usada->second);
}

void AutomaticaDoEditor::grava(const std::function<void()>& gravacao)
{
    const std::optional<QString> origem = std::exchange(m_origemDaGravacao, std::nullopt);
    if (!origem) {
        gravacao();
        return;
    }
    m_editor.emLote(m_editor.idioma(), QStringLiteral("automatica"), gravacao, *origem);
    m_usada.reset();
}

void AutomaticaDoEditor::preTraduz()
{
    if (m_editor.idioma().isEmpty())
        return;
    PreTraducaoDialog dialogo(m_editor, m_editor.janela());
    dialogo.exec();
    m_editor.devolveTeclado();
    if (dialogo.gravou())
        m_editor.recarrega();
}

} // namespace trd
