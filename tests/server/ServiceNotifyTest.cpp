// The service manager's side, against a listener on a notify socket: the real
// server says READY only once it serves, pings the watchdog while it answers,
// reloads on SIGHUP and says STOPPING on SIGTERM; its log takes the journal's
// level prefixes when stderr is the journal's. In process, the watchdog's
// probe fails while every worker is stuck and comes back once they are free.
#include "HttpServer.h"
#include "Log.h"
#include "ServerTestKit.h"
#include "ServiceNotify.h"
#include "ServiceWatchdog.h"
#include "TrdServerProcess.h"

#include <httplib.h>

#include <gtest/gtest.h>

#include <QProcess>
#include <QProcessEnvironment>
#include <QTemporaryDir>
#include <QThread>
#include <QFile>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <fstream>
#include <mutex>
#include <sstream>
#include <thread>

#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

using namespace trd::server;
using namespace trd::server::test;
using trd::test::TrdServerProcess;
using Clock = std::chrono::steady_clock;

namespace {

// What systemd does with $NOTIFY_SOCKET: a datagram socket it reads.
class NotifyListener {
public:
    explicit NotifyListener(const std::string& path) : m_path(path)
    {
        m_fd = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::snprintf(address.sun_path, sizeof address.sun_path, "%s", path.c_str());
        m_bound = ::bind(m_fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    }
    ~NotifyListener() { ::close(m_fd); }
    bool bound() const { return m_bound; }
    // The next message, or "" after timeoutMs.
    std::string next(int timeoutMs)
    {
        pollfd p{m_fd, POLLIN, 0};
        if (::poll(&p, 1, timeoutMs) <= 0)
            return {};
        char buffer[4096];
        const ssize_t n = ::recv(m_fd, buffer, sizeof buffer, 0);
        return n > 0 ? std::string(buffer, static_cast<std::size_t>(n)) : std::string();
    }
    // Messages until one contains `wanted` (which ends the list), for up to timeoutMs.
    std::vector<std::string> until(const std::string& wanted, int timeoutMs)
    {
        std::vector<std::string> got;
        const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
        while (Clock::now() < deadline) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
            std::string message = next(static_cast<int>(std::max<long long>(1, left.count())));
            if (message.empty())
                continue;
            got.push_back(message);
            if (message.find(wanted) != std::string::npos)
                break;
        }
        return got;
    }

private:
    std::string m_path;
    int m_fd = -1;
    bool m_bound = false;
};

bool contains(const std::vector<std::string>& messages, const std::string& text)
{
    for (const std::string& m : messages)
        if (m.find(text) != std::string::npos)
            return true;
    return false;
}

std::string fileText(const QString& path)
{
    std::ifstream in(path.toStdString(), std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

} // namespace

TEST(ServiceNotify, ReadyOnlyServingWatchdogWhileAnsweringReloadAndStopping)
{
    QTemporaryDir dir;
    const std::string socketPath = dir.path().toStdString() + "/notify";
    NotifyListener listener(socketPath);
    ASSERT_TRUE(listener.bound());
    const QString logPath = dir.path() + "/stderr";
    QFile(logPath).open(QIODevice::WriteOnly);
    struct stat logFile { };
    ASSERT_EQ(::stat(logPath.toLocal8Bit().constData(), &logFile), 0);

    QProcess server;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("NOTIFY_SOCKET", QString::fromStdString(socketPath));
    env.insert("WATCHDOG_USEC", "400000");
    // The journal's stream is the file stderr goes to, as systemd would set it.
    env.insert("JOURNAL_STREAM", QStringLiteral("%1:%2").arg(logFile.st_dev).arg(logFile.st_ino));
    server.setProcessEnvironment(env);
    server.setStandardErrorFile(logPath, QIODevice::Append);
    server.start(TrdServerProcess::binaryPath(),
                 {"--db", dir.path() + "/trd.db", "--create", "--listen", "127.0.0.1:0", "--threads", "2"});
    ASSERT_TRUE(server.waitForStarted());

    const std::vector<std::string> start = listener.until("READY=1", 30000);
    ASSERT_TRUE(contains(start, "READY=1")) << fileText(logPath);
    EXPECT_FALSE(contains(start, "WATCHDOG=1")) << "pinged before it served";
    ASSERT_TRUE(server.waitForReadyRead(5000));
    const std::string announced = server.readAllStandardOutput().toStdString();
    const int port = std::stoi(announced.substr(announced.rfind(':') + 1));
    EXPECT_NE(start.back().find("STATUS=escutando em 127.0.0.1:" + std::to_string(port)), std::string::npos)
        << start.back();
    // Once it said ready, it serves calls at once.
    httplib::Client client("127.0.0.1", port);
    client.set_connection_timeout(1, 0);
    client.set_read_timeout(2, 0);
    auto res = client.Get("/readyz");
    ASSERT_TRUE(res);
    EXPECT_EQ(res->status, 200);
    res = client.Get("/healthz");
    ASSERT_TRUE(res);
    EXPECT_EQ(res->status, 200);

    // Pings every half interval (200 ms) while it answers.
    int pings = 0;
    const auto watch = Clock::now();
    while (Clock::now() - watch < std::chrono::milliseconds(1500))
        if (listener.next(300) == "WATCHDOG=1")
            ++pings;
    // About 7; a loaded machine may slow a probe past its 100 ms now and then.
    EXPECT_GE(pings, 3);
    EXPECT_LE(pings, 9) << "pinged faster than every half interval";

    // SIGHUP: reload, then ready again, with a log line.
    ::kill(static_cast<pid_t>(server.processId()), SIGHUP);
    const std::vector<std::string> reload = listener.until("READY=1", 10000);
    EXPECT_TRUE(contains(reload, "RELOADING=1"));
    EXPECT_TRUE(contains(reload, "READY=1"));
    res = client.Get("/readyz");
    ASSERT_TRUE(res) << "still serving after a reload";

    // A probe slower than its 100 ms on a loaded machine is logged, rightly;
    // what must not be is the stop itself taken for a wedged server.
    const std::size_t beforeStop = fileText(logPath).size();
    server.terminate();
    const std::vector<std::string> stop = listener.until("STOPPING=1", 10000);
    EXPECT_TRUE(contains(stop, "STOPPING=1"));
    ASSERT_TRUE(server.waitForFinished(30000));
    EXPECT_EQ(server.exitCode(), 0);

    // Journal lines: the level's priority first, no time of our own.
    const std::string log = fileText(logPath);
    EXPECT_NE(log.find("<6>info trd-server: banco "), std::string::npos) << log;
    EXPECT_NE(log.find("<6>info trd-server: encerrado"), std::string::npos) << log;
    EXPECT_EQ(log.find("Z info"), std::string::npos) << "the journal keeps its own time: " << log;
    EXPECT_EQ(log.find("não respondeu", beforeStop), std::string::npos)
        << "a server stopping on purpose taken for a wedged one";
    std::istringstream lines(log);
    for (std::string line; std::getline(lines, line);)
        EXPECT_EQ(line.rfind("<", 0), 0u) << "a line without its priority: " << line;
}

TEST(ServiceNotify, JournalEntriesCarryTheirLevelOnEveryLine)
{
    EXPECT_EQ(journalEntry(LogLevel::Error, "falhou:\nlinha 2"), "<3>error falhou:\n<3>    linha 2\n");
    EXPECT_EQ(journalEntry(LogLevel::Warning, "a\x1b[2Jb"), "<4>warning a\\x1b[2Jb\n")
        << "still escaped: a client's bytes never reach the journal raw";
}

TEST(ServiceNotify, TheProbeFailsWhileEveryWorkerIsStuckAndTheWatchdogGoesQuiet)
{
    InProcessServer in;
    in.seed({{"ENG", "TRD09300", "sbtSalvar", "&Salvar", "", "N"}});
    HttpOptions options;
    options.port = 0;
    options.threads = 2;
    options.log = false;
    HttpServer http(in.context().handler(), in.context().health(), options);
    const int port = http.bind();
    ASSERT_GT(port, 0);
    std::thread serving([&] { http.serve(); });
    const auto probe = [&](int ms) { return http.roundTrip(std::chrono::milliseconds(ms)); };
    // No answer before it serves; then at once.
    bool answered = false;
    for (int i = 0; i < 100 && !answered; ++i) {
        answered = probe(100);
        if (!answered)
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    EXPECT_TRUE(answered);

    // The writer held first, then one save for each worker: every worker
    // waits behind the writer, whatever order the machine runs them in.
    std::mutex mutex;
    std::condition_variable cv;
    bool held = false, release = false;
    std::thread holder([&] {
        in.context().writer().runExclusive([&](StorageWriter&) {
            std::unique_lock lock(mutex);
            held = true;
            cv.notify_all();
            cv.wait(lock, [&] { return release; });
        });
    });
    {
        std::unique_lock lock(mutex);
        cv.wait(lock, [&] { return held; });
    }
    std::atomic<int> saved{0};
    std::vector<std::thread> savers;
    for (int i = 0; i < options.threads; ++i)
        savers.emplace_back([&, i] {
            httplib::Client c("127.0.0.1", port);
            c.set_read_timeout(60, 0);
            DeltaBuilder delta;
            delta.modify({"ENG", "TRD09300", "sbtSalvar", "&Salvar", "", "N"}, "&Save " + std::to_string(i));
            auto res = c.Post("/Trd09300.rdmTraducao", request("SetDestino", json(delta.xml())), "application/json");
            if (res && res->status == 200)
                ++saved;
        });

    // A ServiceWatchdog on the same probe, speaking to a listener.
    QTemporaryDir dir;
    const std::string socketPath = dir.path().toStdString() + "/notify";
    NotifyListener listener(socketPath);
    ASSERT_TRUE(listener.bound());
    // No save can end while the writer is held, so the probe stops answering
    // once the last one has reached its worker; the deadline only bounds a
    // server that never runs them.
    bool stuck = false;
    const auto deadline = Clock::now() + std::chrono::seconds(60);
    while (!stuck && Clock::now() < deadline)
        stuck = !probe(200);
    EXPECT_TRUE(stuck) << "the probe kept answering while every worker waited in a save";
    EXPECT_EQ(saved.load(), 0) << "a save ended while the writer was held";
    {
        const ServiceNotifier notifier(socketPath, std::chrono::milliseconds(400));
        const ServiceWatchdog watchdog(notifier,
                                       [&](std::chrono::milliseconds patience) { return http.roundTrip(patience); });
        EXPECT_EQ(listener.next(1200), "") << "a stuck server pinged the watchdog";
        {
            std::lock_guard lock(mutex);
            release = true;
        }
        cv.notify_all();
        EXPECT_EQ(listener.next(30000), "WATCHDOG=1") << "no ping once the workers were free again";
    }
    holder.join();
    for (auto& t : savers)
        t.join();
    EXPECT_EQ(saved.load(), options.threads) << "the saves held behind the writer went through";
    EXPECT_TRUE(probe(2000));
    http.stop();
    serving.join();
}

TEST(ServiceNotify, SighupPutsARenewedCertificateInPlaceAndKeepsTheOldOneWhenTheNewIsBroken)
{
    QTemporaryDir dir;
    const QString cert = dir.filePath("cert.pem"), key = dir.filePath("key.pem");
    const QString newCert = dir.filePath("new-cert.pem"), newKey = dir.filePath("new-key.pem");
    for (const auto& [out, keyOut] : {std::pair{cert, key}, std::pair{newCert, newKey}}) {
        QProcess openssl;
        openssl.start("openssl",
                      {"req", "-x509", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes", "-days",
                       "2", "-subj", "/CN=127.0.0.1", "-addext", "subjectAltName=IP:127.0.0.1", "-keyout", keyOut,
                       "-out", out});
        ASSERT_TRUE(openssl.waitForFinished(60000));
        ASSERT_EQ(openssl.exitCode(), 0) << openssl.readAllStandardError().toStdString();
        QFile::setPermissions(keyOut, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    }
    const std::string original = fileText(cert), renewed = fileText(newCert);
    TrdServerProcess::Options options;
    options.extraArgs = {"--tls-cert", cert, "--tls-key", key};
    TrdServerProcess server(options);
    ASSERT_TRUE(server.isRunning()) << server.errorString().toStdString();
    const auto trusts = [&](const QString& authority) {
        httplib::SSLClient client("127.0.0.1", server.port());
        client.set_ca_cert_path(authority.toStdString().c_str());
        client.enable_server_certificate_verification(true);
        client.set_connection_timeout(5, 0);
        auto res = client.Get("/healthz");
        return res && res->status == 200;
    };
    const auto hangUpAndWaitFor = [&](const char* line) {
        const int before = server.log().count(line);
        ::kill(static_cast<pid_t>(server.pid()), SIGHUP);
        for (int i = 0; i < 100 && server.log().count(line) == before; ++i)
            QThread::msleep(50);
        return server.log().count(line) > before;
    };
    const QString originalCopy = dir.filePath("original.pem");
    ASSERT_TRUE(QFile::copy(cert, originalCopy));
    ASSERT_TRUE(trusts(originalCopy));

    // Renewed in place (as certbot and the like do), then SIGHUP.
    QFile::remove(cert);
    QFile::remove(key);
    ASSERT_TRUE(QFile::copy(newCert, cert) && QFile::copy(newKey, key));
    QFile::setPermissions(key, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    ASSERT_TRUE(hangUpAndWaitFor("lido de novo (SIGHUP): vale para as conex")) << server.log().toStdString();
    EXPECT_TRUE(trusts(newCert)) << "new connections still get the old certificate";
    EXPECT_FALSE(trusts(originalCopy));

    // A broken file: logged, and the certificate in use stays.
    std::ofstream(cert.toStdString(), std::ios::trunc) << "-----BEGIN CERTIFICATE-----\nquebrado\n";
    ASSERT_TRUE(hangUpAndWaitFor("certificado não recarregado (SIGHUP)")) << server.log().toStdString();
    EXPECT_TRUE(trusts(newCert)) << "a broken renewal took the server's certificate away";
    EXPECT_NE(original, renewed);
}
