// An operator's bad day against the real trd-server on SQLite: files that are
// not its database, a damaged or read-only file, the database or its WAL
// removed while it runs, a nearly full disk. Saves are counted as the client
// sees them: acknowledged or refused, and what a restart finds.
#include "ServerTestKit.h"
#include "TrdServerProcess.h"

#include <httplib.h>
#include <sqlite3.h>

#include <gtest/gtest.h>

#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <thread>
#include <fcntl.h>
#include <unistd.h>

using namespace trd::server::test;
using trd::test::TrdServerProcess;

namespace {

struct Exit {
    int code = -1;
    std::string err;
};

// Runs trd-server to its end (it is expected to refuse and exit).
Exit runServer(const QStringList& args)
{
    QProcess p;
    p.start(TrdServerProcess::binaryPath(),
            QStringList(args) << QStringLiteral("--listen") << QStringLiteral("127.0.0.1:0"));
    Exit e;
    if (!p.waitForFinished(20000)) {
        p.kill();
        p.waitForFinished();
        e.err = "still running";
        return e;
    }
    e.code = p.exitCode();
    e.err = p.readAllStandardError().toStdString();
    return e;
}

void sql(const QString& path, const char* statements)
{
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(path.toUtf8().constData(), &db), SQLITE_OK);
    EXPECT_EQ(sqlite3_exec(db, statements, nullptr, nullptr, nullptr), SQLITE_OK) << sqlite3_errmsg(db);
    sqlite3_close(db);
}

int tableCount(const QString& path)
{
    sqlite3* db = nullptr;
    sqlite3_open_v2(path.toUtf8().constData(), &db, SQLITE_OPEN_READONLY, nullptr);
    sqlite3_stmt* st = nullptr;
    sqlite3_prepare_v2(db, "SELECT COUNT(*) FROM sqlite_schema WHERE type = 'table'", -1, &st, nullptr);
    const int n = sqlite3_step(st) == SQLITE_ROW ? sqlite3_column_int(st, 0) : -1;
    sqlite3_finalize(st);
    sqlite3_close(db);
    return n;
}

QString writeSeed(const QTemporaryDir& dir)
{
    const QString path = dir.filePath(QStringLiteral("seed.tsv"));
    QFile f(path);
    f.open(QIODevice::WriteOnly);
    f.write("L\tENG\tInglês\tPOR\n"
            "R\tENG\tTRD09300\tsbtSalvar\t&Salvar\t&Salvar\tN\n"
            "R\tENG\tTRD09300\tsbtFechar\t&Fechar\t&Fechar\tN\n");
    return path;
}

// A client that saves the one seeded row again and again, counting what the
// server acknowledged; it knows the row's current values only from its own
// acknowledged saves, as an editor would.
class Saver {
public:
    // known: the row's text as last acknowledged before (a client that reloaded).
    explicit Saver(const TrdServerProcess& server, std::string known = {})
        : m_http(server.host().toStdString(), server.port())
    {
        m_http.set_read_timeout(30, 0);
        if (!known.empty()) {
            m_row.dst = std::move(known);
            m_row.status = "T";
        }
    }
    Answer save()
    {
        const std::string text = "&Save " + std::to_string(++m_attempts);
        auto res = m_http.Post("/Trd09300.rdmTraducao",
                               request("SetDestino", json(DeltaBuilder().modify(m_row, text, std::string("T")).xml())),
                               "application/json");
        Answer a = res ? parseAnswer(res->body) : Answer{false, -1, "transport failure", {}, {}};
        if (a.ok) {
            ++acknowledged;
            m_row.dst = text;
            m_row.status = "T";
        }
        return a;
    }
    std::string stored()
    {
        auto res = m_http.Post(
            "/Trd09300.rdmTraducao",
            request("GetFiltroDest", "\"T\",\"D\",\"N\",\" AND NMCOMPONENTE = 'sbtSalvar'\",\"ENG\",0,0,\"\""),
            "application/json");
        const Answer a = res ? parseAnswer(res->body) : Answer{};
        return a.rows.size() == 1 ? a.rows[0].at("STVALORPROP") : "(" + a.message + ")";
    }
    const std::string& lastAcknowledged() const { return m_row.dst; }
    httplib::Result health() { return m_http.Get("/health"); }
    int acknowledged = 0;

private:
    httplib::Client m_http;
    TRow m_row{"ENG", "TRD09300", "sbtSalvar", "&Salvar", "&Salvar", "N"};
    int m_attempts = 0;
};

TrdServerProcess::Options seeded(const QString& tsv)
{
    TrdServerProcess::Options o;
    o.importTsv = tsv;
    return o;
}

TrdServerProcess::Options existing(const QString& db, const QStringList& args = {})
{
    TrdServerProcess::Options o;
    o.dbPath = db;
    o.create = false;
    o.extraArgs = args;
    return o;
}

} // namespace

TEST(ServerStartUp, RefusesWhatIsNotItsDatabaseAndCreatesOnlyWhenAsked)
{
    QTemporaryDir dir;
    const QString missing = dir.filePath(QStringLiteral("typo.db"));
    Exit e = runServer({QStringLiteral("--db"), missing});
    EXPECT_EQ(e.code, 1);
    EXPECT_NE(e.err.find("não existe (para criar um banco novo, use --create)"), std::string::npos) << e.err;
    EXPECT_FALSE(QFile::exists(missing));

    const QString empty = dir.filePath(QStringLiteral("empty.db"));
    QFile(empty).open(QIODevice::WriteOnly);
    e = runServer({QStringLiteral("--db"), empty});
    EXPECT_EQ(e.code, 1);
    EXPECT_NE(e.err.find("está vazio"), std::string::npos) << e.err;
    EXPECT_EQ(QFile(empty).size(), 0);

    // Another program's database is left exactly as it was.
    const QString foreign = dir.filePath(QStringLiteral("other.db"));
    sql(foreign, "CREATE TABLE clientes (id INTEGER); PRAGMA application_id = 1234;");
    e = runServer({QStringLiteral("--db"), foreign, QStringLiteral("--create")});
    EXPECT_EQ(e.code, 1);
    EXPECT_NE(e.err.find("não é um banco do trd-server (é de outro aplicativo"), std::string::npos) << e.err;
    const QString plain = dir.filePath(QStringLiteral("plain.db"));
    sql(plain, "CREATE TABLE IDIOMA (x);");
    e = runServer({QStringLiteral("--db"), plain, QStringLiteral("--demo")});
    EXPECT_EQ(e.code, 1);
    EXPECT_NE(e.err.find("não tem o esquema de traduções"), std::string::npos) << e.err;
    EXPECT_EQ(tableCount(foreign), 1);
    EXPECT_EQ(tableCount(plain), 1);

    const QString text = dir.filePath(QStringLiteral("notes.txt"));
    QFile t(text);
    t.open(QIODevice::WriteOnly);
    t.write(QByteArray(8192, 'x'));
    t.close();
    e = runServer({QStringLiteral("--db"), text});
    EXPECT_EQ(e.code, 1);
    EXPECT_NE(e.err.find("não é um banco SQLite"), std::string::npos) << e.err;

    EXPECT_EQ(
        runServer({QStringLiteral("--db"), missing, QStringLiteral("--read-only"), QStringLiteral("--demo")}).code, 2);

    // Asked for, a new database is made, and later starts find it without being asked.
    TrdServerProcess created(existing(missing, {QStringLiteral("--create")}));
    ASSERT_TRUE(created.isRunning()) << created.errorString().toStdString();
    ASSERT_TRUE(created.terminate());
    TrdServerProcess again(existing(missing));
    EXPECT_TRUE(again.isRunning()) << again.errorString().toStdString();
}

TEST(ServerStartUp, RefusesADamagedFileAndServesReadOnlyOnlyWhenAsked)
{
    QTemporaryDir dir;
    QString db;
    {
        TrdServerProcess server(seeded(writeSeed(dir)));
        ASSERT_TRUE(server.isRunning()) << server.errorString().toStdString();
        Saver saver(server);
        ASSERT_TRUE(saver.save().ok);
        ASSERT_TRUE(server.terminate());
        db = dir.filePath(QStringLiteral("saved.db"));
        ASSERT_TRUE(QFile::copy(server.dbPath(), db));
    }

    // Every page after the header scrambled: the quick check at start finds it.
    const QString damaged = dir.filePath(QStringLiteral("damaged.db"));
    ASSERT_TRUE(QFile::copy(db, damaged));
    {
        QFile f(damaged);
        ASSERT_TRUE(f.open(QIODevice::ReadWrite));
        const qint64 size = f.size();
        f.seek(4096);
        QByteArray junk(size - 4096, '\0');
        for (qsizetype i = 0; i < junk.size(); ++i)
            junk[i] = char((i * 7919) >> 3);
        f.write(junk);
    }
    for (const QString& check : {QStringLiteral("--quiet"), QStringLiteral("--full-check")}) {
        const Exit e = runServer({QStringLiteral("--db"), damaged, check});
        EXPECT_EQ(e.code, 1);
        EXPECT_NE(e.err.find("está danificado"), std::string::npos) << e.err;
    }

    // Served read-only when asked: reads answer, saves are refused clearly.
    {
        TrdServerProcess server(existing(db, {QStringLiteral("--read-only")}));
        ASSERT_TRUE(server.isRunning()) << server.errorString().toStdString();
        Saver saver(server);
        EXPECT_EQ(saver.stored(), "&Save 1");
        const Answer refused = saver.save();
        EXPECT_FALSE(refused.ok);
        EXPECT_EQ(refused.message.rfind("O servidor está atendendo este banco somente para consulta", 0), 0u)
            << refused.message;
        EXPECT_EQ(saver.stored(), "&Save 1");
        auto health = saver.health();
        ASSERT_TRUE(health);
        EXPECT_EQ(health->status, 200);
        EXPECT_NE(health->body.find("gravação: não aceita"), std::string::npos) << health->body;
    }

    // A file this user cannot write is refused unless served read-only
    // (root writes anything, so this part needs an ordinary user).
    if (geteuid() != 0) {
        QFile::setPermissions(db, QFileDevice::ReadOwner);
        const Exit e = runServer({QStringLiteral("--db"), db});
        EXPECT_EQ(e.code, 1);
        EXPECT_NE(e.err.find("use --read-only"), std::string::npos) << e.err;
        QFile::setPermissions(db, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    }
}

TEST(ServerWhileRunning, ADeletedOrReplacedDatabaseStopsTheAcknowledgements)
{
    QTemporaryDir dir;
    const QString seed = writeSeed(dir);
    for (const bool replace : {false, true}) {
        TrdServerProcess server(seeded(seed));
        ASSERT_TRUE(server.isRunning()) << server.errorString().toStdString();
        Saver saver(server);
        for (int i = 0; i < 3; ++i)
            ASSERT_TRUE(saver.save().ok);
        const std::string folder = dir.path().toStdString();
        if (replace) {
            // An older copy put in its place, as a careless restore would.
            const QString copy = server.dbPath() + QStringLiteral(".old");
            ASSERT_TRUE(QFile::copy(server.dbPath(), copy));
            ASSERT_EQ(::rename(copy.toUtf8().constData(), server.dbPath().toUtf8().constData()), 0);
        } else {
            ASSERT_TRUE(QFile::remove(server.dbPath()));
        }
        for (int i = 0; i < 3; ++i) {
            const Answer refused = saver.save();
            EXPECT_FALSE(refused.ok);
            EXPECT_EQ(refused.message.rfind("O servidor não grava mais: o arquivo do banco de dados foi ", 0), 0u)
                << refused.message;
            EXPECT_EQ(refused.message.find(server.dbPath().toStdString()), std::string::npos);
        }
        EXPECT_EQ(saver.acknowledged, 3);
        auto health = saver.health();
        ASSERT_TRUE(health);
        EXPECT_EQ(health->status, 503);
        EXPECT_EQ(health->body.rfind("O servidor não grava mais", 0), 0u) << health->body;
        EXPECT_EQ(health->body.find(folder), std::string::npos) << health->body;
        // The server log names the file for the operator.
        EXPECT_TRUE(server.log().contains(server.dbPath().toUtf8())) << server.log().toStdString();
        server.terminate();
        if (replace) {
            ASSERT_TRUE(server.restart()) << server.errorString().toStdString();
            Saver after(server);
            EXPECT_EQ(after.stored(), "&Save 3"); // the copy held every acknowledged save
        } else {
            // Restarted on the vanished path it refuses instead of starting empty.
            EXPECT_FALSE(server.restart());
            EXPECT_TRUE(server.log().contains("não existe")) << server.log().toStdString();
            EXPECT_FALSE(QFile::exists(server.dbPath()));
        }
    }
}

TEST(ServerWhileRunning, ALostWalKeepsEveryAcknowledgedSaveThroughACrash)
{
    QTemporaryDir dir;
    TrdServerProcess server(seeded(writeSeed(dir)));
    ASSERT_TRUE(server.isRunning()) << server.errorString().toStdString();
    Saver saver(server);
    ASSERT_TRUE(saver.save().ok);
    ASSERT_TRUE(saver.save().ok);
    ASSERT_TRUE(QFile::remove(server.dbPath() + QStringLiteral("-wal")));
    const Answer refused = saver.save();
    EXPECT_FALSE(refused.ok);
    EXPECT_NE(refused.message.find("registro de transações (-wal)"), std::string::npos) << refused.message;
    auto health = saver.health();
    ASSERT_TRUE(health);
    EXPECT_EQ(health->status, 503);
    EXPECT_EQ(saver.acknowledged, 2);
    server.kill9();
    ASSERT_TRUE(server.restart()) << server.errorString().toStdString();
    Saver after(server, saver.lastAcknowledged());
    EXPECT_EQ(after.stored(), saver.lastAcknowledged());
    EXPECT_TRUE(after.save().ok); // a fresh start writes normally again
}

TEST(ServerWhileRunning, HealthSaysWhatASaveWouldMeet)
{
    QTemporaryDir dir;
    TrdServerProcess::Options options = seeded(writeSeed(dir));
    {
        TrdServerProcess server(options);
        ASSERT_TRUE(server.isRunning()) << server.errorString().toStdString();
        auto health = Saver(server).health();
        ASSERT_TRUE(health);
        EXPECT_EQ(health->status, 200);
        EXPECT_EQ(health->body.rfind("OK\n", 0), 0u) << health->body;
        EXPECT_NE(health->body.find("gravação: aceita"), std::string::npos) << health->body;
        EXPECT_NE(health->body.find("espaço livre: "), std::string::npos) << health->body;
    }
    // More free space asked for than any disk has: unhealthy, with the
    // reason first, while saves themselves still go through.
    options.extraArgs = {QStringLiteral("--min-free"), QStringLiteral("1000000000")};
    options.requireHealthy = false;
    TrdServerProcess server(options);
    ASSERT_TRUE(server.isRunning()) << server.errorString().toStdString();
    Saver saver(server);
    auto health = saver.health();
    ASSERT_TRUE(health);
    EXPECT_EQ(health->status, 503);
    EXPECT_EQ(health->body.rfind("Pouco espaço em disco no servidor: ", 0), 0u) << health->body;
    EXPECT_TRUE(saver.save().ok);
}

TEST(ServerWhileRunning, DamagedPagesMetByAReadAreReportedWithoutTheirInternals)
{
    TrdServerProcess::Options demo;
    demo.demo = true;
    TrdServerProcess server(demo);
    ASSERT_TRUE(server.isRunning()) << server.errorString().toStdString();
    // After a clean stop every page is in the database file and none in a
    // WAL, so what is scrambled below is what the next reads meet.
    ASSERT_TRUE(server.terminate());
    ASSERT_TRUE(server.restart()) << server.errorString().toStdString();
    {
        QFile f(server.dbPath());
        ASSERT_TRUE(f.open(QIODevice::ReadWrite));
        ASSERT_GT(f.size(), 250 * 4096);
        f.seek(60 * 4096);
        f.write(QByteArray(150 * 4096, '\x5a'));
    }
    httplib::Client http(server.host().toStdString(), server.port());
    int damaged = 0;
    for (const char* language : {"ENG", "ESP", "FRA"}) {
        auto res = http.Post("/Trd09300.rdmTraducao",
                             request("GetFiltroDest",
                                     std::string("\"T\",\"D\",\"N\",\" AND UPPER(STVALORPROP) LIKE '%A%'\",\"")
                                         + language + "\",0,0,\"\""),
                             "application/json");
        ASSERT_TRUE(res);
        const Answer a = parseAnswer(res->body);
        if (!a.ok) {
            ++damaged;
            EXPECT_EQ(a.message,
                      "O banco de dados do servidor está danificado; a operação não foi feita. Avise o "
                      "administrador do sistema.");
        }
    }
    EXPECT_GT(damaged, 0);
    auto health = http.Get("/health");
    ASSERT_TRUE(health);
    EXPECT_EQ(health->status, 503);
    EXPECT_NE(health->body.find("integridade: páginas danificadas encontradas"), std::string::npos) << health->body;
    EXPECT_TRUE(server.log().contains("[database disk image is malformed]")) << server.log().toStdString();
}

TEST(ServerWhileRunning, ADatabaseFileCutShortUnderTheServerIsReportedNotACrash)
{
    TrdServerProcess::Options demo;
    demo.demo = true;
    TrdServerProcess server(demo);
    ASSERT_TRUE(server.isRunning()) << server.errorString().toStdString();
    // Every page in the database file and none in memory yet, as after a
    // restart: what the saves below need must be read from the file.
    ASSERT_TRUE(server.terminate());
    ASSERT_TRUE(server.restart()) << server.errorString().toStdString();
    httplib::Client http(server.host().toStdString(), server.port());
    auto rows = http.Post("/Trd09300.rdmTraducao", request("GetDestino", "\"T\",\"D\",\"N\",\"ENG\",0,0,\"\""),
                          "application/json");
    ASSERT_TRUE(rows);
    const Answer all = parseAnswer(rows->body);
    ASSERT_GT(all.rows.size(), 1000u);

    // Savers change every row of the table, one large delta after another,
    // while the file is cut to its first page under them.
    std::atomic<bool> cut{false};
    std::atomic<int> answered{0}, acknowledgedAfter{0}, failedTransport{0};
    std::vector<std::thread> savers;
    for (int s = 0; s < 2; ++s)
        savers.emplace_back([&, s] {
            httplib::Client mine(server.host().toStdString(), server.port());
            mine.set_read_timeout(60, 0);
            std::vector<TRow> rows;
            for (std::size_t i = static_cast<std::size_t>(s); i < all.rows.size(); i += 2) {
                const Row& r = all.rows[i];
                rows.push_back({"ENG", r.at("CDPROGTRAD"), r.at("NMCOMPONENTE"), r.at("STAGRVALPROP"),
                                r.at("STVALORPROP"), r.at("IDSITTRADUCAO")});
            }
            for (int round = 0, afterCut = 0; afterCut < 3 && round < 1000; ++round) {
                const std::string text = "cortado " + std::to_string(round);
                DeltaBuilder delta;
                for (const TRow& row : rows)
                    delta.modify(row, text, std::string("T"));
                const bool after = cut.load();
                afterCut += after;
                auto res =
                    mine.Post("/Trd09300.rdmTraducao", request("SetDestino", json(delta.xml())), "application/json");
                if (!res) {
                    ++failedTransport;
                    return;
                }
                ++answered;
                if (!parseAnswer(res->body).ok)
                    continue;
                acknowledgedAfter += after;
                for (TRow& row : rows) {
                    row.dst = text;
                    row.status = "T";
                }
            }
        });
    QThread::msleep(200);
    ASSERT_EQ(::truncate(server.dbPath().toUtf8().constData(), 4096), 0);
    cut = true;
    for (auto& t : savers)
        t.join();
    EXPECT_EQ(failedTransport.load(), 0);
    EXPECT_GE(answered.load(), 6);
    EXPECT_EQ(acknowledgedAfter.load(), 0);
    auto health = http.Get("/health");
    ASSERT_TRUE(health);
    EXPECT_EQ(health->status, 503) << health->body;
    EXPECT_NE(health->body.find("restaurado da última cópia de segurança"), std::string::npos) << health->body;
    // Seen by the length, or, when a checkpoint wrote over the cut and set
    // the length back, by what the cut left unwritten.
    EXPECT_TRUE(server.log().contains("outro programa o cortou")) << server.log().toStdString();
    EXPECT_TRUE(server.terminate()); // still running, and stops cleanly
}

TEST(ServerWhileRunning, ABackupCopiedOverTheLiveFileStopsTheSavesAtOnce)
{
    QTemporaryDir dir;
    TrdServerProcess server(seeded(writeSeed(dir)));
    ASSERT_TRUE(server.isRunning()) << server.errorString().toStdString();
    Saver saver(server);
    ASSERT_TRUE(saver.save().ok);
    const QString copy = dir.filePath("copia.db");
    ASSERT_EQ(runServer({"--db", server.dbPath(), "--backup", copy}).code, 0);
    ASSERT_TRUE(saver.save().ok);
    ASSERT_TRUE(saver.save().ok);
    // cp over the running database: the same file, rewritten in place.
    std::filesystem::copy_file(copy.toStdString(), server.dbPath().toStdString(),
                               std::filesystem::copy_options::overwrite_existing);
    for (int i = 0; i < 3; ++i) {
        const Answer refused = saver.save();
        EXPECT_FALSE(refused.ok);
        EXPECT_EQ(refused.message.rfind("O servidor não grava mais: o arquivo do banco de dados foi alterado por outro "
                                        "programa",
                                        0),
                  0u)
            << refused.message;
        EXPECT_NE(refused.message.find("restaurado da última cópia de segurança"), std::string::npos)
            << refused.message;
    }
    EXPECT_EQ(saver.acknowledged, 3);
    auto health = saver.health();
    ASSERT_TRUE(health);
    EXPECT_EQ(health->status, 503);
    EXPECT_TRUE(server.log().contains(server.dbPath().toUtf8())) << server.log().toStdString();
}

TEST(ServerWhileRunning, DamageWrittenIntoTheFileIsFoundByTheScheduledCheck)
{
    TrdServerProcess::Options demo;
    demo.demo = true;
    demo.extraArgs = {"--check-every", "1"};
    TrdServerProcess server(demo);
    ASSERT_TRUE(server.isRunning()) << server.errorString().toStdString();
    ASSERT_TRUE(server.terminate());
    ASSERT_TRUE(server.restart()) << server.errorString().toStdString();
    // 8 KiB of random bytes in the middle of the file, on two pages the file
    // guard's own sample (16 pages spread evenly) does not look at.
    {
        QFile f(server.dbPath());
        ASSERT_TRUE(f.open(QIODevice::ReadWrite));
        const qint64 pages = f.size() / 4096;
        ASSERT_GT(pages, 100);
        auto sampled = [&](qint64 p) {
            for (int i = 0; i < 16; ++i)
                if (i * (pages - 1) / 15 == p)
                    return true;
            return false;
        };
        qint64 at = pages / 2;
        while (sampled(at) || sampled(at + 1))
            ++at;
        QByteArray junk(8192, '\0');
        std::uint32_t x = 2463534242u;
        for (char& c : junk) {
            x ^= x << 13, x ^= x >> 17, x ^= x << 5;
            c = static_cast<char>(x);
        }
        f.seek(at * 4096);
        f.write(junk);
    }
    // Within a few checks the saves stop and /health says why. A read of the
    // server's own (the memory's index is built at start) may meet the damage
    // first and turn /health to 503 for that reason alone: the scheduled
    // check is what stops the saves, so its line is waited for.
    const std::string stopped = "O servidor não grava mais: a verificação de integridade encontrou páginas danificadas";
    httplib::Client http(server.host().toStdString(), server.port());
    int status = 0;
    std::string body;
    for (int i = 0; i < 600 && (status != 503 || body.rfind(stopped, 0) != 0); ++i) {
        QThread::msleep(100);
        if (auto health = http.Get("/health")) {
            status = health->status;
            body = health->body;
        }
    }
    EXPECT_EQ(status, 503);
    EXPECT_EQ(body.rfind(stopped, 0), 0u) << body;
    EXPECT_NE(body.find("integridade: páginas danificadas encontradas"), std::string::npos) << body;
    auto res = http.Post("/Trd09300.rdmTraducao",
                         request("SetDestino", json(DeltaBuilder().insert({"ENG", "NOVA", "c", "s", "d", "N"}).xml())),
                         "application/json");
    ASSERT_TRUE(res);
    const Answer refused = parseAnswer(res->body);
    EXPECT_FALSE(refused.ok);
    EXPECT_NE(refused.message.find("restaurado da última cópia de segurança"), std::string::npos) << refused.message;
    EXPECT_TRUE(server.log().contains("verificação de integridade do banco encontrou danos"))
        << server.log().toStdString();
}

namespace {

// True while some other process holds the WAL write lock of the database
// (byte 120 of its -shm file, open as shm): a write transaction is open.
// The descriptor stays open: closing any descriptor of a file drops every
// lock this process holds on it, the reader's included.
bool writerActive(int shm)
{
    struct flock probe { };
    probe.l_type = F_WRLCK;
    probe.l_whence = SEEK_SET;
    probe.l_start = 120;
    probe.l_len = 1;
    return ::fcntl(shm, F_GETLK, &probe) == 0 && probe.l_type != F_UNLCK;
}

} // namespace

TEST(ServerWhileRunning, ASaveThatMayHaveBeenStoredIsNeverAnsweredNothingWasWritten)
{
    TrdServerProcess::Options demo;
    demo.demo = true;
    TrdServerProcess server(demo);
    ASSERT_TRUE(server.isRunning()) << server.errorString().toStdString();
    httplib::Client http(server.host().toStdString(), server.port());
    http.set_read_timeout(120, 0);
    auto rows = http.Post("/Trd09300.rdmTraducao", request("GetDestino", "\"T\",\"D\",\"N\",\"ENG\",0,0,\"\""),
                          "application/json");
    ASSERT_TRUE(rows);
    const Answer all = parseAnswer(rows->body);
    ASSERT_GT(all.rows.size(), 1000u);

    // Another program reads the database from a moment before the save, so
    // that what the save commits cannot be copied into the database file.
    sqlite3* reader = nullptr;
    ASSERT_EQ(sqlite3_open(server.dbPath().toUtf8().constData(), &reader), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(reader, "BEGIN; SELECT COUNT(*) FROM TRADUCAO;", nullptr, nullptr, nullptr), SQLITE_OK);
    const int shm = ::open((server.dbPath() + "-shm").toUtf8().constData(), O_RDONLY);
    ASSERT_GE(shm, 0);

    // One large save; while its transaction is open, the shared-memory index is deleted.
    DeltaBuilder delta;
    for (const Row& r : all.rows)
        delta.modify({"ENG", r.at("CDPROGTRAD"), r.at("NMCOMPONENTE"), r.at("STAGRVALPROP"), r.at("STVALORPROP"),
                      r.at("IDSITTRADUCAO")},
                     "talvez");
    Answer answer;
    std::thread save([&] {
        auto res = http.Post("/Trd09300.rdmTraducao", request("SetDestino", json(delta.xml())), "application/json");
        answer = res ? parseAnswer(res->body) : Answer{false, -1, "transport failure", {}, {}};
    });
    bool removed = false;
    for (int i = 0; i < 60000 && !removed; ++i) {
        if (writerActive(shm))
            removed = QFile::remove(server.dbPath() + "-shm");
        else
            QThread::usleep(500);
    }
    save.join();
    sqlite3_close(reader);
    ::close(shm);
    ASSERT_TRUE(removed);

    // Whatever the server answered must be true of what a restart finds.
    server.kill9();
    ASSERT_TRUE(server.restart()) << server.errorString().toStdString();
    auto after =
        http.Post("/Trd09300.rdmTraducao",
                  request("GetFiltroDest", "\"T\",\"D\",\"N\",\" AND STVALORPROP = 'talvez'\",\"ENG\",0,0,\"\""),
                  "application/json");
    ASSERT_TRUE(after);
    const bool stored = parseAnswer(after->body).rows.size() == all.rows.size();
    if (answer.ok) {
        EXPECT_TRUE(stored);
    } else {
        EXPECT_EQ(answer.message.find("Nada foi gravado"), std::string::npos) << answer.message;
        EXPECT_EQ(answer.code, -32004) << answer.message;
        EXPECT_NE(answer.message.find("Não se sabe se a alteração foi gravada"), std::string::npos) << answer.message;
        EXPECT_TRUE(stored); // this case: committed to the WAL, found again at the restart
    }
}

TEST(ServerWhileRunning, ALargeImportDoesNotLeaveALogAsLargeAsTheDatabase)
{
    QTemporaryDir dir;
    const QString tsv = dir.filePath("grande.tsv");
    {
        QFile f(tsv);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("L\tENG\tInglês\tPOR\nL\tESP\tEspanhol\tPOR\n");
        const QByteArray text(150, 'x');
        for (int i = 0; i < 20000; ++i)
            for (const char* language : {"ENG", "ESP"})
                f.write(QByteArray("R\t") + language + "\tPROG" + QByteArray::number(i % 50) + "\tc"
                        + QByteArray::number(i) + "\t" + text + "\t" + text + "\tN\n");
    }
    TrdServerProcess::Options options;
    options.importTsv = tsv;
    TrdServerProcess server(options);
    ASSERT_TRUE(server.isRunning()) << server.errorString().toStdString();
    const qint64 database = QFileInfo(server.dbPath()).size();
    ASSERT_GT(database, 10 << 20);
    // Serving, with every imported row in the database file and the log cut back.
    EXPECT_LT(QFileInfo(server.dbPath() + "-wal").size(), 1 << 20) << "database " << database << " bytes\n"
                                                                   << server.log().toStdString();
    httplib::Client http(server.host().toStdString(), server.port());
    auto res =
        http.Post("/Trd09300.rdmTraducao", request("GetCalcTrad", "\"ESP\",0,0,\"N\",\"T\""), "application/json");
    ASSERT_TRUE(res);
    const Answer count = parseAnswer(res->body);
    ASSERT_EQ(count.rows.size(), 1u) << res->body;
    EXPECT_EQ(count.rows[0].at("STVALORPROP"), "20000");
}

TEST(ServerBackup, NeverWritesOverADatabaseInUse)
{
    QTemporaryDir dir;
    const QString seed = writeSeed(dir);
    TrdServerProcess a(seeded(seed)), b(seeded(seed));
    ASSERT_TRUE(a.isRunning()) << a.errorString().toStdString();
    ASSERT_TRUE(b.isRunning()) << b.errorString().toStdString();
    Saver saver(b);
    for (int i = 0; i < 3; ++i)
        ASSERT_TRUE(saver.save().ok);

    // The other server's database, given as the copy's name by mistake.
    const Exit over = runServer({"--db", a.dbPath(), "--backup", b.dbPath()});
    EXPECT_EQ(over.code, 1);
    EXPECT_NE(over.err.find("em uso"), std::string::npos) << over.err;
    EXPECT_EQ(saver.stored(), "&Save 3");
    EXPECT_TRUE(saver.save().ok);
    ASSERT_TRUE(b.terminate());
    ASSERT_TRUE(b.restart()) << b.errorString().toStdString();
    EXPECT_EQ(Saver(b).stored(), "&Save 4");

    // Any SQLite database another program is reading at that moment.
    const QString other = dir.filePath("leitura.db");
    sql(other, "CREATE TABLE t (x); INSERT INTO t VALUES (1);");
    sqlite3* reader = nullptr;
    ASSERT_EQ(sqlite3_open(other.toUtf8().constData(), &reader), SQLITE_OK);
    sqlite3_exec(reader, "BEGIN; SELECT * FROM t;", nullptr, nullptr, nullptr);
    const Exit locked = runServer({"--db", a.dbPath(), "--backup", other});
    EXPECT_EQ(locked.code, 1);
    EXPECT_NE(locked.err.find("em uso"), std::string::npos) << locked.err;
    sqlite3_close(reader);
    EXPECT_EQ(tableCount(other), 1);

    // An earlier copy with a WAL left beside it.
    const QString copy = dir.filePath("copia.db");
    ASSERT_EQ(runServer({"--db", a.dbPath(), "--backup", copy}).code, 0);
    QFile(copy + "-wal").open(QIODevice::WriteOnly);
    EXPECT_EQ(runServer({"--db", a.dbPath(), "--backup", copy}).code, 1);
}

TEST(ServerBackup, ACopyTakenWhileClientsSaveIsConsistentAndServesAfterRestore)
{
    QTemporaryDir dir;
    TrdServerProcess server(seeded(writeSeed(dir)));
    ASSERT_TRUE(server.isRunning()) << server.errorString().toStdString();
    // A saver keeps changing two rows in one delta each time: a consistent
    // copy always holds both with the same number.
    std::atomic<bool> stop{false};
    std::atomic<int> acknowledged{0};
    std::thread saving([&] {
        httplib::Client http(server.host().toStdString(), server.port());
        std::string a = "&Salvar", b = "&Fechar";
        for (int i = 1; !stop.load(); ++i) {
            const std::string text = "n" + std::to_string(i);
            auto res = http.Post("/Trd09300.rdmTraducao",
                                 request("SetDestino",
                                         json(DeltaBuilder()
                                                  .modify({"ENG", "TRD09300", "sbtSalvar", "&Salvar", a, "N"}, text)
                                                  .modify({"ENG", "TRD09300", "sbtFechar", "&Fechar", b, "N"}, text)
                                                  .xml())),
                                 "application/json");
            if (!res || !parseAnswer(res->body).ok)
                break;
            a = b = text;
            ++acknowledged;
        }
    });
    const QString copy = dir.filePath(QStringLiteral("copia.db"));
    for (int i = 0; i < 3; ++i) {
        QThread::msleep(100);
        const int before = acknowledged.load();
        QProcess backup;
        backup.start(TrdServerProcess::binaryPath(),
                     {QStringLiteral("--db"), server.dbPath(), QStringLiteral("--backup"), copy});
        ASSERT_TRUE(backup.waitForFinished(30000));
        EXPECT_EQ(backup.exitCode(), 0) << backup.readAllStandardError().toStdString();
        EXPECT_GT(acknowledged.load(), before); // saves went on meanwhile
    }
    stop = true;
    saving.join();
    EXPECT_GT(acknowledged.load(), 3);
    EXPECT_FALSE(QFile::exists(copy + QStringLiteral("-wal")));

    // Restore: the copy put in place of the database (with no WAL beside it).
    const QString restored = dir.filePath(QStringLiteral("restaurado.db"));
    ASSERT_TRUE(QFile::copy(copy, restored));
    TrdServerProcess again(existing(restored));
    ASSERT_TRUE(again.isRunning()) << again.errorString().toStdString();
    httplib::Client http(again.host().toStdString(), again.port());
    auto res = http.Post("/Trd09300.rdmTraducao", request("GetDestino", "\"T\",\"D\",\"N\",\"ENG\",0,0,\"\""),
                         "application/json");
    ASSERT_TRUE(res);
    const Answer rows = parseAnswer(res->body);
    ASSERT_EQ(rows.rows.size(), 2u);
    EXPECT_EQ(rows.rows[0].at("STVALORPROP"), rows.rows[1].at("STVALORPROP"));
    EXPECT_EQ(rows.rows[0].at("STVALORPROP").rfind('n', 0), 0u) << rows.rows[0].at("STVALORPROP");

    // Refusals: the database itself, another program's file, a missing source.
    const Exit self = runServer({QStringLiteral("--db"), restored, QStringLiteral("--backup"), restored});
    EXPECT_EQ(self.code, 1);
    const QString foreign = dir.filePath(QStringLiteral("other.db"));
    sql(foreign, "CREATE TABLE clientes (id INTEGER);");
    const Exit over = runServer({QStringLiteral("--db"), restored, QStringLiteral("--backup"), foreign});
    EXPECT_EQ(over.code, 1);
    EXPECT_NE(over.err.find("não é uma cópia deste banco"), std::string::npos) << over.err;
    EXPECT_EQ(tableCount(foreign), 1);
}
