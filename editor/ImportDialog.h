#pragma once
// "Importar Tradução": reads an XLIFF or PO file for the editor's language,
// shows what importing it would do (new translations, changes, unchanged
// units, units that match no row, conflicts, refusals, with their reasons),
// lets the user choose which conflicts to overwrite, and applies the rest as
// one save through the server's rules (docs/exchange.md). Reading and
// applying run on a thread of their own with a progress bar and Cancel.
#include "ExchangeRunner.h"

#include <QDialog>

#include <memory>

class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QTableWidget;

namespace trd {

class ImportDialog : public QDialog {
    Q_OBJECT
public:
    ImportDialog(const QString& language, QWidget* parent = nullptr);

    // Runs after rows were written, so the editor can show them (its reload).
    std::function<void()> OnApplied;

    QLineEdit* edtArquivo;
    QPushButton *btnProcurar, *btnLer, *btnMarcarConflitos, *btnAplicar, *btnCancelar;
    QLabel *lblResumo, *lblEtapa;
    QTableWidget* tblUnidades;
    QProgressBar* pgbProgresso;

    // Columns of tblUnidades.
    enum Coluna { colResultado, colTela, colComponente, colOrigem, colServidor, colArquivo, colMotivo, colCount };

protected:
    void reject() override;

private:
    void procurar();
    void ler();
    void aplicar();
    void mostraPrevia();
    void trabalhando(bool sim);
    void terminou(const QString& error, bool cancelled);

    QString m_idioma;
    std::shared_ptr<exchange::ImportPreview> m_previa;
    std::vector<int> m_linhasDaTabela; // the plan entry each table row shows
    enum class Etapa { Nada, Lendo, Aplicando } m_etapa = Etapa::Nada;
    int m_gravadas = 0;
    qint64 m_lote = 0; // the history's batch of what was written
    ExchangeRunner m_runner; // last: waits for the job before the rest goes
};

} // namespace trd
