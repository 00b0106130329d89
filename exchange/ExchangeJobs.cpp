#include "ExchangeJobs.h"

#include "FileBytes.h"
#include "PoFile.h"
#include "XliffReader.h"
#include "XliffWriter.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QTemporaryFile>

namespace trd::exchange {

namespace {

std::string localPath(const QString& path)
{
    return QFile::encodeName(path).toStdString();
}

} // namespace

void writeExchangeFile(Format format, const ExportHeader& header, const std::vector<Row>& rows, const QString& path)
{
    const QString folder = QFileInfo(path).absolutePath();
    if (!QDir().mkpath(folder))
        throw FileError(0, QStringLiteral("não foi possível criar a pasta %1.").arg(folder));
    if (format == Format::Po) {
        // gettext writes to a path: a temporary file beside the target,
        // renamed over it once complete, so a failed write leaves no half file.
        QTemporaryFile temp(folder + QStringLiteral("/.trd-exchange-XXXXXX.po"));
        if (!temp.open())
            throw FileError(0,
                            QStringLiteral("não é possível gravar na pasta %1: %2.").arg(folder, temp.errorString()));
        temp.close();
        writePo(header, rows, localPath(temp.fileName()));
        QFile::remove(path);
        if (!temp.rename(path))
            throw FileError(0, QStringLiteral("não foi possível gravar %1: %2.").arg(path, temp.errorString()));
        temp.setAutoRemove(false);
        QFile::setPermissions(
            path, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadGroup | QFileDevice::ReadOther);
        return;
    }
    std::string bytes;
    writeXliff(format, header, rows, bytes);
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)
        || file.write(bytes.data(), static_cast<qint64>(bytes.size())) != static_cast<qint64>(bytes.size())
        || !file.commit())
        throw FileError(0, QStringLiteral("não foi possível gravar %1: %2.").arg(path, file.errorString()));
}

ExportSummary runExport(const ServerAddress& address, const ExportRequest& request, const JobControl& control)
{
    ServerLink link(address, control);
    ExportHeader header;
    RowSelection selection = request.selection;
    selection.language = link.checkLanguage(selection.language);
    header.language = selection.language.toStdString();
    // The clock first: every change the rows below miss is dated after it.
    header.clock = link.clock();
    std::vector<Row> rows = link.rows(selection);
    control.checkCancel();
    control.report(QStringLiteral("Gravando %1 linhas em %2").arg(rows.size()).arg(request.path));
    sortForExport(rows);
    writeExchangeFile(request.format, header, rows, request.path);
    ExportSummary summary;
    summary.language = selection.language;
    summary.path = request.path;
    summary.rows = static_cast<int>(rows.size());
    summary.exportTime = QString::fromStdString(formatExportTime(header.clock));
    return summary;
}

Document readExchangeFile(const QString& path, const ReadLimits& limits)
{
    std::string bytes = readFileBytes(path, limits);
    if (looksLikeXml(bytes))
        return readXliff(bytes);
    return readPo(localPath(path), bytes);
}

ImportPreview prepareImport(const ServerAddress& address, const QString& path, const QString& language,
                            const JobControl& control, const ReadLimits& limits)
{
    ImportPreview preview;
    preview.path = path;
    control.report(QStringLiteral("Lendo %1").arg(path));
    preview.document = readExchangeFile(path, limits);
    control.checkCancel();
    const QString fileLanguage = QString::fromStdString(preview.document.language);
    if (fileLanguage.isEmpty() && language.isEmpty())
        throw ExchangeError(QStringLiteral("O arquivo não diz o idioma da tradução: informe o idioma."));
    if (!language.isEmpty() && !fileLanguage.isEmpty()
        && fileLanguage.compare(language.trimmed(), Qt::CaseInsensitive) != 0)
        throw ExchangeError(QStringLiteral("O arquivo é do idioma %1, não de %2: nada foi importado.")
                                .arg(fileLanguage, language.trimmed()));

    ServerLink link(address, control);
    preview.language = link.checkLanguage(language.isEmpty() ? fileLanguage : language);
    const ServerClock clock = link.clock();
    if (const auto utc = parseExportTime(preview.document.exportTime))
        preview.exportDays = toServerDays(*utc, clock.offsetMinutes);
    preview.rows = link.rowsWithDates(preview.language);
    control.checkCancel();
    control.report(QStringLiteral("Comparando %1 unidades com %2 linhas")
                       .arg(preview.document.units.size())
                       .arg(preview.rows.size()));
    preview.plan = planImport(preview.document, preview.rows, preview.exportDays);
    return preview;
}

AppliedImport applyImport(const ServerAddress& address, const ImportPreview& preview,
                          const std::vector<bool>& overwrite, bool acceptRefusals, const JobControl& control)
{
    const int refused = preview.plan.count(Outcome::Refused);
    if (refused > 0 && !acceptRefusals)
        throw ExchangeError(QStringLiteral("%1 unidade(s) do arquivo foram recusadas; nada foi gravado. Confirme para "
                                           "gravar as demais sem elas.")
                                .arg(refused));
    AppliedImport applied;
    const QByteArray delta = buildDelta(preview.plan, preview.rows, preview.language, overwrite, &applied.rows);
    if (applied.rows == 0)
        return applied;
    control.checkCancel();
    ServerLink link(address, control);
    applied.batch = link.applyAsImport(delta, preview.language);
    return applied;
}

} // namespace trd::exchange
