#include "Cli_Trd09307.h"

#include "Cli_Trd09300.h"
#include "HistoricoRegras.h"
#include "RevisaoRegras.h"
#include "StatusLamps.h"
#include "TraducaoRegras.h"

#include <QHeaderView>
#include <QLabel>
#include <QTableWidget>
#include <QVBoxLayout>

namespace trd {

namespace {

enum Coluna { cData, cUsuario, cTipo, cSituacao, cTexto };

QIcon lampada(const QString& situacao)
{
    const std::optional<lamps::Lamp> lamp = situacao == traducao::SitTraduzido ? std::optional(lamps::Verde)
        : situacao == traducao::SitDuvida                                      ? std::optional(lamps::Amarela)
        : situacao == traducao::SitNaoTraduzido                                ? std::optional(lamps::Vermelha)
                                                                               : std::nullopt;
    if (!lamp)
        return {};
    return QIcon(QPixmap::fromImage(lamps::LampGlyphs(*lamp, true).copy(0, 0, 16, 16)));
}

QString estado(const QString& texto, const QString& situacao, bool existe)
{
    if (!existe)
        return QStringLiteral("(sem linha)");
    return QStringLiteral("[%1] %2").arg(situacao, texto);
}

} // namespace

TfrmHistorico::TfrmHistorico(QWidget* parent) : TfrmRotiGeral(parent)
{
    setObjectName(QStringLiteral("frmHistorico"));
    SetCaption(QStringLiteral("Histórico da Linha"));
    lblCodTela->setText(QStringLiteral("TRD09307"));
    resize(760, 430);

    auto* area = new QVBoxLayout(grbDadosRel);
    lblLinha = make<QLabel>("lblLinha", grbDadosRel);
    QFont negrito = lblLinha->font();
    negrito.setBold(true);
    lblLinha->setFont(negrito);
    lblLinha->setTextFormat(Qt::PlainText);
    lblOrigem = make<QLabel>("lblOrigem", grbDadosRel);
    lblOrigem->setTextFormat(Qt::PlainText);
    lblOrigem->setWordWrap(true);
    grdVersoes = make<QTableWidget>("grdVersoes", 0, 5, grbDadosRel);
    grdVersoes->setHorizontalHeaderLabels({QStringLiteral("Data"), QStringLiteral("Usuário"), QStringLiteral("Tipo"),
                                           QStringLiteral("Sit."), QStringLiteral("Texto")});
    grdVersoes->setSelectionBehavior(QAbstractItemView::SelectRows);
    grdVersoes->setSelectionMode(QAbstractItemView::SingleSelection);
    grdVersoes->setEditTriggers(QAbstractItemView::NoEditTriggers);
    grdVersoes->verticalHeader()->hide();
    grdVersoes->horizontalHeader()->setStretchLastSection(true);
    grdVersoes->setColumnWidth(cData, 120);
    grdVersoes->setColumnWidth(cUsuario, 90);
    grdVersoes->setColumnWidth(cTipo, 100);
    grdVersoes->setColumnWidth(cSituacao, 36);
    lblVersao = make<QLabel>("lblVersao", grbDadosRel);
    lblVersao->setTextFormat(Qt::PlainText);
    lblVersao->setWordWrap(true);
    lblVersao->setTextInteractionFlags(Qt::TextSelectableByMouse);
    lblVersao->setMinimumHeight(64);
    lblVersao->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    area->addWidget(lblLinha);
    area->addWidget(lblOrigem);
    area->addWidget(grdVersoes, 1);
    area->addWidget(lblVersao);

    sbtConfirma->SetHint(QStringLiteral("Restaurar a versão escolhida"));
    sbtConfirma->setEnabled(false);
    connect(grdVersoes, &QTableWidget::itemSelectionChanged, this, [this] { selecionou(); });
    // A double click on a version, or Enter on it, restores it as the button does.
    connect(grdVersoes, &QAbstractItemView::activated, this, [this] {
        if (sbtConfirma->isEnabled())
            sbtConfirma->Click();
    });
}

void TfrmHistorico::Carrega(const historico::ChaveLinha& chave, const QList<historico::Versao>& versoes,
                            const QString& textoAtual, const QString& situacaoAtual)
{
    m_versoes = versoes;
    m_textoAtual = textoAtual;
    m_situacaoAtual = situacaoAtual;
    lblLinha->setText(QStringLiteral("Tela: %1    Componente: %2").arg(chave.programa, chave.componente));
    lblOrigem->setText(QStringLiteral("Origem: ") + traducao::TextoEmUmaLinha(chave.origem));
    grdVersoes->setRowCount(static_cast<int>(versoes.size()));
    for (int i = 0; i < versoes.size(); ++i) {
        const historico::Versao& v = versoes[i];
        const bool excluida = v.alteracao == QLatin1String("E");
        auto* data = new QTableWidgetItem(historico::DataHora(v.data));
        grdVersoes->setItem(i, cData, data);
        grdVersoes->setItem(i, cUsuario, new QTableWidgetItem(v.usuario));
        grdVersoes->setItem(i, cTipo, new QTableWidgetItem(historico::NomeDoTipo(v.tipoLote)));
        auto* lamp = new QTableWidgetItem;
        lamp->setIcon(lampada(v.situacaoDepois));
        lamp->setToolTip(v.situacaoDepois);
        grdVersoes->setItem(i, cSituacao, lamp);
        grdVersoes->setItem(i, cTexto,
                            new QTableWidgetItem(excluida ? QStringLiteral("(linha excluída)")
                                                          : traducao::TextoEmUmaLinha(v.textoDepois)));
    }
    if (versoes.isEmpty())
        lblVersao->setText(QStringLiteral("Sem alterações registradas para esta linha."));
    else
        grdVersoes->selectRow(0);
}

std::optional<historico::Versao> TfrmHistorico::Selecionada() const
{
    const QList<QTableWidgetSelectionRange> faixas = grdVersoes->selectedRanges();
    if (faixas.isEmpty())
        return std::nullopt;
    const int linha = faixas.first().topRow();
    if (linha < 0 || linha >= m_versoes.size())
        return std::nullopt;
    return m_versoes[linha];
}

void TfrmHistorico::selecionou()
{
    const std::optional<historico::Versao> v = Selecionada();
    // Restoring saves the row: the user must be allowed to change it.
    const QString motivo = frmTraducao ? papeis::MotivoSemAlterarLinha(frmTraducao->papeis(), frmTraducao->idioma(),
                                                                       revisao::MarcaAtual(frmTraducao->linhas()))
                                       : QString();
    sbtConfirma->setEnabled(v && historico::PodeRestaurar(*v, m_textoAtual, m_situacaoAtual) && motivo.isEmpty());
    sbtConfirma->SetHint(motivo.isEmpty() ? QStringLiteral("Restaurar a versão escolhida")
                                          : QStringLiteral("Restaurar a versão escolhida: ") + motivo);
    if (!v)
        return;
    lblVersao->setText(QStringLiteral("%1, %2 (%3, lote %4)\nAntes: %5\nDepois: %6")
                           .arg(v->usuario, historico::DataHora(v->data), historico::NomeDoTipo(v->tipoLote))
                           .arg(v->lote)
                           .arg(estado(v->textoAntes, v->situacaoAntes, v->alteracao != QLatin1String("I")),
                                estado(v->textoDepois, v->situacaoDepois, v->alteracao != QLatin1String("E"))));
}

void TfrmHistorico::sbtConfirmaClick(QObject*)
{
    const std::optional<historico::Versao> v = Selecionada();
    if (!v || !historico::PodeRestaurar(*v, m_textoAtual, m_situacaoAtual))
        return;
    m_escolhida = v;
    SetModalResult(mrOk);
}

} // namespace trd
