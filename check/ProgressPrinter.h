#pragma once
// Shows the progress of a long run on the error stream: on a terminal one line
// rewritten in place a few times a second; into a file or a pipe a line per
// step and then one every few seconds, so a log stays readable.
#include "ListedRowsCheck.h"

#include <QElapsedTimer>

#include <cstdio>

namespace trd::check {

class ProgressPrinter {
public:
    ProgressPrinter(std::FILE* stream, bool terminal);
    ~ProgressPrinter();

    void show(const CheckProgress& progress);
    // Ends a line rewritten in place, before anything else is written.
    void finish();

    // "Verificando 5000 linhas de ENG: 40%", "Lendo as linhas de ENG (3 s)".
    static QString text(const CheckProgress& progress);

private:
    std::FILE* m_stream;
    bool m_terminal;
    bool m_open = false;
    QElapsedTimer m_last;
};

} // namespace trd::check
