#pragma once
// The glossary in the translation editor (docs/glossary.md, docs/editor.md):
// the terms panel beside the detail panel for the current row's source, the
// key that puts a term's translation at the cursor of the cell, the dialog
// that adds a term from the row's selected words, and the glossary's checks
// handed to the editor's checks while the user types.
//
// Choosing a language reads its terms and opens the dictionaries on a thread
// of its own (the Portuguese one takes about two seconds): the editor types
// on meanwhile, with no glossary until it is ready. It reaches the editor
// through ServicosDoEditor alone.
#include "GlossaryCheck.h"
#include "ConexaoDeFundo.h"
#include "PainelTermos.h"

#include "TrabalhosDeFundo.h"

#include <QObject>
#include <QPointer>

#include <functional>
#include <memory>

class QAction;
class QThread;

namespace trd {

class ServicosDoEditor;

class GlossarioDoEditor : public QObject {
    Q_OBJECT
public:
    explicit GlossarioDoEditor(ServicosDoEditor& editor);
    ~GlossarioDoEditor() override;

    // The glossary's checks for the editor's checks, each time they change
    // (null: no glossary for the language).
    std::function<void(quality::TermCheck*)> Pronto;

    void idiomaEscolhido(const QString& codigo);
    void linhaAtualMudou();

    PainelTermos* painel() const { return m_painel.data(); }
    // The terms found in the current row's source, as the panel shows them.
    QList<quality::GlossaryTerm> termosDaLinha();
    // The key's work: the chosen term's translation at the cell's cursor.
    void insereTraducao();
    // The dialog's work: the term added on the server and to the glossary.
    void adicionaTermo();
    // The terms window; what it changed reaches the panel and the checks.
    void abreTermos();

signals:
    // The language's glossary is ready (or it has none).
    void glossarioPronto();

private:
    struct Carga;
    void recebe(int carga, const std::shared_ptr<Carga>& c);
    void refaz(QList<quality::GlossaryTerm> termos);
    historico::Servidor servidor() const;

    ServicosDoEditor& m_editor;
    QPointer<PainelTermos> m_painel;
    QAction* m_inserir = nullptr;
    QAction* m_adicionar = nullptr;
    QAction* m_termos = nullptr;
    std::shared_ptr<quality::WordForms> m_origem; // Portuguese, opened once
    std::shared_ptr<quality::WordForms> m_destino;
    std::unique_ptr<quality::GlossaryCheck> m_check;
    QString m_idioma;
    QString m_estado;
    int m_carga = 0;
    TrabalhosDeFundo m_abrindo{this}; // last: waited for before the rest goes
};

} // namespace trd
