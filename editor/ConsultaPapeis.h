#pragma once
// The user's roles asked of the server again and again in the background, so
// that a role granted or taken away by an administrator reaches the open
// editor within moments (docs/users.md): a connection of its own on a thread
// of its own, the editor's session; a failure or a server that cannot tell
// changes nothing.
#include "ConexaoDeFundo.h"
#include "Papeis.h"

#include <QObject>
#include <QThread>
#include <QTimer>

#include <functional>

namespace trd {

// Where the server is and the session to ask with, as the editor's connection has them.
using EnderecoDosPapeis = historico::Servidor;

class ConsultaPapeis : public QObject {
    Q_OBJECT
public:
    explicit ConsultaPapeis(QObject* parent = nullptr);
    ~ConsultaPapeis() override;

    std::function<EnderecoDosPapeis()> Endereco;
    // What the server told, on the UI thread (each answer, changed or not).
    std::function<void(const papeis::PapeisDoUsuario&)> Recebe;

    // Asks every `intervaloMs` from now on; 0 stops.
    void Segue(int intervaloMs);

private:
    class Trabalhador;
    void pergunta();

    QThread m_thread;
    Trabalhador* m_trabalhador = nullptr;
    QTimer m_relogio;
    bool m_emCurso = false;
};

} // namespace trd
