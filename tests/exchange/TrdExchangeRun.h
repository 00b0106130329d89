#pragma once
// trd-exchange run as a user runs it against a test server (quietly, the
// command first, then --server): how it ended and what it printed.
#include "TrdServerProcess.h"

#include <QDir>
#include <QProcess>
#include <QString>
#include <QStringList>

#include <gtest/gtest.h>

namespace trd::test {

struct ExchangeRun {
    int code = -1; // -1: it crashed or did not finish
    QString out, err;
};

inline ExchangeRun runTrdExchange(const TrdServerProcess& server, const QStringList& args)
{
    QProcess p;
    p.start(QDir(qEnvironmentVariable("TRD_BIN_DIR")).filePath(QStringLiteral("trd-exchange")),
            QStringList{args.constFirst(), QStringLiteral("--server"), server.hostPort(), QStringLiteral("-q")}
                + args.mid(1));
    ExchangeRun r;
    if (!p.waitForFinished(120000)) {
        ADD_FAILURE() << "trd-exchange did not finish";
        p.kill();
        p.waitForFinished();
        return r;
    }
    r.code = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    r.out = QString::fromUtf8(p.readAllStandardOutput());
    r.err = QString::fromUtf8(p.readAllStandardError());
    return r;
}

} // namespace trd::test
