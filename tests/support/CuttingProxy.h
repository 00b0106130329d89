#pragma once
// A loopback TCP relay in front of a server: bytes pass both ways untouched,
// except that the answer to a POST can be cut after a given number of its
// bytes, the connection then closed both ways, as a network that fails (or a
// server killed) in the middle of an answer leaves it.
#include <QtGlobal>

#include <memory>

namespace trd::test {

class CuttingProxy {
public:
    explicit CuttingProxy(int serverPort);
    ~CuttingProxy();
    CuttingProxy(const CuttingProxy&) = delete;
    CuttingProxy& operator=(const CuttingProxy&) = delete;

    int port() const;
    // The answer to the next POST is cut after `bytes` of it (status line and
    // headers included) went to the client.
    void cutNextAnswerAfter(qint64 bytes);
    // How many bytes of the last POST's answer went to the client.
    qint64 lastAnswerBytes() const;

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};

} // namespace trd::test
