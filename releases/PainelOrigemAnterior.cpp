#include "PainelOrigemAnterior.h"

#include "DiferencaPalavras.h"

#include <QGridLayout>
#include <QLabel>

namespace trd::liberacao {

namespace {

// Row after row the panel is told the same: a label that already holds the
// text is not laid out again (a clear() alone does, even of an empty label).
void poe(QLabel* l, const QString& texto)
{
    if (l->text() != texto)
        l->setText(texto);
}

QLabel* texto(QWidget* pai, const char* nome)
{
    auto* l = new QLabel(pai);
    l->setObjectName(QString::fromLatin1(nome));
    l->setTextFormat(Qt::RichText);
    l->setWordWrap(true);
    l->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    l->setTextInteractionFlags(Qt::TextSelectableByMouse);
    // Never takes the keyboard from the grid or the cell.
    l->setFocusPolicy(Qt::NoFocus);
    return l;
}

} // namespace

QString TituloDaOrigem(const Origem& o)
{
    const QString quando =
        o.data != 0 ? DateTimeToQDateTime(o.data).toString(QStringLiteral("dd/MM/yyyy HH:mm")) : QString();
    const QString liberacao = quando.isEmpty() ? QStringLiteral("na liberação (lote %1)").arg(o.lote)
                                               : QStringLiteral("na liberação de %1 (lote %2)").arg(quando).arg(o.lote);
    if (o.tipo == Tipo::Movida)
        return QStringLiteral("Movida de %1 / %2 %3; a tradução veio com ela, em dúvida:")
            .arg(o.programaAnterior, o.componenteAnterior, liberacao);
    return QStringLiteral("Reescrita %1 (%2 % semelhante); a tradução é a da origem anterior, em dúvida:")
        .arg(liberacao)
        .arg(o.similaridade);
}

PainelOrigemAnterior::PainelOrigemAnterior(QWidget* parent) : QFrame(parent)
{
    setObjectName(QStringLiteral("panOrigemAnterior"));
    setFrameShape(QFrame::StyledPanel);
    auto* grade = new QGridLayout(this);
    grade->setContentsMargins(8, 3, 8, 3);
    grade->setVerticalSpacing(1);
    grade->setHorizontalSpacing(16);
    lblTitulo = new QLabel(this);
    lblTitulo->setObjectName(QStringLiteral("lblTituloOrigem"));
    lblTitulo->setTextFormat(Qt::PlainText);
    QFont negrito = lblTitulo->font();
    negrito.setBold(true);
    lblTitulo->setFont(negrito);
    grade->addWidget(lblTitulo, 0, 0, 1, 2);
    lblAnterior = texto(this, "lblOrigemAnterior");
    lblAtual = texto(this, "lblOrigemAtual");
    grade->addWidget(lblAnterior, 1, 0);
    grade->addWidget(lblAtual, 1, 1);
    grade->setColumnStretch(0, 1);
    grade->setColumnStretch(1, 1);
    grade->setRowStretch(1, 1);
    // One height whatever the texts (a title and two lines of each source):
    // moving from row to row never moves the grid.
    setFixedHeight(3 * fontMetrics().lineSpacing() + 12);
    hide();
}

void PainelOrigemAnterior::Mostra(const Origem& origem)
{
    const Diferenca d = DiferencaPalavras(origem.origemAnterior, origem.origem);
    lblTitulo->setText(TituloDaOrigem(origem));
    lblAnterior->setText(QStringLiteral("<b>Antes:</b> ") + MarcadoEmHtml(d.antes));
    lblAtual->setText(QStringLiteral("<b>Agora:</b> ") + MarcadoEmHtml(d.depois));
    // A long text is cut by the panel's height; its tip holds it whole.
    lblAnterior->setToolTip(origem.origemAnterior);
    lblAtual->setToolTip(origem.origem);
    show();
}

void PainelOrigemAnterior::SemOrigem()
{
    poe(lblTitulo, QStringLiteral("Sem origem anterior: nenhuma liberação reescreveu ou moveu esta linha."));
    poe(lblAnterior, QString());
    poe(lblAtual, QString());
    lblAnterior->setToolTip(QString());
    lblAtual->setToolTip(QString());
    show();
}

void PainelOrigemAnterior::Esconde()
{
    hide();
    for (QLabel* l : {lblTitulo, lblAnterior, lblAtual})
        poe(l, QString());
}

} // namespace trd::liberacao
