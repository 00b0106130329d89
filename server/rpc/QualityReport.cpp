#include "QualityReport.h"

#include "ProgramChecks.h"

#include <QList>
#include <QString>

#include <array>

namespace trd::server {

namespace {

struct Row {
    QString component;
    QString source;
    QString destination;
    QString status;
};

struct Tally {
    int count = 0;
    QString component; // of the first finding
    QString message;
};

QString fromUtf8(std::string_view text)
{
    return QString::fromUtf8(text.data(), qsizetype(text.size()));
}

// The rows of one program at a time: a conflict of shortcut letters is
// between texts of one screen.
class ProgramChecks {
public:
    explicit ProgramChecks(AnswerPacketWriter& packet) : m_packet(packet) { }

    void add(const TranslationRowView& row)
    {
        if (!m_rows.isEmpty() && row.program != m_program)
            flush();
        if (m_rows.isEmpty())
            m_program.assign(row.program);
        m_rows.append({fromUtf8(row.component), fromUtf8(row.source), fromUtf8(row.destination), fromUtf8(row.status)});
    }

    void flush()
    {
        if (m_rows.isEmpty())
            return;
        QList<quality::RowTexts> texts;
        texts.reserve(m_rows.size());
        for (const Row& r : m_rows)
            texts.append({r.component, r.source, r.destination, r.status});
        std::array<Tally, quality::CheckCount> tallies;
        quality::checkProgram(texts, quality::RowOptions{}, [&](qsizetype row, const quality::Finding& f) {
            Tally& t = tallies[static_cast<std::size_t>(f.check)];
            if (t.count++ == 0) {
                t.component = m_rows[row].component;
                t.message = f.message.left(200);
            }
        });
        for (const quality::CheckInfo& check : quality::allChecks()) {
            const Tally& t = tallies[static_cast<std::size_t>(check.id)];
            if (t.count == 0)
                continue;
            m_packet.beginRow();
            m_packet.string(0, m_program);
            m_packet.string(1, check.code.toString().toStdString());
            m_packet.string(2, check.title.toString().toStdString());
            m_packet.string(3, quality::severityText(check.severity).toStdString());
            m_packet.number(4, t.count);
            m_packet.string(5, t.component.toStdString());
            m_packet.string(6, t.message.toStdString());
            m_packet.endRow();
        }
        m_rows.clear();
    }

private:
    AnswerPacketWriter& m_packet;
    std::string m_program;
    QList<Row> m_rows;
};

} // namespace

void runFindingsByProgram(StorageSession& session, const std::string& language, AnswerBuffer& out)
{
    RowSelection selection;
    selection.language = language;
    selection.statuses = "TDN";
    AnswerPacketWriter packet(out, FindingsByProgramFields);
    ProgramChecks checks(packet);
    // Rows come ordered by program.
    session.selectRows(selection, [&checks](const TranslationRowView& row) { checks.add(row); });
    checks.flush();
    packet.finish();
}

} // namespace trd::server
