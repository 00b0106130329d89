#pragma once
// The few pieces of CBOR (RFC 8949) our binary packets and answers need: a
// bounds-checked cursor over the heads of data items, and head writers. Kept
// this small on purpose: the packet reader reads straight from the received
// bytes (texts are views into them, never copies), which a general decoder
// would not let it do.
#include <QByteArray>

#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

namespace trd::cbor {

enum Major : int { Unsigned = 0, Negative = 1, Bytes = 2, Text = 3, Array = 4, Map = 5, Tag = 6, Simple = 7 };

// Simple values and float heads of major type 7 (the additional information).
enum SimpleInfo : int { False = 20, True = 21, Null = 22, Undefined = 23, Half = 25, Single = 26, Double = 27 };

// The self-describe tag 55799 as it is written before a packet: D9 D9 F7.
inline constexpr char kSelfDescribe[] = "\xD9\xD9\xF7";
// Tag 24: the byte string that follows holds one encoded CBOR data item.
inline constexpr std::uint64_t kEncodedItemTag = 24;

inline bool startsWithSelfDescribe(const char* data, std::size_t size)
{
    return size >= 3 && std::memcmp(data, kSelfDescribe, 3) == 0;
}

// A fault in the bytes: what is wrong (Portuguese, for messages) and where.
struct Fault {
    const char* what;
    std::size_t offset;
};

// The bytes ran out inside an item. For a whole packet that is a fault like
// any other; a reader fed as the bytes arrive fetches more and tries again.
struct Truncated : Fault { };

// The head of an indefinite-length array or map, and the break that ends it.
inline constexpr int kIndefinite = 31;
inline constexpr unsigned char kBreak = 0xFF;

struct Head {
    int major = 0;
    int info = 0; // additional information (low five bits)
    std::uint64_t value = 0; // count, length, integer, tag number, or a float's bits
};

// Reads item heads from [begin, end); offsets count from `base` (where begin
// lies in the whole packet). Every read checks the bytes left and throws
// Fault (Truncated when they ran out). Lengths are definite: head() refuses
// the indefinite forms, which only an open array may take (openArray()), so
// that every other declared count can be checked up front.
class Cursor {
public:
    Cursor(const char* begin, const char* end, std::size_t base = 0)
        : m_begin(begin), m_p(begin), m_end(end), m_base(base)
    {
    }

    std::size_t offset() const { return m_base + static_cast<std::size_t>(m_p - m_begin); }
    std::size_t remaining() const { return static_cast<std::size_t>(m_end - m_p); }
    bool atEnd() const { return m_p == m_end; }
    const char* position() const { return m_p; }

    [[noreturn]] void fail(const char* what) const { throw Fault{what, offset()}; }
    [[noreturn]] void truncated() const { throw Truncated{{"pacote truncado", offset()}}; }

    // True, and the break consumed, when the next byte ends an open array.
    bool takeBreak()
    {
        if (m_p == m_end)
            truncated();
        if (static_cast<unsigned char>(*m_p) != kBreak)
            return false;
        ++m_p;
        return true;
    }

    // The head of an array, definite or open (indefinite: `open` set, the
    // value 0); anything else is a fault named `what`.
    Head openArray(const char* what, bool& open)
    {
        if (m_p == m_end)
            truncated();
        open = static_cast<unsigned char>(*m_p) == ((Array << 5) | kIndefinite);
        if (!open)
            return expect(Array, what);
        ++m_p;
        Head h;
        h.major = Array;
        h.info = kIndefinite;
        return h;
    }

    Head head()
    {
        if (m_p == m_end)
            truncated();
        const auto initial = static_cast<unsigned char>(*m_p);
        Head h;
        h.major = initial >> 5;
        h.info = initial & 31;
        if (h.info < 24) {
            h.value = static_cast<std::uint64_t>(h.info);
            ++m_p;
            return h;
        }
        if (h.info == kIndefinite)
            fail(h.major == Simple ? "marca de fim sem item de comprimento indefinido"
                                   : "comprimento indefinido não é aceito");
        if (h.info > 27)
            fail("valor reservado do CBOR");
        const int bytes = 1 << (h.info - 24);
        if (remaining() < static_cast<std::size_t>(bytes) + 1)
            truncated();
        ++m_p;
        std::uint64_t value = 0;
        for (int i = 0; i < bytes; ++i)
            value = (value << 8) | static_cast<unsigned char>(m_p[i]);
        m_p += bytes;
        h.value = value;
        if (h.major == Simple && h.info == 24 && value < 32)
            fail("valor simples mal codificado");
        return h;
    }

    // The head, which must be of this major type.
    Head expect(int major, const char* what)
    {
        const std::size_t at = offset();
        const Head h = head();
        if (h.major != major)
            throw Fault{what, at};
        return h;
    }

    // The body of a byte or text string whose head was just read.
    std::string_view take(std::uint64_t length)
    {
        if (length > remaining())
            truncated();
        const std::string_view bytes(m_p, static_cast<std::size_t>(length));
        m_p += length;
        return bytes;
    }

    std::string_view text(const char* what) { return take(expect(Text, what).value); }

    // Skips one whole item (an entry this reader does not know), nesting
    // bounded; an open array among them is skipped to its break.
    void skip(int depth = 0)
    {
        if (depth > 16)
            fail("estrutura aninhada demais");
        bool open = false;
        if (m_p != m_end && static_cast<unsigned char>(*m_p) == ((Array << 5) | kIndefinite)) {
            openArray("", open);
            while (!takeBreak())
                skip(depth + 1);
            return;
        }
        const Head h = head();
        switch (h.major) {
        case Bytes:
        case Text:
            take(h.value);
            break;
        case Array:
            if (h.value > remaining())
                truncated();
            for (std::uint64_t i = 0; i < h.value; ++i)
                skip(depth + 1);
            break;
        case Map:
            if (h.value > remaining() / 2)
                truncated();
            for (std::uint64_t i = 0; i < 2 * h.value; ++i)
                skip(depth + 1);
            break;
        case Tag:
            skip(depth + 1);
            break;
        default:
            break;
        }
    }

private:
    const char* m_begin;
    const char* m_p;
    const char* m_end;
    std::size_t m_base;
};

// The value of a float head (half, single or double precision).
double floatValue(const Head& h);

// Appends the shortest head for a major type and argument.
void appendHead(std::string& out, int major, std::uint64_t value);

// A text string: its head and its bytes in one append (the answer writer's
// inner loop writes six a row).
inline void appendText(std::string& out, std::string_view utf8)
{
    const std::size_t n = utf8.size();
    if (n >= 65536) {
        appendHead(out, Text, n);
        out.append(utf8);
        return;
    }
    char buffer[3 + 256];
    std::size_t head = 1;
    if (n < 24) {
        buffer[0] = static_cast<char>((Text << 5) | static_cast<int>(n));
    } else if (n < 256) {
        buffer[0] = static_cast<char>((Text << 5) | 24);
        buffer[1] = static_cast<char>(n);
        head = 2;
    } else {
        buffer[0] = static_cast<char>((Text << 5) | 25);
        buffer[1] = static_cast<char>(n >> 8);
        buffer[2] = static_cast<char>(n);
        head = 3;
    }
    if (n <= 256) {
        if (n > 0) // an empty view may have no storage at all: memcpy takes no null
            std::memcpy(buffer + head, utf8.data(), n);
        out.append(buffer, head + n);
    } else {
        out.append(buffer, head);
        out.append(utf8);
    }
}
// The size of the shortest head for an argument, and the head written at
// `at` (room for its size assumed); returns the byte after it.
inline std::size_t headSize(std::uint64_t value)
{
    return value < 24 ? 1 : value <= 0xFF ? 2 : value <= 0xFFFF ? 3 : value <= 0xFFFFFFFFu ? 5 : 9;
}
inline char* writeHead(char* at, int major, std::uint64_t value)
{
    const std::size_t size = headSize(value);
    const auto type = static_cast<unsigned char>(major << 5);
    if (size == 1) {
        *at = static_cast<char>(type | value);
        return at + 1;
    }
    static constexpr unsigned char info[] = {0, 0, 24, 25, 0, 26, 0, 0, 0, 27};
    *at = static_cast<char>(type | info[size]);
    for (std::size_t i = 1; i < size; ++i)
        at[i] = static_cast<char>(value >> (8 * (size - 1 - i)));
    return at + size;
}

// Appends a head whose argument takes eight bytes whatever its value, to be
// filled in later with patchHead (a count not known when writing starts).
std::size_t appendWideHead(std::string& out, int major);
void patchHead(std::string& out, std::size_t at, std::uint64_t value);

// The head of an open (indefinite-length) array; appendBreak ends it.
void appendOpenArray(std::string& out);
void appendBreak(std::string& out);

void appendDouble(std::string& out, double value);
void appendInteger(std::string& out, std::int64_t value);
void appendSimple(std::string& out, int info);

} // namespace trd::cbor
