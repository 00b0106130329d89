#include "Cli_Trd09308.h"

#include "Cli_Trd09300.h"
#include "DialogSeam.h"
#include "Glyphs.h"
#include "HistoricoDoEditor.h"
#include "HistoricoGlyphs.h"
#include "HistoricoRegras.h"
#include "ShowAvi.h"
#include "TApplication.h"
#include "TDateEditPlus.h"
#include "TraducaoRegras.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QHeaderView>
#include <QLabel>
#include <QTableWidget>
#include <QVBoxLayout>

#include <cmath>

namespace trd {

namespace {

QTableWidget* tabela(QWidget* pai, const char* nome, const QStringList& colunas)
{
    auto* t = new QTableWidget(0, static_cast<int>(colunas.size()), pai);
    t->setObjectName(QString::fromLatin1(nome));
    t->setHorizontalHeaderLabels(colunas);
    t->setSelectionBehavior(QAbstractItemView::SelectRows);
    t->setSelectionMode(QAbstractItemView::SingleSelection);
    t->setEditTriggers(QAbstractItemView::NoEditTriggers);
    t->verticalHeader()->hide();
    t->horizontalHeader()->setStretchLastSection(true);
    return t;
}

QTableWidgetItem* numero(qint64 n)
{
    auto* item = new QTableWidgetItem(QString::number(n));
    item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
    return item;
}

} // namespace

TfrmLotes::TfrmLotes(QWidget* parent) : TfrmRotiGeral(parent)
{
    setObjectName(QStringLiteral("frmLotes"));
    SetCaption(QStringLiteral("Lotes de Alterações"));
    lblCodTela->setText(QStringLiteral("TRD09308"));
    resize(820, 520);

    auto* area = new QVBoxLayout(grbDadosRel);
    auto* periodo = new QGridLayout;
    lblIdioma = make<QLabel>("lblIdioma", grbDadosRel);
    depDe = make<TDateEditPlus>("depDe", grbDadosRel);
    depAte = make<TDateEditPlus>("depAte", grbDadosRel);
    periodo->addWidget(lblIdioma, 0, 0);
    periodo->addWidget(new QLabel(QStringLiteral("De"), grbDadosRel), 0, 1);
    periodo->addWidget(depDe, 0, 2);
    periodo->addWidget(new QLabel(QStringLiteral("Até"), grbDadosRel), 0, 3);
    periodo->addWidget(depAte, 0, 4);
    periodo->setColumnStretch(0, 1);
    area->addLayout(periodo);
    grdLotes = tabela(grbDadosRel, "grdLotes",
                      {QStringLiteral("Lote"), QStringLiteral("Data"), QStringLiteral("Usuário"),
                       QStringLiteral("Tipo"), QStringLiteral("Linhas"), QStringLiteral("Situação")});
    grdLotes->setColumnWidth(0, 70);
    grdLotes->setColumnWidth(1, 120);
    grdLotes->setColumnWidth(2, 100);
    grdLotes->setColumnWidth(3, 110);
    grdLotes->setColumnWidth(4, 60);
    area->addWidget(grdLotes, 3);
    chbForcar =
        make<QCheckBox>("chbForcar", QStringLiteral("Desfazer também as linhas alteradas depois do lote"), grbDadosRel);
    area->addWidget(chbForcar);
    lblResultado = make<QLabel>("lblResultado", grbDadosRel);
    lblResultado->setTextFormat(Qt::PlainText);
    lblResultado->setWordWrap(true);
    area->addWidget(lblResultado);
    grdMantidas = tabela(
        grbDadosRel, "grdMantidas",
        {QStringLiteral("Tela"), QStringLiteral("Componente"), QStringLiteral("Origem"), QStringLiteral("Motivo")});
    grdMantidas->setColumnWidth(0, 90);
    grdMantidas->setColumnWidth(1, 120);
    grdMantidas->setColumnWidth(2, 200);
    grdMantidas->hide();
    area->addWidget(grdMantidas, 2);

    // The button column: refresh, undo, close.
    sbtAtualizar = make<TButtonFlat>("sbtAtualizar", panBotoes);
    sbtAtualizar->SetBounds(20, 8, 21, 21);
    sbtAtualizar->SetGlyph(glyphs::TwoGlyphs(glyphs::Verificar));
    sbtAtualizar->SetHint(QStringLiteral("Atualizar a lista"));
    sbtAtualizar->setFocusPolicy(Qt::TabFocus);
    sbtAtualizar->OnClick = [this](QObject* sender) { sbtAtualizarClick(sender); };
    sbtConfirma->SetBounds(20, 34, 21, 21);
    sbtConfirma->SetGlyph(historicoglyphs::Desfazer());
    sbtConfirma->SetHint(QStringLiteral("Desfazer o lote escolhido"));
    sbtConfirma->setEnabled(false);
    sbtCancel->SetBounds(20, 60, 21, 21);
    connect(grdLotes, &QTableWidget::itemSelectionChanged, this, [this] { selecionou(); });

    const TDateTime hoje = std::floor(Now());
    depDe->SetDate(hoje - 30);
    depAte->SetDate(hoje);
}

void TfrmLotes::Carrega(const QString& idioma)
{
    m_idioma = idioma;
    lblIdioma->setText(QStringLiteral("Idioma: ") + idioma);
    sbtAtualizarClick(sbtAtualizar);
}

void TfrmLotes::sbtAtualizarClick(QObject*)
{
    if (!frmTraducao)
        return;
    {
        const ShowAviScope ocupado(aviProcessando);
        m_lotes =
            historico::BuscaLotes(*frmTraducao->netTraducao, m_idioma, depDe->HasValidDate() ? depDe->GetDate() : 0,
                                  depAte->HasValidDate() ? depAte->GetDate() : 0);
    }
    grdLotes->setRowCount(static_cast<int>(m_lotes.size()));
    for (int i = 0; i < m_lotes.size(); ++i) {
        const historico::Lote& l = m_lotes[i];
        grdLotes->setItem(i, 0, numero(l.id));
        grdLotes->setItem(i, 1, new QTableWidgetItem(historico::DataHora(l.data)));
        grdLotes->setItem(i, 2, new QTableWidgetItem(l.usuario));
        grdLotes->setItem(i, 3, new QTableWidgetItem(historico::NomeDoTipo(l.tipo)));
        grdLotes->setItem(i, 4, numero(l.linhas));
        grdLotes->setItem(i, 5, new QTableWidgetItem(historico::SituacaoDoLote(l)));
    }
    if (!m_lotes.isEmpty())
        grdLotes->selectRow(0);
    selecionou();
}

std::optional<historico::Lote> TfrmLotes::Selecionado() const
{
    const QList<QTableWidgetSelectionRange> faixas = grdLotes->selectedRanges();
    if (faixas.isEmpty() || faixas.first().topRow() >= m_lotes.size())
        return std::nullopt;
    return m_lotes[faixas.first().topRow()];
}

void TfrmLotes::selecionou()
{
    const std::optional<historico::Lote> l = Selecionado();
    // A batch already undone is redone by undoing its undo. Whose batch it
    // is decides whether the user may undo it: the button says so beforehand.
    const QString motivo = l && frmTraducao
        ? papeis::MotivoSemDesfazerLote(frmTraducao->papeis(), m_idioma, l->id, l->usuario, l->tipo)
        : QString();
    sbtConfirma->setEnabled(l && l->desfeitoPor == 0 && motivo.isEmpty());
    sbtConfirma->SetHint(motivo.isEmpty() ? QStringLiteral("Desfazer o lote escolhido")
                                          : QStringLiteral("Desfazer o lote escolhido: ") + motivo);
}

void TfrmLotes::sbtConfirmaClick(QObject*)
{
    const std::optional<historico::Lote> l = Selecionado();
    if (!l || l->desfeitoPor != 0)
        return;
    const QString pergunta = QStringLiteral("Desfazer o lote %1 (%2, %3 em %4, %5 %6)?")
                                 .arg(l->id)
                                 .arg(historico::NomeDoTipo(l->tipo), l->usuario, historico::DataHora(l->data))
                                 .arg(l->linhas)
                                 .arg(l->linhas == 1 ? QStringLiteral("linha") : QStringLiteral("linhas"));
    if (MessageDlg(pergunta, mtConfirmation, mbYes | mbNo) != mrYes)
        return;
    const historico::Desfazimento feito = historico::DesfazNoEditor(l->id, chbForcar->isChecked());
    mostra(feito, l->id);
    sbtAtualizarClick(sbtAtualizar);
}

void TfrmLotes::mostra(const historico::Desfazimento& desfazimento, qint64 lote)
{
    lblResultado->setText(QStringLiteral("Lote %1: ").arg(lote) + historico::ResumoDesfazimento(desfazimento));
    QList<historico::LinhaDesfeita> mantidas;
    for (const historico::LinhaDesfeita& linha : desfazimento.linhas)
        if (!linha.desfeita)
            mantidas.append(linha);
    grdMantidas->setRowCount(static_cast<int>(mantidas.size()));
    for (int i = 0; i < mantidas.size(); ++i) {
        grdMantidas->setItem(i, 0, new QTableWidgetItem(mantidas[i].programa));
        grdMantidas->setItem(i, 1, new QTableWidgetItem(mantidas[i].componente));
        grdMantidas->setItem(i, 2, new QTableWidgetItem(traducao::TextoEmUmaLinha(mantidas[i].origem)));
        grdMantidas->setItem(i, 3, new QTableWidgetItem(mantidas[i].motivo));
    }
    grdMantidas->setVisible(!mantidas.isEmpty());
}

} // namespace trd
