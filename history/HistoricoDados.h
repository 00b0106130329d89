#pragma once
// The history of changes as the client sees it (docs/history.md): a row's
// versions, a language's batches, the outcome of an undo, and the server calls
// that fetch them. No display here: the windows and the editor's detail panel
// build on it, and the background fetch of the panel reads the same answers.
#include "TDateTime.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <functional>

namespace trd {

class TSocketConnection;

namespace historico {

// A row's identity, as the editor knows it.
struct ChaveLinha {
    QString idioma, programa, componente, origem;

    bool operator==(const ChaveLinha&) const = default;
    bool vazia() const { return idioma.isEmpty() && programa.isEmpty() && componente.isEmpty() && origem.isEmpty(); }
};

struct Versao {
    qint64 id = 0;
    qint64 lote = 0;
    QString tipoLote; // "edicao", "substituicao", "importacao", "propagacao", "desfazer"
    QString usuario;
    QString metodo;
    TDateTime data = 0;
    QString alteracao; // "A" text or status, "I" row created, "E" row deleted
    QString situacaoAntes, textoAntes;
    QString situacaoDepois, textoDepois;
};

struct Lote {
    qint64 id = 0;
    TDateTime data = 0;
    QString usuario, tipo, metodo;
    qint64 linhas = 0;
    qint64 desfaz = 0; // an undo: the batch it undid
    qint64 desfeitoPor = 0; // the undo that undid it and still stands
};

struct LinhaDesfeita {
    QString programa, componente, origem;
    bool desfeita = false;
    QString motivo; // why it was left alone
    QString texto, situacao; // the row after the undo
};

struct Desfazimento {
    qint64 lote = 0; // the undo's own batch; 0 when nothing was written
    QList<LinhaDesfeita> linhas;

    int desfeitas() const;
    int mantidas() const;
};

// Answers read from their data packets (XML or CBOR).
QList<Versao> LeVersoes(const QByteArray& pacote);
QList<Lote> LeLotes(const QByteArray& pacote);
Desfazimento LeDesfazimento(const QByteArray& pacote);

// The calls, synchronous. A refusal raises EServerError with the server's
// message; a connection that cannot reach the server raises EConnectionError.
QList<Versao> BuscaHistorico(TSocketConnection& conexao, const ChaveLinha& chave, int maximo = 0);
QList<Lote> BuscaLotes(TSocketConnection& conexao, const QString& idioma, TDateTime de, TDateTime ate);
// `origem`, when given, is kept as the batch's method (docs/history.md).
qint64 AbreLote(TSocketConnection& conexao, const QString& idioma, const QString& tipo,
                const QString& origem = QString());
Desfazimento DesfazLote(TSocketConnection& conexao, const QString& idioma, qint64 lote, bool forcar);

// Opens a batch of kind `tipo` and makes `chamada` inside it, its saves
// joining the batch (ScopedBatch); returns the batch's number. A server that
// keeps no history opens none: `chamada` is then made outside any, each save
// a batch of its own, and 0 is returned. Raises what `chamada` raises.
qint64 ChamaEmLote(TSocketConnection& conexao, const QString& idioma, const QString& tipo,
                   const std::function<void()>& chamada, const QString& origem = QString());

} // namespace historico
} // namespace trd
