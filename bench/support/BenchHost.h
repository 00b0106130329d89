#pragma once

#include "RecordingDialogSeam.h"
#include "TrdServerProcess.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QMainWindow>
#include <QString>

namespace trd::bench {

// The host as the benchmarks of the editor and its dialogs need it: a
// trd-server on a seeded database (a large seed takes minutes to import), the
// module pointed at it, messages answered and recorded by the seam, and a
// shown main window with its MDI area as the module's main form.
struct BenchHost {
    explicit BenchHost(const QString& seedTsv);

    // False, with the reason already printed, when the server did not start.
    bool ok() const { return server.isRunning(); }

    test::TrdServerProcess server;
    RecordingDialogSeam seam;
    QMainWindow main;
};

inline double ms(const QElapsedTimer& t)
{
    return static_cast<double>(t.nsecsElapsed()) / 1e6;
}

// Row i of language ENG as the editor's benchmarks seed it: texts of a
// realistic length for screen captions and hints, 700 programs, statuses T, D
// and N in turn.
QByteArray editorSeedRow(int i);

// Row i of language ENG as the report benchmarks seed it: the destination
// `texto` with %1 the program's number and %2 the row's, one in fifty eight
// times as long, 700 programs, statuses T, D and N in turn, change dates over
// the months of 2025.
QByteArray reportSeedRow(int i, const QString& texto);

} // namespace trd::bench
