#pragma once
// Asks for the user name and password the application server wants, saying
// why (the server's message, or that the last attempt was wrong).
#include <QDialog>

class QLineEdit;

namespace trd {

class LoginDialog : public QDialog {
    Q_OBJECT
public:
    LoginDialog(QWidget* parent, const QString& message, const QString& user);

    QString User() const;
    QString Password() const;

private:
    QLineEdit* m_user;
    QLineEdit* m_password;
};

} // namespace trd
