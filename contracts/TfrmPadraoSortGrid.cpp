#include "TfrmPadraoSortGrid.h"

#include "Dispatch.h"
#include "Glyphs.h"
#include "TClientDataSet.h"

#include <QHBoxLayout>
#include <QShowEvent>
#include <QVBoxLayout>

#include <algorithm>

namespace trd {

namespace {

constexpr int kButtonTop = 4;

} // namespace

TfrmPadraoSortGrid::TfrmPadraoSortGrid(QWidget* parent) : TfrmBase(parent)
{
    SetFormStyle(fsMDIChild);
    resize(648, 555);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    // ---- main menu
    mnuMenu = make<QMenuBar>("mnuMenu", this);
    mnuMenu->setNativeMenuBar(false);
    layout->setMenuBar(mnuMenu);
    mnuManutencao = make<QMenu>("mnuManutencao", QStringLiteral("&Manutenção"), mnuMenu);
    mnuMenu->addMenu(mnuManutencao);
    mnuIncluir = menuItem("mnuIncluir", QStringLiteral("&Incluir"));
    mnuAlterar = menuItem("mnuAlterar", QStringLiteral("&Alterar"));
    mnuExcluir = menuItem("mnuExcluir", QStringLiteral("&Excluir"));
    mnuProcurar = menuItem("mnuProcurar", QStringLiteral("&Procurar"));
    mnuVerificar = menuItem("mnuVerificar", QStringLiteral("&Verificar"), QKeySequence(Qt::Key_F5));
    mnuCancelar = menuItem("mnuCancelar", QStringLiteral("&Cancelar"));
    mnuConfirmar = menuItem("mnuConfirmar", QStringLiteral("C&onfirmar"));
    m_separadorImprimir = mnuManutencao->addSeparator();
    m_separadorImprimir->setObjectName(QStringLiteral("NImprimir"));
    mnuImprimir = menuItem("mnuImprimir", QStringLiteral("I&mprimir..."), QKeySequence(Qt::CTRL | Qt::Key_P));

    // ---- tool bar
    panMenu = make<QFrame>("panMenu", this);
    panMenu->setFrameShape(QFrame::StyledPanel);
    panMenu->setFixedHeight(31);
    // Opaque panels: a flat button or the status text changing on every save
    // then repaints the panel alone, not the whole form and its window beneath.
    panMenu->setAutoFillBackground(true);
    auto* bar = new QHBoxLayout(panMenu); // only the screen code is laid out; buttons sit by position
    bar->setContentsMargins(4, 0, 8, 0);
    bar->addStretch(1);
    lblCodTela->setParent(panMenu);
    bar->addWidget(lblCodTela);
    layout->addWidget(panMenu);

    sbtIncluir = toolButton("sbtIncluir", 4, glyphs::Incluir, QStringLiteral("Incluir"));
    sbtAlterar = toolButton("sbtAlterar", 25, glyphs::Alterar, QStringLiteral("Alterar"));
    sbtExcluir = toolButton("sbtExcluir", 46, glyphs::Excluir, QStringLiteral("Excluir"));
    sbtProcurar = toolButton("sbtProcurar", 67, glyphs::Procurar, QStringLiteral("Procurar"));
    sbtVerificar = toolButton("sbtVerificar", 95, glyphs::Verificar, QStringLiteral("Verificar"));
    sbtCancelar = toolButton("sbtCancelar", 123, glyphs::Cancelar, QStringLiteral("Cancelar"));
    sbtConfirmar = toolButton("sbtConfirmar", 144, glyphs::Confirmar, QStringLiteral("Confirmar"));
    sbtImprimir = toolButton("sbtImprimir", 181, glyphs::Imprimir, QStringLiteral("Imprimir"));
    sbtAjuda = toolButton("sbtAjuda", 217, glyphs::Ajuda, QStringLiteral("Ajuda"));
    sbtFechar = toolButton("sbtFechar", 253, glyphs::Fechar, QStringLiteral("Fechar"));

    bind(sbtIncluir, mnuIncluir, &TfrmPadraoSortGrid::sbtIncluirClick);
    bind(sbtAlterar, mnuAlterar, &TfrmPadraoSortGrid::sbtAlterarClick);
    bind(sbtExcluir, mnuExcluir, &TfrmPadraoSortGrid::sbtExcluirClick);
    bind(sbtProcurar, mnuProcurar, &TfrmPadraoSortGrid::sbtProcurarClick);
    bind(sbtVerificar, mnuVerificar, &TfrmPadraoSortGrid::sbtVerificarClick);
    bind(sbtCancelar, mnuCancelar, &TfrmPadraoSortGrid::sbtCancelarClick);
    bind(sbtConfirmar, mnuConfirmar, &TfrmPadraoSortGrid::sbtConfirmarClick);
    bind(sbtImprimir, mnuImprimir, &TfrmPadraoSortGrid::sbtImprimirClick);
    bind(sbtAjuda, nullptr, &TfrmPadraoSortGrid::sbtAjudaClick);
    bind(sbtFechar, nullptr, &TfrmPadraoSortGrid::sbtFecharClick);
    for (auto& [button, item] : m_pairs)
        if (item)
            SetActionEnabled(button, false);

    // ---- the grid
    dtsPadrao = make<TDataSource>("dtsPadrao", this);
    pgcPadrao = make<QTabWidget>("pgcPadrao", this);
    pgcPadrao->setTabBarAutoHide(true);
    pgcPadrao->setDocumentMode(true);
    tshPadrao = make<QWidget>("tshPadrao");
    pgcPadrao->addTab(tshPadrao, QStringLiteral("Dados"));
    auto* page = new QVBoxLayout(tshPadrao);
    page->setContentsMargins(0, 0, 0, 0);
    panDbgPadrao = make<QFrame>("panDbgPadrao", tshPadrao);
    page->addWidget(panDbgPadrao);
    auto* panel = new QVBoxLayout(panDbgPadrao);
    panel->setContentsMargins(0, 0, 0, 0);
    scbFolhaDados = make<QScrollArea>("scbFolhaDados", panDbgPadrao);
    scbFolhaDados->setWidgetResizable(true);
    scbFolhaDados->setFrameShape(QFrame::NoFrame);
    // A container, not a control: a click on its empty space or on a label
    // in it leaves the focus (and the grid's open cell editor) where it is.
    scbFolhaDados->setFocusPolicy(Qt::NoFocus);
    panel->addWidget(scbFolhaDados);
    auto* sheet = new QWidget;
    sheet->setObjectName(QStringLiteral("scbFolhaDadosConteudo"));
    m_folhaLayout = new QVBoxLayout(sheet);
    m_folhaLayout->setContentsMargins(0, 0, 0, 0);
    m_folhaLayout->setSpacing(0);
    dbgPadrao = make<TDBSortGrid>("dbgPadrao", sheet);
    dbgPadrao->SetDataSource(dtsPadrao);
    m_folhaLayout->addWidget(dbgPadrao, 1);
    scbFolhaDados->setWidget(sheet);
    layout->addWidget(pgcPadrao, 1);

    // ---- navigator panel
    panNavigator = make<QFrame>("panNavigator", this);
    panNavigator->setFrameShape(QFrame::StyledPanel);
    panNavigator->setFixedHeight(29);
    panNavigator->setAutoFillBackground(true);
    auto* nav = new QHBoxLayout(panNavigator);
    nav->setContentsMargins(6, 1, 4, 1);
    dbtNome = make<TDBText>("dbtNome", panNavigator);
    dbtNome->SetDataSource(dtsPadrao);
    QFont bold = dbtNome->font();
    bold.setBold(true);
    dbtNome->setFont(bold);
    nav->addWidget(dbtNome, 1);
    dbnPadrao = make<TDBNavigator>("dbnPadrao", panNavigator);
    dbnPadrao->SetDataSource(dtsPadrao);
    nav->addWidget(dbnPadrao);
    layout->addWidget(panNavigator);

    msgMensagensPadroes = make<TMessages>("msgMensagensPadroes", this);
    msgMensagensPadroes->Messages = {
        QStringLiteral("Excl|Confirma a exclusão do registro?"),
        QStringLiteral("Canc|Deseja cancelar as alterações do registro?"),
    };

    // Data events run inside the data set's own operations, so an error in a
    // handler reaches the code that started the operation.
    dtsPadrao->OnStateChange = [this](TDataSource* source) { dtsPadraoStateChange(source); };
    dbgPadrao->OnKeyDown = [this](QObject* sender, int& key, Qt::KeyboardModifiers shift) {
        dbgPadraoKeyDown(sender, key, shift);
    };
    dbgPadrao->OnKeyPress = [this](QObject* sender, QChar& key) { dbgPadraoKeyPress(sender, key); };
    // The navigator's delete is the form's delete action, with its rule and
    // its question.
    dbnPadrao->BeforeAction = [this](TDBNavigator*, TNavigateBtn button) {
        if (button != nbDelete)
            return;
        sbtExcluirClick(sbtExcluir);
        Abort();
    };
}

void TfrmPadraoSortGrid::showEvent(QShowEvent* event)
{
    int right = 0;
    for (const QWidget* w : panMenu->findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
        if (w != lblCodTela && !w->isHidden())
            right = std::max(right, w->geometry().right() + 1);
    const QMargins margins = panMenu->layout()->contentsMargins();
    panMenu->setMinimumWidth(right + 12 + lblCodTela->sizeHint().width() + margins.right());
    TfrmBase::showEvent(event);
}

TButtonFlat* TfrmPadraoSortGrid::toolButton(const char* name, int left, int glyph, const QString& hint)
{
    auto* button = make<TButtonFlat>(name, panMenu);
    button->SetBounds(left, kButtonTop, 21, 21);
    button->SetGlyph(glyphs::TwoGlyphs(static_cast<glyphs::Kind>(glyph)));
    button->SetHint(hint);
    return button;
}

QAction* TfrmPadraoSortGrid::menuItem(const char* name, const QString& caption, const QKeySequence& shortcut)
{
    auto* item = make<QAction>(name, caption, this);
    item->setShortcut(shortcut);
    // Active while the focus is inside this form only: another screen open
    // beside it keeps its own shortcuts.
    item->setShortcutContext(Qt::WidgetWithChildrenShortcut);
    addAction(item);
    InsertMaintenanceAction(item);
    return item;
}

void TfrmPadraoSortGrid::InsertMaintenanceAction(QAction* action)
{
    // A screen's own items go before the print item, which stays last.
    mnuManutencao->insertAction(mnuImprimir ? m_separadorImprimir : nullptr, action);
}

QAction* TfrmPadraoSortGrid::AddMaintenanceItem(const char* name, const QString& caption, const QKeySequence& shortcut)
{
    return menuItem(name, caption, shortcut);
}

QAction* TfrmPadraoSortGrid::AddMaintenanceSeparator(const char* name)
{
    QAction* separator = mnuManutencao->insertSeparator(m_separadorImprimir);
    separator->setObjectName(QString::fromLatin1(name));
    return separator;
}

void TfrmPadraoSortGrid::bind(TButtonFlat* button, QAction* item, void (TfrmPadraoSortGrid::*handler)(QObject*))
{
    button->OnClick = [this, handler](QObject* sender) { (this->*handler)(sender); };
    if (item) {
        connect(item, &QAction::triggered, this, [this, handler, item] { Dispatch([&] { (this->*handler)(item); }); });
    }
    m_pairs.emplace_back(button, item);
}

void TfrmPadraoSortGrid::SetActionEnabled(TButtonFlat* button, bool enabled)
{
    button->setEnabled(enabled);
    for (auto& [b, item] : m_pairs)
        if (b == button && item)
            item->setEnabled(enabled);
}

void TfrmPadraoSortGrid::dtsPadraoStateChange(QObject*)
{
    TClientDataSet* data = dataSetPadrao();
    const TDataSetState state = data ? data->State() : TDataSetState::dsInactive;
    const bool open = state != TDataSetState::dsInactive;
    const bool editing = state == TDataSetState::dsEdit || state == TDataSetState::dsInsert;
    const bool rows = open && !data->IsEmpty();
    const bool browsing = open && !editing;
    SetActionEnabled(sbtIncluir, browsing);
    SetActionEnabled(sbtAlterar, browsing && rows);
    SetActionEnabled(sbtExcluir, browsing && rows);
    SetActionEnabled(sbtProcurar, browsing && rows);
    SetActionEnabled(sbtVerificar, browsing);
    SetActionEnabled(sbtCancelar, editing);
    SetActionEnabled(sbtConfirmar, editing);
}

void TfrmPadraoSortGrid::sbtIncluirClick(QObject*)
{
    if (TClientDataSet* data = dataSetPadrao(); data && data->Active())
        data->Insert();
}

void TfrmPadraoSortGrid::sbtAlterarClick(QObject*)
{
    if (TClientDataSet* data = dataSetPadrao(); data && data->Active() && !data->IsEmpty())
        data->Edit();
}

void TfrmPadraoSortGrid::sbtExcluirClick(QObject*)
{
    TClientDataSet* data = dataSetPadrao();
    if (!data || !data->Active() || data->IsEmpty() || data->State() != TDataSetState::dsBrowse)
        return;
    if (msgMensagensPadroes->ShowMsg(QStringLiteral("Excl"), mtConfirmation, mbYes | mbNo, 0) == mrYes)
        data->Delete();
}

void TfrmPadraoSortGrid::sbtProcurarClick(QObject*)
{
    dbgPadrao->setFocus(Qt::OtherFocusReason);
}

void TfrmPadraoSortGrid::sbtVerificarClick(QObject*)
{
}

void TfrmPadraoSortGrid::sbtCancelarClick(QObject*)
{
    if (TClientDataSet* data = dataSetPadrao(); data && data->Active())
        data->Cancel();
}

void TfrmPadraoSortGrid::sbtConfirmarClick(QObject*)
{
    if (TClientDataSet* data = dataSetPadrao(); data && data->Active())
        data->Post();
}

void TfrmPadraoSortGrid::sbtImprimirClick(QObject*)
{
}

void TfrmPadraoSortGrid::sbtAjudaClick(QObject*)
{
    MessageDlg(QStringLiteral("%1 (%2)\n\nNão há ajuda instalada para esta tela.").arg(Caption(), lblCodTela->text()),
               mtInformation, mbOK, 0);
}

void TfrmPadraoSortGrid::sbtFecharClick(QObject*)
{
    Close();
}

void TfrmPadraoSortGrid::dbgPadraoKeyDown(QObject*, int& key, Qt::KeyboardModifiers shift)
{
    // The grid's Ctrl+Delete is the form's delete action too.
    if (key == Qt::Key_Delete && (shift & Qt::ControlModifier)) {
        key = 0;
        sbtExcluirClick(sbtExcluir);
    }
}

void TfrmPadraoSortGrid::dbgPadraoKeyPress(QObject*, QChar&)
{
}

} // namespace trd
