#include "TextoDoDetalhe.h"

#include <QEvent>
#include <QFontMetrics>

namespace trd {

TextoDoDetalhe::TextoDoDetalhe(QWidget* parent) : QLabel(parent)
{
}

QSize TextoDoDetalhe::minimumSizeHint() const
{
    if (m_tamanho.isValid() && m_medido == text())
        return m_tamanho;
    const QFontMetrics fm(font());
    int largura = 0;
    const QString t = text();
    qsizetype inicio = -1;
    for (qsizetype i = 0; i <= t.size(); ++i) {
        const bool fim = i == t.size() || t.at(i).isSpace();
        if (fim && inicio >= 0) {
            largura = qMax(largura, fm.horizontalAdvance(t.mid(inicio, i - inicio)));
            inicio = -1;
        } else if (!fim && inicio < 0) {
            inicio = i;
        }
    }
    const QMargins m = contentsMargins();
    const int extra = 2 * margin() + qMax(indent(), 0);
    m_medido = t;
    m_tamanho = QSize(largura + m.left() + m.right() + extra, fm.height() + m.top() + m.bottom() + 2 * margin());
    return m_tamanho;
}

void TextoDoDetalhe::changeEvent(QEvent* event)
{
    // Another font measures the words anew.
    if (event->type() == QEvent::FontChange || event->type() == QEvent::StyleChange)
        m_tamanho = QSize(-1, -1);
    QLabel::changeEvent(event);
}

QSize TextoDoDetalhe::sizeHint() const
{
    // The scroll area sizes the text itself; nothing lays the text out by its hint.
    return minimumSizeHint();
}

} // namespace trd
