#pragma once
// The host's main window: an MDI area for the module's screens, the menu that
// opens the translation module, and the server address in the status bar.
// While it exists, a server that wants a login is answered through the login
// dialog (WebAskLogin), with this window as its parent.
#include "PackageLoader.h"

#include <QMainWindow>

class QAction;
class QMdiArea;

namespace trd {

class MainWindow : public QMainWindow {
    Q_OBJECT
public:
    // libDir: where the package lies (PackageLoader::DefaultLibDir).
    explicit MainWindow(const QString& libDir, QWidget* parent = nullptr);
    ~MainWindow() override;

    QMdiArea* MdiArea() const { return m_mdiArea; }
    QAction* TraducaoAction() const { return m_traducao; }

    // Loads Pkg_Trd09300 and calls IniProc. A missing package or entry is
    // reported in a message box; errors of the module go to the error display.
    void OpenTraducao();

    // What trd-client does once its window shows: a first call to the server,
    // so that a server with users asks for the login at once rather than in
    // the middle of the first screen; then the module when `open`. An
    // unreachable server is not reported here: the screens say so when they
    // need it.
    void Start(bool open);

protected:
    // Leaving the application closes the module's screens first, each by its
    // own close handling: a screen that refuses (a text it could not save)
    // keeps the application open.
    void closeEvent(QCloseEvent* event) override;

private:
    QMdiArea* m_mdiArea;
    QAction* m_traducao;
    PackageLoader m_package;
    QString m_lastUser; // offered again when the session must be renewed
};

} // namespace trd
