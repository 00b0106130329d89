// trd-client: the host of the translation module.
#include "ClientOptions.h"
#include "MainWindow.h"

#include <QApplication>
#include <QTimer>

#include <cstdio>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("trd-client"));

    const trd::ClientOptions options = trd::ParseClientOptions(QApplication::arguments());
    if (options.help) {
        std::fputs(qPrintable(options.helpText), stdout);
        return 0;
    }
    if (!options.error.isEmpty()) {
        std::fprintf(stderr, "trd-client: %s\n", qPrintable(options.error));
        return 2;
    }

    trd::MainWindow window(trd::PackageLoader::DefaultLibDir(QApplication::applicationDirPath()));
    window.show();
    if (options.open)
        QTimer::singleShot(0, &window, &trd::MainWindow::OpenTraducao);
    return app.exec();
}
