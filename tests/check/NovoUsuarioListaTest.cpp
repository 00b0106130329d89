// A new user's path with a file of listed rows, in process with the real host
// and package against the demo trd-server: trd-check writes its list into the
// TRD folder beside the programs; in the client the user picks French, leaves
// the language panel, ticks "Filtrar por Arquivo", confirms, accepts the name
// the real file dialog proposes where it opens, and the editor shows exactly
// the rows the file lists, each once.
//
// The package is not linked: the screens are reached only through widgets
// found by their names, keys and clicks.
#include "ClientOptions.h"
#include "MainWindow.h"
#include "RecordingDialogSeam.h"
#include "TApplication.h"
#include "TClientDataSet.h"
#include "TForm.h"
#include "TOpenDialog.h"
#include "TrdServerProcess.h"

#include <QAbstractItemModel>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMdiArea>
#include <QProcess>
#include <QTableView>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include <gtest/gtest.h>

#include <set>

using namespace trd;
using namespace trd::test;

namespace {

// Answers and records message boxes as in the other tests, but shows the
// real file dialog, so the test sees where it opens and what it proposes.
class SeamComDialogoDeArquivo : public RecordingDialogSeam {
public:
    bool ExecuteOpenDialog(TOpenDialog& dialog) override
    {
        shown.push_back({OpenDialog, dialog.Title, mtCustom, 0, 0, mrNone});
        return QtDialogSeam().ExecuteOpenDialog(dialog);
    }
};

template <typename T>
T* achar(QWidget* raiz, const char* nome)
{
    T* w = raiz->findChild<T*>(QString::fromLatin1(nome));
    EXPECT_NE(w, nullptr) << nome;
    return w;
}

// "PROGRAM|COMPONENT|SOURCE" of the rows a file lists as not translated or
// too long (the kinds the dialog's boxes ask for at first), each once.
QStringList itensDaLista(const QString& caminho)
{
    std::set<QString> itens;
    TClientDataSet lista;
    lista.LoadFromFile(caminho);
    for (lista.First(); !lista.Eof(); lista.Next())
        if (lista.FieldByName(QStringLiteral("TPLISTA"))->AsString() != QStringLiteral("Q"))
            itens.insert(lista.FieldByName(QStringLiteral("CDPROGTRAD"))->AsString() + u'|'
                         + lista.FieldByName(QStringLiteral("NMCOMPONENTE"))->AsString() + u'|'
                         + lista.FieldByName(QStringLiteral("STAGRVALPROP"))->AsString());
    return QStringList(itens.begin(), itens.end());
}

} // namespace

TEST(NovoUsuarioListaTest, ProduzAListaEscolheOArquivoEVeExatamenteAsLinhasListadas)
{
    TrdServerProcess::Options opcoes;
    opcoes.demo = true;
    TrdServerProcess servidor(opcoes);
    ASSERT_TRUE(servidor.isRunning()) << servidor.errorString().toStdString();

    // The check runs from the folder of the programs, as installed beside the client.
    const QString binarios = qEnvironmentVariable("TRD_BIN_DIR");
    ASSERT_EQ(QDir(binarios).canonicalPath(), QDir(QCoreApplication::applicationDirPath()).canonicalPath());
    const QString pastaTrd = QDir(binarios).filePath(QStringLiteral("TRD"));
    const QString lista = QDir(pastaTrd).filePath(QStringLiteral("CDSNTRAD.cds"));
    QFile::remove(lista);
    QProcess check;
    check.start(QDir(binarios).filePath(QStringLiteral("trd-check")),
                {QStringLiteral("--server"), servidor.hostPort(), QStringLiteral("FRA")});
    ASSERT_TRUE(check.waitForFinished(120000));
    ASSERT_EQ(check.exitCode(), 0) << check.readAllStandardError().toStdString();
    const QStringList listados = itensDaLista(lista);
    // The demo has both kinds for French.
    ASSERT_GT(listados.size(), 100);

    const ClientOptions linha = ParseClientOptions(
        {QStringLiteral("trd-client"), QStringLiteral("--open"), QStringLiteral("--server"), servidor.hostPort()});
    ASSERT_TRUE(linha.error.isEmpty()) << linha.error.toStdString();
    SeamComDialogoDeArquivo seam;
    MainWindow janela(qEnvironmentVariable("TRD_LIB_DIR"));
    janela.show();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&janela));
    janela.OpenTraducao();
    ASSERT_TRUE(seam.errors().isEmpty()) << seam.errors().join(u'\n').toStdString();
    QWidget* editor = janela.findChild<QWidget*>(QStringLiteral("frmTraducao"));
    ASSERT_NE(editor, nullptr);
    ASSERT_TRUE(QTest::qWaitFor([&] { return editor->isVisible(); }));
    auto* cbbIdioma = achar<QComboBox>(editor, "cbbIdioma");
    auto* grade = achar<QTableView>(editor, "dbgPadrao");
    auto* lblCodigo = achar<QLabel>(editor, "lblCodigo");
    auto* lblNome = achar<QLabel>(editor, "lblNome");
    ASSERT_TRUE(cbbIdioma && grade && lblCodigo && lblNome);

    // Picks French with the keyboard.
    janela.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&janela));
    cbbIdioma->setFocus();
    ASSERT_TRUE(QTest::qWaitFor([&] { return cbbIdioma->hasFocus(); }));
    while (!cbbIdioma->currentText().startsWith(QStringLiteral("FRA"))
           && cbbIdioma->currentIndex() + 1 < cbbIdioma->count())
        QTest::keyClick(cbbIdioma, Qt::Key_Down);
    ASSERT_EQ(cbbIdioma->currentText(), QStringLiteral("FRA-Francês"));

    // The file dialog, when it comes: where it opens, what it proposes; Enter accepts it.
    QString pastaAberta, nomeProposto;
    QStringList arquivosVistos;
    QTimer atende;
    atende.setInterval(50);
    QObject::connect(&atende, &QTimer::timeout, [&] {
        auto* fd = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        if (!fd)
            return;
        atende.stop();
        pastaAberta = fd->directory().absolutePath();
        auto* nome = fd->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
        auto* vista = fd->findChild<QListView*>(QStringLiteral("listView"));
        nomeProposto = nome->text();
        EXPECT_TRUE(QTest::qWaitFor([&] { return vista->model()->rowCount(vista->rootIndex()) > 0; }));
        for (int r = 0; r < vista->model()->rowCount(vista->rootIndex()); ++r)
            arquivosVistos << vista->model()->index(r, 0, vista->rootIndex()).data().toString();
        QTest::keyClick(nome, Qt::Key_Return);
    });

    // Leaving the panel opens the filter dialog: the file filter, by mouse.
    bool confirmou = false;
    seam.onModal = [&](TForm& filtro) {
        ASSERT_TRUE(QTest::qWaitFor([&] { return QApplication::activeWindow() == &filtro; }));
        auto* porArquivo = achar<QCheckBox>(&filtro, "chbFilArq");
        auto* confirma = achar<QToolButton>(&filtro, "sbtConfirma");
        ASSERT_TRUE(porArquivo && confirma);
        QTest::mouseClick(porArquivo, Qt::LeftButton);
        ASSERT_TRUE(porArquivo->isChecked());
        atende.start();
        QTest::mouseClick(confirma, Qt::LeftButton);
        confirmou = true;
    };
    QTest::keyClick(cbbIdioma, Qt::Key_Tab);
    ASSERT_TRUE(QTest::qWaitFor([&] { return confirmou; }, 30000));
    ASSERT_TRUE(QTest::qWaitFor([&] { return QApplication::activeModalWidget() == nullptr; }));
    seam.onModal = nullptr;
    EXPECT_TRUE(seam.messages().isEmpty()) << seam.messages().join(u'\n').toStdString();
    EXPECT_TRUE(seam.errors().isEmpty()) << seam.errors().join(u'\n').toStdString();
    EXPECT_EQ(QDir(pastaAberta).canonicalPath(), QDir(pastaTrd).canonicalPath());
    EXPECT_EQ(nomeProposto, QStringLiteral("CDSNTRAD.cds"));
    EXPECT_TRUE(arquivosVistos.contains(QStringLiteral("CDSNTRAD.cds"))) << arquivosVistos.join(u' ').toStdString();
    EXPECT_EQ(seam.count(RecordingDialogSeam::OpenDialog), 1);

    // Row by row with the keyboard, the grid's source and the detail panel's
    // program and component: exactly the listed rows.
    janela.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&janela));
    const int linhas = grade->model()->rowCount();
    ASSERT_EQ(linhas, listados.size());
    QTest::mouseClick(grade->viewport(), Qt::LeftButton, Qt::NoModifier,
                      grade->visualRect(grade->model()->index(0, 1)).center());
    QStringList vistos;
    for (int r = 0; r < linhas; ++r) {
        ASSERT_EQ(grade->currentIndex().row(), r);
        vistos << lblCodigo->text() + u'|' + lblNome->text() + u'|'
                + grade->currentIndex().siblingAtColumn(1).data().toString();
        if (r + 1 < linhas)
            QTest::keyClick(grade, Qt::Key_Down);
    }
    vistos.sort();
    EXPECT_EQ(vistos, listados);

    janela.MdiArea()->closeAllSubWindows();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QFile::remove(lista);
}
