#pragma once
// The JSON-RPC 2.0 envelope of the application server protocol (docs/protocol.md):
// writing a request and reading an answer. Answers carry the data packet as one
// JSON string that can be tens of megabytes, so both directions escape and
// unescape in a single pass over raw bytes instead of building a JSON document.
#include "Exceptions.h"
#include "PacketStream.h"
#include "TDateTime.h"

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <initializer_list>
#include <type_traits>
#include <variant>
#include <vector>

namespace trd {

// One argument of a late-bound server call. The module's calls pass strings,
// whole numbers, date-time values (TDateTime, a double) and data packets (the
// XML bytes of a packet), so each C++ type maps onto exactly one JSON form.
class TRemoteArg {
public:
    enum class Kind { String, Integer, DateTime, Packet };

    TRemoteArg(const QString& text) : m_value(text) { }
    TRemoteArg(const char* utf8) : m_value(QString::fromUtf8(utf8)) { }
    // Any whole number (int, qint64, ...): a JSON number.
    template <typename T>
    requires(std::is_integral_v<T> && !std::is_same_v<T, bool> && !std::is_same_v<T, char>) TRemoteArg(T value)
        : m_value(static_cast<std::int64_t>(value))
    {
    }
    TRemoteArg(TDateTime value) : m_value(value) { }
    TRemoteArg(const QByteArray& packet) : m_value(packet) { }

    Kind kind() const { return static_cast<Kind>(m_value.index()); }
    const QString& text() const { return std::get<QString>(m_value); }
    std::int64_t integer() const { return std::get<std::int64_t>(m_value); }
    TDateTime dateTime() const { return std::get<TDateTime>(m_value); }
    const QByteArray& packet() const { return std::get<QByteArray>(m_value); }

private:
    std::variant<QString, std::int64_t, TDateTime, QByteArray> m_value;
};

using TRemoteArgs = std::vector<TRemoteArg>;

// What a method answered: a data packet, or the error report of the server
// (its message is the text to show the user as it stands).
struct TServerResult {
    bool Ok = false;
    ServerPacket Packet; // the answer's data packet (XML text, or its CBOR form, maybe still arriving)
    QString ErrorMessage;
    int ErrorCode = 0;
};

// An answer that is not a JSON-RPC answer to the request: a transport fault.
class EMalformedAnswer : public Exception {
public:
    using Exception::Exception;
};

namespace jsonrpc {

// {"jsonrpc":"2.0","id":ID,"method":"M","params":[...]} as UTF-8.
QByteArray EncodeRequest(std::int64_t id, const QString& method, const TRemoteArgs& params);

// Appends text as a JSON string literal (quotes included): quote, backslash and
// control characters escaped, everything else copied as UTF-8.
void AppendJsonString(QByteArray& out, const char* utf8, qsizetype size);

// Reads an answer to request `expectedId`. Consumes the body so that the packet
// can be unescaped in place without a second 40 MB buffer. Throws
// EMalformedAnswer naming what is wrong when the body is not such an answer.
TServerResult DecodeAnswer(QByteArray&& body, std::int64_t expectedId);

// Reads an answer in its CBOR form (docs/protocol.md): the same envelope as a
// CBOR map, the packet the value of "result". The packet keeps the body's
// buffer (no copy of it).
TServerResult DecodeCborAnswer(QByteArray&& body, std::int64_t expectedId);

// The first bytes of an answer in its CBOR form, read before the rest has
// arrived: whether they tell yet (complete), and whether the envelope checks
// out with "result" as its last entry, so that everything from packetAt to
// the end of the answer is the packet and can be read as it arrives. An
// answer of another shape is read whole (DecodeCborAnswer). Throws
// EMalformedAnswer for what is wrong already.
struct CborAnswerHead {
    bool complete = false;
    bool packetFollows = false;
    std::size_t packetAt = 0;
};
CborAnswerHead ReadCborAnswerHead(const QByteArray& head, std::int64_t expectedId);

} // namespace jsonrpc
} // namespace trd
