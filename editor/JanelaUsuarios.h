#pragma once
// The users window of an administrator (docs/users.md): the users with their
// roles, a role granted or taken away per language, and the review settings
// of each language. A thin form over UsuariosModelo, which does the work.
#include "Papeis.h"

#include <QDialog>

class QCheckBox;
class QComboBox;
class QPushButton;
class QTableView;

namespace trd {

class TSocketConnection;
class UsuariosModelo;

class JanelaUsuarios : public QDialog {
    Q_OBJECT
public:
    JanelaUsuarios(TSocketConnection& conexao, QWidget* parent = nullptr);

    UsuariosModelo* modelo;
    QTableView* tbvPapeis;
    QComboBox *cbbUsuario, *cbbIdioma, *cbbPapel;
    QPushButton *btnConceder, *btnRetirar;
    QComboBox* cbbIdiomaRegras;
    QCheckBox *chkObrigatoria, *chkPropria;
    QPushButton *btnGravarRegras, *btnFechar;

    // Reads everything from the server again; raises what the calls raise.
    void carrega();

private:
    void mostraRegras();
    void escolheuLinha();
    QString idiomaEscolhido(const QComboBox* combo) const;
};

// Opens the window, modal over `dono`, on the editor's connection. A refusal
// of the server is shown as any error and the window stays.
void AbreJanelaUsuarios(QWidget* dono, TSocketConnection& conexao);

} // namespace trd
