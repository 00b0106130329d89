#pragma once
// Real input for tests on an X display (Xvfb): keys and clicks are made by
// the X server itself through its XTEST extension, so they reach whatever
// window and control has the focus there, pass the window's shortcuts and
// menus, and take the paths a user's keys take. Nothing is sent to a widget
// chosen by the test.
//
// Each call returns once this application has received and handled what it
// sent (a marker sent after the input comes back through the same
// connection), so the next step sees its effect; a modal dialog the input
// opened is answered inside that wait by whatever answers it in the test.
#include <QPoint>
#include <QString>

#include <memory>

class QWidget;

namespace trd::test {

class RealInput {
public:
    RealInput(); // the display of $DISPLAY
    ~RealInput();
    RealInput(const RealInput&) = delete;
    RealInput& operator=(const RealInput&) = delete;

    bool ok() const;

    // One key with its modifiers, by X key name as xdotool writes them:
    // "Down", "Return", "Escape", "F2", "ctrl+u", "alt+m", "shift+Tab".
    void key(const QString& combo);
    // Types the text character by character, with Shift where the keyboard
    // needs it; a character the keyboard lacks (¶) is typed through a spare
    // key mapped to it for the moment, as a user's layout would have it.
    void type(const QString& text);
    // A left click (or two) at a point of the widget, in its coordinates.
    void click(const QWidget* widget, QPoint at);
    void click(const QWidget* widget);
    void doubleClick(const QWidget* widget, QPoint at);

    // Waits until everything sent so far has been handled here.
    void sync();

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};

} // namespace trd::test
