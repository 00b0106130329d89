#pragma once
// A small blocking HTTP/1.1 client for the server connection: one kept-alive
// socket, TCP_NODELAY, a deadline on connecting and on every wait for the
// peer, and bodies read straight into their final buffer (an answer of a whole
// language is tens of megabytes, so it is received with large reads into a
// buffer sized by Content-Length rather than copied through small chunks).
// It speaks exactly what the protocol needs: a request with a body, an answer
// with Content-Length, chunked encoding, or a body up to the close. With
// SetTls every exchange goes through TLS (TlsChannel) under the same deadlines.
#include <QByteArray>
#include <QElapsedTimer>
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
        Connection,         // refused, unreachable, unknown host
        ConnectionTimeout,  // no answer to the connect within the deadline
        Timeout,            // the peer went silent longer than the I/O deadline
        Dropped,            // the connection closed or failed mid-exchange
        Protocol,           // what came back is not HTTP/1.x
        TooLarge,           // the answer's body is over the limit (SetMaxBodySize)
        Tls,                // no secure connection: the certificate was refused, or no TLS there
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

    // Sent as the Authorization header of every request while not empty.
    void SetAuthorization(QByteArray value) { m_authorization = std::move(value); }
    // Sent as the Accept header of every request while not empty.
    void SetAccept(QByteArray value) { m_accept = std::move(value); }

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

    bool IsOpen() const { return m_fd >= 0; }
    void Close();

    // Run on the calling thread once a request has been sent, and then about
    // every intervalMs while the request waits for the peer (connecting,
    // sending, or an answer that is slow to come or long to arrive), so the
    // caller can keep its screen alive. It must not use this client; if it
    // throws, the connection is closed first.
    void SetWaitHook(std::function<void()> hook, int intervalMs);

private:
    Error connect(QString* detail);
    bool reusable();
    Error sendAll(const char* data, qsizetype size, QString* detail);
    Error fill(QString* detail);           // reads more into m_buffer
    Error readExactly(char* out, qsizetype size, QString* detail);
    Error readLine(QByteArray& line, QString* detail);
    Error readChunked(QByteArray& body, QString* detail);
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
    qint64 m_maxBody = qint64(1) << 30;
    QByteArray m_buffer;     // bytes received and not consumed yet
    qsizetype m_offset = 0;  // start of the unconsumed bytes in m_buffer
    std::function<void()> m_waitHook;
    int m_waitHookIntervalMs = 0;
    QByteArray m_authorization;
    QByteArray m_accept;
    QElapsedTimer m_sinceHook;  // restarted by each request and each run of the hook
    bool m_tlsOn = false;
    QByteArray m_tlsCaFile;
    std::unique_ptr<TlsChannel> m_tls;
};

} // namespace trd
