#include "Json.h"

#include "BackslashEscapes.h"
#include "ServerError.h"
#include "Utf8Text.h"

#include <charconv>
#include <cstring>
#include <functional>
#include <unordered_map>

namespace trd::server {

const JsonValue* JsonValue::find(std::string_view key) const
{
    for (const auto& [name, value] : m_object)
        if (name == key)
            return &value;
    return nullptr;
}

JsonValue* JsonValue::find(std::string_view key)
{
    for (auto& [name, value] : m_object)
        if (name == key)
            return &value;
    return nullptr;
}

class JsonParser {
public:
    explicit JsonParser(std::string_view text) : m_text(text) { }

    JsonValue parseDocument()
    {
        JsonValue value;
        skipBlanks();
        parseValue(value, 0);
        skipBlanks();
        if (m_pos != m_text.size())
            fail("conteúdo após o fim do JSON");
        return value;
    }

private:
    static constexpr int MaxDepth = 64;
    // A call takes a handful of values (packets travel as one string), and
    // each parsed value costs about a hundred bytes: bounding the count keeps
    // a request of many tiny values from costing many times its size.
    static constexpr std::size_t MaxValues = 4096;

    [[noreturn]] void fail(const char* what) const
    {
        badArgument("Requisição inválida: JSON malformado (" + std::string(what) + " na posição "
                    + std::to_string(m_pos) + ").");
    }

    void skipBlanks()
    {
        while (m_pos < m_text.size()) {
            const char c = m_text[m_pos];
            if (c != ' ' && c != '\t' && c != '\n' && c != '\r')
                break;
            ++m_pos;
        }
    }

    // Steps over c when it is the next character.
    bool accept(char c)
    {
        if (m_pos >= m_text.size() || m_text[m_pos] != c)
            return false;
        ++m_pos;
        return true;
    }

    void expectWord(std::string_view word)
    {
        if (m_text.substr(m_pos, word.size()) != word)
            fail("valor inesperado");
        m_pos += word.size();
    }

    void parseValue(JsonValue& value, int depth)
    {
        if (depth > MaxDepth)
            fail("aninhamento excessivo");
        if (++m_values > MaxValues)
            fail("valores demais");
        if (m_pos >= m_text.size())
            fail("fim inesperado");
        switch (m_text[m_pos]) {
        case '{':
            parseObject(value, depth);
            break;
        case '[':
            parseArray(value, depth);
            break;
        case '"':
            value.m_type = JsonValue::Type::String;
            parseString(value.m_string);
            break;
        case 't':
            expectWord("true");
            value.m_type = JsonValue::Type::Bool;
            value.m_bool = true;
            break;
        case 'f':
            expectWord("false");
            value.m_type = JsonValue::Type::Bool;
            break;
        case 'n':
            expectWord("null");
            break;
        default:
            parseNumber(value);
            break;
        }
    }

    void parseObject(JsonValue& value, int depth)
    {
        value.m_type = JsonValue::Type::Object;
        ++m_pos;
        skipBlanks();
        if (accept('}'))
            return;
        std::unordered_multimap<std::size_t, std::size_t> seen; // key hash -> member
        for (;;) {
            skipBlanks();
            if (m_pos >= m_text.size() || m_text[m_pos] != '"')
                fail("nome de membro esperado");
            auto& member = value.m_object.emplace_back();
            parseString(member.first);
            // With a key twice, readers disagree on which one counts; a
            // request is never read one way here and another way elsewhere.
            // Keys are compared by hash first: a hostile object of thousands
            // of long keys differing only at the end costs one pass over them.
            const std::size_t hash = std::hash<std::string>()(member.first);
            auto [from, to] = seen.equal_range(hash);
            for (auto it = from; it != to; ++it)
                if (value.m_object[it->second].first == member.first)
                    fail("membro repetido");
            seen.emplace(hash, value.m_object.size() - 1);
            skipBlanks();
            if (!accept(':'))
                fail("':' esperado");
            skipBlanks();
            parseValue(member.second, depth + 1);
            skipBlanks();
            if (accept(','))
                continue;
            if (accept('}'))
                return;
            fail("',' ou '}' esperado");
        }
    }

    void parseArray(JsonValue& value, int depth)
    {
        value.m_type = JsonValue::Type::Array;
        ++m_pos;
        skipBlanks();
        if (accept(']'))
            return;
        for (;;) {
            skipBlanks();
            parseValue(value.m_array.emplace_back(), depth + 1);
            skipBlanks();
            if (accept(','))
                continue;
            if (accept(']'))
                return;
            fail("',' ou ']' esperado");
        }
    }

    unsigned hex4()
    {
        if (m_pos + 4 > m_text.size())
            fail("escape \\u incompleto");
        unsigned v = 0;
        for (int i = 0; i < 4; ++i) {
            const char c = m_text[m_pos++];
            v <<= 4;
            if (c >= '0' && c <= '9')
                v |= unsigned(c - '0');
            else if (c >= 'a' && c <= 'f')
                v |= unsigned(c - 'a' + 10);
            else if (c >= 'A' && c <= 'F')
                v |= unsigned(c - 'A' + 10);
            else
                fail("escape \\u inválido");
        }
        return v;
    }

    void parseString(std::string& out)
    {
        ++m_pos; // opening quote
        for (;;) {
            // Copy the run up to the next quote or backslash in one go.
            const std::size_t start = m_pos;
            while (m_pos < m_text.size()) {
                const unsigned char c = static_cast<unsigned char>(m_text[m_pos]);
                if (c == '"' || c == '\\' || c < 0x20)
                    break;
                ++m_pos;
            }
            const std::string_view run = m_text.substr(start, m_pos - start);
            if (!utf8::isValid(run))
                fail("texto que não é UTF-8");
            out.append(run);
            if (m_pos >= m_text.size())
                fail("texto sem aspas de fechamento");
            const char c = m_text[m_pos++];
            if (c == '"')
                return;
            if (c != '\\')
                fail("caractere de controle em texto");
            if (m_pos >= m_text.size())
                fail("escape incompleto");
            const char e = m_text[m_pos++];
            if (const char plain = escapes::unescapeOf(e)) {
                out += plain;
                continue;
            }
            switch (e) {
            case '"':
                out += '"';
                break;
            case '/':
                out += '/';
                break;
            case 'b':
                out += '\b';
                break;
            case 'f':
                out += '\f';
                break;
            case 'u': {
                char32_t cp = hex4();
                if (cp >= 0xD800 && cp <= 0xDBFF) {
                    if (m_text.substr(m_pos, 2) != "\\u")
                        fail("surrogate sem par");
                    m_pos += 2;
                    const unsigned low = hex4();
                    if (low < 0xDC00 || low > 0xDFFF)
                        fail("surrogate sem par");
                    cp = 0x10000 + ((cp - 0xD800) << 10) + (low - 0xDC00);
                } else if (cp >= 0xDC00 && cp <= 0xDFFF) {
                    fail("surrogate sem par");
                }
                utf8::append(out, cp);
                break;
            }
            default:
                fail("escape inválido");
            }
        }
    }

    void parseNumber(JsonValue& value)
    {
        const std::size_t start = m_pos;
        auto digits = [&] {
            const std::size_t from = m_pos;
            while (m_pos < m_text.size() && m_text[m_pos] >= '0' && m_text[m_pos] <= '9')
                ++m_pos;
            return m_pos - from;
        };
        accept('-');
        if (!accept('0') && digits() == 0)
            fail("valor inesperado");
        if (accept('.') && digits() == 0)
            fail("número inválido");
        if (accept('e') || accept('E')) {
            if (!accept('+'))
                accept('-');
            if (digits() == 0)
                fail("número inválido");
        }
        const std::string_view text = m_text.substr(start, m_pos - start);
        value.m_type = JsonValue::Type::Number;
        value.m_string.assign(text);
        const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value.m_number);
        if (ec != std::errc() || end != text.data() + text.size())
            fail("número fora do intervalo");
    }

    std::string_view m_text;
    std::size_t m_values = 0;
    std::size_t m_pos = 0;
};

JsonValue parseJson(std::string_view text)
{
    return JsonParser(text).parseDocument();
}

void appendJsonString(std::string& out, std::string_view text)
{
    static constexpr char hex[] = "0123456789abcdef";
    out += '"';
    std::size_t run = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        if (c >= 0x20 && c != '"' && c != '\\')
            continue;
        out.append(text.data() + run, i - run);
        run = i + 1;
        if (c == '"') {
            out += "\\\"";
        } else if (const std::string_view escape = escapes::escapeOf(static_cast<char>(c)); !escape.empty()) {
            out += escape;
        } else {
            out += "\\u00";
            out += hex[c >> 4];
            out += hex[c & 15];
        }
    }
    out.append(text.data() + run, text.size() - run);
    out += '"';
}

void appendJson(std::string& out, const JsonValue& value)
{
    switch (value.type()) {
    case JsonValue::Type::Null:
        out += "null";
        break;
    case JsonValue::Type::Bool:
        out += value.boolean() ? "true" : "false";
        break;
    case JsonValue::Type::Number:
        out += value.string();
        break;
    case JsonValue::Type::String:
        appendJsonString(out, value.string());
        break;
    case JsonValue::Type::Array: {
        out += '[';
        bool first = true;
        for (const auto& item : value.array()) {
            if (!first)
                out += ',';
            first = false;
            appendJson(out, item);
        }
        out += ']';
        break;
    }
    case JsonValue::Type::Object: {
        out += '{';
        bool first = true;
        for (const auto& [name, item] : value.object()) {
            if (!first)
                out += ',';
            first = false;
            appendJsonString(out, name);
            out += ':';
            appendJson(out, item);
        }
        out += '}';
        break;
    }
    }
}

} // namespace trd::server
