#include "TOpenDialog.h"

#include "TApplication.h"

#include <QFileInfo>
#include <QStringList>

namespace trd {

TOpenDialog::TOpenDialog(QObject* owner) : QObject(owner)
{
}

bool TOpenDialog::Execute()
{
    return Application()->Dialogs().ExecuteOpenDialog(*this);
}

namespace {

// The framework's patterns find names whatever their case, as Windows does;
// on a case-sensitive file system "*.CDS" alone would hide "lista.cds". Each
// ASCII letter outside a bracket set becomes a set of its two cases, a form
// both Qt's own dialog and the desktop's native one read.
QString anyCase(const QString& pattern)
{
    QString result;
    result.reserve(pattern.size() * 4);
    bool inSet = false;
    for (const QChar c : pattern) {
        if (c == u'[')
            inSet = true;
        else if (c == u']')
            inSet = false;
        const char16_t u = c.unicode();
        const bool asciiLetter = (u >= u'a' && u <= u'z') || (u >= u'A' && u <= u'Z');
        if (asciiLetter && !inSet)
            result += QLatin1Char('[') + c.toLower() + c.toUpper() + QLatin1Char(']');
        else
            result += c;
    }
    return result;
}

} // namespace

QStringList TOpenDialog::QtNameFilters() const
{
    QStringList result;
    const QStringList parts = Filter.split(QLatin1Char('|'));
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        QStringList patterns;
        for (const QString& pattern : parts[i + 1].split(QLatin1Char(';'), Qt::SkipEmptyParts))
            patterns << anyCase(pattern.trimmed());
        result << QStringLiteral("%1 (%2)").arg(parts[i], patterns.join(QLatin1Char(' ')));
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
