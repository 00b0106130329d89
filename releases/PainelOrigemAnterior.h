#pragma once
// Under the detail panel: the source a reworded or moved row had before the
// release that carried its translation, beside its current source, the words
// that changed marked on both. The translator sees what the carried
// translation was written for. It only shows; the companion decides when.
#include "LiberacaoDados.h"

#include <QFrame>

class QLabel;

namespace trd::liberacao {

class PainelOrigemAnterior : public QFrame {
    Q_OBJECT
public:
    explicit PainelOrigemAnterior(QWidget* parent = nullptr);

    void Mostra(const Origem& origem);
    // A row of a language that has reworded rows, itself not one of them: the
    // panel stays, so the grid above keeps its height while the user moves.
    void SemOrigem();
    void Esconde();
    bool Mostrando() const { return !isHidden(); }

    QLabel* lblTitulo;
    QLabel* lblAnterior; // the previous source, the words that left marked
    QLabel* lblAtual; // the current source, the words that came in marked
};

// The panel's title for a row: how it came and from which release.
QString TituloDaOrigem(const Origem& origem);

} // namespace trd::liberacao
