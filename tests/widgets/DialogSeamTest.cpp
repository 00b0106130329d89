// The dispatch helper, the application object and the recording seam: what
// every other widget test relies on to answer and observe dialogs.
#include "Dispatch.h"
#include "Exceptions.h"
#include "RecordingDialogSeam.h"
#include "TApplication.h"
#include "TForm.h"
#include "TOpenDialog.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QLineEdit>
#include <QListView>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

#include <stdexcept>
#include <utility>

using namespace trd;

TEST(Dispatch, AbortIsSilentAndOtherErrorsReachTheErrorDisplay)
{
    RecordingDialogSeam seam;
    EXPECT_FALSE(Dispatch([] { Abort(); }));
    EXPECT_TRUE(seam.shown.empty());

    EXPECT_FALSE(Dispatch([] { throw EDBClient(QStringLiteral("Campo 'X' não encontrado.")); }));
    EXPECT_FALSE(Dispatch([] { throw std::runtime_error("falha de E/S"); }));
    EXPECT_FALSE(Dispatch([] { throw 42; }));
    ASSERT_EQ(seam.errors(),
              (QStringList{QStringLiteral("Campo 'X' não encontrado."), QStringLiteral("falha de E/S"),
                           QStringLiteral("Erro inesperado.")}));

    bool ran = false;
    EXPECT_TRUE(Dispatch([&] { ran = true; }));
    EXPECT_TRUE(ran);
    EXPECT_EQ(seam.count(RecordingDialogSeam::Error), 3);
}

TEST(Dispatch, ConnectedSignalRunsHandlerWithLeadingArgumentsAndKeepsErrorsInside)
{
    RecordingDialogSeam seam;
    QPushButton button;
    button.setCheckable(true);
    bool seen = false;
    int calls = 0;
    ConnectDispatch(&button, &QPushButton::toggled, &button, [&](bool checked) { seen = checked; });
    ConnectDispatch(&button, &QPushButton::toggled, &button, [&] {
        ++calls;
        throw Exception(QStringLiteral("Idioma Inválido."));
    });
    button.toggle(); // the exception must not escape into Qt
    EXPECT_TRUE(seen);
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(seam.errors(), QStringList{QStringLiteral("Idioma Inválido.")});
}

TEST(RecordingSeam, AnswersInOrderThenByDefaultAndRecordsWhatWasShown)
{
    RecordingDialogSeam seam;
    seam.answers = {mrNo, mrCancel};
    EXPECT_EQ(MessageDlg(QStringLiteral("Excluir registro?"), mtConfirmation, mbYes | mbNo), mrNo);
    EXPECT_EQ(MessageDlg(QStringLiteral("b"), mtWarning, mbOK | mbCancel), mrCancel);
    // No scripted answer left: the first button, Yes before OK.
    EXPECT_EQ(MessageDlg(QStringLiteral("c"), mtConfirmation, mbNo | mbYes), mrYes);
    EXPECT_EQ(MessageDlg(QStringLiteral("d"), mtInformation, mbOK), mrOk);
    seam.defaultAnswer = mrNo;
    EXPECT_EQ(MessageDlg(QStringLiteral("e"), mtConfirmation, mbYes | mbNo, 7), mrNo);

    ASSERT_EQ(seam.shown.size(), 5u);
    EXPECT_EQ(seam.shown[0].type, mtConfirmation);
    EXPECT_EQ(seam.shown[0].buttons, mbYes | mbNo);
    EXPECT_EQ(seam.shown[4].helpContext, 7);
    EXPECT_EQ(seam.messages().first(), QStringLiteral("Excluir registro?"));
}

TEST(RecordingSeam, RestoresThePreviousSeamWhenDestroyed)
{
    DialogSeam* real = &Application()->Dialogs();
    {
        RecordingDialogSeam outer;
        {
            RecordingDialogSeam inner;
            EXPECT_EQ(&Application()->Dialogs(), &inner);
        }
        EXPECT_EQ(&Application()->Dialogs(), &outer);
    }
    EXPECT_EQ(&Application()->Dialogs(), real);
    EXPECT_NE(dynamic_cast<QtDialogSeam*>(real), nullptr);
}

TEST(OpenDialog, ExecuteGoesThroughTheSeamAndAddsTheDefaultExtension)
{
    RecordingDialogSeam seam;
    TOpenDialog dialog;
    dialog.Title = QStringLiteral("Arquivo de lista de itens não traduzidos");
    dialog.FileName = QStringLiteral("CDSNTRAD.cds");
    dialog.DefaultExt = QStringLiteral(".cds");
    dialog.Filter = QStringLiteral("Arquivos CDS (*.cds)|*.CDS");
    seam.openAnswers = {QStringLiteral("/tmp/lista"), std::nullopt, QStringLiteral("/tmp/b.xml")};

    ASSERT_TRUE(dialog.Execute());
    EXPECT_EQ(dialog.FileName, QStringLiteral("/tmp/lista.cds"));
    EXPECT_FALSE(dialog.Execute());
    EXPECT_EQ(dialog.FileName, QStringLiteral("/tmp/lista.cds")); // a cancel keeps it
    ASSERT_TRUE(dialog.Execute());
    EXPECT_EQ(dialog.FileName, QStringLiteral("/tmp/b.xml"));
    EXPECT_FALSE(dialog.Execute()); // nothing scripted: cancelled
    EXPECT_EQ(seam.count(RecordingDialogSeam::OpenDialog), 4);
    EXPECT_EQ(seam.last(RecordingDialogSeam::OpenDialog)->text, dialog.Title);

    EXPECT_EQ(dialog.QtNameFilters(), QStringList{QStringLiteral("Arquivos CDS (*.cds) (*.[cC][dD][sS])")});
    dialog.Filter = QStringLiteral("Texto|*.txt;*.log|Todos|*.*|Lista|lista[0-9].x");
    EXPECT_EQ(dialog.QtNameFilters(),
              (QStringList{QStringLiteral("Texto (*.[tT][xX][tT] *.[lL][oO][gG])"), QStringLiteral("Todos (*.*)"),
                           QStringLiteral("Lista ([lL][iI][sS][tT][aA][0-9].[xX])")}));
}

TEST(RecordingSeam, ModalFormRunsItsRealLoopWhileTheCallbackActs)
{
    RecordingDialogSeam seam;
    TForm form;
    form.SetCaption(QStringLiteral("Filtro"));
    bool wasModal = false;
    seam.onModal = [&](TForm& f) {
        wasModal = f.IsModal() && QApplication::activeModalWidget() == &f;
        f.SetModalResult(mrOk);
    };
    EXPECT_EQ(form.ShowModal(), mrOk);
    EXPECT_TRUE(wasModal);
    EXPECT_FALSE(form.IsModal());
    EXPECT_FALSE(form.isVisible());
    ASSERT_NE(seam.last(RecordingDialogSeam::Modal), nullptr);
    EXPECT_EQ(seam.last(RecordingDialogSeam::Modal)->text, QStringLiteral("Filtro"));
    EXPECT_EQ(seam.last(RecordingDialogSeam::Modal)->answer, mrOk);

    // A callback that leaves the form open cannot hang the test.
    seam.onModal = [](TForm&) {};
    EXPECT_EQ(form.ShowModal(), mrCancel);
}

TEST(RecordingSeam, OnCloseCanRefuseToEndTheModalLoop)
{
    RecordingDialogSeam seam;
    TForm form;
    int closes = 0;
    form.OnClose = [&](QObject*, TCloseAction& action) {
        if (++closes == 1)
            action = caNone;
    };
    seam.onModal = [&](TForm& f) {
        f.SetModalResult(mrOk); // refused by OnClose: still modal
        QTimer::singleShot(0, &f, [&f] {
            EXPECT_TRUE(f.IsModal());
            EXPECT_EQ(f.ModalResult(), mrNone);
            f.Close(); // a close of a modal form cancels it
        });
    };
    EXPECT_EQ(form.ShowModal(), mrCancel);
    EXPECT_EQ(closes, 2);
}

TEST(Application, CursorIsTheOverrideCursorAndDefaultRemovesIt)
{
    TApplication* app = Application();
    app->SetCursor(TApplication::crHourGlass);
    ASSERT_NE(QApplication::overrideCursor(), nullptr);
    EXPECT_EQ(QApplication::overrideCursor()->shape(), Qt::WaitCursor);
    app->SetCursor(TApplication::crSQLWait);
    EXPECT_EQ(app->Cursor(), TApplication::crSQLWait);
    EXPECT_EQ(QApplication::overrideCursor()->shape(), Qt::BusyCursor);
    app->SetCursor(TApplication::crDefault);
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    app->SetCursor(TApplication::crDefault);
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

TEST(Application, ShowExceptionUsesTheMessageOfOurErrorsAndWhatOfOthers)
{
    RecordingDialogSeam seam;
    Application()->ShowException(EDBClient(QStringLiteral("Arquivo inválido.")));
    Application()->ShowException(std::runtime_error("conexão recusada"));
    EXPECT_EQ(seam.errors(), (QStringList{QStringLiteral("Arquivo inválido."), QStringLiteral("conexão recusada")}));
}

TEST(Application, ProcessMessagesRunsPostedWork)
{
    bool ran = false;
    QTimer::singleShot(0, [&] { ran = true; });
    Application()->ProcessMessages();
    EXPECT_TRUE(ran);
}

namespace {
// Clicks the button with this caption on the message box once it is up.
void clickLater(const QString& caption, QStringList* captions)
{
    QTimer::singleShot(0, [=] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        ASSERT_NE(box, nullptr);
        for (QAbstractButton* b : box->buttons()) {
            captions->append(b->text());
            if (b->text() == caption)
                b->click();
        }
    });
}
} // namespace

TEST(QtSeam, MessageBoxShowsPortugueseButtonsAndReturnsThePressedOne)
{
    QtDialogSeam seam;
    QStringList captions;
    clickLater(QStringLiteral("&Não"), &captions);
    EXPECT_EQ(seam.MessageDlg(QStringLiteral("Excluir registro?"), mtConfirmation, mbYes | mbNo, 0), mrNo);
    EXPECT_TRUE(captions.contains(QStringLiteral("&Sim")));
    EXPECT_TRUE(captions.contains(QStringLiteral("&Não")));

    captions.clear();
    clickLater(QStringLiteral("Cancelar"), &captions);
    EXPECT_EQ(seam.MessageDlg(QStringLiteral("?"), mtWarning, mbOK | mbCancel, 0), mrCancel);
    EXPECT_EQ(captions.size(), 2);

    // Escape answers Cancel, or No when there is no Cancel.
    QTimer::singleShot(0, [] { QTest::keyClick(QApplication::activeModalWidget(), Qt::Key_Escape); });
    EXPECT_EQ(seam.MessageDlg(QStringLiteral("?"), mtConfirmation, mbYes | mbNo, 0), mrNo);
}

TEST(QtSeam, EachButtonOfABoxWithAllOfThemReturnsItsOwnResult)
{
    QtDialogSeam seam;
    const TMsgDlgButtons all = mbYes | mbNo | mbOK | mbCancel | mbAbort | mbRetry | mbIgnore;
    const std::pair<QString, int> expected[] = {
        {QStringLiteral("&Sim"), mrYes},        {QStringLiteral("&Não"), mrNo},
        {QStringLiteral("OK"), mrOk},           {QStringLiteral("Cancelar"), mrCancel},
        {QStringLiteral("&Abortar"), mrAbort},  {QStringLiteral("&Repetir"), mrRetry},
        {QStringLiteral("&Ignorar"), mrIgnore},
    };
    for (const auto& [caption, result] : expected) {
        QStringList captions;
        clickLater(caption, &captions);
        EXPECT_EQ(seam.MessageDlg(QStringLiteral("?"), mtConfirmation, all, 0), result) << caption.toStdString();
        EXPECT_EQ(captions.size(), 7);
    }
    // What the recording seam answers by itself: the first of Yes, OK, No, ... the box has.
    RecordingDialogSeam recording;
    EXPECT_EQ(recording.MessageDlg(QStringLiteral("?"), mtWarning, mbRetry | mbIgnore, 0), mrRetry);
    EXPECT_EQ(recording.MessageDlg(QStringLiteral("?"), mtWarning, mbNo | mbOK, 0), mrOk);
}

TEST(QtSeam, OpenDialogListsThePatternInAnyCaseAndReturnsTheChosenFile)
{
    // A case-sensitive file system: the pattern "*.CDS" must still find the
    // lists a tool wrote in lower case.
    QTemporaryDir pasta;
    for (const char* nome : {"CDSNTRAD.cds", "OUTRA.CDS", "mista.Cds", "notas.txt", "cds"}) {
        QFile f(pasta.filePath(QString::fromLatin1(nome)));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    }
    QtDialogSeam seam;
    TOpenDialog dialog;
    dialog.Title = QStringLiteral("Arquivo de lista de itens não traduzidos");
    dialog.FileName = QStringLiteral("CDSNTRAD.cds");
    dialog.DefaultExt = QStringLiteral(".cds");
    dialog.Filter = QStringLiteral("Arquivos CDS (*.cds)|*.CDS");
    dialog.InitialDir = pasta.path();

    QStringList listados;
    QString entrada, titulo, proposto;
    QTimer::singleShot(0, [&] {
        auto* fd = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(fd, nullptr);
        titulo = fd->windowTitle();
        entrada = fd->findChild<QComboBox*>(QStringLiteral("fileTypeCombo"))->currentText();
        auto* nome = fd->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
        proposto = nome->text();
        auto* lista = fd->findChild<QListView*>(QStringLiteral("listView"));
        // The folder is read in the background.
        EXPECT_TRUE(QTest::qWaitFor([&] { return lista->model()->rowCount(lista->rootIndex()) >= 3; }));
        QTest::qWait(100);
        const QAbstractItemModel* m = lista->model();
        for (int r = 0; r < m->rowCount(lista->rootIndex()); ++r) {
            const QModelIndex i = m->index(r, 0, lista->rootIndex());
            if (m->flags(i) & Qt::ItemIsEnabled)
                listados << i.data().toString();
        }
        nome->setText(QStringLiteral("mista.Cds"));
        QTest::keyClick(nome, Qt::Key_Return);
    });
    ASSERT_TRUE(seam.ExecuteOpenDialog(dialog));
    listados.sort();
    EXPECT_EQ(listados,
              (QStringList{QStringLiteral("CDSNTRAD.cds"), QStringLiteral("OUTRA.CDS"), QStringLiteral("mista.Cds")}));
    EXPECT_EQ(entrada, QStringLiteral("Arquivos CDS (*.cds)"));
    EXPECT_EQ(titulo, dialog.Title);
    EXPECT_EQ(proposto, QStringLiteral("CDSNTRAD.cds"));
    EXPECT_EQ(QFileInfo(dialog.FileName), QFileInfo(pasta.filePath(QStringLiteral("mista.Cds"))));
}
