// The shared base forms with the real widgets: the members a derived screen
// uses, the base handlers attached to the form's events and extended by
// derived handlers, the record actions of the grid form, and the close
// handling that releases a form.
#include "RecordingDialogSeam.h"
#include "TApplication.h"
#include "TClientDataSet.h"
#include "TfrmDadosGerRel.h"
#include "TfrmPadraoSortGrid.h"
#include "TfrmRotiGeral.h"
#include "WebServer.h"

#include <QApplication>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMainWindow>
#include <QTest>

#include <gtest/gtest.h>

using namespace trd;

namespace {

// A dialog as the module's dialogs are written: handlers extend the base's.
class Dialogo : public TfrmRotiGeral {
public:
    QStringList* log;
    TCloseAction closeAs = caFree;
    explicit Dialogo(QStringList* l) : log(l) { }
    void FormCreate(QObject* s) override
    {
        TfrmRotiGeral::FormCreate(s);
        *log << QStringLiteral("create");
    }
    void FormClose(QObject* s, TCloseAction& a) override
    {
        if (closeAs == caFree) {
            TfrmRotiGeral::FormClose(s, a);
            *log << QStringLiteral("close base");
        } else {
            a = closeAs; // the filter dialog's way: hide and keep the instance
            *log << QStringLiteral("close hide");
        }
    }
    void sbtConfirmaClick(QObject*) override { *log << QStringLiteral("confirma"); }
};

QByteArray packetOf(const QStringList& names)
{
    QByteArray xml =
        R"(<?xml version="1.0" encoding="UTF-8" standalone="yes"?><DATAPACKET Version="2.0"><METADATA><FIELDS>)"
        R"(<FIELD attrname="NOME" fieldtype="string" WIDTH="20"/></FIELDS><PARAMS/></METADATA><ROWDATA>)";
    for (const QString& n : names)
        xml += "<ROW NOME=\"" + n.toUtf8() + "\"/>";
    return xml + "</ROWDATA></DATAPACKET>";
}

class Tela : public TfrmPadraoSortGrid {
public:
    TClientDataSet* cds;
    int verificar = 0;
    Tela()
    {
        cds = new TClientDataSet(this);
        dtsPadrao->SetDataSet(cds);
    }
    void sbtVerificarClick(QObject* s) override
    {
        TfrmPadraoSortGrid::sbtVerificarClick(s);
        ++verificar;
    }
};

template <typename T>
T* child(QObject* parent, const char* name)
{
    return parent->findChild<T*>(QString::fromLatin1(name));
}

} // namespace

TEST(TfrmRotiGeralTest, HasItsMembersAndRunsTheDerivedHandlersOnce)
{
    QStringList log;
    QPointer<Dialogo> form = CreateForm<Dialogo>(&log);
    EXPECT_EQ(log, QStringList{QStringLiteral("create")});
    for (const char* name :
         {"lblCodTela", "grbDadosRel", "panMenu", "panHelp", "panBotoes", "sbtConfirma", "sbtCancel"})
        EXPECT_NE(child<QWidget>(form, name), nullptr) << name;
    EXPECT_NE(child<TMessages>(form, "msgPadrao"), nullptr);
    EXPECT_EQ(child<TButtonFlat>(form, "sbtConfirma"), form->sbtConfirma);
    EXPECT_TRUE(form->panMenu->isAncestorOf(form->sbtCancel));
    EXPECT_TRUE(form->panMenu->isAncestorOf(form->lblCodTela));

    form->Show();
    QTest::mouseClick(form->sbtConfirma, Qt::LeftButton);
    EXPECT_EQ(log.last(), QStringLiteral("confirma"));
    form->sbtCancel->Click();
    EXPECT_EQ(log.last(), QStringLiteral("close base"));
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(form.isNull()); // released by the base close handling
}

TEST(TfrmRotiGeralTest, EscapeClosesAndADerivedCloseMayKeepTheForm)
{
    QStringList log;
    QPointer<Dialogo> form = CreateForm<Dialogo>(&log);
    form->closeAs = caHide;
    form->Show();
    ASSERT_TRUE(QTest::qWaitForWindowActive(form));
    QTest::keyClick(QApplication::focusWidget() ? QApplication::focusWidget() : form->grbDadosRel, Qt::Key_Escape);
    EXPECT_EQ(log.last(), QStringLiteral("close hide"));
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    ASSERT_FALSE(form.isNull());
    EXPECT_FALSE(form->isVisible());
    delete form.data();
}

TEST(TfrmRotiGeralTest, ModalDialogEndsByItsCancelButton)
{
    RecordingDialogSeam seam;
    seam.onModal = [](TForm& f) { static_cast<TfrmRotiGeral&>(f).sbtCancel->Click(); };
    QStringList log;
    QPointer<Dialogo> form = CreateForm<Dialogo>(&log);
    form->SetCaption(QStringLiteral("Filtro de Tradução"));
    EXPECT_EQ(form->ShowModal(), mrCancel);
    EXPECT_EQ(log.last(), QStringLiteral("close base"));
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(form.isNull());
}

TEST(TfrmDadosGerRelTest, AddsTheReportChoiceAndAConnectionToTheConfiguredServer)
{
    SetWebServer(u"10.1.2.3:9100");
    auto* form = CreateForm<TfrmDadosGerRel>();
    for (const char* name : {"panRelat", "cbbReportNames", "lblCodRel", "grbDadosRel", "sbtConfirma", "sbtCancel"})
        EXPECT_NE(child<QWidget>(form, name), nullptr) << name;
    EXPECT_NE(child<TMessages>(form, "msgMensagens"), nullptr);
    EXPECT_NE(child<TMessages>(form, "msgPadrao"), nullptr);
    EXPECT_EQ(form->netQRDesign->ServerName, QStringLiteral("Trd09300.rdmTraducao"));
    EXPECT_FALSE(form->netQRDesign->ThrowException);
    EXPECT_EQ(form->netQRDesign->Address(), QStringLiteral("10.1.2.3:9100"));
    SetWebServer(u"127.0.0.1:8211");
    delete form;
}

TEST(TfrmPadraoSortGridTest, HasEveryMemberTheEditorInherits)
{
    auto* form = CreateForm<Tela>();
    for (const char* name :
         {"lblCodTela",   "panMenu",     "sbtIncluir",   "sbtAlterar",    "sbtExcluir", "sbtProcurar",
          "sbtVerificar", "sbtCancelar", "sbtConfirmar", "sbtImprimir",   "sbtAjuda",   "sbtFechar",
          "pgcPadrao",    "tshPadrao",   "panDbgPadrao", "scbFolhaDados", "dbgPadrao",  "panNavigator",
          "dbtNome",      "dbnPadrao",   "mnuMenu",      "mnuManutencao"})
        EXPECT_NE(child<QWidget>(form, name), nullptr) << name;
    EXPECT_NE(child<TDataSource>(form, "dtsPadrao"), nullptr);
    EXPECT_NE(child<TMessages>(form, "msgPadrao"), nullptr);
    EXPECT_EQ(form->msgMensagensPadroes->Msg(QStringLiteral("Excl")),
              QStringLiteral("Confirma a exclusão do registro?"));
    // The grid sits where the editor looks for it.
    EXPECT_TRUE(form->pgcPadrao->isAncestorOf(form->tshPadrao));
    EXPECT_TRUE(form->tshPadrao->isAncestorOf(form->panDbgPadrao));
    EXPECT_TRUE(form->panDbgPadrao->isAncestorOf(form->scbFolhaDados));
    EXPECT_TRUE(form->scbFolhaDados->isAncestorOf(form->dbgPadrao));
    EXPECT_TRUE(form->panNavigator->isAncestorOf(form->dbnPadrao));
    EXPECT_EQ(form->dbgPadrao->DataSource(), form->dtsPadrao);
    EXPECT_EQ(form->dbnPadrao->DataSource(), form->dtsPadrao);
    EXPECT_EQ(form->FormStyle(), fsMDIChild);

    QStringList items;
    for (QAction* a : form->mnuManutencao->actions()) {
        if (a->isSeparator())
            continue;
        items << a->objectName();
        EXPECT_FALSE(a->isEnabled()) << a->objectName().toStdString();
    }
    // The seven record actions, and print last, with the print button.
    EXPECT_EQ(items,
              (QStringList{QStringLiteral("mnuIncluir"), QStringLiteral("mnuAlterar"), QStringLiteral("mnuExcluir"),
                           QStringLiteral("mnuProcurar"), QStringLiteral("mnuVerificar"), QStringLiteral("mnuCancelar"),
                           QStringLiteral("mnuConfirmar"), QStringLiteral("mnuImprimir")}));
    form->SetActionEnabled(form->sbtImprimir, true);
    EXPECT_TRUE(form->mnuImprimir->isEnabled());
    QAction* proprio = form->AddMaintenanceItem("mnuProprio", QStringLiteral("Próprio"));
    EXPECT_EQ(form->mnuManutencao->actions().indexOf(proprio) + 2,
              form->mnuManutencao->actions().indexOf(form->mnuImprimir))
        << "a screen's own items go before the print item";
    // The record actions sit left of where the editor puts its own buttons.
    for (TButtonFlat* b : {form->sbtIncluir, form->sbtAlterar, form->sbtExcluir, form->sbtProcurar, form->sbtVerificar,
                           form->sbtCancelar, form->sbtConfirmar}) {
        EXPECT_LE(b->geometry().right(), 180) << b->objectName().toStdString();
        EXPECT_EQ(b->size(), QSize(21, 21));
        EXPECT_FALSE(b->Glyph().isNull());
    }
    delete form;
}

TEST(TfrmPadraoSortGridTest, RecordActionsFollowTheDataSetAndTheirMenuItemsFollowThem)
{
    auto* form = CreateForm<Tela>();
    form->cds->SetData(packetOf({QStringLiteral("A"), QStringLiteral("B")}));
    EXPECT_TRUE(form->sbtExcluir->isEnabled());
    EXPECT_TRUE(form->mnuExcluir->isEnabled());
    EXPECT_TRUE(form->mnuVerificar->isEnabled());
    EXPECT_FALSE(form->mnuConfirmar->isEnabled());

    form->cds->Edit();
    EXPECT_FALSE(form->sbtExcluir->isEnabled());
    EXPECT_FALSE(form->mnuExcluir->isEnabled());
    EXPECT_TRUE(form->sbtConfirmar->isEnabled());
    EXPECT_TRUE(form->mnuCancelar->isEnabled());
    form->mnuCancelar->trigger();
    EXPECT_EQ(form->cds->State(), TDataSetState::dsBrowse);

    form->mnuVerificar->trigger();
    form->cds->Close();
    EXPECT_FALSE(form->mnuExcluir->isEnabled());
    EXPECT_FALSE(form->mnuIncluir->isEnabled());
    EXPECT_FALSE(form->mnuVerificar->isEnabled());
    form->sbtVerificar->Click();
    EXPECT_EQ(form->verificar, 2); // one handler, two triggers, the derived override runs
    delete form;
}

TEST(TfrmPadraoSortGridTest, DeleteAsksWithTheStandardCatalogFirst)
{
    RecordingDialogSeam seam;
    auto* form = CreateForm<Tela>();
    form->cds->SetData(packetOf({QStringLiteral("A"), QStringLiteral("B")}));
    seam.answers = {mrNo, mrYes};
    form->sbtExcluir->Click();
    EXPECT_EQ(form->cds->RecordCount(), 2);
    form->mnuExcluir->trigger();
    EXPECT_EQ(form->cds->RecordCount(), 1);
    ASSERT_EQ(seam.messages().size(), 2);
    EXPECT_EQ(seam.shown[0].text, QStringLiteral("Confirma a exclusão do registro?"));
    EXPECT_EQ(seam.shown[0].type, mtConfirmation);
    EXPECT_EQ(seam.shown[0].buttons, mbYes | mbNo);
    delete form;
}

TEST(TfrmPadraoSortGridTest, ClosingTheMdiChildReleasesIt)
{
    QMainWindow main;
    auto* area = new QMdiArea(&main);
    main.setCentralWidget(area);
    main.show();
    Application()->SetMdiArea(area);
    QPointer<Tela> form = CreateForm<Tela>();
    form->SetWindowState(wsMaximized);
    form->Show();
    ASSERT_EQ(area->subWindowList().size(), 1);
    EXPECT_TRUE(area->subWindowList().first()->isMaximized());

    form->sbtFechar->Click();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(form.isNull());
    EXPECT_TRUE(area->subWindowList().isEmpty());
    Application()->SetMdiArea(nullptr);
}

TEST(TfrmPadraoSortGridTest, ScreenMenuItemsTakeShortcutsInsideTheForm)
{
    auto* form = CreateForm<Tela>();
    int hits = 0;
    QAction* item = form->AddMaintenanceItem("mnuTeste", QStringLiteral("Teste"), QKeySequence(Qt::CTRL | Qt::Key_U));
    form->AddMaintenanceSeparator("N1");
    QObject::connect(item, &QAction::triggered, [&] { ++hits; });
    form->Show();
    ASSERT_TRUE(QTest::qWaitForWindowActive(form));
    form->dbgPadrao->setFocus();
    QTest::keyClick(form->dbgPadrao, Qt::Key_U, Qt::ControlModifier);
    EXPECT_EQ(hits, 1);
    EXPECT_EQ(form->mnuManutencao->actions().at(7), item);
    EXPECT_TRUE(form->mnuManutencao->actions().at(8)->isSeparator());
    delete form;
}
