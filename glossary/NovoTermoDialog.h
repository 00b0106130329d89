#pragma once
// "Adicionar Termo ao Glossário": the term from the words selected in the
// row's source, its translation from the words selected in the cell, the
// rest typed. The same form changes an existing term ("Alterar Termo do
// Glossário", from the terms window). A thin form: the call is the caller's.
#include "GlossaryTerm.h"

#include <QDialog>

class QCheckBox;
class QLineEdit;
class QPlainTextEdit;

namespace trd {

class NovoTermoDialog : public QDialog {
    Q_OBJECT
public:
    // `programa`: the row's program, offered as the term's scope.
    NovoTermoDialog(const QString& termo, const QString& traducao, const QString& programa, QWidget* parent);
    // Changes `existente`: every value filled in; its program, when it has
    // one, kept while "Só na tela" stays on.
    NovoTermoDialog(const quality::GlossaryTerm& existente, QWidget* parent);

    // The term as typed: lists one a line; the scope when "Só nesta tela" is on.
    quality::GlossaryTerm termo() const;

    QLineEdit* edtTermo;
    QPlainTextEdit* memPreferidas;
    QPlainTextEdit* memProibidas;
    QCheckBox* chkNaoTraduzir;
    QLineEdit* edtNota;
    QCheckBox* chkSoNestaTela;

private:
    void monta(const QString& termo, const QString& traducao, const QString& botao);

    QString m_programa;
};

} // namespace trd
