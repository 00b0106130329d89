#include "PainelAutomatica.h"

#include <QLabel>
#include <QMouseEvent>
#include <QVBoxLayout>

namespace trd {

PainelAutomatica::PainelAutomatica(QWidget* parent)
    : QFrame(parent), lblEstado(new QLabel(this)), lblSugestao(new QLabel(this))
{
    setObjectName(QStringLiteral("panAutomatica"));
    setFrameShape(QFrame::StyledPanel);
    lblEstado->setObjectName(QStringLiteral("lblEstadoAutomatica"));
    lblSugestao->setObjectName(QStringLiteral("lblSugestaoAutomatica"));
    lblSugestao->setWordWrap(true);
    lblSugestao->setTextFormat(Qt::PlainText);
    lblEstado->setTextFormat(Qt::PlainText);
    // A long state (a server's words when it cannot be reached, an engine's
    // refusal) is cut at the panel's edge, whole in its tooltip, instead of
    // setting the editor's least width: it pushed the detail and glossary
    // panels off the window. One line: the panel is no taller than the detail's.
    lblEstado->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    lblSugestao->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    auto* coluna = new QVBoxLayout(this);
    coluna->setContentsMargins(4, 2, 4, 2);
    coluna->setSpacing(1);
    coluna->addWidget(lblEstado);
    coluna->addWidget(lblSugestao);
    mostraEstado(QStringLiteral("Tradução automática"));
}

void PainelAutomatica::mostraEstado(const QString& texto)
{
    m_sugestao.reset();
    lblEstado->setText(texto);
    lblEstado->setToolTip(texto);
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
    lblEstado->setText(QStringLiteral("%1  %2").arg(Numero).arg(automatica::Rotulo(s)));
    lblSugestao->setText(s.texto);
    lblSugestao->setToolTip(QStringLiteral("Ctrl+%1 ou duplo clique: usar esta tradução").arg(Numero));
    lblSugestao->show();
}

QString PainelAutomatica::estado() const
{
    return lblEstado->text();
}

void PainelAutomatica::mouseDoubleClickEvent(QMouseEvent* event)
{
    if (m_sugestao)
        emit usar();
    event->accept();
}

} // namespace trd
