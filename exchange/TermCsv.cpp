#include "TermFile.h"

#include "FileBytes.h"

#include <QString>
#include <QStringList>

#include <algorithm>
#include <array>

namespace trd::exchange {

namespace {

// The columns, named as the glossary's fields (docs/protocol.md).
enum Column { Term, Preferred, Forbidden, DoNotTranslate, Note, Program, ColumnCount };
constexpr std::array<const char*, ColumnCount> ColumnNames = {"DSTERMO",       "DSPREFERIDAS", "DSPROIBIDAS",
                                                              "FLNAOTRADUZIR", "DSNOTA",       "CDPROGTRAD"};
constexpr std::size_t MaxTerms = 100000; // the server's limit of terms in a language

QString q(std::string_view text)
{
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

// A spreadsheet takes a cell that starts with one of these for a formula, so
// a text such as "=SOMA(A1)" would be evaluated when the file is opened. Such
// a text is written after an apostrophe, which makes the spreadsheet show it
// as text. A text that itself starts with apostrophes before one of these gets
// one more, and reading takes one off: every text reads back as it was.
constexpr std::string_view FormulaStarts = "=+-@\t\r";

bool startsLikeFormula(std::string_view value)
{
    const std::size_t at = value.find_first_not_of('\'');
    return at != std::string_view::npos && FormulaStarts.find(value[at]) != std::string_view::npos;
}

std::string unguarded(std::string value)
{
    if (!value.empty() && value.front() == '\'' && startsLikeFormula(value))
        value.erase(0, 1);
    return value;
}

void appendField(std::string& out, std::string_view value)
{
    std::string guarded;
    if (startsLikeFormula(value)) {
        guarded = '\'' + std::string(value);
        value = guarded;
    }
    const bool quote = value.find_first_of(",;\"\r\n") != std::string_view::npos
        || (!value.empty() && (value.front() == ' ' || value.back() == ' '));
    if (!quote) {
        out += value;
        return;
    }
    out += '"';
    for (char c : value) {
        if (c == '"')
            out += '"';
        out += c;
    }
    out += '"';
}

// RFC 4180 records: fields split by the separator, quoted fields may hold
// separators, doubled quotes and line breaks; CR LF or LF ends a record.
class CsvRecords {
public:
    CsvRecords(std::string_view bytes, char separator) : m_bytes(bytes), m_separator(separator)
    {
        if (m_bytes.substr(0, 3) == "\xEF\xBB\xBF")
            m_at = 3; // the byte order mark spreadsheets write
    }

    // The next record, or false at the end. `line` is where it starts.
    bool next(std::vector<std::string>& fields, int& line)
    {
        fields.clear();
        if (m_at >= m_bytes.size())
            return false;
        line = m_line;
        std::string field;
        bool quoted = false, wasQuoted = false;
        while (m_at < m_bytes.size()) {
            const char c = m_bytes[m_at++];
            if (quoted) {
                if (c == '"') {
                    if (m_at < m_bytes.size() && m_bytes[m_at] == '"') {
                        field += '"';
                        ++m_at;
                    } else {
                        quoted = false;
                    }
                } else {
                    if (c == '\n')
                        ++m_line;
                    field += c;
                }
                continue;
            }
            if (c == '"') {
                if (!field.empty() || wasQuoted)
                    throw FileError(m_line,
                                    QStringLiteral("aspas no meio de um campo: um campo com aspas vai todo "
                                                   "entre aspas, e as aspas dentro dele, dobradas."));
                quoted = wasQuoted = true;
            } else if (c == m_separator) {
                fields.push_back(std::move(field));
                field.clear();
                wasQuoted = false;
            } else if (c == '\r' && m_at < m_bytes.size() && m_bytes[m_at] == '\n') {
                continue; // the LF ends the record
            } else if (c == '\n') {
                ++m_line;
                fields.push_back(std::move(field));
                return true;
            } else {
                if (wasQuoted)
                    throw FileError(
                        m_line, QStringLiteral("texto depois das aspas que fecham um campo (aspas não dobradas?)."));
                field += c;
            }
        }
        if (quoted)
            throw FileError(line, QStringLiteral("um campo entre aspas não se fecha até o fim do arquivo."));
        fields.push_back(std::move(field));
        return true;
    }

private:
    std::string_view m_bytes;
    char m_separator;
    std::size_t m_at = 0;
    int m_line = 1;
};

} // namespace

void writeTermCsv(const TermFile& file, std::string& out)
{
    for (std::size_t c = 0; c < ColumnCount; ++c) {
        if (c > 0)
            out += ',';
        out += ColumnNames[c];
    }
    out += "\r\n";
    for (const TermEntry& t : file.terms) {
        appendField(out, t.source);
        out += ',';
        appendField(out, t.preferred);
        out += ',';
        appendField(out, t.forbidden);
        out += ',';
        out += t.doNotTranslate ? 'S' : 'N';
        out += ',';
        appendField(out, t.note);
        out += ',';
        appendField(out, t.program);
        out += "\r\n";
    }
}

TermFile readTermCsv(std::string_view bytes)
{
    checkUtf8File(bytes);
    // A spreadsheet set to Portuguese writes semicolons: the header tells.
    const std::string_view header = bytes.substr(0, bytes.find('\n'));
    const char separator =
        header.find(',') == std::string_view::npos && header.find(';') != std::string_view::npos ? ';' : ',';
    CsvRecords records(bytes, separator);
    std::vector<std::string> fields;
    int line = 0;
    if (!records.next(fields, line))
        throw FileError(0, QStringLiteral("o arquivo está vazio."));
    std::array<int, ColumnCount> at;
    at.fill(-1);
    for (std::size_t i = 0; i < fields.size(); ++i) {
        const QString name = q(fields[i]).trimmed();
        int found = -1;
        for (std::size_t c = 0; c < ColumnCount; ++c)
            if (name.compare(QLatin1String(ColumnNames[c]), Qt::CaseInsensitive) == 0)
                found = static_cast<int>(c);
        if (found < 0)
            throw FileError(line,
                            QStringLiteral("coluna desconhecida \"%1\" na primeira linha (as colunas são %2).")
                                .arg(name,
                                     QStringLiteral("DSTERMO, DSPREFERIDAS, DSPROIBIDAS, FLNAOTRADUZIR, "
                                                    "DSNOTA e CDPROGTRAD")));
        if (at[static_cast<std::size_t>(found)] >= 0)
            throw FileError(line, QStringLiteral("a coluna %1 aparece duas vezes.").arg(name));
        at[static_cast<std::size_t>(found)] = static_cast<int>(i);
    }
    if (at[Term] < 0)
        throw FileError(line, QStringLiteral("a primeira linha não tem a coluna DSTERMO (a linha de títulos falta?)."));
    TermFile file;
    file.given = {at[Preferred] >= 0, at[Forbidden] >= 0, at[DoNotTranslate] >= 0, at[Note] >= 0};
    const auto value = [&](Column c) -> std::string {
        return at[c] < 0 ? std::string() : std::move(fields[static_cast<std::size_t>(at[c])]);
    };
    while (records.next(fields, line)) {
        if (fields.size() == 1 && fields.front().empty())
            continue; // a blank line
        if (fields.size()
            != static_cast<std::size_t>(std::count_if(at.begin(), at.end(), [](int i) { return i >= 0; })))
            throw FileError(line,
                            QStringLiteral("a linha tem %1 campos e a de títulos, %2.")
                                .arg(fields.size())
                                .arg(std::count_if(at.begin(), at.end(), [](int i) { return i >= 0; })));
        if (file.terms.size() == MaxTerms)
            throw FileError(line,
                            QStringLiteral("o arquivo traz mais de %1 termos, o máximo de um idioma.").arg(MaxTerms));
        TermEntry t;
        t.line = line;
        const std::string flag = value(DoNotTranslate);
        if (flag == "S" || flag == "s")
            t.doNotTranslate = true;
        else if (!flag.empty() && flag != "N" && flag != "n")
            throw FileError(line, QStringLiteral("FLNAOTRADUZIR é S ou N, não \"%1\".").arg(q(flag)));
        t.source = unguarded(value(Term));
        t.preferred = unguarded(value(Preferred));
        t.forbidden = unguarded(value(Forbidden));
        t.note = unguarded(value(Note));
        t.program = unguarded(value(Program));
        file.terms.push_back(std::move(t));
    }
    return file;
}

} // namespace trd::exchange
