#pragma once
// The pictures of the shared tool-bar buttons, drawn in code: each a 32 by 16
// bitmap with the normal glyph on the left and its disabled (grey) form on the
// right, as TButtonFlat expects.
#include <QImage>

#include <functional>

class QPainter;

namespace trd::glyphs {

enum Kind {
    Incluir,
    Alterar,
    Excluir,
    Procurar,
    Verificar,
    Cancelar,
    Confirmar,
    Imprimir,
    Ajuda,
    Fechar,
    Confirma,
    Cancela,
};

// The framework's two-glyph bitmap: the 16x16 picture and its disabled look side by side.
QImage GlyphPair(const QImage& normal);
// The two-glyph bitmap of a 16x16 picture that `draw` paints, antialiased, on transparency.
QImage DrawnPair(const std::function<void(QPainter&)>& draw);
QImage TwoGlyphs(Kind kind);
// The disabled form of a 16 by 16 picture: grey, lighter, embossed.
QImage Disabled(const QImage& normal);

} // namespace trd::glyphs
