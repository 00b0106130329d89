#pragma once
// A long text of the detail panel (the current row's source and destination):
// word-wrapped, selectable, inside a scroll area that gives it its width. A
// word-wrapped label works its size hints out by laying its text out several
// times over (at its ideal width, on one line, one word a line), and the scroll
// area asks for them at every change of the text, that is at every move of the
// row. Of them the area uses only the widest word (a word wider than the panel
// widens the text); this label answers it from the font's measures.
//
// The height at a width the area asks apart, twice a move (with and without
// its scroll bar). A label answers each by laying its text out at that width
// and again at its own; this one lays the text out once in a document of its
// own, set as the label sets its own, and answers the second width from the
// same lines when they fit in it: lines that fit break where they broke.
//
// A label lays a new text out again to paint it (four layouts, one for each
// of its settings). While nothing of the text is selected this one paints it
// from the layout it answered the height with, as the label would (a text
// at the top, as the panel has it); a selection (and the focus that comes
// with it) the label paints itself.
#include <QLabel>
#include <QTextDocument>

namespace trd {

class TextoDoDetalhe : public QLabel {
    Q_OBJECT
public:
    explicit TextoDoDetalhe(QWidget* parent = nullptr);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;
    int heightForWidth(int width) const override;

protected:
    void changeEvent(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    // Plain word-wrapped text, no indent or frame, no style sheet: what the
    // panel shows, and what this label measures and paints by itself.
    bool medeSozinho() const;
    // Lays the text out at this width of its own, if not so already.
    void dispoe(qreal largura) const;

    mutable QString m_medido; // the text m_tamanho is of
    mutable QSize m_tamanho{-1, -1};

    // The text laid out for heightForWidth: at the width m_largura (of the
    // text itself), its widest line m_ideal wide and m_altura high.
    mutable QTextDocument m_documento;
    mutable QString m_disposto;
    mutable bool m_valido = false;
    mutable qreal m_largura = 0;
    mutable qreal m_ideal = 0;
    mutable int m_altura = 0;
};

} // namespace trd
