#include "BenchHost.h"

#include "TApplication.h"
#include "WebServer.h"

#include <QMdiArea>
#include <QTest>

#include <cstdio>

namespace trd::bench {

namespace {

test::TrdServerProcess::Options seeded(const QString& seedTsv)
{
    test::TrdServerProcess::Options options;
    options.importTsv = seedTsv;
    options.startTimeoutMs = 600000;
    return options;
}

} // namespace

BenchHost::BenchHost(const QString& seedTsv) : server(seeded(seedTsv))
{
    if (!server.isRunning()) {
        std::fprintf(stderr, "trd-server did not start: %s\n", qPrintable(server.errorString()));
        return;
    }
    SetWebServer(server.hostPort());
    auto* mdi = new QMdiArea;
    main.setCentralWidget(mdi);
    main.resize(1200, 800);
    Application()->SetMainForm(&main);
    Application()->SetMdiArea(mdi);
    main.show();
    (void)QTest::qWaitForWindowActive(&main);
}

QByteArray editorSeedRow(int i)
{
    static const char* const status[] = {"T", "D", "N"};
    return QStringLiteral("R\tENG\tTRD%1\tlblComponente%2\tTexto de origem da tela número %3, com acentuação\t"
                          "Source text of screen number %3, translated\t%4\n")
        .arg(i % 700, 5, 10, QLatin1Char('0'))
        .arg(i % 41)
        .arg(i)
        .arg(QLatin1String(status[i % 3]))
        .toUtf8();
}

QByteArray reportSeedRow(int i, const QString& texto)
{
    static const char* const status[] = {"T", "D", "N"};
    QString text = texto.arg(i % 700).arg(i);
    if (i % 50 == 0)
        text = text.repeated(8);
    return QStringLiteral("R\tENG\tTRD%1\tlbl%2\tOrigem %2\t%3\t%4\t2025-%5-10 10:00:00\n")
        .arg(i % 700, 5, 10, QLatin1Char('0'))
        .arg(i)
        .arg(text, QLatin1String(status[i % 3]))
        .arg(1 + i % 12, 2, 10, QLatin1Char('0'))
        .toUtf8();
}

} // namespace trd::bench
