#pragma once
// The file of listed rows between the program that writes it (trd-check) and
// the filter dialog that reads it: the folder where the dialog looks first and
// the producer writes unless told otherwise, and the name both propose. The
// fields and their meaning are the server's (docs/listed-rows.md).
#include <QCoreApplication>
#include <QDir>
#include <QString>

namespace trd {

inline const QString NomeArquivoLista = QStringLiteral("CDSNTRAD.cds");

// The folder TRD beside the running program. The client and its tools are
// installed side by side, so a file written here is where the dialog starts.
// Linux paths have no short (8.3) form: the folder is taken as it stands.
inline QString PastaListas()
{
    return QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("TRD"));
}

} // namespace trd
