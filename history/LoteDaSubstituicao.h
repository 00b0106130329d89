#pragma once
// A replace-all run's saves as one batch of the history. The run opens the
// batch on the editor's connection when it starts; every save of the run then
// carries its number (X-Trd-Lote) through the editor's own post and save,
// and when the run ends, however it ends, the find/replace dialog offers to
// undo the rows it changed. A server that keeps no history opens no batch:
// the run goes on, each save a batch of its own, and nothing is offered.
#include "ScopedBatch.h"

#include <QPointer>
#include <QString>

#include <optional>

namespace trd {

class TSocketConnection;

namespace historico {

class OfertaDesfazer;

class LoteDaSubstituicao {
public:
    LoteDaSubstituicao(TSocketConnection* conexao, const QString& idioma, OfertaDesfazer* oferta);
    ~LoteDaSubstituicao();
    LoteDaSubstituicao(const LoteDaSubstituicao&) = delete;
    LoteDaSubstituicao& operator=(const LoteDaSubstituicao&) = delete;

    qint64 Id() const { return m_id; }
    // A row of the run was saved.
    void Alterou() { ++m_linhas; }
    // The run went to its end (otherwise it was stopped or failed).
    void Completa() { m_completa = true; }
    // Ends the run: no more saves join the batch, and the dialog offers to
    // undo it. Also done by the destructor, on every way out.
    void Termina();

private:
    QPointer<OfertaDesfazer> m_oferta;
    std::optional<ScopedBatch> m_noLote; // while the run lasts, its saves join the batch
    qint64 m_id = 0;
    int m_linhas = 0;
    bool m_completa = false;
    bool m_terminado = false;
};

} // namespace historico
} // namespace trd
