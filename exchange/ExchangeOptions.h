#pragma once
// The command line of trd-exchange (docs/exchange.md, "Command line").
#include "ExchangeTypes.h"
#include "TermFile.h"

#include <QString>
#include <QStringList>

namespace trd::exchange {

struct ExchangeOptions {
    enum class Command {
        None,
        Export,
        Import,
        Release,
        PreTranslate,
        TermsExport,
        TermsImport
    } command = Command::None;
    QString server; // HOST:PORT as given; empty: $TRD_SERVER, else the default
    QString user; // log in as this user when the server asks
    QString caFile; // --tls-ca
    bool quiet = false;
    // export
    QString language;
    Format format = Format::Xliff12;
    TermFormat termFormat = TermFormat::Tbx; // terms-export
    QString output;
    QString statuses = QStringLiteral("TDN");
    QString filter; // a filter fragment, as the filter dialog writes it
    // import, terms-import
    QString file;
    bool apply = false;
    bool overwriteConflicts = false;
    bool acceptRefused = false;
    bool listAll = false;
    // release (FILE in `file`, --apply in `apply`)
    bool preview = false;
    bool confirm = false;
    int threshold = 70;
    int vanishLimit = 30;
    bool memory = true;
    bool help = false;
    QString helpText;
    QString error; // why the command line was refused
};

// Parses arguments (program name first). On success WebURL/WebPort/WebTls
// hold the server's address.
ExchangeOptions parseExchangeOptions(const QStringList& arguments);

// The export's file when -o is not given: LANGUAGE.xlf or LANGUAGE.po.
QString defaultOutput(const QString& language, Format format);

} // namespace trd::exchange
