#pragma once

#include "RecordingDialogSeam.h"
#include "TrdServerProcess.h"

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

} // namespace trd::bench
