#include "HistoricoDoEditor.h"

#include "BuscaUltimaAlteracao.h"
#include "Cli_Trd09300.h"
#include "Cli_Trd09307.h"
#include "Cli_Trd09308.h"
#include "Dispatch.h"
#include "ServerCalls.h"
#include "ShowAvi.h"
#include "TApplication.h"
#include "WebSession.h"

#include <QAction>
#include <QComboBox>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QTableWidget>
#include <QVBoxLayout>

namespace trd::historico {

namespace {

const QString NMDESTINO = QStringLiteral("STVALORPROP");
const QString NMSITUACAO = QStringLiteral("IDSITTRADUCAO");

struct Ocupado {
    Ocupado() { ActiveShowAvi(Application()->MainForm(), aviProcessando); }
    ~Ocupado() { DeactiveShowAvi(); }
    Ocupado(const Ocupado&) = delete;
    Ocupado& operator=(const Ocupado&) = delete;
};

} // namespace

HistoricoDoEditor::HistoricoDoEditor(TfrmTraducao& editor) : QObject(&editor), m_editor(editor)
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
    const int detalhe = editor.FolhaDadosLayout()->indexOf(editor.Panel4);
    editor.FolhaDadosLayout()->insertWidget(detalhe + 1, panAlteracao);

    N4 = editor.AddMaintenanceSeparator("N4");
    mnuHistorico = editor.AddMaintenanceItem("mnuHistorico", QStringLiteral("&Histórico da Linha..."),
                                             QKeySequence(Qt::CTRL | Qt::Key_H));
    mnuLotes = editor.AddMaintenanceItem("mnuLotes", QStringLiteral("Lotes de Alte&rações..."),
                                         QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_H));
    for (QAction* item : {mnuHistorico, mnuLotes})
        item->setEnabled(false);
    connect(mnuHistorico, &QAction::triggered, this, [this] { Dispatch([this] { mnuHistoricoClick(mnuHistorico); }); });
    connect(mnuLotes, &QAction::triggered, this, [this] { Dispatch([this] { mnuLotesClick(mnuLotes); }); });

    m_busca = new BuscaUltimaAlteracao(this);
    m_busca->Endereco = [this] {
        Servidor s;
        s.host = m_editor.netTraducao->Host;
        s.port = m_editor.netTraducao->Port;
        s.tls = m_editor.netTraducao->UseTls;
        s.caFile = m_editor.netTraducao->TlsCaFile;
        s.token = WebSessionToken;
        return s;
    };
    m_busca->Mostra = [this](const QString& texto) { lblAlteracao->setText(texto); };
}

ChaveLinha HistoricoDoEditor::ChaveAtual() const
{
    TClientDataSet* ds = m_editor.cdsDestino;
    if (!ds->Active() || ds->IsEmpty())
        return {};
    return {ds->FieldByName(QStringLiteral("IDIDIOMA"))->AsString(),
            ds->FieldByName(QStringLiteral("CDPROGTRAD"))->AsString(),
            ds->FieldByName(QStringLiteral("NMCOMPONENTE"))->AsString(),
            ds->FieldByName(QStringLiteral("STAGRVALPROP"))->AsString()};
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
    if (!chave.vazia())
        m_busca->Pede(chave, true);
}

void HistoricoDoEditor::Habilita()
{
    TClientDataSet* ds = m_editor.cdsDestino;
    const bool linhas = ds->Active() && !ds->IsEmpty();
    const bool editando = ds->State() == TDataSetState::dsEdit || ds->State() == TDataSetState::dsInsert;
    const QString idioma = m_editor.cbbIdioma->currentText();
    const bool idiomaValido = !idioma.isEmpty() && m_editor.cbbIdioma->findText(idioma, Qt::MatchFixedString) >= 0;
    mnuHistorico->setEnabled(linhas && !editando);
    mnuLotes->setEnabled(idiomaValido && !editando);
}

void HistoricoDoEditor::mnuHistoricoClick(QObject*)
{
    const ChaveLinha chave = ChaveAtual();
    if (chave.vazia() || m_editor.cdsDestino->State() != TDataSetState::dsBrowse)
        return;
    QList<Versao> versoes;
    {
        Ocupado ocupado;
        versoes = BuscaHistorico(*m_editor.netTraducao, chave);
    }
    QPointer<TfrmHistorico> janela = CreateForm<TfrmHistorico>(Application()->MainForm());
    janela->Carrega(chave, versoes, m_editor.cdsDestino->FieldByName(NMDESTINO)->AsString(),
                    m_editor.cdsDestino->FieldByName(NMSITUACAO)->AsString());
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
    janela->Carrega(stIdioma);
    // The keyboard on the batches: Up and Down choose the one to undo.
    janela->grdLotes->setFocus(Qt::OtherFocusReason);
    janela->ShowModal();
    if (janela)
        janela->Release();
}

void HistoricoDoEditor::Restaura(const Versao& versao)
{
    TClientDataSet* ds = m_editor.cdsDestino;
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
        Ocupado ocupado;
        resultado = DesfazLote(*frmTraducao->netTraducao, stIdioma, lote, forcar);
    }
    if (resultado.lote != 0 && frmTraducao->cdsDestino->Active())
        RecarregaLinhas(*frmTraducao);
    return resultado;
}

void RecarregaLinhas(TfrmTraducao& editor)
{
    TClientDataSet* ds = editor.cdsDestino;
    QVariantList chave;
    if (ds->Active() && !ds->IsEmpty())
        for (const char* campo : {"IDIDIOMA", "CDPROGTRAD", "NMCOMPONENTE", "STAGRVALPROP"})
            chave.append(ds->FieldByName(QString::fromLatin1(campo))->AsString());
    editor.sbtVerificarClick(nullptr);
    if (!chave.isEmpty() && ds->Active())
        ds->Locate(QStringLiteral("IDIDIOMA;CDPROGTRAD;NMCOMPONENTE;STAGRVALPROP"), chave);
}

} // namespace trd::historico
