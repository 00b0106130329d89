#pragma once
// The question after a row is posted with a new translation while other rows
// of the language share its source: how many of them are not translated,
// already agree, or differ, and what to do: apply the translation to the
// untranslated ones, pick the rows from a list, or dismiss. It sits under
// the grid and never takes the keyboard: its buttons take no focus and answer
// to Alt+N, Alt+E and Alt+P, so the user goes on typing where they were.
// Once rows are saved it says how many, with "Desfazer" (Alt+F) to undo them
// (Alt+D is the host window's "Módulos" menu).
// It only asks: the editor does what was chosen (signals).
#include <QFrame>

class QLabel;
class QPushButton;

namespace trd {

class AvisoPropagacao : public QFrame {
    Q_OBJECT
public:
    explicit AvisoPropagacao(QWidget* parent = nullptr);

    // Shows the question; `naoTraduzidas` enables the first button.
    void pergunta(const QString& texto, int naoTraduzidas);
    // Shows a note with no choice but to close it, and to undo what it says
    // was saved when `podeDesfazer`.
    void informa(const QString& texto, bool podeDesfazer = false);
    void esconde();
    bool mostrando() const { return !isHidden(); }

    QLabel* lblAviso;
    QPushButton* btnAplicar; // "Aplicar às não traduzidas"
    QPushButton* btnEscolher; // "Escolher linhas..."
    QPushButton* btnDispensar; // "Dispensar" (or "Fechar" under a note)
    QPushButton* btnDesfazer; // "Desfazer", under a note of rows saved

signals:
    void aplicarNaoTraduzidas();
    void escolher();
    void dispensar();
    void desfazer();
};

} // namespace trd
