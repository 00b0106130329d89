#pragma once
// The pictures of the shared tool-bar buttons, drawn in code: each a 32 by 16
// bitmap with the normal glyph on the left and its disabled (grey) form on the
// right, as TButtonFlat expects.
#include <QImage>

namespace trd::glyphs {

enum Kind {
    Incluir, Alterar, Excluir, Procurar, Verificar, Cancelar, Confirmar,
    Imprimir, Ajuda, Fechar, Confirma, Cancela,
};

// The framework's two-glyph bitmap: the 16x16 picture and its disabled look side by side.
QImage GlyphPair(const QImage& normal);
QImage TwoGlyphs(Kind kind);
// The disabled form of a 16 by 16 picture: grey, lighter, embossed.
QImage Disabled(const QImage& normal);

} // namespace trd::glyphs
