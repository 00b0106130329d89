#pragma once
// Runs Debian's Apertium HTTP service (apertium-apy, with apertium-es-pt and
// apertium-eng-spa) for tests, on a free loopback port, ready once it lists
// its pairs. Tests that need it skip when the packages are not installed
// (tools/install-deps.sh installs them); stop() ends it as a crash would, to
// test what happens when the engine goes away.
#include <QString>

#include <memory>

class QProcess;

namespace trd::test {

class ApertiumService {
public:
    ApertiumService();
    ~ApertiumService();
    ApertiumService(const ApertiumService&) = delete;
    ApertiumService& operator=(const ApertiumService&) = delete;

    // The packages are installed: the service and the pairs pt->es and es->en.
    static bool installed();
    // Starts it; false (with errorString) when it did not come up.
    bool start();
    void stop();
    bool running() const;
    // Runs the service and the pipelines it has started or will start at
    // `niceness` (as a site's `Nice=` would); false when it is not running.
    // Only ever lowers the priority: raising it back needs privileges.
    bool lowerPriority(int niceness);
    int port() const { return m_port; }
    QString url() const { return QStringLiteral("http://127.0.0.1:%1").arg(m_port); }
    QString errorString() const { return m_error; }

private:
    std::unique_ptr<QProcess> m_process;
    int m_port = 0;
    QString m_error;
};

} // namespace trd::test
