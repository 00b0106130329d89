#pragma once
// What the editor does with the saves the server tells of (docs/live.md),
// without a window: each change is matched to the loaded row with its key
// (program, component, source text) and taken into it as if it had been
// loaded so, outside the change log, so nothing goes back to the server.
//
// A change is taken only over the state it was made from (its row holds the
// text and status before it): the user's own saves, changes the rows were
// loaded with already and changes overtaken by a later one are passed over,
// in whatever order loading and telling met. A row the user is editing is
// never written: its change waits, and the caller shows it beside the cell;
// it is taken once the edit ends without a save (a save meets the server's
// own check). A row not loaded (outside the filter, or created since) is
// left alone; a row deleted by someone leaves the grid.
#include "ChangeFeedClient.h"

#include <QHash>
#include <QSet>
#include <QString>

#include <vector>

namespace trd {

class TClientDataSet;

class AlteracoesDeColegas {
public:
    explicit AlteracoesDeColegas(TClientDataSet* linhas);

    // Who changed a row and when, as last told.
    struct Autor {
        QString usuario;
        double quando = 0; // TDateTime of the change
        qint64 recebida = 0; // when it was taken (ms since the epoch), for the brief mark
    };

    struct Resultado {
        std::vector<int> linhas; // rows changed (0-based, grid order), after any removal
        int removidas = 0; // rows deleted by someone that left the grid
        bool linhaAtual = false; // the current row was among them
        // A change of the row being edited, kept for later: the newest one.
        const FeedChange* daLinhaEditada = nullptr;
    };

    // Takes what can be taken now (rows of `idioma` only), keeping the rest
    // for tenta(). `agoraMs` stamps the brief mark.
    Resultado recebe(const QString& idioma, const std::vector<FeedChange>& alteracoes, qint64 agoraMs);
    // Tries again what waited (the edit ended, the save went).
    Resultado tenta(qint64 agoraMs);
    // The loaded rows as the server holds them now, read again because
    // changes were missed: a row that differs takes the server's values (who
    // changed it is not known), a row the server no longer has leaves. Only
    // with the row set browsing and nothing logged; what waited is dropped,
    // the server's rows being newer.
    Resultado confere(TClientDataSet& doServidor, qint64 agoraMs);
    // The rows were loaded again or closed: nothing waits, nobody is named.
    void esquece();
    bool esperando() const { return !m_espera.empty(); }

    // The colleague who last changed the row (0-based, grid order), or null.
    const Autor* autor(int linha) const;
    // Its change came in the last `janelaMs` (the grid marks it for that long).
    bool recente(int linha, qint64 agoraMs, qint64 janelaMs) const;
    bool algumRecente(qint64 agoraMs, qint64 janelaMs) const;

private:
    enum class Destino { Aplicar, Passar, Esperar };
    Destino decide(const FeedChange& c, int linha) const;
    Resultado processa(qint64 agoraMs);
    QString chave(int linha) const;

    TClientDataSet* m_linhas;
    int m_campoTela, m_campoComponente, m_campoOrigem, m_campoDestino, m_campoSituacao;
    std::vector<FeedChange> m_espera; // in the order told
    QString m_idioma;
    QHash<QString, Autor> m_autores; // by the row's key, which sorting does not change
    FeedChange m_editada; // the newest change of the row being edited
    QSet<qint64> m_vistasEmEdicao; // changes that waited for an edit of their row
};

} // namespace trd
