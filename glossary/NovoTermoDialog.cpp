#include "NovoTermoDialog.h"

#include "TermosDoServidor.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>

namespace trd {

NovoTermoDialog::NovoTermoDialog(const QString& termo, const QString& traducao, const QString& programa,
                                 QWidget* parent)
    : QDialog(parent), m_programa(programa)
{
    setObjectName(QStringLiteral("dlgNovoTermo"));
    setWindowTitle(QStringLiteral("Adicionar Termo ao Glossário"));
    monta(termo, traducao, QStringLiteral("&Adicionar"));
}

NovoTermoDialog::NovoTermoDialog(const quality::GlossaryTerm& existente, QWidget* parent)
    : QDialog(parent), m_programa(existente.program)
{
    setObjectName(QStringLiteral("dlgAlteraTermo"));
    setWindowTitle(QStringLiteral("Alterar Termo do Glossário"));
    monta(existente.source, existente.preferred.join(u'\n'), QStringLiteral("&Gravar"));
    memProibidas->setPlainText(existente.forbidden.join(u'\n'));
    chkNaoTraduzir->setChecked(existente.doNotTranslate);
    edtNota->setText(existente.note);
    // A term for every screen has no screen to narrow to here.
    chkSoNestaTela->setChecked(!m_programa.isEmpty());
    chkSoNestaTela->setVisible(!m_programa.isEmpty());
}

void NovoTermoDialog::monta(const QString& termo, const QString& traducao, const QString& botao)
{
    auto* form = new QFormLayout(this);
    edtTermo = new QLineEdit(termo, this);
    edtTermo->setObjectName(QStringLiteral("edtTermo"));
    edtTermo->setMaxLength(200);
    memPreferidas = new QPlainTextEdit(traducao, this);
    memPreferidas->setObjectName(QStringLiteral("memPreferidas"));
    memPreferidas->setTabChangesFocus(true);
    memProibidas = new QPlainTextEdit(this);
    memProibidas->setObjectName(QStringLiteral("memProibidas"));
    memProibidas->setTabChangesFocus(true);
    chkNaoTraduzir = new QCheckBox(QStringLiteral("Não se &traduz (nome de produto, sigla)"), this);
    chkNaoTraduzir->setObjectName(QStringLiteral("chkNaoTraduzir"));
    edtNota = new QLineEdit(this);
    edtNota->setObjectName(QStringLiteral("edtNota"));
    edtNota->setMaxLength(1000);
    chkSoNestaTela = new QCheckBox(QStringLiteral("Só na tela %1").arg(m_programa), this);
    chkSoNestaTela->setObjectName(QStringLiteral("chkSoNestaTela"));
    form->addRow(QStringLiteral("T&ermo:"), edtTermo);
    form->addRow(QStringLiteral("Traduções &preferidas (uma por linha):"), memPreferidas);
    form->addRow(QStringLiteral("Traduções p&roibidas (uma por linha):"), memProibidas);
    form->addRow(QString(), chkNaoTraduzir);
    form->addRow(QStringLiteral("&Nota:"), edtNota);
    form->addRow(QString(), chkSoNestaTela);
    auto* botoes = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    botoes->button(QDialogButtonBox::Ok)->setText(botao);
    botoes->button(QDialogButtonBox::Cancel)->setText(QStringLiteral("Cancelar"));
    form->addRow(botoes);
    connect(botoes, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(botoes, &QDialogButtonBox::rejected, this, &QDialog::reject);
    const auto confere = [this, botoes] {
        botoes->button(QDialogButtonBox::Ok)->setEnabled(!edtTermo->text().trimmed().isEmpty());
    };
    connect(edtTermo, &QLineEdit::textChanged, this, confere);
    confere();
}

quality::GlossaryTerm NovoTermoDialog::termo() const
{
    quality::GlossaryTerm t;
    t.source = edtTermo->text().simplified();
    t.preferred = glossario::linhas(memPreferidas->toPlainText());
    t.forbidden = glossario::linhas(memProibidas->toPlainText());
    t.doNotTranslate = chkNaoTraduzir->isChecked();
    t.note = edtNota->text().trimmed();
    t.program = chkSoNestaTela->isChecked() ? m_programa : QString();
    return t;
}

} // namespace trd
