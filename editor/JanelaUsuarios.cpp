#include "JanelaUsuarios.h"

#include "Dispatch.h"
#include "UsuariosModelo.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTableView>
#include <QVBoxLayout>

namespace trd {

namespace {

const QString Todos = QStringLiteral("*");

} // namespace

JanelaUsuarios::JanelaUsuarios(TSocketConnection& conexao, QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("frmUsuarios"));
    setWindowTitle(QStringLiteral("Usuários e Papéis"));
    modelo = new UsuariosModelo(conexao, this);

    tbvPapeis = new QTableView;
    tbvPapeis->setObjectName(QStringLiteral("tbvPapeis"));
    tbvPapeis->setModel(modelo);
    tbvPapeis->setSelectionBehavior(QAbstractItemView::SelectRows);
    tbvPapeis->setSelectionMode(QAbstractItemView::SingleSelection);
    tbvPapeis->setEditTriggers(QAbstractItemView::NoEditTriggers);
    tbvPapeis->horizontalHeader()->setStretchLastSection(true);
    tbvPapeis->verticalHeader()->hide();

    auto* papel = new QGroupBox(QStringLiteral("Papel"));
    cbbUsuario = new QComboBox;
    cbbUsuario->setObjectName(QStringLiteral("cbbUsuario"));
    cbbIdioma = new QComboBox;
    cbbIdioma->setObjectName(QStringLiteral("cbbIdioma"));
    cbbPapel = new QComboBox;
    cbbPapel->setObjectName(QStringLiteral("cbbPapel"));
    for (papeis::Papel p :
         {papeis::Papel::Leitor, papeis::Papel::Tradutor, papeis::Papel::Revisor, papeis::Papel::Administrador})
        cbbPapel->addItem(papeis::NomeDoPapel(p), static_cast<int>(p));
    btnConceder = new QPushButton(QStringLiteral("&Conceder"));
    btnConceder->setObjectName(QStringLiteral("btnConceder"));
    btnRetirar = new QPushButton(QStringLiteral("&Retirar"));
    btnRetirar->setObjectName(QStringLiteral("btnRetirar"));
    auto* campos = new QFormLayout;
    auto* lblUsuario = new QLabel(QStringLiteral("&Usuário"));
    lblUsuario->setBuddy(cbbUsuario);
    auto* lblIdioma = new QLabel(QStringLiteral("&Idioma"));
    lblIdioma->setBuddy(cbbIdioma);
    auto* lblPapel = new QLabel(QStringLiteral("P&apel"));
    lblPapel->setBuddy(cbbPapel);
    campos->addRow(lblUsuario, cbbUsuario);
    campos->addRow(lblIdioma, cbbIdioma);
    campos->addRow(lblPapel, cbbPapel);
    auto* botoes = new QHBoxLayout;
    botoes->addStretch();
    botoes->addWidget(btnConceder);
    botoes->addWidget(btnRetirar);
    auto* colunaPapel = new QVBoxLayout(papel);
    colunaPapel->addLayout(campos);
    colunaPapel->addLayout(botoes);

    auto* regras = new QGroupBox(QStringLiteral("Regras de revisão do idioma"));
    cbbIdiomaRegras = new QComboBox;
    cbbIdiomaRegras->setObjectName(QStringLiteral("cbbIdiomaRegras"));
    chkObrigatoria = new QCheckBox(QStringLiteral("E&xigir revisão: só um revisor altera uma tradução revisada"));
    chkObrigatoria->setObjectName(QStringLiteral("chkObrigatoria"));
    chkPropria = new QCheckBox(QStringLiteral("Um revisor não &marca a própria alteração"));
    chkPropria->setObjectName(QStringLiteral("chkPropria"));
    btnGravarRegras = new QPushButton(QStringLiteral("&Gravar Regras"));
    btnGravarRegras->setObjectName(QStringLiteral("btnGravarRegras"));
    auto* colunaRegras = new QVBoxLayout(regras);
    colunaRegras->addWidget(cbbIdiomaRegras);
    colunaRegras->addWidget(chkObrigatoria);
    colunaRegras->addWidget(chkPropria);
    auto* gravar = new QHBoxLayout;
    gravar->addStretch();
    gravar->addWidget(btnGravarRegras);
    colunaRegras->addLayout(gravar);

    btnFechar = new QPushButton(QStringLiteral("&Fechar"));
    btnFechar->setObjectName(QStringLiteral("btnFechar"));
    auto* lado = new QVBoxLayout;
    lado->addWidget(papel);
    lado->addWidget(regras);
    lado->addStretch();
    auto* fim = new QHBoxLayout;
    fim->addStretch();
    fim->addWidget(btnFechar);
    lado->addLayout(fim);
    auto* tudo = new QHBoxLayout(this);
    tudo->addWidget(tbvPapeis, 3);
    tudo->addLayout(lado, 2);
    resize(820, 420);

    connect(btnConceder, &QPushButton::clicked, this, [this] {
        Dispatch([this] {
            modelo->concede(cbbUsuario->currentText(), static_cast<papeis::Papel>(cbbPapel->currentData().toInt()),
                            idiomaEscolhido(cbbIdioma));
        });
    });
    connect(btnRetirar, &QPushButton::clicked, this,
            [this] { Dispatch([this] { modelo->retira(cbbUsuario->currentText(), idiomaEscolhido(cbbIdioma)); }); });
    connect(btnGravarRegras, &QPushButton::clicked, this, [this] {
        Dispatch([this] {
            modelo->gravaRegras(idiomaEscolhido(cbbIdiomaRegras),
                                {chkObrigatoria->isChecked(), chkPropria->isChecked()});
            mostraRegras();
        });
    });
    connect(cbbIdiomaRegras, &QComboBox::currentIndexChanged, this, [this] { mostraRegras(); });
    connect(tbvPapeis->selectionModel(), &QItemSelectionModel::currentRowChanged, this, [this] { escolheuLinha(); });
    connect(btnFechar, &QPushButton::clicked, this, &QDialog::accept);
}

QString JanelaUsuarios::idiomaEscolhido(const QComboBox* combo) const
{
    return combo->currentData().toString();
}

void JanelaUsuarios::carrega()
{
    modelo->carrega();
    const QString usuario = cbbUsuario->currentText();
    cbbUsuario->clear();
    cbbUsuario->addItems(modelo->usuarios());
    if (const int i = cbbUsuario->findText(usuario); i >= 0)
        cbbUsuario->setCurrentIndex(i);
    cbbIdioma->clear();
    cbbIdioma->addItem(QStringLiteral("* - todos os idiomas"), Todos);
    cbbIdiomaRegras->clear();
    for (const QString& idioma : modelo->idiomas()) {
        cbbIdioma->addItem(idioma, idioma);
        cbbIdiomaRegras->addItem(idioma, idioma);
    }
    mostraRegras();
}

void JanelaUsuarios::mostraRegras()
{
    const bool algum = cbbIdiomaRegras->count() > 0;
    const papeis::RegrasDeRevisao r = modelo->regras(idiomaEscolhido(cbbIdiomaRegras));
    chkObrigatoria->setChecked(r.obrigatoria);
    chkPropria->setChecked(r.propriaBloqueada);
    for (QWidget* w : {static_cast<QWidget*>(chkObrigatoria), static_cast<QWidget*>(chkPropria),
                       static_cast<QWidget*>(btnGravarRegras)})
        w->setEnabled(algum);
}

void JanelaUsuarios::escolheuLinha()
{
    // The row chosen fills the fields, to change or take away that role.
    const int linha = tbvPapeis->currentIndex().row();
    if (linha < 0 || linha >= modelo->concessoes().size())
        return;
    const UsuariosModelo::Concessao& c = modelo->concessoes().at(linha);
    cbbUsuario->setCurrentText(c.usuario);
    if (const int i = cbbIdioma->findData(c.idioma); i >= 0)
        cbbIdioma->setCurrentIndex(i);
    if (const int i = cbbPapel->findText(c.papel); i >= 0)
        cbbPapel->setCurrentIndex(i);
}

void AbreJanelaUsuarios(QWidget* dono, TSocketConnection& conexao)
{
    JanelaUsuarios janela(conexao, dono);
    janela.setWindowModality(Qt::WindowModal);
    janela.carrega();
    janela.exec();
}

} // namespace trd
