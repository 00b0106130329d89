#pragma once
// What the editor's widget tests share: a real trd-server seeded from a TSV
// file (behind a recording proxy, so a test can read the exact requests the
// editor sent), a host-like main window with an MDI area, the recording
// dialog seam, opening and closing the editor, and reading the server's
// database directly to check what a save really wrote.
#include "Cli_Trd09300.h"
#include "Cli_Trd09301.h"
#include "RecordingDialogSeam.h"
#include "FiltroTestKit.h"
#include "RecordingProxy.h"
#include "TrdServerProcess.h"

#include <QMainWindow>
#include <QStringList>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <memory>

class QMdiArea;

namespace trd::test {

struct Idioma {
    QString codigo, descricao;
};

struct Linha {
    QString idioma, programa, componente, origem, destino, situacao;
};

// A TSV seed file for trd-server --import-tsv.
QByteArray SeedTsv(const QList<Idioma>& idiomas, const QList<Linha>& linhas);

class EditorTest : public ::testing::Test {
protected:
    EditorTest();
    ~EditorTest() override;

    // Starts the server on these rows; the editor will reach it through the proxy.
    void startServer(const QList<Idioma>& idiomas, const QList<Linha>& linhas);
    // Starts it from a seed file already written (large data sets).
    void startServerFromFile(const QString& tsvPath);

    TfrmTraducao* openEditor(); // IniProc, then wait until the editor is active
    // Server on these rows, editor open, the language's rows loaded.
    TfrmTraducao* openLoaded(const QList<Idioma>& idiomas, const QList<Linha>& linhas, const QString& item);
    void closeEditor(); // as the user does, then let the release happen
    void chooseLanguage(const QString& item); // picks a combo item as the arrow keys do
    void leaveLanguagePanel(); // the focus goes from the combo to the grid
    void reload(); // the query button
    void loadLanguage(const QString& item); // choose, then reload (no filter)
    bool locate(const QString& origem); // makes the row with that source text current

    // The values of one row in the server's database (destination, status), or
    // an empty list when the row is gone.
    QStringList dbRow(const QString& idioma, const QString& origem) const;
    int dbCount(const QString& idioma) const;
    // Another user saves the row meanwhile: the editor's next save of it is refused.
    void changeBehindTheEditor(const QString& origem, const QString& destino);
    // The same through a second client of the server, on its own connection
    // and row set: it reads the language's rows and saves one destination
    // text as the editor saves (edit, post, the change log to SetDestino).
    void saveFromAnotherClient(const QString& idioma, const QString& origem, const QString& destino);
    int serverCalls(const QString& method) const; // calls of that method seen by the proxy

    QTemporaryDir dir;
    QStringList serverArgs; // more of the server's command line (a users file...)
    std::unique_ptr<TrdServerProcess> server;
    std::unique_ptr<RecordingProxy> proxy;
    RecordingDialogSeam seam;
    QMainWindow main;
    QMdiArea* mdi = nullptr;
};

} // namespace trd::test
