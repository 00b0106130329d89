#include "HttpClient.h"

#include "NameResolution.h"
#include "TlsChannel.h"

#include <QElapsedTimer>

#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace trd {

namespace {

constexpr qsizetype kReadChunk = 256 * 1024;
constexpr qsizetype kMaxHeaderBytes = 64 * 1024;

QByteArray headerValue(const QByteArray& line, qsizetype colon)
{
    return line.mid(colon + 1).trimmed();
}

QString systemError(int code)
{
    return QString::fromLocal8Bit(std::strerror(code));
}

} // namespace

HttpClient::HttpClient(QByteArray host, int port, int connectTimeoutMs, int ioTimeoutMs)
    : m_host(std::move(host)), m_port(port), m_connectTimeoutMs(connectTimeoutMs), m_ioTimeoutMs(ioTimeoutMs)
{
}

HttpClient::~HttpClient()
{
    Close();
}

void HttpClient::SetTls(bool on, QByteArray caFile)
{
    if (on == m_tlsOn && caFile == m_tlsCaFile)
        return;
    Close();
    m_tlsOn = on;
    m_tlsCaFile = std::move(caFile);
    m_tls.reset();
}

void HttpClient::Close()
{
    if (m_tls)
        m_tls->Detach();
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
    m_buffer.clear();
    m_offset = 0;
    m_framing = Framing::None;
    m_sent = false;
}

void HttpClient::AdoptConnected(int fd)
{
    Close();
    // As the client's own sockets are: every wait is its poll's, not the kernel's.
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
    m_fd = fd;
    m_failed = false;
}

void HttpClient::Abort()
{
    Close();
    m_failed = true;
}

HttpClient::Error HttpClient::fail(Error error, QString* detail, const QString& text)
{
    Abort();
    if (detail)
        *detail = text;
    return error;
}

HttpClient::Error HttpClient::waitFor(short events, int timeoutMs, QString* detail)
{
    pollfd p[2] = {{m_fd, events, 0}, {m_interruptFd, POLLIN, 0}};
    const nfds_t watched = m_interruptFd >= 0 ? 2 : 1;
    QElapsedTimer clock;
    clock.start();
    for (;;) {
        const int left = std::max(0, timeoutMs - int(clock.elapsed()));
        const int slice = m_waitHook ? std::min(left, m_waitHookIntervalMs) : left;
        const int n = ::poll(p, watched, slice);
        if (n < 0 && errno != EINTR)
            return fail(Error::Dropped, detail, ioError(errno));
        if (watched == 2 && p[1].revents != 0)
            return fail(Error::Interrupted, detail, QStringLiteral("interrompida"));
        if (m_waitHook)
            runWaitHook();
        if (n > 0)
            return Error::None;
        if (n == 0 && clock.elapsed() >= timeoutMs)
            return fail(Error::Timeout, detail, QStringLiteral("sem resposta em %1 ms").arg(timeoutMs));
    }
}

void HttpClient::SetWaitHook(std::function<void()> hook, int intervalMs)
{
    m_waitHook = std::move(hook);
    m_waitHookIntervalMs = std::max(1, intervalMs);
}

void HttpClient::runWaitHook()
{
    if (m_sinceHook.isValid() && m_sinceHook.elapsed() < m_waitHookIntervalMs)
        return;
    m_sinceHook.start();
    try {
        m_waitHook();
    } catch (...) {
        Close();
        throw;
    }
}

HttpClient::Error HttpClient::connect(QString* detail)
{
    // The name is resolved under the connect's deadline and the caller's
    // interrupt too: a name server that does not answer must not hold the
    // call longer than a server that does not answer would.
    AddressList found;
    QString reason;
    switch (ResolveHost(m_host, m_port, m_connectTimeoutMs, m_interruptFd, found, &reason)) {
    case Resolution::Found:
        break;
    case Resolution::Failed:
        return fail(Error::Connection, detail, reason);
    case Resolution::TimedOut:
        return fail(Error::ConnectionTimeout, detail, reason);
    case Resolution::Interrupted:
        return fail(Error::Interrupted, detail, reason);
    }

    Error result = Error::Connection;
    for (addrinfo* a = found.get(); a && m_fd < 0; a = a->ai_next) {
        const int fd = ::socket(a->ai_family, a->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, a->ai_protocol);
        if (fd < 0) {
            reason = systemError(errno);
            continue;
        }
        int rc = ::connect(fd, a->ai_addr, a->ai_addrlen);
        if (rc < 0 && errno == EINPROGRESS) {
            m_fd = fd;
            const Error waited = waitFor(POLLOUT, m_connectTimeoutMs, &reason); // closes on failure
            if (waited == Error::Timeout) {
                result = Error::ConnectionTimeout;
                continue;
            }
            if (waited != Error::None)
                continue;
            int error = 0;
            socklen_t length = sizeof error;
            ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length);
            if (error != 0) {
                reason = systemError(error);
                Close();
                result = Error::Connection;
                continue;
            }
            rc = 0;
        }
        if (rc < 0) {
            reason = systemError(errno);
            if (m_fd < 0)
                ::close(fd);
            else
                Close();
            continue;
        }
        m_fd = fd;
        const int on = 1;
        ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
        ::setsockopt(fd, SOL_SOCKET, SO_KEEPALIVE, &on, sizeof on);
    }
    if (m_fd < 0)
        return fail(result, detail, reason);
    m_failed = false;
    return m_tlsOn ? handshake(detail) : Error::None;
}

HttpClient::Error HttpClient::handshake(QString* detail)
{
    if (!m_tls)
        m_tls = std::make_unique<TlsChannel>(m_tlsCaFile);
    if (!m_tls->Attach(m_fd, m_host))
        return fail(Error::Tls, detail, m_tls->Error());
    // The handshake shares the connect's deadline: to the user both are
    // "connecting".
    QElapsedTimer clock;
    clock.start();
    for (;;) {
        switch (m_tls->Handshake()) {
        case TlsChannel::Step::Done:
            return Error::None;
        case TlsChannel::Step::Failed:
            return fail(Error::Tls, detail, m_tls->Error());
        case TlsChannel::Step::Again:
            break;
        }
        const int left = m_connectTimeoutMs - int(clock.elapsed());
        if (left <= 0)
            return fail(Error::ConnectionTimeout, detail,
                        QStringLiteral("sem resposta ao TLS em %1 ms").arg(m_connectTimeoutMs));
        if (const Error e = waitFor(m_tls->Wants(), left, detail); e != Error::None)
            return e == Error::Timeout ? Error::ConnectionTimeout : e;
    }
}

ssize_t HttpClient::recvSome(char* out, size_t size)
{
    return m_tls && m_tlsOn ? m_tls->Read(out, size) : ::recv(m_fd, out, size, 0);
}

ssize_t HttpClient::sendSome(const char* data, size_t size)
{
    return m_tls && m_tlsOn ? m_tls->Write(data, size) : ::send(m_fd, data, size, MSG_NOSIGNAL);
}

short HttpClient::ioWait(short plain) const
{
    return m_tls && m_tlsOn ? m_tls->Wants() : plain;
}

QString HttpClient::ioError(int code) const
{
    return m_tls && m_tlsOn && !m_tls->Error().isEmpty() ? m_tls->Error() : systemError(code);
}

bool HttpClient::reusable()
{
    if (m_fd < 0)
        return false;
    // An idle kept-alive socket has nothing to read; readable means the
    // server closed it (or sent something we never asked for).
    pollfd p{m_fd, POLLIN, 0};
    if (::poll(&p, 1, 0) == 0)
        return true;
    // Over TLS the server may send session tickets after the handshake,
    // which make an idle socket readable without ending anything.
    if (m_tls && m_tlsOn && !(p.revents & (POLLHUP | POLLERR)) && m_tls->StillOpenWhenIdle())
        return true;
    Close();
    return false;
}

HttpClient::Error HttpClient::sendAll(const char* data, qsizetype size, QString* detail)
{
    while (size > 0) {
        const ssize_t n = sendSome(data, size_t(size));
        if (n > 0) {
            data += n;
            size -= n;
        } else if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            if (const Error e = waitFor(ioWait(POLLOUT), m_ioTimeoutMs, detail); e != Error::None)
                return e;
        } else if (n < 0 && errno == EINTR) {
            continue;
        } else {
            return fail(Error::Dropped, detail, ioError(errno));
        }
    }
    return Error::None;
}

HttpClient::Error HttpClient::fill(QString* detail)
{
    // The buffer keeps its memory from read to read (resize, not clear):
    // freeing and taking it again would fault in fresh pages every time.
    if (m_offset == m_buffer.size()) {
        m_buffer.resize(0);
        m_offset = 0;
    } else if (m_offset > 0 && m_offset >= m_buffer.size() / 2) {
        m_buffer.remove(0, m_offset);
        m_offset = 0;
    }
    const qsizetype old = m_buffer.size();
    m_buffer.resize(old + kReadChunk);
    for (;;) {
        const ssize_t n = recvSome(m_buffer.data() + old, size_t(kReadChunk));
        if (n > 0) {
            m_buffer.resize(old + n);
            return Error::None;
        }
        if (n == 0) {
            m_buffer.resize(old);
            return fail(Error::Dropped, detail, QStringLiteral("conexão fechada pelo servidor"));
        }
        if (errno == EAGAIN || errno == EWOULDBLOCK) {
            if (const Error e = waitFor(ioWait(POLLIN), m_ioTimeoutMs, detail); e != Error::None)
                return e;
        } else if (errno != EINTR) {
            return fail(Error::Dropped, detail, ioError(errno));
        }
    }
}

HttpClient::Error HttpClient::readExactly(char* out, qsizetype size, QString* detail)
{
    const qsizetype buffered = std::min(size, m_buffer.size() - m_offset);
    std::memcpy(out, m_buffer.constData() + m_offset, size_t(buffered));
    m_offset += buffered;
    out += buffered;
    size -= buffered;
    // The rest goes straight from the socket into its place.
    while (size > 0) {
        const ssize_t n = recvSome(out, size_t(size));
        if (n > 0) {
            out += n;
            size -= n;
        } else if (n == 0) {
            return fail(Error::Dropped, detail, QStringLiteral("resposta interrompida"));
        } else if (errno == EAGAIN || errno == EWOULDBLOCK) {
            if (const Error e = waitFor(ioWait(POLLIN), m_ioTimeoutMs, detail); e != Error::None)
                return e;
        } else if (errno != EINTR) {
            return fail(Error::Dropped, detail, ioError(errno));
        }
    }
    return Error::None;
}

HttpClient::Error HttpClient::readLine(QByteArray& line, QString* detail)
{
    for (;;) {
        const qsizetype nl = m_buffer.indexOf('\n', m_offset);
        if (nl >= 0) {
            line = m_buffer.mid(m_offset, nl - m_offset);
            if (line.endsWith('\r'))
                line.chop(1);
            m_offset = nl + 1;
            return Error::None;
        }
        if (m_buffer.size() - m_offset > kMaxHeaderBytes)
            return fail(Error::Protocol, detail, QStringLiteral("linha de cabeçalho longa demais"));
        if (const Error e = fill(detail); e != Error::None)
            return e;
    }
}

HttpClient::Error HttpClient::tooLarge(qint64 size, QString* detail)
{
    return fail(
        Error::TooLarge, detail,
        QStringLiteral("a resposta tem %1 bytes ou mais, acima do limite de %2 bytes").arg(size).arg(m_maxBody));
}

HttpClient::Error HttpClient::Request(const char* method, const QByteArray& path, const QByteArray& body,
                                      Response& response, QString* detail)
{
    if (const Error e = Send(method, path, body, detail); e != Error::None)
        return e;
    return Receive(method, response, detail);
}

HttpClient::Error HttpClient::Receive(const char* method, Response& response, QString* detail)
{
    if (const Error e = ReceiveHead(method, response, detail); e != Error::None)
        return e;
    if (m_framing == Framing::Length) {
        // The length is known: the body goes straight into a buffer of its size.
        response.body.resize(qsizetype(m_left));
        if (const Error e = readExactly(response.body.data(), qsizetype(m_left), detail); e != Error::None)
            return e;
        m_received = m_left;
        m_left = 0;
        m_framing = Framing::None;
        if (m_closeAfter)
            Close();
        return Error::None;
    }
    return ReadRest(response.body, detail);
}

HttpClient::Error HttpClient::Start(const char* method, const QByteArray& path, const QByteArray& body,
                                    Response& response, QString* detail)
{
    if (const Error e = Send(method, path, body, detail); e != Error::None)
        return e;
    return ReceiveHead(method, response, detail);
}

HttpClient::Error HttpClient::Send(const char* method, const QByteArray& path, const QByteArray& body, QString* detail)
{
    m_sinceHook.start();
    // What is left of an answer nobody read would be taken for the next one.
    if (m_framing != Framing::None || m_sent)
        Close();
    if (!reusable()) {
        if (const Error e = connect(detail); e != Error::None)
            return e;
    }
    m_buffer.resize(0);
    m_offset = 0;

    QByteArray head;
    head.reserve(256);
    head += method;
    // An IPv6 address goes in brackets, as in a URL.
    const QByteArray hostName = m_host.contains(':') ? '[' + m_host + ']' : m_host;
    head += ' ' + path + " HTTP/1.1\r\nHost: " + hostName + ':' + QByteArray::number(m_port)
        + "\r\nAccept-Encoding: identity\r\nConnection: keep-alive\r\n";
    if (!m_authorization.isEmpty())
        head += "Authorization: " + m_authorization + "\r\n";
    if (!m_accept.isEmpty())
        head += "Accept: " + m_accept + "\r\n";
    for (const auto& [name, value] : m_extraHeaders)
        head += name + ": " + value + "\r\n";
    if (!body.isEmpty() || std::strcmp(method, "POST") == 0)
        head += "Content-Type: application/json\r\nContent-Length: " + QByteArray::number(body.size()) + "\r\n";
    head += "\r\n";
    // Header and body leave in one write when the body is small (TCP_NODELAY
    // would otherwise send two segments for one request).
    if (body.size() <= 64 * 1024) {
        head += body;
        if (const Error e = sendAll(head.constData(), head.size(), detail); e != Error::None)
            return e;
    } else {
        if (const Error e = sendAll(head.constData(), head.size(), detail); e != Error::None)
            return e;
        if (const Error e = sendAll(body.constData(), body.size(), detail); e != Error::None)
            return e;
    }
    // The peer works on it now: the caller's moment for work of its own.
    if (m_waitHook) {
        m_sinceHook.invalidate();
        runWaitHook();
    }
    m_sent = true;
    return Error::None;
}

HttpClient::Error HttpClient::ReceiveHead(const char* method, Response& response, QString* detail)
{
    response = Response();
    if (!m_sent || m_fd < 0)
        return fail(Error::Dropped, detail, QStringLiteral("nenhum pedido à espera de resposta"));
    m_sent = false;
    return readHead(method, response, detail);
}

HttpClient::Error HttpClient::readHead(const char* method, Response& response, QString* detail)
{
    QByteArray line;
    qlonglong contentLength = -1;
    bool chunked = false;
    m_closeAfter = false;
    do { // informational answers (1xx) come before the real one
        if (const Error e = readLine(line, detail); e != Error::None)
            return e;
        if (!line.startsWith("HTTP/1.") || line.size() < 12 || line.at(8) != ' ')
            return fail(Error::Protocol, detail, QStringLiteral("resposta sem linha de status HTTP"));
        // Three digits, 100 to 599: "020", "-12" or "+99" are no status.
        const QByteArray code = line.mid(9, 3);
        const bool digits = std::all_of(code.begin(), code.end(), [](char c) { return c >= '0' && c <= '9'; });
        response.status = digits ? code.toInt() : 0;
        if (!digits || response.status < 100 || response.status > 599)
            return fail(Error::Protocol, detail, QStringLiteral("código de status inválido"));
        m_closeAfter = line.startsWith("HTTP/1.0");
        for (;;) {
            if (const Error e = readLine(line, detail); e != Error::None)
                return e;
            if (line.isEmpty())
                break;
            const qsizetype colon = line.indexOf(':');
            if (colon <= 0)
                return fail(Error::Protocol, detail, QStringLiteral("cabeçalho malformado"));
            const QByteArray name = line.left(colon).trimmed().toLower();
            if (name == "content-length") {
                bool ok2 = false;
                contentLength = headerValue(line, colon).toLongLong(&ok2);
                if (!ok2 || contentLength < 0)
                    return fail(Error::Protocol, detail, QStringLiteral("Content-Length inválido"));
            } else if (name == "transfer-encoding") {
                chunked = headerValue(line, colon).toLower().contains("chunked");
            } else if (name == "content-type") {
                response.contentType = headerValue(line, colon);
            } else if (name == "connection") {
                const QByteArray value = headerValue(line, colon).toLower();
                m_closeAfter = value.contains("close") ? true : (value.contains("keep-alive") ? false : m_closeAfter);
            }
        }
    } while (response.status >= 100 && response.status < 200);

    m_received = 0;
    m_left = 0;
    if (std::strcmp(method, "HEAD") == 0 || response.status == 204 || response.status == 304) {
        m_framing = Framing::Length; // no body
    } else if (chunked) {
        m_framing = Framing::Chunked;
    } else if (contentLength >= 0) {
        if (contentLength > m_maxBody)
            return tooLarge(contentLength, detail);
        m_framing = Framing::Length;
        m_left = contentLength;
    } else {
        // No length: the body runs to the end of the connection.
        m_framing = Framing::Close;
        m_closeAfter = true;
    }
    return Error::None;
}

qint64 HttpClient::BodyLeft() const
{
    switch (m_framing) {
    case Framing::None:
        return 0;
    case Framing::Length:
        return m_left;
    case Framing::Chunked:
    case Framing::Close:
        break;
    }
    return std::max<qint64>(0, m_maxBody - m_received);
}

// The body's bytes: those already received first, then straight from the socket.
HttpClient::Error HttpClient::receive(char* out, qsizetype room, qsizetype& got, QString* detail)
{
    got = 0;
    if (m_offset < m_buffer.size()) {
        got = std::min(room, m_buffer.size() - m_offset);
        std::memcpy(out, m_buffer.constData() + m_offset, size_t(got));
        m_offset += got;
        return Error::None;
    }
    for (;;) {
        const ssize_t n = recvSome(out, size_t(room));
        if (n > 0) {
            got = n;
            return Error::None;
        }
        if (n == 0)
            return m_framing == Framing::Close ? Error::None
                                               : fail(Error::Dropped, detail, QStringLiteral("resposta interrompida"));
        if (errno == EAGAIN || errno == EWOULDBLOCK) {
            if (const Error e = waitFor(ioWait(POLLIN), m_ioTimeoutMs, detail); e != Error::None)
                return e;
        } else if (errno != EINTR) {
            return fail(Error::Dropped, detail, ioError(errno));
        }
    }
}

// The size line of the next chunk (after the end of the one before); at the
// last chunk, the trailer fields too, which end the body.
HttpClient::Error HttpClient::nextChunk(QString* detail)
{
    QByteArray line;
    if (m_received > 0) { // the line break that closes the chunk before
        if (const Error e = readLine(line, detail); e != Error::None)
            return e;
        if (!line.isEmpty())
            return fail(Error::Protocol, detail, QStringLiteral("bloco sem fim de linha"));
    }
    if (const Error e = readLine(line, detail); e != Error::None)
        return e;
    const qsizetype semicolon = line.indexOf(';');
    bool ok = false;
    const qlonglong size = (semicolon < 0 ? line : line.left(semicolon)).trimmed().toLongLong(&ok, 16);
    if (!ok || size < 0 || size > (qlonglong(1) << 34))
        return fail(Error::Protocol, detail, QStringLiteral("tamanho de bloco inválido"));
    if (m_received + size > m_maxBody)
        return tooLarge(m_received + size, detail);
    m_left = size;
    if (size > 0)
        return Error::None;
    do { // trailer fields, up to the empty line
        if (const Error e = readLine(line, detail); e != Error::None)
            return e;
    } while (!line.isEmpty());
    return Error::None;
}

HttpClient::Error HttpClient::ReadBody(char* out, qsizetype room, qsizetype& got, QString* detail)
{
    got = 0;
    if (m_framing == Framing::Chunked && m_left == 0) {
        if (const Error e = nextChunk(detail); e != Error::None)
            return e;
        if (m_left == 0)
            m_framing = Framing::Length; // the last chunk: the body has ended
    }
    if (m_framing == Framing::None)
        return Error::None;
    if (m_framing == Framing::Length && m_left == 0) {
        m_framing = Framing::None;
        if (m_closeAfter)
            Close();
        return Error::None;
    }
    const qsizetype want = m_framing == Framing::Close ? room : qsizetype(std::min<qint64>(room, m_left));
    if (want <= 0)
        return Error::None;
    if (const Error e = receive(out, want, got, detail); e != Error::None)
        return e;
    if (m_framing == Framing::Close) {
        if (got == 0) {
            m_framing = Framing::None;
            Close();
            return Error::None;
        }
        if (m_received + got > m_maxBody)
            return tooLarge(m_received + got, detail);
    } else {
        m_left -= got;
    }
    m_received += got;
    return Error::None;
}

HttpClient::Error HttpClient::ReadRest(QByteArray& body, QString* detail)
{
    for (;;) {
        if (body.capacity() - body.size() < 64 * 1024)
            body.reserve(std::max<qsizetype>(body.size() * 2, 256 * 1024));
        const qsizetype old = body.size();
        body.resize(body.capacity());
        qsizetype got = 0;
        const Error e = ReadBody(body.data() + old, body.size() - old, got, detail);
        body.resize(old + got);
        if (e != Error::None)
            return e;
        if (got == 0)
            return Error::None; // the end of the body
    }
}

} // namespace trd
