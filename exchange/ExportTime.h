#pragma once
// The moment of an export, written into every file so that an import can tell
// which rows changed on the server since. The server keeps change dates as
// day counts on its local clock; the file says the same moment in ISO 8601
// with the server's UTC offset, which any tool can read and rewrite, and an
// import turns it back into the server's day count.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace trd::exchange {

// The server's clock at one moment: its local time as a day count since
// 1899-12-30 and its offset from UTC in minutes (east positive).
struct ServerClock {
    double localDays = 0;
    int offsetMinutes = 0;
};

// "2025-03-01T10:00:00.123-03:00".
std::string formatExportTime(const ServerClock& clock);
// Milliseconds since 1970-01-01 UTC; nullopt when the text is not a date-time
// with an offset ("Z", "+HH:MM" or "+HHMM"). Seconds and fractions may be left out.
std::optional<std::int64_t> parseExportTime(std::string_view text);
// The moment as a day count on a server clock that is `offsetMinutes` east of UTC.
double toServerDays(std::int64_t utcMs, int offsetMinutes);

} // namespace trd::exchange
