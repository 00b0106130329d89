#include "XliffReader.h"

#include "FileBytes.h"
#include "StatusMap.h"
#include "XmlGuards.h"

#include <pugixml.hpp>

#include <cctype>
#include <cstring>

namespace trd::exchange {

namespace {

QString q(std::string_view text)
{
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
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
    pugi::xml_document doc;
    const LineIndex lines = loadXmlFile(bytes, doc, "XLIFF", false);
    Reader reader(lines);
    return reader.read(doc);
}

} // namespace trd::exchange
