#include "Cli_Trd09301.h"

#include "Cli_Trd09300.h"
#include "CriaControles.h"
#include "Dispatch.h"
#include "FiltroArquivo.h"
#include "FiltroCriterios.h"
#include "LiberacaoDados.h"
#include "LinhaDoServidor.h"
#include "ListaItens.h"
#include "MensErro.h"
#include "ServerCalls.h"
#include "ShowAvi.h"
#include "TApplication.h"
#include "TDateEditPlus.h"
#include "TextFunctions.h"
#include "TOpenDialog.h"
#include "UpperCaseValidator.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QScopedValueRollback>

#include <new>

#include <memory>

namespace trd {

bool boTestaFiltro = false;
Filtra_Palavra TFiltro;
Filtra_Prog TFiltro2;
QString stTRAD;
QString stDUV;
QString stNTRAD;
QString stPARAMSQL;
QString stDataTrad;
TDateTime dtDataIni = 0;
TDateTime dtDataFin = 0;

QPointer<TfrmFiltroTraducao> frmFiltroTraducao;

namespace {

const QStringList catalogo = {
    QStringLiteral("Progs_N_Cad|Programa não cadastrado."),
    QStringLiteral("Inv_Arq|Arquivo inválido."),
    QStringLiteral("One_Check|Pelo menos uma das opções deve estar preenchida."),
    QStringLiteral("DtIni_Vazia|Data Inicial deve ser informada."),
    QStringLiteral("DtFin_Vazia|Data Final deve ser informada."),
    QStringLiteral("DtIni_Maior_DtFin|Data Inicial deve ser menor que Data Final."),
    QStringLiteral("Insufficient_Memory|Não foi possível retornar todos os registros selecionados. "
                   "Nos campos \"Data de alteração\", tente filtrar por um período menor."),
    QStringLiteral(
        "Sem_Reescritas|A última liberação do aplicativo não reescreveu nem moveu nenhuma linha deste idioma."),
};

QLineEdit* edicaoMaiuscula(QWidget* parent, const char* name, const QRect& bounds)
{
    auto* edit = criaEm<QLineEdit>(parent, name, bounds);
    edit->setValidator(new UpperCaseValidator(edit));
    // With the two '%' a LIKE may add, this is the longest pattern the server takes.
    edit->setMaxLength(254);
    return edit;
}

} // namespace

TfrmFiltroTraducao::TfrmFiltroTraducao(QWidget* parent) : TfrmRotiGeral(parent)
{
    setObjectName(QStringLiteral("frmFiltroTraducao"));
    SetCaption(QStringLiteral("Filtro de Tradução"));
    lblCodTela->setText(QStringLiteral("TRD09301"));
    msgPadrao->Messages = catalogo;
    setFixedSize(431, 425);
    EnterConfirma = true;

    buildCriteria();
    buildFileGroup();

    opdTradErros = make<TOpenDialog>("opdTradErros", this);
    opdTradErros->Title = QStringLiteral("Arquivo de lista de itens não traduzidos");
    opdTradErros->FileName = QStringLiteral("CDSNTRAD.cds");
    opdTradErros->DefaultExt = QStringLiteral("cds");
    opdTradErros->Filter = QStringLiteral("Arquivos CDS (*.cds)|*.CDS");

    depDtInicial->OnExit = [this](QObject* sender) { depDtInicialExit(sender); };
    depDtFinal->OnExit = [this](QObject* sender) { depDtFinalExit(sender); };
    // Like the framework's OnClick, it follows every change of the box, by
    // the user or by code.
    connect(chbFilArq, &QCheckBox::toggled, this, [this] { Dispatch([this] { chbFilArqClick(chbFilArq); }); });
}

void TfrmFiltroTraducao::buildCriteria()
{
    QWidget* area = grbDadosRel;

    grbSituacao = grupo(area, "grbSituacao", QStringLiteral("Situação"), {6, 4, 343, 78});
    ckbTraduzido = caixa(grbSituacao, "ckbTraduzido", QStringLiteral("Traduzido"), {10, 17, 100, 18});
    ckbDuvida = caixa(grbSituacao, "ckbDuvida", QStringLiteral("Dúvida"), {120, 17, 100, 18});
    ckbNaoTraduzido = caixa(grbSituacao, "ckbNaoTraduzido", QStringLiteral("Não Traduzido"), {220, 17, 115, 18});
    CheckBox1 = caixa(grbSituacao, "CheckBox1", QStringLiteral("Revisado"), {10, 36, 100, 18});
    ckbDuvida->setChecked(true);
    ckbNaoTraduzido->setChecked(true);
    CheckBox1->setChecked(true);
    lblRevisao = rotulo(grbSituacao, "lblRevisao", QStringLiteral("Revisão"), {120, 37, 56, 16});
    lblRevisao->resize(qMax(56, lblRevisao->sizeHint().width()), 16);
    const int combo = lblRevisao->geometry().right() + 4;
    cbbRevisao = criaEm<QComboBox>(grbSituacao, "cbbRevisao", {combo, 34, 335 - combo, 20});
    cbbRevisao->setToolTip(QStringLiteral("As linhas pela marca de revisão (Revisado, com quem e quando)"));
    cbbRevisao->addItems({QStringLiteral("Todas"), QStringLiteral("Revisadas"), QStringLiteral("Não revisadas")});
    lblRevisao->setBuddy(cbbRevisao);
    chbLiberacao =
        caixa(grbSituacao, "chbLiberacao", QStringLiteral("Reescritas na última liberação"), {10, 56, 325, 18});

    grbFilProg = grupo(area, "grbFilProg", QStringLiteral("Filtrar por Programa"), {6, 84, 343, 46});
    lblCdProg = rotulo(grbFilProg, "lblCdProg", QStringLiteral("Código"), {10, 21, 50, 16});
    edtCdProg = edicaoMaiuscula(grbFilProg, "edtCdProg", {62, 18, 150, 22});
    chbPrefixo = caixa(grbFilProg, "chbPrefixo", QStringLiteral("Idêntico"), {226, 20, 100, 18});

    grbComponente = grupo(area, "grbComponente", QStringLiteral("Filtrar por Componente"), {6, 132, 343, 46});
    lblComponente = rotulo(grbComponente, "lblComponente", QStringLiteral("Nome"), {10, 21, 50, 16});
    edtComponente = edicaoMaiuscula(grbComponente, "edtComponente", {62, 18, 270, 22});

    grbFiltro = grupo(area, "grbFiltro", QStringLiteral("Filtrar por Palavras"), {6, 180, 343, 92});
    cbbCampo = criaEm<QComboBox>(grbFiltro, "cbbCampo", {10, 18, 125, 22});
    cbbCampo->addItems({QStringLiteral("Idioma Origem"), QStringLiteral("Idioma Destino")});
    lblTexto = rotulo(grbFiltro, "lblTexto", QStringLiteral("Conteúdo"), {143, 21, 58, 16});
    edtTexto = edicaoMaiuscula(grbFiltro, "edtTexto", {202, 18, 130, 22});
    grbTipo = grupo(grbFiltro, "grbTipo", QStringLiteral("Tipo"), {10, 44, 322, 42});
    rbtIdentico = criaEm<QRadioButton>(grbTipo, "rbtIdentico", {10, 18, 95, 18});
    rbtIdentico->setText(QStringLiteral("Idêntico"));
    rbtPrefixo = criaEm<QRadioButton>(grbTipo, "rbtPrefixo", {115, 18, 95, 18});
    rbtPrefixo->setText(QStringLiteral("Prefixo"));
    rbtParte = criaEm<QRadioButton>(grbTipo, "rbtParte", {220, 18, 95, 18});
    rbtParte->setText(QStringLiteral("Parte"));
    rbtParte->setChecked(true);

    grbDataAlt = grupo(area, "grbDataAlt", QStringLiteral("Data de alteração"), {6, 274, 343, 46});
    lblDtInicial = rotulo(grbDataAlt, "lblDtInicial", QStringLiteral("Inicial"), {10, 21, 44, 16});
    depDtInicial = criaEm<TDateEditPlus>(grbDataAlt, "depDtInicial", {56, 18, 112, 22});
    lblDtFinal = rotulo(grbDataAlt, "lblDtFinal", QStringLiteral("Final"), {182, 21, 36, 16});
    depDtFinal = criaEm<TDateEditPlus>(grbDataAlt, "depDtFinal", {220, 18, 112, 22});
    depDtInicial->SaveTime = false;
    depDtFinal->SaveTime = false;
}

void TfrmFiltroTraducao::buildFileGroup()
{
    grbFilArq = grupo(grbDadosRel, "grbFilArq", QStringLiteral("Filtrar por Arquivo"), {6, 322, 343, 88});
    chbFilArq = caixa(grbFilArq, "chbFilArq", QStringLiteral("Filtrar por Arquivo"), {10, 18, 160, 18});
    chbArqNtrad = caixa(grbFilArq, "chbArqNtrad", QStringLiteral("Não Traduzido"), {30, 40, 130, 18});
    chbArqErrTam = caixa(grbFilArq, "chbArqErrTam", QStringLiteral("Erro de Tamanho"), {170, 40, 150, 18});
    chbArqNtrad->setChecked(true);
    chbArqErrTam->setChecked(true);
    // Off at first: a list filtered as it always was until the user asks for more.
    chbArqVerif = caixa(grbFilArq, "chbArqVerif", QStringLiteral("Outras Verificações"), {30, 62, 160, 18});
}

void TfrmFiltroTraducao::FormCreate(QObject* sender)
{
    TfrmRotiGeral::FormCreate(sender);
    boTestaFiltro = false;
    ckbTraduzido->setChecked(false);
    ckbDuvida->setChecked(true);
    ckbNaoTraduzido->setChecked(true);
    TFiltro.stTipo = QStringLiteral("Parte");
    TFiltro.stPalavra.clear();
}

void TfrmFiltroTraducao::FormActivate(QObject* sender)
{
    TfrmRotiGeral::FormActivate(sender);
    repaint();
    cbbCampo->setCurrentIndex(0);
    // Each box follows its own comparison; a stored kind that is none of the
    // three leaves the buttons as they were.
    if (TFiltro.stTipo == QLatin1String("Prefixo"))
        rbtPrefixo->setChecked(true);
    if (TFiltro.stTipo == QLatin1String("Parte"))
        rbtParte->setChecked(true);
    if (TFiltro.stTipo == QLatin1String("Identico"))
        rbtIdentico->setChecked(true);
    edtTexto->setText(TFiltro.stPalavra);
    edtCdProg->setText(TFiltro2.stPrograma);
}

void TfrmFiltroTraducao::FormClose(QObject*, TCloseAction& action)
{
    // Unlike the other dialogs this one is never released: hidden, it keeps
    // its settings for the next opening.
    action = caHide;
}

void TfrmFiltroTraducao::chbFilArqClick(QObject*)
{
    const bool on = chbFilArq->isChecked();
    for (QWidget* criterio : std::initializer_list<QWidget*>{
             ckbTraduzido, ckbDuvida,     ckbNaoTraduzido, CheckBox1,     lblRevisao, cbbRevisao,
             chbLiberacao, edtCdProg,     chbPrefixo,      edtComponente, cbbCampo,   edtTexto,
             rbtIdentico,  rbtPrefixo,    rbtParte,        depDtInicial,  depDtFinal, grbSituacao,
             grbFilProg,   grbComponente, grbFiltro,       grbDataAlt})
        criterio->setEnabled(!on);
    chbArqNtrad->setEnabled(on);
    chbArqErrTam->setEnabled(on);
    chbArqVerif->setEnabled(on);
}

void TfrmFiltroTraducao::depDtInicialExit(QObject*)
{
    if (!m_semChecagemAoSair && !EmptyString(depDtInicial->text()))
        depDtInicial->CheckValidDate();
}

void TfrmFiltroTraducao::depDtFinalExit(QObject*)
{
    if (!m_semChecagemAoSair && !EmptyString(depDtFinal->text()))
        depDtFinal->CheckValidDate();
}

void TfrmFiltroTraducao::sbtConfirmaClick(QObject* sender)
{
    TfrmRotiGeral::sbtConfirmaClick(sender);
    if (chbFilArq->isChecked())
        filtroArquivo();
    else
        filtroCriterios();
    sbtCancel->Click();
}

void TfrmFiltroTraducao::filtroCriterios()
{
    // Each refusal leaves the caret in the date it names, so that what the
    // user types next, once the message is closed, goes where it is wanted.
    if (EmptyString(depDtInicial->text())) {
        focaData(depDtInicial);
        MensErro(msgPadrao->Msg(QStringLiteral("DtIni_Vazia")), true);
    }
    if (EmptyString(depDtFinal->text())) {
        focaData(depDtFinal);
        MensErro(msgPadrao->Msg(QStringLiteral("DtFin_Vazia")), true);
    }
    // The confirm button takes no focus, so a date typed wrong may not have
    // been checked on its way out; a date that does not parse would otherwise
    // count as no date and leave that side of the range open.
    depDtInicial->CheckValidDate();
    depDtFinal->CheckValidDate();
    if (depDtFinal->GetDate() < depDtInicial->GetDate()) {
        depDtInicial->setFocus();
        MensErro(msgPadrao->Msg(QStringLiteral("DtIni_Maior_DtFin")), true);
    }

    dtDataIni = depDtInicial->GetDate();
    dtDataFin = depDtFinal->GetDate();
    boTestaFiltro = true;
    stDataTrad = QStringLiteral("N");
    stPARAMSQL.clear();

    EscolhasCriterios escolhas;
    escolhas.traduzido = ckbTraduzido->isChecked();
    escolhas.duvida = ckbDuvida->isChecked();
    escolhas.naoTraduzido = ckbNaoTraduzido->isChecked();
    escolhas.programa = edtCdProg->text();
    escolhas.programaIdentico = chbPrefixo->isChecked();
    escolhas.componente = edtComponente->text();
    escolhas.textoDestino = cbbCampo->currentIndex() != 0;
    escolhas.tipo = rbtIdentico->isChecked() ? TipoPalavra::Identico
        : rbtPrefixo->isChecked()            ? TipoPalavra::Prefixo
                                             : TipoPalavra::Parte;
    escolhas.palavra = edtTexto->text();
    escolhas.revisao = static_cast<FiltroRevisao>(qMax(0, cbbRevisao->currentIndex()));
    const FiltroCriterios f = montaFiltroCriterios(escolhas);
    TFiltro.stPalavra = f.stPalavra;
    TFiltro2.stPrograma = f.stPrograma;
    TFiltro.stTipo = f.stTipo;
    stTRAD = f.stTRAD;
    stDUV = f.stDUV;
    stNTRAD = f.stNTRAD;
    stPARAMSQL = f.stPARAMSQL;

    if (chbLiberacao->isChecked())
        carregaReescritas();
    else
        carregaLinhas();
}

void TfrmFiltroTraducao::carregaReescritas()
{
    if (!frmTraducao)
        throw Exception(QStringLiteral("O editor de tradução não está aberto."));
    TSocketConnection& conexao = *frmTraducao->netTraducao;
    TClientDataSet* cdsDestino = frmTraducao->cdsDestino;
    QList<ChaveLinha> chaves;
    {
        const ShowAviScope ocupado(aviProcessando);
        const QSet<QString> daUltima = liberacao::ReescritasDaUltima(liberacao::BuscaOrigens(conexao, stIdioma, true));
        if (daUltima.isEmpty()) {
            DeactiveShowAvi();
            MensErro(msgPadrao->Msg(QStringLiteral("Sem_Reescritas")), true);
        }
        // The criteria as any filter has them, then only the rows the last
        // release carried: what is loaded is the rows both name.
        TClientDataSet criterios;
        criterios.SetData(CheckResultServ(
            conexao.AppServer().Call(metodo::GetFiltroDest,
                                     {stTRAD, stDUV, stNTRAD, stPARAMSQL, stIdioma, dtDataIni, dtDataFin, stDataTrad}),
            true, 0));
        chaves = liberacao::LinhasEntre(criterios, stIdioma, daUltima);
    }
    // The rows are a list, as a file filter's: the editor's reload reads the
    // whole language again, not this list.
    boTestaFiltro = false;
    stDataTrad = QStringLiteral("T");
    cdsDestino->Close();
    const ShowAviScope ocupado(aviProcessando);
    LeLinhasDoServidor(conexao, stIdioma, chaves, *cdsDestino);
}

void TfrmFiltroTraducao::focaData(QWidget* data)
{
    // The date being left may hold a date that does not exist: its check on
    // the way out would show its own message first and take the caret back.
    // The confirmation checks it once the missing date is given.
    const QScopedValueRollback<bool> semChecagem(m_semChecagemAoSair, true);
    data->setFocus();
}

void TfrmFiltroTraducao::carregaLinhas()
{
    if (!frmTraducao)
        throw Exception(QStringLiteral("O editor de tradução não está aberto."));
    TClientDataSet* cdsDestino = frmTraducao->cdsDestino;
    cdsDestino->Close();
    CarregaLinhasFiltradas(*frmTraducao->netTraducao, *cdsDestino,
                           msgPadrao->Msg(QStringLiteral("Insufficient_Memory")));
}

void TfrmFiltroTraducao::filtroArquivo()
{
    // The file's rows carry no change date: the editor's next reload must not
    // restrict by one either, even when the steps below stop early.
    stDataTrad = QStringLiteral("T");
    const QString tipo = TipoListagem(chbArqNtrad->isChecked(), chbArqErrTam->isChecked(), chbArqVerif->isChecked());
    if (tipo.isEmpty()) {
        chbArqNtrad->setFocus();
        MensErro(msgPadrao->Msg(QStringLiteral("One_Check")), true);
    }
    // Owned by nothing and released on every way out.
    const auto lista = std::make_unique<TClientDataSet>();
    opdTradErros->InitialDir = PastaListas();
    if (!opdTradErros->Execute())
        return;
    try {
        lista->LoadFromFile(opdTradErros->FileName);
    } catch (const std::exception&) {
        // Missing, unreadable, not a data packet, the binary form: to the
        // user they are all a file the dialog cannot use.
        MensErro(msgPadrao->Msg(QStringLiteral("Inv_Arq")), true);
    }
    if (lista->IsEmpty())
        return;
    carregaLista(lista->Data(), tipo);
}

void TfrmFiltroTraducao::carregaLista(const QByteArray& pacote, const QString& tipo)
{
    if (!frmTraducao)
        throw Exception(QStringLiteral("O editor de tradução não está aberto."));
    TClientDataSet* cdsDestino = frmTraducao->cdsDestino;
    cdsDestino->Close();
    try {
        const ShowAviScope ocupado(aviProcessando);
        // Stays after success until CriaFiltroTraducao ends the modal dialog.
        Application()->SetCursor(TApplication::crSQLWait);
        TServerResult resposta =
            frmTraducao->netTraducao->AppServer().Call(metodo::GetCDSFilter, {stIdioma, pacote, tipo});
        cdsDestino->SetData(CheckResultServ(std::move(resposta), true, 0));
    } catch (...) {
        Application()->SetCursor(TApplication::crDefault);
        throw;
    }
}

void CarregaLinhasFiltradas(TSocketConnection& conexao, TClientDataSet& linhas, const QString& muitasLinhas)
{
    try {
        const ShowAviScope ocupado(aviProcessando);
        TServerResult resposta = conexao.AppServer().Call(
            metodo::GetFiltroDest, {stTRAD, stDUV, stNTRAD, stPARAMSQL, stIdioma, dtDataIni, dtDataFin, stDataTrad});
        linhas.SetData(CheckResultServ(std::move(resposta), true, 0));
    } catch (const EDBClient&) {
        // The answer came but does not fit the row set: too many rows for the client.
        MensErro(muitasLinhas, true);
    } catch (const EOutOfMemory&) {
        // Too large to receive or to hold: the same case.
        MensErro(muitasLinhas, true);
    } catch (const std::bad_alloc&) {
        MensErro(muitasLinhas, true);
    }
}

void CriaFiltroTraducao()
{
    // The default cursor comes back however the opening ends, an error in
    // the dialog's creation or its modal loop included.
    const HourGlass ampulheta;
    if (!frmFiltroTraducao)
        frmFiltroTraducao = CreateForm<TfrmFiltroTraducao>(Application()->MainForm());
    // Each opening starts on the first criterion, not on the control that had
    // the focus when the dialog was last confirmed (its confirm button, which
    // the first Space or Enter would press at once).
    TfrmFiltroTraducao* f = frmFiltroTraducao;
    QWidget* primeiro =
        f->ckbTraduzido->isEnabled() ? static_cast<QWidget*>(f->ckbTraduzido) : static_cast<QWidget*>(f->chbFilArq);
    primeiro->setFocus(Qt::OtherFocusReason);
    frmFiltroTraducao->ShowModal();
}

} // namespace trd
