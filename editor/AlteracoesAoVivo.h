#pragma once
// Colleagues' saves in the open editor (docs/live.md): the editor follows the
// chosen language's change feed and shows each save in its row as it
// happens, without moving the current row, the selection or the scroll, and
// without touching a cell being typed in (the colleague's text waits beside
// it, in the detail panel, with "Usar este texto"). A row changed by a
// colleague is tinted for a few seconds, and the history's line under the
// detail panel, asked again, names who changed the current row and when;
// Ctrl+J goes to the next such row. An indicator in the
// navigator panel says whether live changes are connected; losing them
// never stops editing or saving. When the server says changes were missed,
// the loaded rows are read again in place.
//
// The editor calls it at a few points of its own handlers, as it does the
// checks; it reaches the editor through ServicosDoEditor alone.
#include "AlteracoesDeColegas.h"
#include "ChangeFeedClient.h"

#include <QObject>
#include <QTimer>

class QAction;
class QLabel;
class QRect;

namespace trd {

class ServicosDoEditor;
class TCanvas;

class AlteracoesAoVivo : public QObject {
    Q_OBJECT
public:
    explicit AlteracoesAoVivo(ServicosDoEditor& editor);
    ~AlteracoesAoVivo() override;

    // How long a row changed by a colleague stays tinted.
    static constexpr int JanelaMarcaMs = 6000;

    // A language was chosen: its changes are followed from now on, so that
    // rows loaded afterwards miss none.
    void segue(const QString& idioma);
    // The editor closes: nothing more is followed.
    void para();
    // Rows of the language were just read from the server.
    void linhasLidas();
    // Rows were loaded or closed.
    void linhasMudaram();
    // The row set's state changed or a save ended: what waited is tried again.
    void estadoMudou();
    // The background of the row being painted: tinted while recently changed by a colleague.
    bool recente(int linha) const;

    // Moves to the next row (after the current one, from the top again) that
    // a colleague changed while the rows were open; false when there is none.
    bool irParaProxima();

    ChangeFeedClient& feed() { return m_feed; }
    AlteracoesDeColegas& alteracoes() { return m_alteracoes; }
    QLabel* indicador() const { return m_indicador; }

private:
    void recebe(const FeedBatch& lote);
    void mostra(const AlteracoesDeColegas::Resultado& r);
    void recarrega();
    void mostraEstado();
    bool podeMexer() const;

    ServicosDoEditor& m_editor;
    ChangeFeedClient m_feed;
    AlteracoesDeColegas m_alteracoes;
    QLabel* m_indicador;
    QTimer m_fimDaMarca; // repaints the rows whose tint ends
    bool m_recarregar = false; // the server said changes were missed: read the rows again when possible
    bool m_tentativaMarcada = false;
};

} // namespace trd
