#pragma once
// Pre-translation: the rows of a selection that are not translated and have
// no text get one, as doubtful (D): the translation of a translated row with
// the very same source when the language has one (the most frequent, when
// they differ), else the engine's (GetTraducoesAutomaticas). Rows with a text
// are never touched. Everything written is one batch of the history, of kind
// "automatica", undone whole; it is written piece by piece as the engine
// answers, so a cancel, a refusal or the engine stopping halfway keeps what
// was written in that one batch and says where it stopped.
#include "ServerLink.h"

#include <QString>

namespace trd::exchange {

struct PreTranslation {
    int candidates = 0; // rows N without text in the selection
    int fromMemory = 0; // filled from a translated row of the same source
    int fromEngine = 0; // filled from the engine
    int refused = 0; // the engine's answer broke a placeholder, a mark or a line break: left as they were
    int notAsked = 0; // left because the run stopped first
    qint64 batch = 0; // the batch of the history; 0 when nothing was written or no history is kept
    QString origin; // the engine and route, as the history keeps them
    bool cancelled = false;
    QString stoppedBy; // why the run stopped before its end (the engine stopped, the server refused)
    int written() const { return fromMemory + fromEngine; }
};

// How many rows go in one request to the engine.
inline constexpr int PreTranslationPiece = 500;
// How many rows go in one save (one transaction of the server's writer) of
// the run's one batch. Another user's save that comes while one is being
// written waits for its commit: at 100 rows that wait was most of what a
// run added to their slowest saves; at 20 the run's own commits cost little
// more, and its rate is set by the engine.
inline constexpr int PreTranslationSaveRows = 20;

// Runs it over the rows of `selection`. A failure after something was
// written is told in stoppedBy, never thrown; before, it is thrown.
PreTranslation preTranslate(ServerLink& link, const RowSelection& selection, const JobControl& control,
                            int rowsPerSave = PreTranslationSaveRows);

// "312 linhas pré-traduzidas (40 da memória, 272 do Apertium por>spa) ...": the summary for the user.
QString preTranslationSummary(const PreTranslation& p);

} // namespace trd::exchange
