// The configuration file: every refusal names its line and reason before the
// server starts, the command line wins over the file, and the real binary's
// --check-config and --config agree with the parser.
#include "ConfigFile.h"
#include "OptionTable.h"
#include "ServerOptions.h"
#include "TrdServerProcess.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <fstream>

using namespace trd::server;
using trd::test::TrdServerProcess;

namespace {

struct Folder {
    QTemporaryDir dir;
    std::string write(const std::string& name, const std::string& text)
    {
        const std::string path = dir.path().toStdString() + "/" + name;
        std::ofstream(path, std::ios::binary) << text;
        return path;
    }
};

std::optional<ServerOptions> withFile(Folder& folder, const std::string& text, std::vector<std::string> args,
                                      std::string& error)
{
    const std::string path = folder.write("trd-server.conf", text);
    args.insert(args.begin(), {"--config", path});
    return parseServerOptions(args, error);
}

} // namespace

TEST(ConfigFile, RefusesEachFaultWithItsLineAndReason)
{
    struct Case {
        const char* text;
        const char* expected; // in the error, after the file's name
        const char* why;
    } cases[] = {
        {"db = /x.db\nthredas = 4\n", "linha 2: opção desconhecida: thredas", "a typo must not start with a default"},
        {"db = /x.db\n\n# note\nthreads\n", "linha 4: esperado NOME = VALOR", "a key without a value sign"},
        {"db = /x.db\nthreads = 0\n", "linha 2: --threads espera um número de 1 a 1024", "the option's own check"},
        {"db = /x.db\nthreads = 8 # eight\n", "linha 2: --threads espera", "no comment after a value"},
        {"db = /x.db\nquiet = maybe\n", "linha 2: quiet espera true ou false", "a flag's value"},
        {"db = /x.db\nthreads = 4\nthreads = 8\n", "linha 3: threads repetido (já na linha 2)", "which one wins?"},
        {"db = /x.db\nbackup = /b.db\n", "linha 2: backup vale só na linha de comando", "every start a backup"},
        {"db = /x.db\nconfig = /other.conf\n", "linha 2: config vale só na linha de comando", "no chains of files"},
        {"db = /x.db\n--threads = 4\n", "linha 2: escreva o nome sem os traços", "the command line's spelling"},
        {"db = /x.db\nThreads = 4\n", "linha 2: nome de opção inválido", "names are lower case"},
        {"db = \"/x.db\n", "linha 1: aspas sem fechamento", "an open quote"},
        {"db = /x.db\nlisten =\n", "linha 2: listen precisa de um valor", "an empty value"},
        {"db = /x.db\npg = dbname=trd\n", "use --db ou --pg, não os dois (com o arquivo de configuração",
         "the checks across options, naming the file"},
    };
    for (const Case& c : cases) {
        Folder folder;
        std::string error;
        EXPECT_FALSE(withFile(folder, c.text, {}, error)) << c.why;
        EXPECT_NE(error.find(c.expected), std::string::npos) << c.why << ": " << error;
        if (std::string(c.expected).rfind("linha", 0) == 0) {
            EXPECT_NE(error.find("trd-server.conf"), std::string::npos) << "the file is named: " << error;
        }
    }
    std::string error;
    EXPECT_FALSE(parseServerOptions({"--config", "/nonexistent/trd.conf", "--db", "x.db"}, error));
    EXPECT_NE(error.find("/nonexistent/trd.conf"), std::string::npos) << error;
}

TEST(ConfigFile, TheCommandLineWinsAndTheFileFillsTheRest)
{
    Folder folder;
    const std::string text = "# the service's settings\n"
                             "db = /var/lib/trd/trd.db\n"
                             "listen = 127.0.0.1:8300\n"
                             "threads = 6\n"
                             "quiet = yes\n"
                             "full-check = false\n"
                             "server-name = a.local\n"
                             "server-name = b.local\n"
                             "pg-lock-timeout = \" 2.5 \"\n" // quoted: the blanks stay, and the check sees them
                             "users = \"/etc/trd/users with blank\"\n";
    std::string error;
    EXPECT_FALSE(withFile(folder, text, {}, error));
    EXPECT_NE(error.find("linha 9"), std::string::npos) << error;

    const std::string good = text.substr(0, text.find("pg-lock-timeout")) + "pg-lock-timeout = 2.5\n"
        + "users = \"/etc/trd/users with blank\"\n";
    auto o = withFile(folder, good, {}, error);
    ASSERT_TRUE(o) << error;
    EXPECT_EQ(o->db, "/var/lib/trd/trd.db");
    EXPECT_EQ(o->port, 8300);
    EXPECT_EQ(o->threads, 6);
    EXPECT_TRUE(o->quiet);
    EXPECT_FALSE(o->fullCheck);
    EXPECT_EQ(o->serverNames, (std::vector<std::string>{"a.local", "b.local"}));
    EXPECT_EQ(o->pgLockTimeoutMs, 2500);
    EXPECT_EQ(o->users, "/etc/trd/users with blank");

    // The same options on the command line replace the file's, whole: a
    // repeated option's list, and --pg for the file's db (one group).
    o = withFile(folder, good,
                 {"--threads", "3", "--server-name", "c.local", "--pg", "dbname=trd", "--listen", "127.0.0.1:0"},
                 error);
    ASSERT_TRUE(o) << error;
    EXPECT_EQ(o->threads, 3);
    EXPECT_EQ(o->port, 0);
    EXPECT_EQ(o->serverNames, std::vector<std::string>{"c.local"});
    EXPECT_TRUE(o->db.empty());
    EXPECT_EQ(o->pg, "dbname=trd");
    EXPECT_TRUE(o->quiet) << "what the command line does not name still comes from the file";

    // A bad value on the command line is refused even where the file's is good.
    EXPECT_FALSE(withFile(folder, good, {"--threads", "0"}, error));
}

TEST(ConfigFile, EveryOptionOfTheTableIsAKeyOfTheFile)
{
    // Options added to the table later work in the file with no more code:
    // each one the file may hold is accepted under its own name.
    for (const OptionEntry& known : serverOptionTable()) {
        if (!known.inFile || known.name == "db" || known.name == "pg")
            continue;
        Folder folder;
        std::string value = known.arity == OptionArity::Flag ? "true" : "1";
        if (known.name == "listen")
            value = "127.0.0.1:1";
        if (known.name == "server-name" || known.name == "users" || known.name == "import-tsv")
            value = "x";
        if (known.name == "tls-cert" || known.name == "tls-key")
            continue; // only as a pair
        std::string error;
        const std::string text = "db = x.db\n" + known.name + " = " + value + "\n";
        const auto o = withFile(folder, text, {}, error);
        // Some need others (read-only refuses create...): the key itself is never unknown.
        if (!o) {
            EXPECT_EQ(error.find("desconhecida"), std::string::npos) << known.name << ": " << error;
        }
    }
}

TEST(ConfigFile, TheServerChecksAFileAndStartsFromIt)
{
    Folder folder;
    const auto run = [](const QStringList& args, std::string& out) {
        QProcess p;
        p.start(TrdServerProcess::binaryPath(), args);
        if (!p.waitForFinished(20000)) {
            p.kill();
            p.waitForFinished();
            return -1;
        }
        out = (p.readAllStandardOutput() + p.readAllStandardError()).toStdString();
        return p.exitCode();
    };
    const std::string db = folder.dir.path().toStdString() + "/trd.db";
    const std::string good = folder.write("good.conf", "db = " + db + "\ncreate = true\nthreads = 2\n");
    const std::string bad = folder.write("bad.conf", "db = " + db + "\nthreads = 2\nmax-body = lots\n");
    std::string out;
    EXPECT_EQ(run({"--check-config", QString::fromStdString(good)}, out), 0) << out;
    EXPECT_NE(out.find("configuração válida"), std::string::npos) << out;
    EXPECT_FALSE(QFile::exists(QString::fromStdString(db))) << "checking starts nothing, creates nothing";
    EXPECT_EQ(run({"--check-config", QString::fromStdString(bad)}, out), 1);
    EXPECT_NE(out.find("bad.conf, linha 3: --max-body espera"), std::string::npos) << out;
    // A bad file stops a start the same way, before anything is opened.
    EXPECT_EQ(run({"--config", QString::fromStdString(bad), "--listen", "127.0.0.1:0"}, out), 2);
    EXPECT_NE(out.find("linha 3"), std::string::npos) << out;
    EXPECT_FALSE(QFile::exists(QString::fromStdString(db)));

    // Started from the good file, the command line adding only the port.
    TrdServerProcess::Options options;
    options.dbPath = QString::fromStdString(folder.dir.path().toStdString() + "/unused.db");
    options.extraArgs = {"--config", QString::fromStdString(good)};
    TrdServerProcess server(options);
    ASSERT_TRUE(server.isRunning()) << server.errorString().toStdString();
    EXPECT_NE(server.log().indexOf("2 threads"), -1) << server.log().toStdString();
}
