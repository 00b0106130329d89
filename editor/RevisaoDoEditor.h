#pragma once
// The review mark in the open editor (docs/users.md): a lamp in the grid's
// status cell of each reviewed row, and the keys of a revisor. "Marcar como
// Revisado" (Ctrl+R) marks the current row and goes on to the next one, so
// reviewing rows in a row costs one key each and asks nothing; "Desmarcar
// Revisão" (Ctrl+Shift+R) takes the mark away and stays. The mark sent is of
// the text and status the revisor sees (the server refuses it over a text
// changed since). A save that changes a row's text or status clears its mark
// in the grid as the server clears it; colleagues' marks arrive with the live
// changes (AlteracoesDeColegas). Where the language does not let a revisor
// mark their own last change, "Marcar como Revisado" goes off on such a row
// with the reason, once the row's last change is known (the history's line
// under the detail panel asks it; the user's own save tells it at once, and a
// row met before is known again while its values stand); a row whose author
// is not known yet is left to the server's check. It
// reaches the editor through ServicosDoEditor alone.
#include "LinhaDoServidor.h"

#include <QHash>
#include <QObject>
#include <QString>

class QAction;
class QRect;

namespace trd {

class PapeisDoEditor;
class ServicosDoEditor;
class TCanvas;

class RevisaoDoEditor : public QObject {
    Q_OBJECT
public:
    explicit RevisaoDoEditor(ServicosDoEditor& editor);

    // Follows what the user may do: the items go on and off with the rights
    // and the rows, and a refused mark asks the roles again.
    void segue(PapeisDoEditor& direitos);
    // The rows, the current row or the rights changed.
    void habilita();
    // The row is being posted: a change of its text or status takes its mark away.
    void antesDeGravar();
    // In the status cell of the row being painted: the lamp of a reviewed row.
    void pintaMarca(TCanvas& canvas, const QRect& celula) const;

    // Marks (and moves on to the next row) or unmarks the current row.
    void marca(bool marcada);
    // Who wrote the row's last change of text or status (empty: none kept).
    void ultimaAlteracao(const ChaveLinha& chave, const QString& autor);

    QAction* itemMarcar() const { return m_marcar; }
    QAction* itemDesmarcar() const { return m_desmarcar; }

private:
    ServicosDoEditor& m_editor;
    PapeisDoEditor* m_direitos = nullptr;
    QAction* m_marcar;
    QAction* m_desmarcar;
    // The row's status and text, as the author's values are compared.
    QString valoresDaLinha() const;

    // Who changed each row last, as learnt (the user's saves, the history's
    // answers), with the row's values then: a row reached again is known at
    // once, while its values are still those.
    struct Autoria {
        QString autor;
        QString valores;
    };
    static QString chaveDe(const ChaveLinha& chave);
    QHash<QString, Autoria> m_autores;
};

} // namespace trd
