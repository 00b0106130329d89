#include "MainWindow.h"

#include "DialogSeam.h"
#include "Dispatch.h"
#include "LoginDialog.h"
#include "TApplication.h"
#include "TNetConnection.h"
#include "WebServer.h"
#include "WebSession.h"

#include <QApplication>
#include <QCloseEvent>
#include <QLabel>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenuBar>
#include <QStatusBar>

#include <algorithm>

namespace trd {

MainWindow::MainWindow(const QString& libDir, QWidget* parent)
    : QMainWindow(parent), m_package(QStringLiteral("Pkg_Trd09300"), libDir)
{
    setObjectName(QStringLiteral("frmPrincipal"));
    setWindowTitle(QStringLiteral("Cliente de Tradução"));
    resize(1024, 720);

    m_mdiArea = new QMdiArea(this);
    m_mdiArea->setObjectName(QStringLiteral("mdiPrincipal"));
    m_mdiArea->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    m_mdiArea->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setCentralWidget(m_mdiArea);

    QMenu* arquivo = menuBar()->addMenu(QStringLiteral("&Arquivo"));
    QAction* sair = arquivo->addAction(QStringLiteral("&Sair"));
    sair->setObjectName(QStringLiteral("actSair"));
    sair->setShortcut(QKeySequence(Qt::ALT | Qt::Key_F4));
    connect(sair, &QAction::triggered, this, &QWidget::close);

    // Alt+D: Alt+M opens the maintenance menu of the screen in front.
    QMenu* modulos = menuBar()->addMenu(QStringLiteral("Mó&dulos"));
    modulos->setObjectName(QStringLiteral("mnuModulos"));
    m_traducao = modulos->addAction(QStringLiteral("&Tradução"));
    m_traducao->setObjectName(QStringLiteral("actTraducao"));
    connect(m_traducao, &QAction::triggered, this, &MainWindow::OpenTraducao);

    QMenu* janelas = menuBar()->addMenu(QStringLiteral("&Janelas"));
    connect(janelas->addAction(QStringLiteral("&Cascata")), &QAction::triggered, m_mdiArea,
            &QMdiArea::cascadeSubWindows);
    connect(janelas->addAction(QStringLiteral("&Lado a lado")), &QAction::triggered, m_mdiArea,
            &QMdiArea::tileSubWindows);

    auto* server = new QLabel(
        QStringLiteral("Servidor: %1%2:%3").arg(WebTls ? QStringLiteral("https://") : QString(), WebURL).arg(WebPort),
        this);
    server->setObjectName(QStringLiteral("lblServidor"));
    statusBar()->addPermanentWidget(server);

    Application()->SetMainForm(this);
    Application()->SetMdiArea(m_mdiArea);

    // One login serves every screen: asked at start, and again from any
    // screen whose call finds the session ended.
    WebLoginPrompt = [this](const QString& message, const WebSignIn& signIn) {
        LoginDialog dialog(this, message, m_lastUser, [this, &signIn](const QString& user, const QString& password) {
            m_lastUser = user;
            return signIn(user, password);
        });
        return dialog.exec() == QDialog::Accepted;
    };
}

MainWindow::~MainWindow()
{
    // The module's forms live in the MDI area; they go with it, before the
    // application object stops pointing at this window.
    m_mdiArea->closeAllSubWindows();
    WebLoginPrompt = nullptr;
    if (Application()->MainForm() == this)
        Application()->SetMainForm(nullptr);
    Application()->SetMdiArea(nullptr);
}

void MainWindow::closeEvent(QCloseEvent* event)
{
    m_mdiArea->closeAllSubWindows();
    const QList<QMdiSubWindow*> windows = m_mdiArea->subWindowList();
    if (std::any_of(windows.begin(), windows.end(), [](const QMdiSubWindow* w) { return w->isVisible(); })) {
        event->ignore();
        return;
    }
    QMainWindow::closeEvent(event);
}

void MainWindow::Start(bool open)
{
    try {
        TNetConnection probe;
        probe.AppServer().Call(QStringLiteral("GetIdiTrad"));
    } catch (...) {
        // Unreachable or refused: the screens say so when they need the server.
    }
    if (open)
        OpenTraducao();
}

void MainWindow::OpenTraducao()
{
    Dispatch([this] {
        QString error;
        if (!m_package.Call("IniProc", &error))
            MessageDlg(error, mtError, mbOK, 0);
    });
}

} // namespace trd
