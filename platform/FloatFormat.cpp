#include "FloatFormat.h"

#include <QLocale>

#include <charconv>
#include <cmath>
#include <string>

namespace trd {

namespace {

// 15 significant digits rounded once from the exact binary value, laid out as
// the general format does. std::to_chars ignores the C locale, which Qt sets
// from the environment: printf would write a comma into the digits on a
// machine whose locale uses one.
template <typename Float>
QString generalFormat(Float value, QChar decimalSeparator)
{
    if (std::isnan(value))
        return QStringLiteral("NAN");
    if (std::isinf(value))
        return value > 0 ? QStringLiteral("INF") : QStringLiteral("-INF");
    if (value == 0)
        return QStringLiteral("0");

    char buf[64];
    const auto written = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::scientific, 14);
    const char* p = buf;
    const bool negative = *p == '-';
    if (negative)
        ++p;
    std::string digits;
    for (; p < written.ptr && *p != 'e'; ++p) {
        if (*p != '.')
            digits.push_back(*p);
    }
    int exponent = 0;
    if (p < written.ptr) {
        const char* e = p + 1;
        if (e < written.ptr && *e == '+')
            ++e;
        std::from_chars(e, written.ptr, exponent);
    }
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

template <typename Float>
bool readGeneral(QStringView text, QChar decimalSeparator, Float& value)
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

    Float parsed = 0;
    const auto [end, ec] = std::from_chars(ascii.data(), ascii.data() + ascii.size(), parsed);
    if (ec != std::errc() || end != ascii.data() + ascii.size() || !std::isfinite(parsed))
        return false;
    value = parsed;
    return true;
}

} // namespace

QString FloatToStrGeneral(double value, QChar decimalSeparator)
{
    return generalFormat(value, decimalSeparator);
}

QString ExtendedToStrGeneral(long double value, QChar decimalSeparator)
{
    return generalFormat(value, decimalSeparator);
}

bool TryStrToFloat(QStringView text, QChar decimalSeparator, double& value)
{
    return readGeneral(text, decimalSeparator, value);
}

bool TryStrToExtended(QStringView text, QChar decimalSeparator, long double& value)
{
    return readGeneral(text, decimalSeparator, value);
}

QChar DecimalSeparator()
{
    const QString point = QLocale::system().decimalPoint();
    return point.isEmpty() ? QLatin1Char('.') : point.at(0);
}

} // namespace trd
