#include "TlsChannel.h"

#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>

#include <arpa/inet.h>
#include <sys/socket.h>

#include <poll.h>

#include <cerrno>
#include <cstdint>
#include <cstring>

namespace trd {

namespace {

// OpenSSL's own socket BIO writes with write(2), which raises SIGPIPE when
// the server has gone; the client must not die of it, and changing the
// process's signal handling is not a library's business. This one sends with
// MSG_NOSIGNAL and is otherwise the same.
int fdOf(BIO* bio)
{
    return static_cast<int>(reinterpret_cast<std::intptr_t>(BIO_get_data(bio)));
}

int bioWrite(BIO* bio, const char* data, int size)
{
    BIO_clear_retry_flags(bio);
    const ssize_t n = ::send(fdOf(bio), data, size_t(size), MSG_NOSIGNAL);
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR))
        BIO_set_retry_write(bio);
    return int(n);
}

int bioRead(BIO* bio, char* out, int size)
{
    BIO_clear_retry_flags(bio);
    const ssize_t n = ::recv(fdOf(bio), out, size_t(size), 0);
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR))
        BIO_set_retry_read(bio);
    return int(n);
}

long bioCtrl(BIO*, int command, long, void*)
{
    return command == BIO_CTRL_FLUSH ? 1 : 0;
}

const BIO_METHOD* socketMethod()
{
    static const BIO_METHOD* const method = [] {
        BIO_METHOD* m = BIO_meth_new(BIO_get_new_index() | BIO_TYPE_SOURCE_SINK, "trd socket");
        BIO_meth_set_write(m, bioWrite);
        BIO_meth_set_read(m, bioRead);
        BIO_meth_set_ctrl(m, bioCtrl);
        return m;
    }();
    return method;
}

QString openSslText()
{
    const unsigned long code = ERR_peek_last_error();
    if (code == 0)
        return {};
    char text[256];
    ERR_error_string_n(code, text, sizeof text);
    return QString::fromLatin1(text);
}

bool isIpAddress(const QByteArray& host)
{
    unsigned char address[16];
    return ::inet_pton(AF_INET, host.constData(), address) == 1
        || ::inet_pton(AF_INET6, host.constData(), address) == 1;
}

} // namespace

TlsChannel::TlsChannel(QByteArray caFile) : m_caFile(std::move(caFile))
{
}

TlsChannel::~TlsChannel()
{
    if (m_ssl)
        SSL_free(m_ssl);
    if (m_session)
        SSL_SESSION_free(m_session);
    if (m_ctx)
        SSL_CTX_free(m_ctx);
}

bool TlsChannel::ensureContext()
{
    if (m_ctx)
        return true;
    SSL_CTX* ctx = SSL_CTX_new(TLS_client_method());
    if (!ctx) {
        m_error = QStringLiteral("não foi possível iniciar o TLS (%1)").arg(openSslText());
        return false;
    }
    SSL_CTX_set_min_proto_version(ctx, TLS1_2_VERSION);
    SSL_CTX_set_verify(ctx, SSL_VERIFY_PEER, nullptr);
    // A server that closes without the TLS goodbye is a closed connection,
    // as it is over plain TCP; answers carry their length, so nothing cut
    // short passes for whole.
    SSL_CTX_set_options(ctx, SSL_OP_IGNORE_UNEXPECTED_EOF);
    ERR_clear_error();
    const bool loaded = m_caFile.isEmpty() ? SSL_CTX_set_default_verify_paths(ctx) == 1
                                           : SSL_CTX_load_verify_locations(ctx, m_caFile.constData(), nullptr) == 1;
    if (!loaded) {
        m_error = m_caFile.isEmpty()
            ? QStringLiteral("não foi possível ler as autoridades certificadoras do sistema (%1)").arg(openSslText())
            : QStringLiteral("não foi possível ler as autoridades certificadoras do arquivo %1 (%2)")
                  .arg(QString::fromLocal8Bit(m_caFile), openSslText());
        SSL_CTX_free(ctx);
        return false;
    }
    m_ctx = ctx;
    return true;
}

bool TlsChannel::Attach(int fd, const QByteArray& host)
{
    Detach();
    m_error.clear();
    m_wants = 0;
    m_host = host;
    if (!ensureContext())
        return false;
    m_ssl = SSL_new(m_ctx);
    BIO* bio = m_ssl ? BIO_new(socketMethod()) : nullptr;
    if (!bio) {
        m_error = QStringLiteral("não foi possível iniciar o TLS (%1)").arg(openSslText());
        return false;
    }
    BIO_set_data(bio, reinterpret_cast<void*>(std::intptr_t(fd)));
    BIO_set_init(bio, 1);
    SSL_set_bio(m_ssl, bio, bio);
    // The certificate must be the one of the address the user gave: an IP
    // address is checked against the certificate's IP entries, a name
    // against its DNS names (and sent as SNI).
    bool named;
    if (isIpAddress(host)) {
        named = X509_VERIFY_PARAM_set1_ip_asc(SSL_get0_param(m_ssl), host.constData()) == 1;
    } else {
        named = SSL_set1_host(m_ssl, host.constData()) == 1
            // SSL_set_tlsext_host_name is this call behind a macro with a C cast in it.
            && SSL_ctrl(m_ssl, SSL_CTRL_SET_TLSEXT_HOSTNAME, TLSEXT_NAMETYPE_host_name,
                        const_cast<char*>(host.constData()))
                == 1;
    }
    if (!named) {
        m_error = QStringLiteral("endereço do servidor inválido para TLS: %1").arg(QString::fromUtf8(host));
        return false;
    }
    if (m_session)
        SSL_set_session(m_ssl, m_session);
    SSL_set_connect_state(m_ssl);
    return true;
}

QString TlsChannel::verifyFailure(long code) const
{
    const QString authorities = m_caFile.isEmpty()
        ? QStringLiteral("as do sistema")
        : QStringLiteral("as do arquivo %1").arg(QString::fromLocal8Bit(m_caFile));
    switch (code) {
    case X509_V_ERR_HOSTNAME_MISMATCH:
        return QStringLiteral("o certificado do servidor não é do nome %1").arg(QString::fromUtf8(m_host));
    case X509_V_ERR_IP_ADDRESS_MISMATCH:
        return QStringLiteral("o certificado do servidor não é do endereço %1").arg(QString::fromUtf8(m_host));
    case X509_V_ERR_DEPTH_ZERO_SELF_SIGNED_CERT:
    case X509_V_ERR_SELF_SIGNED_CERT_IN_CHAIN:
    case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT:
    case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT_LOCALLY:
    case X509_V_ERR_UNABLE_TO_VERIFY_LEAF_SIGNATURE:
        return QStringLiteral(
                   "o certificado do servidor não foi emitido por uma autoridade certificadora confiável (%1)")
            .arg(authorities);
    case X509_V_ERR_CERT_HAS_EXPIRED:
        return QStringLiteral("o certificado do servidor expirou");
    case X509_V_ERR_CERT_NOT_YET_VALID:
        return QStringLiteral("o certificado do servidor ainda não está em vigor");
    case X509_V_ERR_CERT_REVOKED:
        return QStringLiteral("o certificado do servidor foi revogado");
    default:
        return QStringLiteral("o certificado do servidor foi recusado (%1)")
            .arg(QString::fromLatin1(X509_verify_cert_error_string(code)));
    }
}

TlsChannel::Step TlsChannel::Handshake()
{
    ERR_clear_error();
    const int rc = SSL_connect(m_ssl);
    if (rc == 1)
        return Step::Done;
    const int error = SSL_get_error(m_ssl, rc);
    if (error == SSL_ERROR_WANT_READ || error == SSL_ERROR_WANT_WRITE) {
        m_wants = error == SSL_ERROR_WANT_READ ? POLLIN : POLLOUT;
        return Step::Again;
    }
    if (const long verified = SSL_get_verify_result(m_ssl); verified != X509_V_OK) {
        m_error = verifyFailure(verified);
    } else if (error == SSL_ERROR_SSL) {
        const int reason = ERR_GET_REASON(ERR_peek_last_error());
        if (reason == SSL_R_WRONG_VERSION_NUMBER || reason == SSL_R_PACKET_LENGTH_TOO_LONG)
            m_error =
                QStringLiteral("o servidor não atende com TLS nesse endereço (use http:// para um servidor sem TLS)");
        else
            m_error = QStringLiteral("o servidor recusou a conexão segura (%1)").arg(openSslText());
    } else {
        m_error = QStringLiteral("a conexão foi fechada durante o início da conexão segura");
    }
    return Step::Failed;
}

ssize_t TlsChannel::failed(int sslError, int result)
{
    if (sslError == SSL_ERROR_WANT_READ || sslError == SSL_ERROR_WANT_WRITE) {
        m_wants = sslError == SSL_ERROR_WANT_READ ? POLLIN : POLLOUT;
        errno = EAGAIN;
        return -1;
    }
    if (sslError == SSL_ERROR_ZERO_RETURN)
        return 0;
    if (sslError == SSL_ERROR_SYSCALL && result == 0)
        return 0;
    if (sslError == SSL_ERROR_SYSCALL) {
        const int saved = errno ? errno : ECONNRESET;
        m_error = QString::fromLocal8Bit(std::strerror(saved));
        errno = saved;
        return -1;
    }
    m_error = QStringLiteral("falha na conexão segura (%1)").arg(openSslText());
    errno = EPROTO;
    return -1;
}

ssize_t TlsChannel::Read(char* out, size_t size)
{
    ERR_clear_error();
    size_t n = 0;
    const int rc = SSL_read_ex(m_ssl, out, size, &n);
    if (rc == 1)
        return ssize_t(n);
    return failed(SSL_get_error(m_ssl, rc), rc);
}

ssize_t TlsChannel::Write(const char* data, size_t size)
{
    ERR_clear_error();
    size_t n = 0;
    const int rc = SSL_write_ex(m_ssl, data, size, &n);
    if (rc == 1)
        return ssize_t(n);
    return failed(SSL_get_error(m_ssl, rc), rc);
}

bool TlsChannel::StillOpenWhenIdle()
{
    if (!m_ssl)
        return false;
    ERR_clear_error();
    char byte;
    size_t n = 0;
    const int rc = SSL_peek_ex(m_ssl, &byte, 1, &n);
    return rc != 1 && SSL_get_error(m_ssl, rc) == SSL_ERROR_WANT_READ;
}

void TlsChannel::Detach()
{
    if (!m_ssl)
        return;
    if (SSL_SESSION* session = SSL_get1_session(m_ssl)) {
        if (SSL_SESSION_is_resumable(session)) {
            if (m_session)
                SSL_SESSION_free(m_session);
            m_session = session;
        } else {
            SSL_SESSION_free(session);
        }
    }
    SSL_free(m_ssl); // frees the BIO; the socket is its owner's
    m_ssl = nullptr;
}

} // namespace trd
