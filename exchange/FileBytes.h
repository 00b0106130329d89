#pragma once
// Checks that hold for every exchange file before a parser sees it: UTF-8
// and nothing else (a file in another encoding is refused at its first byte
// that UTF-8 does not allow, with its line), and line numbers for what the
// parsers report as byte offsets.
#include <QString>

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace trd::exchange {

struct ReadLimits;

// The whole file, refused before a parser sees it when it is missing, over the
// limit, unreadable or empty. Throws FileError.
std::string readFileBytes(const QString& path, const ReadLimits& limits);

// Throws FileError naming the line: a UTF-16 or UTF-32 byte order mark, a NUL
// byte, or a sequence that is not strict UTF-8.
void checkUtf8File(std::string_view bytes);

// Byte offset -> 1-based line number.
class LineIndex {
public:
    explicit LineIndex(std::string_view bytes);
    int lineAt(std::size_t offset) const;

private:
    std::vector<std::size_t> m_newlines;
};

} // namespace trd::exchange
