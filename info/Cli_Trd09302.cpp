#include "Cli_Trd09302.h"

#include "CamposTraducao.h"
#include "Cli_Trd09300.h"
#include "CriaControles.h"
#include "FloatFormat.h"
#include "InfoCalculo.h"
#include "InfoGlyphs.h"
#include "MensErro.h"
#include "ServerCalls.h"
#include "ShowAvi.h"
#include "TApplication.h"
#include "TCanvas.h"
#include "TClientDataSet.h"
#include "TDateEditPlus.h"
#include "TextFunctions.h"
#include "TNetConnection.h"
#include "TNumberEdit.h"
#include "TStringGrid.h"
#include "WebServer.h"

#include <QElapsedTimer>
#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QProgressBar>

#include <algorithm>

namespace trd {

namespace Cli_Trd09302 {
QPointer<TfrmInfoTraducao> frmInfoTraducao;
bool boStCriado = false;
QString stIdiInfo;
} // namespace Cli_Trd09302

namespace {

// The counts come back in the field of the destination text.
const QString& NMVALOR = NMDESTINO;

// Columns of the result grid.
constexpr int ColLinhas = 1;
constexpr int ColCaracteres = 2;
constexpr int ColPreco = 3;

TClientDataSet* contagem(QObject* owner, const char* name)
{
    auto* cds = new TClientDataSet(owner);
    cds->setObjectName(QString::fromLatin1(name));
    cds->AddField(NMVALOR, TFieldType::ftFloat)->ReadOnly = true;
    return cds;
}

// A GetCalcTrad count loaded into its data set: the number of lines, 0 when
// the answer has no row.
qint64 contaLinhas(TNetConnection* conexao, TClientDataSet* destino, const TRemoteArgs& argumentos)
{
    destino->SetData(CheckResultServ(conexao->AppServer().Call(metodo::GetCalcTrad, argumentos), true, 0));
    return destino->IsEmpty() ? 0 : destino->FieldByName(NMVALOR)->AsInteger();
}

} // namespace

// ====================================================================== building

TfrmInfoTraducao::TfrmInfoTraducao(QWidget* parent) : TfrmRotiGeral(parent)
{
    setObjectName(QStringLiteral("frmInfoTraducao"));
    SetCaption(QStringLiteral("Informações da Tradução"));
    lblCodTela->setText(QStringLiteral("TRD09302"));
    msgPadrao->Messages = {
        QStringLiteral("Preco_Zero|Preço por caracter deve ser maior que zero."),
        QStringLiteral("DATA_HORA|Data e Hora devem ser informados."),
    };
    setFixedSize(498, 287);

    buildGrid();
    buildFields();
    buildFoot();
    buildDataSets();

    sbtConfirma->SetHint(QStringLiteral("Calcular"));
    sbtConfirma->SetGlyph(infoglyphs::Calcular());
    btnRevisado = make<TButtonFlat>("btnRevisado", panBotoes);
    btnRevisado->SetBounds(20, 34, 21, 21);
    btnRevisado->SetGlyph(infoglyphs::Revisado());
    btnRevisado->SetHint(QStringLiteral("Revisado"));
    btnRevisado->OnClick = [this](QObject* sender) { btnRevisadoClick(sender); };
    sbtCancel->SetBounds(20, 60, 21, 21);

    NetTradInfo = make<TNetConnection>("NetTradInfo", this);
    NetTradInfo->ServerName = ServerNameTraducao;
    NetTradInfo->ThrowException = false;
    NetTradInfo->BeforeConnect = [this](QObject* sender) { NetTradInfoBeforeConnect(sender); };

    setTabOrder(nbePreco, depDtInicial);
    setTabOrder(depDtInicial, depDtFinal);
    setTabOrder(depDtFinal, stgCalculo);
    // The price is what the user types first.
    nbePreco->setFocus();
}

void TfrmInfoTraducao::buildGrid()
{
    // Along the top of the data group box, as wide as it is.
    stgCalculo = criaEm<TStringGrid>(grbDadosRel, "stgCalculo", {3, 6, 416, 152});
    stgCalculo->SetColCount(4);
    stgCalculo->SetRowCount(6);
    stgCalculo->SetFixedCols(1);
    stgCalculo->SetFixedRows(1);
    const int larguras[] = {100, 100, 103, 100};
    for (int c = 0; c < 4; ++c)
        stgCalculo->SetColWidths(c, larguras[c]);
    const int alturas[] = {24, 26, 24, 24, 24, 24};
    for (int r = 0; r < 6; ++r)
        stgCalculo->SetRowHeights(r, alturas[r]);
    stgCalculo->Color = clInfoBk();
    stgCalculo->SetEditing(false);
    // The handler paints every cell whole; the default drawing underneath
    // would only be painted over.
    stgCalculo->DefaultDrawing = false;
    // Tab leaves the grid for the next control, as in a grid without tabbing.
    stgCalculo->setTabKeyNavigation(false);
    stgCalculo->setToolTip(QStringLiteral("\u2713: as linhas com a marca de revisão (Revisado) hoje"));
    stgCalculo->OnDrawCell = [this](TStringGrid* sender, int col, int row, const QRect& rect, TGridDrawState state) {
        stgCalculoDrawCell(sender, col, row, rect, state);
    };
    // Titles belong to the grid as built, so even a dialog whose opening
    // failed shows what its rows and columns are.
    stgCalculo->SetCells(ColLinhas, 0, QStringLiteral("  Linhas"));
    stgCalculo->SetCells(ColCaracteres, 0, QStringLiteral("  Caracteres"));
    stgCalculo->SetCells(ColPreco, 0, QStringLiteral("  Preço"));
    stgCalculo->SetCells(0, info::LinhaTraduzido, QStringLiteral("Traduzido"));
    stgCalculo->SetCells(0, info::LinhaNaoTraduzido, QStringLiteral("Não Traduzido"));
    stgCalculo->SetCells(0, info::LinhaDuvida, QStringLiteral("Com Dúvida"));
    stgCalculo->SetCells(0, info::LinhaRevisado, QStringLiteral("Revisado"));
    stgCalculo->SetCells(0, info::LinhaTotal, QStringLiteral("Total"));
}

void TfrmInfoTraducao::buildFields()
{
    QWidget* area = grbDadosRel;
    lblPreco = rotulo(area, "lblPreco", QStringLiteral("Preço por Caracter"), {8, 178, 116, 16});
    nbePreco = criaEm<TNumberEdit>(area, "nbePreco", {8, 196, 112, 22});
    nbePreco->Decimals = 7;
    nbePreco->OnKeyPress = [this](QObject* sender, QChar& key) { nbePrecoKeyPress(sender, key); };
    nbePreco->OnChange = [this](QObject* sender) { nbePrecoChange(sender); };

    // Labels above the dates, so each field has room for a whole date and
    // its calendar button at any system font.
    grbDataAlt = criaEm<QGroupBox>(area, "grbDataAlt", {128, 160, 291, 66});
    grbDataAlt->setTitle(QStringLiteral("Data de alteração"));
    lblDtInicial = rotulo(grbDataAlt, "lblDtInicial", QStringLiteral("Inicial"), {10, 20, 120, 16});
    depDtInicial = criaEm<TDateEditPlus>(grbDataAlt, "depDtInicial", {10, 37, 130, 22});
    lblDtFinal = rotulo(grbDataAlt, "lblDtFinal", QStringLiteral("Final"), {150, 20, 120, 16});
    depDtFinal = criaEm<TDateEditPlus>(grbDataAlt, "depDtFinal", {150, 37, 130, 22});
    depDtInicial->SaveTime = false;
    depDtFinal->SaveTime = false;
    depDtInicial->OnExit = [this](QObject* sender) { depDtInicialExit(sender); };
    depDtFinal->OnExit = [this](QObject* sender) { depDtFinalExit(sender); };
}

void TfrmInfoTraducao::buildFoot()
{
    panBarra = criaEm<QFrame>(grbDadosRel, "panBarra", {3, 240, 416, 30});
    panBarra->setFrameShape(QFrame::StyledPanel);
    lblStatus = rotulo(panBarra, "lblStatus", QStringLiteral("Calculando..."), {6, 6, 96, 18});
    lblStatus->hide();
    pgbCalcChar = criaEm<QProgressBar>(panBarra, "pgbCalcChar", {104, 6, 306, 18});
    pgbCalcChar->setTextVisible(false);
    pgbCalcChar->setRange(0, 100);
    pgbCalcChar->setValue(0);
}

void TfrmInfoTraducao::buildDataSets()
{
    cdstraducao = make<TClientDataSet>("cdstraducao", this);
    cdstraducao->AddField(NMSITUACAO, TFieldType::ftString, 1);
    cdstraducao->AddField(NMVALOR, TFieldType::ftString, 250);
    cdscalctrad = contagem(this, "cdscalctrad");
    cdscalcntrad = contagem(this, "cdscalcntrad");
    cdscalcduv = contagem(this, "cdscalcduv");
    cdsRevisado = contagem(this, "cdsRevisado");
}

// ====================================================================== opening and closing

void TfrmInfoTraducao::FormCreate(QObject* sender)
{
    TfrmRotiGeral::FormCreate(sender);
    {
        // Not guarded: a failed connect is reported by the connection itself.
        // The animation still goes, or it would stay over the window for good.
        const ShowAviScope busy(aviConectando);
        NetTradInfo->Open();
    }
    if (!frmTraducao)
        throw Exception(QStringLiteral("O editor de tradução não está aberto."));
    stIdiInfo = frmTraducao->cbbIdioma->currentText().left(3);
    sbtConfirma->setEnabled(nbePreco->GetNumber() > 0);

    qint64 t = 0, n = 0, d = 0;
    {
        const ShowAviScope busy(aviProcessando);
        const QString todas = QStringLiteral("T");
        t = contaLinhas(NetTradInfo, cdscalctrad, {stIdiInfo, 0, 0, QStringLiteral("T"), todas});
        n = contaLinhas(NetTradInfo, cdscalcntrad, {stIdiInfo, 0, 0, QStringLiteral("N"), todas});
        d = contaLinhas(NetTradInfo, cdscalcduv, {stIdiInfo, 0, 0, QStringLiteral("D"), todas});
    }
    stgCalculo->SetCells(ColLinhas, info::LinhaTraduzido, QString::number(t));
    stgCalculo->SetCells(ColLinhas, info::LinhaNaoTraduzido, QString::number(n));
    stgCalculo->SetCells(ColLinhas, info::LinhaDuvida, QString::number(d));
    stgCalculo->SetCells(ColLinhas, info::LinhaTotal, QString::number(t + n + d));
    contaRevisadas(0, 0, QStringLiteral("T"));
}

void TfrmInfoTraducao::contaRevisadas(double inicial, double final_, const QString& modo)
{
    m_revisadas = info::ContaRevisadas(*NetTradInfo, stIdiInfo, inicial, final_, modo);
    stgCalculo->viewport()->update();
}

QString TfrmInfoTraducao::revisadasNaLinha(int linha) const
{
    if (!m_revisadas)
        return QString();
    qint64 n = 0;
    switch (linha) {
    case info::LinhaTraduzido:
        n = m_revisadas->traduzidas;
        break;
    case info::LinhaNaoTraduzido:
        n = m_revisadas->naoTraduzidas;
        break;
    case info::LinhaDuvida:
        n = m_revisadas->duvidas;
        break;
    case info::LinhaTotal:
        n = m_revisadas->total();
        break;
    default:
        return QString();
    }
    return QStringLiteral("\u2713 ") + QString::number(n);
}

void TfrmInfoTraducao::FormActivate(QObject* sender)
{
    TfrmRotiGeral::FormActivate(sender);
    repaint();
}

void TfrmInfoTraducao::FormClose(QObject* sender, TCloseAction& action)
{
    TfrmRotiGeral::FormClose(sender, action);
    NetTradInfo->Close();
    Cli_Trd09302::boStCriado = false;
}

void TfrmInfoTraducao::NetTradInfoBeforeConnect(QObject*)
{
    NetTradInfo->Port = WebPort;
    NetTradInfo->Host = WebURL;
}

void TfrmInfoTraducao::FormKeyDown(QObject* sender, int& key, Qt::KeyboardModifiers shift)
{
    TfrmRotiGeral::FormKeyDown(sender, key, shift);
    // The flat buttons take no focus; from the keyboard, Enter calculates and
    // Ctrl+R fetches the revised count, each only while its button is enabled.
    const bool enter = (key == Qt::Key_Return || key == Qt::Key_Enter) && !(shift & ~Qt::KeypadModifier);
    if (enter && sbtConfirma->isEnabled()) {
        key = 0;
        sbtConfirma->Click();
    } else if (key == Qt::Key_R && shift == Qt::ControlModifier && btnRevisado->isEnabled()) {
        key = 0;
        btnRevisado->Click();
    }
}

// ====================================================================== the price and the dates

void TfrmInfoTraducao::nbePrecoKeyPress(QObject*, QChar& key)
{
    const bool selecao = nbePreco->hasSelectedText();
    const int inicio = selecao ? nbePreco->selectionStart() : nbePreco->cursorPosition();
    const int tamanho = selecao ? static_cast<int>(nbePreco->selectedText().size()) : 0;
    MaxNumber(nbePreco->text(), 5, 7, QString(key), inicio, tamanho);
}

void TfrmInfoTraducao::nbePrecoChange(QObject*)
{
    sbtConfirma->setEnabled(nbePreco->GetNumber() > 0);
}

void TfrmInfoTraducao::depDtInicialExit(QObject*)
{
    depDtInicial->CheckValidDate();
}

void TfrmInfoTraducao::depDtFinalExit(QObject*)
{
    depDtFinal->CheckValidDate();
}

void TfrmInfoTraducao::Vd_DataHora(bool informa)
{
    try {
        const auto definida = [](const TDateEditPlus* campo) {
            return !EmptyString(campo->text()) && campo->GetDate() != 0;
        };
        if ((!definida(depDtInicial) || !definida(depDtFinal)) && informa)
            MensErro(msgPadrao->Msg(QStringLiteral("DATA_HORA")), true);
    } catch (...) {
        depDtInicial->setFocus(Qt::OtherFocusReason);
        throw;
    }
}

// ====================================================================== calculation

void TfrmInfoTraducao::sbtConfirmaClick(QObject* sender)
{
    TfrmRotiGeral::sbtConfirmaClick(sender);
    const double preco = nbePreco->GetNumber();
    if (!(preco > 0))
        MensErro(msgPadrao->Msg(QStringLiteral("Preco_Zero")), true);

    // Whatever happens from here on, the dialog ends at rest.
    struct Repouso {
        TfrmInfoTraducao* form;
        ~Repouso() { form->estadoDeRepouso(); }
    } repouso{this};

    depDtInicial->CheckValidDate();
    depDtFinal->CheckValidDate();
    Vd_DataHora(true);
    nbePreco->setEnabled(false);

    const TDateTime inicial = depDtInicial->GetDate();
    const TDateTime final_ = depDtFinal->GetDate();
    cdstraducao->SetData(
        CheckResultServ(NetTradInfo->AppServer().Call(metodo::GetInfoTrad, {stIdiInfo, inicial, final_}), true, 0));
    const QString datadas; // empty date mode: the dates bound the change date
    const qint64 t = contaLinhas(NetTradInfo, cdscalctrad, {stIdiInfo, inicial, final_, QStringLiteral("T"), datadas});
    const qint64 n = contaLinhas(NetTradInfo, cdscalcntrad, {stIdiInfo, inicial, final_, QStringLiteral("N"), datadas});
    const qint64 d = contaLinhas(NetTradInfo, cdscalcduv, {stIdiInfo, inicial, final_, QStringLiteral("D"), datadas});
    contaRevisadas(inicial, final_, datadas);

    // A range of 0 to 0 turns the bar into a busy indicator that never ends;
    // no rows to count is an empty bar.
    pgbCalcChar->setMaximum(std::max(cdstraducao->RecordCount(), 1));
    pgbCalcChar->setValue(0);
    lblStatus->show();
    Application()->SetCursor(TApplication::crSQLWait);
    cdstraducao->First();

    stgCalculo->SetCells(ColLinhas, info::LinhaTraduzido, QString::number(t));
    stgCalculo->SetCells(ColLinhas, info::LinhaNaoTraduzido, QString::number(n));
    stgCalculo->SetCells(ColLinhas, info::LinhaDuvida, QString::number(d));
    stgCalculo->SetCells(ColLinhas, info::LinhaRevisado, QStringLiteral("0"));
    stgCalculo->SetCells(ColLinhas, info::LinhaTotal, QString::number(t + n + d));
    for (int linha = info::LinhaTraduzido; linha <= info::LinhaTotal; ++linha) {
        stgCalculo->SetCells(ColCaracteres, linha, QStringLiteral("0"));
        stgCalculo->SetCells(ColPreco, linha, QStringLiteral("0"));
    }
    somaLinhas(preco);
}

void TfrmInfoTraducao::somaLinhas(double preco)
{
    // The running sums live in `apuracao`, each cost exactly the number its
    // cell's text reads back as; the cells get their texts whenever the
    // dialog is painted. Painting after every row, as simple as it would be,
    // costs far more than the counting on a large language, and no one can
    // see more than a few dozen frames a second anyway.
    info::ApuracaoCusto apuracao(preco);
    const TField* situacao = cdstraducao->FieldByName(NMSITUACAO);
    const TField* texto = cdstraducao->FieldByName(NMVALOR);
    QElapsedTimer quadro;
    int feitas = 0;
    for (; !cdstraducao->Eof(); cdstraducao->Next()) {
        if (!quadro.isValid() || quadro.elapsed() >= IntervaloQuadroMs) {
            mostraApuracao(apuracao, feitas);
            repaint();
            quadro.start();
        }
        apuracao.Soma(situacao->AsString(), info::TamanhoContado(texto->AsString()));
        ++feitas;
    }
    mostraApuracao(apuracao, feitas);
}

void TfrmInfoTraducao::mostraApuracao(const info::ApuracaoCusto& apuracao, int feitas)
{
    const QChar separador = DecimalSeparator();
    for (int linha : {info::LinhaTraduzido, info::LinhaNaoTraduzido, info::LinhaDuvida, info::LinhaTotal}) {
        stgCalculo->SetCells(ColCaracteres, linha, apuracao.TextoCaracteres(linha));
        stgCalculo->SetCells(ColPreco, linha, apuracao.TextoCusto(linha, separador));
    }
    pgbCalcChar->setValue(feitas);
}

void TfrmInfoTraducao::estadoDeRepouso()
{
    nbePreco->setEnabled(true);
    sbtConfirma->setEnabled(true);
    lblStatus->hide();
    Application()->SetCursor(TApplication::crDefault);
    pgbCalcChar->setValue(0);
}

// ====================================================================== revised count

void TfrmInfoTraducao::btnRevisadoClick(QObject*)
{
    depDtInicial->CheckValidDate();
    depDtFinal->CheckValidDate();
    Vd_DataHora(true);
    qint64 revisadas = 0;
    {
        const ShowAviScope busy(aviProcessando);
        revisadas =
            contaLinhas(NetTradInfo, cdsRevisado,
                        {stIdiInfo, depDtInicial->GetDate(), depDtFinal->GetDate(), QStringLiteral("T"), QString()});
    }
    stgCalculo->SetCells(ColLinhas, info::LinhaRevisado, QString::number(revisadas));
}

// ====================================================================== painting

void TfrmInfoTraducao::stgCalculoDrawCell(TStringGrid*, int col, int row, const QRect& rect, TGridDrawState state)
{
    TCanvas* canvas = stgCalculo->Canvas();
    canvas->Brush.Color = clInfoBk();
    canvas->FillRect(rect);
    canvas->Font.Color = clBlack;
    if (col == ColLinhas) {
        if (row == info::LinhaTraduzido)
            canvas->Font.Color = QColor(0, 128, 0);
        else if (row == info::LinhaNaoTraduzido)
            canvas->Font.Color = QColor(255, 0, 0);
        else if (row == info::LinhaDuvida)
            canvas->Font.Color = QColor(170, 170, 0);
    }
    if (state & gdSelected) {
        canvas->Brush.Color = clHighlight();
        canvas->FillRect(rect);
        canvas->Font.Color = clCaptionText();
    }
    const QString texto = stgCalculo->Cells(col, row);
    const int x = row > 0 && col > 0 ? rect.left() + stgCalculo->ColWidths(col) - (canvas->TextWidth(texto) + 2)
                                     : rect.left() + 2;
    canvas->TextRect(rect, x, rect.top() + 2, texto);
    // Beside the count of lines, at the cell's left: how many of them carry the review mark.
    if (col == ColLinhas && row > 0) {
        const QString revisadas = revisadasNaLinha(row);
        if (!revisadas.isEmpty()) {
            canvas->Font.Color = state & gdSelected ? clCaptionText() : QColor(0, 90, 200);
            canvas->TextOut(rect.left() + 3, rect.top() + 2, revisadas);
        }
    }
    if (state & gdFocused)
        canvas->DrawFocusRect(rect);
}

// ====================================================================== opening function

namespace Cli_Trd09302 {

void CriaInfoTraducao()
{
    const HourGlass ampulheta;
    // The flag says whether the dialog exists; the pointer also knows when
    // its owner window took it down with it.
    if (!boStCriado || !frmInfoTraducao) {
        frmInfoTraducao = CreateForm<TfrmInfoTraducao>(Application()->MainForm());
        boStCriado = true;
    }
    frmInfoTraducao->Show();
    frmInfoTraducao->SetWindowState(wsNormal);
}

} // namespace Cli_Trd09302

} // namespace trd
