#include "TextoDoDetalhe.h"

#include <QAbstractTextDocumentLayout>
#include <QEvent>
#include <QFontMetrics>
#include <QPainter>
#include <QStyle>
#include <QStyleOption>
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

bool TextoDoDetalhe::medeSozinho() const
{
    return wordWrap() && textFormat() == Qt::PlainText && !text().isEmpty() && indent() <= 0 && frameWidth() == 0
        && !style()->inherits("QStyleSheetStyle");
}

int TextoDoDetalhe::heightForWidth(int width) const
{
    if (!medeSozinho() || width < 0)
        return QLabel::heightForWidth(width);
    // The room the label gives its text, as it works it out.
    const int vertical = 2 * margin();
    if (minimumWidth() > 0)
        width = qMax(width, minimumWidth());
    const QMargins m = contentsMargins();
    dispoe(qMax(width - 2 * margin() - m.left() - m.right(), 0));
    return qMax(m_altura + vertical + m.top() + m.bottom(), minimumHeight());
}

void TextoDoDetalhe::dispoe(qreal largura) const
{
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
}

void TextoDoDetalhe::paintEvent(QPaintEvent* event)
{
    if (!medeSozinho() || (alignment() & Qt::AlignVertical_Mask) != Qt::AlignTop || hasSelectedText() || hasFocus()) {
        QLabel::paintEvent(event);
        return;
    }
    // As the label paints a text of its own: the frame, then the text at the
    // top of its contents, in the colour of its foreground role.
    QPainter painter(this);
    drawFrame(&painter);
    const QRect area = contentsRect().adjusted(margin(), margin(), -margin(), -margin());
    dispoe(area.width());
    // Painted at exactly the label's width: the lines' places follow it.
    if (m_documento.textWidth() != area.width()) {
        m_documento.setTextWidth(area.width());
        m_largura = area.width();
        m_ideal = m_documento.idealWidth();
        m_altura = static_cast<int>(std::ceil(m_documento.size().height()));
    }
    QStyleOption opcao;
    opcao.initFrom(this);
    QAbstractTextDocumentLayout::PaintContext contexto;
    contexto.palette = opcao.palette;
    if (foregroundRole() != QPalette::Text && isEnabled())
        contexto.palette.setColor(QPalette::Text, contexto.palette.color(foregroundRole()));
    painter.translate(area.topLeft());
    painter.setClipRect(QRectF(0, 0, area.width(), area.height()));
    m_documento.documentLayout()->draw(&painter, contexto);
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
