#pragma once
// Beside the cell, in the detail panel: a text of the current row that
// someone else saved, next to the text the user is typing, with a way to take
// it. The editor shows it when a save is refused because the row changed
// meanwhile; anything that learns of a colleague's save of the row being
// worked on can show it the same way. It only shows and offers: what taking
// the text does is the caller's business (usar).
#include <QFrame>
#include <QString>

class QLabel;
class QPushButton;

namespace trd {

class TextoDoColega : public QFrame {
    Q_OBJECT
public:
    explicit TextoDoColega(QWidget* parent = nullptr);

    // Shows `texto` under `titulo` ("Gravado por outro usuário: ..."); a text
    // shown before is replaced.
    void Mostra(const QString& titulo, const QString& texto);
    void Esconde();
    bool Mostrando() const { return !isHidden(); }
    QString Texto() const { return m_texto; }

    QLabel* lblTitulo;
    QLabel* lblTexto; // selectable, so that a part of it can be copied
    QPushButton* btnUsar; // "Usar este texto" (Alt+U); takes no focus, so the cell keeps it

signals:
    void usar(const QString& texto);

private:
    QString m_texto;
};

} // namespace trd
