#pragma once
// Unit Cli_Trd09301: the filter dialog of the translation editor. It narrows
// the editor's rows by status, program, component, words and change dates
// (the criteria filter) and publishes those criteria as package-wide values,
// which the editor's reload repeats while a criteria filter is in force.
//
// The dialog is modal and made once: closing only hides it, so its settings
// stay for the next opening.
#include "TDateTime.h"
#include "TfrmRotiGeral.h"

#include <QPointer>
#include <QString>

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QRadioButton;

namespace trd {

class TClientDataSet;
class TDateEditPlus;
class TOpenDialog;
class TSocketConnection;

// ---- package-wide values (they start empty, false or zero and live as long
// as the package)

// The match kind ("Identico", "Prefixo" or "Parte") and the word text last confirmed.
struct Filtra_Palavra {
    QString stTipo;
    QString stPalavra;
};

// The program code last confirmed.
struct Filtra_Prog {
    QString stPrograma;
};

// A criteria filter is in force: the editor's reload repeats GetFiltroDest.
extern bool boTestaFiltro;
extern Filtra_Palavra TFiltro;
extern Filtra_Prog TFiltro2;
// Statuses wanted: "T", "D", "N", or "X" for a status not wanted.
extern QString stTRAD;
extern QString stDUV;
extern QString stNTRAD;
// The filter fragment: empty or a chain of conditions each introduced by AND.
extern QString stPARAMSQL;
// Date mode: "N" after a criteria filter, "T" after a file filter, empty before either.
extern QString stDataTrad;
// Change-date range of the criteria filter, dates without time of day.
extern TDateTime dtDataIni;
extern TDateTime dtDataFin;

class TfrmFiltroTraducao : public TfrmRotiGeral {
    Q_OBJECT
public:
    explicit TfrmFiltroTraducao(QWidget* parent = nullptr);

    // "Situação"
    QGroupBox* grbSituacao;
    QCheckBox* ckbTraduzido;
    QCheckBox* ckbDuvida;
    QCheckBox* ckbNaoTraduzido;
    QCheckBox* CheckBox1; // "Revisado": shown, never part of a request
    // The review mark (docs/users.md): all rows, only reviewed, only not reviewed.
    QLabel* lblRevisao;
    QComboBox* cbbRevisao;
    QCheckBox* chbLiberacao; // only the rows the last release reworded or moved (docs/releases.md)
    // "Filtrar por Programa"
    QGroupBox* grbFilProg;
    QLabel* lblCdProg;
    QLineEdit* edtCdProg;
    QCheckBox* chbPrefixo; // "Idêntico": the program code must match whole
    // "Filtrar por Componente"
    QGroupBox* grbComponente;
    QLabel* lblComponente;
    QLineEdit* edtComponente;
    // "Filtrar por Palavras"
    QGroupBox* grbFiltro;
    QComboBox* cbbCampo;
    QLabel* lblTexto;
    QLineEdit* edtTexto;
    QGroupBox* grbTipo;
    QRadioButton* rbtIdentico;
    QRadioButton* rbtPrefixo;
    QRadioButton* rbtParte;
    // "Data de alteração"
    QGroupBox* grbDataAlt;
    QLabel* lblDtInicial;
    TDateEditPlus* depDtInicial;
    QLabel* lblDtFinal;
    TDateEditPlus* depDtFinal;
    // "Filtrar por Arquivo"
    QGroupBox* grbFilArq;
    QCheckBox* chbFilArq;
    QCheckBox* chbArqNtrad;
    QCheckBox* chbArqErrTam;
    QCheckBox* chbArqVerif; // "Outras Verificações": the checks' other findings (docs/checks.md)
    TOpenDialog* opdTradErros;

    void FormCreate(QObject* sender) override;
    void FormActivate(QObject* sender) override;
    void FormClose(QObject* sender, TCloseAction& action) override;
    void sbtConfirmaClick(QObject* sender) override;
    void chbFilArqClick(QObject* sender);
    void depDtInicialExit(QObject* sender);
    void depDtFinalExit(QObject* sender);

private:
    void buildCriteria();
    void buildFileGroup();
    void filtroCriterios();
    void carregaLinhas();
    void carregaReescritas();
    void filtroArquivo();
    void carregaLista(const QByteArray& pacote, const QString& tipo);
    // Puts the caret in the date a refusal names, without the other date's
    // own check on its way out: one confirmation, one message.
    void focaData(QWidget* data);

    bool m_semChecagemAoSair = false;
};

// The single dialog instance; empty until the first CriaFiltroTraducao.
extern QPointer<TfrmFiltroTraducao> frmFiltroTraducao;

// Opens the filter dialog modally, creating it the first time.
void CriaFiltroTraducao();

// The rows the filter values choose (GetFiltroDest) loaded into `linhas`, the
// busy animation up meanwhile. An answer too large for the client (it does
// not fit the row set, or memory runs out) ends in MensErro with
// `muitasLinhas`: the user is asked for a shorter date range.
void CarregaLinhasFiltradas(TSocketConnection& conexao, TClientDataSet& linhas, const QString& muitasLinhas);

} // namespace trd
