#pragma once
// A small blocking HTTP/1.1 client for the server connection: one kept-alive
// socket, TCP_NODELAY, a deadline on connecting and on every wait for the
// peer, and bodies read straight into their final buffer (an answer of a whole
// language is tens of megabytes, so it is received with large reads into a
// buffer sized by Content-Length rather than copied through small chunks).
// It speaks exactly what the protocol needs: a request with a body, an answer
// with Content-Length, chunked encoding, or a body up to the close. With
// SetTls every exchange goes through TLS (TlsChannel) under the same deadlines.
//
// An answer's body can also be taken as it arrives (Start, then ReadBody), so
// the caller works on its first part while the rest is still on the way.
#include <QByteArray>
#include <QElapsedTimer>
#include <QList>
#include <QPair>
#include <QString>

#include <sys/types.h>

#include <functional>
#include <memory>

namespace trd {

class TlsChannel;

class HttpClient {
public:
    enum class Error {
        None,
        Connection, // refused, unreachable, unknown host
        ConnectionTimeout, // no answer to the connect within the deadline
        Timeout, // the peer went silent longer than the I/O deadline
        Dropped, // the connection closed or failed mid-exchange
        Protocol, // what came back is not HTTP/1.x
        TooLarge, // the answer's body is over the limit (SetMaxBodySize)
        Tls, // no secure connection: the certificate was refused, or no TLS there
        Interrupted, // SetInterrupt's descriptor became readable: the caller gave up
    };

    struct Response {
        int status = 0;
        QByteArray contentType;
        QByteArray body;
    };

    HttpClient(QByteArray host, int port, int connectTimeoutMs, int ioTimeoutMs);
    ~HttpClient();
    HttpClient(const HttpClient&) = delete;
    HttpClient& operator=(const HttpClient&) = delete;

    // Sends one request and reads its answer, connecting first when there is
    // no live connection. On failure the connection is closed and `detail`
    // says what happened (for logs and messages).
    Error Request(const char* method, const QByteArray& path, const QByteArray& body, Response& response,
                  QString* detail = nullptr);

    // The same up to the end of the answer's header: the body is then read
    // with ReadBody (or ReadRest). A request started before the last body
    // was read to its end closes the connection first.
    Error Start(const char* method, const QByteArray& path, const QByteArray& body, Response& response,
                QString* detail = nullptr);
    // The request alone, with the answer left to come: the caller works while
    // the peer does, then takes the answer with Receive (whole, as Request
    // gives it) or ReceiveHead (up to its header, as Start). A request sent
    // before the last answer was taken closes the connection first.
    Error Send(const char* method, const QByteArray& path, const QByteArray& body, QString* detail = nullptr);
    Error Receive(const char* method, Response& response, QString* detail = nullptr);
    Error ReceiveHead(const char* method, Response& response, QString* detail = nullptr);
    // A request has left and its answer is not taken yet.
    bool AnswerPending() const { return m_sent; }
    // Up to `room` bytes of the body into out, as many as arrive at once
    // (waiting for at least one); `got` 0 once the body has ended, which
    // leaves the connection ready for the next request.
    Error ReadBody(char* out, qsizetype room, qsizetype& got, QString* detail = nullptr);
    // The rest of the body, appended to `body`.
    Error ReadRest(QByteArray& body, QString* detail = nullptr);
    bool BodyPending() const { return m_framing != Framing::None; }
    // Whether the body comes in chunks, and the bytes it may still bring (its
    // length when given, else up to the limit of SetMaxBodySize).
    bool BodyChunked() const { return m_framing == Framing::Chunked; }
    qint64 BodyLeft() const;

    // Sent as the Authorization header of every request while not empty.
    void SetAuthorization(QByteArray value) { m_authorization = std::move(value); }
    // Sent as the Accept header of every request while not empty.
    void SetAccept(QByteArray value) { m_accept = std::move(value); }
    // Further header fields of every request ("Name", "value"), as given.
    void SetExtraHeaders(QList<QPair<QByteArray, QByteArray>> fields) { m_extraHeaders = std::move(fields); }

    // Answers with a larger body are refused before their buffer is
    // allocated (Content-Length) or as soon as they pass it (chunked, or a
    // body up to the close).
    void SetMaxBodySize(qint64 bytes) { m_maxBody = bytes; }
    // The deadline of every wait for the peer once connected, from the next request on.
    void SetIoTimeout(int ms) { m_ioTimeoutMs = ms; }
    qint64 MaxBodySize() const { return m_maxBody; }

    // Speak TLS, verifying the server's certificate against the system's
    // authorities, or only those of caFile when given. Takes effect at the
    // next connect.
    void SetTls(bool on, QByteArray caFile = {});
    bool UsesTls() const { return m_tlsOn; }

    // Every wait for the peer also watches this descriptor (-1: none); once
    // it is readable, the exchange ends with Interrupted and the connection is
    // closed. Another thread stops a waiting request by writing to it.
    void SetInterrupt(int fd) { m_interruptFd = fd; }

    bool IsOpen() const { return m_fd >= 0; }
    // Takes a socket that is already connected to the peer (one end of a
    // socket pair, for the reader's tests and fuzzing) as its connection; it
    // is closed with the client.
    void AdoptConnected(int fd);
    void Close();
    // Closes the connection as failed: the exchange on it did not end well.
    void Abort();
    // The last exchange failed (until the next connect).
    bool Failed() const { return m_failed; }

    // Run on the calling thread once a request has been sent, and then about
    // every intervalMs while the request waits for the peer (connecting,
    // sending, or an answer that is slow to come or long to arrive), so the
    // caller can keep its screen alive. It must not use this client; if it
    // throws, the connection is closed first.
    void SetWaitHook(std::function<void()> hook, int intervalMs);

private:
    enum class Framing { None, Length, Chunked, Close };

    Error connect(QString* detail);
    Error readHead(const char* method, Response& response, QString* detail);
    Error nextChunk(QString* detail); // reads a chunk's size line (and the end of the body)
    Error receive(char* out, qsizetype room, qsizetype& got, QString* detail);
    bool reusable();
    Error sendAll(const char* data, qsizetype size, QString* detail);
    Error fill(QString* detail); // reads more into m_buffer
    Error readExactly(char* out, qsizetype size, QString* detail);
    Error readLine(QByteArray& line, QString* detail);
    Error tooLarge(qint64 size, QString* detail);
    Error waitFor(short events, int timeoutMs, QString* detail);
    Error fail(Error error, QString* detail, const QString& text);
    Error handshake(QString* detail);
    // recv/send through TLS when it is on; ioWait is the poll event to wait
    // for after EAGAIN, ioError the reason of a failure.
    ssize_t recvSome(char* out, size_t size);
    ssize_t sendSome(const char* data, size_t size);
    short ioWait(short plain) const;
    QString ioError(int code) const;
    void runWaitHook();

    QByteArray m_host;
    int m_port;
    int m_connectTimeoutMs;
    int m_ioTimeoutMs;
    int m_fd = -1;
    int m_interruptFd = -1;
    qint64 m_maxBody = qint64(1) << 30;
    QByteArray m_buffer; // bytes received and not consumed yet
    qsizetype m_offset = 0; // start of the unconsumed bytes in m_buffer
    Framing m_framing = Framing::None; // how the body being read ends; None: no body pending
    qint64 m_left = 0; // bytes left of the body (Length) or of the current chunk (Chunked)
    qint64 m_received = 0; // body bytes read so far
    bool m_closeAfter = false;
    bool m_failed = false;
    bool m_sent = false; // a request has left; its answer's header is not read yet
    std::function<void()> m_waitHook;
    int m_waitHookIntervalMs = 0;
    QByteArray m_authorization;
    QByteArray m_accept;
    QList<QPair<QByteArray, QByteArray>> m_extraHeaders;
    QElapsedTimer m_sinceHook; // restarted by each request and each run of the hook
    bool m_tlsOn = false;
    QByteArray m_tlsCaFile;
    std::unique_ptr<TlsChannel> m_tls;
};

} // namespace trd
