// The server's log: every entry starts with its UTC time and level, and
// nothing a client sends can start a line of its own or reach the terminal
// as a control sequence.
#include "Log.h"

#include <gtest/gtest.h>

#include <chrono>
#include <regex>
#include <sstream>
#include <string>

using namespace trd::server;

namespace {

std::chrono::system_clock::time_point at(long long ms)
{
    return std::chrono::system_clock::time_point(std::chrono::milliseconds(ms));
}

std::vector<std::string> linesOf(const std::string& text)
{
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

} // namespace

TEST(Log, AnEntryStartsWithItsUtcTimeAndLevel)
{
    // 2026-12-09 05:19:21.007 UTC
    const long long ms = 1796793561007LL;
    EXPECT_EQ(logEntry(at(ms), LogLevel::Info, "trd-server: encerrado"),
              "2026-12-09T05:19:21.007Z info trd-server: encerrado\n");
    EXPECT_EQ(logEntry(at(ms), LogLevel::Warning, "x\n"), "2026-12-09T05:19:21.007Z warning x\n");
    EXPECT_EQ(logEntry(at(0), LogLevel::Error, "x"), "1970-01-01T00:00:00.000Z error x\n");
}

TEST(Log, AClientsNewlineAndEscapeCannotStartALine)
{
    const std::string forged = "GetIdiTrad\n2026-12-09T05:19:21.007Z info 10.0.0.9 admin SetDestino 1.0 ms 9 bytes"
                               "\x1b[2J\x1b]0;titulo\x07\r";
    const std::string value = logValue(forged, 300);
    EXPECT_EQ(value.find_first_of("\n\r\x1b\x07"), std::string::npos) << value;
    EXPECT_NE(value.find("GetIdiTrad\\x0a2026"), std::string::npos) << value;
    EXPECT_NE(value.find("\\x1b[2J"), std::string::npos) << value;

    // Even a value that skipped logValue: the entry stays one entry, its
    // further lines indented, and no control byte goes out.
    const std::string entry = logEntry(at(0), LogLevel::Info, "127.0.0.1 - " + forged);
    const std::vector<std::string> lines = linesOf(entry);
    ASSERT_GE(lines.size(), 1u);
    const std::regex stamp("^\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\d\\.\\d{3}Z ");
    EXPECT_TRUE(std::regex_search(lines[0], stamp));
    for (std::size_t i = 1; i < lines.size(); ++i) {
        EXPECT_EQ(lines[i].rfind("    ", 0), 0u) << lines[i];
        EXPECT_FALSE(std::regex_search(lines[i], stamp)) << lines[i];
    }
    for (const char c : entry)
        EXPECT_TRUE(c == '\n' || static_cast<unsigned char>(c) >= 0x20) << static_cast<int>(c);
}

TEST(Log, ValuesKeepTheirTextAndLoseWhatIsNotText)
{
    struct Case {
        const char* why;
        std::string value;
        std::string logged;
    };
    const Case cases[] = {
        {"plain and accented text as it is", "Ação 127.0.0.1 €", "Ação 127.0.0.1 €"},
        {"a backslash doubled: an escape in the log is always ours", "a\\x0ab", "a\\\\x0ab"},
        {"a byte that is not UTF-8", "a\xff", "a\\xff"},
        {"an overlong slash", "\xc0\xaf", "\\xc0\\xaf"},
        {"a surrogate", "\xed\xa0\x80", "\\xed\\xa0\\x80"},
        {"a sequence cut short", "a\xc3", "a\\xc3"},
        {"the C1 control sequence introducer",
         "\xc2\x9b"
         "2J",
         "\\xc2\\x9b2J"},
        {"a line separator",
         "a\xe2\x80\xa8"
         "b",
         "a\\xe2\\x80\\xa8b"},
        {"a mark that reverses the line",
         "\xe2\x80\xae"
         "nimda",
         "\\xe2\\x80\\xaenimda"},
        {"DEL and tab", "\x7f\t", "\\x7f\\x09"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(logValue(c.value), c.logged) << c.why;

    // Cut to the bound, never inside an escape or a character.
    EXPECT_EQ(logValue(std::string(200, 'M'), 64), std::string(64, 'M') + "...");
    const std::string cut = logValue("ççççç\n\n\n", 9);
    EXPECT_EQ(cut, "çççç...");
    EXPECT_EQ(logValue("abcdef\n", 8), "abcdef...");
}

TEST(Log, OneEntryIsWrittenWhole)
{
    testing::internal::CaptureStderr();
    logFormat(LogLevel::Warning, "trd-server: %d de %d páginas\n\x1b", 3, 4);
    const std::string written = testing::internal::GetCapturedStderr();
    EXPECT_TRUE(std::regex_match(written,
                                 std::regex("^\\d{4}-\\d\\d-\\d\\dT[0-9:.]{12}Z warning trd-server: 3 de 4 "
                                            "páginas\n    \\\\x1b\n$")))
        << written;
}
