// Unit Cli_Trd09300, the editor's side of ServicosDoEditor: what the
// companions beside the screen are given of it, and nothing more.
#include "Cli_Trd09300.h"

#include "CamposTraducao.h"
#include "Cli_Trd09306.h"
#include "HistoricoDados.h"
#include "HistoricoDoEditor.h"
#include "PapeisDoEditor.h"
#include "VerificacoesDoEditor.h"

#include <QBoxLayout>
#include <QLineEdit>

#include <utility>

namespace trd {

namespace {
// The destination text's column of the grid.
constexpr int ColunaDestino = 2;
} // namespace

QWidget* TfrmTraducao::janela()
{
    return this;
}

TClientDataSet& TfrmTraducao::linhas()
{
    return *cdsDestino;
}

TSocketConnection& TfrmTraducao::conexao()
{
    return *netTraducao;
}

QString TfrmTraducao::idioma() const
{
    return stIdioma;
}

QString TfrmTraducao::textoDoIdioma() const
{
    return cbbIdioma->currentText();
}

bool TfrmTraducao::idiomaDaLista() const
{
    const QString texto = cbbIdioma->currentText();
    return !texto.isEmpty() && cbbIdioma->findText(texto, Qt::MatchFixedString) >= 0;
}

bool TfrmTraducao::substituindo() const
{
    return boTraduzindo;
}

ChaveLinha TfrmTraducao::chaveAtual() const
{
    if (!cdsDestino->Active() || cdsDestino->IsEmpty())
        return {};
    return {cdsDestino->FieldByName(NMIDIOMA)->AsString(), cdsDestino->FieldByName(NMPROGRAMA)->AsString(),
            cdsDestino->FieldByName(NMCOMPONENTE)->AsString(), cdsDestino->FieldByName(NMORIGEM)->AsString()};
}

void TfrmTraducao::digitaNaCelula(const QString& texto)
{
    // A grid the user may only read takes no text, from a suggestion or anywhere.
    if (!cdsDestino->Active() || cdsDestino->IsEmpty() || !m_restricoes[int(Controle::Celula)].isEmpty())
        return;
    QLineEdit* celula = dbgPadrao->InplaceEditor();
    if (!celula) {
        if (cdsDestino->State() == TDataSetState::dsBrowse)
            cdsDestino->Edit();
        dbgPadrao->SetSelectedIndex(ColunaDestino);
        dbgPadrao->SetEditorMode(true);
        celula = dbgPadrao->InplaceEditor();
    }
    if (celula) {
        // As typed over the whole text: Ctrl+Z brings the previous one back,
        // Escape drops the edit, moving on posts it.
        celula->selectAll();
        celula->insert(texto);
        celula->setFocus(Qt::OtherFocusReason);
    } else if (cdsDestino->State() == TDataSetState::dsEdit) {
        cdsDestino->FieldByName(NMDESTINO)->SetAsString(texto);
    }
    lblDestino->setText(texto);
}

void TfrmTraducao::usaTextoDoColega(const QString& texto)
{
    digitaNaCelula(texto);
    panTextoColega->Esconde();
    layoutDetailLabels();
}

QLineEdit* TfrmTraducao::celulaAberta() const
{
    return dbgPadrao->InplaceEditor();
}

QWidget* TfrmTraducao::areaDasCelulas() const
{
    return dbgPadrao->viewport();
}

void TfrmTraducao::repintaLinhas()
{
    dbgPadrao->viewport()->update();
}

void TfrmTraducao::devolveTeclado()
{
    // After a modal dialog no window is active: the editor's grid takes the
    // keyboard back, where the user was.
    window()->activateWindow();
    if (QLineEdit* celula = dbgPadrao->InplaceEditor())
        celula->setFocus(Qt::OtherFocusReason);
    else
        dbgPadrao->setFocus(Qt::OtherFocusReason);
}

void TfrmTraducao::recarrega()
{
    sbtVerificarClick(sbtVerificar);
}

void TfrmTraducao::mostraTextoDoColega(const QString& titulo, const QString& texto)
{
    panTextoColega->Mostra(titulo, texto);
    layoutDetailLabels();
}

void TfrmTraducao::alteradasPorOutro(const std::vector<int>& linhas, bool removidas, bool atual)
{
    for (const int linha : linhas)
        verificacoes->linhaAlterada(linha);
    if (removidas)
        verificacoes->linhasMudaram();
    // The history's line says who changed the current row last: asked again.
    if (atual && Historico)
        Historico->Gravou();
}

QWidget* TfrmTraducao::blocoDoDetalhe() const
{
    return m_ladoDoDetalhe ? m_ladoDoDetalhe : Panel4;
}

void TfrmTraducao::adicionaPainel(QWidget* painel, Lugar lugar)
{
    QVBoxLayout* area = FolhaDadosLayout();
    switch (lugar) {
    case Lugar::AoLadoDoDetalhe: {
        if (!m_ladoDoDetalhe) {
            const int onde = area->indexOf(Panel4);
            m_ladoDoDetalhe = new QWidget;
            m_ladoDoDetalhe->setObjectName(QStringLiteral("panDetalheESugestoes"));
            auto* linha = new QHBoxLayout(m_ladoDoDetalhe);
            linha->setContentsMargins(0, 0, 0, 0);
            linha->setSpacing(2);
            area->removeWidget(Panel4);
            linha->addWidget(Panel4, 3);
            area->insertWidget(onde, m_ladoDoDetalhe);
        }
        painel->setFixedHeight(Panel4->height());
        static_cast<QHBoxLayout*>(m_ladoDoDetalhe->layout())->addWidget(painel, 2);
        break;
    }
    case Lugar::AcimaDoDetalhe:
        area->insertWidget(area->indexOf(blocoDoDetalhe()), painel);
        break;
    case Lugar::SobODetalhe:
        area->insertWidget(area->indexOf(blocoDoDetalhe()) + 1, painel);
        break;
    case Lugar::SobAsSugestoes: {
        auto* linha = m_ladoDoDetalhe ? static_cast<QHBoxLayout*>(m_ladoDoDetalhe->layout()) : nullptr;
        QWidget* acima = linha && linha->count() > 1 ? linha->itemAt(linha->count() - 1)->widget() : nullptr;
        if (!acima) {
            adicionaPainel(painel, Lugar::AoLadoDoDetalhe);
            break;
        }
        // The panel beside the detail panel and this one share its column,
        // as tall as the detail panel together.
        if (acima->objectName() != QLatin1String("panColunaSugestoes")) {
            auto* coluna = new QWidget;
            coluna->setObjectName(QStringLiteral("panColunaSugestoes"));
            auto* pilha = new QVBoxLayout(coluna);
            pilha->setContentsMargins(0, 0, 0, 0);
            pilha->setSpacing(2);
            delete linha->replaceWidget(acima, coluna);
            acima->setMinimumHeight(0);
            acima->setMaximumHeight(QWIDGETSIZE_MAX);
            pilha->addWidget(acima, 1);
            coluna->setFixedHeight(Panel4->height());
            acima = coluna;
        }
        static_cast<QVBoxLayout*>(acima->layout())->addWidget(painel, 0);
        break;
    }
    case Lugar::Navegador:
        painel->setParent(panNavigator);
        if (auto* linha = qobject_cast<QBoxLayout*>(panNavigator->layout()))
            linha->insertWidget(linha->count() - 1, painel);
        break;
    }
}

void TfrmTraducao::poeNoMenu(QAction* item)
{
    InsertMaintenanceAction(item);
}

qint64 TfrmTraducao::emLote(const QString& idioma, const QString& tipo, const std::function<void()>& chamada,
                            const QString& origem)
{
    return historico::ChamaEmLote(*netTraducao, idioma, tipo, chamada, origem);
}

const papeis::PapeisDoUsuario& TfrmTraducao::papeis() const
{
    static const papeis::PapeisDoUsuario todos = papeis::PapeisDoUsuario::Todos();
    return direitos ? direitos->atuais() : todos;
}

void TfrmTraducao::pintaLinhasCom(std::function<void(TCanvas&)> pintura)
{
    m_pinturas.push_back(std::move(pintura));
}

void TfrmTraducao::dicaDasLinhas(std::function<QString(int)> dica)
{
    m_dicas.push_back(std::move(dica));
    if (!dbgPadrao->OnRowHint)
        dbgPadrao->OnRowHint = [this](int linha) {
            for (const auto& d : m_dicas)
                if (QString texto = d(linha); !texto.isEmpty())
                    return texto;
            return QString();
        };
}

void TfrmTraducao::restringe(Controle controle, const QString& motivo)
{
    QString& atual = m_restricoes[static_cast<std::size_t>(controle)];
    if (atual == motivo)
        return;
    atual = motivo;
    aplicaHabilitacao();
}

namespace {

// A control's hint as designed, kept the first time a reason is added to it.
void dizPorque(QWidget* controle, const QString& motivo)
{
    static const char* const designada = "trdDicaDesenhada";
    if (!controle->property(designada).isValid())
        controle->setProperty(designada, controle->toolTip());
    const QString dica = controle->property(designada).toString();
    const QString nova = motivo.isEmpty() ? dica : (dica.isEmpty() ? motivo : dica + QStringLiteral(": ") + motivo);
    // Asked at every move of the row: only a change costs anything.
    if (controle->toolTip() != nova)
        controle->setToolTip(nova);
}

void dizPorque(QAction* item, const QString& motivo)
{
    const QString nova = motivo.isEmpty() ? item->text().remove(QLatin1Char('&')) : motivo;
    if (item->toolTip() != nova)
        item->setToolTip(nova);
    if (item->statusTip() != motivo)
        item->setStatusTip(motivo);
}

} // namespace

void TfrmTraducao::aplicaHabilitacao()
{
    const traducao::Habilitacao& h = m_habilitacao;
    const QString& celula = m_restricoes[static_cast<std::size_t>(Controle::Celula)];
    const QString& situacoes = m_restricoes[static_cast<std::size_t>(Controle::Situacoes)];
    const QString& substituir = m_restricoes[static_cast<std::size_t>(Controle::Substituir)];
    // Deleting changes the row as a status does: a reviewed row under required review stays.
    const QString& excluir = celula.isEmpty() ? situacoes : celula;
    SetActionEnabled(sbtExcluir, h.excluir && excluir.isEmpty());
    dizPorque(sbtExcluir, excluir);
    // The inherited edit button and the navigator's edits go with the cell.
    // (The base form enables it as the delete button: browsing, with rows.)
    SetActionEnabled(sbtAlterar, h.excluir && celula.isEmpty());
    dizPorque(sbtAlterar, celula);
    if (dbnPadrao->ReadOnly() != !celula.isEmpty())
        dbnPadrao->SetReadOnly(!celula.isEmpty(), celula);
    for (auto [button, item] : {std::pair{sbtNTrad, mnuNTrad}, {sbtDuvida, mnuDuvida}, {sbtTrad, mnuTrad}}) {
        habilita(button, item, h.situacoes && situacoes.isEmpty());
        dizPorque(button, situacoes);
        dizPorque(item, situacoes);
    }
    habilita(sbtFiltro, mnuFiltro, h.filtro);
    habilita(sbtInfor, mnuInfor, h.informacoes);
    habilita(sbtSubstituir, mnuSubstituir, h.substituir && substituir.isEmpty());
    dizPorque(sbtSubstituir, substituir);
    dizPorque(mnuSubstituir, substituir);
    SetActionEnabled(sbtImprimir, h.imprimir);
    // The grid reads only: no typing, no new row, no deletion; it says why.
    dbgPadrao->SetReadOnly(!celula.isEmpty());
    if (dbgPadrao->viewport()->toolTip() != celula) {
        dbgPadrao->viewport()->setToolTip(celula);
        dbgPadrao->setStatusTip(celula);
    }
    // A menu item that is off says why when pointed at.
    mnuManutencao->setToolTipsVisible(true);
}

} // namespace trd
