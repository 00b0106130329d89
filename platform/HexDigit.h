#pragma once
// One hexadecimal digit, either case, as the client's unit ids and the
// server's percent-escapes spell bytes. Header only and free of Qt.

namespace trd {

// 0-15, or -1 when c is not a hexadecimal digit.
constexpr int hexDigit(char c) noexcept
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

} // namespace trd
