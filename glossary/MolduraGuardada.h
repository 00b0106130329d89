#pragma once
// The frame and background of the terms panel's source line, drawn by the
// style once for each size and state and copied at every paint since: the
// style strokes it with rounded, smoothed edges, and the line is painted anew
// at every move of the row. The copy is drawn over the colour the line stands
// on, painted first, so that its pixels are those the style would paint
// there; the line then covers all of its place, and what lies beneath it is
// not painted before it. Every other element the application's style draws.
#include <QPixmap>
#include <QProxyStyle>

class QLineEdit;

namespace trd {

class MolduraGuardada : public QProxyStyle {
public:
    // Set as the line's style, and owned by it.
    static void Aplica(QLineEdit* linha);

    void drawPrimitive(PrimitiveElement element, const QStyleOption* option, QPainter* painter,
                       const QWidget* widget = nullptr) const override;

private:
    explicit MolduraGuardada(QLineEdit* linha);

    struct Chave {
        QSize tamanho;
        int estado = 0;
        qint64 paleta = 0;
        int linha = 0, meio = 0, recursos = 0, direcao = 0;
        QRgb fundo = 0;
        qreal escala = 0;
        bool operator==(const Chave&) const = default;
    };
    const QLineEdit* m_linha;
    mutable Chave m_chave;
    mutable QPixmap m_moldura;
};

} // namespace trd
