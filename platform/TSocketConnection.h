#pragma once
// The socket connection to an application server: host, port and the name of
// the remote object, connect and disconnect with their events, and the
// application-server object on which methods are called late-bound by name.
// Calls are synchronous and go over HTTP/1.1 with keep-alive and TCP_NODELAY as
// JSON-RPC 2.0 (docs/protocol.md). Nothing here starts a thread or takes a lock.
//
// Failures: a transport fault (refused, dropped, timed out, an answer that is no
// JSON-RPC answer) always raises EConnectionError with a Portuguese message for
// the user and leaves the connection closed; the next call connects again. An
// error answer of a method comes back in the result for CheckResultServ, or,
// with ThrowException, raises EServerError at once.
#include "Exceptions.h"
#include "HttpClient.h"
#include "JsonRpc.h"

#include <QObject>
#include <QString>

#include <cstdint>
#include <exception>
#include <functional>
#include <initializer_list>
#include <memory>

namespace trd {

// The server's error codes for sessions (docs/protocol.md).
inline constexpr int AuthRequiredCode = -32001; // no session, or it ended: log in
inline constexpr int LoginFailedCode = -32002; // wrong user name or password
// The server cannot tell whether a write it was asked for was applied (it
// may have been): the caller finds out by reading the data again.
inline constexpr int OutcomeUnknownCode = -32004;

// The server could not be reached or did not answer as the protocol says.
class EConnectionError : public Exception {
public:
    using Exception::Exception;
};

// What the client was asked to hold does not fit: an answer over the
// connection's limit (MaxAnswerBytes), or memory running out while it is loaded.
class EOutOfMemory : public Exception {
public:
    using Exception::Exception;
};

// A method refused the request; the message is the server's text for the user.
class EServerError : public Exception {
public:
    explicit EServerError(QString message, int errorCode = 0)
        : Exception(std::move(message)), m_errorCode(errorCode) { }
    int ErrorCode() const noexcept { return m_errorCode; }

private:
    int m_errorCode;
};

class TSocketConnection;

// A call whose request has left and whose answer is taken later
// (TAppServer::Send): the caller's own work runs while the server works on
// it. Take gives what Call would have given, and raises what Call would have
// raised. Another call on the connection meanwhile first reads this answer
// and keeps it; closing the connection loses it (Take then raises the
// interrupted connection). One dropped untaken costs the connection: the next
// call opens another.
class TSentCall {
public:
    TSentCall() = default;
    TServerResult Take();
    // Sent and not taken yet.
    bool Pending() const { return m_state && !m_state->taken; }

private:
    friend class TSocketConnection;
    struct State {
        TSocketConnection* connection = nullptr;
        QString method;
        TRemoteArgs args;
        std::int64_t id = 0;
        bool settled = false; // the answer was read (or lost) before Take
        bool taken = false;
        TServerResult answer;
        std::exception_ptr failure;
    };
    std::shared_ptr<State> m_state;
};

// The remote object (ServerName) as seen from the client.
class TAppServer {
public:
    TServerResult Call(const QString& method, std::initializer_list<TRemoteArg> args = {});
    TServerResult Call(const QString& method, const TRemoteArgs& args);
    // The request alone: a transport fault on the way raises here, the answer
    // (and its faults and refusals) comes with Take.
    TSentCall Send(const QString& method, const TRemoteArgs& args);

private:
    friend class TSocketConnection;
    explicit TAppServer(TSocketConnection& connection) : m_connection(connection) { }
    TSocketConnection& m_connection;
};

class TSocketConnection : public QObject {
    Q_OBJECT
public:
    explicit TSocketConnection(QObject* owner = nullptr);
    ~TSocketConnection() override;

    QString Host = QStringLiteral("127.0.0.1");
    int Port = 8211;
    QString ServerName; // the remote object: the path of every call
    // HTTPS: the server's certificate must be signed by an authority the
    // system trusts, or by one in TlsCaFile when it is set, and name Host.
    // A certificate that fails is refused with the reason, never bypassed.
    bool UseTls = false;
    QString TlsCaFile;
    bool ThrowException = true; // error answers raise EServerError at the call
    int ConnectTimeoutMs = 5000;
    // A whole language can take a while; never forever. Read at every call,
    // so a caller may give one call a shorter wait.
    int ReadTimeoutMs = 120000;
    // The largest answer taken; a larger one raises EOutOfMemory before it is
    // received, rather than taking the client's memory.
    qint64 MaxAnswerBytes = qint64(1) << 30;
    // Asks for data packets in their CBOR form (Accept: application/cbor),
    // several times cheaper to build, send and load than XML inside JSON;
    // off, answers come as any JSON-RPC client gets them.
    bool CompactAnswers = true;
    // Further header fields every call carries while they are set (the batch
    // a save joins, X-Trd-Lote: docs/protocol.md).
    QList<QPair<QByteArray, QByteArray>> ExtraHeaders;

    // Run on the calling thread as soon as a request has left, then about
    // every WaitingIntervalMs while a connect or a call waits for the server:
    // the screen can show the caller's change while the server works, and a
    // busy indicator can show and turn during a synchronous call. It must not
    // use this connection.
    std::function<void()> OnWaiting;
    int WaitingIntervalMs = 40;
    // Run instead, about as often, while a large answer's rows arrive and
    // load into a data set (after the call returned, inside SetData). The
    // data set is closed meanwhile, so this must not paint what shows it.
    std::function<void()> OnLoading;

    // Answers larger than this (or sent in chunks) are handed over as they
    // begin to arrive, for the data set to read as they come (ServerPacket).
    qint64 StreamAnswersFrom = 256 * 1024;

    // Sessions, for servers that ask for a login. SessionToken gives the
    // token each call carries (empty: none). When a call is answered that a
    // login is needed (no session, or it expired), Login is run with the
    // server's message on the calling thread; it returns true once it has a
    // new token (a Login call of its own on this connection is fine), and the
    // call is then sent again, once; false leaves the refusal as the answer.
    std::function<QByteArray()> SessionToken;
    std::function<bool(const QString& message)> Login;

    // Run by Open(); BeforeConnect is where a form sets Host and Port.
    std::function<void(QObject*sender)> BeforeConnect, AfterConnect;
    std::function<void(QObject*sender)> BeforeDisconnect, AfterDisconnect;

    // Connects and checks that the server answers (GET /health). Raises
    // EConnectionError when it does not; the connection stays closed then.
    void Open();
    void Close();
    bool Connected() const;
    void SetConnected(bool connected);

    // The remote object; a call on a closed connection connects it first.
    TAppServer& AppServer() { return m_appServer; }

    QString Address() const; // "host:port", as messages show it

    class AnswerStream;

private:
    friend class TAppServer;
    friend class TSentCall;
    TServerResult call(const QString& method, const TRemoteArgs& args);
    TServerResult callOnce(const QString& method, const TRemoteArgs& args);
    // What follows an answer as Call gives it: the login asked for, the
    // refusal raised with ThrowException.
    TServerResult concludeCall(const QString& method, const TRemoteArgs& args, TServerResult answer);
    std::int64_t sendRequest(const QString& method, const TRemoteArgs& args);
    TServerResult receiveAnswer(const QString& method, std::int64_t id);
    // Frees the connection for another call: an answer handed over or a sent
    // call's answer still on it is read now and kept for its reader.
    void settlePending();
    TSentCall send(const QString& method, const TRemoteArgs& args);
    TServerResult take(TSentCall::State& sent);
    TServerResult readCborAnswer(const QString& method, std::int64_t id, HttpClient::Response& response);
    HttpClient::Error exchange(const char* verb, const QByteArray& path, const QByteArray& body,
                               HttpClient::Response& response, QString* detail, bool whole = true);
    [[noreturn]] void failTransport(int error, const QString& detail, const QString& method);
    [[noreturn]] void failMalformed(const QString& method, const QString& detail);

    std::shared_ptr<HttpClient> m_client;
    std::weak_ptr<AnswerStream> m_pending; // an answer handed over and not read to its end
    std::weak_ptr<TSentCall::State> m_sent; // a call sent whose answer was not taken
    TAppServer m_appServer{*this};
    std::int64_t m_nextId = 0;
    bool m_inLogin = false;
};

} // namespace trd
