#pragma once
// Machine translation in the translation editor (docs/machine-translation.md):
// - the engine's suggestion for the current row under the memory's, asked
//   in the background on a connection of its own (an answer for a row the
//   user has left dropped); Ctrl+6 or a double-click put it into the cell's
//   editor, and nothing is saved until the row is posted;
// - a row posted with the engine's text is doubtful (D) unless the user
//   marked it translated, and its save is a batch of kind "automatica" that
//   names the engine and route, so the history tells where the text came from;
// - the pre-translation of the filter's rows not translated and without text.
// Without an engine on the server, or with the engine unreachable, the panel
// says so in one line and nothing else changes. The editor calls it at a few
// points of its own handlers; it reaches the editor through ServicosDoEditor alone.
#include "AutomaticaRegras.h"
#include "LinhaDoServidor.h"

#include <QObject>
#include <QTimer>

#include <functional>
#include <optional>

class QAction;

namespace trd {

class ConsultaMemoria;
class PainelAutomatica;
class ServicosDoEditor;

class AutomaticaDoEditor : public QObject {
    Q_OBJECT
public:
    explicit AutomaticaDoEditor(ServicosDoEditor& editor);
    ~AutomaticaDoEditor() override;

    PainelAutomatica* painel() const { return m_painel; }

    // How long a question waits before the panel says the engine is slow; the
    // answer, when it comes, takes the line's place.
    static constexpr int LentaMs = 1000;
    static const QString TextoLenta;

    // The current row, or its values, changed (the editor's data change).
    void linhaAtualMudou();
    // Puts the suggestion shown into the cell's editor.
    void usaSugestao();
    // Before a post, once its status is promoted as usual: `marcada` is the
    // status the row held before that promotion.
    void antesDeGravar(const QString& marcada);
    // Makes the post's save: in a batch of kind "automatica" when the row's
    // text is the engine's, else as it is.
    void grava(const std::function<void()>& gravacao);
    // Opens the pre-translation of the filter's rows.
    void preTraduz();

    QAction* mnuPreTraduzir;

private:
    void pergunta();
    void chegou(int numero, const QByteArray& pacote);
    void falhou(int numero, const QString& mensagem, bool alcancado);

    ServicosDoEditor& m_editor;
    PainelAutomatica* m_painel;
    ConsultaMemoria* m_consulta; // a thread and a connection of its own
    QTimer m_espera; // a short pause after a move: only the row the user stops on is asked about
    QTimer m_lenta; // the question asked has waited long: the panel says so
    QTimer m_repete; // the server could not be reached: the row is asked about again while it stays current
    std::optional<ChaveLinha> m_perguntada;
    int m_pedido = 0;
    bool m_aguardando = false;
    // The engine's text put into a row's cell, until that row is posted or left.
    std::optional<std::pair<ChaveLinha, automatica::Sugestao>> m_usada;
    // The post being made holds the engine's text: its origin for the history.
    std::optional<QString> m_origemDaGravacao;
};

} // namespace trd
