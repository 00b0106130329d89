// The navigator and the data text label on a data source.
#include "EventCounter.h"
#include "GridFixture.h"
#include "TDBNavigator.h"
#include "TDBText.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QToolButton>

using namespace trd;
using namespace trd::test;

namespace {
using Navigator = GridTest;
} // namespace

TEST_F(Navigator, ButtonsFollowStateAndPositionAndAct)
{
    TDBNavigator nav;
    nav.SetDataSource(source);
    EXPECT_FALSE(nav.ButtonEnabled(nbNext)); // closed
    load(3);
    EXPECT_FALSE(nav.Button(nbFirst)->isEnabled());
    EXPECT_TRUE(nav.Button(nbNext)->isEnabled());
    EXPECT_FALSE(nav.Button(nbPost)->isEnabled());
    nav.BtnClick(nbLast);
    EXPECT_EQ(ds->RecNo(), 3);
    EXPECT_FALSE(nav.Button(nbNext)->isEnabled());
    EXPECT_TRUE(nav.Button(nbPrior)->isEnabled());
    nav.BtnClick(nbEdit);
    EXPECT_EQ(ds->State(), TDataSetState::dsEdit);
    EXPECT_TRUE(nav.Button(nbCancel)->isEnabled());
    EXPECT_FALSE(nav.Button(nbInsert)->isEnabled());
    nav.BtnClick(nbCancel);
    EXPECT_EQ(ds->State(), TDataSetState::dsBrowse);
    nav.BtnClick(nbFirst);
    EXPECT_EQ(ds->RecNo(), 1);
}

TEST_F(Navigator, InsertRefusedByTheDataSetIsSilentAndDeleteAsks)
{
    TDBNavigator nav;
    nav.SetDataSource(source);
    load(3);
    ds->BeforeInsert = [](TClientDataSet*) { Abort(); };
    nav.BtnClick(nbInsert);
    EXPECT_EQ(ds->RecordCount(), 3);
    EXPECT_TRUE(seam.shown.empty());

    seam.answers = {mrNo, mrYes};
    nav.BtnClick(nbDelete);
    EXPECT_EQ(ds->RecordCount(), 3);
    nav.BtnClick(nbDelete);
    EXPECT_EQ(ds->RecordCount(), 2);
    EXPECT_EQ(seam.messages(), (QStringList{QStringLiteral("Excluir registro?"), QStringLiteral("Excluir registro?")}));
}

TEST_F(Navigator, DataTextShowsTheFieldOfTheCurrentRow)
{
    TDBText text;
    text.SetDataSource(source);
    text.SetDataField(QStringLiteral("CODIGO"));
    EXPECT_EQ(text.text(), QString());
    load(3);
    EXPECT_EQ(text.text(), QStringLiteral("C1"));
    ds->Last();
    EXPECT_EQ(text.text(), QStringLiteral("C3"));
    ds->Edit();
    ds->FieldByName(QStringLiteral("CODIGO"))->SetAsString(QStringLiteral("X"));
    EXPECT_EQ(text.text(), QStringLiteral("X"));
    ds->Close();
    EXPECT_EQ(text.text(), QString());
}

TEST_F(Navigator, DataTextChangingRowsRepaintsItselfWithoutLayingOutTheWindowAgain)
{
    // A text changing on every save must not make Qt work out every layout up
    // to the window (the editor's status text changes with each mark).
    test::EventCounter requests(QEvent::LayoutRequest);
    QWidget window;
    auto* layout = new QHBoxLayout(&window);
    auto* text = new TDBText(&window);
    layout->addWidget(text, 1);
    text->SetDataSource(source);
    text->SetDataField(QStringLiteral("CODIGO"));
    window.resize(300, 40);
    window.show();
    load(3);
    QApplication::processEvents();
    window.installEventFilter(&requests);
    const QImage before = text->grab().toImage();
    ds->Last();
    QApplication::processEvents();
    EXPECT_EQ(requests.count, 0);
    EXPECT_EQ(text->text(), QStringLiteral("C3"));
    EXPECT_NE(text->grab().toImage(), before) << "the new text must be painted";
}
