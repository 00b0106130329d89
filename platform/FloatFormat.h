#pragma once
// The general float format of the framework and its reverse, with the user's
// decimal separator: at most 15 significant digits, no thousands separator,
// scientific notation below 1E-5 or at 1E15 and above, the exponent written
// without plus sign or leading zeros ("1E-7", "1.5E20").
#include <QChar>
#include <QString>
#include <QStringView>

namespace trd {

QString FloatToStrGeneral(double value, QChar decimalSeparator);
// The same from an extended-precision value, rounded once from it.
QString ExtendedToStrGeneral(long double value, QChar decimalSeparator);
// Optional sign, digits, the decimal separator, optional exponent; blanks
// around are ignored; anything else is refused (returns false).
bool TryStrToFloat(QStringView text, QChar decimalSeparator, double& value);
// The same into extended precision: the nearest extended value to the text.
bool TryStrToExtended(QStringView text, QChar decimalSeparator, long double& value);
// The user's decimal separator (from the system locale).
QChar DecimalSeparator();

} // namespace trd
