#include "Log.h"

#include "Utf8.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <ctime>
#include <cstdlib>
#include <mutex>
#include <sys/stat.h>
#include <unistd.h>

namespace trd::server {

namespace {

// Characters a terminal or a log viewer may act on instead of showing: C0
// and C1 controls, DEL, the line and paragraph separators, and the marks
// that reorder text (a line could read as another).
bool isActive(char32_t code)
{
    return code < 0x20 || (code >= 0x7f && code <= 0x9f) || code == 0x2028 || code == 0x2029 || code == 0x200e
        || code == 0x200f || (code >= 0x202a && code <= 0x202e) || (code >= 0x2066 && code <= 0x2069);
}

void appendHex(std::string& out, std::string_view bytes)
{
    static constexpr char Digits[] = "0123456789abcdef";
    for (const char c : bytes) {
        const auto b = static_cast<unsigned char>(c);
        out += "\\x";
        out += Digits[b >> 4];
        out += Digits[b & 0xf];
    }
}

// The piece of `text` at `at` as it may appear in the log; `used` is how many
// bytes of text it stands for.
std::string_view safePiece(std::string_view text, std::size_t at, std::size_t& used, std::string& scratch)
{
    // Overlong forms, surrogates and code points past U+10FFFF are no
    // character here either: their bytes are shown as \xNN.
    char32_t code = 0;
    const auto length = static_cast<std::size_t>(trd::utf8::decode(text, at, code));
    if (length > 0 && !isActive(code)) {
        used = length;
        return text.substr(at, length);
    }
    used = length > 0 ? length : 1;
    scratch.clear();
    appendHex(scratch, text.substr(at, used));
    return scratch;
}

const char* levelName(LogLevel level)
{
    switch (level) {
    case LogLevel::Warning:
        return "warning";
    case LogLevel::Error:
        return "error";
    case LogLevel::Info:
        break;
    }
    return "info";
}

} // namespace

std::string logValue(std::string_view value, std::size_t max)
{
    std::string out;
    out.reserve(std::min(value.size(), max) + 8);
    std::string scratch;
    for (std::size_t at = 0; at < value.size();) {
        std::size_t used = 1;
        const std::string_view piece =
            value[at] == '\\' ? std::string_view("\\\\") : safePiece(value, at, used, scratch);
        if (out.size() + piece.size() > max) {
            out += "...";
            break;
        }
        out += piece;
        at += used;
    }
    return out;
}

std::string logEntry(std::chrono::system_clock::time_point when, LogLevel level, std::string_view text)
{
    const std::time_t seconds = std::chrono::system_clock::to_time_t(when);
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(when.time_since_epoch()).count() % 1000;
    std::tm utc{};
    gmtime_r(&seconds, &utc);
    char stamp[80]; // room for any year the calendar can hold
    std::snprintf(stamp, sizeof stamp, "%04d-%02d-%02dT%02d:%02d:%02d.%03dZ ", utc.tm_year + 1900, utc.tm_mon + 1,
                  utc.tm_mday, utc.tm_hour, utc.tm_min, utc.tm_sec, static_cast<int>(ms < 0 ? ms + 1000 : ms));
    while (!text.empty() && text.back() == '\n')
        text.remove_suffix(1);
    std::string out = stamp;
    out += levelName(level);
    out += ' ';
    out.reserve(out.size() + text.size() + 8);
    std::string scratch;
    for (std::size_t at = 0; at < text.size();) {
        std::size_t used = 1;
        if (text[at] == '\n')
            out += "\n    ";
        else
            out += safePiece(text, at, used, scratch);
        at += used;
    }
    out += '\n';
    return out;
}

namespace {

// JOURNAL_STREAM is "DEVICE:INODE" of the stream systemd connected stderr
// to; a stderr redirected elsewhere since (a shell under the service) is
// not the journal, whatever the variable says.
bool stderrIsJournal()
{
    const char* stream = std::getenv("JOURNAL_STREAM");
    struct stat st { };
    if (!stream || ::fstat(STDERR_FILENO, &st) != 0)
        return false;
    unsigned long long device = 0, inode = 0;
    return std::sscanf(stream, "%llu:%llu", &device, &inode) == 2 && device == st.st_dev && inode == st.st_ino;
}

} // namespace

std::string journalEntry(LogLevel level, std::string_view text)
{
    const std::string entry = logEntry(std::chrono::system_clock::now(), level, text);
    const char* priority = level == LogLevel::Error ? "<3>" : level == LogLevel::Warning ? "<4>" : "<6>";
    std::string out;
    out.reserve(entry.size() + 16);
    // The first line without its time (up to the first blank).
    std::size_t at = entry.find(' ') + 1;
    while (at < entry.size()) {
        const std::size_t end = entry.find('\n', at);
        out += priority;
        out.append(entry, at, end - at + 1);
        at = end + 1;
    }
    return out;
}

void logLine(LogLevel level, std::string_view text)
{
    static const bool journal = stderrIsJournal();
    const std::string entry =
        journal ? journalEntry(level, text) : logEntry(std::chrono::system_clock::now(), level, text);
    // One write per entry, one entry at a time: entries of concurrent
    // requests never interleave.
    static std::mutex writing;
    std::lock_guard lock(writing);
    std::fwrite(entry.data(), 1, entry.size(), stderr);
    std::fflush(stderr);
}

void logFormat(LogLevel level, const char* format, ...)
{
    std::va_list args;
    va_start(args, format);
    std::va_list again;
    va_copy(again, args);
    const int size = std::vsnprintf(nullptr, 0, format, args);
    va_end(args);
    std::string text(size > 0 ? static_cast<std::size_t>(size) : 0, '\0');
    if (size > 0)
        std::vsnprintf(text.data(), text.size() + 1, format, again);
    va_end(again);
    logLine(level, text);
}

} // namespace trd::server
