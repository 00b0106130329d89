#include "XmlGuards.h"

#include "ExchangeTypes.h"

#include <cctype>
#include <cstring>

namespace trd::exchange {

namespace {

constexpr int MaxElementDepth = 256;

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

} // namespace

void checkXmlMarkup(std::string_view text, const LineIndex& lines, bool externalDtdAllowed)
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
                if (!externalDtdAllowed
                    && (outer.find("SYSTEM") != std::string_view::npos
                        || outer.find("PUBLIC") != std::string_view::npos))
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

void checkXmlDepth(const pugi::xml_document& doc, const LineIndex& lines, const char* format)
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
                                               "<%3>...); um arquivo %4 não precisa de tantos.")
                                    .arg(MaxElementDepth)
                                    .arg(q(node.name()), q(node.parent().name()), QLatin1String(format)));
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

void parseXmlFile(std::string& bytes, const LineIndex& lines, pugi::xml_document& doc)
{
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
}

LineIndex loadXmlFile(std::string& bytes, pugi::xml_document& doc, const char* format, bool externalDtdAllowed)
{
    checkUtf8File(bytes);
    LineIndex lines(bytes);
    checkXmlMarkup(bytes, lines, externalDtdAllowed);
    parseXmlFile(bytes, lines, doc);
    checkXmlDepth(doc, lines, format);
    return lines;
}

} // namespace trd::exchange
