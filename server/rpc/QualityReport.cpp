#include "QualityReport.h"

#include "GlossaryCheck.h"
#include "ProgramChecks.h"
#include "TermStore.h"

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
QStringList lines(const std::string& text)
{
    QStringList out;
    for (const QString& l : fromUtf8(text).split(u'\n'))
        if (!l.trimmed().isEmpty())
            out << l;
    return out;
}

// The language's glossary while one report runs; none when the language has
// no terms, and then no dictionary is opened.
struct Glossary {
    std::unique_ptr<quality::GlossaryCheck> check;

    Glossary(StorageSession& session, const std::string& language, ReportDictionaries& dictionaries)
    {
        StatementDb* db = session.glossary();
        if (!db)
            return;
        QList<quality::GlossaryTerm> terms;
        for (const TermRecord& r : termstore::terms(*db, language)) {
            quality::GlossaryTerm t;
            t.id = r.id;
            t.source = fromUtf8(r.source);
            t.preferred = lines(r.preferred);
            t.forbidden = lines(r.forbidden);
            t.doNotTranslate = r.doNotTranslate;
            t.note = fromUtf8(r.note);
            t.program = fromUtf8(r.program);
            terms << t;
        }
        if (terms.isEmpty())
            return;
        check = std::make_unique<quality::GlossaryCheck>(std::move(terms), dictionaries.source(),
                                                         dictionaries.destination(language));
    }
};

class ProgramChecks {
public:
    ProgramChecks(AnswerPacketWriter& packet, quality::TermCheck* terms) : m_packet(packet) { m_options.terms = terms; }

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
        quality::checkProgram(QString::fromStdString(m_program), texts, m_options,
                              [&](qsizetype row, const quality::Finding& f) {
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
    quality::RowOptions m_options;
    std::string m_program;
    QList<Row> m_rows;
};

} // namespace

ReportDictionaries::ReportDictionaries() = default;
ReportDictionaries::~ReportDictionaries() = default;

quality::WordForms& ReportDictionaries::source()
{
    const std::lock_guard<std::mutex> hold(m_lock);
    if (!m_source)
        m_source = quality::sourceWordForms(quality::SpellSettings::defaults());
    return *m_source;
}

quality::WordForms& ReportDictionaries::destination(const std::string& language)
{
    const std::lock_guard<std::mutex> hold(m_lock);
    std::unique_ptr<quality::WordForms>& forms = m_destinations[language];
    if (!forms)
        forms = quality::destinationWordForms(quality::SpellSettings::defaults(), QString::fromStdString(language));
    return *forms;
}

void runFindingsByProgram(StorageSession& session, const std::string& language, ReportDictionaries& dictionaries,
                          AnswerBuffer& out)
{
    RowSelection selection;
    selection.language = language;
    selection.statuses = "TDN";
    Glossary glossary(session, language, dictionaries);
    AnswerPacketWriter packet(out, FindingsByProgramFields);
    ProgramChecks checks(packet, glossary.check.get());
    // Rows come ordered by program.
    session.selectRows(selection, [&checks](const TranslationRowView& row) { checks.add(row); });
    checks.flush();
    packet.finish();
}

} // namespace trd::server
