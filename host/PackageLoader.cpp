#include "PackageLoader.h"

#include <QDir>
#include <QFileInfo>
#include <QLibrary>

namespace trd {

PackageLoader::PackageLoader(QString package, QString libDir)
    : m_package(std::move(package)), m_libDir(std::move(libDir))
{
}

QString PackageLoader::DefaultLibDir(const QString& applicationDir)
{
    const QString fromEnv = qEnvironmentVariable("TRD_LIB_DIR");
    if (!fromEnv.isEmpty())
        return fromEnv;
    return QDir::cleanPath(applicationDir + QStringLiteral("/../lib"));
}

QString PackageLoader::FilePath() const
{
    return QDir(m_libDir).filePath(QStringLiteral("lib%1.so").arg(m_package));
}

bool PackageLoader::Call(const char* entry, QString* error)
{
    const QString path = FilePath();
    if (!QFileInfo::exists(path)) {
        if (error)
            *error = QStringLiteral("O pacote %1 não foi encontrado em %2.")
                         .arg(m_package, QDir::toNativeSeparators(m_libDir));
        return false;
    }
    // Never unloaded: its forms may outlive any call, and unloading code that
    // Qt still references (metaobjects, deferred deletes) would crash.
    QLibrary library(path);
    library.setLoadHints(QLibrary::PreventUnloadHint);
    if (!library.load()) {
        if (error)
            *error = QStringLiteral("Não foi possível carregar o pacote %1: %2").arg(m_package, library.errorString());
        return false;
    }
    using Entry = void (*)();
    auto function = reinterpret_cast<Entry>(library.resolve(entry));
    if (!function) {
        if (error)
            *error = QStringLiteral("O pacote %1 não exporta a rotina %2.").arg(m_package, QString::fromLatin1(entry));
        return false;
    }
    function();
    return true;
}

} // namespace trd
