#pragma once
// Finds the module package in the library folder, loads it once for the life
// of the process (its forms and code stay in use) and calls its exported entry.
#include <QString>

namespace trd {

class PackageLoader {
public:
    // package: the base name, e.g. "Pkg_Trd09300"; libDir: where it lies.
    PackageLoader(QString package, QString libDir);

    // The library folder: $TRD_LIB_DIR when set, else ../lib beside the executable.
    static QString DefaultLibDir(const QString& applicationDir);

    QString FilePath() const; // libDir/lib<package>.so

    // Loads the package (once) and calls the entry point by name. Returns false
    // with a Portuguese message in *error when the package or the symbol is
    // missing; what the entry itself raises reaches the caller.
    bool Call(const char* entry, QString* error);

private:
    QString m_package;
    QString m_libDir;
};

} // namespace trd
