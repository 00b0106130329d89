#pragma once
// The application object: the main form and its MDI area, the screen cursor,
// processing pending messages, the general error display, and the dialog seam.
// One per process; trd::Application() returns it. It lives in the shared
// platform UI library so that the host and the package see the same one.
#include "DialogSeam.h"

#include <QPointer>
#include <QWidget>

#include <exception>
#include <memory>

class QMdiArea;

namespace trd {

class TApplication {
public:
    enum TCursor { crDefault, crHourGlass, crSQLWait };

    TApplication();
    ~TApplication();
    TApplication(const TApplication&) = delete;
    TApplication& operator=(const TApplication&) = delete;

    QWidget* MainForm() const;
    void SetMainForm(QWidget* form);
    // Where MDI-child forms go; without one they show as top-level windows.
    QMdiArea* MdiArea() const;
    void SetMdiArea(QMdiArea* area);

    // Handles the events waiting in the queue and returns (no waiting).
    void ProcessMessages();
    // Paints what is waiting to be painted and handles nothing else: no input,
    // no timers, so it is safe inside a handler. A synchronous server call runs
    // it once its request has left, so the screen shows the change while the
    // server works on it instead of after.
    void PaintPending();

    // The screen cursor: an override cursor on the whole application, so any
    // setting replaces the previous one and crDefault removes it.
    void SetCursor(TCursor cursor);
    TCursor Cursor() const;

    // The general error display: a trd::Exception shows its Message(), any
    // other exception its what() text. Goes through the dialog seam.
    void ShowException(const std::exception& error);
    // Shows the exception being handled; call only inside a catch block.
    void HandleException();

    // The form of the application that was activated last (the framework's
    // Screen.ActiveForm): a form's OnActivate runs only when the activation
    // comes from another form, not back from a message box or another program.
    QWidget* ActiveForm() const { return m_activeForm; }
    void SetActiveForm(QWidget* form) { m_activeForm = form; }

    DialogSeam& Dialogs();
    // Installs a seam (not owned); nullptr restores the real Qt dialogs.
    void SetDialogSeam(DialogSeam* seam);

private:
    QPointer<QWidget> m_mainForm;
    QPointer<QMdiArea> m_mdiArea;
    QPointer<QWidget> m_activeForm;
    TCursor m_cursor = crDefault;
    std::unique_ptr<QtDialogSeam> m_qtSeam;
    DialogSeam* m_seam = nullptr;
};

// The process-wide application object.
TApplication* Application();

// The hourglass for as long as a scope works, and `after` however the scope
// is left. A screen's opening ends on the default cursor (a modal loop shows
// the default inside while the user works in it); work done under someone
// else's cursor hands back the one it found.
class HourGlass {
public:
    explicit HourGlass(TApplication::TCursor after = TApplication::crDefault) : m_after(after)
    {
        Application()->SetCursor(TApplication::crHourGlass);
    }
    ~HourGlass() { Application()->SetCursor(m_after); }
    HourGlass(const HourGlass&) = delete;
    HourGlass& operator=(const HourGlass&) = delete;

private:
    TApplication::TCursor m_after;
};

} // namespace trd
