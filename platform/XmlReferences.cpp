#include "XmlReferences.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

namespace trd {

namespace {

struct NameChars {
    bool in[256] = {};
    constexpr NameChars()
    {
        for (int c = 0; c < 256; ++c)
            in[c] = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' || c == ':'
                || c == '-' || c == '.' || c >= 0x80;
    }
};
constexpr NameChars Names;

inline bool isNameChar(unsigned char c)
{
    return Names.in[c];
}

bool isBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

int digitValue(char c, bool hex)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (hex && c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (hex && c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// A character a reference can stand for. Control characters are let through
// (our writers send them as references, and the values' own rules judge
// them), but not halves of UTF-16 pairs or numbers past Unicode.
bool isCharacter(std::uint32_t c)
{
    return c <= 0x10FFFF && !(c >= 0xD800 && c <= 0xDFFF);
}

std::string shown(std::string_view text)
{
    return std::string(text.substr(0, 24)) + (text.size() > 24 ? "..." : "");
}

// The reference that starts at xml[at] ('&'); on success sets end past its ';'.
XmlFault checkReference(std::string_view xml, std::size_t at, std::size_t& end)
{
    std::size_t i = at + 1;
    if (i < xml.size() && xml[i] == '#') {
        ++i;
        const bool hex = i < xml.size() && xml[i] == 'x';
        if (hex)
            ++i;
        const std::size_t digits = i;
        std::uint32_t value = 0;
        for (int d; i < xml.size() && (d = digitValue(xml[i], hex)) >= 0; ++i)
            value = std::min<std::uint32_t>(value * (hex ? 16 : 10) + static_cast<std::uint32_t>(d), 0x110000);
        const std::string reference = shown(xml.substr(at, i + 1 - at));
        if (i == digits || i >= xml.size() || xml[i] != ';')
            return {at, "referência de caractere malformada \"" + reference + "\""};
        if (value == 0)
            return {at, "a referência " + reference + " (caractere nulo) não pode ser gravada"};
        if (!isCharacter(value))
            return {at, "a referência " + reference + " não é de um caractere Unicode"};
        end = i + 1;
        return {};
    }
    const std::size_t name = i;
    while (i < xml.size() && isNameChar(static_cast<unsigned char>(xml[i])))
        ++i;
    if (i == name || i >= xml.size() || xml[i] != ';')
        return {at,
                "'&' sem uma referência completa (\"" + shown(xml.substr(at, i - at))
                    + "\", falta o ';'?); o próprio caractere se escreve &amp;"};
    const std::string_view entity = xml.substr(name, i - name);
    if (entity != "lt" && entity != "gt" && entity != "amp" && entity != "quot" && entity != "apos")
        return {at,
                "referência à entidade desconhecida \"&" + shown(entity)
                    + ";\" (só &lt; &gt; &amp; &quot; &apos; e referências de caractere)"};
    end = i + 1;
    return {};
}

bool startsWith(std::string_view xml, std::size_t at, std::string_view prefix)
{
    return xml.substr(at, prefix.size()) == prefix;
}

} // namespace

namespace {

// The tokenizer: text, tags with their attributes, and the markup whose text
// is not parsed, so that every reference is checked in its context.
XmlFault firstFaultInContext(std::string_view xml)
{
    std::size_t i = 0;
    for (;;) {
        // Text up to the next tag: only a reference can be wrong in it.
        const void* lt = std::memchr(xml.data() + i, '<', xml.size() - i);
        const std::size_t tagAt = lt ? static_cast<std::size_t>(static_cast<const char*>(lt) - xml.data()) : xml.size();
        const void* amp = std::memchr(xml.data() + i, '&', tagAt - i);
        i = amp ? static_cast<std::size_t>(static_cast<const char*>(amp) - xml.data()) : tagAt;
        if (i == xml.size())
            return {};
        if (xml[i] == '&') {
            std::size_t end = 0;
            if (XmlFault fault = checkReference(xml, i, end))
                return fault;
            i = end;
            continue;
        }
        // Markup whose text is not parsed: stepped over whole.
        std::size_t close = std::string_view::npos;
        if (startsWith(xml, i, "<!--")) {
            close = xml.find("-->", i + 4);
            if (close == std::string_view::npos)
                return {};
            i = close + 3;
            continue;
        }
        if (startsWith(xml, i, "<![CDATA[")) {
            close = xml.find("]]>", i + 9);
            if (close == std::string_view::npos)
                return {};
            i = close + 3;
            continue;
        }
        if (startsWith(xml, i, "<?")) {
            close = xml.find("?>", i + 2);
            if (close == std::string_view::npos)
                return {};
            i = close + 2;
            continue;
        }
        if (startsWith(xml, i, "<!") || startsWith(xml, i, "</")) {
            // A DOCTYPE may hold an internal subset in brackets, with quoted texts.
            int depth = 0;
            char quote = 0;
            std::size_t j = i + 2;
            for (; j < xml.size(); ++j) {
                const char c = xml[j];
                if (quote) {
                    if (c == quote)
                        quote = 0;
                } else if (c == '"' || c == '\'') {
                    quote = c;
                } else if (c == '[') {
                    ++depth;
                } else if (c == ']') {
                    --depth;
                } else if (c == '>' && depth <= 0) {
                    break;
                }
            }
            if (j >= xml.size())
                return {};
            i = j + 1;
            continue;
        }
        // A start tag: its name, then attributes name="value" until > or />.
        std::size_t j = i + 1;
        while (j < xml.size() && isNameChar(static_cast<unsigned char>(xml[j])))
            ++j;
        for (;;) {
            while (j < xml.size() && isBlank(xml[j]))
                ++j;
            if (j >= xml.size())
                return {};
            if (xml[j] == '>' || xml[j] == '/')
                break;
            const std::size_t nameStart = j;
            while (j < xml.size() && isNameChar(static_cast<unsigned char>(xml[j])))
                ++j;
            if (j == nameStart)
                return {}; // the parser says what is wrong
            while (j < xml.size() && isBlank(xml[j]))
                ++j;
            if (j >= xml.size() || xml[j] != '=')
                return {};
            ++j;
            while (j < xml.size() && isBlank(xml[j]))
                ++j;
            if (j >= xml.size() || (xml[j] != '"' && xml[j] != '\''))
                return {};
            const char quote = xml[j++];
            const void* q = std::memchr(xml.data() + j, quote, xml.size() - j);
            if (!q)
                return {};
            const std::size_t valueEnd = static_cast<std::size_t>(static_cast<const char*>(q) - xml.data());
            for (;;) {
                const void* amp = std::memchr(xml.data() + j, '&', valueEnd - j);
                if (!amp) {
                    j = valueEnd + 1;
                    break;
                }
                const std::size_t stop = static_cast<std::size_t>(static_cast<const char*>(amp) - xml.data());
                std::size_t end = 0;
                if (XmlFault fault = checkReference(xml, stop, end))
                    return fault;
                j = end;
            }
        }
        i = j;
    }
}

} // namespace

XmlFault firstXmlFault(std::string_view xml)
{
    // A packet as writers make it has no comment, CDATA section, processing
    // instruction (beyond the XML declaration) or DOCTYPE: every '&' in it
    // then starts a reference, and memchr finds them without reading tags.
    const std::size_t afterDeclaration = startsWith(xml, 0, "<?") ? xml.find("?>") : 0;
    if (afterDeclaration == std::string_view::npos || xml.find("<!", afterDeclaration) != std::string_view::npos
        || xml.find("<?", afterDeclaration) != std::string_view::npos)
        return firstFaultInContext(xml);
    for (std::size_t i = afterDeclaration;;) {
        const void* amp = std::memchr(xml.data() + i, '&', xml.size() - i);
        if (!amp)
            return {};
        std::size_t end = 0;
        if (XmlFault fault =
                checkReference(xml, static_cast<std::size_t>(static_cast<const char*>(amp) - xml.data()), end))
            return fault;
        i = end;
    }
}

} // namespace trd
