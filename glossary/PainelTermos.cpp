#include "PainelTermos.h"

#include "MolduraGuardada.h"

#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QTableWidget>
#include <QVBoxLayout>

namespace trd {

QString TraducaoMostrada(const quality::GlossaryTerm& termo)
{
    if (termo.doNotTranslate)
        return QStringLiteral("(não se traduz)");
    QString texto = termo.preferred.join(QStringLiteral(" / "));
    if (!termo.forbidden.isEmpty())
        texto += QStringLiteral("  (nunca: ") + termo.forbidden.join(QStringLiteral(", ")) + u')';
    return texto;
}

QString TraducaoInserida(const quality::GlossaryTerm& termo)
{
    if (termo.doNotTranslate)
        return termo.source;
    return termo.preferred.isEmpty() ? QString() : termo.preferred.first();
}

PainelTermos::PainelTermos(QWidget* parent) : QFrame(parent)
{
    setObjectName(QStringLiteral("panTermos"));
    setFrameShape(QFrame::StyledPanel);
    auto* coluna = new QVBoxLayout(this);
    coluna->setContentsMargins(4, 2, 4, 2);
    coluna->setSpacing(2);
    lblGlossario = new QLabel(QStringLiteral("Glossário:"), this);
    lblGlossario->setObjectName(QStringLiteral("lblGlossario"));
    // A long state (the server out of reach) wraps in the panel instead of
    // widening it over the suggestions beside it.
    lblGlossario->setWordWrap(true);
    edtOrigem = new QLineEdit(this);
    edtOrigem->setObjectName(QStringLiteral("edtOrigemTermos"));
    edtOrigem->setReadOnly(true);
    edtOrigem->setFocusPolicy(Qt::ClickFocus);
    edtOrigem->setToolTip(QStringLiteral("Selecione palavras da origem e use \"Adicionar Termo ao Glossário...\""));
    // Painted at every move of the row: its frame is drawn once and copied.
    MolduraGuardada::Aplica(edtOrigem);
    grdTermos = new QTableWidget(0, 3, this);
    grdTermos->setObjectName(QStringLiteral("grdTermos"));
    grdTermos->setHorizontalHeaderLabels({QStringLiteral("Termo"), QStringLiteral("Tradução"), QStringLiteral("Nota")});
    grdTermos->verticalHeader()->hide();
    grdTermos->setEditTriggers(QAbstractItemView::NoEditTriggers);
    grdTermos->setSelectionBehavior(QAbstractItemView::SelectRows);
    grdTermos->setSelectionMode(QAbstractItemView::SingleSelection);
    grdTermos->setFocusPolicy(Qt::ClickFocus);
    grdTermos->horizontalHeader()->setStretchLastSection(true);
    coluna->addWidget(lblGlossario);
    coluna->addWidget(edtOrigem);
    coluna->addWidget(grdTermos, 1);
}

void PainelTermos::mostra(const QString& origem, const QList<quality::GlossaryTerm>& termos, const QString& estado)
{
    lblGlossario->setText(estado);
    lblGlossario->setToolTip(estado);
    if (edtOrigem->text() != origem)
        edtOrigem->setText(origem);
    m_termos = termos;
    grdTermos->setRowCount(int(termos.size()));
    for (int i = 0; i < termos.size(); ++i) {
        const quality::GlossaryTerm& t = termos[i];
        const QString textos[] = {t.source, TraducaoMostrada(t), t.note};
        for (int c = 0; c < 3; ++c) {
            auto* item = new QTableWidgetItem(textos[c]);
            item->setToolTip(textos[c]);
            grdTermos->setItem(i, c, item);
        }
    }
}

const quality::GlossaryTerm* PainelTermos::escolhido() const
{
    if (m_termos.isEmpty())
        return nullptr;
    const int linha = grdTermos->currentRow();
    return &m_termos[linha >= 0 && linha < m_termos.size() ? linha : 0];
}

} // namespace trd
