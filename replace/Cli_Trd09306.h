#pragma once
// Unit Cli_Trd09306: find and replace over the translation editor's rows. The
// dialog searches the source or the destination texts of the row set it is
// given, makes the next matching row the editor's current row and, in the
// destination texts only, replaces the search text: one occurrence at a time
// or in every row in one run. Each replacement is an edit and a post of the
// row set, so the editor's handling of a posted row (status promotion and the
// save to the server) applies to every one of them.
//
// The dialog is modeless and stays open beside the editor; at most one exists.
#include "SubstituirRegras.h"
#include "TClientDataSet.h"
#include "TfrmRotiGeral.h"

#include <QPointer>
#include <QString>

#include <array>

class QCheckBox;
class QComboBox;
class QFrame;
class QGroupBox;
class QLabel;
class QLineEdit;
class QRadioButton;

namespace trd {

class TAnimate;
namespace historico {
class OfertaDesfazer;
}

// The field searched for each item of cbbIdioma: 0 "Origem", 1 "Destino".
extern const std::array<QString, 2> NMCAMPO;
// The not-found message for each item of rdgTpBusca: 0 "Idêntico", 1 "Parte".
extern const std::array<QString, 2> MSG_TXT_N_ENC;

class TfrmSubstituir : public TfrmRotiGeral {
    Q_OBJECT
public:
    explicit TfrmSubstituir(QWidget* parent = nullptr);
    ~TfrmSubstituir() override;

    QLabel* lblOriDes;
    QComboBox* cbbIdioma; // which text of the rows is searched
    QLabel* lblLocalizar;
    QLineEdit* edtLocalizar; // the search text
    QLabel* lblSubstituir;
    QLineEdit* edtSubstituir; // the replacement text
    QGroupBox* rdgTpBusca; // radio group: "Idêntico", "Parte"
    QRadioButton* rbtIdentico;
    QRadioButton* rbtParte;
    QGroupBox* grbCase;
    QCheckBox* chbNoCase;
    TButtonFlat* sbtProcurar; // find next
    TButtonFlat* sbtSubstAll; // replace all
    // The busy panel over the fields while replace-all runs.
    QFrame* panMove1;
    QFrame* panMove2;
    TAnimate* anmAnima;
    QLabel* lblGera;
    TButtonFlat* sbtStop;
    // After a replace-all run that saved rows: the offer to undo it (docs/history.md).
    historico::OfertaDesfazer* ofertaDesfazer;

    // The row set searched: the editor's, set by Substituir on every call.
    QPointer<TClientDataSet> cdsSubstituir;

    // The match mode: the item index of the radio group.
    int TpBuscaIndex() const;
    void SetTpBuscaIndex(int index);

    void FormCreate(QObject* sender) override;
    void FormActivate(QObject* sender) override;
    void FormClose(QObject* sender, TCloseAction& action) override;
    void FormKeyDown(QObject* sender, int& key, Qt::KeyboardModifiers shift) override;
    void cbbIdiomaChange(QObject* sender);
    void sbtProcurarClick(QObject* sender);
    void sbtConfirmaClick(QObject* sender) override;
    void sbtSubstAllClick(QObject* sender);
    void sbtStopClick(QObject* sender);

    void Localiza();
    void Troca_texto();
    QString RetiraAtalho(const QString& texto) const;
    QString UpperCaracterAcento(const QString& texto) const;

private:
    class Execucao;
    void buildFields();
    void buildBusyPanel();
    TField* campoBusca() const;
    substituir::TipoBusca tipoBusca() const;
    // The replace step; the occurrence replaced begins at or after `aPartirDe`
    // in the row's text without marks. Returns where the inserted text ends.
    qsizetype trocaTexto(qsizetype aPartirDe);
    void substituiTodos();

    bool m_fecharAoTerminar = false;
};

// ---- unit-level values, as long as the package lives

extern QPointer<TfrmSubstituir> frmSubstituir;
extern bool boIdCriado; // the instance exists
extern bool boPrimVez; // the first activation still has to reset the controls
extern bool boAchou; // the current row matches
extern bool boTraduzindo; // a replace-all run is in progress; Stop clears it

// Opens the dialog on that row set, or brings the open one forward with all
// its settings.
void Substituir(TClientDataSet* dataSet);

} // namespace trd
