#pragma once
// The command line of trd-check.
#include "CheckRules.h"
#include "Checks.h"

#include <QString>
#include <QStringList>

namespace trd::check {

struct CheckOptions {
    QString language; // the language whose rows are checked, as typed
    QString server; // HOST:PORT as given; empty: $TRD_SERVER, else the default
    QString output; // file or folder; empty: the TRD folder beside the program
    bool untranslated = true; // list kind N
    bool tooLong = true; // list kind E
    bool others = true; // list kind Q: what the other checks find
    quality::CheckSet checks = quality::CheckSet::all(); // the checks behind kinds E and Q
    SizeRule rule;
    bool obsolete = false; // the rows a release made obsolete are checked too, marked "(obsoleta)"
    bool quiet = false; // no progress, only errors and the summary
    bool help = false;
    QString helpText;
    QString error; // why the command line was refused
};

// Parses arguments (program name first) and the environment's TRD_SERVER.
// On success WebURL/WebPort hold the server's address.
CheckOptions parseCheckOptions(const QStringList& arguments);

} // namespace trd::check
