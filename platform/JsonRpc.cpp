#include "JsonRpc.h"

#include "Cbor.h"
#include "Utf8.h"

#include <charconv>
#include <cstring>

namespace trd::jsonrpc {

namespace {

const char kHex[] = "0123456789abcdef";

void appendNumber(QByteArray& out, double value)
{
    char buffer[32];
    // Shortest text that reads back as the same double: a date-time keeps its time of day exactly.
    auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, value);
    out.append(buffer, end - buffer);
}

void appendNumber(QByteArray& out, std::int64_t value)
{
    char buffer[24];
    auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, value);
    out.append(buffer, end - buffer);
}

void appendString(QByteArray& out, const QString& text)
{
    const QByteArray utf8 = text.toUtf8();
    AppendJsonString(out, utf8.constData(), utf8.size());
}

// True when none of the eight bytes at p is a quote, a backslash or a
// control character (SWAR: the classic "has zero byte" tests on one word).
inline bool plainWord(const char* p)
{
    std::uint64_t w;
    std::memcpy(&w, p, 8);
    constexpr std::uint64_t ones = 0x0101010101010101ull, highs = 0x8080808080808080ull;
    const std::uint64_t quote = w ^ (ones * '"');
    const std::uint64_t slash = w ^ (ones * '\\');
    const std::uint64_t zeroQuote = (quote - ones) & ~quote & highs;
    const std::uint64_t zeroSlash = (slash - ones) & ~slash & highs;
    const std::uint64_t control = (w - ones * 0x20) & ~w & highs; // some byte < 0x20
    return (zeroQuote | zeroSlash | control) == 0;
}

// A cursor over the answer's bytes. Every fault names what was expected and
// where, so a broken server or proxy is reported precisely.
class Reader {
public:
    Reader(char* begin, char* end) : m_begin(begin), m_p(begin), m_end(end) { }

    [[noreturn]] void fail(const char* what) const
    {
        throw EMalformedAnswer(QStringLiteral("%1 (byte %2)").arg(QString::fromUtf8(what)).arg(m_p - m_begin));
    }

    void skipBlanks()
    {
        while (m_p < m_end && (*m_p == ' ' || *m_p == '\t' || *m_p == '\n' || *m_p == '\r'))
            ++m_p;
    }
    bool atEnd()
    {
        skipBlanks();
        return m_p == m_end;
    }
    char peek()
    {
        skipBlanks();
        if (m_p == m_end)
            fail("resposta incompleta");
        return *m_p;
    }
    void expect(char c)
    {
        if (peek() != c) {
            const char msg[] = {'e', 's', 'p', 'e', 'r', 'a', 'v', 'a', '-', 's', 'e', ' ', '\'', c, '\'', '\0'};
            fail(msg);
        }
        ++m_p;
    }
    bool accept(char c)
    {
        if (peek() != c)
            return false;
        ++m_p;
        return true;
    }

    // Unescapes the string at the cursor into `out`, which may point at or before
    // the string itself: unescaped text is never longer than its escaped form.
    // Returns the end of what was written.
    char* readStringInto(char* out)
    {
        expect('"');
        for (;;) {
            // The fast path: plain bytes up to the next quote or backslash,
            // eight at a time while no byte of the word needs a look.
            const char* start = m_p;
            while (m_end - m_p >= 8 && plainWord(m_p))
                m_p += 8;
            while (m_p < m_end && *m_p != '"' && *m_p != '\\') {
                if (static_cast<unsigned char>(*m_p) < 0x20)
                    fail("caractere de controle dentro de um texto");
                ++m_p;
            }
            const qsizetype run = m_p - start;
            if (out != start)
                std::memmove(out, start, static_cast<size_t>(run));
            out += run;
            if (m_p == m_end)
                fail("texto sem aspas de fechamento");
            if (*m_p++ == '"')
                return out;
            out = readEscape(out);
        }
    }

    QString readString()
    {
        peek();
        char* start = m_p;
        skipString();
        // Only small strings (keys, messages) come here: unescape a copy of just this one.
        QByteArray copy(start, m_p - start);
        Reader sub(copy.data(), copy.data() + copy.size());
        char* end = sub.readStringInto(copy.data());
        return QString::fromUtf8(copy.constData(), end - copy.data());
    }

    bool readInteger(std::int64_t& value)
    {
        skipBlanks();
        char* start = m_p;
        if (m_p < m_end && *m_p == '-')
            ++m_p;
        while (m_p < m_end && *m_p >= '0' && *m_p <= '9')
            ++m_p;
        if (m_p < m_end && (*m_p == '.' || *m_p == 'e' || *m_p == 'E')) {
            double d = 0;
            m_p = start;
            skipNumber();
            auto [ptr, ec] = std::from_chars(start, static_cast<const char*>(m_p), d);
            if (ec != std::errc() || d != static_cast<double>(static_cast<std::int64_t>(d)))
                return false;
            value = static_cast<std::int64_t>(d);
            return true;
        }
        auto [ptr, ec] = std::from_chars(start, static_cast<const char*>(m_p), value);
        return ec == std::errc() && ptr == m_p;
    }

    void skipValue(int depth = 0)
    {
        if (depth > 64)
            fail("estrutura aninhada demais");
        switch (peek()) {
        case '"':
            skipString();
            return;
        case '{':
            ++m_p;
            if (accept('}'))
                return;
            do {
                skipString();
                expect(':');
                skipValue(depth + 1);
            } while (accept(','));
            expect('}');
            return;
        case '[':
            ++m_p;
            if (accept(']'))
                return;
            do
                skipValue(depth + 1);
            while (accept(','));
            expect(']');
            return;
        case 't':
            return literal("true");
        case 'f':
            return literal("false");
        case 'n':
            return literal("null");
        default:
            skipNumber();
        }
    }

    char* position() const { return m_p; }

private:
    void skipString()
    {
        expect('"');
        while (m_p < m_end && *m_p != '"') {
            if (*m_p == '\\' && m_p + 1 < m_end)
                ++m_p;
            ++m_p;
        }
        if (m_p == m_end)
            fail("texto sem aspas de fechamento");
        ++m_p;
    }

    void skipNumber()
    {
        const char* start = m_p;
        while (m_p < m_end && (std::strchr("+-0123456789.eE", *m_p) != nullptr) && *m_p != '\0')
            ++m_p;
        if (m_p == start)
            fail("valor JSON inválido");
    }

    void literal(const char* word)
    {
        const size_t n = std::strlen(word);
        if (static_cast<size_t>(m_end - m_p) < n || std::memcmp(m_p, word, n) != 0)
            fail("valor JSON inválido");
        m_p += n;
    }

    unsigned hex4()
    {
        if (m_end - m_p < 4)
            fail("escape \\u incompleto");
        unsigned value = 0;
        for (int i = 0; i < 4; ++i) {
            const char c = *m_p++;
            value <<= 4;
            if (c >= '0' && c <= '9')
                value |= unsigned(c - '0');
            else if (c >= 'a' && c <= 'f')
                value |= unsigned(c - 'a' + 10);
            else if (c >= 'A' && c <= 'F')
                value |= unsigned(c - 'A' + 10);
            else
                fail("escape \\u inválido");
        }
        return value;
    }

    char* readEscape(char* out)
    {
        if (m_p == m_end)
            fail("escape incompleto");
        switch (*m_p++) {
        case '"':
            *out++ = '"';
            return out;
        case '\\':
            *out++ = '\\';
            return out;
        case '/':
            *out++ = '/';
            return out;
        case 'b':
            *out++ = '\b';
            return out;
        case 'f':
            *out++ = '\f';
            return out;
        case 'n':
            *out++ = '\n';
            return out;
        case 'r':
            *out++ = '\r';
            return out;
        case 't':
            *out++ = '\t';
            return out;
        case 'u':
            break;
        default:
            fail("escape inválido");
        }
        unsigned code = hex4();
        if (code >= 0xD800 && code <= 0xDBFF) {
            if (m_end - m_p < 6 || m_p[0] != '\\' || m_p[1] != 'u')
                fail("par substituto incompleto");
            m_p += 2;
            const unsigned low = hex4();
            if (low < 0xDC00 || low > 0xDFFF)
                fail("par substituto inválido");
            code = 0x10000 + ((code - 0xD800) << 10) + (low - 0xDC00);
        } else if (code >= 0xDC00 && code <= 0xDFFF) {
            fail("par substituto inválido");
        }
        return utf8::encode(out, code);
    }

    char* m_begin;
    char* m_p;
    char* m_end;
};

} // namespace

void AppendJsonString(QByteArray& out, const char* utf8, qsizetype size)
{
    out.reserve(out.size() + size + size / 8 + 2);
    out.append('"');
    const char* p = utf8;
    const char* end = utf8 + size;
    while (p < end) {
        const char* start = p;
        while (p < end && static_cast<unsigned char>(*p) >= 0x20 && *p != '"' && *p != '\\')
            ++p;
        out.append(start, p - start);
        if (p == end)
            break;
        const unsigned char c = static_cast<unsigned char>(*p++);
        switch (c) {
        case '"':
            out.append("\\\"", 2);
            break;
        case '\\':
            out.append("\\\\", 2);
            break;
        case '\n':
            out.append("\\n", 2);
            break;
        case '\r':
            out.append("\\r", 2);
            break;
        case '\t':
            out.append("\\t", 2);
            break;
        default: {
            const char esc[] = {'\\', 'u', '0', '0', kHex[c >> 4], kHex[c & 15]};
            out.append(esc, 6);
        }
        }
    }
    out.append('"');
}

QByteArray EncodeRequest(std::int64_t id, const QString& method, const TRemoteArgs& params)
{
    qsizetype estimate = 64 + method.size();
    for (const TRemoteArg& arg : params)
        estimate += arg.kind() == TRemoteArg::Kind::Packet ? arg.packet().size() * 9 / 8 + 2 : 32;
    QByteArray out;
    out.reserve(estimate);
    out.append(R"({"jsonrpc":"2.0","id":)");
    appendNumber(out, id);
    out.append(R"(,"method":)");
    appendString(out, method);
    out.append(R"(,"params":[)");
    bool first = true;
    for (const TRemoteArg& arg : params) {
        if (!first)
            out.append(',');
        first = false;
        switch (arg.kind()) {
        case TRemoteArg::Kind::String:
            appendString(out, arg.text());
            break;
        case TRemoteArg::Kind::Integer:
            appendNumber(out, arg.integer());
            break;
        case TRemoteArg::Kind::DateTime:
            out.append(R"({"date":)");
            appendNumber(out, arg.dateTime());
            out.append('}');
            break;
        case TRemoteArg::Kind::Packet:
            AppendJsonString(out, arg.packet().constData(), arg.packet().size());
            break;
        }
    }
    out.append("]}");
    return out;
}

namespace {

void readError(Reader& in, TServerResult& result)
{
    bool haveMessage = false;
    in.expect('{');
    if (!in.accept('}')) {
        do {
            const QString key = in.readString();
            in.expect(':');
            if (key == QLatin1String("message") && in.peek() == '"') {
                result.ErrorMessage = in.readString();
                haveMessage = true;
            } else if (key == QLatin1String("code")) {
                std::int64_t code = 0;
                if (!in.readInteger(code))
                    in.fail("código de erro inválido");
                result.ErrorCode = static_cast<int>(code);
            } else {
                in.skipValue();
            }
        } while (in.accept(','));
        in.expect('}');
    }
    if (!haveMessage)
        in.fail("erro sem mensagem");
}

} // namespace

TServerResult DecodeAnswer(QByteArray&& body, std::int64_t expectedId)
{
    TServerResult result;
    if (body.isEmpty())
        throw EMalformedAnswer(QStringLiteral("resposta vazia"));
    char* const base = body.data(); // detaches once, before any pointer is taken
    Reader in(base, base + body.size());
    bool haveResult = false, haveError = false, haveId = false, haveVersion = false;
    char* packetEnd = nullptr;

    in.expect('{');
    if (!in.accept('}')) {
        do {
            const QString key = in.readString();
            in.expect(':');
            if (key == QLatin1String("result")) {
                if (haveResult)
                    in.fail("\"result\" repetido");
                if (in.peek() != '"')
                    in.fail("\"result\" não é um pacote de dados");
                // The packet is unescaped to the front of the buffer, which has
                // been read already; the bytes still to read lie after it.
                packetEnd = in.readStringInto(base);
                haveResult = true;
            } else if (key == QLatin1String("error")) {
                if (in.peek() == 'n') {
                    in.skipValue();
                    continue;
                }
                readError(in, result);
                haveError = true;
            } else if (key == QLatin1String("id")) {
                std::int64_t id = 0;
                if (in.peek() != 'n' && (!in.readInteger(id) || id != expectedId))
                    in.fail("\"id\" diferente do da requisição");
                if (in.peek() == 'n')
                    in.skipValue();
                haveId = true;
            } else if (key == QLatin1String("jsonrpc")) {
                if (in.peek() != '"' || in.readString() != QLatin1String("2.0"))
                    in.fail("versão de JSON-RPC diferente de 2.0");
                haveVersion = true;
            } else {
                in.skipValue();
            }
        } while (in.accept(','));
        in.expect('}');
    }
    if (!in.atEnd())
        in.fail("dados após o fim da resposta");
    if (!haveVersion)
        throw EMalformedAnswer(QStringLiteral("falta \"jsonrpc\": \"2.0\""));
    if (!haveId)
        throw EMalformedAnswer(QStringLiteral("falta \"id\""));
    if (haveResult == haveError)
        throw EMalformedAnswer(haveResult ? QStringLiteral("\"result\" e \"error\" juntos")
                                          : QStringLiteral("sem \"result\" nem \"error\""));
    if (haveResult) {
        result.Ok = true;
        body.truncate(packetEnd - base);
        result.Packet = std::move(body);
    }
    return result;
}

namespace {

void readCborError(cbor::Cursor& in, TServerResult& result)
{
    const std::size_t at = in.offset();
    const cbor::Head map = in.expect(cbor::Map, "\"error\" não é um mapa");
    if (map.value > in.remaining() / 2)
        throw cbor::Fault{"\"error\" declara mais entradas do que cabem na resposta", at};
    bool haveMessage = false;
    for (std::uint64_t i = 0; i < map.value; ++i) {
        const std::string_view key = in.text("chave que não é um texto");
        if (key == "message") {
            const std::string_view message = in.text("mensagem de erro que não é um texto");
            result.ErrorMessage = QString::fromUtf8(message.data(), static_cast<qsizetype>(message.size()));
            haveMessage = true;
        } else if (key == "code") {
            const std::size_t codeAt = in.offset();
            const cbor::Head code = in.head();
            if ((code.major != cbor::Unsigned && code.major != cbor::Negative) || code.value > 0x7FFFFFFF)
                throw cbor::Fault{"código de erro inválido", codeAt};
            result.ErrorCode =
                code.major == cbor::Unsigned ? static_cast<int>(code.value) : -1 - static_cast<int>(code.value);
        } else {
            in.skip();
        }
    }
    if (!haveMessage)
        in.fail("erro sem mensagem");
}

} // namespace

namespace {

// What the envelope of a CBOR answer held, read up to where it was asked to stop.
struct CborEnvelope {
    bool version = false, id = false, result = false, error = false;
    bool packetIsRest = false; // "result" is the last entry: the packet runs to the end of the answer
    std::size_t packetAt = 0, packetEnd = 0;
};

// Reads the envelope's entries. With stopAtPacket, stops where the packet of
// a last "result" entry begins (the rest of the answer), leaving it unread.
void walkCborEnvelope(cbor::Cursor& in, std::int64_t expectedId, bool stopAtPacket, TServerResult& result,
                      CborEnvelope& e)
{
    const cbor::Head map = in.expect(cbor::Map, "a resposta não é um mapa CBOR");
    if (map.value > 16)
        in.fail("a resposta tem entradas demais");
    for (std::uint64_t i = 0; i < map.value; ++i) {
        const std::string_view key = in.text("chave que não é um texto");
        if (key == "result") {
            if (e.result)
                in.fail("\"result\" repetido");
            e.result = true;
            e.packetAt = in.offset();
            if (in.remaining() < 3)
                in.truncated();
            if (!cbor::startsWithSelfDescribe(in.position(), 3))
                in.fail("\"result\" não é um pacote de dados");
            if (i + 1 == map.value) {
                e.packetIsRest = true;
                if (stopAtPacket)
                    return;
                e.packetEnd = e.packetAt + in.remaining();
                in.take(in.remaining());
            } else {
                in.skip();
                e.packetEnd = in.offset();
            }
        } else if (key == "error") {
            readCborError(in, result);
            e.error = true;
        } else if (key == "id") {
            const std::size_t at = in.offset();
            const cbor::Head h = in.head();
            const bool null = h.major == cbor::Simple && h.info == cbor::Null;
            if (!null && (h.major != cbor::Unsigned || h.value != static_cast<std::uint64_t>(expectedId)))
                throw cbor::Fault{"\"id\" diferente do da requisição", at};
            e.id = true;
        } else if (key == "jsonrpc") {
            if (in.text("versão de JSON-RPC diferente de 2.0") != "2.0")
                in.fail("versão de JSON-RPC diferente de 2.0");
            e.version = true;
        } else {
            in.skip();
        }
    }
    if (!in.atEnd())
        in.fail("dados após o fim da resposta");
}

void checkCborEnvelope(const CborEnvelope& e)
{
    if (!e.version)
        throw EMalformedAnswer(QStringLiteral("falta \"jsonrpc\": \"2.0\""));
    if (!e.id)
        throw EMalformedAnswer(QStringLiteral("falta \"id\""));
    if (e.result == e.error)
        throw EMalformedAnswer(e.result ? QStringLiteral("\"result\" e \"error\" juntos")
                                        : QStringLiteral("sem \"result\" nem \"error\""));
}

[[noreturn]] void malformed(const cbor::Fault& fault)
{
    throw EMalformedAnswer(QStringLiteral("%1 (byte %2)").arg(QString::fromUtf8(fault.what)).arg(fault.offset));
}

} // namespace

TServerResult DecodeCborAnswer(QByteArray&& body, std::int64_t expectedId)
{
    TServerResult result;
    if (body.isEmpty())
        throw EMalformedAnswer(QStringLiteral("resposta vazia"));
    cbor::Cursor in(body.constData(), body.constData() + body.size());
    CborEnvelope envelope;
    try {
        walkCborEnvelope(in, expectedId, false, result, envelope);
    } catch (const cbor::Fault& fault) {
        malformed(fault);
    }
    checkCborEnvelope(envelope);
    if (envelope.result) {
        result.Ok = true;
        // Dropping the front of an unshared array only moves its start: the
        // packet stays where it was received.
        body.truncate(static_cast<qsizetype>(envelope.packetEnd));
        body.remove(0, static_cast<qsizetype>(envelope.packetAt));
        result.Packet = std::move(body);
    }
    return result;
}

CborAnswerHead ReadCborAnswerHead(const QByteArray& head, std::int64_t expectedId)
{
    CborAnswerHead answer;
    cbor::Cursor in(head.constData(), head.constData() + head.size());
    CborEnvelope envelope;
    TServerResult ignored;
    try {
        walkCborEnvelope(in, expectedId, true, ignored, envelope);
    } catch (const cbor::Truncated&) {
        return answer; // more bytes are needed to tell
    } catch (const cbor::Fault& fault) {
        malformed(fault);
    }
    answer.complete = true;
    if (envelope.packetIsRest && !envelope.error) {
        checkCborEnvelope(envelope);
        answer.packetFollows = true;
        answer.packetAt = envelope.packetAt;
    }
    return answer;
}

} // namespace trd::jsonrpc
