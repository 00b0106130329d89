#pragma once
// Base of every form of the module: caption, MDI-child or normal style, window
// state, showing (into the host's MDI area for an MDI child), the modal loop,
// closing with a close action, and the form events. Derived forms build their
// components in their constructors; CreateForm<T>() then runs OnCreate, so the
// derived FormCreate always sees the whole form built.
#include "FormEvents.h"

#include <QPointer>
#include <QString>
#include <QWidget>

#include <utility>

#include <QMdiSubWindow>
class QEventLoop;

namespace trd {

enum TFormStyle { fsNormal, fsMDIChild };
enum TWindowState { wsNormal, wsMaximized, wsMinimized };

class TForm : public QWidget {
    Q_OBJECT
public:
    explicit TForm(QWidget* parent = nullptr);
    ~TForm() override;

    QString Caption() const { return windowTitle(); }
    void SetCaption(const QString& caption) { setWindowTitle(caption); }

    TFormStyle FormStyle() const { return m_formStyle; }
    void SetFormStyle(TFormStyle style);
    TWindowState WindowState() const;
    void SetWindowState(TWindowState state);

    // Runs OnCreate (through Dispatch: an error is shown and the form still
    // opens). Runs once; CreateForm<T>() calls it after the constructor.
    void DoCreate();
    bool Created() const { return m_created; }

    // Shows the form. An MDI child goes into Application()->MdiArea() as a
    // subwindow (maximised when wsMaximized); an open one is brought forward.
    void Show();
    // Runs the form modally through the dialog seam; returns its ModalResult.
    int ShowModal();
    // The modal loop itself, used by the seams: shows the form application-
    // modal and runs until ModalResult becomes non-zero and OnClose allows it.
    int RunModalLoop();
    bool IsModal() const { return m_modalLoop != nullptr; }

    int ModalResult() const { return m_modalResult; }
    // A non-zero result ends the modal loop.
    void SetModalResult(int result);

    // Runs OnClose with the default action (caHide; caMinimize for an MDI
    // child) and applies the action it leaves. Closing a modal form cancels it.
    void Close();
    // Destroys the form once the running event is over (deleteLater), with
    // its MDI subwindow.
    void Release();

    // The subwindow holding this MDI child, or nullptr.
    QMdiSubWindow* SubWindow() const { return m_subWindow; }

    // With KeyPreview the form's OnKeyDown sees every key before the control
    // that has the focus; setting the key to 0 keeps it from the control.
    bool KeyPreview() const { return m_keyPreview; }
    void SetKeyPreview(bool preview);

    TNotifyEvent OnCreate;
    TNotifyEvent OnShow;
    // Each time it becomes the active window or MDI child after another form
    // of the application was: not again when a message box over it closes or
    // the user comes back from another program.
    TNotifyEvent OnActivate;
    TCloseEvent OnClose;
    TKeyEvent OnKeyDown;

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    bool event(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    TCloseAction closeAction();
    void applyCloseAction(TCloseAction action);
    void attachToMdiArea();
    void placeOverMainForm();
    void activated();
    bool previewKey(QObject* receiver, QEvent* event);

    TFormStyle m_formStyle = fsNormal;
    TWindowState m_windowState = wsNormal;
    bool m_created = false;
    bool m_keyPreview = false;
    bool m_closing = false;
    int m_modalResult = 0;
    QEventLoop* m_modalLoop = nullptr;
    QPointer<QMdiSubWindow> m_subWindow;
};

// Builds a form and runs its OnCreate: the framework's Application.CreateForm.
template <typename Form, typename... Args>
Form* CreateForm(Args&&... args)
{
    auto* form = new Form(std::forward<Args>(args)...);
    form->DoCreate();
    return form;
}

} // namespace trd
