#pragma once
// The machine suggestion under the memory's suggestions: a line that says
// what it is doing (asking, no engine, the engine unreachable, the answer
// refused) and the engine's translation of the current row with its engine
// and route, number 6 for Ctrl+6 after the memory's five. It only shows and
// offers: the companion puts the translation into the cell (usar).
#include "AutomaticaRegras.h"
#include "PainelComEstado.h"

#include <optional>

namespace trd {

class PainelAutomatica : public PainelComEstado {
    Q_OBJECT
public:
    explicit PainelAutomatica(QWidget* parent = nullptr);

    void mostra(const automatica::Sugestao& sugestao);
    // The suggestion shown and offered, when there is one to offer.
    const std::optional<automatica::Sugestao>& sugestao() const { return m_sugestao; }

    static constexpr int Numero = 6;
    QLabel* lblSugestao;

signals:
    void usar();

protected:
    void retiraOferta() override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;

private:
    std::optional<automatica::Sugestao> m_sugestao;
};

} // namespace trd
