#include "TermFile.h"

#include "FileBytes.h"
#include "XliffReader.h"

#include <QDir>
#include <QFileInfo>
#include <QSaveFile>

namespace trd::exchange {

TermFile readTermFile(const QString& path, const std::string& language, const ReadLimits& limits)
{
    std::string bytes = readFileBytes(path, limits);
    return looksLikeXml(bytes) ? readTbx(bytes, language) : readTermCsv(bytes);
}

void writeTermFile(TermFormat format, const TermFile& terms, const QString& path)
{
    const QString folder = QFileInfo(path).absolutePath();
    if (!QDir().mkpath(folder))
        throw FileError(0, QStringLiteral("não foi possível criar a pasta %1.").arg(folder));
    std::string bytes;
    if (format == TermFormat::Tbx)
        writeTbx(terms, bytes);
    else
        writeTermCsv(terms, bytes);
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)
        || file.write(bytes.data(), static_cast<qint64>(bytes.size())) != static_cast<qint64>(bytes.size())
        || !file.commit())
        throw FileError(0, QStringLiteral("não foi possível gravar %1: %2.").arg(path, file.errorString()));
}

const char* termFormatName(TermFormat format)
{
    return format == TermFormat::Tbx ? "TBX" : "CSV";
}

const char* termFormatExtension(TermFormat format)
{
    return format == TermFormat::Tbx ? "tbx" : "csv";
}

std::optional<TermFormat> termFormatFromName(const std::string& name)
{
    const QString n = QString::fromStdString(name).toLower();
    if (n == QLatin1String("tbx"))
        return TermFormat::Tbx;
    if (n == QLatin1String("csv"))
        return TermFormat::Csv;
    return std::nullopt;
}

} // namespace trd::exchange
