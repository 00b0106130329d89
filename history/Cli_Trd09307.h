#pragma once
// Unit Cli_Trd09307: the history of one translation row. Lists the row's
// versions, newest first (date, user, kind of batch, status lamp, text), shows
// the chosen one's text before and after, and answers the version to put
// back; the editor puts it back through its own post and save, so promotion
// and the optimistic check apply as to any edit. Opened modally by the
// editor's "Histórico da Linha" (Ctrl+H) for its current row.
#include "HistoricoDados.h"
#include "TfrmRotiGeral.h"

#include <optional>

class QLabel;
class QTableWidget;

namespace trd {

class TfrmHistorico : public TfrmRotiGeral {
    Q_OBJECT
public:
    explicit TfrmHistorico(QWidget* parent = nullptr);

    QLabel* lblLinha; // program and component
    QLabel* lblOrigem; // the source text
    QTableWidget* grdVersoes; // Data, Usuário, Tipo, Sit., Texto
    QLabel* lblVersao; // the chosen version: before and after

    // The row, its versions (newest first) and what it holds now.
    void Carrega(const historico::ChaveLinha& chave, const QList<historico::Versao>& versoes, const QString& textoAtual,
                 const QString& situacaoAtual);
    // The version to put back, once the dialog was confirmed.
    std::optional<historico::Versao> Escolhida() const { return m_escolhida; }
    // The version the list has selected, if any.
    std::optional<historico::Versao> Selecionada() const;

    void sbtConfirmaClick(QObject* sender) override;

private:
    void selecionou();

    QList<historico::Versao> m_versoes;
    QString m_textoAtual, m_situacaoAtual;
    std::optional<historico::Versao> m_escolhida;
};

} // namespace trd
