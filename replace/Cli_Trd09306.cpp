#include "Cli_Trd09306.h"

#include "BusyLoopFilter.h"
#include "CamposTraducao.h"
#include "Cli_Trd09300.h"
#include "CriaControles.h"
#include "DialogSeam.h"
#include "Dispatch.h"
#include "Glyphs.h"
#include "LoteDaSubstituicao.h"
#include "OfertaDesfazer.h"
#include "RevisaoRegras.h"
#include "SubstituirGlyphs.h"
#include "TAnimate.h"
#include "TApplication.h"
#include "TextFunctions.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QElapsedTimer>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QStringList>
#include <QTimer>
#include <QVBoxLayout>

#include <functional>
#include <utility>
#include <vector>

namespace trd {

const std::array<QString, 2> NMCAMPO = {NMORIGEM, NMDESTINO};
const std::array<QString, 2> MSG_TXT_N_ENC = {QStringLiteral("text_id_nao_enc"), QStringLiteral("text_part_nao_enc")};

namespace {

// Why the user may not change row `linha` (0-based) of the rows searched: a
// reviewed row where the language requires review, for a tradutor. Empty
// when they may. Such a row is left as it is before anything is sent.
QString motivoSemAlterar(const TClientDataSet& ds, int linha)
{
    if (!frmTraducao)
        return QString();
    return papeis::MotivoSemAlterarLinha(frmTraducao->papeis(), stIdioma, revisao::MarcaDaLinha(ds, linha));
}

} // namespace

QPointer<TfrmSubstituir> frmSubstituir;
bool boIdCriado = false;
bool boPrimVez = false;
bool boAchou = false;
bool boTraduzindo = false;

namespace {

constexpr int kDestino = 1;
// The hourglass on the form for as long as a handler works, however it leaves.
struct CursorOcupado {
    explicit CursorOcupado(QWidget* form) : m_form(form) { m_form->setCursor(Qt::WaitCursor); }
    ~CursorOcupado() { m_form->unsetCursor(); }
    CursorOcupado(const CursorOcupado&) = delete;
    CursorOcupado& operator=(const CursorOcupado&) = delete;
    QWidget* m_form;
};

// The row set's controls detached for a loop and attached again on every way out.
struct ControlesDesligados {
    explicit ControlesDesligados(TClientDataSet* ds) : m_ds(ds)
    {
        if (m_ds)
            m_ds->DisableControls();
    }
    ~ControlesDesligados()
    {
        if (m_ds)
            m_ds->EnableControls();
    }
    ControlesDesligados(const ControlesDesligados&) = delete;
    ControlesDesligados& operator=(const ControlesDesligados&) = delete;
    QPointer<TClientDataSet> m_ds;
};

bool temLinhas(const TClientDataSet* ds)
{
    return ds && ds->Active() && ds->RecordCount() > 0;
}

} // namespace

// ====================================================================== building

TfrmSubstituir::TfrmSubstituir(QWidget* parent) : TfrmRotiGeral(parent)
{
    setObjectName(QStringLiteral("frmSubstituir"));
    SetCaption(QStringLiteral("Localizar/Substituir"));
    lblCodTela->setText(QStringLiteral("TRD09306"));
    msgPadrao->Messages = {
        QStringLiteral("text_nao_inf|Texto não informado"),
        QStringLiteral("text_id_nao_enc|Texto Idêntico não encontrado"),
        QStringLiteral("text_part_nao_enc|Texto Parecido não encontrado"),
        QStringLiteral("subst_sucess|Substituição efetuada com sucesso"),
    };
    setFixedSize(420, 282);

    buildFields();
    buildBusyPanel();
    ofertaDesfazer = new historico::OfertaDesfazer(this);
    leftColumn()->addWidget(ofertaDesfazer);

    // The button column, top to bottom: find next, replace, replace all, close.
    sbtProcurar = make<TButtonFlat>("sbtProcurar", panBotoes);
    sbtProcurar->SetBounds(20, 8, 21, 21);
    sbtProcurar->SetGlyph(glyphs::TwoGlyphs(glyphs::Procurar));
    sbtProcurar->SetHint(QStringLiteral("Localizar próxima"));
    sbtProcurar->OnClick = [this](QObject* sender) { sbtProcurarClick(sender); };
    sbtConfirma->SetBounds(20, 34, 21, 21);
    sbtConfirma->SetGlyph(substituirglyphs::Substituir());
    sbtConfirma->SetHint(QStringLiteral("Substituir"));
    sbtSubstAll = make<TButtonFlat>("sbtSubstAll", panBotoes);
    sbtSubstAll->SetBounds(20, 60, 21, 21);
    sbtSubstAll->SetGlyph(substituirglyphs::SubstituirTodos());
    sbtSubstAll->SetHint(QStringLiteral("Substituir Todos"));
    sbtSubstAll->OnClick = [this](QObject* sender) { sbtSubstAllClick(sender); };
    sbtCancel->SetBounds(20, 86, 21, 21);
    // In a dialog the buttons are part of the keyboard's round (Tab, then
    // Space), unlike a tool bar's, which must not take the focus from a grid.
    for (TButtonFlat* button : {sbtProcurar, sbtConfirma, sbtSubstAll, sbtCancel})
        button->setFocusPolicy(Qt::TabFocus);
    // Enter finds next wherever the focus is, a focused button included;
    // Space presses the focused button.
    EnterPressionaFocado = false;

    setTabOrder(cbbIdioma, edtLocalizar);
    setTabOrder(edtLocalizar, edtSubstituir);
    setTabOrder(edtSubstituir, rbtIdentico);
    setTabOrder(rbtIdentico, chbNoCase);
    setTabOrder(chbNoCase, sbtProcurar);
    setTabOrder(sbtProcurar, sbtConfirma);
    setTabOrder(sbtConfirma, sbtSubstAll);
    setTabOrder(sbtSubstAll, sbtCancel);

    ConnectDispatch(cbbIdioma, &QComboBox::currentIndexChanged, this, [this] { cbbIdiomaChange(cbbIdioma); });
}

TfrmSubstituir::~TfrmSubstituir() = default;

void TfrmSubstituir::buildFields()
{
    QWidget* area = grbDadosRel;
    lblOriDes = rotulo(area, "lblOriDes", QStringLiteral("Pesquisar pelo Idioma"), {10, 12, 200, 16});
    cbbIdioma = criaEm<QComboBox>(area, "cbbIdioma", {10, 29, 130, 22});
    cbbIdioma->addItems({QStringLiteral("Origem"), QStringLiteral("Destino")});

    lblLocalizar = rotulo(area, "lblLocalizar", QStringLiteral("Localizar"), {10, 57, 200, 16});
    edtLocalizar = criaEm<QLineEdit>(area, "edtLocalizar", {10, 74, 318, 22});
    lblSubstituir = rotulo(area, "lblSubstituir", QStringLiteral("&Substituir Por"), {10, 102, 200, 16});
    edtSubstituir = criaEm<QLineEdit>(area, "edtSubstituir", {10, 119, 318, 22});
    lblSubstituir->setBuddy(edtSubstituir);
    // The row texts hold at most 4000 characters; a longer search or
    // replacement text could never be stored.
    edtLocalizar->setMaxLength(4000);
    edtSubstituir->setMaxLength(4000);

    rdgTpBusca = criaEm<QGroupBox>(area, "rdgTpBusca", {10, 148, 318, 44});
    rbtIdentico = criaEm<QRadioButton>(rdgTpBusca, "rbtIdentico", {10, 16, 145, 20});
    rbtIdentico->setText(QStringLiteral("Idêntico"));
    rbtParte = criaEm<QRadioButton>(rdgTpBusca, "rbtParte", {165, 16, 145, 20});
    rbtParte->setText(QStringLiteral("Parte"));
    rbtIdentico->setChecked(true);

    grbCase = criaEm<QGroupBox>(area, "grbCase", {10, 198, 318, 44});
    chbNoCase = criaEm<QCheckBox>(grbCase, "chbNoCase", {10, 16, 300, 20});
    chbNoCase->setText(QStringLiteral("Ignorar MAIÚSCULAS/minúsculas"));
}

void TfrmSubstituir::buildBusyPanel()
{
    panMove1 = criaEm<QFrame>(grbDadosRel, "panMove1", {6, 52, 326, 140});
    panMove1->setFrameShape(QFrame::StyledPanel);
    panMove1->setAutoFillBackground(true);
    panMove2 = criaEm<QFrame>(panMove1, "panMove2", {4, 4, 318, 132});
    panMove2->setFrameShape(QFrame::Panel);
    panMove2->setFrameShadow(QFrame::Sunken);
    panMove2->setAutoFillBackground(true);
    anmAnima = new TAnimate(panMove2);
    anmAnima->setObjectName(QStringLiteral("anmAnima"));
    anmAnima->move(14, 22);
    anmAnima->StopFrame = 23;
    lblGera = rotulo(panMove2, "lblGera", QStringLiteral("Preparando arquivo para tradução..."), {74, 32, 236, 18});
    sbtStop = new TButtonFlat(panMove2);
    sbtStop->setObjectName(QStringLiteral("sbtStop"));
    sbtStop->SetGlyph(substituirglyphs::Interromper());
    sbtStop->setText(QStringLiteral("Interromper"));
    sbtStop->SetHint(QStringLiteral("Interromper"));
    sbtStop->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    sbtStop->SetBounds(104, 84, 110, 26);
    sbtStop->setFocusPolicy(Qt::StrongFocus);
    // The form shows the hourglass during the run; the one thing left to do
    // there is to stop it, so the pointer says so over its button.
    sbtStop->setCursor(Qt::ArrowCursor);
    sbtStop->OnClick = [this](QObject* sender) { sbtStopClick(sender); };
    panMove1->hide();
}

int TfrmSubstituir::TpBuscaIndex() const
{
    return rbtParte->isChecked() ? 1 : 0;
}

void TfrmSubstituir::SetTpBuscaIndex(int index)
{
    (index == 1 ? rbtParte : rbtIdentico)->setChecked(true);
}

substituir::TipoBusca TfrmSubstituir::tipoBusca() const
{
    return TpBuscaIndex() == 1 ? substituir::TipoBusca::Parte : substituir::TipoBusca::Identico;
}

TField* TfrmSubstituir::campoBusca() const
{
    const int item = cbbIdioma->currentIndex() == kDestino ? kDestino : 0;
    return cdsSubstituir->FieldByName(NMCAMPO[static_cast<std::size_t>(item)]);
}

QString TfrmSubstituir::RetiraAtalho(const QString& texto) const
{
    return substituir::RetiraAtalho(texto);
}

QString TfrmSubstituir::UpperCaracterAcento(const QString& texto) const
{
    return substituir::UpperCaracterAcento(texto);
}

// ====================================================================== form events

void TfrmSubstituir::FormCreate(QObject* sender)
{
    TfrmRotiGeral::FormCreate(sender);
    boPrimVez = true;
}

void TfrmSubstituir::FormActivate(QObject* sender)
{
    TfrmRotiGeral::FormActivate(sender);
    if (!boPrimVez)
        return;
    {
        const QSignalBlocker once(cbbIdioma);
        cbbIdioma->setCurrentIndex(kDestino);
    }
    cbbIdiomaChange(cbbIdioma);
    chbNoCase->setChecked(false);
    boAchou = false;
    boTraduzindo = false;
    boPrimVez = false;
    edtLocalizar->setFocus();
}

void TfrmSubstituir::FormClose(QObject* sender, TCloseAction& action)
{
    if (boTraduzindo) {
        // Closed in the middle of replace-all: the run stops after the row in
        // progress and the form closes once it has put everything back.
        boTraduzindo = false;
        m_fecharAoTerminar = true;
        action = caNone;
        return;
    }
    TfrmRotiGeral::FormClose(sender, action);
    boIdCriado = false;
}

void TfrmSubstituir::FormKeyDown(QObject* sender, int& key, Qt::KeyboardModifiers shift)
{
    if (boTraduzindo) {
        // During replace-all Enter and Escape stop the run, and nothing else
        // of the form may start.
        if (key == Qt::Key_Escape || key == Qt::Key_Return || key == Qt::Key_Enter) {
            key = 0;
            sbtStopClick(sbtStop);
        }
        return;
    }
    TfrmRotiGeral::FormKeyDown(sender, key, shift);
    if (key == Qt::Key_Return || key == Qt::Key_Enter) {
        key = 0;
        sbtProcurar->Click();
    }
}

void TfrmSubstituir::cbbIdiomaChange(QObject*)
{
    const bool destino = cbbIdioma->currentIndex() == kDestino;
    for (QWidget* w : std::initializer_list<QWidget*>{edtSubstituir, sbtConfirma, sbtSubstAll, lblSubstituir})
        w->setEnabled(destino);
}

// ====================================================================== find next

void TfrmSubstituir::sbtProcurarClick(QObject*)
{
    CursorOcupado ocupado(this);
    Localiza();
}

void TfrmSubstituir::Localiza()
{
    if (EmptyString(edtLocalizar->text())) {
        msgPadrao->ShowMsg(QStringLiteral("text_nao_inf"), mtInformation, mbOK, 0);
        return;
    }
    TClientDataSet* ds = cdsSubstituir;
    // A pending edit of the grid is posted first, as moving off the row would.
    if (temLinhas(ds))
        ds->CheckBrowseMode();
    {
        ControlesDesligados desligados(ds);
        boAchou = false;
        if (temLinhas(ds)) {
            // The rows are read in place and the cursor moves once, to where
            // the search stops: the loop itself scrolls nothing.
            const int campo = campoBusca()->Index();
            const int n = ds->RecordCount();
            const int inicio = std::max(ds->CurrentIndex(), 0);
            const QString textoInicio = ds->ValueAt(inicio, campo).toString();
            const substituir::TesteLinha confere(edtLocalizar->text(), tipoBusca(), chbNoCase->isChecked());
            int linha = inicio;
            for (;;) {
                linha = linha + 1 < n ? linha + 1 : 0;
                const QString texto = ds->ValueAt(linha, campo).toString();
                if (substituir::IgualAoInicio(texto, textoInicio))
                    break;
                if (confere(texto)) {
                    boAchou = true;
                    break;
                }
            }
            ds->SetRecNo(linha + 1);
        }
        if (!boAchou)
            msgPadrao->ShowMsg(MSG_TXT_N_ENC[static_cast<std::size_t>(TpBuscaIndex())], mtInformation, mbOK, 0);
    }
}

// ====================================================================== replace

void TfrmSubstituir::sbtConfirmaClick(QObject* sender)
{
    TfrmRotiGeral::sbtConfirmaClick(sender);
    if (edtSubstituir->text().isEmpty()) {
        msgPadrao->ShowMsg(QStringLiteral("text_nao_inf"), mtInformation, mbOK, 0);
        return;
    }
    TClientDataSet* ds = cdsSubstituir;
    // A text typed in the grid's cell is posted (saved) before the row is
    // tested and replaced in, as Localiza does: never written over the
    // replacement afterwards.
    if (temLinhas(ds))
        ds->CheckBrowseMode();
    boAchou = temLinhas(ds)
        && substituir::LinhaConfere(edtLocalizar->text(), campoBusca()->AsString(), tipoBusca(),
                                    chbNoCase->isChecked());
    if (!boAchou)
        Localiza();
    if (!boAchou)
        return;
    // The row found may be one the user may not change: said, not sent.
    if (const QString motivo = motivoSemAlterar(*ds, ds->CurrentIndex()); !motivo.isEmpty()) {
        boAchou = false;
        MessageDlg(motivo, mtInformation, mbOK, 0);
        return;
    }
    Troca_texto();
}

void TfrmSubstituir::Troca_texto()
{
    trocaTexto(0);
}

qsizetype TfrmSubstituir::trocaTexto(qsizetype aPartirDe)
{
    TClientDataSet* ds = cdsSubstituir;
    // Only destination texts are ever replaced, whoever calls.
    if (!temLinhas(ds) || cbbIdioma->currentIndex() != kDestino)
        return -1;
    TField* campo = campoBusca();
    const substituir::Troca troca =
        substituir::TrocaTexto(campo->AsString(), edtLocalizar->text(), edtSubstituir->text(), aPartirDe);
    boAchou = false;
    if (!troca.feita)
        return -1;
    ds->Edit();
    try {
        campo->SetAsString(troca.texto);
        ds->Post();
    } catch (...) {
        // A text the field refuses (too long, a character the code page
        // lacks) leaves the row as it was; a refused save has undone it already.
        if (ds->State() == TDataSetState::dsEdit)
            ds->Cancel();
        throw;
    }
    return troca.fimInsercao;
}

// ====================================================================== replace all

// What a replace-all run changes around itself, put back on every way out:
// the busy panel and its animation, the form's controls and cursor, the
// input of the other windows, the row set's controls and order.
class TfrmSubstituir::Execucao {
public:
    explicit Execucao(TfrmSubstituir* form) : f(form)
    {
        boTraduzindo = true;
        f->setCursor(Qt::WaitCursor);
        for (QWidget* w :
             std::initializer_list<QWidget*>{f->sbtProcurar, f->sbtConfirma, f->sbtSubstAll, f->sbtCancel, f->cbbIdioma,
                                             f->edtLocalizar, f->edtSubstituir, f->rdgTpBusca, f->grbCase}) {
            m_habilitados.push_back({w, w->isEnabled()});
            w->setEnabled(false);
        }
        f->panMove1->show();
        f->panMove1->raise();
        f->anmAnima->SetActive(true);
        f->sbtStop->setFocus();
    }

    // A frame, when one is due: the animation's next picture and whatever
    // the run changed on screen since the last one.
    void quadro(bool forcar = false)
    {
        if (!forcar && !m_filtro.FrameDue())
            return;
        f->anmAnima->update();
        m_filtro.Frame();
    }

    // Detaches the row set's controls and, for the run, puts the rows in
    // their loaded order: a post must not move a row in an index, or the
    // walk would miss rows or meet a replaced row again.
    void desligaLinhas(TClientDataSet* ds)
    {
        m_ds = ds;
        ds->DisableControls();
        m_indice = ds->IndexFieldNames();
        if (!m_indice.isEmpty())
            ds->SetIndexFieldNames(QString());
    }

    void restauraOrdem()
    {
        if (m_ds && m_ds->Active() && !m_indice.isEmpty())
            m_ds->SetIndexFieldNames(std::exchange(m_indice, QString()));
    }

    ~Execucao()
    {
        try {
            restauraOrdem();
        } catch (...) {
            // The rows stay in loaded order; the failure that ended the run
            // (if any) is what the user must read.
        }
        f->anmAnima->SetActive(false);
        f->panMove1->hide();
        if (m_ds)
            m_ds->EnableControls();
        for (const auto& [w, habilitado] : m_habilitados)
            w->setEnabled(habilitado);
        boTraduzindo = false;
        f->unsetCursor();
        if (f->isActiveWindow())
            f->edtLocalizar->setFocus();
    }

    Execucao(const Execucao&) = delete;
    Execucao& operator=(const Execucao&) = delete;

private:
    TfrmSubstituir* f;
    // Pending messages get through once per row for Stop's sake; the rest of
    // the input is dropped and painting waits for the next frame.
    BusyLoopFilter m_filtro{f->panMove1, f, [form = f] { form->sbtStopClick(form->sbtStop); }};
    QPointer<TClientDataSet> m_ds;
    QString m_indice;
    std::vector<std::pair<QWidget*, bool>> m_habilitados;
};

void TfrmSubstituir::sbtSubstAllClick(QObject*)
{
    if (boTraduzindo)
        return;
    m_fecharAoTerminar = false;
    try {
        substituiTodos();
    } catch (...) {
        if (m_fecharAoTerminar)
            QTimer::singleShot(0, this, [this] { Close(); });
        throw;
    }
    if (m_fecharAoTerminar)
        Close();
}

void TfrmSubstituir::substituiTodos()
{
    bool completa = true;
    int recusadas = 0; // rows the user chose not to save
    int revisadas = 0; // rows left out beforehand: reviewed, and the user may not change them
    // The run's saves are one batch of the history, offered for undo when it
    // ends, however it ends.
    historico::LoteDaSubstituicao lote(frmTraducao ? frmTraducao->netTraducao : nullptr, stIdioma, ofertaDesfazer);
    {
        Execucao execucao(this);
        execucao.quadro(true);
        QPointer<TClientDataSet> ds = cdsSubstituir;
        if (temLinhas(ds)) {
            ds->CheckBrowseMode();
            execucao.desligaLinhas(ds);
            const QString busca = edtLocalizar->text();
            const QString substituto = edtSubstituir->text();
            const substituir::TipoBusca tipo = tipoBusca();
            const bool ignoraCaixa = chbNoCase->isChecked();
            const substituir::TesteLinha confere(busca, tipo, ignoraCaixa);
            const int campo = campoBusca()->Index();
            const int n = ds->RecordCount();
            for (int linha = 0; linha < n; ++linha) {
                execucao.quadro();
                // Rows that do not match are read in place; the cursor moves
                // only to a row that gets a replacement.
                const bool encontrada = confere(ds->ValueAt(linha, campo).toString());
                if (encontrada && !motivoSemAlterar(*ds, linha).isEmpty()) {
                    ++revisadas; // its save would be refused: not even tried
                } else if (encontrada) {
                    ds->SetRecNo(linha + 1);
                    const QString textoAntes = campoBusca()->AsString();
                    const QString situacaoAntes = ds->FieldByName(NMSITUACAO)->AsString();
                    qsizetype fim = 0;
                    try {
                        do {
                            fim = trocaTexto(fim);
                        } while (fim >= 0
                                 && substituir::ContinuaNaLinha(campoBusca()->AsString(), busca, substituto, tipo,
                                                                ignoraCaixa, fim));
                    } catch (const EAbort&) {
                        // The user said No to saving this row as the
                        // replacement left it (a check's question): the row
                        // keeps what it had, and the run goes on.
                        ++recusadas;
                    }
                    if (campoBusca()->AsString() != textoAntes
                        || ds->FieldByName(NMSITUACAO)->AsString() != situacaoAntes)
                        lote.Alterou();
                }
                Application()->ProcessMessages();
                if (!boTraduzindo || !ds || !ds->Active() || ds->RecordCount() != n) {
                    completa = false;
                    if (ds && ds->Active() && linha + 1 < ds->RecordCount())
                        ds->SetRecNo(linha + 2);
                    break;
                }
            }
            if (completa) {
                execucao.restauraOrdem();
                ds->Last();
            }
        }
    }
    if (completa)
        lote.Completa();
    lote.Termina();
    QStringList deixadas;
    if (recusadas > 0)
        deixadas << (recusadas == 1
                         ? QStringLiteral("1 linha não foi gravada: a resposta à pergunta sobre ela foi Não.")
                         : QStringLiteral("%1 linhas não foram gravadas: a resposta à pergunta sobre elas foi Não.")
                               .arg(recusadas));
    if (revisadas > 0)
        deixadas << papeis::TextoDasRevisadasDeixadas(revisadas, stIdioma);
    if (!deixadas.isEmpty())
        MessageDlg(deixadas.join(QLatin1Char('\n')), mtInformation, mbOK, 0);
    if (completa)
        msgPadrao->ShowMsg(QStringLiteral("subst_sucess"), mtInformation, mbOK, 0);
}

void TfrmSubstituir::sbtStopClick(QObject*)
{
    boTraduzindo = false;
}

// ====================================================================== opening

void Substituir(TClientDataSet* dataSet)
{
    Application()->SetCursor(TApplication::crHourGlass);
    if (!boIdCriado || !frmSubstituir) {
        frmSubstituir = CreateForm<TfrmSubstituir>(Application()->MainForm());
        boIdCriado = true;
    }
    frmSubstituir->cdsSubstituir = dataSet;
    frmSubstituir->Show();
    Application()->SetCursor(TApplication::crDefault);
}

} // namespace trd
