#include "TForm.h"

#include "Dispatch.h"
#include "HandBackActivation.h"
#include "TApplication.h"

#include <QApplication>
#include <QCloseEvent>
#include <QEventLoop>
#include <QKeyEvent>
#include <QMdiArea>
#include <QMdiSubWindow>

namespace trd {

namespace {

// A normal state restores a maximized or minimized frame when it is set on a
// shown form; a form being shown only comes back from being minimized.
void showInState(QWidget* frame, TWindowState state, bool restoreNormal)
{
    switch (state) {
    case wsNormal:
        restoreNormal || frame->isMinimized() ? frame->showNormal() : frame->show();
        break;
    case wsMaximized:
        frame->showMaximized();
        break;
    case wsMinimized:
        frame->showMinimized();
        break;
    }
}

} // namespace

TForm::TForm(QWidget* parent) : QWidget(parent, Qt::Window)
{
}

TForm::~TForm()
{
    // A form destroyed inside its own modal loop must not leave the loop
    // running on a dead object.
    if (m_modalLoop)
        m_modalLoop->exit(mrCancel);
}

void TForm::SetFormStyle(TFormStyle style)
{
    m_formStyle = style;
}

TWindowState TForm::WindowState() const
{
    const QWidget* frame = m_subWindow ? static_cast<const QWidget*>(m_subWindow.data()) : this;
    if (frame->isVisible()) {
        if (frame->isMaximized())
            return wsMaximized;
        if (frame->isMinimized())
            return wsMinimized;
        return wsNormal;
    }
    return m_windowState;
}

void TForm::SetWindowState(TWindowState state)
{
    m_windowState = state;
    QWidget* frame = m_subWindow ? static_cast<QWidget*>(m_subWindow.data()) : this;
    if (frame->isVisible())
        showInState(frame, state, true);
}

void TForm::DoCreate()
{
    if (m_created)
        return;
    m_created = true;
    if (OnCreate)
        Dispatch([this] { OnCreate(this); });
}

void TForm::attachToMdiArea()
{
    QMdiArea* area = Application()->MdiArea();
    if (m_subWindow || !area || m_formStyle != fsMDIChild)
        return;
    // Our own subwindow, without delete-on-close: closing follows the form's
    // close action, and releasing the form deletes the subwindow explicitly.
    m_subWindow = new QMdiSubWindow;
    m_subWindow->setWidget(this);
    // A click on a control that takes no focus (a label, a panel, a tool-bar
    // or navigator button) leaves the focus where it is, as in any form: the
    // subwindow taking it would close the grid's open cell editor under the
    // user's typing. Such a click still brings the form forward.
    m_subWindow->setFocusPolicy(Qt::TabFocus);
    m_subWindow->installEventFilter(this);
    area->addSubWindow(m_subWindow);
    connect(area, &QMdiArea::subWindowActivated, this, [this](QMdiSubWindow* window) {
        if (window && window == m_subWindow)
            activated();
    });
}

void TForm::Show()
{
    attachToMdiArea();
    QWidget* frame = m_subWindow ? static_cast<QWidget*>(m_subWindow.data()) : this;
    if (m_subWindow)
        QWidget::show();
    else
        placeOverMainForm();
    showInState(frame, m_windowState, false);
    if (m_subWindow) {
        if (QMdiArea* area = m_subWindow->mdiArea())
            area->setActiveSubWindow(m_subWindow);
    } else {
        raise();
        activateWindow();
    }
}

void TForm::placeOverMainForm()
{
    // A form without an owner window opens centred over the host's main
    // window the first time; afterwards it stays where the user put it.
    QWidget* main = Application()->MainForm();
    if (parentWidget() || testAttribute(Qt::WA_Moved) || !main || main == this || !main->isVisible())
        return;
    QRect frame = frameGeometry();
    frame.moveCenter(main->frameGeometry().center());
    move(frame.topLeft());
}

int TForm::ShowModal()
{
    return Application()->Dialogs().ExecModal(*this);
}

int TForm::RunModalLoop()
{
    if (m_modalLoop)
        return mrNone; // already modal
    QPointer<TForm> self(this);
    // As the framework's ShowModal: the window and control that were active
    // get the focus back when the modal form closes.
    QPointer<QWidget> previousWindow = QApplication::activeWindow();
    QPointer<QWidget> previousFocus = QApplication::focusWidget();
    // Also as ShowModal: the form is filled in under the default cursor
    // whatever busy cursor its opener set, and the opener's cursor comes back
    // unless a handler inside chose one of its own.
    struct CursorGuard {
        TApplication::TCursor saved = Application()->Cursor();
        CursorGuard() { Application()->SetCursor(TApplication::crDefault); }
        ~CursorGuard()
        {
            if (Application()->Cursor() == TApplication::crDefault)
                Application()->SetCursor(saved);
        }
    } cursorGuard;
    m_modalResult = mrNone;
    if (!m_subWindow) {
        setWindowFlag(Qt::Dialog, true);
        setWindowModality(Qt::ApplicationModal);
        placeOverMainForm();
    }
    show();
    raise();
    activateWindow();

    QEventLoop loop;
    m_modalLoop = &loop;
    TCloseAction action = caHide;
    for (;;) {
        if (m_modalResult == mrNone)
            loop.exec(QEventLoop::DialogExec);
        if (!self)
            return mrCancel; // destroyed while modal
        if (m_modalResult == mrNone)
            continue;
        // As the framework does: a modal result closes the form, and OnClose
        // may refuse (caNone), which keeps it open.
        action = caHide;
        bool ok = true;
        if (OnClose)
            ok = Dispatch([&] { OnClose(this, action); });
        if (!self)
            return mrCancel;
        if (!ok || action == caNone) {
            m_modalResult = mrNone;
            continue;
        }
        break;
    }
    m_modalLoop = nullptr;
    hide();
    setWindowModality(Qt::NonModal);
    if (previousWindow && previousWindow != this && previousWindow->isVisible()) {
        previousWindow->activateWindow();
        if (previousFocus && previousFocus->isVisible() && previousFocus->window() == previousWindow)
            previousFocus->setFocus(Qt::OtherFocusReason);
    }
    const int result = m_modalResult;
    if (action == caFree)
        Release();
    return result;
}

void TForm::SetModalResult(int result)
{
    m_modalResult = result;
    if (result != mrNone && m_modalLoop)
        m_modalLoop->quit();
}

TCloseAction TForm::closeAction()
{
    TCloseAction action = m_formStyle == fsMDIChild ? caMinimize : caHide;
    if (OnClose)
        OnClose(this, action);
    return action;
}

void TForm::applyCloseAction(TCloseAction action)
{
    QWidget* frame = m_subWindow ? static_cast<QWidget*>(m_subWindow.data()) : this;
    switch (action) {
    case caNone:
        break;
    case caHide:
        frame->hide();
        break;
    case caMinimize:
        frame->showMinimized();
        break;
    case caFree:
        Release();
        break;
    }
}

void TForm::Close()
{
    if (m_modalLoop) {
        // The modal loop runs OnClose when it sees the result.
        if (m_modalResult == mrNone)
            SetModalResult(mrCancel);
        return;
    }
    if (m_closing)
        return;
    m_closing = true;
    QPointer<TForm> self(this);
    struct Reset {
        QPointer<TForm>& form;
        ~Reset()
        {
            if (form)
                form->m_closing = false;
        }
    } reset{self};
    const bool wasActive = isWindow() && !m_subWindow && QApplication::activeWindow() == this;
    applyCloseAction(closeAction());
    if (self && !isVisible())
        HandBackActivation(this, wasActive);
}

void TForm::Release()
{
    hide();
    if (m_subWindow) {
        m_subWindow->hide();
        m_subWindow->deleteLater(); // takes the form with it
    } else {
        deleteLater();
    }
}

void TForm::SetKeyPreview(bool preview)
{
    if (preview == m_keyPreview)
        return;
    m_keyPreview = preview;
    if (preview)
        qApp->installEventFilter(this);
    else
        qApp->removeEventFilter(this);
}

void TForm::activated()
{
    if (Application()->ActiveForm() == this)
        return;
    Application()->SetActiveForm(this);
    if (OnActivate)
        Dispatch([this] { OnActivate(this); });
}

void TForm::hideEvent(QHideEvent* event)
{
    QWidget::hideEvent(event);
    // Shown again, it is activated anew.
    if (!event->spontaneous() && Application()->ActiveForm() == this)
        Application()->SetActiveForm(nullptr);
}

void TForm::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    if (OnShow && !event->spontaneous())
        Dispatch([this] { OnShow(this); });
}

void TForm::closeEvent(QCloseEvent* event)
{
    // The window system (or the MDI subwindow) asks; the close action decides,
    // and it is applied by Close itself.
    event->ignore();
    Dispatch([this] { Close(); });
}

bool TForm::event(QEvent* event)
{
    if (event->type() == QEvent::WindowActivate && !m_subWindow && isWindow())
        activated();
    return QWidget::event(event);
}

bool TForm::previewKey(QObject* receiver, QEvent* event)
{
    auto* widget = qobject_cast<QWidget*>(receiver);
    if (!widget || (widget != this && !isAncestorOf(widget)))
        return false;
    // Keys travel up the parents when unhandled; preview only the first
    // delivery, to the focused widget.
    QWidget* first = QApplication::focusWidget() ? QApplication::focusWidget() : widget->window();
    if (widget != first)
        return false;
    auto* keyEvent = static_cast<QKeyEvent*>(event);
    int key = keyEvent->key();
    // A handler that raised (an abort included) has abandoned the key.
    return !Dispatch([&] { OnKeyDown(this, key, keyEvent->modifiers()); }) || key == 0;
}

bool TForm::eventFilter(QObject* watched, QEvent* event)
{
    // The type first: while the sub-window is being destroyed it is no longer
    // a QMdiSubWindow, and comparing through the QPointer would cast it.
    if (event->type() == QEvent::MouseButtonPress && watched == m_subWindow) {
        if (QMdiArea* area = m_subWindow->mdiArea(); area && area->activeSubWindow() != m_subWindow)
            area->setActiveSubWindow(m_subWindow);
        return false;
    }
    if (m_keyPreview && OnKeyDown && event->type() == QEvent::KeyPress)
        if (previewKey(watched, event))
            return true;
    return QWidget::eventFilter(watched, event);
}

} // namespace trd
