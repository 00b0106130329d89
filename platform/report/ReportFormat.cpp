#include "ReportFormat.h"

#include <QDateTime>

#include <cmath>

namespace trd {

namespace {

QString groupThousands(const QString& digits)
{
    QString out;
    const qsizetype n = digits.size();
    for (qsizetype i = 0; i < n; ++i) {
        if (i > 0 && (n - i) % 3 == 0)
            out += u'.';
        out += digits.at(i);
    }
    return out;
}

} // namespace

QString FormatReportNumber(double value, const QString& format)
{
    if (!std::isfinite(value))
        return QString();
    QString f = format.trimmed();
    const bool percent = f.endsWith(u'%');
    if (percent)
        f.chop(1);
    QString text;
    if (f.isEmpty()) {
        text = QString::number(value, 'g', 15);
        text.replace(u'.', u',');
    } else {
        const qsizetype dot = f.indexOf(u'.');
        const int decimals = dot < 0 ? 0 : static_cast<int>(f.size() - dot - 1);
        const bool thousands = f.contains(u',');
        text = QString::number(std::fabs(value), 'f', decimals);
        QString whole = text;
        QString fraction;
        if (const qsizetype p = text.indexOf(u'.'); p >= 0) {
            whole = text.left(p);
            fraction = text.mid(p + 1);
        }
        if (thousands)
            whole = groupThousands(whole);
        text = whole;
        if (!fraction.isEmpty())
            text += u',' + fraction;
        // No "-0": a value that rounds to zero has no sign.
        bool nonZero = false;
        for (QChar c : text)
            nonZero = nonZero || (c.isDigit() && c != u'0');
        if (value < 0 && nonZero)
            text.prepend(u'-');
    }
    if (percent)
        text += u'%';
    return text;
}

QString FormatReportValue(const QVariant& value, const QString& format)
{
    if (!value.isValid() || value.isNull())
        return QString();
    switch (value.typeId()) {
    case QMetaType::QString:
        return value.toString();
    case QMetaType::QDateTime: {
        const QDateTime dt = value.toDateTime();
        return dt.toString(format.isEmpty() ? QStringLiteral("dd/MM/yyyy") : format);
    }
    case QMetaType::QDate:
        return value.toDate().toString(format.isEmpty() ? QStringLiteral("dd/MM/yyyy") : format);
    case QMetaType::Double:
    case QMetaType::Float:
        return FormatReportNumber(value.toDouble(), format);
    case QMetaType::LongLong:
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::ULongLong:
        if (format.isEmpty())
            return QString::number(value.toLongLong());
        return FormatReportNumber(value.toDouble(), format);
    case QMetaType::Bool:
        return value.toBool() ? QStringLiteral("Sim") : QStringLiteral("Não");
    default:
        return value.toString();
    }
}

} // namespace trd
