#pragma once
// Who changed the editor's current row last, and when, asked of the server in
// the background: the grid never waits for it. A request leaves once the
// current row has stayed put for a moment; while one is on its way only the
// newest row asked for is kept, and an answer for a row no longer current is
// dropped. A connection of its own on a thread of its own, so the editor's
// synchronous connection is never shared; a failure shows nothing.
#include "ConexaoDeFundo.h"
#include "HistoricoDados.h"

#include <QObject>
#include <QThread>
#include <QTimer>

#include <functional>
#include <memory>

namespace trd::historico {

class BuscaUltimaAlteracao : public QObject {
    Q_OBJECT
public:
    explicit BuscaUltimaAlteracao(QObject* parent = nullptr);
    ~BuscaUltimaAlteracao() override;

    std::function<Servidor()> Endereco;
    // The line for the detail panel ("Última alteração: ...", or nothing when
    // the server could not tell), on the UI thread.
    std::function<void(const QString& linha)> Mostra;
    // Who wrote the row's last change of text or status (review marks passed
    // over), on the UI thread with the line; empty when the server could not
    // tell or none is kept among the versions read.
    std::function<void(const ChaveLinha& chave, const QString& autor)> Autor;
    // How long the current row must stay put before it is asked for.
    int PausaMs = 150;

    // The current row is this one: its last change is shown once known. A
    // row already shown is asked again only with `denovo` (after a save).
    void Pede(const ChaveLinha& chave, bool denovo = false);
    // No current row: nothing to show, and a pending answer is dropped.
    void Esquece();

private:
    class Trabalhador;
    void envia();
    struct Resposta {
        QString linha, autor;
    };
    void recebe(const ChaveLinha& chave, const Resposta& resposta);

    QThread m_thread;
    Trabalhador* m_trabalhador = nullptr;
    QTimer m_pausa;
    ChaveLinha m_desejada; // the current row
    ChaveLinha m_mostrada; // the row whose line the panel shows
    bool m_emCurso = false; // a request is on its way
};

} // namespace trd::historico
