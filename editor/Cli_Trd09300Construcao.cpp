// TfrmTraducao built: its row sets, the language panel, the grid, the
// hidden image store, the detail panel, the tool bar, the menu with its keys,
// the companions beside the screen, and the events wired to their handlers.
#include "Cli_Trd09300.h"

#include "AlteracoesAoVivo.h"
#include "AutomaticaDoEditor.h"
#include "CamposTraducao.h"
#include "Dispatch.h"
#include "EditorGlyphs.h"
#include "ExchangeMenu.h"
#include "HistoricoDoEditor.h"
#include "LiberacaoDoEditor.h"
#include "MemoriaDoEditor.h"
#include "ObsoletasDoEditor.h"
#include "GlossarioDoEditor.h"
#include "PapeisDoEditor.h"
#include "RevisaoDoEditor.h"
#include "ServerCalls.h"
#include "StatusLamps.h"
#include "TApplication.h"
#include "TextoDoColega.h"
#include "TextoDoDetalhe.h"
#include "VerificacoesDoEditor.h"

#include "Cli_Trd09306.h"

#include <QApplication>
#include <QBoxLayout>
#include <QScrollArea>

#include <utility>

namespace trd {

namespace {

QFont boldFont(const QWidget* widget)
{
    QFont font = widget->font();
    font.setBold(true);
    return font;
}

} // namespace

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
    cdsDestino->AddField(NMIDIOMA, TFieldType::ftString, 3);
    cdsDestino->AddField(NMCOMPONENTE, TFieldType::ftString, 50);
    cdsDestino->AddField(NMPROGRAMA, TFieldType::ftString, 20);

    cdsIdiomaOri = make<TClientDataSet>("cdsIdiomaOri", this);
    cdsIdiomaOri->AddField(NMIDIOMA, TFieldType::ftString, 3);
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
    automatica = new AutomaticaDoEditor(*this);
    glossario = new GlossarioDoEditor(*this);
    glossario->Pronto = [this](quality::TermCheck* termos) {
        verificacoes->verificacao().usaGlossario(termos);
        verificacoes->linhaAtualMudou();
        repintaLinhas();
    };
    addExchangeMenu(*this);
    aoVivo = new AlteracoesAoVivo(*this);
    revisao = new RevisaoDoEditor(*this);
    direitos = new PapeisDoEditor(*this);
    revisao->segue(*direitos);
    connect(Historico, &historico::HistoricoDoEditor::autorDaUltimaAlteracao, revisao,
            &RevisaoDoEditor::ultimaAlteracao);
    connect(direitos, &PapeisDoEditor::mudaram, memoria, &MemoriaDoEditor::direitosMudaram);
    new liberacao::LiberacaoDoEditor(*this);
    obsoletas = new liberacao::ObsoletasDoEditor(*this);
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
    auto label = [this](const char* name, const QString& text, int left, int top) -> QLabel* {
        // The two long texts measure themselves cheaply (TextoDoDetalhe):
        // moving from row to row lays each out once.
        QLabel* l = qstrcmp(name, "lblOrigem") == 0 || qstrcmp(name, "lblDestino") == 0
            ? make<TextoDoDetalhe>(name, Panel4)
            : make<QLabel>(name, text, Panel4);
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
    dbgPadrao->SetOptions(dgTitles | dgColumnResize | dgColLines | dgRowLines | dgTabs | dgAlwaysShowSelection
                          | dgConfirmDelete | dgCancelOnExit);
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
        status->Tag = 0; // showing image 2, the dim lamp

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
    cdsDestino->AfterOpen = [this](TClientDataSet*) {
        aoVivo->linhasLidas();
        obsoletas->linhasLidas();
    };
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
    connect(mnuSubstituir, &QAction::triggered, this,
            [this] { Dispatch([this] { mnuSubstituirClick(mnuSubstituir); }); });

    dbgPadrao->OnDrawColumnCell = [this](TDBGrid* grid, const QRect& rect, int col, TColumn* column,
                                         TGridDrawState state) {
        dbgPadraoDrawColumnCell(grid, rect, col, column, state);
    };
    dbgPadrao->OnColEnter = [this](QObject* sender) { dbgPadraoColEnter(sender); };
    dbgPadrao->OnKeyUp = [this](QObject* sender, int& key, Qt::KeyboardModifiers shift) {
        dbgPadraoKeyUp(sender, key, shift);
    };
}

} // namespace trd
