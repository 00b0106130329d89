#include "FilterFragment.h"

#include "ServerError.h"
#include "Utf8Text.h"

namespace trd::server {

namespace {

// Bounds that no dialog reaches, so that a hostile fragment cannot make the
// server build an unbounded query.
// The dialog writes at most three conditions, and its boxes take at most
// MaxLikeCharacters characters; a LIKE costs its pattern's length times the
// text's on every row, so its pattern is held to that. An equality costs no
// more than reading the text, and may be as long as the column.
constexpr std::size_t MaxFragmentBytes = 16 * 1024;
constexpr std::size_t MaxConditions = 8;
constexpr std::size_t MaxLikeCharacters = 256;
constexpr std::size_t MaxEqualCharacters = 4000;

std::size_t characterCount(std::string_view utf8Text)
{
    std::size_t n = 0;
    for (const char c : utf8Text)
        n += (static_cast<unsigned char>(c) & 0xc0) != 0x80;
    return n;
}

struct ColumnWord {
    std::string_view word;
    FilterColumn column;
};
constexpr ColumnWord Columns[] = {
    {"STAGRVALPROP", FilterColumn::SourceText},
    {"STVALORPROP", FilterColumn::DestinationText},
    {"CDPROGTRAD", FilterColumn::Program},
    {"NMCOMPONENTE", FilterColumn::Component},
};

class FragmentParser {
public:
    explicit FragmentParser(std::string_view text) : m_text(text) { }

    std::vector<FilterCondition> parse()
    {
        std::vector<FilterCondition> conditions;
        skipBlanks();
        while (m_pos < m_text.size()) {
            if (!conditions.empty() && !m_sawBlank)
                fail("espaço antes de AND");
            if (conditions.size() == MaxConditions)
                fail("no máximo " + std::to_string(MaxConditions) + " condições");
            conditions.push_back(condition());
            m_sawBlank = skipBlanks();
        }
        return conditions;
    }

private:
    [[noreturn]] void fail(const std::string& expected) const
    {
        std::string found;
        if (m_pos >= m_text.size()) {
            found = "o fim do texto";
        } else {
            const std::string_view rest = utf8::left(m_text.substr(m_pos), 20);
            found = "\"" + std::string(rest) + (rest.size() < m_text.size() - m_pos ? "...\"" : "\"");
        }
        badArgument("Filtro inválido na posição " + std::to_string(utf8::length(m_text.substr(0, m_pos)) + 1)
                    + ": esperado " + expected + ", encontrado " + found + ".");
    }

    bool skipBlanks()
    {
        const std::size_t start = m_pos;
        while (m_pos < m_text.size() && m_text[m_pos] == ' ')
            ++m_pos;
        return m_pos > start;
    }

    void requireBlanks(const char* after)
    {
        if (!skipBlanks())
            fail(std::string("espaço após ") + after);
    }

    bool accept(std::string_view word)
    {
        if (m_text.substr(m_pos, word.size()) != word)
            return false;
        m_pos += word.size();
        return true;
    }

    FilterColumn column()
    {
        for (const auto& c : Columns) {
            // A column name must not run on into more letters (STVALORPROPX).
            const std::size_t end = m_pos + c.word.size();
            if (m_text.substr(m_pos, c.word.size()) == c.word && (end == m_text.size() || !isWordChar(m_text[end]))) {
                m_pos = end;
                return c.column;
            }
        }
        fail("uma coluna (STAGRVALPROP, STVALORPROP, CDPROGTRAD ou NMCOMPONENTE)");
    }

    static bool isWordChar(char c)
    {
        return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_';
    }

    FilterCondition condition()
    {
        FilterCondition cond;
        if (!accept("AND"))
            fail("AND");
        requireBlanks("AND");
        if (acceptWord("REVISADO"))
            return reviewed();
        if (accept("UPPER(")) {
            cond.upper = true;
            cond.column = column();
            if (!accept(")"))
                fail("\")\"");
        } else {
            cond.column = column();
        }
        requireBlanks("a coluna");
        if (accept("="))
            cond.op = FilterOperator::Equal;
        else if (accept("LIKE"))
            cond.op = FilterOperator::Like;
        else
            fail("= ou LIKE");
        requireBlanks(cond.op == FilterOperator::Equal ? "=" : "LIKE");
        const std::size_t at = m_pos;
        cond.literal = literal();
        const std::size_t max = cond.op == FilterOperator::Like ? MaxLikeCharacters : MaxEqualCharacters;
        if (characterCount(cond.literal) > max) {
            m_pos = at;
            fail("um texto de no máximo " + std::to_string(max) + " caracteres");
        }
        return cond;
    }

    // AND REVISADO = 'S' | 'N': the review mark, not a column's text.
    FilterCondition reviewed()
    {
        FilterCondition cond;
        cond.column = FilterColumn::Reviewed;
        requireBlanks("REVISADO");
        if (!accept("="))
            fail("= (REVISADO aceita só = 'S' ou = 'N')");
        requireBlanks("=");
        const std::size_t at = m_pos;
        cond.literal = literal();
        if (cond.literal != "S" && cond.literal != "N") {
            m_pos = at;
            fail("'S' ou 'N' (REVISADO aceita só 'S' ou 'N')");
        }
        return cond;
    }

    bool acceptWord(std::string_view word)
    {
        const std::size_t end = m_pos + word.size();
        if (m_text.substr(m_pos, word.size()) != word || (end < m_text.size() && isWordChar(m_text[end])))
            return false;
        m_pos = end;
        return true;
    }

    std::string literal()
    {
        if (!accept("'"))
            fail("um texto entre aspas simples");
        const std::size_t open = m_pos - 1;
        std::string value;
        for (;;) {
            const std::size_t quote = m_text.find('\'', m_pos);
            if (quote == std::string_view::npos) {
                m_pos = open;
                fail("aspas simples de fechamento para o texto que começa aqui");
            }
            value.append(m_text.substr(m_pos, quote - m_pos));
            m_pos = quote + 1;
            if (m_pos < m_text.size() && m_text[m_pos] == '\'') {
                value += '\'';
                ++m_pos;
                continue;
            }
            return value;
        }
    }

    std::string_view m_text;
    std::size_t m_pos = 0;
    bool m_sawBlank = true;
};

} // namespace

const char* columnName(FilterColumn column)
{
    switch (column) {
    case FilterColumn::SourceText:
        return "STAGRVALPROP";
    case FilterColumn::DestinationText:
        return "STVALORPROP";
    case FilterColumn::Program:
        return "CDPROGTRAD";
    case FilterColumn::Component:
        return "NMCOMPONENTE";
    case FilterColumn::Reviewed:
        break;
    }
    return "";
}

std::vector<FilterCondition> parseFilterFragment(std::string_view fragment)
{
    if (fragment.size() > MaxFragmentBytes)
        badArgument("Filtro inválido: texto longo demais (mais de " + std::to_string(MaxFragmentBytes) + " bytes).");
    return FragmentParser(fragment).parse();
}

} // namespace trd::server
