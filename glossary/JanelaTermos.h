#pragma once
// "Termos do Glossário": the language's terms with a filter applied as it is
// typed, a term changed through the term dialog or deleted after a
// confirmation. A thin form over glossario::ListaDeTermos, which does the work.
// Keys: the filter takes the focus; Down goes to the list; Enter on a term
// changes it, Delete deletes it; Escape closes.
#include "ListaDeTermos.h"

#include <QDialog>

class QLabel;
class QLineEdit;
class QPushButton;
class QTableView;

namespace trd {

class ModeloTermos;

class JanelaTermos : public QDialog {
    Q_OBJECT
public:
    // Reads the terms at once (a refusal raises before the window shows).
    JanelaTermos(TSocketConnection& conexao, const QString& idioma, QWidget* parent);
    ~JanelaTermos() override;

    glossario::ListaDeTermos& lista() { return m_lista; }
    // Whether a term was changed or deleted while the window was open.
    bool mudou() const { return m_mudou; }
    // The visible term chosen in the list, or -1.
    int escolhido() const;

    void alteraEscolhido();
    void excluiEscolhido();

    QLineEdit* edtFiltro;
    QTableView* grdTermos;
    QLabel* lblQuantos;
    QPushButton* btnAlterar;
    QPushButton* btnExcluir;

protected:
    bool eventFilter(QObject* objeto, QEvent* evento) override;

private:
    void mostra(int escolher);
    // Runs a change on the server; its refusal is shown with the list as it is now.
    void muda(const std::function<void()>& mudanca, int escolher);

    glossario::ListaDeTermos m_lista;
    ModeloTermos* m_modelo;
    bool m_mudou = false;
};

} // namespace trd
