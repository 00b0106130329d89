#pragma once
// The host's main window: an MDI area for the module's screens, the menu that
// opens the translation module, and the server address in the status bar.
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

protected:
    // Leaving the application closes the module's screens first, each by its
    // own close handling: a screen that refuses (a text it could not save)
    // keeps the application open.
    void closeEvent(QCloseEvent* event) override;

private:
    QMdiArea* m_mdiArea;
    QAction* m_traducao;
    PackageLoader m_package;
};

} // namespace trd
