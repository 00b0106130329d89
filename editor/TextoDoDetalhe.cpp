#include "TextoDoDetalhe.h"

#include <QEvent>
#include <QFontMetrics>
#include <QStyle>
#include <QTextFrame>

#include <cmath>

namespace trd {

TextoDoDetalhe::TextoDoDetalhe(QWidget* parent) : QLabel(parent)
{
    m_documento.setUndoRedoEnabled(false);
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

int TextoDoDetalhe::heightForWidth(int width) const
{
    // Plain word-wrapped text is what the panel shows; anything else the label answers.
    if (!wordWrap() || textFormat() != Qt::PlainText || width < 0 || text().isEmpty())
        return QLabel::heightForWidth(width);
    // The room the label gives its text, as it works it out.
    int horizontal = 2 * margin();
    int vertical = horizontal;
    int recuo = indent();
    if (recuo < 0 && frameWidth())
        recuo = fontMetrics().horizontalAdvance(QLatin1Char('x')) - 2 * margin();
    if (recuo > 0) {
        const int alinhamento = QStyle::visualAlignment(layoutDirection(), alignment());
        if (alinhamento & (Qt::AlignLeft | Qt::AlignRight))
            horizontal += recuo;
        if (alinhamento & (Qt::AlignTop | Qt::AlignBottom))
            vertical += recuo;
    }
    if (minimumWidth() > 0)
        width = qMax(width, minimumWidth());
    const QMargins m = contentsMargins();
    const qreal largura = qMax(width - horizontal - m.left() - m.right(), 0);

    const QString t = text();
    // Every setting lays the document out again: each is set when it changes only.
    if (m_documento.defaultFont() != font()) {
        m_documento.setDefaultFont(font());
        m_valido = false;
    }
    if (m_documento.defaultTextOption().alignment() != alignment()
        || m_documento.defaultTextOption().wrapMode() != QTextOption::WordWrap) {
        QTextOption opcao = m_documento.defaultTextOption();
        opcao.setAlignment(alignment());
        opcao.setWrapMode(QTextOption::WordWrap);
        m_documento.setDefaultTextOption(opcao);
        m_valido = false;
    }
    const auto semMargem = [this] {
        QTextFrameFormat quadro = m_documento.rootFrame()->frameFormat();
        if (quadro.margin() != 0) {
            quadro.setMargin(0);
            m_documento.rootFrame()->setFrameFormat(quadro);
        }
    };
    semMargem();
    if (!m_valido || m_disposto != t) {
        // At the width the last text had: often the one asked.
        m_documento.setPlainText(t);
        semMargem();
        m_disposto = t;
        m_valido = false;
    }
    // Narrower than the lines were broken at but no narrower than the widest
    // of them: every line still fits and none can take a word more.
    if (!m_valido || largura > m_largura || largura < m_ideal) {
        if (m_documento.textWidth() != largura)
            m_documento.setTextWidth(largura);
        m_largura = largura;
        m_ideal = m_documento.idealWidth();
        m_altura = static_cast<int>(std::ceil(m_documento.size().height()));
        m_valido = true;
    }
    return qMax(m_altura + vertical + m.top() + m.bottom(), minimumHeight());
}

void TextoDoDetalhe::changeEvent(QEvent* event)
{
    // Another font measures the words anew.
    if (event->type() == QEvent::FontChange || event->type() == QEvent::StyleChange) {
        m_tamanho = QSize(-1, -1);
        m_valido = false;
    }
    QLabel::changeEvent(event);
}

QSize TextoDoDetalhe::sizeHint() const
{
    // The scroll area sizes the text itself; nothing lays the text out by its hint.
    return minimumSizeHint();
}

} // namespace trd
