#pragma once
// A release of the application's screen texts sent to a running trd-server:
// its preview, or its apply (docs/releases.md), and the answer read into
// counts per language and program and the lists of rows, for trd-exchange
// and for a window of the editor alike.
#include "ServerLink.h"

#include <QString>

#include <vector>

namespace trd::exchange {

struct ReleaseOptions {
    int threshold = 70; // least similarity for a reworded text, percent
    int vanishLimit = 30; // share of a language's live rows that may leave without confirming
    bool memory = true; // offer new rows the memory's exact translated match
    bool confirm = false; // apply even when a guard trips
};

struct ReleaseCounts {
    QString language, program; // program empty: the language's totals
    qint64 live = 0, kept = 0, reworded = 0, moved = 0, added = 0, fromMemory = 0, revived = 0, vanished = 0;
    double vanishedPercent = 0;
    bool needsConfirm = false;
    QString warning;
    qint64 batch = 0;
};

struct ReleaseRow {
    QChar kind; // R reworded, M moved, N new, V revived, O vanished
    QString language, program, component, source;
    QString fromProgram, fromComponent, fromSource;
    QString destination, status;
    int similarity = 0;
    bool fromMemory = false;
};

struct ReleaseAnswer {
    std::vector<ReleaseCounts> counts; // per language: its totals, then its programs
    std::vector<ReleaseRow> rows;
    bool needsConfirm() const;
};

// Reads the file (strict UTF-8, FileError naming the line otherwise) and asks
// the server; its refusals come as EServerError (code -32005: a guard
// tripped and the apply was not confirmed).
ReleaseAnswer runRelease(const ServerAddress& address, const QString& path, bool apply, const ReleaseOptions& options,
                         const JobControl& control);

// The answer packet of GetPreviaLiberacao / AplicaLiberacao.
ReleaseAnswer readReleaseAnswer(const QByteArray& packet);

} // namespace trd::exchange
