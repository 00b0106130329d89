#pragma once
// One run of trd-check: asks a running trd-server for every row of a
// language, through the same connection and data set the client uses, runs
// the checks (docs/checks.md) and keeps the rows they list, and writes them
// as a file of listed rows
// (docs/listed-rows.md) that the filter dialog's "Filtrar por Arquivo" reads.
#include "CheckOptions.h"
#include "Exceptions.h"

#include <QString>

#include <functional>

namespace trd::check {

// Why a run stopped; `exitCode` tells scripts which kind of trouble it was.
class CheckError : public Exception {
public:
    enum Code { Refused = 1, ServerUnreachable = 3, UnknownLanguage = 4, OutputNotWritable = 5 };
    CheckError(Code code, QString message) : Exception(std::move(message)), m_code(code) { }
    int exitCode() const noexcept { return m_code; }

private:
    Code m_code;
};

struct CheckSummary {
    QString language; // the code as the server spells it
    QString output; // the file written
    int rows = 0; // rows of the language checked
    int obsolete = 0; // of which obsolete (--obsoletas)
    int untranslated = 0; // listed as kind N
    int tooLong = 0; // listed as kind E
    int others = 0; // findings of the other checks, listed as kind Q
    int erros = 0; // of which the severity is "erro"
};

// A step of a long run. `total` is 0 while its size is unknown (waiting for
// the server); `newStep` marks the first report of a step.
struct CheckProgress {
    QString step;
    qint64 done = 0;
    qint64 total = 0;
    bool newStep = false;
};

// The file a run writes: `output` as given, its folder + CDSNTRAD.cds when it
// names a folder, or CDSNTRAD.cds in the TRD folder beside the program.
QString outputPath(const QString& output);

class ListedRowsCheck {
public:
    explicit ListedRowsCheck(CheckOptions options);

    std::function<void(const CheckProgress&)> onProgress;

    // Throws CheckError; writes nothing unless the whole check succeeded.
    CheckSummary run();

private:
    void report(const QString& step, qint64 done, qint64 total, bool newStep);

    CheckOptions m_options;
};

} // namespace trd::check
