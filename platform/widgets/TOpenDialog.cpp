#include "TOpenDialog.h"

#include "TApplication.h"

#include <QFileInfo>
#include <QStringList>

namespace trd {

TOpenDialog::TOpenDialog(QObject* owner) : QObject(owner) {}

bool TOpenDialog::Execute()
{
    return Application()->Dialogs().ExecuteOpenDialog(*this);
}

QStringList TOpenDialog::QtNameFilters() const
{
    QStringList result;
    const QStringList parts = Filter.split(QLatin1Char('|'));
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        QString patterns = parts[i + 1];
        patterns.replace(QLatin1Char(';'), QLatin1Char(' '));
        result << QStringLiteral("%1 (%2)").arg(parts[i], patterns.trimmed());
    }
    return result;
}

QString TOpenDialog::WithDefaultExt(const QString& name) const
{
    if (name.isEmpty() || DefaultExt.isEmpty() || !QFileInfo(name).suffix().isEmpty())
        return name;
    QString ext = DefaultExt;
    if (ext.startsWith(QLatin1Char('.')))
        ext.remove(0, 1);
    return name + QLatin1Char('.') + ext;
}

} // namespace trd
