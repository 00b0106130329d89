#pragma once
// A panel beside the detail panel that offers something for the current row
// (the memory's suggestions, the machine's): a line on top that says what the
// panel is doing (asking, the server is slow, cannot be reached, nothing
// found), then what it offers, in one column. The line never widens the
// panel, and with it the editor: a long text stays inside the panel, whole in
// the line's tooltip. It only shows and offers: taking an offer is the
// caller's business (each panel's usar).
#include <QFrame>
#include <QString>

class QLabel;
class QVBoxLayout;

namespace trd {

class PainelComEstado : public QFrame {
    Q_OBJECT
public:
    // Only the line: nothing is offered any more.
    void mostraEstado(const QString& texto);
    // Only the line changes: what is offered stays (a slow server while the
    // row is the same).
    void mostraAviso(const QString& texto);
    // What the line says.
    QString estado() const;

    QLabel* lblEstado;

protected:
    // The panel named `nome`, its line `nomeDoEstado`; what it offers goes
    // under the line, in coluna().
    PainelComEstado(const char* nome, const char* nomeDoEstado, QWidget* parent);

    // What the panel offers goes away.
    virtual void retiraOferta() = 0;
    QVBoxLayout* coluna() const { return m_coluna; }

private:
    QVBoxLayout* m_coluna;
};

} // namespace trd
