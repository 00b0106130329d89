// A pre-translation's pieces (GetTraducoesAutomaticas) wait on threads of
// their own, at Linux's idle scheduling: a real trd-server whose every such
// thread is held by a hung engine still answers a suggestion, and no other
// thread of the server runs idle (the workers, the writer and the
// suggestions' own lane keep their priority).
#include "MachineTestKit.h"
#include "TrdServerProcess.h"

#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <thread>

#include <sched.h>

namespace trd::test {
namespace {

struct ServerThread {
    std::string name;
    bool idle = false;
};

std::vector<ServerThread> threadsOf(qint64 pid)
{
    std::vector<ServerThread> out;
    const QString tasks = QStringLiteral("/proc/%1/task").arg(pid);
    for (const QString& task : QDir(tasks).entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile comm(tasks + u'/' + task + QStringLiteral("/comm"));
        const int policy = ::sched_getscheduler(static_cast<pid_t>(task.toLongLong()));
        if (!comm.open(QIODevice::ReadOnly) || policy < 0)
            continue; // ended meanwhile
        out.push_back({comm.readAll().trimmed().toStdString(), (policy & ~SCHED_RESET_ON_FORK) == SCHED_IDLE});
    }
    return out;
}

TEST(PreTranslationLane, PiecesRunApartAtIdleSchedulingAndHoldNoSuggestion)
{
    StandInEngine engine;
    TrdServerProcess::Options options;
    options.seedTsv = "L\tESP\tEspanhol\tPOR\n"
                      "R\tESP\tTRD1\tb1\tNome do cliente\t\tN\n";
    options.extraArgs = {QStringLiteral("--mt-url"), QString::fromStdString(engine.url()),
                         QStringLiteral("--mt-timeout"), QStringLiteral("15")};
    TrdServerProcess server(options);
    ASSERT_TRUE(server.isRunning()) << server.errorString().toStdString();

    // A suggestion the cache will answer without the engine.
    const std::string suggestion = R"("ESP","Nome do cliente")";
    const RpcAnswer first = callServer(server.port(), "GetTraducaoAutomatica", suggestion);
    ASSERT_TRUE(first.ok) << first.message;

    // More pieces than there are threads for them, every one stuck in the engine.
    engine.hold();
    const int before = engine.translations;
    std::vector<std::future<RpcAnswer>> pieces;
    for (int i = 0; i < 4; ++i)
        pieces.push_back(std::async(std::launch::async, [&, i] {
            return callServer(server.port(), "GetTraducoesAutomaticas",
                              R"("ESP",["Abrir o relatório )" + std::to_string(i) + R"("])");
        }));
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (engine.translations < before + 2 && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    ASSERT_GE(engine.translations, before + 2) << "the pieces never reached the engine";
    std::this_thread::sleep_for(std::chrono::milliseconds(200)); // any thread that would take a third piece has

    const std::vector<ServerThread> threads = threadsOf(server.pid());
    int idle = 0, lane = 0;
    for (const ServerThread& t : threads) {
        idle += t.idle;
        lane += t.name == "trd-pretraducao";
        EXPECT_EQ(t.idle, t.name == "trd-pretraducao") << t.name << (t.idle ? " runs idle" : " does not run idle");
    }
    EXPECT_GT(idle, 0);
    EXPECT_EQ(engine.translations - before, lane) << "every thread of the pieces' lane holds one, and only they";

    // The suggestion does not queue behind them.
    const RpcAnswer again = callServer(server.port(), "GetTraducaoAutomatica", suggestion);
    ASSERT_TRUE(again.ok) << again.message;
    ASSERT_EQ(again.rows.size(), 1u);
    EXPECT_EQ(again.rows[0].at("STCACHE"), "S");
    EXPECT_EQ(pieces[0].wait_for(std::chrono::seconds(0)), std::future_status::timeout)
        << "the suggestion was answered only after the engine let the pieces go";

    engine.release();
    for (auto& piece : pieces) {
        const RpcAnswer a = piece.get();
        EXPECT_TRUE(a.ok) << a.message;
        EXPECT_EQ(a.rows.size(), 1u);
    }
}

} // namespace
} // namespace trd::test
