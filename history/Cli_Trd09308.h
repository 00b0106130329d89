#pragma once
// Unit Cli_Trd09308: the language's batches of changes, newest first (one
// post, one replace-all run, one import, one undo: when, who, kind, rows),
// for a range of dates, and the undo of a whole batch. After an undo it shows
// how many rows went back and, for each row left alone because someone
// changed it since, who did and when; the editor's rows are loaded again.
// Opened modally by the editor's "Lotes de Alterações" (Ctrl+Shift+H).
#include "HistoricoDados.h"
#include "TfrmRotiGeral.h"

#include <optional>

class QCheckBox;
class QLabel;
class QTableWidget;

namespace trd {

class TDateEditPlus;

class TfrmLotes : public TfrmRotiGeral {
    Q_OBJECT
public:
    explicit TfrmLotes(QWidget* parent = nullptr);

    QLabel* lblIdioma;
    TDateEditPlus* depDe;
    TDateEditPlus* depAte;
    QTableWidget* grdLotes; // Lote, Data, Usuário, Tipo, Linhas, Situação
    QCheckBox* chbForcar; // also put back rows changed since
    QLabel* lblResultado; // what the last undo did
    QTableWidget* grdMantidas; // the rows it left alone: Tela, Componente, Origem, Motivo
    TButtonFlat* sbtAtualizar;

    // The language's batches of the last 30 days.
    void Carrega(const QString& idioma);
    std::optional<historico::Lote> Selecionado() const;
    const QList<historico::Lote>& Lotes() const { return m_lotes; }

    void sbtAtualizarClick(QObject* sender);
    void sbtConfirmaClick(QObject* sender) override;

private:
    void selecionou();
    void mostra(const historico::Desfazimento& desfazimento, qint64 lote);

    QString m_idioma;
    QList<historico::Lote> m_lotes;
};

} // namespace trd
