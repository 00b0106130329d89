#pragma once
// The server's log: one entry per event on stderr, each starting with its
// time (UTC, ISO 8601 with milliseconds) and its level, so that entries of
// concurrent requests and of the background work read in order and the
// operator can tell a failure from a notice.
//
// What a client chose (a method name, a user name, a path, a header value)
// goes into an entry only through logValue, and the entry itself is escaped
// again as it is written: a line of the log always starts with a time the
// server wrote, never with bytes a client sent.
#include <chrono>
#include <cstddef>
#include <string>
#include <string_view>

namespace trd::server {

enum class LogLevel { Info, Warning, Error };

// Writes one entry. Control bytes, bytes that are not UTF-8 and the C1 and
// line-separator characters become \xNN; a line break of the server's own
// text (a list of findings) becomes an indented continuation line.
void logLine(LogLevel level, std::string_view text);

// logLine of a printf-style text.
void logFormat(LogLevel level, const char* format, ...) __attribute__((format(printf, 2, 3)));

// The entry logLine writes for this moment, with its line break.
std::string logEntry(std::chrono::system_clock::time_point when, LogLevel level, std::string_view text);

// The same entry as the journal takes it, when stderr is the journal's
// stream (systemd sets JOURNAL_STREAM to its device and inode): each line
// starts with the level's syslog priority, "<6>" info, "<4>" warning, "<3>"
// error, continuation lines included, and without the time, which the
// journal records itself.
std::string journalEntry(LogLevel level, std::string_view text);

// A value someone outside chose, ready for an entry: control and non-UTF-8
// bytes as \xNN, a backslash doubled, cut to at most max bytes (marked
// "..."), so a client can neither forge lines nor flood them.
std::string logValue(std::string_view value, std::size_t max = 120);

} // namespace trd::server
