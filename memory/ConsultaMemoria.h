#pragma once
// Questions to the server asked in the background, for what the editor shows
// while the user types and moves (docs/memory.md): a thread of its own with a
// connection of its own, so the editor's connection and its synchronous calls
// are never touched and a slow or absent server never holds the grid.
//
// Each question gets a number. A question asked while an earlier one still
// waits for its turn takes its place (only the newest is worth asking);
// answers come back as signals on the thread that asked, and the asker drops
// those whose number is not the one it waits for.
#include "JsonRpc.h"

#include <QObject>
#include <QString>

#include <atomic>
#include <memory>

class QThread;

namespace trd {

class ConsultaMemoria : public QObject {
    Q_OBJECT
public:
    explicit ConsultaMemoria(QObject* parent = nullptr);
    ~ConsultaMemoria() override;

    // Asks `metodo` with `argumentos` of the configured server (WebURL,
    // WebPort, TLS and the session of the last login); returns the number of
    // the question.
    int pergunta(const QString& metodo, const TRemoteArgs& argumentos);
    // How long the background connection waits for an answer.
    void setEsperaMs(int ms) { m_esperaMs = ms; }

signals:
    void respondeu(int numero, const QByteArray& pacote);
    // `alcancado`: the server answered (with a refusal); false when it could
    // not be reached, which is worth asking again once it is back.
    void falhou(int numero, const QString& mensagem, bool alcancado);

private:
    class Trabalho;
    QThread* m_thread;
    Trabalho* m_trabalho;
    std::shared_ptr<std::atomic<int>> m_ultima;
    std::shared_ptr<std::atomic<bool>> m_encerrando;
    int m_numero = 0;
    int m_esperaMs = 30000;
};

} // namespace trd
