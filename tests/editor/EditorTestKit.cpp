#include "EditorTestKit.h"

#include "Dispatch.h"
#include "ServerCalls.h"
#include "TNetConnection.h"
#include "TApplication.h"
#include "WebServer.h"

#include <QApplication>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMdiArea>
#include <QTest>

#include <sqlite3.h>

namespace trd::test {

namespace {

QByteArray escaped(const QString& text)
{
    QByteArray out;
    for (const QChar ch : text) {
        switch (ch.unicode()) {
        case '\t':
            out += "\\t";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\\':
            out += "\\\\";
            break;
        default:
            out += QString(ch).toUtf8();
        }
    }
    return out;
}

} // namespace

QByteArray SeedTsv(const QList<Idioma>& idiomas, const QList<Linha>& linhas)
{
    QByteArray tsv;
    for (const Idioma& i : idiomas)
        tsv += "L\t" + escaped(i.codigo) + '\t' + escaped(i.descricao) + "\tPOR\n";
    for (const Linha& l : linhas)
        tsv += "R\t" + escaped(l.idioma) + '\t' + escaped(l.programa) + '\t' + escaped(l.componente) + '\t'
            + escaped(l.origem) + '\t' + escaped(l.destino) + '\t' + escaped(l.situacao) + '\n';
    return tsv;
}

EditorTest::EditorTest()
{
    mdi = new QMdiArea;
    main.setCentralWidget(mdi);
    main.resize(1400, 800);
    Application()->SetMainForm(&main);
    Application()->SetMdiArea(mdi);
    main.show();
    main.activateWindow(); // on an X server without a window manager nothing else does
    EXPECT_TRUE(QTest::qWaitForWindowActive(&main));
    limpaValoresFiltro();
    stIdioma.clear();
}

EditorTest::~EditorTest()
{
    // What a test left typed is no concern of the teardown.
    if (frmTraducao && frmTraducao->cdsDestino->Active())
        frmTraducao->cdsDestino->Cancel();
    closeEditor();
    Application()->SetMdiArea(nullptr);
    Application()->SetMainForm(nullptr);
    limpaValoresFiltro();
}

void EditorTest::startServerFromFile(const QString& tsvPath)
{
    TrdServerProcess::Options options;
    options.importTsv = tsvPath;
    options.extraArgs = serverArgs;
    options.startTimeoutMs = 120000;
    server = std::make_unique<TrdServerProcess>(options);
    ASSERT_TRUE(server->isRunning()) << server->errorString().toStdString();
    proxy = std::make_unique<RecordingProxy>(server->host(), server->port());
    ASSERT_TRUE(SetWebServer(QStringLiteral("127.0.0.1:%1").arg(proxy->port())));
}

void EditorTest::startServer(const QList<Idioma>& idiomas, const QList<Linha>& linhas)
{
    const QString path = dir.filePath(QStringLiteral("seed.tsv"));
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(SeedTsv(idiomas, linhas));
    file.close();
    startServerFromFile(path);
}

TfrmTraducao* EditorTest::openEditor()
{
    IniProc();
    EXPECT_TRUE(frmTraducao);
    if (!frmTraducao)
        return nullptr;
    EXPECT_TRUE(QTest::qWaitFor([] { return frmTraducao->isVisible(); }));
    main.activateWindow();
    EXPECT_TRUE(QTest::qWaitForWindowActive(&main));
    QApplication::processEvents();
    return frmTraducao;
}

TfrmTraducao* EditorTest::openLoaded(const QList<Idioma>& idiomas, const QList<Linha>& linhas, const QString& item)
{
    startServer(idiomas, linhas);
    TfrmTraducao* form = openEditor();
    if (form)
        loadLanguage(item);
    return form;
}

void EditorTest::closeEditor()
{
    // As the window's close button does: a refusal is shown, not thrown.
    if (frmTraducao)
        Dispatch([] { frmTraducao->Close(); });
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QApplication::processEvents();
}

void EditorTest::chooseLanguage(const QString& item)
{
    const int index = frmTraducao->cbbIdioma->findText(item);
    ASSERT_GE(index, 0) << item.toStdString();
    frmTraducao->cbbIdioma->setCurrentIndex(index);
    QApplication::processEvents();
}

void EditorTest::leaveLanguagePanel()
{
    // After a modal dialog no window is active and focus would not move.
    main.activateWindow();
    EXPECT_TRUE(QTest::qWaitForWindowActive(&main));
    frmTraducao->cbbIdioma->setFocus();
    QApplication::processEvents();
    frmTraducao->dbgPadrao->setFocus();
    // The exit is handled once the focus change is over.
    QApplication::processEvents();
    QApplication::processEvents();
}

void EditorTest::reload()
{
    // Before the first load the query button is still disabled, as created;
    // the action itself is what the tests exercise.
    Dispatch([] { frmTraducao->sbtVerificar->Click(); });
    QApplication::processEvents();
}

void EditorTest::loadLanguage(const QString& item)
{
    chooseLanguage(item);
    reload();
}

bool EditorTest::locate(const QString& origem)
{
    return frmTraducao->cdsDestino->Locate(QStringLiteral("STAGRVALPROP"), {origem});
}

QStringList EditorTest::dbRow(const QString& idioma, const QString& origem) const
{
    sqlite3* db = nullptr;
    QStringList values;
    if (sqlite3_open_v2(server->dbPath().toUtf8().constData(), &db, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) {
        ADD_FAILURE() << "cannot open " << server->dbPath().toStdString();
        sqlite3_close(db);
        return values;
    }
    sqlite3_stmt* st = nullptr;
    sqlite3_prepare_v2(db, "SELECT STVALORPROP, IDSITTRADUCAO FROM TRADUCAO WHERE IDIDIOMA = ? AND STAGRVALPROP = ?",
                       -1, &st, nullptr);
    const QByteArray a = idioma.toUtf8(), b = origem.toUtf8();
    sqlite3_bind_text(st, 1, a.constData(), static_cast<int>(a.size()), SQLITE_TRANSIENT);
    sqlite3_bind_text(st, 2, b.constData(), static_cast<int>(b.size()), SQLITE_TRANSIENT);
    if (sqlite3_step(st) == SQLITE_ROW) {
        values << QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(st, 0)))
               << QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(st, 1)));
    }
    sqlite3_finalize(st);
    sqlite3_close(db);
    return values;
}

int EditorTest::dbCount(const QString& idioma) const
{
    sqlite3* db = nullptr;
    int count = -1;
    if (sqlite3_open_v2(server->dbPath().toUtf8().constData(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK) {
        sqlite3_stmt* st = nullptr;
        sqlite3_prepare_v2(db, "SELECT COUNT(*) FROM TRADUCAO WHERE IDIDIOMA = ?", -1, &st, nullptr);
        const QByteArray a = idioma.toUtf8();
        sqlite3_bind_text(st, 1, a.constData(), static_cast<int>(a.size()), SQLITE_TRANSIENT);
        if (sqlite3_step(st) == SQLITE_ROW)
            count = sqlite3_column_int(st, 0);
        sqlite3_finalize(st);
    }
    sqlite3_close(db);
    return count;
}

void EditorTest::changeBehindTheEditor(const QString& origem, const QString& destino)
{
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(server->dbPath().toUtf8().constData(), &db), SQLITE_OK);
    sqlite3_busy_timeout(db, 5000);
    sqlite3_stmt* st = nullptr;
    sqlite3_prepare_v2(db, "UPDATE TRADUCAO SET STVALORPROP = ? WHERE STAGRVALPROP = ?", -1, &st, nullptr);
    const QByteArray a = destino.toUtf8(), b = origem.toUtf8();
    sqlite3_bind_text(st, 1, a.constData(), static_cast<int>(a.size()), SQLITE_TRANSIENT);
    sqlite3_bind_text(st, 2, b.constData(), static_cast<int>(b.size()), SQLITE_TRANSIENT);
    EXPECT_EQ(sqlite3_step(st), SQLITE_DONE) << sqlite3_errmsg(db);
    sqlite3_finalize(st);
    sqlite3_close(db);
}

void EditorTest::saveFromAnotherClient(const QString& idioma, const QString& origem, const QString& destino)
{
    TNetConnection conexao;
    conexao.ServerName = ServerNameTraducao;
    conexao.ThrowException = false;
    TClientDataSet linhas;
    linhas.SetData(
        CheckResultServ(conexao.AppServer().Call(metodo::GetDestino,
                                                 {QStringLiteral("T"), QStringLiteral("D"), QStringLiteral("N"), idioma,
                                                  TDateTime(0), TDateTime(0), QString()}),
                        true, 0));
    ASSERT_TRUE(linhas.Locate(QStringLiteral("STAGRVALPROP"), {origem})) << origem.toStdString();
    linhas.Edit();
    linhas.FieldByName(QStringLiteral("STVALORPROP"))->SetAsString(destino);
    linhas.Post();
    CheckResultServ(conexao.AppServer().Call(metodo::SetDestino, {linhas.Delta()}), true, 0);
    linhas.MergeChangeLog();
}

int EditorTest::serverCalls(const QString& method) const
{
    int count = 0;
    for (const QByteArray& body : proxy->requests())
        if (QJsonDocument::fromJson(body).object().value(QStringLiteral("method")).toString() == method)
            ++count;
    return count;
}

} // namespace trd::test
