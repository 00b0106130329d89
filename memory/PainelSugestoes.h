#pragma once
// The suggestions panel beside the detail panel: the translation memory's
// suggestions for the current row, numbered 1 to 5 for Ctrl+1 to Ctrl+5, each
// with its similarity, status lamp, translation and where it comes from; and
// above them a line that says what the panel is doing (asking, the server is
// slow, cannot be reached, nothing found). It only shows and offers: the
// editor puts a chosen translation into the cell (usar).
#include "MemoriaRegras.h"
#include "PainelComEstado.h"

#include <QList>

class QTreeWidget;

namespace trd {

class PainelSugestoes : public PainelComEstado {
    Q_OBJECT
public:
    explicit PainelSugestoes(QWidget* parent = nullptr);

    // The suggestions; an empty list says there are none.
    void mostra(const QList<memoria::Sugestao>& sugestoes);

    int quantas() const { return m_sugestoes.size(); }
    const memoria::Sugestao& sugestao(int i) const { return m_sugestoes.at(i); }

    // How many suggestions get a number and a shortcut.
    static constexpr int Numeradas = 5;

    QTreeWidget* lstSugestoes;

signals:
    // The suggestion at index i was chosen (double-click).
    void usar(int i);

protected:
    void retiraOferta() override;

private:
    QList<memoria::Sugestao> m_sugestoes;
};

} // namespace trd
