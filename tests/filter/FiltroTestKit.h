#pragma once
// What the filter dialog's tests share: a recording dialog seam, a fresh
// dialog and fresh package-wide values for each test, opening the dialog and
// acting inside its real modal loop, and a set of known values to tell
// whether a refused confirmation changed any of them.
#include "Cli_Trd09301.h"
#include "RecordingDialogSeam.h"
#include "RecordingProxy.h"
#include "TApplication.h"
#include "TrdServerProcess.h"

#include <QJsonArray>
#include <QMainWindow>
#include <QMdiArea>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <functional>
#include <memory>

namespace trd::test {

// Puts every package-wide filter value back to its state at package load.
void limpaValoresFiltro();

// Types text into an edit key by key, as a user would, letters with accents
// included (QTest's key clicks know ASCII only).
void digitaTexto(QWidget* edit, const QString& texto);

// A trd-server on a database imported from a seed (TSV text), reached through
// a recording proxy, in a folder of its own: started once for a whole suite.
// The caller checks servidor->isRunning().
struct ServidorSemeado {
    explicit ServidorSemeado(const QByteArray& semente);
    QTemporaryDir pasta;
    std::unique_ptr<TrdServerProcess> servidor;
    std::unique_ptr<RecordingProxy> proxy;
};

class FiltroTestBase : public ::testing::Test {
protected:
    FiltroTestBase();
    ~FiltroTestBase() override;

    // CriaFiltroTraducao with `acao` run inside the modal loop once the
    // dialog is the active window; the dialog is cancelled if still open after.
    void abrirFiltro(const std::function<void(TfrmFiltroTraducao&)>& acao);

    // Sets every package-wide value to something no confirmation produces...
    void valoresConhecidos();
    // ...and checks that they all still hold it.
    void esperaValoresConhecidos() const;

    RecordingDialogSeam seam;
    // The host's main window with its MDI area: the dialog's owner, and where
    // the editor opens.
    QMainWindow principal;
    QMdiArea* mdi;
};

// The editor against one seeded server for a whole suite. The suite's
// SetUpTestSuite calls iniciaServidor(semente) and each test's SetUp
// abreEditor(idioma): a fresh editor that reaches the server through the
// proxy, the language picked, the proxy's and the seam's records cleared.
// Wrap both calls in ASSERT_NO_FATAL_FAILURE.
class EditorSemeadoTestBase : public FiltroTestBase {
public:
    static ServidorSemeado* ambiente; // the suite's server, between its set-up and tear-down

protected:
    static void iniciaServidor(const QByteArray& semente);
    static void TearDownTestSuite();

    void abreEditor(const QString& idioma);
    void TearDown() override;

    // The parameters of the last call of `metodo` through the proxy.
    static QJsonArray ultimosParametros(const QString& metodo);

    // Picks `item` ("ENG-English") in the editor's language list.
    void escolheIdiomaDoEditor(const QString& item);
};

} // namespace trd::test
