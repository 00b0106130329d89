// The client's connection against a real trd-server that asks for a login:
// asked once, a wrong password asked again with the server's words, the
// session shared by every connection, asked again when the session expires or
// the user is removed, and a user who gives up getting the refusal.
#include "ServerCalls.h"
#include "TNetConnection.h"
#include "TrdServerProcess.h"
#include "WebServer.h"
#include "WebSession.h"

#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <deque>
#include <thread>

using namespace trd;

namespace {

int addUser(const QString& users, const QString& name, const QByteArray& password, const QString& action = "add")
{
    QProcess p;
    p.start(test::TrdServerProcess::binaryPath(), {"user", action, name, "--users", users});
    p.waitForStarted(10000);
    p.write(password + "\n");
    p.closeWriteChannel();
    p.waitForFinished(30000);
    return p.exitCode();
}

// Answers the login prompts from a script and records what each one said.
struct Prompts {
    std::deque<std::pair<QString, QString>> answers;
    QStringList shown;
    void install()
    {
        WebSessionToken.clear();
        WebAskLogin = [this](QString& user, QString& password, const QString& message) {
            shown << message;
            if (answers.empty())
                return false;
            user = answers.front().first;
            password = answers.front().second;
            answers.pop_front();
            return true;
        };
    }
    ~Prompts() { WebAskLogin = nullptr; }
};

} // namespace

TEST(ConnectionLogin, AskedOnceThenAgainWhenTheSessionEnds)
{
    QTemporaryDir dir;
    const QString users = dir.filePath("trd.users");
    ASSERT_EQ(addUser(users, "ana", "certa"), 0);
    test::TrdServerProcess::Options options;
    options.demo = true;
    options.extraArgs = {"--users", users, "--session-timeout", "2"};
    test::TrdServerProcess server(options);
    ASSERT_TRUE(server.isRunning()) << server.errorString().toStdString();
    WebURL = server.host();
    WebPort = server.port();

    Prompts prompts;
    prompts.install();
    prompts.answers = {{"ana", "errada"}, {"ana", "certa"}};
    TNetConnection first;
    const TServerResult languages = first.AppServer().Call(metodo::GetIdiTrad);
    EXPECT_TRUE(languages.Ok) << languages.ErrorMessage.toStdString();
    ASSERT_EQ(prompts.shown.size(), 2);
    EXPECT_TRUE(prompts.shown[0].contains("usuário e senha")) << prompts.shown[0].toStdString();
    EXPECT_EQ(prompts.shown[1], QStringLiteral("Usuário ou senha incorretos."));

    // Another screen's connection rides on the same session.
    TNetConnection second;
    EXPECT_TRUE(second.AppServer().Call(metodo::GetIdiTrad).Ok);
    EXPECT_EQ(prompts.shown.size(), 2);

    // Expired: asked again, and the call goes through after the login.
    std::this_thread::sleep_for(std::chrono::milliseconds(2100));
    prompts.answers = {{"ana", "certa"}};
    EXPECT_TRUE(second.AppServer().Call(metodo::GetIdiTrad).Ok);
    ASSERT_EQ(prompts.shown.size(), 3);
    EXPECT_TRUE(prompts.shown[2].contains("expirou")) << prompts.shown[2].toStdString();

    // Removed: asked again; giving up leaves the refusal as the call's answer.
    ASSERT_EQ(addUser(users, "ana", "", "remove"), 0);
    const TServerResult refused = first.AppServer().Call(metodo::GetIdiTrad);
    EXPECT_FALSE(refused.Ok);
    EXPECT_EQ(refused.ErrorCode, AuthRequiredCode);
    EXPECT_EQ(prompts.shown.size(), 4);
}
