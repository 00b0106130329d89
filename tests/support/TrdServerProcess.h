#pragma once
// Runs a real trd-server for end-to-end tests: a fresh temporary database, a
// free loopback port, ready once GET /health answers. The destructor stops it.
// kill9() and restart() let durability tests crash it and bring it back on the
// same database (and, when it is still free, the same port).
#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <memory>
#include <string_view>

class QProcess;

namespace trd::test {

// A text as a field of a seed file (Options::seedTsv, the --import-tsv format)
// holds it: tab, line breaks and the backslash escaped.
QByteArray seedField(std::string_view utf8);
inline QByteArray seedField(const QString& text)
{
    const QByteArray utf8 = text.toUtf8();
    return seedField(std::string_view(utf8.constData(), static_cast<std::size_t>(utf8.size())));
}

class TrdServerProcess {
public:
    struct Options {
        bool demo = false; // --demo: languages and a few thousand demo rows
        bool create = true; // --create at the first start: the database may be new
        QString importTsv; // --import-tsv FILE (docs/server.md) before serving
        QByteArray seedTsv; // the text of such a file, written to the temporary folder and imported
        QString dbPath; // empty: a database in a temporary folder
        QString pg; // a PostgreSQL connection string: --pg instead of --db
        QStringList extraArgs; // anything else for the command line (with --tls-cert, ready once it accepts)
        int startTimeoutMs = 30000;
        bool requireHealthy = true; // false: ready once GET /health answers at all (200 or 503)
    };

    TrdServerProcess();
    explicit TrdServerProcess(Options options);
    ~TrdServerProcess();
    TrdServerProcess(const TrdServerProcess&) = delete;
    TrdServerProcess& operator=(const TrdServerProcess&) = delete;

    bool isRunning() const;
    QString errorString() const; // why the last start failed, with the server's log

    QString host() const { return QStringLiteral("127.0.0.1"); }
    int port() const { return m_port; }
    QString hostPort() const; // "127.0.0.1:PORT", the form of --server and TRD_SERVER
    QString dbPath() const { return m_dbPath; }
    qint64 pid() const; // the running server's process id, 0 when none
    QByteArray log() const; // what the server wrote on stderr since its last start
    // Whether the log shows `text` within `ms`: the server writes a call's
    // line once the call has ended, which may be after its client has read
    // the answer, so the line is waited for, not expected at once.
    bool logShows(const char* text, int ms = 30000) const;
    QString logPath() const { return m_logPath; } // where it goes, to follow while the server runs

    // SIGKILL, no chance to clean up: what a power cut looks like to the database.
    void kill9();
    // SIGTERM and wait for the exit; true when it exited cleanly with status 0.
    bool terminate();
    // Start again on the same database (same port if still free), without the
    // import of Options::importTsv; false on failure.
    bool restart();

    // Path of the trd-server binary: $TRD_BIN_DIR/trd-server (set by CTest).
    static QString binaryPath();

private:
    bool start(bool restarting, int port);

    Options m_options;
    QTemporaryDir m_dir;
    QString m_dbPath;
    QString m_logPath;
    QString m_outPath;
    std::unique_ptr<QProcess> m_process;
    int m_port = 0;
    QString m_error;
};

} // namespace trd::test
