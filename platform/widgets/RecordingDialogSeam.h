#pragma once
// A dialog seam for tests: records every message, error, open-file dialog and
// modal form it is asked to show, and answers them from scripted answers.
//
//   RecordingDialogSeam seam;                 // installs itself, restores on destruction
//   seam.answers.push_back(mrYes);            // the next message box answers Yes
//   seam.openAnswers.push_back("/tmp/a.xml"); // the next open dialog picks a file
//   seam.onModal = [](TForm& f) { ... f.SetModalResult(mrOk); };
#include "DialogSeam.h"

#include <QString>
#include <QStringList>

#include <deque>
#include <functional>
#include <optional>
#include <vector>

namespace trd {

class RecordingDialogSeam : public DialogSeam {
public:
    enum Kind { Message, Error, OpenDialog, Modal };
    struct Shown {
        Kind kind = Message;
        QString text; // message text; dialog title; modal form's caption
        TMsgDlgType type = mtCustom;
        TMsgDlgButtons buttons = 0;
        int helpContext = 0;
        int answer = mrNone; // what the seam answered
    };

    // Installs itself as the application's seam when install is true; the
    // destructor puts back the seam that was there before.
    explicit RecordingDialogSeam(bool install = true);
    ~RecordingDialogSeam() override;
    RecordingDialogSeam(const RecordingDialogSeam&) = delete;
    RecordingDialogSeam& operator=(const RecordingDialogSeam&) = delete;

    // Answers for message boxes, taken in order. When empty, defaultAnswer is
    // used if not mrNone, else the first of the dialog's buttons in the order
    // Yes, OK, No, Cancel, Abort, Retry, Ignore.
    std::deque<int> answers;
    int defaultAnswer = mrNone;

    // Answers for open-file dialogs, in order: a file name, or nullopt to cancel.
    // When empty, the dialog is cancelled.
    std::deque<std::optional<QString>> openAnswers;

    // Runs while a form is modal (inside its real modal loop). It usually sets
    // the form's ModalResult or clicks a button that does. If the form is still
    // modal when it returns, the seam ends the loop with mrCancel so that a test
    // does not hang (unless OnClose keeps refusing). Without onModal the form
    // is cancelled at once.
    std::function<void(TForm&)> onModal;

    std::vector<Shown> shown;

    // Texts of the recorded entries of one kind, in order.
    QStringList texts(Kind kind) const;
    QStringList messages() const { return texts(Message); }
    QStringList errors() const { return texts(Error); }
    int count(Kind kind) const;
    const Shown* last(Kind kind) const; // nullptr when none
    void clear() { shown.clear(); }

    int MessageDlg(const QString& text, TMsgDlgType type, TMsgDlgButtons buttons, int helpContext) override;
    void ShowError(const QString& text) override;
    bool ExecuteOpenDialog(TOpenDialog& dialog) override;
    int ExecModal(TForm& form) override;

private:
    DialogSeam* m_previous = nullptr;
    bool m_installed = false;
};

} // namespace trd
