#include "XliffWriter.h"

#include "StatusMap.h"
#include "UnitId.h"
#include "XmlText.h"

#include <algorithm>
#include <tuple>

namespace trd::exchange {

namespace {

void attr(std::string& out, const char* name, std::string_view value)
{
    out += ' ';
    out += name;
    out += "=\"";
    appendAttr(out, value);
    out += '"';
}

class Writer {
public:
    Writer(Format format, const ExportHeader& header, std::string& out) : m_v2(format == Format::Xliff21), m_out(out)
    {
        m_time = formatExportTime(header.clock);
        m_original = "Trd09300/" + header.language;
        m_out += "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
        if (m_v2) {
            m_out += "<xliff xmlns=\"urn:oasis:names:tc:xliff:document:2.0\""
                     " xmlns:mda=\"urn:oasis:names:tc:xliff:metadata:2.0\" version=\"2.1\"";
            attr(m_out, "srcLang", SourceLanguage);
            attr(m_out, "trgLang", header.language);
            m_out += ">\n <file id=\"f1\"";
            attr(m_out, "original", m_original);
            m_out += " xml:space=\"preserve\">\n"
                     "  <mda:metadata>\n   <mda:metaGroup category=\"trd\">\n"
                     "    <mda:meta type=\"export-time\">";
            appendText(m_out, m_time);
            m_out += "</mda:meta>\n    <mda:meta type=\"language\">";
            appendText(m_out, header.language);
            m_out += "</mda:meta>\n   </mda:metaGroup>\n  </mda:metadata>\n";
        } else {
            m_out += "<xliff xmlns=\"urn:oasis:names:tc:xliff:document:1.2\" version=\"1.2\">\n <file";
            attr(m_out, "original", m_original);
            attr(m_out, "source-language", SourceLanguage);
            attr(m_out, "target-language", header.language);
            m_out += " datatype=\"plaintext\"";
            attr(m_out, "date", m_time);
            m_out += ">\n  <header>\n   <tool tool-id=\"trd-exchange\" tool-name=\"trd-exchange\"/>\n  </header>\n"
                     "  <body>\n";
        }
    }

    void row(const Row& r)
    {
        if (!m_inGroup || r.program != m_program) {
            closeGroup();
            m_program = r.program;
            m_inGroup = true;
            m_out += m_v2 ? "  <group" : "   <group";
            attr(m_out, "id", groupId(r.program));
            attr(m_out, m_v2 ? "name" : "resname", r.program);
            if (!m_v2)
                m_out += " xml:space=\"preserve\"";
            m_out += ">\n";
        }
        const UnitKey key = unitKey(r.program, r.component, r.source);
        m_keys.push_back(key);
        const std::string id = unitId(key);
        if (m_v2) {
            m_out += "   <unit";
            attr(m_out, "id", id);
            attr(m_out, "name", r.component);
            m_out += ">\n    <segment";
            attr(m_out, "state", status::xliff21State(r.status));
            if (r.status == 'D')
                attr(m_out, "subState", status::DoubtfulSubState);
            m_out += ">\n     <source>";
            appendText(m_out, r.source);
            m_out += "</source>\n     <target>";
            appendText(m_out, r.destination);
            m_out += "</target>\n    </segment>\n   </unit>\n";
        } else {
            m_out += "    <trans-unit";
            attr(m_out, "id", id);
            attr(m_out, "resname", r.component);
            if (r.status == 'T')
                m_out += " approved=\"yes\"";
            m_out += ">\n     <source>";
            appendText(m_out, r.source);
            m_out += "</source>\n     <target";
            attr(m_out, "state", status::xliff12State(r.status));
            m_out += '>';
            appendText(m_out, r.destination);
            m_out += "</target>\n    </trans-unit>\n";
        }
    }

    void finish()
    {
        checkDistinctKeys(m_keys);
        closeGroup();
        m_out += m_v2 ? " </file>\n</xliff>\n" : "  </body>\n </file>\n</xliff>\n";
    }

private:
    void closeGroup()
    {
        if (m_inGroup)
            m_out += m_v2 ? "  </group>\n" : "   </group>\n";
        m_inGroup = false;
    }

    bool m_v2;
    std::string& m_out;
    std::string m_time, m_original, m_program;
    bool m_inGroup = false;
    std::vector<UnitKey> m_keys;
};

} // namespace

void checkDistinctKeys(std::vector<UnitKey>& keys)
{
    std::sort(keys.begin(), keys.end());
    const auto twin = std::adjacent_find(keys.begin(), keys.end());
    if (twin != keys.end())
        throw FileError(
            0, QStringLiteral("duas linhas com a mesma identificação %1.").arg(QString::fromStdString(unitId(*twin))));
}

void writeXliff(Format format, const ExportHeader& header, const std::vector<Row>& rows, std::string& out)
{
    std::size_t textBytes = 0;
    for (const Row& r : rows)
        textBytes += r.source.size() + r.destination.size() + r.component.size();
    out.reserve(out.size() + textBytes + rows.size() * 200 + 1024);
    Writer writer(format, header, out);
    for (const Row& r : rows)
        writer.row(r);
    writer.finish();
}

void sortForExport(std::vector<Row>& rows)
{
    std::sort(rows.begin(), rows.end(), [](const Row& a, const Row& b) {
        return std::tie(a.program, a.component, a.source) < std::tie(b.program, b.component, b.source);
    });
}

} // namespace trd::exchange
