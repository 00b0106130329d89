#include "PainelAutomatica.h"

#include <QLabel>
#include <QMouseEvent>
#include <QVBoxLayout>

namespace trd {

PainelAutomatica::PainelAutomatica(QWidget* parent)
    : PainelComEstado("panAutomatica", "lblEstadoAutomatica", parent), lblSugestao(new QLabel(this))
{
    lblSugestao->setObjectName(QStringLiteral("lblSugestaoAutomatica"));
    lblSugestao->setWordWrap(true);
    lblSugestao->setTextFormat(Qt::PlainText);
    // Neither the state nor the translation sets the editor's least width (a
    // long one pushed the detail and glossary panels off the window): the
    // translation wraps inside the panel; the state stays one line, cut at the
    // panel's edge, so that the panel is no taller than the detail's.
    lblSugestao->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    coluna()->addWidget(lblSugestao);
    mostraEstado(QStringLiteral("Tradução automática"));
}

void PainelAutomatica::retiraOferta()
{
    m_sugestao.reset();
    // Told at every move of the row: an empty label is not laid out again.
    if (!lblSugestao->text().isEmpty())
        lblSugestao->clear();
    lblSugestao->hide();
}

void PainelAutomatica::mostra(const automatica::Sugestao& s)
{
    if (s.texto.isEmpty()) {
        mostraEstado(QStringLiteral("%1: resposta descartada (%2).").arg(automatica::Rotulo(s), s.aviso));
        return;
    }
    m_sugestao = s;
    mostraAviso(QStringLiteral("%1  %2").arg(Numero).arg(automatica::Rotulo(s)));
    lblSugestao->setText(s.texto);
    lblSugestao->setToolTip(QStringLiteral("Ctrl+%1 ou duplo clique: usar esta tradução").arg(Numero));
    lblSugestao->show();
}

void PainelAutomatica::mouseDoubleClickEvent(QMouseEvent* event)
{
    if (m_sugestao)
        emit usar();
    event->accept();
}

} // namespace trd
