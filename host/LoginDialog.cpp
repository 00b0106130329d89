#include "LoginDialog.h"

#include <QDialogButtonBox>
#include <QPushButton>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>

namespace trd {

LoginDialog::LoginDialog(QWidget* parent, const QString& message, const QString& user) : QDialog(parent)
{
    setObjectName(QStringLiteral("frmLogin"));
    setWindowTitle(QStringLiteral("Entrar no servidor"));
    auto* layout = new QVBoxLayout(this);
    auto* reason = new QLabel(message, this);
    reason->setWordWrap(true);
    layout->addWidget(reason);
    auto* form = new QFormLayout;
    m_user = new QLineEdit(user, this);
    m_user->setObjectName(QStringLiteral("edtUsuario"));
    m_password = new QLineEdit(this);
    m_password->setObjectName(QStringLiteral("edtSenha"));
    m_password->setEchoMode(QLineEdit::Password);
    form->addRow(QStringLiteral("&Usuário:"), m_user);
    form->addRow(QStringLiteral("&Senha:"), m_password);
    layout->addLayout(form);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->button(QDialogButtonBox::Ok)->setText(QStringLiteral("&Entrar"));
    buttons->button(QDialogButtonBox::Cancel)->setText(QStringLiteral("&Cancelar"));
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
    (user.isEmpty() ? m_user : m_password)->setFocus();
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
