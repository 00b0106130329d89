#pragma once
// Unit Cli_Trd09302: the translation information dialog. For the language
// chosen in the editor it shows, per status, how many lines the server holds,
// how many characters their destination texts count, and what those
// characters cost at a price per character, over a range of change dates;
// the Revisado button adds the number of revised lines.
//
// The dialog is modeless and has a connection of its own. It takes the
// editor's language once, when it is created; closing releases it, so the
// next opening counts the language chosen by then.
#include "ContagemRevisadas.h"
#include "TDBGrid.h" // TGridDrawState
#include "TfrmRotiGeral.h"

#include <QPointer>
#include <QString>

class QFrame;
class QGroupBox;
class QLabel;
class QProgressBar;

namespace trd {

class TClientDataSet;
class TDateEditPlus;
class TNetConnection;
class TNumberEdit;
class TStringGrid;

namespace info {
class ApuracaoCusto;
}

class TfrmInfoTraducao : public TfrmRotiGeral {
    Q_OBJECT
public:
    explicit TfrmInfoTraducao(QWidget* parent = nullptr);

    // The result grid: titles in row 0 and column 0; lines, characters and
    // cost per status, the revised lines and the totals, as texts.
    TStringGrid* stgCalculo;
    QLabel* lblPreco;
    TNumberEdit* nbePreco; // price per character
    // "Data de alteração"
    QGroupBox* grbDataAlt;
    QLabel* lblDtInicial;
    TDateEditPlus* depDtInicial;
    QLabel* lblDtFinal;
    TDateEditPlus* depDtFinal;
    // The foot: "Calculando..." and the progress of a calculation.
    QFrame* panBarra;
    QLabel* lblStatus;
    QProgressBar* pgbCalcChar;
    TButtonFlat* btnRevisado; // under sbtConfirma, which here calculates

    TClientDataSet* cdstraducao; // the rows: IDSITTRADUCAO, STVALORPROP
    TClientDataSet* cdscalctrad; // one count of lines each, in STVALORPROP
    TClientDataSet* cdscalcntrad;
    TClientDataSet* cdscalcduv;
    TClientDataSet* cdsRevisado;
    TNetConnection* NetTradInfo;

    void FormCreate(QObject* sender) override;
    void FormActivate(QObject* sender) override;
    void FormClose(QObject* sender, TCloseAction& action) override;
    void FormKeyDown(QObject* sender, int& key, Qt::KeyboardModifiers shift) override;
    void sbtConfirmaClick(QObject* sender) override;
    void btnRevisadoClick(QObject* sender);
    void stgCalculoDrawCell(TStringGrid* sender, int col, int row, const QRect& rect, TGridDrawState state);
    // The reviewed lines shown beside a grid row's count of lines (the T, N,
    // D rows and the total), as "✓ 12"; empty when the server cannot tell.
    QString revisadasNaLinha(int linha) const;
    void nbePrecoKeyPress(QObject* sender, QChar& key);
    void nbePrecoChange(QObject* sender);
    void depDtInicialExit(QObject* sender);
    void depDtFinalExit(QObject* sender);
    void NetTradInfoBeforeConnect(QObject* sender);

    // The date check of a calculation and of the revised count: with
    // `informa`, a date not set shows "DATA_HORA" and abandons the handler.
    // Whatever fails inside it puts the focus on the initial date first.
    void Vd_DataHora(bool informa);

    // How often the calculation shows its progress, at most.
    static constexpr int IntervaloQuadroMs = 33;

private:
    void buildGrid();
    void buildFields();
    void buildFoot();
    void buildDataSets();
    void somaLinhas(double preco);
    void mostraApuracao(const info::ApuracaoCusto& apuracao, int feitas);
    void estadoDeRepouso();
    void contaRevisadas(double inicial, double final_, const QString& modo);

    std::optional<info::Revisadas> m_revisadas; // the reviewed counts, as last asked
};

namespace Cli_Trd09302 {

// The single dialog instance; valid while boStCriado is true.
extern QPointer<TfrmInfoTraducao> frmInfoTraducao;
// The dialog exists: false at load and after each close.
extern bool boStCriado;
// The destination language of every request of the dialog: characters 1 to 3
// of the editor's language combo, taken when the dialog is created.
extern QString stIdiInfo;

// Opens the dialog modeless, creating it when it does not exist.
void CriaInfoTraducao();

} // namespace Cli_Trd09302

// The editor holds a flag of the same name as this unit's boStCriado; the
// unit's other names need no qualification.
using Cli_Trd09302::CriaInfoTraducao;
using Cli_Trd09302::frmInfoTraducao;
using Cli_Trd09302::stIdiInfo;

} // namespace trd
