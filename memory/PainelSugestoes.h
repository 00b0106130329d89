#pragma once
// The suggestions panel beside the detail panel: the translation memory's
// suggestions for the current row, numbered 1 to 5 for Ctrl+1 to Ctrl+5, each
// with its similarity, status lamp, translation and where it comes from; and
// above them a line that says what the panel is doing (asking, the server is
// slow, cannot be reached, nothing found). It only shows and offers: the
// editor puts a chosen translation into the cell (usar).
#include "MemoriaRegras.h"

#include <QFrame>
#include <QList>

class QLabel;
class QTreeWidget;
class QTreeWidgetItem;

namespace trd {

class PainelSugestoes : public QFrame {
    Q_OBJECT
public:
    explicit PainelSugestoes(QWidget* parent = nullptr);

    // What the line above the list says, and the list emptied.
    void mostraEstado(const QString& texto);
    // The suggestions; an empty list says there are none.
    void mostra(const QList<memoria::Sugestao>& sugestoes);
    // Only the line changes: the suggestions shown stay (a slow server while
    // the row is the same).
    void mostraAviso(const QString& texto);

    int quantas() const { return m_sugestoes.size(); }
    const memoria::Sugestao& sugestao(int i) const { return m_sugestoes.at(i); }
    QString estado() const;

    // How many suggestions get a number and a shortcut.
    static constexpr int Numeradas = 5;

    QLabel* lblEstado;
    QTreeWidget* lstSugestoes;

signals:
    // The suggestion at index i was chosen (double-click).
    void usar(int i);

private:
    QList<memoria::Sugestao> m_sugestoes;
};

} // namespace trd
