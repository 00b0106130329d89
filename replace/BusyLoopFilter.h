#pragma once
// What a long loop on the user-interface thread needs around it when it lets
// pending messages through once per step (so that a stop button works):
//  - input reaches only the widgets of one panel (the stop button's); every
//    other click, key, wheel turn or shortcut is dropped and other windows
//    refuse to close, so nothing can pull the loop's data from under it;
//    Escape anywhere calls back (to stop); a modal window the loop opens
//    (a question about a row) is left alone, with its input and painting;
//  - painting and layout are held back and delivered at most once a frame:
//    each step may change what is shown (a row's texts, a label), and
//    painting each change at once would cost more than the step itself,
//    while a person sees no more than a few dozen frames a second. Nothing
//    is lost: a window that asked to be painted is painted at the next frame
//    with everything that changed since.
#include <QElapsedTimer>
#include <QObject>
#include <QPointer>

#include <functional>
#include <vector>

class QWidget;

namespace trd {

class BusyLoopFilter : public QObject {
public:
    // `allowed`: the panel whose widgets keep their input. `ownWindow`: the
    // window of the loop, whose close its own handler turns into a stop.
    BusyLoopFilter(QWidget* allowed, QWidget* ownWindow, std::function<void()> onEscape);
    // Stops filtering and delivers whatever is still held back.
    ~BusyLoopFilter() override;
    BusyLoopFilter(const BusyLoopFilter&) = delete;
    BusyLoopFilter& operator=(const BusyLoopFilter&) = delete;

    static constexpr qint64 FrameMs = 33;

    // A frame's time has passed since the last delivery.
    bool FrameDue() const { return m_sinceFrame.elapsed() >= FrameMs; }
    // Delivers the held-back and pending layouts and paintings now.
    void Frame();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    bool blocksInput(QObject* watched, QEvent* event) const;
    void deliver();

    QPointer<QWidget> m_allowed;
    QPointer<QWidget> m_ownWindow;
    std::function<void()> m_onEscape;
    std::vector<QPointer<QWidget>> m_layouts; // widgets whose layout request waits
    std::vector<QPointer<QWidget>> m_paintings; // windows whose painting waits
    QElapsedTimer m_sinceFrame;
    bool m_delivering = false;
};

} // namespace trd
