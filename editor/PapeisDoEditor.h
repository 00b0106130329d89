#pragma once
// What the user may do in the open editor (docs/users.md): their roles,
// asked of the server when a language is chosen (before its rows load) and
// followed in the background from then on, so that a role granted or taken
// away shows within moments without a new log-in. The controls the user may
// not use are off, with a hint that says why, so no click or key fails: the
// grid reads only for a leitor, the status buttons are off on a reviewed row
// where the language requires review, the import and the users window go
// with their rights. The role shows in the navigator bar, with the current
// row's review mark. The editor calls it at a few points of its handlers and
// it reaches the editor through ServicosDoEditor alone.
#include "Papeis.h"

#include <QObject>
#include <QTimer>

class QAction;
class QLabel;

namespace trd {

class ConsultaPapeis;
class ServicosDoEditor;

class PapeisDoEditor : public QObject {
    Q_OBJECT
public:
    explicit PapeisDoEditor(ServicosDoEditor& editor);
    ~PapeisDoEditor() override;

    // How often the roles are asked again in the background.
    static constexpr int IntervaloMs = 1000;

    const papeis::PapeisDoUsuario& atuais() const { return m_papeis; }
    // The server told (false: it cannot, an older server; everything is allowed as before).
    bool informado() const { return m_informado; }

    // A language was chosen: the roles are asked at once, then followed.
    void idiomaEscolhido(const QString& idioma);
    // The current row or the state of the rows changed: its restrictions follow.
    void linhaAtualMudou();
    // Roles as the server told them (the background question).
    void recebe(const papeis::PapeisDoUsuario& p);
    // Asks now, on the editor's connection; false when the server could not tell.
    bool perguntaAgora();

    QLabel* rotulo() const { return m_rotulo; }
    QAction* itemUsuarios() const { return m_usuarios; }

signals:
    // The restrictions were worked out again (roles, the current row or the state of the rows changed).
    void mudaram();

private:
    void aplica();
    void abreUsuarios();

    ServicosDoEditor& m_editor;
    papeis::PapeisDoUsuario m_papeis;
    bool m_informado = false;
    papeis::Restricoes m_aplicadas;
    QLabel* m_rotulo;
    // The line's text once the handler that changed it is over: reviewing by
    // key marks a row and moves on in one key, the line saying "Revisada" for
    // no time at all and back to the same text, which then lays the window
    // out for nothing.
    QString m_textoDoRotulo;
    QTimer m_poeRotulo;
    QAction* m_usuarios;
    QAction* m_importar = nullptr; // the exchange's import, once found
    ConsultaPapeis* m_consulta;
};

} // namespace trd
