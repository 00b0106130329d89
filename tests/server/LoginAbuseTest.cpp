// Log-in abuse against the real trd-server: guessing a password, probing which
// user names exist, and flooding the password checks so that nobody else can
// log in. Clients on different machines are played from different loopback
// addresses (127.0.0.0/8).
#include "RawSocket.h"
#include "ServerTestKit.h"
#include "TrdServerProcess.h"

#include <gtest/gtest.h>

#include <QProcess>
#include <QTemporaryDir>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

using namespace trd::server::test;
using trd::test::TrdServerProcess;
using Clock = std::chrono::steady_clock;

namespace {

void addUser(const QString& users, const QString& name, const QByteArray& password)
{
    QProcess p;
    p.start(TrdServerProcess::binaryPath(), {"user", "add", name, "--users", users});
    ASSERT_TRUE(p.waitForStarted(10000));
    p.write(password + "\n");
    p.closeWriteChannel();
    ASSERT_TRUE(p.waitForFinished(30000));
    ASSERT_EQ(p.exitCode(), 0) << p.readAllStandardError().toStdString();
}

struct Users {
    QTemporaryDir dir;
    QString file = dir.filePath("trd.users");
    Users()
    {
        addUser(file, "ana", "certa-ana");
        addUser(file, "bruno", "certa-bruno");
    }
};

TrdServerProcess::Options serving(const Users& users)
{
    TrdServerProcess::Options o;
    o.demo = true;
    o.extraArgs = {"--users", users.file};
    return o;
}

// One Login from the given source address; a token is a bare JSON string,
// not a packet, so success is told by the result alone.
Answer login(int port, const std::string& from, const std::string& user, const std::string& password)
{
    Socket s(port, from);
    if (!s.ok() || !s.send(post(request("Login", json(user) + "," + json(password)))))
        return Answer{false, -1, "no connection", {}, {}};
    const std::string body = bodyOf(s.answer(60000));
    if (body.find("\"result\":\"") != std::string::npos)
        return Answer{true, 0, {}, {}, {}};
    return body.empty() ? Answer{false, -1, "no answer", {}, {}} : parseAnswer(body);
}

bool accepted(const Answer& a)
{
    return a.ok;
}

bool throttled(const Answer& a)
{
    return a.code == -32002 && a.message.find("espere") != std::string::npos;
}

// The seconds a throttled answer says to wait.
int waitOf(const Answer& a)
{
    const auto at = a.message.find("espere ");
    return at == std::string::npos ? 0 : std::atoi(a.message.c_str() + at + 7);
}

double millisecondsOf(const std::function<void()>& work)
{
    const auto start = Clock::now();
    work();
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

} // namespace

TEST(LoginAbuse, GuessesOpenGrowingWaitsPerUserAndPerAddress)
{
    Users users;
    TrdServerProcess server(serving(users));
    ASSERT_TRUE(server.isRunning()) << server.errorString().toStdString();
    const int port = server.port();

    // A few mistakes are only mistakes.
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(login(port, "127.0.0.1", "ana", "errada" + std::to_string(i)).message,
                  "Usuário ou senha incorretos.");
    // The fifth opens a wait: the right password is not even checked inside it,
    // from any address, while other users are not held back.
    EXPECT_FALSE(accepted(login(port, "127.0.0.1", "ana", "errada-5")));
    const Answer held = login(port, "127.0.0.1", "ana", "certa-ana");
    EXPECT_TRUE(throttled(held)) << held.message;
    EXPECT_TRUE(throttled(login(port, "127.0.0.2", "ana", "certa-ana")));
    EXPECT_TRUE(accepted(login(port, "127.0.0.1", "bruno", "certa-bruno")));
    // Each further failure doubles the wait.
    std::this_thread::sleep_for(std::chrono::milliseconds(waitOf(held) * 1000 + 300));
    EXPECT_FALSE(accepted(login(port, "127.0.0.1", "ana", "errada-6")));
    const Answer longer = login(port, "127.0.0.1", "ana", "certa-ana");
    ASSERT_TRUE(throttled(longer)) << longer.message;
    EXPECT_GT(waitOf(longer), waitOf(held));
    // Once it has passed, the right password gets in and the count starts afresh.
    std::this_thread::sleep_for(std::chrono::milliseconds(waitOf(longer) * 1000 + 300));
    EXPECT_TRUE(accepted(login(port, "127.0.0.1", "ana", "certa-ana")));
    EXPECT_EQ(login(port, "127.0.0.1", "ana", "errada-7").message, "Usuário ou senha incorretos.");

    // Many names guessed from one address: the address waits, for every name.
    for (int i = 0; i < 20; ++i)
        EXPECT_FALSE(accepted(login(port, "127.0.0.9", "nome" + std::to_string(i), "x")));
    EXPECT_TRUE(throttled(login(port, "127.0.0.9", "bruno", "certa-bruno")));
    EXPECT_TRUE(accepted(login(port, "127.0.0.10", "bruno", "certa-bruno")));
}

// A stop asked while the only call is a log-in being checked (no connection
// waiting in the server's loop meanwhile) answers it and ends at once, not
// after the stop's whole deadline.
TEST(LoginAbuse, ALogInBeingCheckedWhenTheServerStopsIsAnsweredAndTheServerEnds)
{
    Users users;
    TrdServerProcess server(serving(users));
    ASSERT_TRUE(server.isRunning()) << server.errorString().toStdString();
    // Several at once: the password checks queue, so some are still being
    // checked when the stop comes.
    std::vector<std::unique_ptr<Socket>> clients;
    for (int i = 0; i < 6; ++i) {
        clients.push_back(std::make_unique<Socket>(server.port(), "127.0.0.1"));
        ASSERT_TRUE(clients.back()->ok()
                    && clients.back()->send(post(request("Login", json("ana") + "," + json("certa-ana")))));
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20)); // read, their passwords being checked
    const double took = millisecondsOf([&] { EXPECT_TRUE(server.terminate()); });
    EXPECT_LT(took, 8000);
    int answered = 0;
    for (auto& c : clients)
        answered += bodyOf(c->answer(5000)).find("\"result\":\"") != std::string::npos;
    EXPECT_GT(answered, 0);
}

TEST(LoginAbuse, AnUnknownNameTakesAsLongAsAKnownOne)
{
    Users users;
    TrdServerProcess server(serving(users));
    ASSERT_TRUE(server.isRunning()) << server.errorString().toStdString();
    std::vector<double> known, unknown;
    for (int i = 0; i < 4; ++i) {
        known.push_back(millisecondsOf([&] { login(server.port(), "127.0.0.1", "bruno", "errada"); }));
        unknown.push_back(
            millisecondsOf([&] { login(server.port(), "127.0.0.1", "fulano" + std::to_string(i), "errada"); }));
    }
    std::sort(known.begin(), known.end());
    std::sort(unknown.begin(), unknown.end());
    // The same password check runs for both; only the machine's noise differs.
    EXPECT_GT(unknown[1], known[1] * 0.3) << "known " << known[1] << " ms, unknown " << unknown[1] << " ms";
    const Answer a = login(server.port(), "127.0.0.1", "fulano", "errada");
    EXPECT_EQ(a.code, -32002);
    EXPECT_EQ(a.message, "Usuário ou senha incorretos.");
}

TEST(LoginAbuse, AFloodOfWrongPasswordsDoesNotHoldBackSomeoneElsesLogin)
{
    Users users;
    TrdServerProcess server(serving(users));
    ASSERT_TRUE(server.isRunning()) << server.errorString().toStdString();
    const int port = server.port();
    // Ana has logged in from her machine before.
    ASSERT_TRUE(accepted(login(port, "127.0.0.1", "ana", "certa-ana")));

    // 40 connections from 40 machines, each looping guesses, every one at a
    // name of its own: no name's count ever throttles them, only each
    // address's after its first 20, so the checks go on for as long as this
    // test runs.
    std::atomic<bool> stop{false};
    std::atomic<int> started{0}; // connections whose first guess was checked
    std::mutex mutex;
    std::vector<Clock::time_point> checked; // when a flood guess was answered after a real check
    std::vector<std::thread> flood;
    for (int c = 0; c < 40; ++c)
        flood.emplace_back([&, c] {
            const std::string from = "127.0.1." + std::to_string(c + 1);
            for (int i = 0; !stop.load(); ++i) {
                const Answer a = login(port, from, "alvo" + std::to_string(c) + "." + std::to_string(i), "chute");
                if (a.message == "Usuário ou senha incorretos.") {
                    started += i == 0;
                    std::lock_guard lock(mutex);
                    checked.push_back(Clock::now());
                } else if (!throttled(a) && a.code != -32002) {
                    break; // the server went away
                }
            }
        });
    auto checks = [&] {
        std::lock_guard lock(mutex);
        return checked.size();
    };
    // A log-in during the flood: the guesses checked before its answer are
    // at most those already running and a few finishing around it, never
    // the crowd's whole queue.
    auto guessesCheckedDuring = [&](const std::string& from, const std::string& user, const std::string& password) {
        const auto sent = Clock::now();
        const Answer mine = login(port, from, user, password);
        const auto answered = Clock::now();
        EXPECT_TRUE(accepted(mine)) << user << ": " << mine.message;
        std::lock_guard lock(mutex);
        return std::count_if(checked.begin(), checked.end(),
                             [&](Clock::time_point t) { return t > sent && t < answered; });
    };

    // At the flood's start, every flooding machine's first guess is as clean
    // as anyone's log-in, and they are queued: Ana, at her own machine again,
    // goes ahead of them.
    while (checks() < 2 && server.isRunning())
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    EXPECT_LE(guessesCheckedDuring("127.0.0.1", "ana", "certa-ana"), 6) << "at the flood's start";

    // From its second guess on, each machine is known for what it is. Once
    // they all are, and a queue of their guesses has built up, even a first
    // log-in from a new machine does not wait behind them.
    while ((started.load() < 40 || checks() < 60) && server.isRunning())
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_LE(guessesCheckedDuring("127.0.0.2", "bruno", "certa-bruno"), 6) << "once under way";
    stop = true;
    for (auto& t : flood)
        t.join();
}

TEST(LoginAbuse, ASecondTryIsNotStarvedOnABusyMachine)
{
    Users users;
    TrdServerProcess server(serving(users));
    ASSERT_TRUE(server.isRunning()) << server.errorString().toStdString();
    const int port = server.port();

    // Every processor busy at normal priority, as on a loaded server.
    std::atomic<bool> stop{false};
    std::vector<std::thread> hogs;
    for (unsigned i = 0; i < std::max(2u, std::thread::hardware_concurrency()); ++i)
        hogs.emplace_back([&] {
            while (!stop.load(std::memory_order_relaxed)) { }
        });
    Answer first, second;
    const double clean = millisecondsOf([&] { first = login(port, "127.0.0.1", "bruno", "certa-bruno"); });
    EXPECT_FALSE(accepted(login(port, "127.0.0.3", "ana", "errada")));
    // Someone who mistyped once is no guesser: the second try is checked as
    // promptly as anyone's first, not left to what the processors leave.
    const double retry = millisecondsOf([&] { second = login(port, "127.0.0.3", "ana", "certa-ana"); });
    stop = true;
    for (auto& t : hogs)
        t.join();
    EXPECT_TRUE(accepted(first)) << first.message;
    EXPECT_TRUE(accepted(second)) << second.message;
    EXPECT_LT(retry, 10 * clean + 1000) << "first log-in " << clean << " ms, second try " << retry << " ms";
}
