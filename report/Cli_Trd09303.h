#pragma once
// Unit Cli_Trd09303: the translation status report dialog. The user picks a
// destination language, a status and a range of change dates, chooses one of
// the status reports of code TRD093 and runs it. The report machinery is the
// base dialog's; this dialog answers the report's request for query
// parameters and, at that moment, loads from the server the data sets the
// reports read.
#include "TfrmDadosGerRel.h"

#include <QPointer>

class QComboBox;
class QGroupBox;
class QLabel;

namespace trd {

class TClientDataSet;
class TDataSource;
class TDateEditPlus;

class TfrmSituTrad : public TfrmDadosGerRel {
    Q_OBJECT
public:
    explicit TfrmSituTrad(QWidget* parent = nullptr);

    // "Idioma/Situação"
    QGroupBox* GroupBox1;
    QLabel* lblIdioma;
    QComboBox* cbbIdioma; // editable; a copy of the editor's language list
    QLabel* lblSituacao;
    QComboBox* cbbSituacao; // "Traduzido", "Não Traduzido", "Dúvida", "Todos"
    // "Data de alteração"
    QGroupBox* grbData;
    QLabel* lblDtIni;
    TDateEditPlus* depDtIni;
    QLabel* lblDtFim;
    TDateEditPlus* depDtFim;

    // What the reports read: GetCalcTrad, GetCalcNtrad, GetCalcDuv and
    // GetInfoTrad of the chosen language, loaded at every run.
    TClientDataSet* cdsCalcTrad;
    TClientDataSet* cdsCalcNtrad;
    TClientDataSet* cdsCalcDuv;
    TClientDataSet* cdsRevisadas; // GetCalcRevisadas: the reviewed lines of each status
    TClientDataSet* cdsTraducao;
    TClientDataSet* cdsPreCaracter;
    TDataSource* dtsPreCaracter;
    // The three status data sets and the texts side by side, one row per
    // status: what the summary report tabulates and charts.
    TClientDataSet* cdsResumoSituacao;
    TNetConnection* NetSitTrad;

    void FormCreate(QObject* sender) override;
    void FormActivate(QObject* sender) override;
    void FormClose(QObject* sender, TCloseAction& action) override;
    void rpddPadraoBeforeGetQueryParams(QObject* sender, TParams& params, bool& abort);

private:
    void buildControls();
    void carregaConjuntos(const QString& idioma);
};

// ---- unit-level values, as long as the package lives

// The single dialog instance; valid while bostcriado is true.
extern QPointer<TfrmSituTrad> frmSituTrad;
// The dialog exists: false at load and after each close.
extern bool bostcriado;

// Opens the report dialog modally, creating it when none exists.
void CriaRelTraducao();

} // namespace trd
