#include "FloatFormat.h"

#include <QLocale>

#include <charconv>
#include <cmath>
#include <cstdio>
#include <string>

namespace trd {

QString FloatToStrGeneral(double value, QChar decimalSeparator)
{
    if (std::isnan(value))
        return QStringLiteral("NAN");
    if (std::isinf(value))
        return value > 0 ? QStringLiteral("INF") : QStringLiteral("-INF");
    if (value == 0)
        return QStringLiteral("0");

    // 15 significant digits, rounded once by the C library; we only lay them out.
    char buf[40];
    std::snprintf(buf, sizeof buf, "%.14e", value);
    const char* p = buf;
    const bool negative = *p == '-';
    if (negative)
        ++p;
    std::string digits;
    for (; *p && *p != 'e'; ++p) {
        if (*p != '.')
            digits.push_back(*p);
    }
    const int exponent = std::atoi(p + 1);
    while (digits.size() > 1 && digits.back() == '0')
        digits.pop_back();

    QString out;
    if (negative)
        out += QLatin1Char('-');
    const int nDigits = static_cast<int>(digits.size());
    if (exponent < -5 || exponent >= 15) {
        out += QLatin1Char(digits[0]);
        if (nDigits > 1) {
            out += decimalSeparator;
            out += QLatin1StringView(digits.data() + 1, nDigits - 1);
        }
        out += QLatin1Char('E');
        out += QString::number(exponent);
    } else if (exponent < 0) {
        out += QLatin1Char('0');
        out += decimalSeparator;
        out += QString(-exponent - 1, QLatin1Char('0'));
        out += QLatin1StringView(digits.data(), nDigits);
    } else {
        const int intDigits = exponent + 1;
        for (int i = 0; i < intDigits; ++i)
            out += QLatin1Char(i < nDigits ? digits[i] : '0');
        if (nDigits > intDigits) {
            out += decimalSeparator;
            out += QLatin1StringView(digits.data() + intDigits, nDigits - intDigits);
        }
    }
    return out;
}

bool TryStrToFloat(QStringView text, QChar decimalSeparator, double& value)
{
    text = text.trimmed();
    std::string ascii;
    ascii.reserve(static_cast<std::size_t>(text.size()));
    qsizetype i = 0;
    const qsizetype n = text.size();
    auto isDigit = [&](qsizetype k) { return k < n && text[k] >= u'0' && text[k] <= u'9'; };

    if (i < n && (text[i] == u'+' || text[i] == u'-')) {
        if (text[i] == u'-')
            ascii.push_back('-');
        ++i;
    }
    int mantissaDigits = 0;
    while (isDigit(i)) {
        ascii.push_back(static_cast<char>(text[i++].unicode()));
        ++mantissaDigits;
    }
    if (i < n && text[i] == decimalSeparator) {
        ascii.push_back('.');
        ++i;
        while (isDigit(i)) {
            ascii.push_back(static_cast<char>(text[i++].unicode()));
            ++mantissaDigits;
        }
    }
    if (mantissaDigits == 0)
        return false;
    if (i < n && (text[i] == u'e' || text[i] == u'E')) {
        ascii.push_back('e');
        ++i;
        if (i < n && (text[i] == u'+' || text[i] == u'-')) {
            ascii.push_back(static_cast<char>(text[i].unicode()));
            ++i;
        }
        if (!isDigit(i))
            return false;
        while (isDigit(i))
            ascii.push_back(static_cast<char>(text[i++].unicode()));
    }
    if (i != n)
        return false;

    double parsed = 0;
    const auto [end, ec] = std::from_chars(ascii.data(), ascii.data() + ascii.size(), parsed);
    if (ec != std::errc() || end != ascii.data() + ascii.size() || !std::isfinite(parsed))
        return false;
    value = parsed;
    return true;
}

QChar DecimalSeparator()
{
    const QString point = QLocale::system().decimalPoint();
    return point.isEmpty() ? QLatin1Char('.') : point.at(0);
}

} // namespace trd
