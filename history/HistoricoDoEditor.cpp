#include "HistoricoDoEditor.h"

#include "BuscaUltimaAlteracao.h"
#include "CamposTraducao.h"
#include "Cli_Trd09300.h"
#include "Cli_Trd09307.h"
#include "Cli_Trd09308.h"
#include "Dispatch.h"
#include "ServerCalls.h"
#include "ServicosDoEditor.h"
#include "ShowAvi.h"
#include "TApplication.h"
#include "WebSession.h"

#include <QAction>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QTableWidget>
#include <QVBoxLayout>

namespace trd::historico {

namespace {

} // namespace

HistoricoDoEditor::HistoricoDoEditor(ServicosDoEditor& editor) : QObject(editor.janela()), m_editor(editor)
{
    // The line under the detail panel: the panel itself keeps its designed layout.
    panAlteracao = new QFrame;
    panAlteracao->setObjectName(QStringLiteral("panAlteracao"));
    panAlteracao->setFrameShape(QFrame::StyledPanel);
    panAlteracao->setFixedHeight(22);
    auto* linha = new QHBoxLayout(panAlteracao);
    linha->setContentsMargins(8, 0, 8, 0);
    lblAlteracao = new QLabel(panAlteracao);
    lblAlteracao->setObjectName(QStringLiteral("lblAlteracao"));
    lblAlteracao->setTextFormat(Qt::PlainText);
    linha->addWidget(lblAlteracao, 1);
    editor.adicionaPainel(panAlteracao, ServicosDoEditor::Lugar::SobODetalhe);

    editor.adicionaSeparador("N4");
    mnuHistorico = editor.adicionaItem("mnuHistorico", QStringLiteral("&Histórico da Linha..."),
                                       QKeySequence(Qt::CTRL | Qt::Key_H));
    mnuLotes = editor.adicionaItem("mnuLotes", QStringLiteral("Lotes de Alte&rações..."),
                                   QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_H));
    for (QAction* item : {mnuHistorico, mnuLotes})
        item->setEnabled(false);
    connect(mnuHistorico, &QAction::triggered, this, [this] { Dispatch([this] { mnuHistoricoClick(mnuHistorico); }); });
    connect(mnuLotes, &QAction::triggered, this, [this] { Dispatch([this] { mnuLotesClick(mnuLotes); }); });

    m_busca = new BuscaUltimaAlteracao(this);
    m_busca->Endereco = [this] {
        const TSocketConnection& conexao = m_editor.conexao();
        Servidor s;
        s.host = conexao.Host;
        s.port = conexao.Port;
        s.tls = conexao.UseTls;
        s.caFile = conexao.TlsCaFile;
        s.token = WebSessionToken;
        return s;
    };
    m_busca->Mostra = [this](const QString& texto) { lblAlteracao->setText(texto); };
    m_busca->Autor = [this](const ChaveLinha& c, const QString& autor) {
        emit autorDaUltimaAlteracao(trd::ChaveLinha{c.idioma, c.programa, c.componente, c.origem}, autor);
    };
}

ChaveLinha HistoricoDoEditor::ChaveAtual() const
{
    const trd::ChaveLinha c = m_editor.chaveAtual();
    return {c.idioma, c.programa, c.componente, c.origem};
}

void HistoricoDoEditor::LinhaAtual()
{
    const ChaveLinha chave = ChaveAtual();
    if (chave.vazia())
        m_busca->Esquece();
    else
        m_busca->Pede(chave);
}

void HistoricoDoEditor::Gravou()
{
    const ChaveLinha chave = ChaveAtual();
    if (chave.vazia())
        return;
    // The save just went through: its author is known before the server is asked.
    emit autorDaUltimaAlteracao(m_editor.chaveAtual(), m_editor.papeis().usuario());
    m_busca->Pede(chave, true);
}

void HistoricoDoEditor::Habilita()
{
    const TClientDataSet& ds = m_editor.linhas();
    const bool linhas = ds.Active() && !ds.IsEmpty();
    const bool editando = ds.State() == TDataSetState::dsEdit || ds.State() == TDataSetState::dsInsert;
    mnuHistorico->setEnabled(linhas && !editando);
    mnuLotes->setEnabled(m_editor.idiomaDaLista() && !editando);
}

void HistoricoDoEditor::mnuHistoricoClick(QObject*)
{
    const ChaveLinha chave = ChaveAtual();
    TClientDataSet& ds = m_editor.linhas();
    if (chave.vazia() || ds.State() != TDataSetState::dsBrowse)
        return;
    QList<Versao> versoes;
    {
        const ShowAviScope ocupado(aviProcessando);
        versoes = BuscaHistorico(m_editor.conexao(), chave);
    }
    QPointer<TfrmHistorico> janela = CreateForm<TfrmHistorico>(Application()->MainForm());
    janela->Carrega(chave, versoes, ds.FieldByName(NMDESTINO)->AsString(), ds.FieldByName(NMSITUACAO)->AsString());
    // The window opens with the keyboard on its versions: Up and Down choose,
    // Enter restores.
    janela->grdVersoes->setFocus(Qt::OtherFocusReason);
    const bool restaurar = janela->ShowModal() == mrOk && janela;
    const std::optional<Versao> escolhida = janela ? janela->Escolhida() : std::nullopt;
    if (janela)
        janela->Release();
    // Still the same row: the window was modal.
    if (restaurar && escolhida && ChaveAtual() == chave)
        Restaura(*escolhida);
}

void HistoricoDoEditor::mnuLotesClick(QObject*)
{
    QPointer<TfrmLotes> janela = CreateForm<TfrmLotes>(Application()->MainForm());
    janela->Carrega(m_editor.idioma());
    // The keyboard on the batches: Up and Down choose the one to undo.
    janela->grdLotes->setFocus(Qt::OtherFocusReason);
    janela->ShowModal();
    if (janela)
        janela->Release();
}

void HistoricoDoEditor::Restaura(const Versao& versao)
{
    TClientDataSet* ds = &m_editor.linhas();
    ds->Edit();
    ds->FieldByName(NMDESTINO)->SetAsString(versao.textoDepois);
    ds->FieldByName(NMSITUACAO)->SetAsString(versao.situacaoDepois);
    ds->Post();
}

Desfazimento DesfazNoEditor(qint64 lote, bool forcar)
{
    if (!frmTraducao)
        return {};
    Desfazimento resultado;
    {
        const ShowAviScope ocupado(aviProcessando);
        resultado = DesfazLote(frmTraducao->conexao(), frmTraducao->idioma(), lote, forcar);
    }
    if (resultado.lote != 0 && frmTraducao->linhas().Active())
        RecarregaLinhas(*frmTraducao);
    return resultado;
}

void RecarregaLinhas(ServicosDoEditor& editor)
{
    TClientDataSet& ds = editor.linhas();
    const trd::ChaveLinha chave = editor.chaveAtual();
    editor.recarrega();
    if (!chave.vazia() && ds.Active())
        ds.Locate(QStringLiteral("IDIDIOMA;CDPROGTRAD;NMCOMPONENTE;STAGRVALPROP"),
                  {chave.idioma, chave.programa, chave.componente, chave.origem});
}

} // namespace trd::historico
