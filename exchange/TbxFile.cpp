#include "TermFile.h"

#include "FileBytes.h"
#include "XmlGuards.h"
#include "XmlText.h"

#include <QString>
#include <QStringList>

#include <set>

namespace trd::exchange {

namespace {

// TBX-Basic's values of the data category administrativeStatus.
constexpr const char* Preferred = "preferredTerm-admn-sts";
constexpr const char* Deprecated = "deprecatedTerm-admn-sts";
// TBX-Basic has no data category for a term left as it is: the entry gives the
// source words as the preferred translation (so any reader translates it
// right) and marks that term group with this note.
constexpr std::string_view DoNotTranslateNote = "Não traduzir.";
// The server's limit of terms in a language: a file of more cannot be imported.
constexpr std::size_t MaxTerms = 100000;

QString q(std::string_view text)
{
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

void element(std::string& out, const char* indent, const char* open, std::string_view text, const char* close)
{
    out += indent;
    out += open;
    appendText(out, text);
    out += close;
}

std::vector<std::string_view> listLines(std::string_view list)
{
    std::vector<std::string_view> out;
    std::size_t start = 0;
    while (start <= list.size()) {
        std::size_t end = list.find('\n', start);
        if (end == std::string_view::npos)
            end = list.size();
        if (end > start)
            out.push_back(list.substr(start, end - start));
        start = end + 1;
    }
    return out;
}

void termGroup(std::string& out, std::string_view term, const char* status, bool doNotTranslate = false)
{
    element(out, "          ", "<tig>\n            <term>", term, "</term>\n");
    if (status) {
        out += "            <termNote type=\"administrativeStatus\">";
        out += status;
        out += "</termNote>\n";
    }
    if (doNotTranslate)
        element(out, "            ", "<note>", DoNotTranslateNote, "</note>\n");
    out += "          </tig>\n";
}

std::string_view localName(const pugi::xml_node& node)
{
    std::string_view name = node.name();
    const std::size_t colon = name.find(':');
    return colon == std::string_view::npos ? name : name.substr(colon + 1);
}

bool named(const pugi::xml_node& node, std::initializer_list<std::string_view> names)
{
    if (node.type() != pugi::node_element)
        return false;
    const std::string_view name = localName(node);
    for (std::string_view n : names)
        if (name == n)
            return true;
    return false;
}

pugi::xml_node child(const pugi::xml_node& parent, std::initializer_list<std::string_view> names)
{
    for (pugi::xml_node c = parent.first_child(); c; c = c.next_sibling())
        if (named(c, names))
            return c;
    return {};
}

std::string text(const pugi::xml_node& node)
{
    std::string out;
    for (pugi::xml_node c = node.first_child(); c; c = c.next_sibling()) {
        if (c.type() == pugi::node_pcdata || c.type() == pugi::node_cdata)
            out += c.value();
        else if (c.type() == pugi::node_element)
            out += text(c); // inline markup (<hi>) keeps its text
    }
    return out;
}

std::string trimmed(std::string s)
{
    const std::size_t a = s.find_first_not_of(" \t\r\n");
    if (a == std::string::npos)
        return {};
    const std::size_t b = s.find_last_not_of(" \t\r\n");
    return s.substr(a, b - a + 1);
}

std::string languageOf(const pugi::xml_node& set)
{
    return set.attribute("xml:lang").value();
}

bool isPortuguese(std::string_view language)
{
    return language.size() >= 2 && (language[0] == 'p' || language[0] == 'P')
        && (language[1] == 't' || language[1] == 'T')
        && (language.size() == 2 || language[2] == '-' || language[2] == '_');
}

bool sameLanguage(std::string_view a, std::string_view b)
{
    return QString::compare(q(a), q(b), Qt::CaseInsensitive) == 0;
}

void appendLine(std::string& list, const std::string& line)
{
    if (line.empty())
        return;
    if (!list.empty())
        list += '\n';
    list += line;
}

class TbxReader {
public:
    TbxReader(const LineIndex& lines, std::string language) : m_lines(lines), m_language(std::move(language)) { }

    TermFile read(const pugi::xml_document& doc)
    {
        const pugi::xml_node root = doc.document_element();
        if (!named(root, {"martif", "tbx"}))
            throw FileError(
                lineOf(root),
                QStringLiteral("o elemento raiz é <%1>, não <martif>: não é um arquivo TBX.").arg(q(root.name())));
        const pugi::xml_node body = child(child(root, {"text"}), {"body"});
        if (!body)
            throw FileError(lineOf(root), QStringLiteral("o arquivo TBX não tem <text><body>."));
        std::vector<pugi::xml_node> entries;
        for (pugi::xml_node e = body.first_child(); e; e = e.next_sibling())
            if (named(e, {"termEntry", "conceptEntry"}))
                entries.push_back(e);
        pickTarget(entries);
        for (const pugi::xml_node& e : entries)
            readEntry(e);
        if (m_file.terms.size() > MaxTerms)
            throw FileError(m_file.terms[MaxTerms].line,
                            QStringLiteral("o arquivo traz mais de %1 termos, o máximo de um idioma.").arg(MaxTerms));
        return std::move(m_file);
    }

private:
    int lineOf(const pugi::xml_node& node) const
    {
        const std::ptrdiff_t offset = node.offset_debug();
        return offset < 0 ? 0 : m_lines.lineAt(static_cast<std::size_t>(offset));
    }

    static std::vector<pugi::xml_node> languageSets(const pugi::xml_node& entry)
    {
        std::vector<pugi::xml_node> sets;
        for (pugi::xml_node s = entry.first_child(); s; s = s.next_sibling())
            if (named(s, {"langSet", "langSec"}))
                sets.push_back(s);
        return sets;
    }

    // The source set of an entry: the Portuguese one, else the first (as
    // term tools write them, source first).
    static pugi::xml_node sourceSet(const std::vector<pugi::xml_node>& sets)
    {
        for (const pugi::xml_node& s : sets)
            if (isPortuguese(languageOf(s)))
                return s;
        return sets.empty() ? pugi::xml_node() : sets.front();
    }

    // The destination: the import's language where the file names it; else
    // the one other language of the whole file (a tool that wrote "xx" or its
    // own code for it). Several others and none of them the import's: refused.
    void pickTarget(const std::vector<pugi::xml_node>& entries)
    {
        std::set<std::string> others;
        int firstLine = 0;
        for (const pugi::xml_node& e : entries) {
            const std::vector<pugi::xml_node> sets = languageSets(e);
            const pugi::xml_node source = sourceSet(sets);
            for (const pugi::xml_node& s : sets) {
                if (s == source)
                    continue;
                const std::string lang = languageOf(s);
                if (!m_language.empty() && sameLanguage(lang, m_language)) {
                    m_file.language = lang;
                    return;
                }
                if (others.insert(lang).second && firstLine == 0)
                    firstLine = lineOf(s);
            }
        }
        if (others.size() == 1) {
            m_file.language = *others.begin();
            return;
        }
        if (others.size() > 1) {
            QStringList names;
            for (const std::string& o : others)
                names << q(o);
            throw FileError(firstLine,
                            QStringLiteral("o arquivo traz os idiomas %1 e nenhum deles é %2.")
                                .arg(names.join(QStringLiteral(", ")), q(m_language)));
        }
    }

    void readEntry(const pugi::xml_node& entry)
    {
        const std::vector<pugi::xml_node> sets = languageSets(entry);
        const pugi::xml_node source = sourceSet(sets);
        if (!source)
            throw FileError(lineOf(entry), QStringLiteral("o termo não tem <langSet> com o texto de origem."));
        TermEntry values;
        values.line = lineOf(entry);
        std::string notes, definitions;
        for (pugi::xml_node c = entry.first_child(); c; c = c.next_sibling()) {
            if (named(c, {"admin"}) && std::string_view(c.attribute("type").value()) == "projectSubset")
                values.program = trimmed(text(c));
            else if (named(c, {"note"}))
                appendLine(notes, trimmed(text(c)));
            else if (named(c, {"descrip"}))
                appendLine(definitions, trimmed(text(c)));
        }
        values.note = notes.empty() ? definitions : notes;
        for (const pugi::xml_node& s : sets)
            if (s != source && sameLanguage(languageOf(s), m_file.language))
                readTranslations(s, values);
        std::vector<std::string> words;
        for (pugi::xml_node g = source.first_child(); g; g = g.next_sibling())
            if (named(g, {"tig", "ntig", "termSec"}))
                words.push_back(trimmed(termOf(g)));
        if (words.empty())
            throw FileError(lineOf(source), QStringLiteral("o <langSet> de origem não tem <term>."));
        // Synonyms of the source share the entry's translations: a term each.
        for (std::string& w : words) {
            TermEntry t = values;
            t.source = std::move(w);
            m_file.terms.push_back(std::move(t));
        }
    }

    static std::string termOf(const pugi::xml_node& group)
    {
        for (pugi::xml_node t = group.first_child(); t; t = t.next_sibling()) {
            if (named(t, {"term"}))
                return text(t);
            if (named(t, {"termGrp"}))
                return termOf(t);
        }
        return {};
    }

    static void readTranslations(const pugi::xml_node& set, TermEntry& values)
    {
        for (pugi::xml_node g = set.first_child(); g; g = g.next_sibling()) {
            if (!named(g, {"tig", "ntig", "termSec"}))
                continue;
            const std::string term = trimmed(termOf(g));
            bool forbidden = false, keep = false;
            const auto look = [&](const pugi::xml_node& holder, const auto& self) -> void {
                for (pugi::xml_node n = holder.first_child(); n; n = n.next_sibling()) {
                    if (named(n, {"termGrp"})) {
                        self(n, self); // a TBX ntig: the notes sit beside the term in its group
                    } else if (named(n, {"termNote"})) {
                        const std::string_view type = n.attribute("type").value();
                        const std::string status = trimmed(text(n));
                        if (type == "administrativeStatus" || type == "normativeAuthorization")
                            forbidden = status.starts_with("deprecated") || status.starts_with("superseded");
                    } else if (named(n, {"note"}) && trimmed(text(n)) == DoNotTranslateNote) {
                        keep = true;
                    }
                }
            };
            look(g, look);
            if (keep)
                values.doNotTranslate = true;
            else
                appendLine(forbidden ? values.forbidden : values.preferred, term);
        }
    }

    const LineIndex& m_lines;
    std::string m_language;
    TermFile m_file;
};

} // namespace

void writeTbx(const TermFile& file, std::string& out)
{
    out += "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<martif type=\"TBX-Basic\" xml:lang=\"";
    out += TermSourceLanguage;
    out += "\">\n  <martifHeader>\n    <fileDesc>\n      <sourceDesc>\n";
    element(out, "        ", "<p>", "Glossário de " + file.language, "</p>\n");
    out += "      </sourceDesc>\n    </fileDesc>\n    <encodingDesc>\n"
           "      <p type=\"XCSURI\">TBXBasicXCSV02.xcs</p>\n    </encodingDesc>\n  </martifHeader>\n"
           "  <text>\n    <body>\n";
    int id = 0;
    for (const TermEntry& t : file.terms) {
        out += "      <termEntry id=\"t";
        out += std::to_string(++id);
        out += "\">\n";
        if (!t.program.empty())
            element(out, "        ", "<admin type=\"projectSubset\">", t.program, "</admin>\n");
        if (!t.note.empty())
            element(out, "        ", "<note>", t.note, "</note>\n");
        out += "        <langSet xml:lang=\"";
        out += TermSourceLanguage;
        out += "\">\n";
        termGroup(out, t.source, nullptr);
        out += "        </langSet>\n";
        const std::vector<std::string_view> preferred = listLines(t.preferred), forbidden = listLines(t.forbidden);
        if (t.doNotTranslate || !preferred.empty() || !forbidden.empty()) {
            out += "        <langSet xml:lang=\"";
            appendAttr(out, file.language);
            out += "\">\n";
            if (t.doNotTranslate)
                termGroup(out, t.source, Preferred, true);
            for (std::string_view p : preferred)
                termGroup(out, p, Preferred);
            for (std::string_view f : forbidden)
                termGroup(out, f, Deprecated);
            out += "        </langSet>\n";
        }
        out += "      </termEntry>\n";
    }
    out += "    </body>\n  </text>\n</martif>\n";
}

TermFile readTbx(std::string& bytes, const std::string& language)
{
    pugi::xml_document doc;
    const LineIndex lines = loadXmlFile(bytes, doc, "TBX", true);
    TbxReader reader(lines, language);
    return reader.read(doc);
}

} // namespace trd::exchange
