// Feeds arbitrary bytes to the report definition reader. Any input must either
// read or raise EReportError naming the file; whatever reads must write a
// definition that reads again and writes the same bytes.
#include "ReportDefinition.h"
#include "ReportError.h"

#include <cstdint>
#include <cstdlib>

using namespace trd;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    ReportDefinition def;
    try {
        def = ParseReportDefinition(bytes, QStringLiteral("fuzz.xml"));
    } catch (const EReportError& e) {
        if (!e.Message().contains(QStringLiteral("'fuzz.xml'")))
            std::abort();
        return 0;
    }
    const QByteArray once = WriteReportDefinition(def);
    try {
        const ReportDefinition back = ParseReportDefinition(once, QStringLiteral("again.xml"));
        if (WriteReportDefinition(back) != once)
            std::abort();
    } catch (const EReportError&) {
        std::abort(); // what we write must read
    }
    return 0;
}
