#pragma once
// The checks and the spelling in the translation editor (docs/checks.md):
// the current row's findings in a panel under the detail panel, kept up to
// date as the user types; a mark in the destination cell of each row with
// findings, beside the status colours and lamps; the question before posting
// a row with an "erro"; the spelling of the cell being typed in, with the
// chosen language's dictionary, opened off the interface thread.
//
// The editor calls it at a few points of its own handlers; everything else
// it finds by itself through ServicosDoEditor (the cell's editor when it opens).
#include "SpellChecker.h"
#include "PainelVerificacoes.h"
#include "VerificacaoLinhas.h"

#include "TrabalhosDeFundo.h"

#include <QObject>
#include <QPointer>

#include <memory>
#include <optional>

class QLineEdit;
class QRect;
class QThread;

namespace trd {

class ServicosDoEditor;
class TCanvas;
class TClientDataSet;

class VerificacoesDoEditor : public QObject {
    Q_OBJECT
public:
    // Puts its panel under the editor's detail panel.
    explicit VerificacoesDoEditor(ServicosDoEditor& editor);
    ~VerificacoesDoEditor() override;

    PainelVerificacoes* painel() const { return m_painel.data(); }
    VerificacaoLinhas& verificacao() { return m_verificacao; }

    // A language was chosen: its dictionary is opened in the background.
    void idiomaEscolhido(const QString& codigo);
    // The current row changed, or its values did: the panel follows.
    void linhaAtualMudou();
    // Before a post: an edit that brings an "erro" its saved text did not
    // have asks the user, once for that text; No abandons the post (silently:
    // the row stays as typed). In a replace-all run the first answer holds for
    // the whole run.
    void confirmaGravacao();
    // After a post the server took.
    void linhaGravada();
    // Rows loaded, closed or deleted.
    void linhasMudaram();
    // Another row's texts changed (a colleague's save).
    void linhaAlterada(int linha);
    // Paints the mark of the row being painted in its destination cell.
    void pintaMarca(TCanvas& canvas, const QRect& celula);

    // The dictionary of the language chosen; null while it opens, or when
    // the language has none.
    std::shared_ptr<quality::SpellChecker> ortografia() const { return m_ortografia; }

signals:
    // The dictionary of the language chosen is ready, or the language has none.
    void ortografiaPronta();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void editorAberto(QLineEdit* editor);
    void mostraAchados(const std::optional<QString>& digitado);

    ServicosDoEditor& m_servicos;
    TClientDataSet* m_linhas;
    QPointer<QWidget> m_area; // where the cell's editor opens
    QPointer<PainelVerificacoes> m_painel; // the form's child: it may go first
    VerificacaoLinhas m_verificacao;
    QPointer<QLineEdit> m_editor;
    std::optional<bool> m_respostaDaExecucao; // the answer given in this replace-all run
    // The post under way changes the row's destination: other rows' marks may
    // change with it (a shortcut letter), so every row is repainted after it.
    bool m_destinoMudou = true;

    std::shared_ptr<quality::SpellChecker> m_ortografia;
    QString m_dicionario; // of the language chosen
    int m_abertura = 0; // counts the openings asked for: only the last one's result counts
    TrabalhosDeFundo m_abrindo{this}; // last: waited for before the rest goes
};

} // namespace trd
