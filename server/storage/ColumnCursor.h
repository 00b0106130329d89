#pragma once
// Reads a result row's columns in their order, each read stepping to the next
// column: a reader lists the fields of its record in the order of its SELECT
// instead of numbering every column, and each field's type says how its
// column reads (text into a string or a view, a whole number, a real, and an
// optional one for a column that may be NULL). A row type is whatever a back
// end steps through (a SQLite statement, a libpq result row) with integer(),
// real(), text() and isNull() by column.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

namespace trd::server {

template <typename Row>
class ColumnCursor {
public:
    explicit ColumnCursor(const Row& row, int first = 0) : m_row(row), m_next(first) { }

    // The next columns, one into each field.
    template <typename... Fields>
    void read(Fields&... fields)
    {
        (readInto(fields), ...);
    }

    // The next column as it is kept, for a field that converts it.
    std::int64_t integer() { return m_row.integer(m_next++); }
    std::string_view text() { return m_row.text(m_next++); }
    // Nothing for NULL.
    std::optional<std::int64_t> optionalInteger()
    {
        std::optional<std::int64_t> value;
        readInto(value);
        return value;
    }
    std::optional<std::string_view> optionalText()
    {
        std::optional<std::string_view> value;
        readInto(value);
        return value;
    }

private:
    bool nextIsNull() const { return m_row.isNull(m_next); }
    double real() { return m_row.real(m_next++); }

    void readInto(std::int64_t& field) { field = integer(); }
    void readInto(double& field) { field = real(); }
    void readInto(std::string_view& field) { field = text(); }
    void readInto(std::string& field) { field = text(); }
    template <typename T>
    void readInto(std::optional<T>& field)
    {
        if (nextIsNull()) {
            field.reset();
            ++m_next;
            return;
        }
        T value{};
        readInto(value);
        field = std::move(value);
    }

    const Row& m_row;
    int m_next;
};

} // namespace trd::server
