#include "Cli_Trd09303.h"

#include "CamposTraducao.h"
#include "Cli_Trd09300.h"
#include "CriaControles.h"
#include "MensErro.h"
#include "RelatorioRegras.h"
#include "ServerCalls.h"
#include "ShowAvi.h"
#include "TApplication.h"
#include "TCanvas.h"
#include "TClientDataSet.h"
#include "TDataSource.h"
#include "TDateEditPlus.h"
#include "TextFunctions.h"

#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>

namespace trd {

QPointer<TfrmSituTrad> frmSituTrad;
bool bostcriado = false;

namespace {

const QStringList catalogo = {
    QStringLiteral("Arq_Rel_Err|O arquivo contendo a definição do relatório de código '%s' não foi encontrado no "
                   "diretório '%s'."),
    QStringLiteral("NovoCaption|Título do relatório"),
    QStringLiteral("NovoPrompt|Informe o título do relatório:"),
    QStringLiteral("REG_NULL|AVISO: O diretório dos arquivos de tradução não foi definido no registro."),
    QStringLiteral("Idioma_Null|Idioma deve ser informado."),
    // A typed text that names no language of the list: sending it would only
    // bring empty data sets, or a server refusal, into a report that looks valid.
    QStringLiteral("Idioma_Inv|Idioma Inválido."),
};

} // namespace

TfrmSituTrad::TfrmSituTrad(QWidget* parent) : TfrmDadosGerRel(parent)
{
    setObjectName(QStringLiteral("frmSituTrad"));
    SetCaption(QStringLiteral("Situação da Tradução"));
    lblCodTela->setText(QStringLiteral("TRD09303"));
    lblCodRel->setText(QStringLiteral("TRD093"));
    msgPadrao->Messages = catalogo;

    buildControls();

    cdsCalcTrad = make<TClientDataSet>("cdsCalcTrad", this);
    cdsCalcNtrad = make<TClientDataSet>("cdsCalcNtrad", this);
    cdsCalcDuv = make<TClientDataSet>("cdsCalcDuv", this);
    cdsRevisadas = make<TClientDataSet>("cdsRevisadas", this);
    cdsTraducao = make<TClientDataSet>("cdsTraducao", this);
    cdsTraducao->AddField(NMSITUACAO, TFieldType::ftString, 1);
    cdsTraducao->AddField(NMDESTINO, TFieldType::ftString, 250);
    cdsPreCaracter = make<TClientDataSet>("cdsPreCaracter", this);
    dtsPreCaracter = make<TDataSource>("dtsPreCaracter", this);
    dtsPreCaracter->SetDataSet(cdsPreCaracter);
    cdsResumoSituacao = make<TClientDataSet>("cdsResumoSituacao", this);

    // The dialog's own connection keeps the address the connection component
    // starts with; it sets none before connecting.
    NetSitTrad = make<TNetConnection>("NetSitTrad", this);
    NetSitTrad->ServerName = ServerNameTraducao;
    NetSitTrad->ThrowException = false;
    netQRDesign->ServerName = ServerNameTraducao;
    rpddPadrao->DefaultDatabaseName.clear();
    rpddPadrao->BeforeGetQueryParams = [this](QObject* sender, TParams& params, bool& abort) {
        rpddPadraoBeforeGetQueryParams(sender, params, abort);
    };
    // Fixed at what its contents need (never less than designed: the fields'
    // area holds its own minimum), which the report list's titles set when
    // they are read, and again when reports are added or removed.
    layout()->setSizeConstraint(QLayout::SetFixedSize);
}

void TfrmSituTrad::buildControls()
{
    QWidget* area = grbDadosRel;
    // Designed at 394 by 140 for the client's smaller font: the fields keep
    // room for a whole date and a whole language item, and the dialog grows
    // to what they need.
    area->setMinimumSize(382, 88);

    GroupBox1 = criaEm<QGroupBox>(area, "GroupBox1", {4, 2, 200, 84});
    GroupBox1->setTitle(QStringLiteral("Idioma/Situação"));
    cbbIdioma = criaEm<QComboBox>(GroupBox1, "cbbIdioma", {62, 18, 130, 22});
    cbbIdioma->setEditable(true);
    cbbIdioma->setInsertPolicy(QComboBox::NoInsert);
    cbbIdioma->setCompleter(nullptr);
    QPalette palette = cbbIdioma->palette();
    palette.setColor(QPalette::Base, clInfoBk());
    cbbIdioma->setPalette(palette);
    cbbIdioma->lineEdit()->setPalette(palette);
    cbbIdioma->setVisible(false);
    lblIdioma = rotulo(GroupBox1, "lblIdioma", QStringLiteral("Idioma"), cbbIdioma, {8, 21, 52, 16});
    cbbSituacao = criaEm<QComboBox>(GroupBox1, "cbbSituacao", {62, 50, 130, 22});
    cbbSituacao->addItems(relatorio::ItensSituacao());
    cbbSituacao->setCurrentIndex(-1);
    lblSituacao = rotulo(GroupBox1, "lblSituacao", QStringLiteral("Situação"), cbbSituacao, {8, 53, 52, 16});

    grbData = criaEm<QGroupBox>(area, "grbData", {208, 2, 170, 84});
    grbData->setTitle(QStringLiteral("Data de alteração"));
    depDtIni = criaEm<TDateEditPlus>(grbData, "depDtIni", {52, 18, 112, 22});
    depDtFim = criaEm<TDateEditPlus>(grbData, "depDtFim", {52, 50, 112, 22});
    depDtIni->SaveTime = false;
    depDtFim->SaveTime = false;
    lblDtIni = rotulo(grbData, "lblDtIni", QStringLiteral("Inicial"), depDtIni, {6, 21, 44, 16});
    lblDtFim = rotulo(grbData, "lblDtFim", QStringLiteral("Final"), depDtFim, {6, 53, 44, 16});

    QWidget::setTabOrder(cbbIdioma, cbbSituacao);
    QWidget::setTabOrder(cbbSituacao, depDtIni);
    QWidget::setTabOrder(depDtIni, depDtFim);
    QWidget::setTabOrder(depDtFim, cbbReportNames);
}

void TfrmSituTrad::FormCreate(QObject* sender)
{
    TfrmDadosGerRel::FormCreate(sender);
    try {
        // Not guarded: a failed connect is reported by the connection itself.
        // The animation still goes, or it would stay over the editor for good.
        const ShowAviScope animacao(aviConectando);
        NetSitTrad->Open();
    } catch (...) {
        // The report of it is a message the user must answer: not under the
        // hourglass of the opening, which has nothing left to wait for.
        Application()->SetCursor(TApplication::crDefault);
        throw;
    }
    cbbIdioma->clear();
    if (frmTraducao)
        for (int i = 0; i < frmTraducao->cbbIdioma->count(); ++i)
            cbbIdioma->addItem(frmTraducao->cbbIdioma->itemText(i));
    cbbIdioma->setCurrentIndex(-1);
    cbbIdioma->setEditText(QString());
}

void TfrmSituTrad::FormActivate(QObject* sender)
{
    TfrmDadosGerRel::FormActivate(sender);
    repaint();
    cbbIdioma->setVisible(true);
}

void TfrmSituTrad::FormClose(QObject* sender, TCloseAction& action)
{
    TfrmDadosGerRel::FormClose(sender, action);
    NetSitTrad->Close();
    bostcriado = false;
}

void TfrmSituTrad::rpddPadraoBeforeGetQueryParams(QObject*, TParams& params, bool&)
{
    QString situacao;
    if (cbbIdioma->isVisible() && EmptyString(cbbIdioma->currentText()))
        MensErro(msgPadrao->Msg(QStringLiteral("Idioma_Null")), true);

    // The language is the item the text names; a typed text naming none is
    // refused before anything is set or fetched.
    int item = -1;
    if (!EmptyString(cbbIdioma->currentText())) {
        QStringList itens;
        for (int i = 0; i < cbbIdioma->count(); ++i)
            itens << cbbIdioma->itemText(i);
        item =
            cbbIdioma->currentIndex() >= 0 && cbbIdioma->itemText(cbbIdioma->currentIndex()) == cbbIdioma->currentText()
            ? cbbIdioma->currentIndex()
            : relatorio::ItemDoIdioma(cbbIdioma->currentText(), itens);
        if (item < 0) {
            cbbIdioma->setFocus();
            MensErro(msgPadrao->Msg(QStringLiteral("Idioma_Inv")), true);
        }
        if (item != cbbIdioma->currentIndex())
            cbbIdioma->setCurrentIndex(item);
    }

    situacao = relatorio::CodigoSituacao(cbbSituacao->currentIndex());
    if (ExistParam(params, QStringLiteral("P_SITUACAO")))
        params.ParamByName(QStringLiteral("P_SITUACAO")).SetAsString(situacao);
    if (ExistParam(params, QStringLiteral("P_TSITUACAO")))
        params.ParamByName(QStringLiteral("P_TSITUACAO")).SetAsString(relatorio::TodasSituacoes(situacao));
    if (ExistParam(params, QStringLiteral("P_IDIDIOMA")))
        params.ParamByName(QStringLiteral("P_IDIDIOMA"))
            .SetAsString(item < 0 ? QStringLiteral("T") : relatorio::CodigoIdioma(cbbIdioma->itemText(item)));
    if (ExistParam(params, QStringLiteral("P_DtIni")))
        params.ParamByName(QStringLiteral("P_DtIni")).SetAsDate(depDtIni->GetDate());
    if (ExistParam(params, QStringLiteral("P_DtFim")))
        params.ParamByName(QStringLiteral("P_DtFim")).SetAsDate(relatorio::DataFinalConsulta(depDtFim->GetDate()));

    // Only reachable before the dialog was first shown (the list still
    // hidden): the server calls need a language.
    if (item < 0)
        MensErro(msgPadrao->Msg(QStringLiteral("Idioma_Null")), true);
    carregaConjuntos(relatorio::CodigoIdioma(cbbIdioma->itemText(item)));
}

void TfrmSituTrad::carregaConjuntos(const QString& idioma)
{
    const ShowAviScope animacao(aviProcessando);
    TAppServer& server = NetSitTrad->AppServer();
    cdsCalcTrad->SetData(CheckResultServ(server.Call(metodo::GetCalcTrad, {idioma}), true, 0));
    cdsCalcNtrad->SetData(CheckResultServ(server.Call(metodo::GetCalcNtrad, {idioma}), true, 0));
    cdsCalcDuv->SetData(CheckResultServ(server.Call(metodo::GetCalcDuv, {idioma}), true, 0));
    cdsTraducao->SetData(CheckResultServ(server.Call(metodo::GetInfoTrad, {idioma}), true, 0));
    // The reviewed counts beside them; a server that cannot tell leaves the column empty.
    cdsRevisadas->Close();
    {
        const bool lanca = NetSitTrad->ThrowException;
        NetSitTrad->ThrowException = false;
        TServerResult revisadas = server.Call(metodo::GetCalcRevisadas, {idioma, 0, 0, QStringLiteral("T")});
        NetSitTrad->ThrowException = lanca;
        if (revisadas.Ok)
            cdsRevisadas->SetData(revisadas.Packet);
    }
    relatorio::MontaResumo(*cdsResumoSituacao, *cdsCalcTrad, *cdsCalcDuv, *cdsCalcNtrad, *cdsTraducao, cdsRevisadas);
}

void CriaRelTraducao()
{
    // The hourglass stays until the modal dialog returns (the modal loop shows
    // the default cursor while the user fills it in), and goes however the
    // opening ends, a failure in the dialog's creation or its loop included.
    const HourGlass ampulheta;
    if (!bostcriado || !frmSituTrad) {
        frmSituTrad = CreateForm<TfrmSituTrad>(Application()->MainForm());
        bostcriado = true;
    }
    frmSituTrad->ShowModal();
    if (frmSituTrad)
        frmSituTrad->SetWindowState(wsNormal);
}

} // namespace trd
