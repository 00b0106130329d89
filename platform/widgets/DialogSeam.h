#pragma once
// The one seam every message box, the general error display, the open-file
// dialog and every modal loop pass through. The program uses QtDialogSeam
// (real Qt dialogs); tests install a RecordingDialogSeam that answers them and
// records what was shown.
#include <QString>

namespace trd {

class TForm;
class TOpenDialog;

enum TMsgDlgType { mtWarning, mtError, mtInformation, mtConfirmation, mtCustom };

enum TModalResult : int {
    mrNone = 0,
    mrOk = 1,
    mrCancel = 2,
    mrAbort = 3,
    mrRetry = 4,
    mrIgnore = 5,
    mrYes = 6,
    mrNo = 7,
};

// A button's flag is the bit numbered by the result it gives, so that the one
// cannot drift from the other.
enum TMsgDlgBtn : int {
    mbYes = 1 << mrYes,
    mbNo = 1 << mrNo,
    mbOK = 1 << mrOk,
    mbCancel = 1 << mrCancel,
    mbAbort = 1 << mrAbort,
    mbRetry = 1 << mrRetry,
    mbIgnore = 1 << mrIgnore,
};
using TMsgDlgButtons = int; // an or-ed set of TMsgDlgBtn

// The result a button gives when pressed (mbYes -> mrYes, ...).
int ModalResultOf(TMsgDlgBtn button);

class DialogSeam {
public:
    virtual ~DialogSeam() = default;

    // A message box; returns the TModalResult of the button pressed
    // (mrCancel, or mrNo without a Cancel button, when it is closed otherwise).
    virtual int MessageDlg(const QString& text, TMsgDlgType type, TMsgDlgButtons buttons, int helpContext) = 0;
    // The general error display.
    virtual void ShowError(const QString& text) = 0;
    // Shows the open-file dialog; on OK sets the dialog's FileName and returns true.
    virtual bool ExecuteOpenDialog(TOpenDialog& dialog) = 0;
    // Runs the form's modal loop and returns its ModalResult.
    virtual int ExecModal(TForm& form) = 0;
};

// The real dialogs: QMessageBox with Portuguese buttons, QFileDialog, the form's
// own modal loop.
class QtDialogSeam : public DialogSeam {
public:
    int MessageDlg(const QString& text, TMsgDlgType type, TMsgDlgButtons buttons, int helpContext) override;
    void ShowError(const QString& text) override;
    bool ExecuteOpenDialog(TOpenDialog& dialog) override;
    int ExecModal(TForm& form) override;
};

// Shortcut for Application()->Dialogs().MessageDlg(...).
int MessageDlg(const QString& text, TMsgDlgType type, TMsgDlgButtons buttons, int helpContext = 0);

} // namespace trd
