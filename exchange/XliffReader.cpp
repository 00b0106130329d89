#include "XliffReader.h"

#include "FileBytes.h"
#include "StatusMap.h"

#include <pugixml.hpp>

#include <cctype>
#include <cstring>

namespace trd::exchange {

namespace {

QString q(std::string_view text)
{
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

bool startsWith(std::string_view text, std::size_t pos, std::string_view prefix)
{
    return text.compare(pos, prefix.size(), prefix) == 0;
}

bool isNameStart(unsigned char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_' || c == ':' || c >= 0x80;
}

bool isNameChar(unsigned char c)
{
    return isNameStart(c) || (c >= '0' && c <= '9') || c == '-' || c == '.';
}

// The entity references of the text outside comments, CDATA and processing
// instructions: only the five predefined ones and character references. pugixml
// expands no entity at all and would leave "&name;" in the text as it stands,
// so an undeclared reference is refused here rather than imported as text.
// DOCTYPE declarations: entities (internal, whose expansion is the attack) and
// external identifiers are refused; a bare DOCTYPE is harmless.
void checkMarkup(std::string_view text, const LineIndex& lines)
{
    std::size_t at = 0;
    auto fail = [&](const QString& reason) { throw FileError(lines.lineAt(at), reason); };
    // Only '<' and '&' matter: jump from one to the next with memchr rather
    // than looking at every byte of a file of tens of megabytes.
    const char* const base = text.data();
    const char* nextLt = static_cast<const char*>(std::memchr(base, '<', text.size()));
    const char* nextAmp = static_cast<const char*>(std::memchr(base, '&', text.size()));
    auto advance = [&](const char*& next, char c, std::size_t from) {
        next = from < text.size() ? static_cast<const char*>(std::memchr(base + from, c, text.size() - from)) : nullptr;
    };
    auto skipPast = [&](std::size_t from, std::string_view close) {
        const std::size_t stop = text.find(close, from);
        return stop == std::string_view::npos ? text.size() : stop + close.size();
    };
    while (nextLt || nextAmp) {
        const bool lt = nextLt && (!nextAmp || nextLt < nextAmp);
        at = static_cast<std::size_t>((lt ? nextLt : nextAmp) - base);
        if (lt) {
            std::size_t after = at + 1;
            if (startsWith(text, at, "<!--"))
                after = skipPast(at + 4, "-->");
            else if (startsWith(text, at, "<![CDATA["))
                after = skipPast(at + 9, "]]>");
            else if (startsWith(text, at, "<?"))
                after = skipPast(at + 2, "?>");
            else if (startsWith(text, at, "<!DOCTYPE")) {
                const std::size_t bracket = text.find('[', at);
                const std::size_t close = text.find('>', at);
                const bool subset = bracket != std::string_view::npos && bracket < close;
                const std::string_view outer = text.substr(at, (subset ? bracket : close) - at);
                if (subset && text.find("<!ENTITY", at) != std::string_view::npos)
                    fail(
                        QStringLiteral("o arquivo declara entidades (<!ENTITY>); expansão de entidades não é aceita."));
                if (outer.find("SYSTEM") != std::string_view::npos || outer.find("PUBLIC") != std::string_view::npos)
                    fail(QStringLiteral("o arquivo aponta para uma DTD externa (<!DOCTYPE ... SYSTEM/PUBLIC>); "
                                        "entidades externas não são aceitas. Remova a linha <!DOCTYPE>."));
                if (subset)
                    fail(
                        QStringLiteral("o arquivo traz declarações próprias (<!DOCTYPE [...]>), que não são aceitas."));
            }
            advance(nextLt, '<', after);
            if (nextAmp && nextAmp < base + after)
                advance(nextAmp, '&', after);
            continue;
        }
        std::size_t j = at + 1;
        if (j < text.size() && text[j] == '#') {
            ++j;
            const bool hex = j < text.size() && text[j] == 'x';
            if (hex)
                ++j;
            const std::size_t digits = j;
            while (j < text.size()
                   && (hex ? std::isxdigit(static_cast<unsigned char>(text[j]))
                           : std::isdigit(static_cast<unsigned char>(text[j]))))
                ++j;
            if (j == digits || j >= text.size() || text[j] != ';')
                fail(QStringLiteral("referência de caractere malformada."));
        } else {
            if (j >= text.size() || !isNameStart(static_cast<unsigned char>(text[j])))
                fail(QStringLiteral("\"&\" solto no texto: escreva &amp;amp;."));
            while (j < text.size() && isNameChar(static_cast<unsigned char>(text[j])))
                ++j;
            if (j >= text.size() || text[j] != ';')
                fail(QStringLiteral("referência de entidade malformada."));
            const std::string_view name = text.substr(at + 1, j - at - 1);
            if (name != "amp" && name != "lt" && name != "gt" && name != "quot" && name != "apos")
                fail(QStringLiteral("referência à entidade &%1; não declarada; entidades não são aceitas.")
                         .arg(q(name)));
        }
        advance(nextAmp, '&', j);
    }
}

std::string_view localName(const pugi::xml_node& node)
{
    std::string_view name = node.name();
    const std::size_t colon = name.find(':');
    return colon == std::string_view::npos ? name : name.substr(colon + 1);
}

bool attrIs(const pugi::xml_node& node, const char* name, std::string_view value)
{
    const pugi::xml_attribute a = node.attribute(name);
    return a && std::string_view(a.value()) == value;
}
// Elements nested deeper than any XLIFF needs (a unit sits five levels down,
// groups and inline markup add a few more) are refused before anything walks
// the tree: the reading below recurses through groups and inline markup, and
// a file of tens of thousands of nested <g> or <pc> would overflow its stack.
constexpr int MaxElementDepth = 256;

void checkDepth(const pugi::xml_document& doc, const LineIndex& lines)
{
    int depth = 0; // of `node`, counting elements from the root's 1
    pugi::xml_node node = doc.first_child();
    while (node) {
        if (node.type() == pugi::node_element) {
            ++depth;
            if (depth > MaxElementDepth) {
                const std::ptrdiff_t offset = node.offset_debug();
                throw FileError(offset < 0 ? 0 : lines.lineAt(static_cast<std::size_t>(offset)),
                                QStringLiteral("os elementos estão aninhados em mais de %1 níveis (<%2> dentro de "
                                               "<%3>...); um arquivo XLIFF não precisa de tantos.")
                                    .arg(MaxElementDepth)
                                    .arg(q(node.name()), q(node.parent().name())));
            }
            if (pugi::xml_node child = node.first_child()) {
                node = child;
                continue;
            }
            --depth;
        }
        // Up to the nearest ancestor with a next sibling; every element left
        // on the way up is one level less.
        while (node && !node.next_sibling()) {
            node = node.parent();
            if (node.type() == pugi::node_element)
                --depth;
            else
                node = pugi::xml_node(); // the document: done
        }
        if (node)
            node = node.next_sibling();
    }
}

class Reader {
public:
    explicit Reader(const LineIndex& lines) : m_lines(lines) { }

    Document read(pugi::xml_document& doc);

private:
    int lineOf(const pugi::xml_node& node) const
    {
        const std::ptrdiff_t offset = node.offset_debug();
        return offset < 0 ? 0 : m_lines.lineAt(static_cast<std::size_t>(offset));
    }

    void read12(const pugi::xml_node& root);
    void walk12(const pugi::xml_node& parent, const std::optional<std::string>& program);
    void unit12(const pugi::xml_node& tu, const std::optional<std::string>& program);
    void read2(const pugi::xml_node& root);
    void walk2(const pugi::xml_node& parent, const std::optional<std::string>& program);
    void unit2(const pugi::xml_node& unit, const std::optional<std::string>& program);
    // The text of an element with its inline markup: the text of the markup
    // that only wraps or marks text, a problem for markup that stands for codes.
    void inlineText(const pugi::xml_node& element, std::string& out, std::string& problem) const;
    void addUnit(Unit unit);
    void setLanguage(std::string_view language, const pugi::xml_node& where);

    const LineIndex& m_lines;
    Document m_doc;
    bool m_v2 = false;
    bool m_haveLanguage = false;
};

Document Reader::read(pugi::xml_document& doc)
{
    const pugi::xml_node root = doc.document_element();
    if (localName(root) != "xliff")
        throw FileError(
            lineOf(root),
            QStringLiteral("o elemento raiz é <%1>, não <xliff>: não é um arquivo XLIFF.").arg(q(root.name())));
    const std::string_view version = root.attribute("version").value();
    if (version == "1.2") {
        m_doc.format = Format::Xliff12;
        read12(root);
    } else if (version == "2.0" || version == "2.1" || version == "2.2") {
        m_doc.format = Format::Xliff21;
        m_v2 = true;
        read2(root);
    } else {
        throw FileError(lineOf(root),
                        QStringLiteral("versão de XLIFF \"%1\" não é aceita (use 1.2 ou 2.x).").arg(q(version)));
    }
    if (const auto twin = findRepeatedId(m_doc.units)) {
        const Unit& later = m_doc.units[twin->second];
        throw FileError(later.line,
                        QStringLiteral("a identificação \"%1\" se repete (já usada na linha %2).")
                            .arg(q(later.id))
                            .arg(m_doc.units[twin->first].line));
    }
    if (!m_haveLanguage)
        throw FileError(lineOf(root),
                        QStringLiteral("o arquivo não diz o idioma de destino (%1).")
                            .arg(m_v2 ? QStringLiteral("trgLang") : QStringLiteral("target-language")));
    return std::move(m_doc);
}

void Reader::setLanguage(std::string_view language, const pugi::xml_node& where)
{
    if (language.empty())
        return;
    if (m_haveLanguage && QString::compare(q(language), q(m_doc.language), Qt::CaseInsensitive) != 0)
        throw FileError(
            lineOf(where),
            QStringLiteral("o arquivo mistura idiomas de destino (%1 e %2).").arg(q(m_doc.language), q(language)));
    if (!m_haveLanguage)
        m_doc.language = language;
    m_haveLanguage = true;
}

void Reader::addUnit(Unit unit)
{
    m_doc.units.push_back(std::move(unit));
}

void Reader::inlineText(const pugi::xml_node& element, std::string& out, std::string& problem) const
{
    for (pugi::xml_node child = element.first_child(); child; child = child.next_sibling()) {
        switch (child.type()) {
        case pugi::node_pcdata:
        case pugi::node_cdata:
            out += child.value();
            break;
        case pugi::node_element: {
            const std::string_view name = localName(child);
            if (name == "g" || name == "mrk" || name == "pc") {
                inlineText(child, out, problem);
            } else if (m_v2 && name == "cp") {
                // A character XML cannot carry; the save rules decide about it.
                const unsigned long code = std::strtoul(child.attribute("hex").value(), nullptr, 16);
                QString ch = QString::fromUcs4(reinterpret_cast<const char32_t*>(&code), 1);
                out += ch.toStdString();
            } else if (m_v2 && (name == "sm" || name == "em")) {
                // Markers of an annotation span: no text of their own.
            } else if (problem.empty()) {
                problem = "marcação <" + std::string(name) + "> (um código em linha) não pode ser importada como texto";
            }
            break;
        }
        default:
            break;
        }
    }
}

void Reader::read12(const pugi::xml_node& root)
{
    for (pugi::xml_node file = root.first_child(); file; file = file.next_sibling()) {
        if (file.type() != pugi::node_element || localName(file) != "file")
            continue;
        setLanguage(file.attribute("target-language").value(), file);
        if (m_doc.exportTime.empty())
            m_doc.exportTime = file.attribute("date").value();
        for (pugi::xml_node body = file.first_child(); body; body = body.next_sibling())
            if (body.type() == pugi::node_element && localName(body) == "body")
                walk12(body, std::nullopt);
    }
}

void Reader::walk12(const pugi::xml_node& parent, const std::optional<std::string>& program)
{
    for (pugi::xml_node node = parent.first_child(); node; node = node.next_sibling()) {
        if (node.type() != pugi::node_element)
            continue;
        const std::string_view name = localName(node);
        if (name == "group") {
            const pugi::xml_attribute resname = node.attribute("resname");
            walk12(node, resname ? std::optional<std::string>(resname.value()) : program);
        } else if (name == "trans-unit") {
            unit12(node, program);
        }
    }
}

void Reader::unit12(const pugi::xml_node& tu, const std::optional<std::string>& program)
{
    Unit unit;
    unit.line = lineOf(tu);
    unit.id = tu.attribute("id").value();
    unit.program = program;
    if (const pugi::xml_attribute resname = tu.attribute("resname"))
        unit.component = resname.value();
    pugi::xml_node source, target;
    for (pugi::xml_node child = tu.first_child(); child; child = child.next_sibling()) {
        if (child.type() != pugi::node_element)
            continue;
        if (!source && localName(child) == "source")
            source = child;
        else if (!target && localName(child) == "target")
            target = child;
    }
    if (!source)
        throw FileError(unit.line, QStringLiteral("a unidade \"%1\" não tem <source>.").arg(q(unit.id)));
    inlineText(source, unit.source, unit.problem);
    const pugi::xml_attribute state = target.attribute("state");
    if (target) {
        std::string text;
        inlineText(target, text, unit.problem);
        unit.target = std::move(text);
    }
    const bool approved = attrIs(tu, "approved", "yes");
    const std::optional<char> status =
        status::fromXliff12(state.value(), static_cast<bool>(state), approved, !unit.target || unit.target->empty());
    if (status)
        unit.status = *status;
    else if (unit.problem.empty())
        unit.problem = "situação \"" + std::string(state.value()) + "\" desconhecida";
    addUnit(std::move(unit));
}

void Reader::read2(const pugi::xml_node& root)
{
    setLanguage(root.attribute("trgLang").value(), root);
    for (pugi::xml_node file = root.first_child(); file; file = file.next_sibling()) {
        if (file.type() != pugi::node_element || localName(file) != "file")
            continue;
        for (pugi::xml_node meta : file.children()) {
            if (meta.type() != pugi::node_element || localName(meta) != "metadata")
                continue;
            for (pugi::xml_node group : meta.children()) {
                if (localName(group) != "metaGroup" || !attrIs(group, "category", "trd"))
                    continue;
                for (pugi::xml_node item : group.children())
                    if (localName(item) == "meta" && attrIs(item, "type", "export-time") && m_doc.exportTime.empty())
                        m_doc.exportTime = item.text().get();
            }
        }
        walk2(file, std::nullopt);
    }
}

void Reader::walk2(const pugi::xml_node& parent, const std::optional<std::string>& program)
{
    for (pugi::xml_node node = parent.first_child(); node; node = node.next_sibling()) {
        if (node.type() != pugi::node_element)
            continue;
        const std::string_view name = localName(node);
        if (name == "group") {
            const pugi::xml_attribute n = node.attribute("name");
            walk2(node, n ? std::optional<std::string>(n.value()) : program);
        } else if (name == "unit") {
            unit2(node, program);
        }
    }
}

void Reader::unit2(const pugi::xml_node& node, const std::optional<std::string>& program)
{
    Unit unit;
    unit.line = lineOf(node);
    unit.id = node.attribute("id").value();
    unit.program = program;
    if (const pugi::xml_attribute n = node.attribute("name"))
        unit.component = n.value();
    std::string target;
    int segments = 0, withTarget = 0;
    std::optional<char> status;
    for (pugi::xml_node part = node.first_child(); part; part = part.next_sibling()) {
        if (part.type() != pugi::node_element)
            continue;
        const std::string_view name = localName(part);
        const bool segment = name == "segment";
        if (!segment && name != "ignorable")
            continue;
        pugi::xml_node source, tgt;
        for (pugi::xml_node child = part.first_child(); child; child = child.next_sibling()) {
            if (child.type() != pugi::node_element)
                continue;
            if (!source && localName(child) == "source")
                source = child;
            else if (!tgt && localName(child) == "target")
                tgt = child;
        }
        std::string sourceText;
        if (source)
            inlineText(source, sourceText, unit.problem);
        unit.source += sourceText;
        if (tgt)
            inlineText(tgt, target, unit.problem);
        else if (!segment)
            target += sourceText; // an ignorable without target is the same in both languages
        if (!segment)
            continue;
        ++segments;
        if (tgt)
            ++withTarget;
        const pugi::xml_attribute state = part.attribute("state");
        const std::optional<char> s = status::fromXliff21(
            state.value(), static_cast<bool>(state), part.attribute("subState").value(), !tgt || !tgt.first_child());
        if (!s) {
            if (unit.problem.empty())
                unit.problem = "situação \"" + std::string(state.value()) + "\" desconhecida";
            continue;
        }
        // A unit split into segments is as far along as its least finished segment.
        auto rank = [](char c) { return c == 'N' ? 0 : c == 'D' ? 1 : 2; };
        if (!status || rank(*s) < rank(*status))
            status = s;
    }
    if (segments == 0)
        throw FileError(unit.line, QStringLiteral("a unidade \"%1\" não tem <segment>.").arg(q(unit.id)));
    if (withTarget == segments)
        unit.target = std::move(target);
    else if (withTarget > 0 && unit.problem.empty())
        unit.problem = "a tradução está incompleta: um dos segmentos não tem <target>";
    if (status)
        unit.status = *status;
    addUnit(std::move(unit));
}

} // namespace

bool looksLikeXml(std::string_view bytes)
{
    std::size_t i = bytes.size() >= 3 && std::memcmp(bytes.data(), "\xEF\xBB\xBF", 3) == 0 ? 3 : 0;
    while (i < bytes.size() && (bytes[i] == ' ' || bytes[i] == '\t' || bytes[i] == '\r' || bytes[i] == '\n'))
        ++i;
    return i < bytes.size() && bytes[i] == '<';
}

Document readXliff(std::string& bytes)
{
    checkUtf8File(bytes);
    const LineIndex lines(bytes);
    checkMarkup(bytes, lines);
    pugi::xml_document doc;
    const unsigned options = pugi::parse_default | pugi::parse_ws_pcdata | pugi::parse_declaration;
    const pugi::xml_parse_result parsed =
        doc.load_buffer_inplace(bytes.data(), bytes.size(), options, pugi::encoding_utf8);
    if (!parsed) {
        const int line = parsed.offset >= 0 ? lines.lineAt(static_cast<std::size_t>(parsed.offset)) : 0;
        const bool truncated = parsed.status == pugi::status_end_element_mismatch
            && parsed.offset >= static_cast<std::ptrdiff_t>(bytes.size()) - 1;
        throw FileError(line,
                        QStringLiteral("XML malformado (%1)%2.")
                            .arg(QString::fromUtf8(parsed.description()),
                                 truncated ? QStringLiteral("; o arquivo parece cortado") : QString()));
    }
    for (pugi::xml_node node = doc.first_child(); node; node = node.next_sibling())
        if (node.type() == pugi::node_declaration) {
            const std::string_view encoding = node.attribute("encoding").value();
            if (!encoding.empty() && QString::compare(q(encoding), QStringLiteral("UTF-8"), Qt::CaseInsensitive) != 0)
                throw FileError(
                    1, QStringLiteral("o arquivo declara a codificação %1; só UTF-8 é aceito.").arg(q(encoding)));
        }
    checkDepth(doc, lines);
    Reader reader(lines);
    return reader.read(doc);
}

} // namespace trd::exchange
