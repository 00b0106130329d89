#pragma once
// The framework's date-time value: a day count since 1899-12-30 whose fraction
// is the time of day. It is what the protocol carries and what date edits and
// packets hold; QDate/QDateTime are used only at the edges.
#include <QDate>
#include <QDateTime>
#include <QString>

#include <cstddef>
#include <string_view>

namespace trd {

using TDateTime = double;

// Days since 1899-12-30 of a date (no time of day).
TDateTime DateToDateTime(const QDate& date);
// The date part of a value (negative fractions follow the framework: the day is the integral part).
QDate DateTimeToDate(TDateTime value);
TDateTime QDateTimeToDateTime(const QDateTime& value); // local wall-clock time, no zone conversion
QDateTime DateTimeToQDateTime(TDateTime value);
TDateTime EncodeDate(int year, int month, int day); // 0 for an invalid date
TDateTime Date(); // today, local
TDateTime Now(); // now, local, millisecond precision

// Packet text forms: date "YYYYMMDD", time "HH:MM:SSmmm", dateTime "YYYYMMDDTHH:MM:SSmmm".
QString DateTimeToPacketText(TDateTime value);
// Parses any of the three packet forms; false when the text is none of them.
bool PacketTextToDateTime(QStringView text, TDateTime& value);

// The same packet forms on UTF-8 bytes by plain arithmetic (no QDateTime), for
// the packet codec's per-value path.
enum class PacketDateForm { Date, Time, DateTime };
bool parsePacketDateTime(std::string_view text, TDateTime& value);
// Writes the form into out (at least 24 bytes) and returns the length; 0 when
// the value lies outside the years 1 to 9999 or is not finite.
std::size_t formatPacketDateTime(TDateTime value, PacketDateForm form, char* out);

// "dd/mm/yyyy", the form date edits show (Brazilian order).
QString DateToStr(TDateTime value);
bool StrToDate(QStringView text, TDateTime& value);

} // namespace trd
