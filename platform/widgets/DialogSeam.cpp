#include "DialogSeam.h"

#include "TApplication.h"
#include "TForm.h"
#include "TOpenDialog.h"

#include <QApplication>
#include <QFileDialog>
#include <QKeyEvent>
#include <QAbstractButton>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>

#include <bit>

namespace trd {

int ModalResultOf(TMsgDlgBtn button)
{
    const auto bit = static_cast<unsigned>(button);
    return std::has_single_bit(bit) ? std::countr_zero(bit) : mrNone;
}

int MessageDlg(const QString& text, TMsgDlgType type, TMsgDlgButtons buttons, int helpContext)
{
    return Application()->Dialogs().MessageDlg(text, type, buttons, helpContext);
}

namespace {

struct ButtonText {
    TMsgDlgBtn button;
    const char16_t* text;
    QMessageBox::ButtonRole role;
};

// In the framework's order, with the Portuguese captions of the client.
constexpr ButtonText kButtons[] = {
    {mbYes, u"&Sim", QMessageBox::YesRole},           {mbNo, u"&Não", QMessageBox::NoRole},
    {mbOK, u"OK", QMessageBox::AcceptRole},           {mbCancel, u"Cancelar", QMessageBox::RejectRole},
    {mbAbort, u"&Abortar", QMessageBox::RejectRole},  {mbRetry, u"&Repetir", QMessageBox::AcceptRole},
    {mbIgnore, u"&Ignorar", QMessageBox::AcceptRole},
};

QString captionOf(TMsgDlgType type)
{
    switch (type) {
    case mtWarning:
        return QStringLiteral("Aviso");
    case mtError:
        return QStringLiteral("Erro");
    case mtInformation:
        return QStringLiteral("Informação");
    case mtConfirmation:
        return QStringLiteral("Confirmação");
    case mtCustom:
        break;
    }
    return QApplication::applicationDisplayName();
}

QMessageBox::Icon iconOf(TMsgDlgType type)
{
    switch (type) {
    case mtWarning:
        return QMessageBox::Warning;
    case mtError:
        return QMessageBox::Critical;
    case mtInformation:
        return QMessageBox::Information;
    case mtConfirmation:
        return QMessageBox::Question;
    case mtCustom:
        break;
    }
    return QMessageBox::NoIcon;
}

QWidget* dialogParent()
{
    if (QWidget* modal = QApplication::activeModalWidget())
        return modal;
    if (QWidget* active = QApplication::activeWindow())
        return active;
    return Application()->MainForm();
}

// A message box answers a button's letter typed alone (S for Sim). A box
// that opens while the user is typing a translation would take the next
// letters of the text as its answer: here a letter answers only with Alt,
// as on any other window; Enter, Escape, Space and the arrows stay as they are.
class LettersNeedAlt : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() != QEvent::KeyPress)
            return QObject::eventFilter(watched, event);
        const auto* key = static_cast<QKeyEvent*>(event);
        const bool chord = key->modifiers() & (Qt::AltModifier | Qt::ControlModifier | Qt::MetaModifier);
        if (chord || key->text().isEmpty() || !key->text().at(0).isLetterOrNumber())
            return QObject::eventFilter(watched, event);
        return true;
    }
};

// Runs a message box. As the framework's message boxes do, the window that
// was active gets the activation back when the box closes, and with it the
// focus to the control that had it (an in-place editor keeps its text and
// cursor); not every window manager hands it back by itself.
void execRestoringActivation(QMessageBox& box)
{
    const QPointer<QWidget> window = QApplication::activeWindow();
    const QPointer<QWidget> focus = QApplication::focusWidget();
    LettersNeedAlt letters;
    box.installEventFilter(&letters);
    for (QAbstractButton* button : box.buttons())
        button->installEventFilter(&letters);
    box.exec();
    QWidget* modal = QApplication::activeModalWidget();
    if (!window || !window->isVisible() || (modal && modal != window))
        return;
    window->activateWindow();
    if (focus && focus->isVisible() && focus->window() == window && !focus->hasFocus())
        focus->setFocus(Qt::ActiveWindowFocusReason);
}

} // namespace

int QtDialogSeam::MessageDlg(const QString& text, TMsgDlgType type, TMsgDlgButtons buttons, int /*helpContext*/)
{
    QMessageBox box(iconOf(type), captionOf(type), text, QMessageBox::NoButton, dialogParent());
    if (buttons == 0)
        buttons = mbOK;
    QAbstractButton* escapeButton = nullptr;
    QAbstractButton* noButton = nullptr;
    bool firstButton = true;
    for (const auto& b : kButtons) {
        if (!(buttons & b.button))
            continue;
        QPushButton* push = box.addButton(QString::fromUtf16(b.text), b.role);
        push->setProperty("trdModalResult", ModalResultOf(b.button));
        if (firstButton)
            box.setDefaultButton(push);
        firstButton = false;
        if (b.button == mbCancel)
            escapeButton = push;
        if (b.button == mbNo)
            noButton = push;
    }
    box.setEscapeButton(escapeButton ? escapeButton : noButton);
    execRestoringActivation(box);
    if (QAbstractButton* clicked = box.clickedButton())
        return clicked->property("trdModalResult").toInt();
    return (buttons & mbCancel) || !(buttons & mbNo) ? mrCancel : mrNo;
}

void QtDialogSeam::ShowError(const QString& text)
{
    QMessageBox box(QMessageBox::Critical, QStringLiteral("Erro"), text, QMessageBox::NoButton, dialogParent());
    box.addButton(QStringLiteral("OK"), QMessageBox::AcceptRole);
    execRestoringActivation(box);
}

bool QtDialogSeam::ExecuteOpenDialog(TOpenDialog& dialog)
{
    QFileDialog fileDialog(dialogParent(), dialog.Title, dialog.InitialDir);
    fileDialog.setFileMode(QFileDialog::ExistingFile);
    fileDialog.setAcceptMode(QFileDialog::AcceptOpen);
    // Shows each entry as the filter's description says, without the patterns
    // spelled in every case after it.
    fileDialog.setOption(QFileDialog::HideNameFilterDetails);
    const QStringList filters = dialog.QtNameFilters();
    if (!filters.isEmpty()) {
        fileDialog.setNameFilters(filters);
        const int index = dialog.FilterIndex - 1;
        if (index >= 0 && index < filters.size())
            fileDialog.selectNameFilter(filters[index]);
    }
    if (!dialog.DefaultExt.isEmpty())
        fileDialog.setDefaultSuffix(dialog.DefaultExt);
    if (!dialog.FileName.isEmpty())
        fileDialog.selectFile(dialog.FileName);
    if (fileDialog.exec() != QDialog::Accepted || fileDialog.selectedFiles().isEmpty())
        return false;
    dialog.FileName = dialog.WithDefaultExt(fileDialog.selectedFiles().constFirst());
    return true;
}

int QtDialogSeam::ExecModal(TForm& form)
{
    return form.RunModalLoop();
}

} // namespace trd
