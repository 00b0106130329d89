#pragma once
// A data packet that may still be arriving. A server call answers a large
// packet as a stream: the caller gets it once the answer has begun, and the
// data set that loads it reads the rows as they come off the connection
// (docs/client.md, "Answers as they arrive"). Anything that wants the packet
// as bytes gets them too: the rest is then read first.
#include "Exceptions.h"

#include <QByteArray>
#include <QString>

#include <cstddef>
#include <cstdint>
#include <memory>

namespace trd {

// Where the bytes of a packet come from while it arrives.
class PacketSource {
public:
    virtual ~PacketSource() = default;

    // Up to `room` more bytes of the packet into `out`, waiting for at least
    // one; 0 once the packet has ended. Throws (and stays failed) when the
    // bytes cannot be had: the connection dropped, the server went silent.
    virtual std::size_t read(char* out, std::size_t room) = 0;

    // The most bytes the packet may still bring, for checking what a packet
    // declares before making room for it.
    virtual std::size_t limit() const = 0;

    // The writer ended the packet with a failure report (code and message)
    // in place of its next row: the rows so far are not the whole packet.
    // Throws; by default EDBClient with the message.
    [[noreturn]] virtual void failed(std::int64_t code, const QString& message);
};

// The packet a server call answered: its bytes, or a source it still
// arrives from. Moving it keeps the stream; copying it, or reading it as
// bytes, first reads the whole packet.
class ServerPacket {
public:
    ServerPacket() = default;
    ServerPacket(QByteArray bytes) : m_bytes(std::move(bytes)) { }
    ServerPacket(const char* bytes) : m_bytes(bytes) { }
    explicit ServerPacket(std::shared_ptr<PacketSource> source) : m_source(std::move(source)) { }

    ServerPacket(const ServerPacket& other) : m_bytes(other.bytes()) { }
    ServerPacket& operator=(const ServerPacket& other)
    {
        if (this != &other) {
            m_bytes = other.bytes();
            m_source.reset();
        }
        return *this;
    }
    ServerPacket(ServerPacket&&) noexcept = default;
    ServerPacket& operator=(ServerPacket&&) noexcept = default;

    // True while the packet is still to be read from its source.
    bool isStream() const { return m_source != nullptr; }
    // The source, taken: the caller reads the packet from it.
    std::shared_ptr<PacketSource> takeSource() { return std::move(m_source); }

    // The whole packet; a stream is read to its end first (and may throw as
    // its source does).
    const QByteArray& bytes() const;
    operator const QByteArray&() const { return bytes(); }
    // The whole packet, taken (no copy).
    QByteArray takeBytes()
    {
        bytes();
        return std::move(m_bytes);
    }
    qsizetype size() const { return bytes().size(); }
    bool isEmpty() const { return bytes().isEmpty(); }
    bool startsWith(const char* prefix) const { return bytes().startsWith(prefix); }
    bool contains(const char* text) const { return bytes().contains(text); }

    friend bool operator==(const ServerPacket& a, const QByteArray& b) { return a.bytes() == b; }

private:
    mutable QByteArray m_bytes;
    mutable std::shared_ptr<PacketSource> m_source;
};

} // namespace trd
