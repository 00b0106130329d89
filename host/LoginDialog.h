#pragma once
// Asks for the user name and password the application server wants, saying
// why (the server's message). With a sign-in function the dialog logs in
// itself when Entrar is pressed and stays open on a refusal, showing the
// reason and keeping the user name, until a login succeeds or the user gives
// up.
#include "WebSession.h"

#include <QDialog>

class QDialogButtonBox;
class QLabel;
class QLineEdit;

namespace trd {

class LoginDialog : public QDialog {
    Q_OBJECT
public:
    LoginDialog(QWidget* parent, const QString& message, const QString& user, WebSignIn signIn = {});

    QString User() const;
    QString Password() const;

    void accept() override;

private:
    QLabel* m_message;
    QLineEdit* m_user;
    QLineEdit* m_password;
    QDialogButtonBox* m_buttons;
    WebSignIn m_signIn;
};

} // namespace trd
