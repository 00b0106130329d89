// trd-client: the host of the translation module.
#include "ClientOptions.h"
#include "MainWindow.h"

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
    trd::SetClientIdentity();
    // The client speaks Brazilian Portuguese, and so do Qt's own dialogs and
    // menus (the file dialog, an edit's context menu) with Debian's translations.
    QTranslator qtTexts;
    if (qtTexts.load(QStringLiteral("qtbase_pt_BR"), QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QApplication::installTranslator(&qtTexts);

    trd::MainWindow window(trd::PackageLoader::DefaultLibDir(QApplication::applicationDirPath()));
    window.show();
    QTimer::singleShot(0, &window, [&window, open = options.open] { window.Start(open); });
    return app.exec();
}
