#include "TraducoesDivergentes.h"

#include "ConsultaMemoria.h"
#include "Dispatch.h"
#include "Exceptions.h"
#include "HandBackActivation.h"
#include "ServerCalls.h"

#include <QApplication>
#include <QCloseEvent>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace trd {

TraducoesDivergentes::TraducoesDivergentes(QWidget* parent) : QWidget(parent, Qt::Window)
{
    setObjectName(QStringLiteral("frmTraducoesDivergentes"));
    setWindowTitle(QStringLiteral("Traduções divergentes"));
    setAttribute(Qt::WA_DeleteOnClose);
    m_consulta = new ConsultaMemoria(this);
    connect(m_consulta, &ConsultaMemoria::respondeu, this, &TraducoesDivergentes::respondeu);
    connect(m_consulta, &ConsultaMemoria::falhou, this, &TraducoesDivergentes::falhou);

    auto* coluna = new QVBoxLayout(this);
    lblEstado = new QLabel(this);
    lblEstado->setObjectName(QStringLiteral("lblEstadoDivergentes"));
    lblEstado->setTextFormat(Qt::PlainText);
    lblEstado->setWordWrap(true);
    coluna->addWidget(lblEstado);
    lstOrigens = new QTreeWidget(this);
    lstOrigens->setObjectName(QStringLiteral("lstOrigens"));
    lstOrigens->setHeaderLabels({QStringLiteral("Origem / tradução"), QStringLiteral("Linhas"),
                                 QStringLiteral("Situações"), QStringLiteral("Telas")});
    lstOrigens->setSelectionMode(QAbstractItemView::SingleSelection);
    lstOrigens->header()->resizeSection(0, 360);
    coluna->addWidget(lstOrigens, 1);
    auto* botoes = new QHBoxLayout;
    btnUsar = new QPushButton(QStringLiteral("&Usar esta tradução nas outras linhas"), this);
    btnUsar->setObjectName(QStringLiteral("btnUsarVariante"));
    btnUsar->setEnabled(false);
    btnAtualizar = new QPushButton(QStringLiteral("A&tualizar"), this);
    btnAtualizar->setObjectName(QStringLiteral("btnAtualizarDivergentes"));
    auto* fechar = new QPushButton(QStringLiteral("&Fechar"), this);
    botoes->addWidget(btnUsar);
    botoes->addStretch(1);
    botoes->addWidget(btnAtualizar);
    botoes->addWidget(fechar);
    coluna->addLayout(botoes);
    connect(lstOrigens, &QTreeWidget::itemSelectionChanged, this, &TraducoesDivergentes::selecaoMudou);
    connect(btnAtualizar, &QPushButton::clicked, this, [this] { atualiza(); });
    connect(fechar, &QPushButton::clicked, this, &QWidget::close);
    connect(btnUsar, &QPushButton::clicked, this, [this] {
        QString origem;
        if (const memoria::Variante* v = varianteEscolhida(&origem))
            emit usarVariante(m_idioma, origem, *v);
    });
    resize(820, 480);
}

void TraducoesDivergentes::closeEvent(QCloseEvent* event)
{
    const bool ativa = QApplication::activeWindow() == this;
    QWidget::closeEvent(event);
    if (event->isAccepted())
        HandBackActivation(this, ativa);
}

void TraducoesDivergentes::mostraIdioma(const QString& idioma)
{
    m_idioma = idioma;
    atualiza();
}

void TraducoesDivergentes::atualiza(const QString& nota)
{
    m_nota = nota;
    lstOrigens->clear();
    m_origens.clear();
    btnUsar->setEnabled(false);
    if (m_idioma.isEmpty()) {
        lblEstado->setText(QStringLiteral("Escolha um idioma no editor."));
        return;
    }
    lblEstado->setText(
        QStringLiteral("Procurando as origens do idioma %1 traduzidas de mais de uma forma...").arg(m_idioma));
    m_pedido = m_consulta->pergunta(metodo::GetInconsistencias, {m_idioma});
}

void TraducoesDivergentes::respondeu(int numero, const QByteArray& pacote)
{
    if (numero != m_pedido)
        return;
    try {
        m_origens = memoria::LeDivergencias(pacote);
    } catch (const Exception& e) {
        falhou(numero, e.Message());
        return;
    }
    lstOrigens->clear();
    for (const memoria::OrigemDivergente& o : m_origens) {
        auto* grupo = new QTreeWidgetItem(lstOrigens);
        grupo->setText(0, memoria::Citado(o.origem, 200));
        grupo->setToolTip(0, o.origem);
        grupo->setText(1, QString::number(o.linhas));
        grupo->setText(2, QStringLiteral("%1 traduções").arg(o.variantes.size()));
        grupo->setFlags(grupo->flags() & ~Qt::ItemIsSelectable);
        for (const memoria::Variante& v : o.variantes) {
            auto* item = new QTreeWidgetItem(grupo);
            item->setText(0, memoria::Citado(v.traducao, 200));
            item->setToolTip(0, v.traducao);
            item->setText(1, QString::number(v.linhas));
            item->setText(2, v.situacoes);
            item->setText(3, v.programas);
        }
        grupo->setExpanded(true);
    }
    for (int c = 1; c < 3; ++c)
        lstOrigens->resizeColumnToContents(c);
    QString estado;
    if (m_origens.empty())
        estado = QStringLiteral("Nenhuma origem do idioma %1 está traduzida de mais de uma forma.").arg(m_idioma);
    else if (m_origens.size() == 1)
        estado = QStringLiteral("1 origem do idioma %1 traduzida de mais de uma forma.").arg(m_idioma);
    else
        estado = QStringLiteral("%1 origens do idioma %2 traduzidas de mais de uma forma.")
                     .arg(m_origens.size())
                     .arg(m_idioma);
    if (!m_origens.empty())
        estado += QStringLiteral(" Escolha a tradução certa e use-a nas outras linhas.");
    lblEstado->setText(m_nota.isEmpty() ? estado : m_nota + QLatin1Char(' ') + estado);
    m_nota.clear();
}

void TraducoesDivergentes::falhou(int numero, const QString& mensagem)
{
    if (numero != m_pedido)
        return;
    lblEstado->setText(QStringLiteral("Não foi possível consultar o servidor: ") + mensagem);
}

const memoria::Variante* TraducoesDivergentes::varianteEscolhida(QString* origem) const
{
    const QList<QTreeWidgetItem*> escolhidos = lstOrigens->selectedItems();
    if (escolhidos.isEmpty() || !escolhidos.first()->parent())
        return nullptr;
    const QTreeWidgetItem* item = escolhidos.first();
    const int g = lstOrigens->indexOfTopLevelItem(item->parent());
    const int v = item->parent()->indexOfChild(const_cast<QTreeWidgetItem*>(item));
    if (g < 0 || g >= static_cast<int>(m_origens.size()) || v < 0
        || v >= static_cast<int>(m_origens[static_cast<std::size_t>(g)].variantes.size()))
        return nullptr;
    if (origem)
        *origem = m_origens[static_cast<std::size_t>(g)].origem;
    return &m_origens[static_cast<std::size_t>(g)].variantes[static_cast<std::size_t>(v)];
}

void TraducoesDivergentes::selecaoMudou()
{
    btnUsar->setEnabled(varianteEscolhida(nullptr) != nullptr);
}

} // namespace trd
