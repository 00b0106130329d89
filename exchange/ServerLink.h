#pragma once
// What the exchange asks of a running trd-server, over the connection the
// client uses (docs/protocol.md): the server's clock, a language's rows as the
// editor would load them, every row of a language with its change date, and
// a change log applied as one save. Runs on any thread: each link owns its
// connection, and a job's cancel flag is checked while a call waits.
#include "ExchangeTypes.h"
#include "ExportTime.h"
#include "JsonRpc.h"
#include "TDateTime.h"

#include <QByteArray>
#include <QString>

#include <atomic>
#include <functional>
#include <memory>
#include <vector>

namespace trd {
class TSocketConnection;
}

namespace trd::exchange {

// Where the server is and how to speak to it; the caller takes these from the
// client's shared settings (WebURL, WebPort, WebTls, the session token).
struct ServerAddress {
    QString host = QStringLiteral("127.0.0.1");
    int port = 8211;
    bool tls = false;
    QString tlsCaFile;
    QByteArray token;
    // Asked when the server wants a login; returns the new token, or empty to give up.
    std::function<QByteArray(TSocketConnection& connection, const QString& message)> login;
};

// A connection to the address's server object that throws when a call
// fails; what a call does while it waits, and on a login, is the caller's.
std::unique_ptr<TSocketConnection> connectionTo(const ServerAddress& address);

// A step of a long run, for a progress bar or line. `total` 0: size unknown.
struct Progress {
    QString step;
    qint64 done = 0;
    qint64 total = 0;
};

// The run was cancelled by the user: nothing was written.
class Cancelled : public Exception {
public:
    Cancelled() : Exception(QStringLiteral("Operação cancelada; nada foi gravado.")) { }
};

// Progress reports and the cancel flag of one run.
struct JobControl {
    std::function<void(const Progress&)> onProgress;
    const std::atomic<bool>* cancel = nullptr;

    void report(const QString& step, qint64 done = 0, qint64 total = 0) const;
    void checkCancel() const; // throws Cancelled once the flag is set
};

// Which rows an export takes: a whole language, or the editor's current
// criteria filter (the values GetFiltroDest takes).
struct RowSelection {
    QString language;
    bool filtered = false;
    QString statusT = QStringLiteral("T"), statusD = QStringLiteral("D"), statusN = QStringLiteral("N");
    QString fragment;
    TDateTime firstDate = 0, lastDate = 0;
    QString dateMode;
};

class ServerLink {
public:
    ServerLink(const ServerAddress& address, const JobControl& control);
    ~ServerLink();

    // The language's code as the server spells it; throws ExchangeError when unknown.
    QString checkLanguage(const QString& typed);
    ServerClock clock();
    // The rows of the selection (no change dates).
    std::vector<Row> rows(const RowSelection& selection);
    // Every row of the language with its change date.
    std::vector<Row> rowsWithDates(const QString& language);
    // Applies the change log as one save; throws EServerError with the
    // server's reason when it refuses (then nothing was written).
    void apply(const QByteArray& delta);
    // The same, as one batch of kind import in the language's history
    // (docs/history.md), so that it is listed and can be undone whole.
    // Returns the batch's number; 0 from a server that keeps no history,
    // where the save goes ahead as an ordinary one.
    qint64 applyAsImport(const QByteArray& delta, const QString& language);
    // Opens a batch of `kind` in the language's history, with `origin` as its
    // method (the engine and route of a pre-translation); 0 from a server
    // that keeps no history.
    qint64 openBatch(const QString& language, const QString& kind, const QString& origin);
    // Applies the change log into that batch (0: as an ordinary save).
    void applyInBatch(const QByteArray& delta, qint64 batch);
    // The engine's translations of `sources` (GetTraducoesAutomaticas): the answer packet.
    QByteArray machineTranslations(const QString& language, const QByteArray& sources);
    // A release file's preview, or its apply (docs/releases.md): the answer packet.
    QByteArray release(bool apply, const QString& file, int threshold, int vanishLimit, bool memory, bool confirm);
    // A call of the glossary's methods (docs/protocol.md, "Glossary"): the
    // answer packet. A write's wait is not cancellable: once it has left, the
    // server decides, and the next call checks the cancel flag again.
    QByteArray termCall(const QString& step, const QString& method, const TRemoteArgs& args, bool writes);

private:
    QByteArray packet(const QString& step, const std::function<QByteArray()>& call);

    const JobControl& m_control;
    std::unique_ptr<TSocketConnection> m_net;
    QByteArray m_token;
};

// A refusal of the run for the user: an unknown language, a server that
// refused, a file that does not match.
class ExchangeError : public Exception {
public:
    using Exception::Exception;
};

} // namespace trd::exchange
