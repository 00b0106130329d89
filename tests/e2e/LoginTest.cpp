// Logging in through the real host window and its login dialog against a real
// trd-server with users: a wrong password (the dialog stays, says why, keeps
// the user name), the right one, a session that expires while a translation
// is being typed (asked again; the save that was refused goes through after
// the login, nothing typed is lost), a removed user, and the same over TLS,
// where the server's certificate is verified: accepted with the authority
// that signed it, refused with the reason for an unknown authority and for a
// host name the certificate does not name, as for TLS asked of a plain server
// and plain HTTP asked of a TLS one.
//
// Runs on Xvfb: the login dialog is a real modal window, answered by keys
// typed into whatever has the focus, as a user would.
#include "ClientOptions.h"
#include "MainWindow.h"
#include "RecordingDialogSeam.h"
#include "TApplication.h"
#include "TForm.h"
#include "TrdServerProcess.h"
#include "WebServer.h"
#include "WebSession.h"

#include <QAbstractItemModel>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDate>
#include <QDialog>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMdiArea>
#include <QPointer>
#include <QProcess>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include <sqlite3.h>

#include <gtest/gtest.h>

#include <functional>

using namespace trd;
using namespace trd::test;

namespace {

const char* const Seed = "L\tENG\tEnglish\tENG\n"
                         "L\tSPA\tEspañol\tSPA\n"
                         "R\tENG\tTRD09300\tBTNABRIR\tAbrir arquivo\t\tN\n"
                         "R\tENG\tTRD09300\tBTNSALVAR\tSalvar arquivo\tSave file\tD\n"
                         "R\tENG\tTRD09300\tBTNFECHAR\tFechar\tClose\tT\n"
                         "R\tSPA\tTRD09300\tBTNABRIR\tAbrir arquivo\t\tN\n";

int run(const QString& program, const QStringList& args, const QByteArray& input = {}, QByteArray* output = nullptr)
{
    QProcess p;
    p.start(program, args);
    if (!p.waitForStarted(10000))
        return -1;
    p.write(input);
    p.closeWriteChannel();
    p.waitForFinished(60000);
    if (output)
        *output = p.readAllStandardError();
    return p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
}

int userCommand(const QString& action, const QString& users, const QByteArray& password = {})
{
    return run(TrdServerProcess::binaryPath(), {"user", action, "ana", "--users", users}, password + "\n");
}

QStringList dbRow(const QString& dbPath, const char* component)
{
    QStringList values;
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(dbPath.toUtf8().constData(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK) {
        sqlite3_stmt* st = nullptr;
        sqlite3_prepare_v2(db,
                           "SELECT STVALORPROP, IDSITTRADUCAO FROM TRADUCAO "
                           "WHERE IDIDIOMA = 'ENG' AND CDPROGTRAD = 'TRD09300' AND NMCOMPONENTE = ?",
                           -1, &st, nullptr);
        sqlite3_bind_text(st, 1, component, -1, SQLITE_STATIC);
        if (sqlite3_step(st) == SQLITE_ROW)
            values << QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(st, 0)))
                   << QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(st, 1)));
        sqlite3_finalize(st);
    }
    sqlite3_close(db);
    return values;
}

// Answers the host's login dialog from a script, with keys: for each time the
// dialog waits for an answer (it opened, or it cleared the password after a
// refusal) it records what the dialog says and types the next answer, or
// presses Escape when the script is over.
class LoginAnswerer : public QObject {
public:
    struct Shown {
        QString message;
        QDialog* dialog;
    };
    QList<std::pair<QString, QString>> answers; // user, password
    QList<Shown> shown;
    QElapsedTimer lastAnswer; // when the last answer was typed

    LoginAnswerer()
    {
        m_timer.setInterval(30);
        QObject::connect(&m_timer, &QTimer::timeout, this, [this] { poll(); });
        m_timer.start();
    }

    QStringList messages() const
    {
        QStringList out;
        for (const Shown& s : shown)
            out << s.message;
        return out;
    }

private:
    void poll()
    {
        auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        if (!dialog || dialog->objectName() != QLatin1String("frmLogin") || QApplication::activeWindow() != dialog)
            return;
        auto* user = dialog->findChild<QLineEdit*>(QStringLiteral("edtUsuario"));
        auto* password = dialog->findChild<QLineEdit*>(QStringLiteral("edtSenha"));
        auto* message = dialog->findChild<QLabel*>(QStringLiteral("lblMensagem"));
        if (!user || !password || !message || !password->text().isEmpty())
            return; // still checking the password typed last
        if (dialog == m_dialog && !m_refusedSinceAnswer)
            return;
        m_dialog = dialog;
        m_refusedSinceAnswer = false;
        shown << Shown{message->text(), dialog};
        QWidget* focus = QApplication::focusWidget();
        if (answers.isEmpty()) {
            QTest::keyClick(focus ? focus : dialog, Qt::Key_Escape);
            return;
        }
        const auto [name, secret] = answers.takeFirst();
        if (focus != password || user->text() != name) {
            user->setFocus();
            QTest::keyClick(user, Qt::Key_A, Qt::ControlModifier);
            QTest::keyClicks(user, name);
            QTest::keyClick(user, Qt::Key_Tab);
        }
        QWidget* now = QApplication::focusWidget();
        EXPECT_EQ(now, password) << "the password field takes the keys";
        lastAnswer.start();
        QTest::keyClicks(password, secret);
        // The dialog clears the password when the server refuses it: that is
        // the next time it waits for an answer.
        QObject::connect(
            password, &QLineEdit::textChanged, this,
            [this](const QString& text) {
                if (text.isEmpty())
                    m_refusedSinceAnswer = true;
            },
            Qt::SingleShotConnection);
        QTest::keyClick(password, Qt::Key_Return);
    }

    QTimer m_timer;
    QPointer<QDialog> m_dialog;
    bool m_refusedSinceAnswer = false;
};

// Fills the filter dialog with a range that takes every row and confirms it.
void confirmWideFilter(TForm& filter)
{
    for (const char* status : {"ckbTraduzido", "ckbDuvida", "ckbNaoTraduzido"})
        filter.findChild<QCheckBox*>(QString::fromLatin1(status))->setChecked(true);
    auto* from = filter.findChild<QLineEdit*>(QStringLiteral("depDtInicial"));
    auto* to = filter.findChild<QLineEdit*>(QStringLiteral("depDtFinal"));
    from->setFocus();
    from->selectAll();
    QTest::keyClicks(from, QStringLiteral("01/01/2020"));
    to->setFocus();
    to->selectAll();
    QTest::keyClicks(to, QDate::currentDate().toString(QStringLiteral("dd/MM/yyyy")));
    QTest::mouseClick(filter.findChild<QToolButton*>(QStringLiteral("sbtConfirma")), Qt::LeftButton);
}

int gridRow(const QTableView* grid, const QString& source)
{
    for (int r = 0; r < grid->model()->rowCount(); ++r)
        if (grid->model()->index(r, 1).data().toString() == source)
            return r;
    return -1;
}

// Opens the module, picks English and takes its rows through the filter.
void openEnglish(MainWindow& window, QComboBox*& languages, QTableView*& grid)
{
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    window.OpenTraducao();
    QWidget* editor = window.findChild<QWidget*>(QStringLiteral("frmTraducao"));
    ASSERT_NE(editor, nullptr);
    ASSERT_TRUE(QTest::qWaitFor([&] { return editor->isVisible(); }));
    languages = editor->findChild<QComboBox*>(QStringLiteral("cbbIdioma"));
    grid = editor->findChild<QTableView*>(QStringLiteral("dbgPadrao"));
    ASSERT_TRUE(languages && grid);
    ASSERT_EQ(languages->count(), 2);
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    languages->setFocus();
    ASSERT_TRUE(QTest::qWaitFor([&] { return languages->hasFocus(); }));
    QTest::keyClick(languages, Qt::Key_Down);
    QTest::keyClick(languages, Qt::Key_Tab);
    ASSERT_TRUE(QTest::qWaitFor([&] { return grid->model()->rowCount() == 3; }));
}

void closeModule(MainWindow& window)
{
    window.MdiArea()->closeAllSubWindows();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

const QString AskedFirst = QStringLiteral("Este servidor pede usuário e senha: entre com os seus.");
const QString Wrong = QStringLiteral("Usuário ou senha incorretos.");

} // namespace

TEST(LoginTest, WrongPasswordExpiredSessionAndRemovedUserThroughTheHostWindow)
{
    QTemporaryDir dir;
    const QString users = dir.filePath("trd.users");
    ASSERT_EQ(userCommand("add", users, "certa"), 0);
    {
        QFile seed(dir.filePath("seed.tsv"));
        ASSERT_TRUE(seed.open(QIODevice::WriteOnly));
        seed.write(Seed);
    }
    // Long enough for the module to open on a loaded machine before the
    // session runs out, which the test then waits for.
    constexpr int SessionS = 8;
    TrdServerProcess::Options options;
    options.importTsv = dir.filePath("seed.tsv");
    options.extraArgs = {"--users", users, "--session-timeout", QString::number(SessionS)};
    TrdServerProcess server(options);
    ASSERT_TRUE(server.isRunning()) << server.errorString().toStdString();
    ASSERT_TRUE(ParseClientOptions({"trd-client", "--server", server.hostPort()}).error.isEmpty());
    WebSessionToken.clear();

    RecordingDialogSeam seam;
    seam.onModal = [](TForm& filter) { confirmWideFilter(filter); };
    LoginAnswerer login;
    login.answers = {{"ana", "errada"}, {"ana", "certa"}};
    MainWindow window(qEnvironmentVariable("TRD_LIB_DIR"));
    window.show();
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));

    // At start: asked once; the wrong password is refused in the same
    // dialog, which keeps the user name and takes the right one.
    window.Start(false);
    ASSERT_EQ(login.messages(), (QStringList{AskedFirst, Wrong}));
    EXPECT_EQ(login.shown[0].dialog, login.shown[1].dialog);
    EXPECT_FALSE(WebSessionToken.isEmpty());
    EXPECT_TRUE(server.log().contains(" ana GetIdiTrad ")) << server.log().toStdString();

    QComboBox* languages = nullptr;
    QTableView* grid = nullptr;
    openEnglish(window, languages, grid);
    if (HasFatalFailure())
        return;
    EXPECT_EQ(login.shown.size(), 2) << "one login serves every screen";

    // The session runs out while a translation is typed: leaving the cell
    // saves it, the server refuses, the dialog asks again, and the same save
    // goes through once logged in.
    const int row = gridRow(grid, QStringLiteral("Abrir arquivo"));
    ASSERT_GE(row, 0);
    const QModelIndex cell = grid->model()->index(row, 2);
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    QTest::mouseClick(grid->viewport(), Qt::LeftButton, Qt::NoModifier, grid->visualRect(cell).center());
    ASSERT_EQ(grid->currentIndex(), cell);
    QTest::keyClicks(grid->focusWidget(), QStringLiteral("Open file"));
    while (login.lastAnswer.elapsed() < SessionS * 1000 + 1500) // the login itself takes a moment
        QTest::qWait(100);
    login.answers = {{"ana", "certa"}};
    QTest::keyClick(grid->focusWidget(), Qt::Key_Down);
    // The refusal, the dialog, the answer and the save again: a loaded
    // machine may take a while over them.
    ASSERT_TRUE(QTest::qWaitFor([&] { return login.shown.size() == 3 && QApplication::activeModalWidget() == nullptr; },
                                60000));
    EXPECT_TRUE(login.shown[2].message.contains(QStringLiteral("expirou"))) << login.shown[2].message.toStdString();
    EXPECT_TRUE(seam.errors().isEmpty()) << seam.errors().join(u'\n').toStdString();
    EXPECT_TRUE(seam.messages().isEmpty()) << seam.messages().join(u'\n').toStdString();
    EXPECT_EQ(dbRow(server.dbPath(), "BTNABRIR"), (QStringList{QStringLiteral("Open file"), QStringLiteral("T")}));
    EXPECT_EQ(grid->model()->index(row, 2).data().toString(), QStringLiteral("Open file"));
    EXPECT_EQ(grid->model()->index(row, 0).data().toString(), QStringLiteral("T"));

    // Removed: the next call asks again, the old password no longer opens,
    // and giving up leaves the screen with the server's refusal, nothing else.
    ASSERT_EQ(userCommand("remove", users), 0);
    login.answers = {{"ana", "certa"}};
    auto* reload = window.findChild<QToolButton*>(QStringLiteral("sbtVerificar"));
    ASSERT_NE(reload, nullptr);
    QTest::mouseClick(reload, Qt::LeftButton);
    ASSERT_TRUE(QTest::qWaitFor([&] { return login.shown.size() == 5 && QApplication::activeModalWidget() == nullptr; },
                                60000));
    EXPECT_TRUE(login.shown[3].message.contains(QStringLiteral("encerrada"))) << login.shown[3].message.toStdString();
    EXPECT_EQ(login.shown[4].message, Wrong);
    const QStringList shown = seam.errors() + seam.messages();
    ASSERT_EQ(shown.size(), 1) << shown.join(u'\n').toStdString();
    EXPECT_TRUE(shown[0].contains(QStringLiteral("sessão"))) << shown[0].toStdString();
    EXPECT_EQ(dbRow(server.dbPath(), "BTNABRIR"), (QStringList{QStringLiteral("Open file"), QStringLiteral("T")}));
    closeModule(window);
    SetWebServer(u"127.0.0.1:8211");
}

namespace {

// A certificate authority made for the test, a server certificate it signs
// for 127.0.0.1 only, and an authority the server has nothing to do with.
struct TestCertificates {
    QTemporaryDir dir;
    QString ca, serverCert, serverKey, otherCa;
    QString error;

    TestCertificates()
    {
        ca = dir.filePath("ca.pem");
        serverCert = dir.filePath("server.pem");
        serverKey = dir.filePath("server.key");
        otherCa = dir.filePath("other-ca.pem");
        const QStringList ec = {"-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes"};
        const QStringList caExt = {"-addext", "basicConstraints=critical,CA:TRUE", "-addext",
                                   "keyUsage=critical,keyCertSign,cRLSign"};
        QFile ext(dir.filePath("server.ext"));
        ext.open(QIODevice::WriteOnly);
        ext.write("subjectAltName=IP:127.0.0.1\nbasicConstraints=CA:FALSE\nextendedKeyUsage=serverAuth\n");
        ext.close();
        const QList<QStringList> steps = {
            QStringList{"req", "-x509"} + ec + caExt
                + QStringList{"-days", "2", "-subj", "/CN=Autoridade de teste", "-keyout", dir.filePath("ca.key"),
                              "-out", ca},
            QStringList{"req", "-x509"} + ec + caExt
                + QStringList{"-days", "2", "-subj", "/CN=Outra autoridade", "-keyout", dir.filePath("other.key"),
                              "-out", otherCa},
            QStringList{"req"} + ec
                + QStringList{"-subj", "/CN=127.0.0.1", "-keyout", serverKey, "-out", dir.filePath("server.csr")},
            QStringList{"x509", "-req", "-in", dir.filePath("server.csr"), "-CA", ca, "-CAkey", dir.filePath("ca.key"),
                        "-CAcreateserial", "-days", "2", "-extfile", ext.fileName(), "-out", serverCert},
        };
        for (const QStringList& step : steps) {
            QByteArray out;
            if (run("openssl", step, {}, &out) != 0) {
                error = "openssl " + step.join(' ') + ": " + QString::fromLocal8Bit(out);
                return;
            }
        }
    }
};

// Opens the module with the client's command line and returns what the
// screens showed (errors and messages).
QStringList openWith(const QStringList& commandLine, bool* editorFilled = nullptr)
{
    const ClientOptions options = ParseClientOptions(QStringList{"trd-client"} + commandLine);
    EXPECT_TRUE(options.error.isEmpty()) << options.error.toStdString();
    RecordingDialogSeam seam;
    MainWindow window(qEnvironmentVariable("TRD_LIB_DIR"));
    window.show();
    window.activateWindow();
    EXPECT_TRUE(QTest::qWaitForWindowActive(&window));
    window.Start(true);
    if (editorFilled) {
        *editorFilled = QTest::qWaitFor([&] {
            auto* languages = window.findChild<QComboBox*>(QStringLiteral("cbbIdioma"));
            return languages && languages->count() == 4; // the demo's languages
        });
    }
    closeModule(window);
    return seam.errors() + seam.messages();
}

} // namespace

TEST(LoginTest, OverTlsTheCertificateIsVerifiedAndRefusalsSayWhy)
{
    TestCertificates certificates;
    ASSERT_TRUE(certificates.error.isEmpty()) << certificates.error.toStdString();
    QTemporaryDir dir;
    const QString users = dir.filePath("trd.users");
    ASSERT_EQ(userCommand("add", users, "certa"), 0);
    TrdServerProcess::Options options;
    options.demo = true;
    options.extraArgs = {"--users", users, "--tls-cert", certificates.serverCert, "--tls-key", certificates.serverKey};
    TrdServerProcess server(options);
    ASSERT_TRUE(server.isRunning()) << server.errorString().toStdString();
    const int port = server.port();
    const QString https = QStringLiteral("https://127.0.0.1:%1").arg(port);
    WebSessionToken.clear();

    // The authority that signed the certificate, given with --tls-ca: the
    // login dialog comes (over TLS) and the module opens with its languages.
    {
        LoginAnswerer login;
        login.answers = {{"ana", "certa"}};
        bool filled = false;
        const QStringList shown = openWith({"--server", https, "--tls-ca", certificates.ca}, &filled);
        EXPECT_TRUE(shown.isEmpty()) << shown.join(u'\n').toStdString();
        EXPECT_TRUE(filled);
        EXPECT_EQ(login.messages(), QStringList{AskedFirst});
        EXPECT_TRUE(server.log().contains(" ana GetIdiTrad ")) << server.log().toStdString();
    }
    const auto refusedWith = [&](const QStringList& commandLine, const QString& reason) {
        WebSessionToken.clear();
        LoginAnswerer login; // must never be asked: nothing reaches the server
        const QStringList shown = openWith(commandLine);
        ASSERT_FALSE(shown.isEmpty());
        EXPECT_TRUE(shown[0].startsWith(QStringLiteral("Não foi possível estabelecer uma conexão segura (TLS)")))
            << shown[0].toStdString();
        EXPECT_TRUE(shown[0].contains(reason)) << shown[0].toStdString();
        EXPECT_TRUE(login.shown.isEmpty());
    };
    // Another authority, and the system's (which know nothing of the test's).
    refusedWith({"--server", https, "--tls-ca", certificates.otherCa},
                QStringLiteral("não foi emitido por uma autoridade certificadora confiável (as do arquivo %1)")
                    .arg(certificates.otherCa));
    refusedWith({"--server", https},
                QStringLiteral("não foi emitido por uma autoridade certificadora confiável (as do sistema)"));
    // The right authority, but a name the certificate does not carry.
    refusedWith({"--server", QStringLiteral("https://localhost:%1").arg(port), "--tls-ca", certificates.ca},
                QStringLiteral("o certificado do servidor não é do nome localhost"));
    // TLS asked of a server without it, and plain HTTP asked of a TLS server:
    // each side says what is wrong rather than a bare dropped connection.
    TrdServerProcess plainServer;
    ASSERT_TRUE(plainServer.isRunning()) << plainServer.errorString().toStdString();
    refusedWith(
        {"--server", QStringLiteral("https://127.0.0.1:%1").arg(plainServer.port()), "--tls-ca", certificates.ca},
        QStringLiteral("o servidor não atende com TLS nesse endereço"));
    {
        LoginAnswerer login;
        const QStringList shown = openWith({"--server", QStringLiteral("127.0.0.1:%1").arg(port)});
        ASSERT_FALSE(shown.isEmpty());
        EXPECT_TRUE(shown[0].contains(QStringLiteral("Este servidor só atende com TLS: use https://")))
            << shown[0].toStdString();
        EXPECT_TRUE(login.shown.isEmpty());
    }
    SetWebServer(u"127.0.0.1:8211");
    WebTlsCaFile.clear();
}
