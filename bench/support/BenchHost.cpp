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

} // namespace trd::bench
