#pragma once
// Unit Cli_Trd09300: the translation editor, the module's main screen. The
// user picks a destination language, loads its rows from the application
// server into cdsDestino, edits destination texts in the grid and marks each
// row translated, doubtful or not translated; every posted change goes to the
// server at once. The other screens of the package hang off this form: they
// use frmTraducao's cdsDestino, netTraducao and cbbIdioma, and stIdioma. The
// companions beside the screen (memory, history, live changes, checks,
// exchange) see it only as their ServicosDoEditor.
#include "LinhaDoServidor.h"
#include "ServicosComMenu.h"
#include "TImage.h"
#include "TNetConnection.h"
#include "TextoDoColega.h"
#include "TfrmPadraoSortGrid.h"
#include "TraducaoRegras.h"

#include <QColor>
#include <QComboBox>
#include <QLabel>
#include <QPointer>
#include <QString>

#include <array>
#include <functional>
#include <vector>

namespace trd {

class MemoriaDoEditor;
class AutomaticaDoEditor;
class GlossarioDoEditor;
class AlteracoesAoVivo;
class VerificacoesDoEditor;
class PapeisDoEditor;
class RevisaoDoEditor;
namespace historico {
class HistoricoDoEditor;
}
namespace liberacao {
class ObsoletasDoEditor;
}

class TfrmTraducao : public TfrmPadraoSortGrid, public ServicosComMenu {
    Q_OBJECT
public:
    explicit TfrmTraducao(QWidget* parent = nullptr);
    ~TfrmTraducao() override;

    // The language panel, above the grid.
    QFrame* Panel1;
    QLabel* Label2;
    QComboBox* cbbIdioma;

    // Hidden store of the status pictures: 1 lit glyph pair, 2 dim glyph
    // pair (32 by 16), 3 grid icon (16 by 16, olive = transparent).
    QFrame* Panel3;
    TImage *imgNTrad1, *imgNTrad2, *imgNTrad3;
    TImage *imgDuvida1, *imgDuvida2, *imgDuvida3;
    TImage *imgTrad1, *imgTrad2, *imgTrad3;

    // The detail panel under the grid: the current row's texts, program and component.
    QFrame* Panel4;
    QLabel *lblOrigem, *lblDestino, *lblTela, *lblCodigo, *lblComponente, *lblNome;
    // Beside the cell, in the detail panel: the text someone else saved in the
    // row while the user was typing, after the server refused the user's save.
    TextoDoColega* panTextoColega;
    // A short note in the navigator panel (a save the server turned out to have).
    QLabel* lblAviso;

    TClientDataSet* cdsDestino; // the translation rows of the chosen language
    // The checks of the rows and the spelling of the cell being typed (docs/checks.md).
    VerificacoesDoEditor* verificacoes = nullptr;
    // The translation memory: suggestions beside the detail panel, the question
    // about rows of the same source after a post (docs/memory.md).
    MemoriaDoEditor* memoria = nullptr;
    // Machine translation: its suggestion under the memory's, the status of
    // its texts and the pre-translation (docs/machine-translation.md).
    AutomaticaDoEditor* automatica = nullptr;
    GlossarioDoEditor* glossario = nullptr;
    // Colleagues' saves shown as they happen (docs/live.md).
    AlteracoesAoVivo* aoVivo = nullptr;
    TClientDataSet* cdsIdiomaOri; // the languages, read once per instance
    TNetConnection* netTraducao;

    // The history of changes beside the screen: the last change of the
    // current row under the detail panel, and its menu items (docs/editor.md).
    historico::HistoricoDoEditor* Historico = nullptr;
    // What the user may do, per language, and the controls it leaves them (docs/users.md).
    PapeisDoEditor* direitos = nullptr;
    // The review mark: the lamp in the grid, marking and unmarking by key (docs/users.md).
    RevisaoDoEditor* revisao = nullptr;
    // The rows releases made obsolete, shown on demand, read-only (docs/releases.md).
    liberacao::ObsoletasDoEditor* obsoletas = nullptr;

    // The editor's own tool-bar buttons and maintenance menu items.
    TButtonFlat *sbtSubstituir, *sbtNTrad, *sbtDuvida, *sbtTrad, *sbtFiltro, *sbtInfor;
    QAction *N1, *mnuSubstituir, *N3, *mnuNTrad, *mnuDuvida, *mnuTrad, *N2, *mnuFiltro, *mnuInfor;
    QAction* mnuAlteracaoColega; // Ctrl+J: the next row a colleague changed

    // ---- form
    void FormCreate(QObject* sender) override;
    void FormActivate(QObject* sender) override;
    void FormClose(QObject* sender, TCloseAction& action) override;
    void netTraducaoBeforeConnect(QObject* sender);

    // ---- language
    void cbbIdiomaChange(QObject* sender);
    void cbbIdiomaKeyPress(QObject* sender, QChar& key);
    void Panel1Exit(QObject* sender);

    // ---- rows
    void sbtVerificarClick(QObject* sender) override;
    void cdsDestinoAfterScroll(TClientDataSet* dataSet);

    // ---- other dialogs
    void sbtFiltroClick(QObject* sender);
    void sbtInforClick(QObject* sender);
    void sbtImprimirClick(QObject* sender) override;
    void sbtSubstituirClick(QObject* sender);
    void mnuSubstituirClick(QObject* sender);

    // ---- status marking and saving
    void sbtNTradClick(QObject* sender);
    void sbtDuvidaClick(QObject* sender);
    void sbtTradClick(QObject* sender);
    void sbtExcluirClick(QObject* sender) override;
    void cdsDestinoBeforeInsert(TClientDataSet* dataSet);
    void cdsDestinoAfterInsert(TClientDataSet* dataSet);
    void cdsDestinoBeforePost(TClientDataSet* dataSet);
    void cdsDestinoAfterPost(TClientDataSet* dataSet);
    void cdsDestinoAfterCancel(TClientDataSet* dataSet);
    void cdsDestinoAfterDelete(TClientDataSet* dataSet);
    void cdsDestinoAfterClose(TClientDataSet* dataSet);
    void cdsDestinoBeforeClose(TClientDataSet* dataSet);
    void cdsDestinoBeforeDelete(TClientDataSet* dataSet);
    void dtsPadraoDataChange(QObject* sender, TField* field);
    void dtsPadraoStateChange(QObject* sender) override;

    // ---- grid painting and keys
    void dbgPadraoDrawColumnCell(QObject* sender, const QRect& rect, int dataCol, TColumn* column,
                                 TGridDrawState state);
    void dbgPadraoColEnter(QObject* sender);
    void dbgPadraoKeyUp(QObject* sender, int& key, Qt::KeyboardModifiers shift);
    void dbgPadraoKeyDown(QObject* sender, int& key, Qt::KeyboardModifiers shift) override;
    void dbgPadraoKeyPress(QObject* sender, QChar& key) override;

    // ---- colleagues' saves
    void mnuAlteracaoColegaClick(QObject* sender);
    void layoutDetailLabels();

    // ---- what the companions are offered (ServicosDoEditor; Cli_Trd09300Servicos.cpp)
    QWidget* janela() override;
    TClientDataSet& linhas() override;
    TSocketConnection& conexao() override;
    QString idioma() const override;
    QString textoDoIdioma() const override;
    bool idiomaDaLista() const override;
    bool substituindo() const override;
    ChaveLinha chaveAtual() const override;
    void digitaNaCelula(const QString& texto) override;
    QLineEdit* celulaAberta() const override;
    QWidget* areaDasCelulas() const override;
    void repintaLinhas() override;
    void devolveTeclado() override;
    void recarrega() override;
    void mostraTextoDoColega(const QString& titulo, const QString& texto) override;
    void alteradasPorOutro(const std::vector<int>& linhas, bool removidas, bool atual) override;
    void adicionaPainel(QWidget* painel, Lugar lugar) override;
    qint64 emLote(const QString& idioma, const QString& tipo, const std::function<void()>& chamada,
                  const QString& origem = QString()) override;
    const papeis::PapeisDoUsuario& papeis() const override;
    void restringe(Controle controle, const QString& motivo) override;
    void pintaLinhasCom(std::function<void(TCanvas& canvas)> pintura) override;
    void dicaDasLinhas(std::function<QString(int linha)> dica) override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void poeNoMenu(QAction* item) override;

private:
    void buildLanguagePanel();
    void buildImageStore();
    void buildDetailPanel();
    void buildGrid();
    void buildToolBar();
    void buildMenu();
    void connectEvents();
    void marcaSituacao(const QString& situacao);
    void gravaAlteracoes();
    void gravacaoFalhou(const Exception& erro, bool textoEditado, const QString& texto);
    void usaTextoDoColega(const QString& texto);
    void esqueceGravacao();
    // The detail panel, or the row that holds it and the panels beside it.
    QWidget* blocoDoDetalhe() const;
    void gravaPendente();
    void desfazAlteracoes(int linhaExcluida);
    void mostraSituacao();
    void limpaDetalhe();
    void mostraDetalhe();
    void habilita(TButtonFlat* button, QAction* item, bool enabled);
    // What the state of the rows enables, less what the user may not use.
    void aplicaHabilitacao();
    void focusChanged(QWidget* old, QWidget* now);

    QMetaObject::Connection m_focusConnection;
    QWidget* m_ladoDoDetalhe = nullptr; // the detail panel and what is beside it, once something is
    QString m_textoEditado; // a destination text typed in the edit being saved
    QString m_idiomaAtual; // the combo's text whose rows the editor holds or last asked for
    bool m_textoFoiEditado = false;
    int m_linhaExcluida = 0; // RecNo of the row being deleted, to come back to if the server refuses
    traducao::Habilitacao m_habilitacao; // what the state of the rows enables
    std::array<QString, 3> m_restricoes; // by Controle: why the user may not use it
    std::vector<std::function<void(TCanvas&)>> m_pinturas; // the companions' touches on every painted cell
    std::vector<std::function<QString(int)>> m_dicas; // the companions' hints of a row
};

// ---- unit-level values, as long as the package lives

// The single editor instance; valid while boStCriado is true.
extern QPointer<TfrmTraducao> frmTraducao;
// The editor instance exists: false at load and after each close.
extern bool boStCriado;
// Code of the chosen destination language (characters 1 to 3 of cbbIdioma's
// text); sent with every row request, by the filter dialog as well.
extern QString stIdioma;

// Opens the editor, or brings the open one forward, maximised.
void criaTraducao();

// The colour of the texts of a doubtful row in the grid.
QColor CorTextoDuvida();

} // namespace trd

// The package's entry, resolved by name by the host.
extern "C" __attribute__((visibility("default"))) void IniProc();
