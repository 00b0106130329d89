#include "Cli_Trd09300.h"

#include "AlteracoesAoVivo.h"
#include "CamposTraducao.h"
#include "Cli_Trd09301.h"
#include "Dispatch.h"
#include "HistoricoDoEditor.h"
#include "MemoriaDoEditor.h"
#include "AutomaticaDoEditor.h"
#include "GlossarioDoEditor.h"
#include "MensErro.h"
#include "PapeisDoEditor.h"
#include "RevisaoDoEditor.h"
#include "ServerCalls.h"
#include "ShowAvi.h"
#include "StatusLamps.h"
#include "TApplication.h"
#include "TCanvas.h"
#include "TraducaoRegras.h"
#include "TSocketConnection.h"
#include "VerificacoesDoEditor.h"
#include "WebServer.h"

#include "Cli_Trd09302.h"
#include "Cli_Trd09303.h"
#include "Cli_Trd09306.h"

#include <QApplication>
#include <QEvent>
#include <QKeyEvent>
#include <QSignalBlocker>

#include <algorithm>
#include <new>
#include <utility>

namespace trd {

QPointer<TfrmTraducao> frmTraducao;
bool boStCriado = false;
QString stIdioma;

namespace {

// How long a row read back after a failed save may take: a server that did
// not answer the save is not waited for a whole read timeout again.
constexpr int kEsperaReleituraMs = 15000;

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
        const ShowAviScope busy(aviConectando);
        netTraducao->Open();
    }
    {
        const ShowAviScope busy(aviCarregandoIdiomas);
        cdsIdiomaOri->SetData(CheckResultServ(netTraducao->AppServer().Call(metodo::GetIdiTrad), true, 0));
    }
    const QSignalBlocker quiet(cbbIdioma); // filling the list chooses no language
    cdsIdiomaOri->First();
    while (!cdsIdiomaOri->Eof()) {
        cbbIdioma->addItem(traducao::ItemIdioma(cdsIdiomaOri->FieldByName(NMIDIOMA)->AsString(),
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
    glossario->idiomaEscolhido(stIdioma);
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
    QMetaObject::invokeMethod(
        this, [this] { Dispatch([this] { Panel1Exit(Panel1); }); }, Qt::QueuedConnection);
}

void TfrmTraducao::Panel1Exit(QObject*)
{
    const QString texto = cbbIdioma->currentText();
    const bool valido = cdsIdiomaOri->Active()
        && cdsIdiomaOri->Locate(QStringLiteral("IDIDIOMA;DSIDIOMA"),
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
        CarregaLinhasFiltradas(*netTraducao, *cdsDestino, msgPadrao->Msg(QStringLiteral("Insufficient_Memory")));
        return;
    }
    try {
        const ShowAviScope busy(aviProcessando);
        cdsDestino->SetData(CheckResultServ(
            netTraducao->AppServer().Call(metodo::GetDestino,
                                          {QStringLiteral("T"), QStringLiteral("D"), QStringLiteral("N"), stIdioma,
                                           dtDataIni, dtDataFin, stDataTrad}),
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
    lblCodigo->setText(cdsDestino->FieldByName(NMPROGRAMA)->AsString());
    lblNome->setText(cdsDestino->FieldByName(NMCOMPONENTE)->AsString());
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
    if (!sbtExcluir->isEnabled() || !cdsDestino->Active() || cdsDestino->IsEmpty()
        || cdsDestino->State() != TDataSetState::dsBrowse)
        return;
    if (msgMensagensPadroes->ShowMsg(QStringLiteral("Excl"), mtConfirmation, mbYes | mbNo, 0) == mrYes)
        cdsDestino->Delete();
}

void TfrmTraducao::cdsDestinoBeforeInsert(TClientDataSet*)
{
    Abort();
}

void TfrmTraducao::cdsDestinoAfterInsert(TClientDataSet*)
{
}

void TfrmTraducao::cdsDestinoBeforePost(TClientDataSet*)
{
    TField* situacao = cdsDestino->FieldByName(NMSITUACAO);
    TField* destino = cdsDestino->FieldByName(NMDESTINO);
    // A text that breaks its screen goes only when the user says so. Asked
    // before anything is written into the row: a No leaves the row exactly
    // as the user left it (its status unpromoted, the text in the cell), so
    // that a later post decides the status again from what it holds then.
    verificacoes->confirmaGravacao();
    const QString marcada = situacao->AsString();
    const QString promovida = traducao::SituacaoAoGravar(
        cdsDestino->FieldByName(NMORIGEM)->AsString(), destino->AsString(), situacao->AsString(), situacao->OldValue());
    if (promovida != situacao->AsString())
        situacao->SetAsString(promovida);
    // A text typed in the cell is kept: if the server refuses it, it goes
    // back into the cell. A replacement or a status is the code's, not typing.
    const QVariant antes = destino->OldValue();
    m_textoFoiEditado = dbgPadrao->RecordTyped() && (!antes.isValid() || antes.toString() != destino->AsString());
    m_textoEditado = m_textoFoiEditado ? destino->AsString() : QString();
    revisao->antesDeGravar();
    memoria->antesDeGravar();
    automatica->antesDeGravar(marcada);
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
        const ShowAviScope busy(aviProcessando);
        automatica->grava([this] {
            CheckResultServ(netTraducao->AppServer().Call(metodo::SetDestino, {cdsDestino->Delta()}), true, 0);
        });
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
    const bool incerta =
        dynamic_cast<const EConnectionError*>(&erro) || (recusa && recusa->ErrorCode() == OutcomeUnknownCode);
    const ChaveLinha chave = chaveAtual();
    const QString destinoPostado = cdsDestino->FieldByName(NMDESTINO)->AsString();
    const QString situacaoPostada = cdsDestino->FieldByName(NMSITUACAO)->AsString();
    // The row as it was before the edit, then as the server has it now.
    desfazAlteracoes(0);
    const QString destinoAntes = cdsDestino->FieldByName(NMDESTINO)->AsString();
    TClientDataSet lida;
    bool relida = false;
    try {
        const ShowAviScope busy(aviProcessando);
        relida = LeLinhaDoServidor(*netTraducao, chave, lida, kEsperaReleituraMs);
    } catch (const Exception&) {
        relida = false; // still unknown: the server does not answer
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
    if (desfecho.devolveTexto && cdsDestino->Active() && !cdsDestino->IsEmpty()
        && cdsDestino->State() == TDataSetState::dsBrowse) {
        // Unposted, in the cell where it was typed: the user corrects it,
        // takes the colleague's text, posts it over theirs deliberately or
        // drops it with Escape. A row the user may no longer change (marked
        // as reviewed meanwhile) takes the text back all the same: the
        // restriction yields while the edit lasts, and the next post meets
        // the server's check again.
        if (!m_restricoes[static_cast<std::size_t>(Controle::Celula)].isEmpty() && papeis().podeEscrever(idioma())) {
            m_restricoes[static_cast<std::size_t>(Controle::Celula)].clear();
            aplicaHabilitacao();
        }
        digitaNaCelula(texto);
    }
    if (desfecho.mostraColega)
        mostraTextoDoColega(traducao::TituloTextoDoColega(doServidor.situacao), doServidor.destino);
    throw Exception(traducao::MensagemDaFalha(erro.Message(), incerta, desfecho));
}

void TfrmTraducao::mnuAlteracaoColegaClick(QObject*)
{
    if (!aoVivo->irParaProxima())
        lblAviso->setText(
            QStringLiteral("Nenhuma linha foi alterada por outro usuário desde que as linhas foram carregadas."));
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
    if (!cdsDestino->Active()
        || (cdsDestino->State() != TDataSetState::dsEdit && cdsDestino->State() != TDataSetState::dsInsert))
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
    automatica->linhaAtualMudou();
    glossario->linhaAtualMudou();
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
        const Lamp lamps[3] = {
            {sbtNTrad, imgNTrad1, imgNTrad2}, {sbtDuvida, imgDuvida1, imgDuvida2}, {sbtTrad, imgTrad1, imgTrad2}};
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

void TfrmTraducao::dbgPadraoDrawColumnCell(QObject*, const QRect& rect, int, TColumn* column, TGridDrawState state)
{
    TCanvas* canvas = dbgPadrao->Canvas();
    // A row a colleague just changed is tinted for a moment.
    canvas->Brush.Color = aoVivo && aoVivo->recente(cdsDestino->ActiveRecord()) ? CorAlteradaPorColega() : clInfoBk();
    canvas->FillRect(rect);
    const QString situacao = cdsDestino->FieldByName(NMSITUACAO)->AsString();
    if (situacao == traducao::SitTraduzido)
        canvas->Font.Color = clGreen;
    else if (situacao == traducao::SitDuvida)
        canvas->Font.Color = CorTextoDuvida();
    else if (situacao == traducao::SitNaoTraduzido)
        canvas->Font.Color = clRed;
    for (const auto& pintura : m_pinturas)
        pintura(*canvas);
    if (state & gdSelected) {
        canvas->Brush.Color = clHighlight();
        canvas->FillRect(rect);
        canvas->Font.Color = clCaptionText();
    }
    TField* field = column ? column->Field() : nullptr;
    // The status cell shows its lamp alone, over its whole rectangle: its
    // letter and focus frame would be painted only to be covered.
    const bool situacaoDaLinha = field && field->FieldName() == NMSITUACAO;
    if (field && !situacaoDaLinha)
        canvas->TextRect(rect, rect.left() + 2, rect.top() + 2, traducao::TextoEmUmaLinha(field->AsString()));
    if ((state & gdFocused) && !situacaoDaLinha)
        canvas->DrawFocusRect(rect);
    if (situacaoDaLinha) {
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
        static constexpr int formKeys[] = {Qt::Key_Tab, Qt::Key_Backtab, Qt::Key_Return, Qt::Key_Enter, Qt::Key_Escape};
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
