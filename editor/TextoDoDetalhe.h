#pragma once
// A long text of the detail panel (the current row's source and destination):
// word-wrapped, selectable, inside a scroll area that gives it its width. A
// word-wrapped label works its size hints out by laying its text out several
// times over (at its ideal width, on one line, one word a line), and the scroll
// area asks for them at every change of the text, that is at every move of the
// row. Of them the area uses only the widest word (a word wider than the panel
// widens the text); the height at its width it asks apart. This label answers
// the widest word from the font's measures and leaves the height to the label
// as ever, so the text shows as before at a fraction of the cost.
#include <QLabel>

namespace trd {

class TextoDoDetalhe : public QLabel {
    Q_OBJECT
public:
    explicit TextoDoDetalhe(QWidget* parent = nullptr);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void changeEvent(QEvent* event) override;

private:
    mutable QString m_medido; // the text m_tamanho is of
    mutable QSize m_tamanho{-1, -1};
};

} // namespace trd
