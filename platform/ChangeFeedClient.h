#pragma once
// Following the server's change feed (docs/live.md): the saves of one
// language, as the server numbers them, delivered to the owner's thread as
// they happen. One request at a time waits at the server on a connection of
// its own, from a thread of its own, so the screens' synchronous calls and the
// user's typing never wait for it, and an idle follower costs no processor
// time (its thread sleeps in poll() until the server answers or it is told to
// stop). A dropped connection is tried again with a growing pause, from the
// last number answered, so no change is lost; when the server no longer keeps
// what was missed it says so, and the owner is told to load its rows again.
#include <QByteArray>
#include <QObject>
#include <QString>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace trd {

// One save of a row, as the feed tells it: the row's key, its state before
// and after (type 'A' changed, 'I' created: nothing before, 'E' deleted:
// nothing after), when and by whom; or a review mark of the row ('R' marked,
// 'U' unmarked, by `user` at `when`: the text and status stay as they were).
struct FeedChange {
    std::int64_t seq = 0;
    char type = 'A';
    QString language, program, component, source;
    QString destination, status; // after the save
    QString destinationBefore, statusBefore; // before it
    double when = 0; // TDateTime of the change
    QString user;
};

// One answer of the feed: the changes after the follower's last number, up to
// `upTo`; or, with `reload`, the word that changes were missed (`reason`).
struct FeedBatch {
    std::int64_t upTo = -1;
    std::vector<FeedChange> changes;
    bool reload = false;
    QString reason;
};

// Reads an answer of GET .../alteracoes; false, with `error` set, for a body
// that is not one (the follower then treats the connection as broken).
bool ReadFeedAnswer(const QByteArray& body, FeedBatch& batch, QString* error = nullptr);

class ChangeFeedClient : public QObject {
    Q_OBJECT
public:
    enum class State {
        Off, // not following
        Connecting, // asking for the first number, or again after a drop
        Following, // a request waits at the server
        Lost, // the last request failed; trying again after a pause
        Unavailable, // the server has no change feed (an older server): not tried again soon
    };

    struct Endpoint {
        QString host = QStringLiteral("127.0.0.1");
        int port = 8211;
        QString objectPath; // "/Trd09300.rdmTraducao": the feed is objectPath + "/alteracoes"
        bool tls = false;
        QString tlsCaFile;
    };

    explicit ChangeFeedClient(QObject* parent = nullptr);
    ~ChangeFeedClient() override; // stops

    // How long each request may wait at the server (its "espera"), and the
    // longest pause between attempts after a failure. For tests and benches;
    // the defaults suit a desktop.
    int WaitSeconds = 25;
    int MaxPauseMs = 10000;
    // After an answer that brought changes, the next request leaves this
    // much later: saves that come in a burst reach the follower together,
    // in one answer, instead of one request each (the first save of a quiet
    // moment still arrives at once).
    int GatherMs = 25;
    // Once it has a number, each request asks for the whole wait as one
    // answer (fluxo=S): the server sends every batch as it comes, gathered
    // as above, and the follower sends no request between them. A server
    // that does not know the form is asked the plain way from then on.
    bool Streamed = true;
    int ConnectTimeoutMs = 5000;

    // Starts following `language` on the server at `endpoint`, from now: the
    // first number is asked for before this returns, waiting at most
    // `firstMs`, so that rows loaded afterwards miss no change (true); when
    // it does not come in time the thread keeps asking, and once it has it
    // the owner is told to reload (rows loaded meanwhile may have missed
    // saves) (false). A follower already running is stopped first.
    // With `firstMs` 0 it returns at once, never waiting on the network: the
    // owner then says when it reads rows (RowsRead), and a first number that
    // comes after that is told as a reload.
    bool Follow(const Endpoint& endpoint, const QString& language, QByteArray sessionToken, int firstMs = 3000);
    // The owner read the language's rows now: if the first number has not
    // come yet, those rows may miss saves made before it.
    void RowsRead();
    // Stops following: the waiting request is abandoned at once, no signal
    // comes afterwards.
    void Stop();

    // The session token the next request carries ("Bearer" is added).
    void SetSessionToken(QByteArray token);

    State CurrentState() const { return m_state.load(); }
    QString Language() const { return m_language; }
    // The number up to which every change of the language has been delivered
    // (-1 before the first answer).
    std::int64_t Cursor() const { return m_cursor.load(); }
    // What the last failure was, for a tooltip.
    QString LastProblem() const;

signals:
    // On the owner's thread, in order: each answer that brings changes or
    // the word to reload.
    void Changes(const trd::FeedBatch& batch);
    void StateChanged(trd::ChangeFeedClient::State state);
    // The server refused the session token: the owner may give a fresh one
    // (SetSessionToken); the follower keeps trying after its pause.
    void SessionRefused();

private:
    struct Shared;
    void run(std::shared_ptr<Shared> shared);
    void setState(State state, const QString& problem = {});

    std::thread m_thread;
    std::shared_ptr<Shared> m_shared;
    QString m_language;
    std::atomic<State> m_state{State::Off};
    std::atomic<std::int64_t> m_cursor{-1};
};

} // namespace trd
