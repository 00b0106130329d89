// TForm: creation order, MDI children, activation, close actions and key preview.
#include "Exceptions.h"
#include "RecordingDialogSeam.h"
#include "TApplication.h"
#include "TForm.h"

#include <QApplication>
#include <QLineEdit>
#include <QMainWindow>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPointer>
#include <QPushButton>
#include <QTest>
#include <gtest/gtest.h>

using namespace trd;

namespace {

// A derived form whose creation handler needs its own member, built in its
// constructor after the base's.
class TfrmExemplo : public TForm {
public:
    TfrmExemplo()
    {
        edtNome = new QLineEdit(this);
        OnCreate = [this](QObject*) { FormCreate(); };
    }
    void FormCreate()
    {
        ++creates;
        nomeAoCriar = edtNome->objectName();
    }
    QLineEdit* edtNome;
    int creates = 0;
    QString nomeAoCriar = QStringLiteral("<não criado>");
};

class MdiHost : public ::testing::Test {
protected:
    void SetUp() override
    {
        window.resize(800, 600);
        area = new QMdiArea(&window);
        window.setCentralWidget(area);
        window.show();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
        Application()->SetMainForm(&window);
        Application()->SetMdiArea(area);
    }
    void TearDown() override
    {
        Application()->SetMdiArea(nullptr);
        Application()->SetMainForm(nullptr);
    }
    QMainWindow window;
    QMdiArea* area = nullptr;
    RecordingDialogSeam seam;
};

} // namespace

TEST(Form, CreateFormRunsOnCreateOnceAfterTheWholeFormIsBuilt)
{
    std::unique_ptr<TfrmExemplo> form(CreateForm<TfrmExemplo>());
    form->edtNome->setObjectName(QStringLiteral("edtNome"));
    EXPECT_EQ(form->creates, 1);
    EXPECT_EQ(form->nomeAoCriar, QString()); // the member existed when FormCreate ran
    form->DoCreate();
    EXPECT_EQ(form->creates, 1);
}

TEST(Form, AnErrorInOnCreateIsShownAndTheFormStillOpens)
{
    RecordingDialogSeam seam;
    struct Failing : TForm {
        Failing()
        {
            OnCreate = [](QObject*) { throw Exception(QStringLiteral("Servidor indisponível.")); };
        }
    };
    std::unique_ptr<Failing> form(CreateForm<Failing>());
    EXPECT_TRUE(form->Created());
    EXPECT_EQ(seam.errors(), QStringList{QStringLiteral("Servidor indisponível.")});
    form->Show();
    EXPECT_TRUE(form->isVisible());
}

TEST_F(MdiHost, MdiChildGoesIntoTheAreaMaximisedAndAShowAgainBringsItForward)
{
    auto* form = CreateForm<TForm>();
    form->SetFormStyle(fsMDIChild);
    form->SetCaption(QStringLiteral("Tradução"));
    form->SetWindowState(wsMaximized);
    int activations = 0;
    form->OnActivate = [&](QObject*) { ++activations; };
    form->Show();
    QApplication::processEvents();
    ASSERT_NE(form->SubWindow(), nullptr);
    EXPECT_EQ(area->subWindowList().size(), 1);
    EXPECT_TRUE(form->SubWindow()->isMaximized());
    EXPECT_EQ(form->WindowState(), wsMaximized);
    EXPECT_EQ(area->activeSubWindow(), form->SubWindow());
    EXPECT_EQ(activations, 1);

    auto* other = CreateForm<TForm>();
    other->SetFormStyle(fsMDIChild);
    other->Show();
    QApplication::processEvents();
    EXPECT_EQ(area->activeSubWindow(), other->SubWindow());

    form->Show(); // the open one comes back, no second subwindow
    QApplication::processEvents();
    EXPECT_EQ(area->subWindowList().size(), 2);
    EXPECT_EQ(area->activeSubWindow(), form->SubWindow());
    EXPECT_EQ(activations, 2);
    delete form->SubWindow();
    delete other->SubWindow();
}

TEST_F(MdiHost, CloseWithCaFreeReleasesTheFormAndItsSubwindowEvenFromItsOwnHandler)
{
    auto* form = CreateForm<TForm>();
    form->SetFormStyle(fsMDIChild);
    form->OnClose = [](QObject*, TCloseAction& action) { action = caFree; };
    auto* button = new QPushButton(form);
    QObject::connect(button, &QPushButton::clicked, form, [form] {
        form->Close();
        // Still alive until the event is over.
        form->SetCaption(QStringLiteral("fechando"));
    });
    form->Show();
    QApplication::processEvents();
    QPointer<TForm> formGuard(form);
    QPointer<QMdiSubWindow> subGuard(form->SubWindow());
    button->click();
    EXPECT_FALSE(formGuard.isNull());
    QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(formGuard.isNull());
    EXPECT_TRUE(subGuard.isNull());
    EXPECT_TRUE(area->subWindowList().isEmpty());
}

TEST_F(MdiHost, CloseActionsOfAnMdiChild)
{
    auto* form = CreateForm<TForm>();
    form->SetFormStyle(fsMDIChild);
    TCloseAction next = caNone;
    TCloseAction offered = caFree;
    form->OnClose = [&](QObject*, TCloseAction& action) {
        offered = action;
        action = next;
    };
    form->Show();
    QApplication::processEvents();
    QMdiSubWindow* sub = form->SubWindow();

    form->Close();
    EXPECT_EQ(offered, caMinimize); // the framework's default for an MDI child
    EXPECT_TRUE(sub->isVisible());
    EXPECT_FALSE(sub->isMinimized());

    next = caMinimize;
    sub->close(); // the subwindow's own close button asks the form
    EXPECT_TRUE(sub->isMinimized());

    next = caHide;
    form->Close();
    EXPECT_FALSE(sub->isVisible());
    form->Show();
    EXPECT_TRUE(sub->isVisible());

    QPointer<TForm> guard(form);
    next = caFree;
    sub->close();
    QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(guard.isNull());
}

TEST(Form, NormalFormHidesByDefaultAndActivatesAsAWindow)
{
    TForm form;
    int activations = 0;
    int shows = 0;
    form.OnActivate = [&](QObject*) { ++activations; };
    form.OnShow = [&](QObject*) { ++shows; };
    form.Show();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&form));
    EXPECT_GE(activations, 1);
    EXPECT_EQ(shows, 1);
    form.Close();
    EXPECT_FALSE(form.isVisible());
}

TEST(Form, KeyPreviewSeesKeysBeforeTheFocusedControlAndCanDiscardThem)
{
    TForm form;
    auto* edit = new QLineEdit(&form);
    std::vector<int> seen;
    form.OnKeyDown = [&](QObject* sender, int& key, Qt::KeyboardModifiers) {
        EXPECT_EQ(sender, &form);
        seen.push_back(key);
        if (key == Qt::Key_X)
            key = 0;
    };
    form.Show();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&form));
    edit->setFocus();

    QTest::keyClick(edit, Qt::Key_A);
    EXPECT_TRUE(seen.empty()); // no preview yet
    form.SetKeyPreview(true);
    QTest::keyClick(edit, Qt::Key_B);
    QTest::keyClick(edit, Qt::Key_X);
    QTest::keyClick(edit, Qt::Key_C);
    EXPECT_EQ(edit->text(), QStringLiteral("abc"));
    EXPECT_EQ(seen, (std::vector<int>{Qt::Key_B, Qt::Key_X, Qt::Key_C})); // once each
}

TEST_F(MdiHost, AFormWithoutOwnerOpensOverTheMainWindowThenKeepsItsPlace)
{
    window.move(100, 50);
    TForm form;
    form.resize(200, 100);
    form.Show();
    const QPoint offset = form.frameGeometry().center() - window.frameGeometry().center();
    EXPECT_LE(offset.manhattanLength(), 10); // the frame is unknown before the first show
    form.move(10, 10);
    form.Close();
    form.Show();
    EXPECT_EQ(form.pos(), QPoint(10, 10));
}

TEST_F(MdiHost, TheFocusGoesBackWhereItWasWhenAModalFormCloses)
{
    auto* edit = new QLineEdit(&window);
    window.setMenuWidget(edit);
    edit->show();
    edit->setFocus();
    ASSERT_EQ(QApplication::focusWidget(), edit);
    TForm dialog;
    auto* field = new QLineEdit(&dialog);
    seam.onModal = [&](TForm& f) {
        field->setFocus();
        f.SetModalResult(mrOk);
    };
    EXPECT_EQ(dialog.ShowModal(), mrOk);
    EXPECT_TRUE(QTest::qWaitFor([&] { return QApplication::focusWidget() == edit; }));
    EXPECT_EQ(QApplication::activeWindow(), &window);
}

TEST_F(MdiHost, TheHourglassOfAScopeGivesWayToTheCursorItWasToldHoweverTheScopeEnds)
{
    // A screen's opening ends on the default cursor...
    Application()->SetCursor(TApplication::crSQLWait);
    {
        const HourGlass opening;
        EXPECT_EQ(Application()->Cursor(), TApplication::crHourGlass);
    }
    EXPECT_EQ(Application()->Cursor(), TApplication::crDefault);
    // ...work under someone else's cursor hands back the one it found, an
    // exception on the way out included.
    Application()->SetCursor(TApplication::crSQLWait);
    EXPECT_THROW(
        {
            const HourGlass busy(Application()->Cursor());
            EXPECT_EQ(QGuiApplication::overrideCursor()->shape(), Qt::WaitCursor);
            throw Exception(QStringLiteral("falhou"));
        },
        Exception);
    EXPECT_EQ(Application()->Cursor(), TApplication::crSQLWait);
    Application()->SetCursor(TApplication::crDefault);
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
}

TEST_F(MdiHost, AModalFormRunsUnderTheDefaultCursorAndGivesTheOpenersBack)
{
    TForm dialog;
    TApplication::TCursor inside = TApplication::crSQLWait;
    seam.onModal = [&](TForm& f) {
        inside = Application()->Cursor();
        f.SetModalResult(mrOk);
    };
    Application()->SetCursor(TApplication::crHourGlass);
    dialog.ShowModal();
    EXPECT_EQ(inside, TApplication::crDefault);
    EXPECT_EQ(Application()->Cursor(), TApplication::crHourGlass);
    EXPECT_EQ(QGuiApplication::overrideCursor()->shape(), Qt::WaitCursor);

    // A handler that sets a cursor of its own keeps it after the form closes.
    seam.onModal = [&](TForm& f) {
        Application()->SetCursor(TApplication::crSQLWait);
        f.SetModalResult(mrOk);
    };
    dialog.ShowModal();
    EXPECT_EQ(Application()->Cursor(), TApplication::crSQLWait);
    Application()->SetCursor(TApplication::crDefault);
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
}
