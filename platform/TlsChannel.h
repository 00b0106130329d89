#pragma once
// TLS (OpenSSL) over a connected, non-blocking socket, for HttpClient: the
// client keeps its own poll loop, deadlines and waiting hook, and reads and
// writes through Read/Write as it would through recv/send. When a call cannot
// go on now it fails with errno EAGAIN and Wants() names the poll event to wait
// for (a TLS read may need to write, and the other way round).
//
// The server's certificate chain is verified against the system's authorities,
// or only against those of a CA file when one is given, and must name the host
// the client asked for (DNS name, or IP address when the host is one). Every
// refusal carries its reason in Portuguese, for the user; nothing is ever sent
// in clear instead.
#include <QByteArray>
#include <QString>

#include <sys/types.h>

typedef struct ssl_ctx_st SSL_CTX;
typedef struct ssl_st SSL;
typedef struct ssl_session_st SSL_SESSION;

namespace trd {

class TlsChannel {
public:
    // caFile empty: the system's certificate authorities.
    explicit TlsChannel(QByteArray caFile);
    ~TlsChannel();
    TlsChannel(const TlsChannel&) = delete;
    TlsChannel& operator=(const TlsChannel&) = delete;

    enum class Step { Done, Again, Failed };

    // Starts a session on `fd` for `host`; then Handshake() until Done (Again:
    // wait for Wants() and call it again). Failed leaves the reason in Error().
    bool Attach(int fd, const QByteArray& host);
    Step Handshake();

    // Like recv/send: bytes moved; 0 from Read when the peer closed; -1 with
    // errno set (EAGAIN: wait for Wants()). After a failure Error() says why.
    ssize_t Read(char* out, size_t size);
    ssize_t Write(const char* data, size_t size);
    short Wants() const { return m_wants; }

    // For a kept-alive connection that looks readable while idle: true when
    // what arrived was only the server's session messages (tickets), false
    // when it closed or sent something unasked.
    bool StillOpenWhenIdle();

    // Ends the session (the socket stays with its owner). The session is kept
    // so that the next connection to the same server resumes it.
    void Detach();

    const QString& Error() const { return m_error; }

private:
    bool ensureContext();
    ssize_t failed(int sslError, int result);
    QString verifyFailure(long code) const;

    QByteArray m_caFile;
    QByteArray m_host;
    SSL_CTX* m_ctx = nullptr;
    SSL* m_ssl = nullptr;
    SSL_SESSION* m_session = nullptr;
    short m_wants = 0;
    QString m_error;
};

} // namespace trd
