#include "RealInput.h"

#include <QAbstractNativeEventFilter>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QStyleHints>
#include <QTest>
#include <QWidget>
#include <QWindow>

#include <gtest/gtest.h>

#include <X11/XKBlib.h>
#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>
#include <xcb/xcb.h>

#include <vector>

namespace trd::test {

namespace {

// Generous: the loaded build machine may take seconds, never minutes.
constexpr int kSyncWaitMs = 120000;

// Sees the marker come back through this application's own X connection:
// everything sent before it has been received by then.
class MarkerFilter : public QAbstractNativeEventFilter {
public:
    explicit MarkerFilter(quint32 atom) : m_atom(atom) { }
    bool nativeEventFilter(const QByteArray& type, void* message, qintptr*) override
    {
        if (type != "xcb_generic_event_t")
            return false;
        const auto* event = static_cast<const xcb_generic_event_t*>(message);
        if ((event->response_type & 0x7f) != XCB_CLIENT_MESSAGE)
            return false;
        const auto* client = static_cast<const xcb_client_message_event_t*>(message);
        if (client->type != m_atom)
            return false;
        seen = client->data.data32[0];
        return true;
    }
    quint32 seen = 0;

private:
    quint32 m_atom;
};

} // namespace

struct RealInput::Impl {
    Display* display = nullptr;
    QWindow window; // the marker's address, never shown
    Atom atom = 0;
    std::unique_ptr<MarkerFilter> filter;
    quint32 sent = 0;
    QElapsedTimer lastClick;

    // Two single clicks at one place are two clicks only when the second
    // comes after the double-click time, as a user's would.
    void spaceClicks()
    {
        const int interval = QGuiApplication::styleHints()->mouseDoubleClickInterval() + 100;
        if (lastClick.isValid() && lastClick.elapsed() < interval)
            QTest::qWait(int(interval - lastClick.elapsed()));
    }

    KeyCode code(KeySym sym) const { return sym == NoSymbol ? 0 : XKeysymToKeycode(display, sym); }
    void press(KeyCode c, bool down) { XTestFakeKeyEvent(display, c, down ? True : False, CurrentTime); }

    // The key and whether it needs Shift, or 0 when no key carries the symbol.
    std::pair<KeyCode, bool> keyFor(KeySym sym) const
    {
        const KeyCode c = code(sym);
        if (!c)
            return {0, false};
        if (XkbKeycodeToKeysym(display, c, 0, 0) == sym)
            return {c, false};
        if (XkbKeycodeToKeysym(display, c, 0, 1) == sym)
            return {c, true};
        return {c, false};
    }

    KeyCode spareKey() const
    {
        int min = 0, max = 0, per = 0;
        XDisplayKeycodes(display, &min, &max);
        KeySym* map = XGetKeyboardMapping(display, static_cast<KeyCode>(min), max - min + 1, &per);
        KeyCode spare = 0;
        for (int c = max; c >= min && !spare; --c) {
            bool empty = true;
            for (int i = 0; i < per; ++i)
                empty = empty && map[(c - min) * per + i] == NoSymbol;
            if (empty)
                spare = static_cast<KeyCode>(c);
        }
        XFree(map);
        return spare;
    }
};

RealInput::RealInput() : d(std::make_unique<Impl>())
{
    d->display = XOpenDisplay(nullptr);
    if (!d->display)
        return;
    int event = 0, error = 0, major = 0, minor = 0;
    if (!XTestQueryExtension(d->display, &event, &error, &major, &minor)) {
        XCloseDisplay(d->display);
        d->display = nullptr;
        return;
    }
    d->atom = XInternAtom(d->display, "TRD_REAL_INPUT_MARKER", False);
    d->filter = std::make_unique<MarkerFilter>(static_cast<quint32>(d->atom));
    QCoreApplication::instance()->installNativeEventFilter(d->filter.get());
    d->window.create();
}

RealInput::~RealInput()
{
    if (d->filter)
        QCoreApplication::instance()->removeNativeEventFilter(d->filter.get());
    if (d->display)
        XCloseDisplay(d->display);
}

bool RealInput::ok() const
{
    return d->display != nullptr;
}

void RealInput::sync()
{
    if (!d->display)
        return;
    XEvent marker{};
    marker.xclient.type = ClientMessage;
    marker.xclient.window = static_cast<Window>(d->window.winId());
    marker.xclient.message_type = d->atom;
    marker.xclient.format = 32;
    marker.xclient.data.l[0] = static_cast<long>(++d->sent);
    XSendEvent(d->display, marker.xclient.window, False, NoEventMask, &marker);
    XFlush(d->display);
    const quint32 wanted = d->sent;
    const bool back = QTest::qWaitFor([&] { return d->filter->seen >= wanted; }, kSyncWaitMs);
    EXPECT_TRUE(back) << "the X server did not hand the input over";
    // What came in before the marker is delivered to the widgets now.
    QCoreApplication::processEvents();
    QCoreApplication::processEvents();
}

void RealInput::key(const QString& combo)
{
    if (!d->display)
        return;
    QStringList parts = combo.split(QLatin1Char('+'));
    const QString name = parts.takeLast();
    std::vector<KeyCode> modifiers;
    for (const QString& m : parts) {
        const QString lower = m.toLower();
        const char* sym = lower == QLatin1String("ctrl") ? "Control_L"
            : lower == QLatin1String("alt")              ? "Alt_L"
            : lower == QLatin1String("shift")            ? "Shift_L"
                                                         : "Super_L";
        modifiers.push_back(d->code(XStringToKeysym(sym)));
    }
    KeySym sym = XStringToKeysym(name.toLatin1().constData());
    if (sym == NoSymbol && name.size() == 1)
        sym = name.at(0).unicode();
    const auto [c, shift] = d->keyFor(sym);
    EXPECT_NE(c, 0) << "no key for " << name.toStdString();
    if (!c)
        return;
    if (shift)
        modifiers.push_back(d->code(XK_Shift_L));
    for (KeyCode m : modifiers)
        d->press(m, true);
    d->press(c, true);
    d->press(c, false);
    for (auto it = modifiers.rbegin(); it != modifiers.rend(); ++it)
        d->press(*it, false);
    XFlush(d->display);
    sync();
}

void RealInput::type(const QString& text)
{
    if (!d->display)
        return;
    for (const QChar ch : text) {
        const KeySym sym = ch == QLatin1Char('\n') ? XK_Return
            : ch.unicode() < 0x100                 ? KeySym(ch.unicode())
                                                   : KeySym(0x01000000 | ch.unicode());
        auto [c, shift] = d->keyFor(sym);
        KeyCode spare = 0;
        if (!c) {
            // The keyboard has no key for it: one is given the character for
            // as long as it is typed. Each change is seen here before the key
            // comes, or the key would be read with the other map.
            spare = d->spareKey();
            EXPECT_NE(spare, 0) << "no spare key for U+" << std::hex << int(ch.unicode());
            if (!spare)
                return;
            KeySym both[2] = {sym, sym};
            XChangeKeyboardMapping(d->display, spare, 2, both, 1);
            XSync(d->display, False);
            sync();
            c = spare;
            shift = false;
        }
        if (shift)
            d->press(d->code(XK_Shift_L), true);
        d->press(c, true);
        d->press(c, false);
        if (shift)
            d->press(d->code(XK_Shift_L), false);
        XFlush(d->display);
        sync();
        if (spare) {
            KeySym none[2] = {NoSymbol, NoSymbol};
            XChangeKeyboardMapping(d->display, spare, 2, none, 1);
            XSync(d->display, False);
            sync();
        }
    }
}

void RealInput::click(const QWidget* widget, QPoint at)
{
    if (!d->display)
        return;
    d->spaceClicks();
    const QPoint global = widget->mapToGlobal(at);
    XTestFakeMotionEvent(d->display, -1, global.x(), global.y(), CurrentTime);
    XTestFakeButtonEvent(d->display, 1, True, CurrentTime);
    XTestFakeButtonEvent(d->display, 1, False, CurrentTime);
    XFlush(d->display);
    sync();
    d->lastClick.start();
}

void RealInput::click(const QWidget* widget)
{
    click(widget, widget->rect().center());
}

void RealInput::doubleClick(const QWidget* widget, QPoint at)
{
    if (!d->display)
        return;
    d->spaceClicks();
    const QPoint global = widget->mapToGlobal(at);
    XTestFakeMotionEvent(d->display, -1, global.x(), global.y(), CurrentTime);
    for (int i = 0; i < 2; ++i) {
        XTestFakeButtonEvent(d->display, 1, True, CurrentTime);
        XTestFakeButtonEvent(d->display, 1, False, CurrentTime);
    }
    XFlush(d->display);
    sync();
    d->lastClick.start();
}

} // namespace trd::test
