// A flood of costly suggestions against the real trd-server: they wait on a
// lane of their own, bounded, so past its length a call is refused at once
// rather than stacked behind the others; calls whose clients left before
// their turn are dropped without a search; /health is answered throughout.
#include "RawSocket.h"
#include "ServerTestKit.h"
#include "TrdServerProcess.h"

#include <httplib.h>

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

using namespace trd::server::test;
using trd::test::TrdServerProcess;

namespace {

// Long sources of a small vocabulary, the costliest kind for the memory:
// nearly every one is in the length band of a long question. ASCII, so that
// cutting one to its length cuts no character in two.
std::string longText(unsigned seed, std::size_t length)
{
    static const char* const Words[] = {"arquivo", "salvar", "traducao", "janela",     "registro", "campo",  "valor",
                                        "idioma",  "tela",   "programa", "componente", "situacao", "origem", "destino"};
    std::string text;
    while (text.size() < length) {
        seed = seed * 1103515245u + 12345u;
        text += Words[(seed >> 16) % (sizeof Words / sizeof *Words)];
        text += ' ';
    }
    text.resize(length);
    return text;
}

} // namespace

TEST(SuggestionFlood, CallsPastTheLanesLengthAreRefusedAndThoseWhoseClientLeftAreDropped)
{
    QByteArray tsv = "L\tENG\tInglês\tPOR\n";
    // Each search must outlast the arrival of the calls behind it (a few
    // milliseconds), not much more: 33 of them are made, on a busy machine too.
    for (unsigned i = 0; i < 200; ++i)
        tsv += QByteArray::fromStdString("R\tENG\tP" + std::to_string(i % 20) + "\tc" + std::to_string(i) + "\t"
                                         + longText(i, 700 + i % 400) + "\tx\tT\n");
    TrdServerProcess::Options options;
    options.seedTsv = tsv;
    options.extraArgs = {"--max-per-address", "300"};
    TrdServerProcess server(options);
    ASSERT_TRUE(server.isRunning()) << server.errorString().toStdString();
    const int port = server.port();

    const std::string body = request(
        "GetSugestoes", json("ENG") + "," + json(longText(99999, 900)) + "," + json("P") + "," + json("novo") + ",1");
    const std::string http = "POST /Trd09300.rdmTraducao HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Type: "
                             "application/json\r\nConnection: close\r\nContent-Length: "
        + std::to_string(body.size()) + "\r\n\r\n" + body;
    // The index is built in the background at start.
    httplib::Client probe("127.0.0.1", port);
    probe.set_read_timeout(120, 0);
    for (int i = 0; i < 600; ++i) {
        auto res = probe.Post("/Trd09300.rdmTraducao", body, "application/json");
        ASSERT_TRUE(res);
        if (res->body.find("sendo preparada") == std::string::npos) {
            ASSERT_TRUE(parseAnswer(res->body).ok) << res->body;
            break;
        }
        ::usleep(100 * 1000);
    }

    // Forty clients ask and leave at once: one whose search began is
    // answered into the void, those that found the lane full are refused,
    // the queued ones are dropped when their turn comes, without a search.
    std::vector<std::unique_ptr<Socket>> left, waiting;
    for (int i = 0; i < 40; ++i) {
        left.push_back(std::make_unique<Socket>(port));
        ASSERT_TRUE(left.back()->ok() && left.back()->send(http));
    }
    left.clear();
    const auto count = [&](const char* words) { return static_cast<int>(server.log().count(words)); };
    const char* const Dropped = "O cliente desistiu antes da vez da chamada";
    const char* const Full = "pedidos de sugestões demais";
    for (int i = 0; i < 3000 && count(Dropped) + count(Full) < 39; ++i)
        ::usleep(100 * 1000);
    EXPECT_GE(count(Dropped), 20) << server.log().toStdString();
    // The first may have begun its search before its client was seen gone.
    EXPECT_GE(count(Dropped) + count(Full), 39) << server.log().toStdString();
    EXPECT_LE(count(Dropped) + count(Full), 40) << server.log().toStdString();

    // Then forty-five ask and wait for their answers.
    for (int i = 0; i < 45; ++i) {
        waiting.push_back(std::make_unique<Socket>(port));
        ASSERT_TRUE(waiting.back()->ok() && waiting.back()->send(http));
    }
    httplib::Client health("127.0.0.1", port);
    health.set_read_timeout(120, 0);
    auto healthy = health.Get("/health");
    ASSERT_TRUE(healthy);
    EXPECT_EQ(healthy->status, 200);

    int answered = 0, refused = 0;
    for (auto& s : waiting) {
        const std::string got = s->receive(300000); // until the server closes, after the answer
        if (got.find("pedidos de sugestões demais") != std::string::npos)
            ++refused;
        else if (got.find("\"result\"") != std::string::npos)
            ++answered;
    }
    // However fast the machine, the lane holds 32 and the calls arrive
    // faster than a search of long sources ends.
    EXPECT_GT(refused, 0);
    EXPECT_GT(answered, 0);
    EXPECT_EQ(answered + refused, 45);
}
