#pragma once
// "Liberação do Aplicativo": brings a new release of the application's screen
// texts in (docs/releases.md). The user chooses the release file and sees,
// before anything is written, what it does to every language: the counts per
// program (kept, reworded, moved, new, vanished, revived) and the rows, a
// reworded or moved row's previous and new source side by side with the
// changed words marked. The guards (an empty file, too many rows of a language
// leaving) ask for the user's explicit word; the apply is one transaction on
// the server. The preview and the apply run on a thread of their own with
// progress; the preview can be cancelled at any time, the apply until the
// server reaches its commit (the bar follows the server's languages; a cancel
// rolls the whole release back there). The tables are models
// without a window (PreviaModelo); this form only lays them out.
#include "ExchangeRunner.h"
#include "LiberacaoDados.h"

#include <QDialog>
#include <QElapsedTimer>
#include <QTimer>

#include <functional>
#include <memory>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QSpinBox;
class QTableView;

namespace trd::liberacao {

class ContagensModelo;
class LinhasModelo;

class LiberacaoDialog : public QDialog {
    Q_OBJECT
public:
    // `idioma`: the language shown first (the editor's), when the release has it.
    // `motivoSemAplicar`: why this user may not apply (empty: they may).
    LiberacaoDialog(const QString& idioma, const QString& motivoSemAplicar, QWidget* parent = nullptr);

    // Runs after an apply wrote rows (the editor offers to load its rows again).
    std::function<void(const Previa& aplicada)> OnAplicada;

    QLineEdit* edtArquivo;
    QPushButton *btnProcurar, *btnPrevia, *btnAplicar, *btnCancelar;
    QSpinBox *spnLimiar, *spnLimite;
    QCheckBox* chkMemoria;
    QCheckBox* chkConfirmar; // the guards' explicit word, shown only when a guard trips
    QLabel *lblResumo, *lblAvisos, *lblEtapa;
    QComboBox *cbbIdioma, *cbbMostrar;
    QTableView *tblContagens, *tblLinhas;
    QProgressBar* pgbProgresso;

    ContagensModelo* contagens() const { return m_contagens; }
    LinhasModelo* linhas() const { return m_linhas; }
    // What the tables show: the preview, or once applied the apply's answer.
    std::shared_ptr<const Previa> previa() const { return m_previa; }
    bool aplicada() const { return m_aplicada; }

protected:
    void reject() override;

private:
    enum class Etapa { Nada, Previa, Aplicacao };
    void procurar();
    void pedePrevia();
    void aplicar();
    void mostra();
    void mostraLinhas();
    void habilita();
    void terminou(const QString& erro, bool cancelado);

    QString m_idiomaInicial;
    Etapa m_etapa = Etapa::Nada;
    QString m_motivoSemAplicar; // not empty: the apply stays off, with this as its hint
    bool m_enviada = false; // the apply left: its outcome is the server's
    bool m_semVolta = false; // the server is committing: no cancel from here on
    bool m_aplicada = false;
    QString m_arquivo; // the previewed file's text: the apply sends exactly it
    Opcoes m_opcoes; // and the options it was previewed with
    std::shared_ptr<Previa> m_resultado; // filled by the job's thread
    std::shared_ptr<const Previa> m_previa;
    ContagensModelo* m_contagens;
    LinhasModelo* m_linhas;
    QElapsedTimer m_relogio;
    QTimer m_segundos;
    QString m_passo;
    ExchangeRunner m_runner; // last: waits for the job before the rest goes
};

} // namespace trd::liberacao
