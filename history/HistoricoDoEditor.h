#pragma once
// What the history adds to the translation editor, beside the screen the
// editor's own description lays out: a line under the detail panel with who
// changed the current row last and when (asked in the background), and two
// menu items, "Histórico da Linha" (Ctrl+H: the row's versions, one of which
// can be put back through the editor's own post and save) and "Lotes de
// Alterações" (Ctrl+Shift+H: the language's batches, undone whole). The
// editor calls its hooks; everything else lives here, and it reaches the
// editor through ServicosDoEditor alone (docs/editor.md).
#include "HistoricoDados.h"
#include "LinhaDoServidor.h"

#include <QObject>
#include <QPointer>

class QAction;
class QFrame;
class QLabel;

namespace trd {

class ServicosDoEditor;

namespace historico {

class BuscaUltimaAlteracao;

class HistoricoDoEditor : public QObject {
    Q_OBJECT
public:
    // Builds the line under the detail panel and the menu items.
    explicit HistoricoDoEditor(ServicosDoEditor& editor);

    QFrame* panAlteracao;
    QLabel* lblAlteracao;
    QAction* N4;
    QAction* mnuHistorico;
    QAction* mnuLotes;

    // ---- hooks of the editor
    // The current row (or its values) changed: show who changed it last.
    void LinhaAtual();
    // A save went through: the current row's last change is the user's now.
    void Gravou();
    // After every state change of the row set, its close, and a language
    // chosen: the row's history needs a row and no edit under way, the
    // batches a language.
    void Habilita();

    // ---- the menu items' handlers
    void mnuHistoricoClick(QObject* sender);
    void mnuLotesClick(QObject* sender);

    // Puts the current row back as the version left it: an edit and a post
    // of the row set, so promotion and the save's optimistic check apply.
    void Restaura(const Versao& versao);

    // The current row's identity; empty when there is none.
    ChaveLinha ChaveAtual() const;

signals:
    // Who wrote the row's last change of text or status, once known (the
    // user, at once, after their own save); empty: none kept, or not told.
    void autorDaUltimaAlteracao(const trd::ChaveLinha& chave, const QString& autor);

private:
    ServicosDoEditor& m_editor;
    BuscaUltimaAlteracao* m_busca;
};

// Undoes a batch of the editor's language through the editor's connection,
// reloads its rows keeping the current one, and tells the user the outcome;
// returns it. Refusals raise EServerError with the server's message.
Desfazimento DesfazNoEditor(qint64 lote, bool forcar);

// Reloads the editor's rows as its reload button does (the filter in force
// included) and makes the row that was current current again.
void RecarregaLinhas(ServicosDoEditor& editor);

} // namespace historico
} // namespace trd
