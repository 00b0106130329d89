#include "Cli_Trd09300.h"

#include "AlteracoesAoVivo.h"
#include "Cli_Trd09301.h"
#include "Dispatch.h"
#include "EditorGlyphs.h"
#include "ExchangeMenu.h"
#include "HistoricoDoEditor.h"
#include "MemoriaDoEditor.h"
#include "MensErro.h"
#include "PapeisDoEditor.h"
#include "RevisaoDoEditor.h"
#include "ServerCalls.h"
#include "ShowAvi.h"
#include "StatusLamps.h"
#include "TApplication.h"
#include "TCanvas.h"
#include "TraducaoRegras.h"
#include "VerificacoesDoEditor.h"
#include "WebServer.h"
#include "TSocketConnection.h"

#include "Cli_Trd09302.h"
#include "Cli_Trd09303.h"
#include "Cli_Trd09306.h"

#include <QApplication>
#include <QEvent>
#include <QKeyEvent>
#include <QBoxLayout>
#include <QScrollArea>
#include <QSignalBlocker>
#include <QVBoxLayout>

#include <algorithm>
#include <new>
#include <utility>

namespace trd {

QPointer<TfrmTraducao> frmTraducao;
bool boStCriado = false;
QString stIdioma;

namespace {

const QString NMSITUACAO = QStringLiteral("IDSITTRADUCAO");
const QString NMORIGEM = QStringLiteral("STAGRVALPROP");
const QString NMDESTINO = QStringLiteral("STVALORPROP");

// How long a row read back after a failed save may take: a server that did
// not answer the save is not waited for a whole read timeout again.
constexpr int kEsperaReleituraMs = 15000;

// Closes the busy animation when the guarded steps leave, however they leave.
struct BusyAnimation {
    explicit BusyAnimation(int kind) { ActiveShowAvi(Application()->MainForm(), kind); }
    ~BusyAnimation() { DeactiveShowAvi(); }
    BusyAnimation(const BusyAnimation&) = delete;
    BusyAnimation& operator=(const BusyAnimation&) = delete;
};

// The tint of a row a colleague just changed: a light blue that keeps the
// status colours of its texts readable.
QColor CorAlteradaPorColega()
{
    return QColor(198, 226, 255);
}

} // namespace

QColor CorTextoDuvida()
{
    // The status's yellow, darkened until it reads on the cream background
    // as the green and the red do (a contrast of about 5 to 1); the lamp
    // keeps its bright yellow.
    return QColor(140, 105, 0);
}

namespace {

QFont boldFont(const QWidget* widget)
{
    QFont font = widget->font();
    font.setBold(true);
    return font;
}

} // namespace

// ====================================================================== building

TfrmTraducao::TfrmTraducao(QWidget* parent) : TfrmPadraoSortGrid(parent)
{
    setObjectName(QStringLiteral("frmTraducao"));
    SetCaption(QStringLiteral("Tradução"));
    lblCodTela->setText(QStringLiteral("TRD09300"));
    resize(648, 555);
    SetFormStyle(fsMDIChild);
    SetWindowState(wsMaximized);

    msgPadrao->Messages = {
        QStringLiteral("Idi_Info|Idioma deve ser informado."),
        QStringLiteral("Idi_Inv|Idioma Inválido."),
        QStringLiteral("Insufficient_Memory|Não foi possível retornar todos os registros selecionados. "
                       "Informe um intervalo de datas menor."),
    };

    cdsDestino = make<TClientDataSet>("cdsDestino", this);
    cdsDestino->AddField(NMORIGEM, TFieldType::ftString, 4000)->DisplayWidth = 4000;
    cdsDestino->AddField(NMDESTINO, TFieldType::ftString, 4000)->DisplayLabel = QStringLiteral("Idioma Destino");
    cdsDestino->AddField(NMSITUACAO, TFieldType::ftString, 1);
    cdsDestino->AddField(QStringLiteral("IDIDIOMA"), TFieldType::ftString, 3);
    cdsDestino->AddField(QStringLiteral("NMCOMPONENTE"), TFieldType::ftString, 50);
    cdsDestino->AddField(QStringLiteral("CDPROGTRAD"), TFieldType::ftString, 20);

    cdsIdiomaOri = make<TClientDataSet>("cdsIdiomaOri", this);
    cdsIdiomaOri->AddField(QStringLiteral("IDIDIOMA"), TFieldType::ftString, 3);
    cdsIdiomaOri->AddField(QStringLiteral("DSIDIOMA"), TFieldType::ftString, 30);
    cdsIdiomaOri->AddField(QStringLiteral("IDIPROP"), TFieldType::ftString, 3);

    netTraducao = make<TNetConnection>("netTraducao", this);
    netTraducao->ServerName = ServerNameTraducao;
    netTraducao->ThrowException = false;

    buildLanguagePanel();
    buildGrid();
    buildImageStore();
    buildDetailPanel();
    verificacoes = new VerificacoesDoEditor(*this);
    buildToolBar();
    buildMenu();
    Historico = new historico::HistoricoDoEditor(*this);
    memoria = new MemoriaDoEditor(*this);
    addExchangeMenu(*this);
    aoVivo = new AlteracoesAoVivo(*this);
    revisao = new RevisaoDoEditor(*this);
    direitos = new PapeisDoEditor(*this);
    revisao->segue(*direitos);
    connectEvents();
    // Attaching the row set is part of building the form, not a state change
    // of it: every button stays as created until the row set first moves.
    auto onStateChange = std::exchange(dtsPadrao->OnStateChange, nullptr);
    dtsPadrao->SetDataSet(cdsDestino);
    dtsPadrao->OnStateChange = std::move(onStateChange);
    dbtNome->SetDataField(NMSITUACAO);
}

TfrmTraducao::~TfrmTraducao()
{
    // Rows going with the form are no closing by the user: nothing to save then.
    cdsDestino->BeforeClose = nullptr;
    // Focus moves while the children go; the form must not hear of it then.
    QObject::disconnect(m_focusConnection);
}

void TfrmTraducao::buildLanguagePanel()
{
    Panel1 = make<QFrame>("Panel1");
    Panel1->setFrameShape(QFrame::StyledPanel);
    Panel1->setFixedHeight(31);
    Panel1->setAccessibleName(QStringLiteral(" "));
    Label2 = make<QLabel>("Label2", QStringLiteral("Idioma Traduzido"), Panel1);
    Label2->setFont(boldFont(Label2));
    // Placed as designed; a wider system font moves the combo along rather
    // than cutting the caption.
    Label2->setGeometry(6, 9, qMax(97, Label2->sizeHint().width()), 15);
    cbbIdioma = make<QComboBox>("cbbIdioma", Panel1);
    cbbIdioma->setEditable(true);
    cbbIdioma->setInsertPolicy(QComboBox::NoInsert);
    cbbIdioma->setCompleter(nullptr);
    cbbIdioma->setGeometry(qMax(109, Label2->geometry().right() + 6), 6, 134, 21);
    QPalette palette = cbbIdioma->palette();
    palette.setColor(QPalette::Base, clInfoBk());
    cbbIdioma->setPalette(palette);
    cbbIdioma->lineEdit()->setPalette(palette);
    cbbIdioma->installEventFilter(this);
    cbbIdioma->lineEdit()->installEventFilter(this);
    FolhaDadosLayout()->insertWidget(0, Panel1);
    // The panel sits above the grid, so Tab goes from the combo to the grid.
    QWidget::setTabOrder(cbbIdioma, dbgPadrao);
}

void TfrmTraducao::buildImageStore()
{
    Panel3 = make<QFrame>("Panel3", this);
    Panel3->setVisible(false);
    auto image = [this](const char* name, const QImage& picture) {
        auto* img = make<TImage>(name, Panel3);
        img->SetPicture(picture);
        return img;
    };
    using namespace lamps;
    imgNTrad1 = image("imgNTrad1", LampGlyphs(Vermelha, true));
    imgNTrad2 = image("imgNTrad2", LampGlyphs(Vermelha, false));
    imgNTrad3 = image("imgNTrad3", LampIcon(Vermelha));
    imgDuvida1 = image("imgDuvida1", LampGlyphs(Amarela, true));
    imgDuvida2 = image("imgDuvida2", LampGlyphs(Amarela, false));
    imgDuvida3 = image("imgDuvida3", LampIcon(Amarela));
    imgTrad1 = image("imgTrad1", LampGlyphs(Verde, true));
    imgTrad2 = image("imgTrad2", LampGlyphs(Verde, false));
    imgTrad3 = image("imgTrad3", LampIcon(Verde));
}

void TfrmTraducao::buildDetailPanel()
{
    Panel4 = make<QFrame>("Panel4");
    Panel4->setFrameShape(QFrame::StyledPanel);
    Panel4->setFixedHeight(107);
    auto label = [this](const char* name, const QString& text, int left, int top) {
        auto* l = make<QLabel>(name, text, Panel4);
        l->setFont(boldFont(l));
        l->setTextFormat(Qt::PlainText);
        l->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        l->move(left, top);
        l->resize(l->sizeHint().expandedTo(QSize(40, 16)));
        return l;
    };
    lblOrigem = label("lblOrigem", QString(), 6, 4);
    lblDestino = label("lblDestino", QString(), 8, 48);
    // A long text wraps and scrolls inside its place instead of being cut at
    // the panel's edge; it can be selected and copied.
    for (QLabel* texto : {lblOrigem, lblDestino}) {
        auto* area = new QScrollArea(Panel4);
        area->setObjectName(texto->objectName() + QStringLiteral("Area"));
        area->setFrameShape(QFrame::NoFrame);
        area->setWidgetResizable(true);
        area->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        area->setFocusPolicy(Qt::NoFocus);
        texto->setWordWrap(true);
        texto->setTextInteractionFlags(Qt::TextSelectableByMouse);
        area->setWidget(texto);
        area->setBackgroundRole(QPalette::Window);
    }
    lblTela = label("lblTela", QStringLiteral("Tela:"), 9, 84);
    lblCodigo = label("lblCodigo", QString(), 45, 84);
    lblComponente = label("lblComponente", QStringLiteral("Tipo de Componente:"), 272, 84);
    lblNome = label("lblNome", QString(), 399, 84);
    panTextoColega = new TextoDoColega(Panel4);
    panTextoColega->setObjectName(QStringLiteral("panTextoColega"));
    connect(panTextoColega, &TextoDoColega::usar, this,
            [this](const QString& texto) { Dispatch([&] { usaTextoDoColega(texto); }); });
    Panel4->installEventFilter(this);
    FolhaDadosLayout()->addWidget(Panel4);
    layoutDetailLabels();

    lblAviso = make<QLabel>("lblAviso", QString(), panNavigator);
    lblAviso->setTextFormat(Qt::PlainText);
    if (auto* linha = qobject_cast<QBoxLayout*>(panNavigator->layout()))
        linha->insertWidget(1, lblAviso);
}

void TfrmTraducao::layoutDetailLabels()
{
    // The texts can be long: they get the panel's width and clip at its edge,
    // or its left part while a colleague's text is shown at its right.
    int width = Panel4->isVisible() ? Panel4->width() : qMax(Panel4->width(), 640);
    if (panTextoColega && panTextoColega->Mostrando()) {
        // Beside the two texts, above the program and component row, which
        // stays readable; half the panel, so that its title fits.
        const int left = width / 2;
        panTextoColega->setGeometry(left, 2, width - left - 4, 80);
        width = left;
    }
    lblOrigem->parentWidget()->parentWidget()->setGeometry(6, 4, width - 12, 42);
    lblDestino->parentWidget()->parentWidget()->setGeometry(8, 48, width - 14, 34);
    lblTela->resize(lblTela->sizeHint());
    lblComponente->resize(lblComponente->sizeHint());
    const int codigo = qMax(45, lblTela->geometry().right() + 6);
    lblCodigo->setGeometry(codigo, 84, 272 - codigo - 6, 16);
    const int nome = qMax(399, lblComponente->geometry().right() + 6);
    lblNome->setGeometry(nome, 84, qMax(width - nome - 6, 120), 16);
}

void TfrmTraducao::buildGrid()
{
    dbgPadrao->setMinimumSize(626, 309);
    dbgPadrao->SetOptions(dgTitles | dgColumnResize | dgColLines | dgRowLines | dgTabs |
                          dgAlwaysShowSelection | dgConfirmDelete | dgCancelOnExit);
    dbgPadrao->Columns().Add(NMSITUACAO, QStringLiteral("Sit."), 23, true);
    dbgPadrao->Columns().Add(NMORIGEM, QStringLiteral("Idioma Origem"), 437, true);
    dbgPadrao->Columns().Add(NMDESTINO, QStringLiteral("Idioma Destino"), 532, false);
    dbgPadrao->ColumnsChanged();
    // On a wide screen the two texts share the room beyond the designed widths.
    dbgPadrao->SetFillColumns({1, 2});
    dbgPadrao->DefaultDrawing = false;
}

void TfrmTraducao::buildToolBar()
{
    auto button = [this](const char* name, int left, const QString& hint, const QImage& glyph) {
        auto* b = make<TButtonFlat>(name, panMenu);
        b->SetBounds(left, 4, 21, 21);
        b->NumGlyphs = 2;
        b->SetHint(hint);
        b->SetGlyph(glyph);
        b->setEnabled(false);
        b->show();
        return b;
    };
    sbtSubstituir = button("sbtSubstituir", 181, QStringLiteral("Localizar/ Substituir"), editorglyphs::Substituir());
    sbtNTrad = button("sbtNTrad", 218, QStringLiteral("Não Traduzido"), imgNTrad2->Picture());
    sbtDuvida = button("sbtDuvida", 239, QStringLiteral("Dúvida"), imgDuvida2->Picture());
    sbtTrad = button("sbtTrad", 260, QStringLiteral("Traduzido"), imgTrad2->Picture());
    sbtFiltro = button("sbtFiltro", 295, QStringLiteral("Filtrar"), editorglyphs::Filtro());
    sbtInfor = button("sbtInfor", 316, QStringLiteral("Informações da Tradução"), editorglyphs::Informacoes());
    for (TButtonFlat* status : {sbtNTrad, sbtDuvida, sbtTrad})
        status->Tag = 0;   // showing image 2, the dim lamp

    sbtImprimir->move(352, 4);
    sbtAjuda->move(388, 4);
    sbtFechar->move(424, 4);
    SetActionEnabled(sbtImprimir, false);
}

void TfrmTraducao::buildMenu()
{
    N1 = AddMaintenanceSeparator("N1");
    mnuSubstituir = AddMaintenanceItem("mnuSubstituir", QStringLiteral("Localizar/Su&bstituir"),
                                       QKeySequence(Qt::CTRL | Qt::Key_U));
    N3 = AddMaintenanceSeparator("N3");
    mnuNTrad = AddMaintenanceItem("mnuNTrad", QStringLiteral("&Não Traduzido"), QKeySequence(Qt::CTRL | Qt::Key_N));
    mnuDuvida = AddMaintenanceItem("mnuDuvida", QStringLiteral("&Dúvida"), QKeySequence(Qt::CTRL | Qt::Key_D));
    mnuTrad = AddMaintenanceItem("mnuTrad", QStringLiteral("Tradu&zido"), QKeySequence(Qt::CTRL | Qt::Key_T));
    N2 = AddMaintenanceSeparator("N2");
    mnuFiltro = AddMaintenanceItem("mnuFiltro", QStringLiteral("Fi&ltrar"), QKeySequence(Qt::CTRL | Qt::Key_L));
    mnuInfor = AddMaintenanceItem("mnuInfor", QStringLiteral("In&formações da Tradução"));
    mnuAlteracaoColega = AddMaintenanceItem("mnuAlteracaoColega", QStringLiteral("Próxima Alteração de Cole&ga"),
                                            QKeySequence(Qt::CTRL | Qt::Key_J));
    for (QAction* item : {mnuSubstituir, mnuNTrad, mnuDuvida, mnuTrad, mnuFiltro, mnuInfor, mnuAlteracaoColega})
        item->setEnabled(false);
    for (QAction* item : {mnuNTrad, mnuDuvida, mnuTrad})
        item->setCheckable(true);
}

void TfrmTraducao::connectEvents()
{
    netTraducao->BeforeConnect = [this](QObject* sender) { netTraducaoBeforeConnect(sender); };
    ConnectDispatch(cbbIdioma, &QComboBox::editTextChanged, this, [this] { cbbIdiomaChange(cbbIdioma); });
    m_focusConnection = connect(qApp, &QApplication::focusChanged, this,
                                [this](QWidget* old, QWidget* now) { focusChanged(old, now); });

    cdsDestino->AfterScroll = [this](TClientDataSet* ds) { cdsDestinoAfterScroll(ds); };
    cdsDestino->BeforeInsert = [this](TClientDataSet* ds) { cdsDestinoBeforeInsert(ds); };
    cdsDestino->AfterInsert = [this](TClientDataSet* ds) { cdsDestinoAfterInsert(ds); };
    cdsDestino->BeforePost = [this](TClientDataSet* ds) { cdsDestinoBeforePost(ds); };
    cdsDestino->AfterPost = [this](TClientDataSet* ds) { cdsDestinoAfterPost(ds); };
    cdsDestino->AfterCancel = [this](TClientDataSet* ds) { cdsDestinoAfterCancel(ds); };
    cdsDestino->AfterDelete = [this](TClientDataSet* ds) { cdsDestinoAfterDelete(ds); };
    cdsDestino->AfterClose = [this](TClientDataSet* ds) { cdsDestinoAfterClose(ds); };
    cdsDestino->AfterOpen = [this](TClientDataSet*) { aoVivo->linhasLidas(); };
    cdsDestino->BeforeClose = [this](TClientDataSet* ds) { cdsDestinoBeforeClose(ds); };
    cdsDestino->BeforeDelete = [this](TClientDataSet* ds) { cdsDestinoBeforeDelete(ds); };
    dtsPadrao->OnDataChange = [this](TDataSource* source, TField* field) { dtsPadraoDataChange(source, field); };

    auto wire = [this](TButtonFlat* button, QAction* item, void (TfrmTraducao::*handler)(QObject*)) {
        button->OnClick = [this, handler](QObject* sender) { (this->*handler)(sender); };
        if (item)
            connect(item, &QAction::triggered, this, [this, handler, item] {
                Dispatch([&] { (this->*handler)(item); });
                // A checkable item toggles itself when triggered; the marks
                // show the current row's status, not the last click.
                mostraSituacao();
            });
    };
    wire(sbtSubstituir, nullptr, &TfrmTraducao::sbtSubstituirClick);
    wire(sbtNTrad, mnuNTrad, &TfrmTraducao::sbtNTradClick);
    wire(sbtDuvida, mnuDuvida, &TfrmTraducao::sbtDuvidaClick);
    wire(sbtTrad, mnuTrad, &TfrmTraducao::sbtTradClick);
    wire(sbtFiltro, mnuFiltro, &TfrmTraducao::sbtFiltroClick);
    wire(sbtInfor, mnuInfor, &TfrmTraducao::sbtInforClick);
    connect(mnuAlteracaoColega, &QAction::triggered, this,
            [this] { Dispatch([this] { mnuAlteracaoColegaClick(mnuAlteracaoColega); }); });
    connect(mnuSubstituir, &QAction::triggered, this, [this] {
        Dispatch([this] { mnuSubstituirClick(mnuSubstituir); });
    });

    dbgPadrao->OnDrawColumnCell = [this](TDBGrid* grid, const QRect& rect, int col, TColumn* column,
                                         TGridDrawState state) {
        dbgPadraoDrawColumnCell(grid, rect, col, column, state);
    };
    dbgPadrao->OnColEnter = [this](QObject* sender) { dbgPadraoColEnter(sender); };
    dbgPadrao->OnKeyUp = [this](QObject* sender, int& key, Qt::KeyboardModifiers shift) {
        dbgPadraoKeyUp(sender, key, shift);
    };
}

// ====================================================================== opening and closing

void criaTraducao()
{
    Application()->SetCursor(TApplication::crHourGlass);
    struct RestoreCursor {
        ~RestoreCursor() { Application()->SetCursor(TApplication::crDefault); }
    } restore;
    const bool novo = !boStCriado || !frmTraducao;
    if (novo) {
        frmTraducao = CreateForm<TfrmTraducao>();
        boStCriado = true;
    }
    frmTraducao->SetWindowState(wsMaximized);
    frmTraducao->Show();
    // A new editor starts where the user starts, on the language list, so
    // the keyboard works at once (arrows choose, Tab goes on to the rows).
    if (novo && frmTraducao)
        frmTraducao->cbbIdioma->setFocus(Qt::OtherFocusReason);
}

void TfrmTraducao::FormCreate(QObject* sender)
{
    TfrmPadraoSortGrid::FormCreate(sender);
    boTestaFiltro = false;
    {
        // Not guarded: a failed connect is reported by the connection itself.
        // The animation still goes, or it would stay over the window for good.
        BusyAnimation busy(aviConectando);
        netTraducao->Open();
    }
    {
        BusyAnimation busy(aviCarregandoIdiomas);
        cdsIdiomaOri->SetData(CheckResultServ(netTraducao->AppServer().Call(metodo::GetIdiTrad), true, 0));
    }
    const QSignalBlocker quiet(cbbIdioma);   // filling the list chooses no language
    cdsIdiomaOri->First();
    while (!cdsIdiomaOri->Eof()) {
        cbbIdioma->addItem(traducao::ItemIdioma(cdsIdiomaOri->FieldByName(QStringLiteral("IDIDIOMA"))->AsString(),
                                                cdsIdiomaOri->FieldByName(QStringLiteral("DSIDIOMA"))->AsString()));
        cdsIdiomaOri->Next();
    }
    cbbIdioma->setCurrentIndex(-1);
    cbbIdioma->clearEditText();
}

void TfrmTraducao::netTraducaoBeforeConnect(QObject*)
{
    netTraducao->Port = WebPort;
    netTraducao->Host = WebURL;
    netTraducao->UseTls = WebTls;
    netTraducao->TlsCaFile = WebTlsCaFile;
}

void TfrmTraducao::FormActivate(QObject* sender)
{
    TfrmPadraoSortGrid::FormActivate(sender);
    SetWindowState(wsMaximized);
    repaint();
}

void TfrmTraducao::FormClose(QObject* sender, TCloseAction& action)
{
    // A text typed and not yet posted is saved before the editor goes; if
    // the server refuses it the editor stays open with the text.
    gravaPendente();
    aoVivo->para();
    netTraducao->Close();
    boStCriado = false;
    TfrmPadraoSortGrid::FormClose(sender, action);
}

// ====================================================================== the language

void TfrmTraducao::cbbIdiomaChange(QObject*)
{
    // The rows of the language left go first: a text typed in them is saved
    // on the way out. If the save is refused, the language stays as it was,
    // with the rows and the text being typed.
    try {
        cdsDestino->Close();
    } catch (...) {
        const QSignalBlocker blocker(cbbIdioma);
        const int item = cbbIdioma->findText(m_idiomaAtual, Qt::MatchFixedString);
        if (item >= 0)
            cbbIdioma->setCurrentIndex(item);
        cbbIdioma->setEditText(m_idiomaAtual);
        throw;
    }
    m_idiomaAtual = cbbIdioma->currentText();
    boTestaFiltro = false;
    stIdioma = traducao::CodigoDoItem(m_idiomaAtual);
    verificacoes->idiomaEscolhido(stIdioma);
    direitos->idiomaEscolhido(stIdioma);
    aoVivo->segue(stIdioma);
    // The language's batches can be listed before any of its rows is loaded.
    Historico->Habilita();
    if (cdsDestino->IsEmpty())
        limpaDetalhe();
}

void TfrmTraducao::cbbIdiomaKeyPress(QObject*, QChar& key)
{
    key = QChar();
}

void TfrmTraducao::focusChanged(QWidget* old, QWidget* now)
{
    // The panel is left when the focus goes from inside it to another control
    // of this form; a dialog or another window taking the focus is no exit.
    if (!old || !now || !Panel1->isAncestorOf(old) || Panel1->isAncestorOf(now) || !isAncestorOf(now))
        return;
    // Handled once the focus change is complete, so that a message box or the
    // modal filter dialog does not open in the middle of it.
    QMetaObject::invokeMethod(this, [this] { Dispatch([this] { Panel1Exit(Panel1); }); }, Qt::QueuedConnection);
}

void TfrmTraducao::Panel1Exit(QObject*)
{
    const QString texto = cbbIdioma->currentText();
    const bool valido = cdsIdiomaOri->Active() &&
        cdsIdiomaOri->Locate(QStringLiteral("IDIDIOMA;DSIDIOMA"),
                             {traducao::CodigoDoItem(texto), traducao::DescricaoDoItem(texto)}, loCaseInsensitive);
    if (!valido) {
        cbbIdioma->setFocus(Qt::OtherFocusReason);
        MensErro(msgPadrao->Msg(texto.isEmpty() ? QStringLiteral("Idi_Info") : QStringLiteral("Idi_Inv")), true);
    }
    if (isVisible() && !boTestaFiltro && cdsDestino->IsEmpty())
        CriaFiltroTraducao();
}

// ====================================================================== loading the rows

void TfrmTraducao::sbtVerificarClick(QObject*)
{
    if (boTestaFiltro) {
        try {
            BusyAnimation busy(aviProcessando);
            cdsDestino->SetData(CheckResultServ(
                netTraducao->AppServer().Call(metodo::GetFiltroDest, {stTRAD, stDUV, stNTRAD, stPARAMSQL, stIdioma,
                                                                      dtDataIni, dtDataFin, stDataTrad}),
                true, 0));
        } catch (const EDBClient&) {
            MensErro(msgPadrao->Msg(QStringLiteral("Insufficient_Memory")), true);
        } catch (const EOutOfMemory&) {
            // Too many rows to hold is the same case as rows that do not fit.
            MensErro(msgPadrao->Msg(QStringLiteral("Insufficient_Memory")), true);
        } catch (const std::bad_alloc&) {
            MensErro(msgPadrao->Msg(QStringLiteral("Insufficient_Memory")), true);
        }
        return;
    }
    try {
        BusyAnimation busy(aviProcessando);
        cdsDestino->SetData(CheckResultServ(
            netTraducao->AppServer().Call(metodo::GetDestino, {QStringLiteral("T"), QStringLiteral("D"),
                                                               QStringLiteral("N"), stIdioma, dtDataIni, dtDataFin,
                                                               stDataTrad}),
            true, 0));
    } catch (const EOutOfMemory&) {
        MensErro(msgPadrao->Msg(QStringLiteral("Insufficient_Memory")), true);
    } catch (const std::bad_alloc&) {
        MensErro(msgPadrao->Msg(QStringLiteral("Insufficient_Memory")), true);
    }
}

void TfrmTraducao::cdsDestinoAfterScroll(TClientDataSet*)
{
    esqueceGravacao();
    mostraDetalhe();
}

void TfrmTraducao::mostraDetalhe()
{
    if (!cdsDestino->Active() || cdsDestino->IsEmpty()) {
        limpaDetalhe();
        return;
    }
    lblDestino->setText(cdsDestino->FieldByName(NMDESTINO)->AsString());
    lblOrigem->setText(cdsDestino->FieldByName(NMORIGEM)->AsString());
    lblCodigo->setText(cdsDestino->FieldByName(QStringLiteral("CDPROGTRAD"))->AsString());
    lblNome->setText(cdsDestino->FieldByName(QStringLiteral("NMCOMPONENTE"))->AsString());
    Historico->LinhaAtual();
}

void TfrmTraducao::limpaDetalhe()
{
    for (QLabel* label : {lblDestino, lblOrigem, lblCodigo, lblNome})
        label->clear();
    Historico->LinhaAtual();
}

// ====================================================================== other dialogs

void TfrmTraducao::sbtFiltroClick(QObject*)
{
    CriaFiltroTraducao();
}

void TfrmTraducao::sbtInforClick(QObject*)
{
    CriaInfoTraducao();
}

void TfrmTraducao::sbtImprimirClick(QObject*)
{
    CriaRelTraducao();
}

void TfrmTraducao::sbtSubstituirClick(QObject*)
{
    Substituir(cdsDestino);
}

void TfrmTraducao::mnuSubstituirClick(QObject*)
{
    sbtSubstituirClick(sbtSubstituir);
}

// ====================================================================== status marking and saving

void TfrmTraducao::sbtNTradClick(QObject*)
{
    marcaSituacao(traducao::SitNaoTraduzido);
}

void TfrmTraducao::sbtDuvidaClick(QObject*)
{
    marcaSituacao(traducao::SitDuvida);
}

void TfrmTraducao::sbtTradClick(QObject*)
{
    marcaSituacao(traducao::SitTraduzido);
}

void TfrmTraducao::marcaSituacao(const QString& situacao)
{
    TField* campo = cdsDestino->FieldByName(NMSITUACAO);
    if (campo->AsString() == situacao)
        return;
    cdsDestino->Edit();
    campo->SetAsString(situacao);
    cdsDestino->Post();
}

void TfrmTraducao::sbtExcluirClick(QObject*)
{
    // Also from the navigator and the grid: a delete the user may not make is not offered.
    if (!sbtExcluir->isEnabled() || !cdsDestino->Active() || cdsDestino->IsEmpty() ||
        cdsDestino->State() != TDataSetState::dsBrowse)
        return;
    if (msgMensagensPadroes->ShowMsg(QStringLiteral("Excl"), mtConfirmation, mbYes | mbNo, 0) == mrYes)
        cdsDestino->Delete();
}

void TfrmTraducao::cdsDestinoBeforeInsert(TClientDataSet*)
{
    Abort();
}

void TfrmTraducao::cdsDestinoAfterInsert(TClientDataSet*) {}

void TfrmTraducao::cdsDestinoBeforePost(TClientDataSet*)
{
    TField* situacao = cdsDestino->FieldByName(NMSITUACAO);
    TField* destino = cdsDestino->FieldByName(NMDESTINO);
    // A text that breaks its screen goes only when the user says so. Asked
    // before anything is written into the row: a No leaves the row exactly
    // as the user left it (its status unpromoted, the text in the cell), so
    // that a later post decides the status again from what it holds then.
    verificacoes->confirmaGravacao();
    const QString promovida = traducao::SituacaoAoGravar(cdsDestino->FieldByName(NMORIGEM)->AsString(),
                                                         destino->AsString(), situacao->AsString(),
                                                         situacao->OldValue());
    if (promovida != situacao->AsString())
        situacao->SetAsString(promovida);
    // A text typed in the cell is kept: if the server refuses it, it goes
    // back into the cell. A replacement or a status is the code's, not typing.
    const QVariant antes = destino->OldValue();
    m_textoFoiEditado = dbgPadrao->RecordTyped() && (!antes.isValid() || antes.toString() != destino->AsString());
    m_textoEditado = m_textoFoiEditado ? destino->AsString() : QString();
    revisao->antesDeGravar();
    memoria->antesDeGravar();
}

void TfrmTraducao::cdsDestinoAfterPost(TClientDataSet*)
{
    gravaAlteracoes();
    verificacoes->linhaGravada();
    memoria->linhaGravada();
}

void TfrmTraducao::cdsDestinoBeforeDelete(TClientDataSet*)
{
    m_linhaExcluida = cdsDestino->RecNo();
}

void TfrmTraducao::cdsDestinoAfterDelete(TClientDataSet*)
{
    m_textoFoiEditado = false;
    m_textoEditado.clear();
    gravaAlteracoes();
    verificacoes->linhasMudaram();
}

void TfrmTraducao::gravaAlteracoes()
{
    if (cdsDestino->ChangeCount() == 0)
        return;
    lblAviso->clear();
    const int excluida = std::exchange(m_linhaExcluida, 0);
    const bool textoEditado = std::exchange(m_textoFoiEditado, false);
    const QString texto = std::exchange(m_textoEditado, QString());
    try {
        BusyAnimation busy(aviProcessando);
        CheckResultServ(netTraducao->AppServer().Call(metodo::SetDestino, {cdsDestino->Delta()}), true, 0);
    } catch (const EAbort&) {
        desfazAlteracoes(excluida);
        throw;
    } catch (const Exception& e) {
        if (excluida > 0) {
            desfazAlteracoes(excluida);
            throw;
        }
        aoVivo->estadoMudou();
        gravacaoFalhou(e, textoEditado, texto);
        return;
    } catch (...) {
        desfazAlteracoes(excluida);
        throw;
    }
    cdsDestino->MergeChangeLog();
    Historico->Gravou();
    esqueceGravacao();
    aoVivo->estadoMudou();
}

void TfrmTraducao::gravacaoFalhou(const Exception& erro, bool textoEditado, const QString& texto)
{
    // A save with no answer (none in time, the connection dropped) or one the
    // server itself could not confirm may have been applied all the same.
    const auto* recusa = dynamic_cast<const EServerError*>(&erro);
    const bool incerta = dynamic_cast<const EConnectionError*>(&erro) ||
                         (recusa && recusa->ErrorCode() == OutcomeUnknownCode);
    const ChaveLinha chave = chaveAtual();
    const QString destinoPostado = cdsDestino->FieldByName(NMDESTINO)->AsString();
    const QString situacaoPostada = cdsDestino->FieldByName(NMSITUACAO)->AsString();
    // The row as it was before the edit, then as the server has it now.
    desfazAlteracoes(0);
    const QString destinoAntes = cdsDestino->FieldByName(NMDESTINO)->AsString();
    TClientDataSet lida;
    bool relida = false;
    try {
        BusyAnimation busy(aviProcessando);
        relida = LeLinhaDoServidor(*netTraducao, chave, lida, kEsperaReleituraMs);
    } catch (const Exception&) {
        relida = false;   // still unknown: the server does not answer
    }
    traducao::LinhaPostada doServidor;
    if (relida) {
        cdsDestino->RefreshRecord(lida);
        doServidor = {lida.FieldByName(NMDESTINO)->AsString(), lida.FieldByName(NMSITUACAO)->AsString()};
    }
    const traducao::DesfechoDaFalha desfecho = traducao::DesfechoDaGravacaoFalha(
        relida, doServidor, {destinoPostado, situacaoPostada}, destinoAntes, textoEditado);
    if (desfecho.gravada) {
        lblAviso->setText(traducao::AvisoGravacaoConfirmada(chave.origem));
        Historico->Gravou();
        return;
    }
    if (desfecho.devolveTexto && cdsDestino->Active() && !cdsDestino->IsEmpty() &&
        cdsDestino->State() == TDataSetState::dsBrowse) {
        // Unposted, in the cell where it was typed: the user corrects it,
        // takes the colleague's text, posts it over theirs deliberately or
        // drops it with Escape.
        digitaNaCelula(texto);
    }
    if (desfecho.mostraColega)
        mostraTextoDoColega(traducao::TituloTextoDoColega(doServidor.situacao), doServidor.destino);
    throw Exception(traducao::MensagemDaFalha(erro.Message(), incerta, desfecho));
}

void TfrmTraducao::mnuAlteracaoColegaClick(QObject*)
{
    if (!aoVivo->irParaProxima())
        lblAviso->setText(QStringLiteral("Nenhuma linha foi alterada por outro usuário desde que as linhas foram carregadas."));
}

void TfrmTraducao::esqueceGravacao()
{
    if (panTextoColega->Mostrando()) {
        panTextoColega->Esconde();
        layoutDetailLabels();
    }
}

void TfrmTraducao::desfazAlteracoes(int linhaExcluida)
{
    cdsDestino->CancelUpdates();
    // A deleted row that comes back is the current row again, where the user
    // left it, so that the grid, the panel and the status buttons agree.
    if (linhaExcluida > 0 && cdsDestino->Active() && linhaExcluida <= cdsDestino->RecordCount())
        cdsDestino->SetRecNo(linhaExcluida);
}

void TfrmTraducao::cdsDestinoAfterCancel(TClientDataSet*)
{
    cdsDestino->CancelUpdates();
    esqueceGravacao();
    aoVivo->estadoMudou();
}

void TfrmTraducao::cdsDestinoBeforeClose(TClientDataSet*)
{
    gravaPendente();
}

void TfrmTraducao::gravaPendente()
{
    if (!cdsDestino->Active() || (cdsDestino->State() != TDataSetState::dsEdit &&
                                  cdsDestino->State() != TDataSetState::dsInsert))
        return;
    // The grid's in-place editor writes what is typed into the field first; a
    // text the field cannot hold raises here and stays in the editor, and a
    // refused save puts the text back there.
    cdsDestino->CheckBrowseMode();
}

void TfrmTraducao::cdsDestinoAfterClose(TClientDataSet*)
{
    for (TButtonFlat* button : {sbtNTrad, sbtDuvida, sbtTrad, sbtInfor})
        button->setEnabled(false);
    SetActionEnabled(sbtImprimir, false);
    for (QAction* item : {mnuNTrad, mnuDuvida, mnuTrad, mnuFiltro, mnuInfor})
        item->setEnabled(false);
    esqueceGravacao();
    lblAviso->clear();
    Historico->Habilita();
    verificacoes->linhasMudaram();
    aoVivo->linhasMudaram();
}

void TfrmTraducao::dtsPadraoDataChange(QObject*, TField*)
{
    // The panel names the current row after every change of it: an undone
    // edit, a refused save, rows closed.
    mostraDetalhe();
    verificacoes->linhaAtualMudou();
    memoria->linhaAtualMudou();
    direitos->linhaAtualMudou();
    if (cdsDestino->IsEmpty())
        return;
    mostraSituacao();
}

void TfrmTraducao::mostraSituacao()
{
    if (!cdsDestino->Active() || cdsDestino->IsEmpty())
        return;
    const QString situacao = cdsDestino->FieldByName(NMSITUACAO)->AsString();
    if (const auto acesas = traducao::LampadasAcesas(situacao)) {
        struct Lamp {
            TButtonFlat* button;
            TImage* lit;
            TImage* dim;
        };
        const Lamp lamps[3] = {{sbtNTrad, imgNTrad1, imgNTrad2},
                               {sbtDuvida, imgDuvida1, imgDuvida2},
                               {sbtTrad, imgTrad1, imgTrad2}};
        for (int i = 0; i < 3; ++i) {
            const int tag = (*acesas)[static_cast<std::size_t>(i)] ? 1 : 0;
            if (lamps[i].button->Tag != tag) {
                lamps[i].button->SetGlyph(tag ? lamps[i].lit->Picture() : lamps[i].dim->Picture());
                lamps[i].button->Tag = tag;
            }
        }
    }
    mnuNTrad->setChecked(situacao == traducao::SitNaoTraduzido);
    mnuDuvida->setChecked(situacao == traducao::SitDuvida);
    mnuTrad->setChecked(situacao == traducao::SitTraduzido);
}

void TfrmTraducao::habilita(TButtonFlat* button, QAction* item, bool enabled)
{
    button->setEnabled(enabled);
    if (item)
        item->setEnabled(enabled);
}

void TfrmTraducao::dtsPadraoStateChange(QObject* sender)
{
    TfrmPadraoSortGrid::dtsPadraoStateChange(sender);
    const TDataSetState estado = cdsDestino->State();
    const bool registros = cdsDestino->Active() && !cdsDestino->IsEmpty();
    const bool editando = estado == TDataSetState::dsEdit || estado == TDataSetState::dsInsert;
    const traducao::Habilitacao h = traducao::HabilitacaoPorEstado(registros, editando);
    SetActionEnabled(sbtIncluir, h.incluirProcurar);
    SetActionEnabled(sbtProcurar, h.incluirProcurar);
    m_habilitacao = h;
    aplicaHabilitacao();
    mnuAlteracaoColega->setEnabled(registros);
    if (aoVivo)
        aoVivo->estadoMudou();
    if (memoria)
        memoria->estadoMudou();
    Historico->Habilita();
    if (direitos)
        direitos->linhaAtualMudou();
}

// ====================================================================== grid painting and keys

void TfrmTraducao::dbgPadraoDrawColumnCell(QObject*, const QRect& rect, int, TColumn* column,
                                           TGridDrawState state)
{
    TCanvas* canvas = dbgPadrao->Canvas();
    // A row a colleague just changed is tinted for a moment.
    canvas->Brush.Color = aoVivo && aoVivo->recente(cdsDestino->ActiveRecord()) ? CorAlteradaPorColega() : clInfoBk();
    canvas->FillRect(rect);
    const QString situacao = cdsDestino->FieldByName(NMSITUACAO)->AsString();
    if (situacao == traducao::SitTraduzido)
        canvas->Font.Color = clGreen();
    else if (situacao == traducao::SitDuvida)
        canvas->Font.Color = CorTextoDuvida();
    else if (situacao == traducao::SitNaoTraduzido)
        canvas->Font.Color = clRed();
    if (state & gdSelected) {
        canvas->Brush.Color = clHighlight();
        canvas->FillRect(rect);
        canvas->Font.Color = clCaptionText();
    }
    TField* field = column ? column->Field() : nullptr;
    if (field)
        canvas->TextRect(rect, rect.left() + 2, rect.top() + 2, traducao::TextoEmUmaLinha(field->AsString()));
    if (state & gdFocused)
        canvas->DrawFocusRect(rect);
    if (field && field->FieldName() == NMSITUACAO) {
        const TImage* icon = situacao == traducao::SitTraduzido ? imgTrad3
            : situacao == traducao::SitDuvida                   ? imgDuvida3
            : situacao == traducao::SitNaoTraduzido             ? imgNTrad3
                                                                : nullptr;
        canvas->FillRect(rect);
        if (icon) {
            const QImage& picture = icon->Picture();
            canvas->BrushCopy(QRect(rect.left() + 1, rect.top(), picture.width(), rect.height()), picture,
                              QRect(0, 0, picture.width(), picture.height()), lamps::Oliva());
        }
        revisao->pintaMarca(*canvas, rect);
    }
    if (field && field->FieldName() == NMDESTINO)
        verificacoes->pintaMarca(*canvas, rect);
}

void TfrmTraducao::dbgPadraoColEnter(QObject*)
{
    TField* field = dbgPadrao->SelectedField();
    dbgPadrao->SetOption(dgEditing, !(field && field->FieldName() == NMSITUACAO));
}

void TfrmTraducao::dbgPadraoKeyUp(QObject*, int&, Qt::KeyboardModifiers)
{
    if (dtsPadrao->State() != TDataSetState::dsEdit)
        return;
    if (QLineEdit* editor = dbgPadrao->InplaceEditor())
        lblDestino->setText(editor->text());
}

void TfrmTraducao::dbgPadraoKeyDown(QObject* sender, int& key, Qt::KeyboardModifiers shift)
{
    TfrmPadraoSortGrid::dbgPadraoKeyDown(sender, key, shift);
    if (cdsDestino->Eof() && (key == Qt::Key_Tab || key == Qt::Key_Down))
        key = 0;
}

void TfrmTraducao::dbgPadraoKeyPress(QObject* sender, QChar& key)
{
    TfrmPadraoSortGrid::dbgPadraoKeyPress(sender, key);
    if (cdsDestino->Eof() && key == QChar(u'\t'))
        key = QChar();
}

bool TfrmTraducao::eventFilter(QObject* watched, QEvent* event)
{
    if ((watched == cbbIdioma || watched == cbbIdioma->lineEdit()) && event->type() == QEvent::KeyPress) {
        auto* keyEvent = static_cast<QKeyEvent*>(event);
        // Tab, Enter and Escape move the focus or act on the form; they are
        // no typing, and Tab above all must still leave the language panel.
        static constexpr int formKeys[] = {Qt::Key_Tab, Qt::Key_Backtab, Qt::Key_Return, Qt::Key_Enter,
                                           Qt::Key_Escape};
        if (std::find(std::begin(formKeys), std::end(formKeys), keyEvent->key()) != std::end(formKeys))
            return TfrmPadraoSortGrid::eventFilter(watched, event);
        QChar key = keyEvent->text().isEmpty() ? (keyEvent->key() == Qt::Key_Backspace ? QChar(u'\b') : QChar())
                                               : keyEvent->text().at(0);
        if (!key.isNull()) {
            Dispatch([&] { cbbIdiomaKeyPress(cbbIdioma, key); });
            if (key.isNull())
                return true;
        }
    } else if (watched == Panel4 && event->type() == QEvent::Resize) {
        layoutDetailLabels();
    }
    return TfrmPadraoSortGrid::eventFilter(watched, event);
}

} // namespace trd

void IniProc()
{
    trd::criaTraducao();
}
