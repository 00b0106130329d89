#pragma once
// A loopback HTTP proxy in front of a real trd-server that keeps the body of
// every call it passes on, so a test can read the exact request a screen sent
// (the fragment text, the order and types of the arguments) while the real
// server still answers it.
#include <QByteArray>
#include <QList>
#include <QString>

#include <memory>

namespace trd::test {

class RecordingProxy {
public:
    RecordingProxy(const QString& serverHost, int serverPort);
    ~RecordingProxy();
    RecordingProxy(const RecordingProxy&) = delete;
    RecordingProxy& operator=(const RecordingProxy&) = delete;

    int port() const;
    // The request bodies passed on so far, oldest first.
    QList<QByteArray> requests() const;
    // The "params" array of the last call of that method, as JSON text; empty when none.
    QByteArray lastParams(const QString& method) const;
    void clear();

    // The next call (not one of the editor's background questions) is answered, instead of by the server, with a JSON-RPC
    // answer to it holding this member (`"result":...` or `"error":{...}`);
    // the call is still recorded. For answers the real server does not give
    // on demand: a broken packet, an error report.
    void answerNextWith(const QByteArray& member);
    // The same, after the server has had the call and answered it: the
    // server did the work, the client hears something else (an answer lost
    // or an outcome the server could not confirm).
    void forwardNextThenAnswerWith(const QByteArray& member);

    // A slow server for one method: its calls wait at least `minimumMs`, and
    // until release(), before they are passed on. Other calls pass as usual.
    void hold(const QString& method, int minimumMs);
    void release();
    // Calls of that method answered so far.
    int answered(const QString& method) const;
    // The change feed (GET .../alteracoes) is passed on too, each request
    // waiting at most a second at the server, so that a test can cut it
    // (blockFeed: every request is answered 503 at once, as a network that
    // drops them) and restore it without waiting a long poll out. Off, the
    // feed is unknown here (404), as at a server without one.
    void forwardFeed(bool on);
    void blockFeed(bool blocked);
    int feedRequests() const; // feed requests passed on to the server

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};

} // namespace trd::test
