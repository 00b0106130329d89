#include "FileBytes.h"

#include "ExchangeTypes.h"

#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cstring>

namespace trd::exchange {

namespace {

int lineOf(std::string_view bytes, std::size_t offset)
{
    return 1 + static_cast<int>(std::count(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(offset), '\n'));
}

// Length of the strict UTF-8 sequence at p, or 0 when it is not one.
std::size_t sequenceLength(const unsigned char* p, const unsigned char* end)
{
    const unsigned c = p[0];
    std::size_t n;
    unsigned min;
    if (c < 0x80)
        return 1;
    if (c >= 0xC2 && c <= 0xDF) {
        n = 2;
        min = 0x80;
    } else if (c >= 0xE0 && c <= 0xEF) {
        n = 3;
        min = 0x800;
    } else if (c >= 0xF0 && c <= 0xF4) {
        n = 4;
        min = 0x10000;
    } else
        return 0;
    if (static_cast<std::size_t>(end - p) < n)
        return 0;
    unsigned cp = c & (0xFF >> (n + 1));
    for (std::size_t i = 1; i < n; ++i) {
        if ((p[i] & 0xC0) != 0x80)
            return 0;
        cp = (cp << 6) | (p[i] & 0x3F);
    }
    if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
        return 0;
    return n;
}

} // namespace

std::string readFileBytes(const QString& path, const ReadLimits& limits)
{
    const QFileInfo info(path);
    if (!info.exists())
        throw FileError(0, QStringLiteral("o arquivo %1 não existe.").arg(path));
    if (info.size() > limits.maxFileBytes)
        throw FileError(0,
                        QStringLiteral("o arquivo tem %1 MiB; o máximo aceito é %2 MiB.")
                            .arg(info.size() >> 20)
                            .arg(limits.maxFileBytes >> 20));
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw FileError(0, QStringLiteral("não foi possível ler %1: %2.").arg(path, file.errorString()));
    std::string bytes(static_cast<std::size_t>(info.size()), '\0');
    const qint64 got = file.read(bytes.data(), static_cast<qint64>(bytes.size()));
    if (got < 0)
        throw FileError(0, QStringLiteral("não foi possível ler %1: %2.").arg(path, file.errorString()));
    bytes.resize(static_cast<std::size_t>(got));
    if (bytes.empty())
        throw FileError(0, QStringLiteral("o arquivo está vazio."));
    return bytes;
}

void checkUtf8File(std::string_view bytes)
{
    const auto* begin = reinterpret_cast<const unsigned char*>(bytes.data());
    const auto* const end = begin + bytes.size();
    if (bytes.size() >= 2 && ((begin[0] == 0xFF && begin[1] == 0xFE) || (begin[0] == 0xFE && begin[1] == 0xFF)))
        throw FileError(1, QStringLiteral("o arquivo está em UTF-16 (ou UTF-32); grave-o em UTF-8."));
    if (bytes.size() >= 4 && begin[0] == 0 && begin[1] == 0 && begin[2] == 0xFE && begin[3] == 0xFF)
        throw FileError(1, QStringLiteral("o arquivo está em UTF-32; grave-o em UTF-8."));
    const unsigned char* p = begin;
    while (p < end) {
        // Plain ASCII without NUL, eight bytes at a time.
        while (end - p >= 8) {
            std::uint64_t word;
            std::memcpy(&word, p, 8);
            constexpr std::uint64_t ones = 0x0101010101010101ull, highs = 0x8080808080808080ull;
            if ((word & highs) || ((word - ones) & ~word & highs))
                break;
            p += 8;
        }
        if (p == end)
            break;
        if (*p == 0)
            throw FileError(lineOf(bytes, static_cast<std::size_t>(p - begin)),
                            QStringLiteral("byte nulo: o arquivo não é texto em UTF-8 (UTF-16?)."));
        const std::size_t n = sequenceLength(p, end);
        if (n == 0)
            throw FileError(lineOf(bytes, static_cast<std::size_t>(p - begin)),
                            QStringLiteral("byte 0x%1 não é UTF-8: o arquivo deve estar em UTF-8 (está em Latin-1 ou "
                                           "Windows-1252?).")
                                .arg(QString::number(*p, 16).toUpper().rightJustified(2, QLatin1Char('0'))));
        p += n;
    }
}

LineIndex::LineIndex(std::string_view bytes)
{
    for (std::size_t i = bytes.find('\n'); i != std::string_view::npos; i = bytes.find('\n', i + 1))
        m_newlines.push_back(i);
}

int LineIndex::lineAt(std::size_t offset) const
{
    return 1 + static_cast<int>(std::lower_bound(m_newlines.begin(), m_newlines.end(), offset) - m_newlines.begin());
}

} // namespace trd::exchange
