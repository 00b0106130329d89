#pragma once
// The small, strict JSON reader of the request envelope, and the string
// escaping of answers. Requests are small except for the packets they carry,
// so values are plain owned trees; strings come out as UTF-8.
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace trd::server {

class JsonValue {
public:
    enum class Type { Null, Bool, Number, String, Array, Object };

    Type type() const { return m_type; }
    bool isNull() const { return m_type == Type::Null; }
    bool isString() const { return m_type == Type::String; }
    bool isNumber() const { return m_type == Type::Number; }
    bool isArray() const { return m_type == Type::Array; }
    bool isObject() const { return m_type == Type::Object; }

    bool boolean() const { return m_bool; }
    double number() const { return m_number; }
    const std::string& string() const { return m_string; } // UTF-8; for numbers, their source text
    std::string& string() { return m_string; }
    const std::vector<JsonValue>& array() const { return m_array; }
    std::vector<JsonValue>& array() { return m_array; }
    const std::vector<std::pair<std::string, JsonValue>>& object() const { return m_object; }
    // The member's value, or nullptr when absent.
    const JsonValue* find(std::string_view key) const;
    JsonValue* find(std::string_view key);

private:
    friend class JsonParser;
    Type m_type = Type::Null;
    bool m_bool = false;
    double m_number = 0;
    std::string m_string;
    std::vector<JsonValue> m_array;
    std::vector<std::pair<std::string, JsonValue>> m_object;
};

// Parses one JSON text (RFC 8259, no extensions). Throws a BadArgument
// ServerError naming the byte offset of the fault. Nesting is limited so that a hostile
// body cannot exhaust the stack.
JsonValue parseJson(std::string_view text);

// Appends text as a JSON string literal, quotes included. Expects UTF-8 and
// copies it through unchanged apart from the escapes JSON requires.
void appendJsonString(std::string& out, std::string_view text);

// Writes a value back as compact JSON (used to echo the request id).
void appendJson(std::string& out, const JsonValue& value);

} // namespace trd::server
