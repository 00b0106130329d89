// trd-client: the host of the translation module.
#include "ClientOptions.h"
#include "LoginDialog.h"
#include "MainWindow.h"
#include "TNetConnection.h"
#include "WebSession.h"

#include <QApplication>
#include <QLibraryInfo>
#include <QTimer>
#include <QTranslator>

#include <cstdio>

int main(int argc, char** argv)
{
    // The options first: --help and a wrong option need no display.
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    const trd::ClientOptions options = trd::ParseClientOptions(arguments);
    if (options.help) {
        std::fputs(options.helpText.toLocal8Bit().constData(), stdout);
        return 0;
    }
    if (!options.error.isEmpty()) {
        std::fprintf(stderr, "trd-client: %s\n", options.error.toLocal8Bit().constData());
        return 2;
    }

    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("trd-client"));
    // The client speaks Brazilian Portuguese, and so do Qt's own dialogs and
    // menus (the file dialog, an edit's context menu) with Debian's translations.
    QTranslator qtTexts;
    if (qtTexts.load(QStringLiteral("qtbase_pt_BR"), QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QApplication::installTranslator(&qtTexts);

    trd::MainWindow window(trd::PackageLoader::DefaultLibDir(QApplication::applicationDirPath()));
    window.show();
    // A server with users asks for a login: once at start, and again from any
    // screen whose call finds the session ended.
    QString lastUser;
    trd::WebAskLogin = [&window, &lastUser](QString& user, QString& password, const QString& message) {
        trd::LoginDialog dialog(&window, message, lastUser);
        if (dialog.exec() != QDialog::Accepted)
            return false;
        user = lastUser = dialog.User();
        password = dialog.Password();
        return true;
    };
    QTimer::singleShot(0, &window, [&window, open = options.open] {
        try {
            trd::TNetConnection probe;
            probe.AppServer().Call(QStringLiteral("GetIdiTrad"));
        } catch (...) {
            // Unreachable or refused: the screens say so when they need the server.
        }
        if (open)
            window.OpenTraducao();
    });
    return app.exec();
}
