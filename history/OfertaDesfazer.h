#pragma once
// The find/replace dialog's offer, once a replace-all run has saved rows:
// a line at the dialog's foot, "Substituição em 12 linhas." and a button
// "Desfazer" that undoes the run's batch (rows changed since by someone else
// are left alone and named), reloads the editor's rows and says what it did.
// The dialog grows by the line while it is shown; the next run, or the undo,
// takes it away.
#include <QFrame>

class QLabel;

namespace trd {

class TButtonFlat;

namespace historico {

class OfertaDesfazer : public QFrame {
    Q_OBJECT
public:
    explicit OfertaDesfazer(QWidget* parent = nullptr);

    QLabel* lblOferta;
    TButtonFlat* sbtDesfazer;

    void Oferece(qint64 lote, int linhas, bool completa);
    void Retira();
    qint64 Lote() const { return m_lote; }

    void sbtDesfazerClick(QObject* sender);

private:
    void mostra(bool visivel);

    qint64 m_lote = 0;
};

} // namespace historico
} // namespace trd
