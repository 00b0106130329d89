// trd-check: writes the file of listed rows that the filter dialog's
// "Filtrar por Arquivo" reads, from what a running trd-server holds.
#include "CheckOptions.h"
#include "ListedRowsCheck.h"
#include "ProgressPrinter.h"

#include <QCoreApplication>

#include <cstdio>
#include <unistd.h>

using namespace trd::check;

namespace {

// The list was written, and a check found a text that breaks its screen.
constexpr int ErroFound = 6;

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("trd-check"));

    const CheckOptions options = parseCheckOptions(QCoreApplication::arguments());
    if (options.help) {
        std::fputs(qPrintable(options.helpText), stdout);
        return 0;
    }
    if (!options.error.isEmpty()) {
        std::fprintf(stderr, "trd-check: %s\n%s", qPrintable(options.error),
                     "Use trd-check --help para ver as opções.\n");
        return 2;
    }

    ProgressPrinter progress(stderr, isatty(fileno(stderr)) != 0);
    ListedRowsCheck check(options);
    if (!options.quiet)
        check.onProgress = [&](const CheckProgress& p) { progress.show(p); };
    try {
        const CheckSummary s = check.run();
        progress.finish();
        std::printf("%s: %d linhas de %s verificadas", qPrintable(s.output), s.rows, qPrintable(s.language));
        if (options.obsolete)
            std::printf(" (%d obsoletas)", s.obsolete);
        std::printf("; %d não traduzidas, %d longas demais", s.untranslated, s.tooLong);
        if (options.others)
            std::printf(", %d outros achados (%d %s)", s.others, s.erros, s.erros == 1 ? "erro" : "erros");
        std::printf(".\n");
        // A script that gates on the check learns whether a screen would break.
        return s.erros > 0 ? ErroFound : 0;
    } catch (const CheckError& e) {
        progress.finish();
        std::fprintf(stderr, "trd-check: %s\n", qPrintable(e.Message()));
        return e.exitCode();
    } catch (const trd::Exception& e) {
        progress.finish();
        std::fprintf(stderr, "trd-check: %s\n", qPrintable(e.Message()));
        return 1;
    }
}
