#pragma once
// How a report writes a value: numbers in the Brazilian form (comma for
// decimals, dot for thousands), dates day first, by a column's format.
#include <QString>
#include <QVariant>

namespace trd {

// Number formats: "0" (whole), "0.00" (two decimals), "#,##0.00" (thousands
// separated), a trailing "%" appends a percent sign (the value is not scaled).
// Date formats are Qt's date-time patterns ("dd/MM/yyyy HH:mm"). An empty
// format writes numbers with up to 15 significant digits and dates as dd/MM/yyyy.
QString FormatReportNumber(double value, const QString& format);
QString FormatReportValue(const QVariant& value, const QString& format);

} // namespace trd
