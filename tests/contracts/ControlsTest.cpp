// The shared controls with the real widgets: flat button, date field, number
// field and the busy indicator.
#include "EventCounter.h"
#include "Glyphs.h"
#include "MensErro.h"
#include "RecordingDialogSeam.h"
#include "ShowAvi.h"
#include "TApplication.h"
#include "TButtonFlat.h"
#include "TDateEditPlus.h"
#include "TNumberEdit.h"
#include "TextFunctions.h"
#include "FloatFormat.h"
#include "TCanvas.h"

#include <QApplication>
#include <QCalendarWidget>
#include <QElapsedTimer>
#include <QLabel>
#include <QMainWindow>
#include <QTest>
#include <QThread>

#include <gtest/gtest.h>

#include <stdexcept>

using namespace trd;

namespace {

QImage iconImage(const QToolButton& b, QIcon::Mode mode)
{
    return b.icon().pixmap(QSize(16, 16), mode).toImage().convertToFormat(QImage::Format_ARGB32);
}

} // namespace

TEST(TButtonFlatTest, TwoGlyphBitmapGivesNormalAndDisabledPictures)
{
    TButtonFlat button;
    QImage both(32, 16, QImage::Format_ARGB32);
    both.fill(Qt::red);
    for (int y = 0; y < 16; ++y)
        for (int x = 16; x < 32; ++x)
            both.setPixel(x, y, qRgb(0, 0, 255));
    button.SetGlyph(both);
    EXPECT_EQ(button.Glyph(), both);
    EXPECT_EQ(iconImage(button, QIcon::Normal).pixelColor(8, 8), QColor(Qt::red));
    EXPECT_EQ(iconImage(button, QIcon::Disabled).pixelColor(8, 8), QColor(Qt::blue));

    // Replacing the glyph (as the status buttons switch lamps) replaces the picture.
    both.fill(Qt::green);
    button.SetGlyph(both);
    EXPECT_EQ(iconImage(button, QIcon::Normal).pixelColor(8, 8), QColor(Qt::green));
    EXPECT_EQ(button.size(), QSize(21, 21));
}

TEST(TButtonFlatTest, ClickRunsTheHandlerAndAUserClickGoesThroughDispatch)
{
    RecordingDialogSeam seam;
    TButtonFlat button;
    button.Tag = 1;
    int clicks = 0;
    QObject* sender = nullptr;
    button.OnClick = [&](QObject* s) {
        ++clicks;
        sender = s;
    };
    button.Click();
    EXPECT_EQ(clicks, 1);
    EXPECT_EQ(sender, &button);
    EXPECT_EQ(button.Tag, 1);

    button.show();
    QTest::mouseClick(&button, Qt::LeftButton);
    EXPECT_EQ(clicks, 2);

    // A failing handler: its error reaches the error display, not the event loop.
    button.OnClick = [](QObject*) { throw Exception(QStringLiteral("falhou")); };
    QTest::mouseClick(&button, Qt::LeftButton);
    EXPECT_EQ(seam.errors(), QStringList{QStringLiteral("falhou")});
    // A MensErro inside shows its message once, and nothing else.
    button.OnClick = [](QObject*) { MensErro(QStringLiteral("recusado")); };
    QTest::mouseClick(&button, Qt::LeftButton);
    EXPECT_EQ(seam.messages(), QStringList{QStringLiteral("recusado")});
    EXPECT_EQ(seam.errors().size(), 1);

    button.setEnabled(false);
    QTest::mouseClick(&button, Qt::LeftButton);
    EXPECT_EQ(seam.messages().size(), 1);
}

TEST(TButtonFlatTest, AnEnabledSwitchIsPaintedOnlyIfItStillHoldsOnceTheHandlerIsOver)
{
    test::EventCounter paints(QEvent::Paint);
    QWidget panel;
    panel.resize(80, 30);
    auto* button = new TButtonFlat(&panel);
    // The event loop's turns: the settled state is painted on the turn after
    // the handler, its paint on the next.
    auto turns = [] { QTest::qWait(30); };
    panel.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&panel));
    turns();
    button->installEventFilter(&paints);

    // Off and on again inside one handler, as a post does to the record actions.
    button->setEnabled(false);
    button->setEnabled(true);
    turns();
    EXPECT_EQ(paints.count, 0);

    // A real switch is painted, once; a button held down when switched off lets go.
    button->setDown(true);
    turns();
    paints.count = 0;
    button->setEnabled(false);
    EXPECT_FALSE(button->isDown());
    turns();
    EXPECT_EQ(paints.count, 1);
    button->setEnabled(true);
    turns();
    EXPECT_EQ(paints.count, 2);
}

TEST(GlyphsTest, DisabledPictureIsGreyAndDiffersFromTheNormalOne)
{
    const QImage both = glyphs::TwoGlyphs(glyphs::Confirmar);
    ASSERT_EQ(both.size(), QSize(32, 16));
    bool differs = false, coloured = false, grey = true;
    for (int y = 0; y < 16; ++y) {
        for (int x = 0; x < 16; ++x) {
            const QColor n = both.pixelColor(x, y), d = both.pixelColor(x + 16, y);
            differs |= n != d;
            coloured |= n.alpha() > 0 && (n.red() != n.green() || n.green() != n.blue());
            if (d.alpha() > 0)
                grey &= d.red() == d.green() && d.green() == d.blue();
        }
    }
    EXPECT_TRUE(differs);
    EXPECT_TRUE(coloured);
    EXPECT_TRUE(grey);
}

TEST(TDateEditPlusTest, GivesTheDayWithoutTimeOrZero)
{
    TDateEditPlus edit;
    EXPECT_EQ(edit.GetDate(), 0);
    edit.setText(QStringLiteral("31/03/2024"));
    EXPECT_EQ(edit.GetDate(), EncodeDate(2024, 3, 31));
    edit.SetDate(EncodeDate(2024, 2, 29) + 0.75); // a time of day is dropped
    EXPECT_EQ(edit.text(), QStringLiteral("29/02/2024"));
    EXPECT_EQ(edit.GetDate(), EncodeDate(2024, 2, 29));
    edit.setText(QStringLiteral("31/02/2024"));
    EXPECT_EQ(edit.GetDate(), 0);
    edit.SetDate(0);
    EXPECT_TRUE(EmptyString(edit.text()));
}

TEST(TDateEditPlusTest, AValidDateIsBlueOnTheInfoTipColour)
{
    TDateEditPlus edit;
    edit.setText(QStringLiteral("01/03/2024"));
    EXPECT_EQ(edit.palette().color(QPalette::Text), QColor(0, 0, 255));
    EXPECT_EQ(edit.palette().color(QPalette::Base), clInfoBk());
    edit.setText(QStringLiteral("01/13/2024"));
    EXPECT_NE(edit.palette().color(QPalette::Text), QColor(0, 0, 255));
}

TEST(TDateEditPlusTest, CheckValidDateRefusesAnInvalidDateAndTakesTheFocus)
{
    RecordingDialogSeam seam;
    QWidget window;
    auto* edit = new TDateEditPlus(&window);
    auto* other = new QLineEdit(&window);
    other->move(0, 40);
    window.show();
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));

    edit->setText(QString());
    EXPECT_NO_THROW(edit->CheckValidDate()); // empty is no date, not a wrong one
    edit->setText(QStringLiteral("10/10/2024"));
    EXPECT_NO_THROW(edit->CheckValidDate());

    other->setFocus();
    edit->setText(QStringLiteral("32/01/2024"));
    EXPECT_THROW(edit->CheckValidDate(), EMensErro);
    EXPECT_TRUE(edit->hasFocus());
    EXPECT_EQ(seam.messages(), QStringList{QStringLiteral("'32/01/2024' não é uma data válida.")});
}

TEST(TDateEditPlusTest, ExitRunsWhenTheFocusMovesOn)
{
    QWidget window;
    auto* edit = new TDateEditPlus(&window);
    auto* other = new QLineEdit(&window);
    other->move(0, 40);
    window.show();
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    int exits = 0;
    edit->OnExit = [&](QObject* s) {
        EXPECT_EQ(s, edit);
        ++exits;
    };
    edit->setFocus();
    QTest::keyClicks(edit, QStringLiteral("01/02/2025"));
    // Opening its own calendar is no exit: a half-typed date must not be checked then.
    QTest::keyClick(edit, Qt::Key_Down, Qt::AltModifier);
    ASSERT_NE(edit->CalendarPopup(), nullptr);
    EXPECT_TRUE(edit->CalendarPopup()->isVisible());
    EXPECT_EQ(exits, 0);
    edit->CalendarPopup()->hide();
    edit->setFocus();
    QTest::keyClick(edit, Qt::Key_Tab);
    EXPECT_EQ(exits, 1);
    EXPECT_TRUE(other->hasFocus());
}

// The short forms a masked date field takes are whole dates, shown whole once
// the field is left; a filled date is typed over when the user clicks into it.
TEST(TDateEditPlusTest, ShortFormsAreWholeDatesAndAFilledDateIsTypedOver)
{
    QWidget window;
    auto* edit = new TDateEditPlus(&window);
    auto* other = new QLineEdit(&window);
    other->move(0, 40);
    window.show();
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));

    edit->setFocus();
    QTest::keyClicks(edit, QStringLiteral("1/1/27"));
    EXPECT_EQ(edit->GetDate(), EncodeDate(2027, 1, 1));
    QTest::keyClick(edit, Qt::Key_Tab);
    EXPECT_EQ(edit->text(), QStringLiteral("01/01/2027"));

    QTest::mouseClick(edit, Qt::LeftButton, {}, QPoint(5, edit->height() / 2));
    EXPECT_TRUE(QTest::qWaitFor([&] { return edit->selectedText() == edit->text(); }));
    QTest::keyClicks(edit, QStringLiteral("15/3/24"));
    EXPECT_EQ(edit->GetDate(), EncodeDate(2024, 3, 15));
}

TEST(TDateEditPlusTest, CalendarShowsPortugueseWeekdaysAndPicksADate)
{
    QWidget window;
    auto* edit = new TDateEditPlus(&window);
    window.show();
    edit->SetDate(EncodeDate(2024, 3, 15));
    edit->ShowCalendar();
    QWidget* popup = edit->CalendarPopup();
    ASSERT_NE(popup, nullptr);
    EXPECT_TRUE(popup->isVisible());
    QStringList names;
    for (int i = 0; i < 7; ++i)
        names << popup->findChild<QLabel*>(QStringLiteral("lblDia%1").arg(i))->text();
    EXPECT_EQ(names,
              (QStringList{QStringLiteral("Domingo"), QStringLiteral("Segunda"), QStringLiteral("Terça"),
                           QStringLiteral("Quarta"), QStringLiteral("Quinta"), QStringLiteral("Sexta"),
                           QStringLiteral("Sábado")}));
    EXPECT_EQ(edit->Calendar()->firstDayOfWeek(), Qt::Sunday);
    EXPECT_EQ(edit->Calendar()->selectedDate(), QDate(2024, 3, 15));

    emit edit->Calendar()->clicked(QDate(2024, 4, 2));
    EXPECT_EQ(edit->GetDate(), EncodeDate(2024, 4, 2));
    EXPECT_FALSE(popup->isVisible());
}

TEST(TNumberEditTest, TypingKeepsANumberWithItsDecimals)
{
    TNumberEdit edit;
    edit.Decimals = 2;
    edit.show();
    QTest::keyClicks(&edit, QStringLiteral("1a2,3,45"));
    EXPECT_EQ(edit.text(), QStringLiteral("12") + DecimalSeparator() + QStringLiteral("34"));
    EXPECT_DOUBLE_EQ(edit.GetNumber(), 12.34);
    edit.setText(QStringLiteral("0.5"));
    EXPECT_DOUBLE_EQ(edit.GetNumber(), 0.5);
    edit.setText(QString());
    EXPECT_EQ(edit.GetNumber(), 0);
    edit.SetNumber(2.5);
    EXPECT_DOUBLE_EQ(edit.GetNumber(), 2.5);
}

TEST(TNumberEditTest, KeyRefusedByMaxNumberNeverReachesTheField)
{
    TNumberEdit edit;
    edit.Decimals = 7;
    edit.show();
    int changes = 0;
    edit.OnChange = [&](QObject*) { ++changes; };
    edit.OnKeyPress = [&](QObject*, QChar& key) {
        MaxNumber(edit.text(), 5, 7, QString(key), edit.cursorPosition(), int(edit.selectedText().size()));
    };
    QTest::keyClicks(&edit, QStringLiteral("123456"));
    EXPECT_EQ(edit.text(), QStringLiteral("12345"));
    QTest::keyClicks(&edit, QStringLiteral(",12345678"));
    EXPECT_DOUBLE_EQ(edit.GetNumber(), 12345.1234567);
    EXPECT_EQ(changes, 13);

    // A handler may also swap or discard the key.
    edit.setText(QString());
    edit.OnKeyPress = [](QObject*, QChar& key) { key = key == u'9' ? QChar() : key; };
    QTest::keyClicks(&edit, QStringLiteral("1992"));
    EXPECT_EQ(edit.text(), QStringLiteral("12"));
}

TEST(ShowAviTest, AppearsOverTheMainFormOnlyOnceTheWorkLastsAndGoesWhenDeactivated)
{
    QMainWindow main;
    main.resize(800, 600);
    main.show();
    for (int kind : {aviConectando, aviProcessando, aviCarregandoIdiomas}) {
        QElapsedTimer clock;
        clock.start();
        ActiveShowAvi(&main, kind);
        EXPECT_TRUE(ShowAviActive());
        EXPECT_EQ(ShowAviKind(), kind);
        QWidget* avi = main.findChild<QWidget*>(QStringLiteral("aviShowAvi"));
        ASSERT_NE(avi, nullptr);
        // Quick work (a save) must not flash a panel over the grid. (A
        // machine so busy that the delay went by meanwhile shows it rightly.)
        QApplication::processEvents();
        if (clock.elapsed() < ShowAviDelayMs) {
            EXPECT_FALSE(avi->isVisible());
        }
        // Work that lets the event loop run gets it from the delay's timer.
        EXPECT_TRUE(QTest::qWaitFor([&] { return avi->isVisible(); }));
        EXPECT_GE(clock.elapsed(), ShowAviDelayMs * 9 / 10)
            << "not before the delay (a coarse timer may fire 5 % early)";
        EXPECT_TRUE(main.rect().contains(avi->geometry()));
        DeactiveShowAvi();
        EXPECT_FALSE(ShowAviActive());
        EXPECT_FALSE(avi->isVisible());
        // Nothing of a finished wait shows up later.
        QTest::qWait(50);
        EXPECT_FALSE(avi->isVisible());
    }
    EXPECT_EQ(ShowAviText(aviConectando), QStringLiteral("Conectando..."));
    EXPECT_EQ(ShowAviText(aviProcessando), QStringLiteral("Processando..."));
    EXPECT_EQ(ShowAviText(aviCarregandoIdiomas), QStringLiteral("Carregando idiomas..."));
    DeactiveShowAvi(); // a second close is harmless
    EXPECT_EQ(ShowAviKind(), -1);
}

TEST(ShowAviTest, AScopeTakesItDownBeforeTheHandlerOfWhatEndedItRuns)
{
    QMainWindow main;
    main.show();
    bool upInTheHandler = true;
    try {
        const ShowAviScope busy(aviProcessando);
        EXPECT_TRUE(ShowAviActive());
        EXPECT_EQ(ShowAviKind(), aviProcessando);
        throw std::runtime_error("o servidor recusou");
    } catch (const std::runtime_error&) {
        // Where a screen shows the refusal: under the animation it would be covered.
        upInTheHandler = ShowAviActive();
    }
    EXPECT_FALSE(upInTheHandler);
    {
        const ShowAviScope busy(aviConectando);
        EXPECT_EQ(ShowAviKind(), aviConectando);
    }
    EXPECT_FALSE(ShowAviActive());
    EXPECT_EQ(ShowAviKind(), -1);
}

TEST(ShowAviTest, ABlockedCallerShowsAndTurnsItThroughThePump)
{
    QMainWindow main;
    main.resize(800, 600);
    main.show();
    QElapsedTimer clock;
    clock.start();
    ActiveShowAvi(&main, aviProcessando);
    QWidget* avi = main.findChild<QWidget*>(QStringLiteral("aviShowAvi"));
    ASSERT_NE(avi, nullptr);
    // No event loop from here on, as inside a synchronous call.
    ShowAviPump();
    if (clock.elapsed() < ShowAviDelayMs) { // a busy machine may have gone past the delay already
        EXPECT_FALSE(avi->isVisible());
    }
    while (clock.elapsed() < ShowAviDelayMs + 20)
        QThread::msleep(5);
    ShowAviPump();
    EXPECT_TRUE(avi->isVisible());
    const QImage first = avi->grab().toImage();
    QThread::msleep(100);
    ShowAviPump();
    EXPECT_NE(avi->grab().toImage(), first) << "the dots must turn while the caller waits";
    DeactiveShowAvi();
    EXPECT_FALSE(avi->isVisible());
    ShowAviPump(); // after the work: nothing
    EXPECT_FALSE(avi->isVisible());
}

TEST(ShowAviTest, SwitchingKindsRepaintsTheText)
{
    QMainWindow main;
    main.resize(800, 600);
    main.show();
    auto shot = [&](int kind) {
        ActiveShowAvi(&main, kind);
        QWidget* avi = main.findChild<QWidget*>(QStringLiteral("aviShowAvi"));
        return avi ? avi->grab().toImage() : QImage();
    };
    const QImage connecting = shot(aviConectando);
    const QImage processing = shot(aviProcessando);
    ASSERT_FALSE(connecting.isNull());
    // Switching kinds repaints the text: what was drawn for one is not kept for another.
    EXPECT_NE(connecting, processing);
    EXPECT_EQ(shot(aviConectando), connecting);
    DeactiveShowAvi();
}

TEST(ShowAviTest, FallsBackToTheApplicationMainForm)
{
    QMainWindow main;
    main.show();
    Application()->SetMainForm(&main);
    ActiveShowAvi(nullptr, aviProcessando);
    EXPECT_NE(main.findChild<QWidget*>(QStringLiteral("aviShowAvi")), nullptr);
    DeactiveShowAvi();
    Application()->SetMainForm(nullptr);
    // Without any main form it still shows, on its own.
    ActiveShowAvi(nullptr, aviConectando);
    EXPECT_TRUE(ShowAviActive());
    DeactiveShowAvi();
    EXPECT_FALSE(ShowAviActive());
}

TEST(TDateEditPlusTest, DigitsTypedGetTheirSeparators)
{
    TDateEditPlus edit;
    QTest::keyClicks(&edit, QStringLiteral("31122030"));
    EXPECT_EQ(edit.text(), QStringLiteral("31/12/2030"));
    EXPECT_EQ(edit.GetDate(), EncodeDate(2030, 12, 31));

    edit.clear();
    QTest::keyClicks(&edit, QStringLiteral("1/2/2024")); // separators typed by the user stay as typed
    EXPECT_EQ(edit.text(), QStringLiteral("1/2/2024"));
    EXPECT_EQ(edit.GetDate(), EncodeDate(2024, 2, 1));
}
