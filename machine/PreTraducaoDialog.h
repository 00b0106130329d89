#pragma once
// The editor's pre-translation: what it will do (the filter's rows not
// translated and without text, of the chosen language), the run on a thread
// of its own with its step, bar and Cancel, and what it did. The run is the
// one trd-exchange pretranslate makes (exchange/PreTranslation.h).
#include "ExchangeRunner.h"
#include "PreTranslation.h"

#include <QDialog>

class QLabel;
class QProgressBar;
class QPushButton;

namespace trd {

class ServicosDoEditor;

class PreTraducaoDialog : public QDialog {
    Q_OBJECT
public:
    PreTraducaoDialog(ServicosDoEditor& editor, QWidget* parent);
    ~PreTraducaoDialog() override;

    // The selection the run takes: the editor's current filter, its N rows.
    static exchange::RowSelection Selecao(const QString& idioma);
    // Something was written (the editor reloads its rows).
    bool gravou() const { return m_resultado.written() > 0; }
    const exchange::PreTranslation& resultado() const { return m_resultado; }

    QLabel* lblTexto;
    QLabel* lblEtapa;
    QProgressBar* pgbProgresso;
    QPushButton* btnPreTraduzir;
    QPushButton* btnFechar;

    void reject() override;

private:
    void inicia();
    void terminou(const QString& erro, bool cancelado);

    QString m_idioma;
    ExchangeRunner m_runner;
    exchange::PreTranslation m_resultado;
};

} // namespace trd
