#pragma once
// The current row's findings, under the detail panel: one line each, its
// severity first ("erro" in red, "aviso" in dark yellow), then what differs.
// A fixed height, so the grid above does not jump while the user types.
#include "Checks.h"

#include <QFrame>

class QLabel;

namespace trd {

class PainelVerificacoes : public QFrame {
    Q_OBJECT
public:
    explicit PainelVerificacoes(QWidget* parent = nullptr);

    void mostra(const quality::Findings& achados);
    void limpa();

    // The findings as the panel shows them, one line each ("erro: ...").
    QStringList linhas() const { return m_linhas; }

private:
    QLabel* lblVerificacoes;
    QStringList m_linhas;
};

} // namespace trd
