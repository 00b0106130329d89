#pragma once
// "Exportar Tradução": writes the editor's language, whole or as the rows of
// its current criteria filter, to an XLIFF 1.2, XLIFF 2.1 or PO file for an
// outside translation tool (docs/exchange.md). The export runs on a thread of
// its own with a progress bar and a Cancel that leaves no file behind.
#include "ExchangeRunner.h"

#include <QDialog>

class QComboBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QRadioButton;

namespace trd {

// LANGUAGE.xlf or LANGUAGE.po, the name an export proposes.
QString defaultFileName(const QString& language, exchange::Format format);

class ExportDialog : public QDialog {
    Q_OBJECT
public:
    // language: the editor's language code; filtered: a criteria filter is in force.
    ExportDialog(const QString& language, bool filtered, QWidget* parent = nullptr);

    QComboBox* cbbFormato;
    QRadioButton *rbtIdioma, *rbtFiltro;
    QLineEdit* edtArquivo;
    QPushButton *btnProcurar, *btnExportar, *btnCancelar;
    QProgressBar* pgbProgresso;
    QLabel* lblEtapa;

protected:
    void reject() override;

private:
    void exportar();
    void procurar();
    void terminou(const QString& error, bool cancelled);
    void formatoMudou();

    QString m_idioma;
    QString m_resumo; // written by the job, read once it has ended
    ExchangeRunner m_runner; // last: waits for the job before the rest goes
};

} // namespace trd
