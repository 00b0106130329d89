#pragma once
// The terms panel beside the detail panel: the glossary's terms found in the
// current row's source (term, preferred translation, note), and the source
// itself in a line whose words can be selected to add a term. It only shows;
// the glossary's companion decides what goes in (GlossarioDoEditor.h).
#include "GlossaryTerm.h"

#include <QFrame>
#include <QList>

class QLabel;
class QLineEdit;
class QTableWidget;

namespace trd {

class PainelTermos : public QFrame {
    Q_OBJECT
public:
    explicit PainelTermos(QWidget* parent = nullptr);

    // The row's source and the terms found in it; `estado` is the line above
    // them ("Glossário: 2 termos nesta linha", "Glossário sendo aberto...").
    void mostra(const QString& origem, const QList<quality::GlossaryTerm>& termos, const QString& estado);

    // The term chosen in the list (the first when none is), or null.
    const quality::GlossaryTerm* escolhido() const;
    int quantos() const { return m_termos.size(); }

    QLabel* lblGlossario;
    QLineEdit* edtOrigem;
    QTableWidget* grdTermos;

private:
    QList<quality::GlossaryTerm> m_termos;
};

// What a term's translation column shows: its preferred translations, or
// that it stays as written.
QString TraducaoMostrada(const quality::GlossaryTerm& termo);
// What the insert key puts at the cursor: the first preferred translation,
// or the term itself when it is not translated; empty when it has neither.
QString TraducaoInserida(const quality::GlossaryTerm& termo);

} // namespace trd
