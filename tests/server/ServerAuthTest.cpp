// Users and sessions against the real trd-server: the user subcommands, a
// login, calls with and without its token, a wrong password, a forged token, a
// reset password, a removed user, an expired session, and the refusal to serve
// a network address with nobody to let in.
#include "ServerTestKit.h"
#include "TrdServerProcess.h"

#include <httplib.h>

#include <gtest/gtest.h>

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/x509.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <thread>

using namespace trd::server::test;
using trd::test::TrdServerProcess;

namespace {

// Runs `trd-server user ...`, feeding `input` on stdin; returns the exit status.
int userCommand(const QStringList& args, const QByteArray& input = {}, QByteArray* out = nullptr)
{
    QProcess p;
    p.start(TrdServerProcess::binaryPath(), QStringList{"user"} + args);
    if (!p.waitForStarted(10000))
        return -1;
    p.write(input);
    p.closeWriteChannel();
    p.waitForFinished(30000);
    if (out)
        *out = p.readAllStandardOutput() + p.readAllStandardError();
    return p.exitCode();
}

Answer call(int port, const std::string& method, const std::string& params, const std::string& token = {})
{
    httplib::Client http("127.0.0.1", port);
    httplib::Headers headers;
    if (!token.empty())
        headers.emplace("Authorization", "Bearer " + token);
    auto res = http.Post("/Trd09300.rdmTraducao", headers, request(method, params), "application/json");
    if (!res)
        return Answer{false, -1, "transport failure", {}, {}};
    return parseAnswer(res->body);
}

// The token a Login answers, or "" (the result is a bare JSON string).
std::string login(int port, const std::string& user, const std::string& password)
{
    httplib::Client http("127.0.0.1", port);
    auto res =
        http.Post("/Trd09300.rdmTraducao", request("Login", json(user) + "," + json(password)), "application/json");
    if (!res)
        return {};
    const auto at = res->body.find("\"result\":\"");
    if (at == std::string::npos)
        return {};
    const auto start = at + 10;
    return res->body.substr(start, res->body.find('"', start) - start);
}

} // namespace

TEST(ServerAuth, OnlyKnownUsersWithALiveSessionGetIn)
{
    QTemporaryDir dir;
    const QString users = dir.filePath("trd.users");
    ASSERT_EQ(userCommand({"add", "ana", "--users", users}, "segredo-1\n"), 0);
    ASSERT_EQ(userCommand({"add", "bruno", "--users", users}, "outro\n"), 0);
    EXPECT_NE(userCommand({"add", "ana", "--users", users}, "x\n"), 0); // already there
    QByteArray listed;
    ASSERT_EQ(userCommand({"list", "--users", users}, {}, &listed), 0);
    EXPECT_TRUE(listed.contains("ana\nbruno\n")) << listed.toStdString();
    QFile file(users);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray stored = file.readAll();
    EXPECT_FALSE(stored.contains("segredo-1"));
    EXPECT_TRUE(stored.contains("ana\t$argon2id$"));
    EXPECT_EQ(file.permissions() & (QFileDevice::ReadOther | QFileDevice::ReadGroup), 0);

    TrdServerProcess::Options options;
    options.demo = true;
    options.extraArgs = {"--users", users, "--session-timeout", "3"};
    TrdServerProcess server(options);
    ASSERT_TRUE(server.isRunning()) << server.errorString().toStdString();
    const int port = server.port();

    Answer anonymous = call(port, "GetIdiTrad", "");
    EXPECT_EQ(anonymous.code, -32001);
    EXPECT_NE(anonymous.message.find("usuário e senha"), std::string::npos) << anonymous.message;

    EXPECT_EQ(login(port, "ana", "errada"), "");
    const Answer wrong = call(port, "Login", "\"ana\",\"errada\"");
    EXPECT_EQ(wrong.code, -32002);
    EXPECT_EQ(wrong.message, "Usuário ou senha incorretos.");
    EXPECT_EQ(call(port, "Login", "\"ninguem\",\"segredo-1\"").code, -32002);

    const std::string token = login(port, "ana", "segredo-1");
    ASSERT_FALSE(token.empty());
    EXPECT_TRUE(call(port, "GetIdiTrad", "", token).ok);
    std::string forged = token;
    forged[forged.size() - 1] = forged.back() == '0' ? '1' : '0';
    EXPECT_EQ(call(port, "GetIdiTrad", "", forged).code, -32001);
    // The log names who called; the password never appears.
    EXPECT_TRUE(server.log().contains(" ana GetIdiTrad ")) << server.log().toStdString();
    EXPECT_FALSE(server.log().contains("segredo-1"));

    // A reset password ends the sessions opened with the old one.
    ASSERT_EQ(userCommand({"reset", "ana", "--users", users}, "segredo-2\n"), 0);
    EXPECT_EQ(call(port, "GetIdiTrad", "", token).code, -32001);
    EXPECT_EQ(login(port, "ana", "segredo-1"), "");
    const std::string renewed = login(port, "ana", "segredo-2");
    EXPECT_TRUE(call(port, "GetIdiTrad", "", renewed).ok);

    // A removed user is out at once.
    const std::string bruno = login(port, "bruno", "outro");
    ASSERT_TRUE(call(port, "GetIdiTrad", "", bruno).ok);
    ASSERT_EQ(userCommand({"remove", "bruno", "--users", users}), 0);
    EXPECT_EQ(call(port, "GetIdiTrad", "", bruno).code, -32001);
    EXPECT_EQ(login(port, "bruno", "outro"), "");

    // Sessions end when their time is up.
    std::this_thread::sleep_for(std::chrono::milliseconds(3100));
    const Answer expired = call(port, "GetIdiTrad", "", renewed);
    EXPECT_EQ(expired.code, -32001);
    EXPECT_NE(expired.message.find("expirou"), std::string::npos) << expired.message;
}

TEST(ServerAuth, WithoutUsersOnlyALoopbackAddressIsServedIPv6Included)
{
    QTemporaryDir dir;
    for (const char* listen : {"0.0.0.0:0", "[::]:0"}) {
        QProcess p;
        p.start(TrdServerProcess::binaryPath(), {"--db", dir.filePath("t.db"), "--create", "--listen", listen});
        ASSERT_TRUE(p.waitForFinished(20000));
        EXPECT_EQ(p.exitCode(), 1) << listen;
        const QByteArray err = p.readAllStandardError();
        EXPECT_TRUE(err.contains("trd-server user add")) << err.toStdString();
        EXPECT_TRUE(err.contains("[::1]")) << err.toStdString();
    }

    // The IPv6 loopback address, written as in a URL.
    QProcess server;
    server.start(TrdServerProcess::binaryPath(), {"--db", dir.filePath("t.db"), "--demo", "--listen", "[::1]:0"});
    ASSERT_TRUE(server.waitForReadyRead(30000)) << server.readAllStandardError().toStdString();
    const QByteArray line = server.readLine();
    ASSERT_TRUE(line.startsWith("listening on [::1]:")) << line.toStdString();
    const int port = line.mid(line.lastIndexOf(':') + 1).trimmed().toInt();
    const int fd = ::socket(AF_INET6, SOCK_STREAM, 0);
    sockaddr_in6 addr{};
    addr.sin6_family = AF_INET6;
    addr.sin6_port = htons(static_cast<uint16_t>(port));
    addr.sin6_addr = in6addr_loopback;
    ASSERT_EQ(::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
    const std::string body = request("GetIdiTrad", "");
    const std::string req = "POST /Trd09300.rdmTraducao HTTP/1.1\r\nHost: [::1]:" + std::to_string(port)
        + "\r\nContent-Type: application/json\r\nConnection: close\r\nContent-Length: " + std::to_string(body.size())
        + "\r\n\r\n" + body;
    ASSERT_EQ(::send(fd, req.data(), req.size(), MSG_NOSIGNAL), static_cast<ssize_t>(req.size()));
    std::string answer;
    char buf[65536];
    for (ssize_t n; (n = ::recv(fd, buf, sizeof buf, 0)) > 0;)
        answer.append(buf, static_cast<std::size_t>(n));
    ::close(fd);
    EXPECT_EQ(answer.rfind("HTTP/1.1 200", 0), 0u) << answer.substr(0, 300);
    EXPECT_TRUE(parseAnswer(answer.substr(answer.find("\r\n\r\n") + 4)).ok);
    server.terminate();
    server.waitForFinished(10000);
}

TEST(ServerAuth, TlsServesOnlyHttpsAndTheClientVerifiesTheCertificate)
{
    QTemporaryDir dir;
    const QString cert = dir.filePath("cert.pem"), key = dir.filePath("key.pem"), other = dir.filePath("other.pem");
    for (const QString& out : {cert, other}) {
        QProcess openssl;
        openssl.start("openssl",
                      {"req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2", "-subj", "/CN=127.0.0.1",
                       "-addext", "subjectAltName=IP:127.0.0.1", "-keyout",
                       out == cert ? key : dir.filePath("otherkey.pem"), "-out", out});
        ASSERT_TRUE(openssl.waitForFinished(60000));
        ASSERT_EQ(openssl.exitCode(), 0) << openssl.readAllStandardError().toStdString();
    }
    QProcess server;
    server.start(
        TrdServerProcess::binaryPath(),
        {"--db", dir.filePath("t.db"), "--demo", "--listen", "127.0.0.1:0", "--tls-cert", cert, "--tls-key", key});
    ASSERT_TRUE(server.waitForReadyRead(30000));
    const QByteArray line = server.readLine();
    const int port = line.mid(line.lastIndexOf(':') + 1).trimmed().toInt();
    ASSERT_GT(port, 0) << line.toStdString();

    httplib::SSLClient trusted("127.0.0.1", port);
    trusted.set_ca_cert_path(cert.toStdString().c_str());
    trusted.enable_server_certificate_verification(true);
    auto ok = trusted.Post("/Trd09300.rdmTraducao", request("GetIdiTrad", ""), "application/json");
    ASSERT_TRUE(ok) << httplib::to_string(ok.error());
    EXPECT_TRUE(parseAnswer(ok->body).ok);

    // A certificate the client does not trust: no exchange at all.
    httplib::SSLClient wary("127.0.0.1", port);
    wary.set_ca_cert_path(other.toStdString().c_str());
    wary.enable_server_certificate_verification(true);
    EXPECT_FALSE(wary.Post("/Trd09300.rdmTraducao", request("GetIdiTrad", ""), "application/json"));

    // Plain HTTP gets no data, only a plain answer saying what to do.
    httplib::Client plain("127.0.0.1", port);
    plain.set_read_timeout(5, 0);
    auto refused = plain.Post("/Trd09300.rdmTraducao", request("GetIdiTrad", ""), "application/json");
    ASSERT_TRUE(refused);
    EXPECT_EQ(refused->status, 400);
    EXPECT_EQ(refused->body, "Este servidor só atende com TLS: use https:// no endereço do servidor.\n");
    server.terminate();
    server.waitForFinished(10000);
}

namespace {

// A P-256 key and a self-signed certificate for 127.0.0.1 valid from `from`
// to `until` days from now; the key encrypted when a password is given.
void writeCertificate(const QString& cert, const QString& key, long from, long until, const char* password = nullptr)
{
    EVP_PKEY* pkey = EVP_PKEY_Q_keygen(nullptr, nullptr, "EC", "P-256");
    X509* x = X509_new();
    ASN1_INTEGER_set(X509_get_serialNumber(x), 1);
    X509_gmtime_adj(X509_getm_notBefore(x), from * 86400);
    X509_gmtime_adj(X509_getm_notAfter(x), until * 86400);
    X509_set_pubkey(x, pkey);
    X509_NAME_add_entry_by_txt(X509_get_subject_name(x), "CN", MBSTRING_ASC,
                               reinterpret_cast<const unsigned char*>("127.0.0.1"), -1, -1, 0);
    X509_set_issuer_name(x, X509_get_subject_name(x));
    X509_sign(x, pkey, EVP_sha256());
    FILE* c = std::fopen(cert.toUtf8().constData(), "w");
    PEM_write_X509(c, x);
    std::fclose(c);
    FILE* k = std::fopen(key.toUtf8().constData(), "w");
    ::fchmod(fileno(k), 0600);
    PEM_write_PrivateKey(k, pkey, password ? EVP_aes_256_cbc() : nullptr, nullptr, 0, nullptr,
                         const_cast<char*>(password));
    std::fclose(k);
    X509_free(x);
    EVP_PKEY_free(pkey);
}

struct Start {
    int code = -1; // -1: still running (it started)
    std::string err;
};

// Starts trd-server until it listens or exits; one that listens is stopped at once.
Start startServer(const QStringList& args)
{
    QProcess p;
    p.start(TrdServerProcess::binaryPath(), args + QStringList{"--listen", "127.0.0.1:0"});
    QByteArray out;
    for (int i = 0; i < 600 && !out.contains("listening on"); ++i) {
        if (p.waitForFinished(100))
            break;
        out += p.readAllStandardOutput();
    }
    Start s;
    if (p.state() == QProcess::Running) {
        p.terminate();
        p.waitForFinished(10000);
    } else {
        s.code = p.exitCode();
    }
    s.err = p.readAllStandardError().toStdString();
    return s;
}

} // namespace

TEST(ServerAuth, StartUpNamesTheFileAndTheFixForKeysCertificatesAndUsers)
{
    QTemporaryDir dir;
    const QString db = dir.filePath("t.db"), cert = dir.filePath("cert.pem"), key = dir.filePath("key.pem");
    writeCertificate(cert, key, -1, 365);
    const QStringList base{"--db", db, "--create", "--quiet"};
    const auto withTls = [&](const QString& c, const QString& k) {
        return base + QStringList{"--tls-cert", c, "--tls-key", k};
    };

    Start s = startServer(withTls(cert, dir.filePath("missing.pem")));
    EXPECT_EQ(s.code, 1);
    EXPECT_NE(s.err.find(dir.filePath("missing.pem").toStdString() + " não existe"), std::string::npos) << s.err;

    const QString locked = dir.filePath("locked.pem");
    writeCertificate(dir.filePath("locked-cert.pem"), locked, -1, 365, "segredo");
    s = startServer(withTls(dir.filePath("locked-cert.pem"), locked));
    EXPECT_EQ(s.code, 1);
    EXPECT_NE(s.err.find(locked.toStdString() + " está protegida por senha"), std::string::npos) << s.err;
    EXPECT_NE(s.err.find("openssl pkey -in " + locked.toStdString()), std::string::npos) << s.err;

    // Keys and the users file (it holds the secret that signs sessions) must be the owner's alone.
    QFile::setPermissions(key, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadOther);
    s = startServer(withTls(cert, key));
    EXPECT_EQ(s.code, 1);
    EXPECT_NE(s.err.find("chmod 600 " + key.toStdString()), std::string::npos) << s.err;
    QFile::setPermissions(key, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    const QString users = dir.filePath("t.users");
    ASSERT_EQ(userCommand({"add", "ana", "--users", users}, "segredo\n"), 0);
    QFile::setPermissions(users, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadGroup);
    s = startServer(base + QStringList{"--users", users});
    EXPECT_EQ(s.code, 1);
    EXPECT_NE(s.err.find("chmod 600 " + users.toStdString()), std::string::npos) << s.err;

    // A key of another certificate.
    writeCertificate(dir.filePath("other.pem"), dir.filePath("otherkey.pem"), -1, 365);
    s = startServer(withTls(cert, dir.filePath("otherkey.pem")));
    EXPECT_EQ(s.code, 1);
    EXPECT_NE(s.err.find("não é a do certificado"), std::string::npos) << s.err;

    // Expired, or about to: served, with a warning naming the date.
    writeCertificate(dir.filePath("old.pem"), dir.filePath("oldkey.pem"), -30, -2);
    s = startServer(withTls(dir.filePath("old.pem"), dir.filePath("oldkey.pem")));
    EXPECT_EQ(s.code, -1) << s.err;
    EXPECT_NE(s.err.find("atenção: o certificado " + dir.filePath("old.pem").toStdString() + " venceu em"),
              std::string::npos)
        << s.err;
    writeCertificate(dir.filePath("soon.pem"), dir.filePath("soonkey.pem"), -1, 10);
    s = startServer(withTls(dir.filePath("soon.pem"), dir.filePath("soonkey.pem")));
    EXPECT_EQ(s.code, -1) << s.err;
    EXPECT_TRUE(s.err.find("vence em 9 dias") != std::string::npos
                || s.err.find("vence em 10 dias") != std::string::npos)
        << s.err;
    s = startServer(withTls(cert, key));
    EXPECT_EQ(s.code, -1) << s.err;
    EXPECT_EQ(s.err.find("atenção"), std::string::npos) << s.err;
}

TEST(ServerAuth, AUserAddedToARunningServerWithoutUsersEndsAnonymousCalls)
{
    TrdServerProcess::Options options;
    options.demo = true;
    TrdServerProcess server(options);
    ASSERT_TRUE(server.isRunning()) << server.errorString().toStdString();
    const int port = server.port();
    EXPECT_TRUE(call(port, "GetIdiTrad", "").ok);

    ASSERT_EQ(userCommand({"add", "ana", "--db", server.dbPath()}, "segredo\n"), 0);
    const Answer anonymous = call(port, "GetIdiTrad", "");
    EXPECT_EQ(anonymous.code, -32001) << anonymous.message;
    const std::string token = login(port, "ana", "segredo");
    ASSERT_FALSE(token.empty());
    EXPECT_TRUE(call(port, "GetIdiTrad", "", token).ok);
    EXPECT_TRUE(server.log().contains(" ana GetIdiTrad ")) << server.log().toStdString();

    // Started without users on the loopback address, it is this machine's
    // own server again once the last user goes.
    ASSERT_EQ(userCommand({"remove", "ana", "--db", server.dbPath()}), 0);
    EXPECT_TRUE(call(port, "GetIdiTrad", "").ok);
}

// The users file is looked at on every call while serving: the scheme of the
// token is read without regard to case; a file made readable by others or
// broken by hand refuses every call (never lets anyone in anonymously) and
// says so without naming the file, which only the log does; the last user
// removed leaves a server that started with users asking for a log-in.
TEST(ServerAuth, TheUsersFileIsWatchedWhileServingAndNeverNamedToClients)
{
    QTemporaryDir dir;
    const QString users = dir.filePath("trd.users");
    ASSERT_EQ(userCommand({"add", "ana", "--users", users}, "segredo-1\n"), 0);
    TrdServerProcess::Options options;
    options.demo = true;
    options.extraArgs = {"--users", users};
    TrdServerProcess server(options);
    ASSERT_TRUE(server.isRunning()) << server.errorString().toStdString();
    const int port = server.port();
    const std::string token = login(port, "ana", "segredo-1");
    ASSERT_FALSE(token.empty());

    const auto withScheme = [&](const std::string& authorization) {
        httplib::Client http("127.0.0.1", port);
        auto res = http.Post("/Trd09300.rdmTraducao", {{"Authorization", authorization}}, request("GetIdiTrad", ""),
                             "application/json");
        return res ? parseAnswer(res->body) : Answer{false, -1, "transport failure", {}, {}};
    };
    EXPECT_TRUE(withScheme("bearer " + token).ok);
    EXPECT_TRUE(withScheme("BEARER  " + token).ok);
    EXPECT_EQ(withScheme("Bearertoken" + token).code, -32001);

    const auto refusedWithoutPath = [&](const Answer& a, const char* what) {
        EXPECT_EQ(a.code, -32603) << what << ": " << a.message;
        EXPECT_NE(a.message.find("arquivo de usuários"), std::string::npos) << what << ": " << a.message;
        EXPECT_EQ(a.message.find(dir.path().toStdString()), std::string::npos) << what << ": " << a.message;
        EXPECT_EQ(a.message.find("trd.users"), std::string::npos) << what << ": " << a.message;
    };
    ASSERT_EQ(::chmod(users.toUtf8().constData(), 0644), 0);
    refusedWithoutPath(call(port, "GetIdiTrad", "", token), "readable by others");
    refusedWithoutPath(call(port, "Login", "\"ana\",\"segredo-1\""), "log-in, readable by others");
    EXPECT_TRUE(server.log().contains("permissões 0644")) << server.log().toStdString();
    ASSERT_EQ(::chmod(users.toUtf8().constData(), 0600), 0);
    EXPECT_TRUE(call(port, "GetIdiTrad", "", token).ok);

    QFile file(users);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray sound = file.readAll();
    file.close();
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(sound + "uma linha estragada\n");
    file.close();
    refusedWithoutPath(call(port, "GetIdiTrad", "", token), "broken");
    refusedWithoutPath(call(port, "GetIdiTrad", ""), "broken, no token");
    EXPECT_TRUE(server.log().contains("linha inválida")) << server.log().toStdString();
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(sound);
    file.close();
    EXPECT_TRUE(call(port, "GetIdiTrad", "", token).ok);

    ASSERT_EQ(userCommand({"remove", "ana", "--users", users}), 0);
    const Answer nobody = call(port, "GetIdiTrad", "");
    EXPECT_EQ(nobody.code, -32001);
    EXPECT_NE(nobody.message.find("não tem mais nenhum usuário cadastrado"), std::string::npos) << nobody.message;
}
