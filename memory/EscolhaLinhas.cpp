#include "EscolhaLinhas.h"

#include <QDialogButtonBox>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace trd {

namespace {

QString situacaoPorExtenso(const QString& s)
{
    return s == QStringLiteral("T") ? QStringLiteral("Traduzido")
        : s == QStringLiteral("D")  ? QStringLiteral("Dúvida")
                                    : QStringLiteral("Não Traduzido");
}

} // namespace

EscolhaLinhas::EscolhaLinhas(const QString& origem, const QString& traducao,
                             const std::vector<memoria::LinhaMesmaOrigem>& linhas, QWidget* parent)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("frmEscolhaLinhas"));
    setWindowTitle(QStringLiteral("Aplicar a tradução a outras linhas"));
    auto* coluna = new QVBoxLayout(this);
    lblCabecalho = new QLabel(this);
    lblCabecalho->setTextFormat(Qt::PlainText);
    lblCabecalho->setWordWrap(true);
    lblCabecalho->setText(QStringLiteral("Origem: ") + memoria::Citado(origem, 200) + QStringLiteral("\nTradução: ")
                          + memoria::Citado(traducao, 200)
                          + QStringLiteral("\nMarque as linhas que recebem esta tradução (as não traduzidas vêm "
                                           "marcadas). Elas são gravadas juntas, de uma vez."));
    coluna->addWidget(lblCabecalho);
    lstLinhas = new QTreeWidget(this);
    lstLinhas->setObjectName(QStringLiteral("lstLinhas"));
    lstLinhas->setRootIsDecorated(false);
    lstLinhas->setHeaderLabels({QStringLiteral("Tela"), QStringLiteral("Componente"), QStringLiteral("Situação"),
                                QStringLiteral("Tradução atual")});
    for (const memoria::LinhaMesmaOrigem& l : linhas) {
        auto* item = new QTreeWidgetItem(lstLinhas);
        item->setText(0, l.programa);
        item->setText(1, l.componente);
        item->setText(2, situacaoPorExtenso(l.situacao));
        item->setText(3, memoria::Citado(l.traducao, 200));
        item->setToolTip(3, l.traducao);
        const memoria::Relacao r = memoria::RelacaoCom(l, traducao);
        item->setCheckState(0, r == memoria::Relacao::NaoTraduzida ? Qt::Checked : Qt::Unchecked);
        if (r == memoria::Relacao::Igual)
            item->setToolTip(3, QStringLiteral("Já tem esta tradução."));
    }
    for (int c = 0; c < 3; ++c)
        lstLinhas->resizeColumnToContents(c);
    coluna->addWidget(lstLinhas, 1);
    auto* botoes = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    botoes->button(QDialogButtonBox::Ok)->setText(QStringLiteral("&Gravar nas marcadas"));
    botoes->button(QDialogButtonBox::Cancel)->setText(QStringLiteral("&Cancelar"));
    connect(botoes, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(botoes, &QDialogButtonBox::rejected, this, &QDialog::reject);
    coluna->addWidget(botoes);
    resize(720, 360);
}

std::vector<int> EscolhaLinhas::escolhidas() const
{
    std::vector<int> indices;
    for (int i = 0; i < lstLinhas->topLevelItemCount(); ++i)
        if (lstLinhas->topLevelItem(i)->checkState(0) == Qt::Checked)
            indices.push_back(i);
    return indices;
}

} // namespace trd
