#include "PainelSugestoes.h"

#include "StatusLamps.h"

#include <QHeaderView>
#include <QLabel>
#include <QPixmap>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace trd {

namespace {

// The grid's lamp, its olive background made transparent.
QIcon lampada(const QString& situacao)
{
    const lamps::Lamp cor = situacao == QStringLiteral("T") ? lamps::Verde
        : situacao == QStringLiteral("D")                   ? lamps::Amarela
                                                            : lamps::Vermelha;
    QPixmap pixmap = QPixmap::fromImage(lamps::LampIcon(cor));
    pixmap.setMask(pixmap.createMaskFromColor(lamps::Oliva()));
    return QIcon(pixmap);
}

QString dica(const memoria::Sugestao& s)
{
    QString texto =
        (s.identica ? QStringLiteral("Mesma origem") : QStringLiteral("Origem parecida (%1%)").arg(s.semelhanca))
        + QStringLiteral(": ") + s.origem + QStringLiteral("\nTradução: ") + s.traducao
        + (s.situacao == QStringLiteral("D") ? QStringLiteral(" (dúvida)") : QString()) + QStringLiteral("\nTela: ")
        + s.programa + QStringLiteral(", componente: ") + s.componente;
    if (s.linhas > 1)
        texto += QStringLiteral("\n%1 linhas com esta tradução").arg(s.linhas);
    if (!s.programas.isEmpty())
        texto += QStringLiteral(" (telas: ") + s.programas + QStringLiteral(")");
    if (!s.identica && s.traducoes > 1)
        texto += QStringLiteral("\n%1 linhas, %2 traduções diferentes").arg(s.linhas).arg(s.traducoes);
    if (s.obsoleta)
        texto += QStringLiteral("\nLinha obsoleta: uma liberação do aplicativo tirou este texto das telas.");
    return texto;
}

} // namespace

PainelSugestoes::PainelSugestoes(QWidget* parent)
    : PainelComEstado("panSugestoes", "lblEstadoSugestoes", parent), lstSugestoes(new QTreeWidget(this))
{
    // A long message (a server's words) wraps inside the panel.
    lblEstado->setWordWrap(true);
    QFont negrito = lblEstado->font();
    negrito.setBold(true);
    lblEstado->setFont(negrito);
    lstSugestoes->setObjectName(QStringLiteral("lstSugestoes"));
    lstSugestoes->setColumnCount(4);
    lstSugestoes->setHeaderHidden(true);
    lstSugestoes->setRootIsDecorated(false);
    lstSugestoes->setUniformRowHeights(true);
    lstSugestoes->setIndentation(0);
    lstSugestoes->setSelectionMode(QAbstractItemView::SingleSelection);
    // The keyboard stays in the grid: the list is reached with the mouse, its
    // suggestions with Ctrl+1 to Ctrl+5.
    lstSugestoes->setFocusPolicy(Qt::NoFocus);
    lstSugestoes->setEditTriggers(QAbstractItemView::NoEditTriggers);
    lstSugestoes->header()->setStretchLastSection(true);
    lstSugestoes->header()->setSectionResizeMode(0, QHeaderView::ResizeToContents);
    lstSugestoes->header()->setSectionResizeMode(1, QHeaderView::ResizeToContents);
    lstSugestoes->header()->setSectionResizeMode(2, QHeaderView::Interactive);
    coluna()->addWidget(lstSugestoes, 1);
    connect(lstSugestoes, &QTreeWidget::itemDoubleClicked, this,
            [this](QTreeWidgetItem* item) { emit usar(lstSugestoes->indexOfTopLevelItem(item)); });
    mostraEstado(QStringLiteral("Sugestões da memória de tradução"));
}

void PainelSugestoes::retiraOferta()
{
    m_sugestoes.clear();
    // Told at every move of the row: an empty list is not reset (and repainted) again.
    if (lstSugestoes->topLevelItemCount() > 0)
        lstSugestoes->clear();
}

void PainelSugestoes::mostra(const QList<memoria::Sugestao>& sugestoes)
{
    m_sugestoes = sugestoes;
    lstSugestoes->clear();
    if (sugestoes.isEmpty()) {
        mostraAviso(QStringLiteral("Nenhuma sugestão para esta linha."));
        return;
    }
    mostraAviso(sugestoes.size() == 1 ? QStringLiteral("1 sugestão (Ctrl+1 ou duplo clique usa)")
                                      : QStringLiteral("%1 sugestões (Ctrl+1 a Ctrl+%2 ou duplo clique usa)")
                                            .arg(sugestoes.size())
                                            .arg(qMin<int>(int(sugestoes.size()), Numeradas)));
    for (int i = 0; i < sugestoes.size(); ++i) {
        const memoria::Sugestao& s = sugestoes.at(i);
        auto* item = new QTreeWidgetItem(lstSugestoes);
        item->setText(0, i < Numeradas ? QString::number(i + 1) : QString());
        item->setText(1, QStringLiteral("%1%").arg(s.semelhanca));
        item->setIcon(1, lampada(s.situacao));
        item->setText(2, memoria::Citado(s.traducao, 200));
        item->setText(3, memoria::OrigemDaSugestao(s));
        item->setTextAlignment(1, Qt::AlignRight | Qt::AlignVCenter);
        const QString texto = dica(s);
        for (int c = 0; c < 4; ++c)
            item->setToolTip(c, texto);
        // A text the application no longer shows: greyed and in italics, apart from the live ones.
        if (s.obsoleta) {
            QFont italico = item->font(2);
            italico.setItalic(true);
            for (int c = 1; c < 4; ++c) {
                item->setFont(c, italico);
                item->setForeground(c, lstSugestoes->palette().brush(QPalette::Disabled, QPalette::Text));
            }
        }
    }
    lstSugestoes->resizeColumnToContents(2);
    lstSugestoes->setColumnWidth(2, qMin(lstSugestoes->columnWidth(2), qMax(120, lstSugestoes->width() / 2)));
}

} // namespace trd
