#include "RecordingDialogSeam.h"

#include "TApplication.h"
#include "TForm.h"
#include "TOpenDialog.h"

#include <QPointer>
#include <QTimer>

namespace trd {

RecordingDialogSeam::RecordingDialogSeam(bool install)
{
    if (install) {
        m_previous = &Application()->Dialogs();
        // The real seam is the default; restore it as nullptr, not by address.
        if (dynamic_cast<QtDialogSeam*>(m_previous))
            m_previous = nullptr;
        Application()->SetDialogSeam(this);
        m_installed = true;
    }
}

RecordingDialogSeam::~RecordingDialogSeam()
{
    if (m_installed && &Application()->Dialogs() == this)
        Application()->SetDialogSeam(m_previous);
}

QStringList RecordingDialogSeam::texts(Kind kind) const
{
    QStringList result;
    for (const Shown& s : shown)
        if (s.kind == kind)
            result << s.text;
    return result;
}

int RecordingDialogSeam::count(Kind kind) const
{
    int n = 0;
    for (const Shown& s : shown)
        n += s.kind == kind ? 1 : 0;
    return n;
}

const RecordingDialogSeam::Shown* RecordingDialogSeam::last(Kind kind) const
{
    for (auto it = shown.rbegin(); it != shown.rend(); ++it)
        if (it->kind == kind)
            return &*it;
    return nullptr;
}

int RecordingDialogSeam::MessageDlg(const QString& text, TMsgDlgType type, TMsgDlgButtons buttons, int helpContext)
{
    int answer = mrNone;
    if (!answers.empty()) {
        answer = answers.front();
        answers.pop_front();
    } else if (defaultAnswer != mrNone) {
        answer = defaultAnswer;
    } else {
        for (TMsgDlgBtn b : {mbYes, mbOK, mbNo, mbCancel, mbAbort, mbRetry, mbIgnore}) {
            if (buttons & b) {
                answer = ModalResultOf(b);
                break;
            }
        }
        if (answer == mrNone)
            answer = mrOk;
    }
    shown.push_back({Message, text, type, buttons, helpContext, answer});
    return answer;
}

void RecordingDialogSeam::ShowError(const QString& text)
{
    shown.push_back({Error, text, mtError, mbOK, 0, mrOk});
}

bool RecordingDialogSeam::ExecuteOpenDialog(TOpenDialog& dialog)
{
    std::optional<QString> answer;
    if (!openAnswers.empty()) {
        answer = openAnswers.front();
        openAnswers.pop_front();
    }
    shown.push_back({OpenDialog, dialog.Title, mtCustom, 0, 0, answer ? mrOk : mrCancel});
    if (!answer)
        return false;
    dialog.FileName = dialog.WithDefaultExt(*answer);
    return true;
}

int RecordingDialogSeam::ExecModal(TForm& form)
{
    const std::size_t entry = shown.size();
    shown.push_back({Modal, form.Caption(), mtCustom, 0, 0, mrNone});
    QPointer<TForm> guard(&form);
    auto callback = onModal;
    // Posted so that it runs inside the form's real modal loop, as a user's
    // clicks would.
    QTimer::singleShot(0, &form, [guard, callback] {
        if (guard && callback)
            callback(*guard);
        if (guard && guard->IsModal() && guard->ModalResult() == mrNone)
            guard->SetModalResult(mrCancel);
    });
    const int result = form.RunModalLoop();
    shown[entry].answer = result;
    return result;
}

} // namespace trd
