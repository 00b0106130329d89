#pragma once
// The two runs the command line and the editor share: export a language (or
// the editor's current filter) to a file, and import a file in two steps, a
// preview that writes nothing and the apply of what the user accepted as one
// save. Both report progress and stop when their cancel flag is set; neither
// writes anything before it has finished reading (a cancelled export leaves no
// file, a cancelled import changes no row).
#include "ExchangeTypes.h"
#include "ImportPlan.h"
#include "ServerLink.h"
#include "XliffWriter.h"

#include <QString>

#include <optional>
#include <vector>

namespace trd::exchange {

struct ExportRequest {
    Format format = Format::Xliff12;
    RowSelection selection; // selection.language as typed; the server's spelling is used
    QString path;
};

struct ExportSummary {
    QString language;
    QString path;
    int rows = 0;
    QString exportTime;
};

ExportSummary runExport(const ServerAddress& address, const ExportRequest& request, const JobControl& control);

// Writes the rows to `path` in the format, all or nothing (a temporary file
// renamed into place). Throws FileError when the file cannot be written.
void writeExchangeFile(Format format, const ExportHeader& header, const std::vector<Row>& rows, const QString& path);

// Reads and checks a file, of any of the three formats (told by its content).
// Throws FileError.
Document readExchangeFile(const QString& path, const ReadLimits& limits = {});

struct ImportPreview {
    QString path;
    QString language; // as the server spells it
    Document document;
    std::vector<Row> rows; // the language's rows when the preview was made
    std::optional<double> exportDays; // the file's export time on the server's clock
    Plan plan;
};

// Reads the file, the language's rows and the server's clock, and decides
// what an import would do. `language` empty: the file's own; otherwise it must
// be the file's. Writes nothing.
ImportPreview prepareImport(const ServerAddress& address, const QString& path, const QString& language,
                            const JobControl& control, const ReadLimits& limits = {});

struct AppliedImport {
    int rows = 0; // rows written
    qint64 batch = 0; // the history's batch holding them; 0 when none was written
};

// Applies the preview's new translations and changes, and the conflicts that
// `overwrite` marks (indexes of plan.entries), as one save through the
// server's rules and one batch of kind import in the history, which the
// batches window lists and can undo. Refused units are never written; with
// refusals in the plan the apply goes ahead only when `acceptRefusals` (the
// user agreed). Throws ExchangeError or the server's refusal (EServerError),
// in which case nothing was written.
AppliedImport applyImport(const ServerAddress& address, const ImportPreview& preview,
                          const std::vector<bool>& overwrite, bool acceptRefusals, const JobControl& control);

} // namespace trd::exchange
