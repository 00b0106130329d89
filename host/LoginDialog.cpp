#include "LoginDialog.h"

#include <QDialogButtonBox>
#include <QPushButton>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>

namespace trd {

LoginDialog::LoginDialog(QWidget* parent, const QString& message, const QString& user, WebSignIn signIn)
    : QDialog(parent), m_signIn(std::move(signIn))
{
    setObjectName(QStringLiteral("frmLogin"));
    setWindowTitle(QStringLiteral("Entrar no servidor"));
    auto* layout = new QVBoxLayout(this);
    m_message = new QLabel(message, this);
    m_message->setObjectName(QStringLiteral("lblMensagem"));
    m_message->setWordWrap(true);
    layout->addWidget(m_message);
    auto* form = new QFormLayout;
    m_user = new QLineEdit(user, this);
    m_user->setObjectName(QStringLiteral("edtUsuario"));
    m_password = new QLineEdit(this);
    m_password->setObjectName(QStringLiteral("edtSenha"));
    m_password->setEchoMode(QLineEdit::Password);
    form->addRow(QStringLiteral("&Usuário:"), m_user);
    form->addRow(QStringLiteral("&Senha:"), m_password);
    layout->addLayout(form);
    m_buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    m_buttons->button(QDialogButtonBox::Ok)->setText(QStringLiteral("&Entrar"));
    m_buttons->button(QDialogButtonBox::Cancel)->setText(QStringLiteral("&Cancelar"));
    connect(m_buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(m_buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(m_buttons);
    (user.isEmpty() ? m_user : m_password)->setFocus();
}

void LoginDialog::accept()
{
    if (!m_signIn) {
        QDialog::accept();
        return;
    }
    // A second Enter while the server checks the password is not a second try.
    m_buttons->setEnabled(false);
    const QString refused = m_signIn(User(), Password());
    m_buttons->setEnabled(true);
    if (refused.isEmpty()) {
        QDialog::accept();
        return;
    }
    m_message->setText(refused);
    m_password->clear();
    m_password->setFocus();
}

QString LoginDialog::User() const
{
    return m_user->text().trimmed();
}

QString LoginDialog::Password() const
{
    return m_password->text();
}

} // namespace trd
