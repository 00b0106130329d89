#include "TrdServerProcess.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QProcess>
#include <QThread>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <cstdio>

#include <csignal>
#include <cstring>

namespace trd::test {

QByteArray seedField(std::string_view utf8)
{
    QByteArray out;
    for (char c : utf8) {
        switch (c) {
        case '\t':
            out += "\\t";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\\':
            out += "\\\\";
            break;
        default:
            out += c;
        }
    }
    return out;
}

namespace {

// One GET /health over a fresh connection; true on "200" (or on any answer
// when anyAnswer). Plain sockets keep this helper free of Qt Network and of
// any HTTP library.
bool healthOk(int port, bool anyAnswer, bool tls)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0)
        return false;
    timeval tv{2, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
    ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &tv, sizeof tv);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(static_cast<uint16_t>(port));
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bool ok = false;
    if (tls) {
        // A server that speaks only TLS is ready once it accepts: it
        // announces its port after it listens.
        ok = ::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
    } else if (::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0) {
        const char req[] = "GET /health HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n";
        if (::send(fd, req, sizeof req - 1, MSG_NOSIGNAL) == static_cast<ssize_t>(sizeof req - 1)) {
            char buf[64] = {};
            const ssize_t n = ::recv(fd, buf, sizeof buf - 1, 0);
            ok = n > 12 && (anyAnswer ? std::strncmp(buf, "HTTP/1.1 ", 9) == 0 : std::strncmp(buf + 9, "200", 3) == 0);
        }
    }
    ::close(fd);
    return ok;
}

// The port the server announced on stdout ("listening on 127.0.0.1:PORT"), or 0.
int announcedPort(const QString& outPath)
{
    QFile f(outPath);
    if (!f.open(QIODevice::ReadOnly))
        return 0;
    const QByteArray text = f.readAll();
    const QByteArray marker = "listening on ";
    const qsizetype at = text.indexOf(marker);
    if (at < 0)
        return 0;
    const qsizetype nl = text.indexOf('\n', at);
    if (nl < 0)
        return 0;
    const QByteArray hostPort = text.mid(at + marker.size(), nl - at - marker.size()).trimmed();
    const qsizetype colon = hostPort.lastIndexOf(':');
    return colon < 0 ? 0 : hostPort.mid(colon + 1).toInt();
}

} // namespace

TrdServerProcess::TrdServerProcess() : TrdServerProcess(Options{})
{
}

qint64 TrdServerProcess::pid() const
{
    return m_process ? m_process->processId() : 0;
}

TrdServerProcess::TrdServerProcess(Options options) : m_options(std::move(options))
{
    m_dbPath = m_options.dbPath.isEmpty() ? m_dir.filePath(QStringLiteral("trd.db")) : m_options.dbPath;
    m_logPath = m_dir.filePath(QStringLiteral("server.log"));
    m_outPath = m_dir.filePath(QStringLiteral("server.out"));
    start(false, 0);
}

TrdServerProcess::~TrdServerProcess()
{
    if (isRunning() && !terminate())
        kill9();
}

QString TrdServerProcess::binaryPath()
{
    QString dir = qEnvironmentVariable("TRD_BIN_DIR");
    if (dir.isEmpty())
        dir = QStringLiteral("build/bin");
    return dir + QStringLiteral("/trd-server");
}

bool TrdServerProcess::isRunning() const
{
    return m_process && m_process->state() == QProcess::Running;
}

QString TrdServerProcess::errorString() const
{
    return m_error;
}

QString TrdServerProcess::hostPort() const
{
    return host() + QLatin1Char(':') + QString::number(m_port);
}

QByteArray TrdServerProcess::log() const
{
    QFile f(m_logPath);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

bool TrdServerProcess::logShows(const char* text, int ms) const
{
    QDeadlineTimer deadline(ms);
    while (!log().contains(text)) {
        if (deadline.hasExpired())
            return false;
        QThread::msleep(20);
    }
    return true;
}

bool TrdServerProcess::start(bool restarting, int port)
{
    m_error.clear();
    if (!m_dir.isValid()) {
        m_error = QStringLiteral("no temporary folder");
        return false;
    }
    QStringList args{QStringLiteral("--listen"), QStringLiteral("127.0.0.1:%1").arg(port)};
    if (m_options.pg.isEmpty())
        args << QStringLiteral("--db") << m_dbPath;
    else
        args << QStringLiteral("--pg") << m_options.pg;
    if (m_options.demo)
        args << QStringLiteral("--demo");
    // The server creates a database only when told; a restart must find the
    // one the first start made, never a new empty one.
    if (!restarting && m_options.create && m_options.pg.isEmpty())
        args << QStringLiteral("--create");
    // The seed belongs to the fresh database; a restart must find the data as
    // the crash left it, not re-imported over it.
    if (!m_options.seedTsv.isEmpty() && !restarting) {
        const QString semente = m_dir.filePath(QStringLiteral("seed.tsv"));
        QFile f(semente);
        if (!f.open(QIODevice::WriteOnly) || f.write(m_options.seedTsv) != m_options.seedTsv.size()) {
            m_error = QStringLiteral("cannot write the seed file %1").arg(semente);
            return false;
        }
        args << QStringLiteral("--import-tsv") << semente;
    }
    if (!m_options.importTsv.isEmpty() && !restarting)
        args << QStringLiteral("--import-tsv") << m_options.importTsv;
    args << m_options.extraArgs;

    QFile::remove(m_outPath);
    m_process = std::make_unique<QProcess>();
    // Files, not pipes: nobody reads a pipe while a test runs without an event
    // loop, and a full pipe would stall the server's request log.
    m_process->setStandardOutputFile(m_outPath);
    m_process->setStandardErrorFile(m_logPath);
    m_process->start(binaryPath(), args);
    if (!m_process->waitForStarted(10000)) {
        m_error = QStringLiteral("cannot start %1: %2").arg(binaryPath(), m_process->errorString());
        m_process.reset();
        return false;
    }
    QDeadlineTimer deadline(m_options.startTimeoutMs);
    port = 0;
    while (!deadline.hasExpired()) {
        if (m_process->state() != QProcess::Running)
            break;
        if (port == 0)
            port = announcedPort(m_outPath);
        if (port != 0
            && healthOk(port, !m_options.requireHealthy, m_options.extraArgs.contains(QStringLiteral("--tls-cert")))) {
            m_port = port;
            return true;
        }
        m_process->waitForFinished(20);
    }
    m_error = QStringLiteral("trd-server did not become healthy:\n") + QString::fromUtf8(log());
    if (m_process->state() == QProcess::Running) {
        m_process->kill();
        m_process->waitForFinished(5000);
    }
    m_process.reset();
    return false;
}

void TrdServerProcess::kill9()
{
    if (!m_process)
        return;
    if (m_process->state() == QProcess::Running) {
        ::kill(static_cast<pid_t>(m_process->processId()), SIGKILL);
        m_process->waitForFinished(10000);
    }
    m_process.reset();
}

bool TrdServerProcess::terminate()
{
    if (!m_process)
        return false;
    bool clean = false;
    if (m_process->state() == QProcess::Running) {
        m_process->terminate();
        if (m_process->waitForFinished(10000))
            clean = m_process->exitStatus() == QProcess::NormalExit && m_process->exitCode() == 0;
        else
            kill9();
        // A server that would not stop, or stopped in error, says why in its
        // last lines: the test that asked for the stop shows them.
        if (!clean)
            std::fprintf(stderr, "trd-server did not stop cleanly; the end of its log:\n%s\n",
                         log().right(4000).constData());
    }
    m_process.reset();
    return clean;
}

bool TrdServerProcess::restart()
{
    if (isRunning())
        terminate();
    if (start(true, m_port))
        return true;
    const QString first = m_error;
    if (start(true, 0)) // the old port was taken meanwhile
        return true;
    m_error = first + QStringLiteral("\n") + m_error;
    return false;
}

} // namespace trd::test
