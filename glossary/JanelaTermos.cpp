#include "JanelaTermos.h"

#include "DialogSeam.h"
#include "Dispatch.h"
#include "Exceptions.h"
#include "NovoTermoDialog.h"
#include "TSocketConnection.h"

#include <QAbstractTableModel>
#include <QBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableView>

#include <algorithm>

namespace trd {

class ModeloTermos final : public QAbstractTableModel {
public:
    explicit ModeloTermos(glossario::ListaDeTermos& lista, QObject* parent)
        : QAbstractTableModel(parent), m_lista(lista)
    {
    }

    void refaz()
    {
        beginResetModel();
        endResetModel();
    }

    int rowCount(const QModelIndex& pai = {}) const override { return pai.isValid() ? 0 : m_lista.quantos(); }
    int columnCount(const QModelIndex& pai = {}) const override { return pai.isValid() ? 0 : 6; }

    QVariant data(const QModelIndex& onde, int papel) const override
    {
        if (papel != Qt::DisplayRole || !onde.isValid())
            return {};
        const quality::GlossaryTerm& t = m_lista.visivel(onde.row()).termo;
        switch (onde.column()) {
        case 0:
            return t.source;
        case 1:
            return t.preferred.join(QStringLiteral("; "));
        case 2:
            return t.forbidden.join(QStringLiteral("; "));
        case 3:
            return t.doNotTranslate ? QStringLiteral("Sim") : QString();
        case 4:
            return t.note;
        default:
            return t.program.isEmpty() ? QStringLiteral("(todas)") : t.program;
        }
    }

    QVariant headerData(int secao, Qt::Orientation orientacao, int papel) const override
    {
        static const char* const Titulos[] = {"Termo", "Traduções preferidas", "Proibidas", "Não traduzir", "Nota",
                                              "Tela"};
        if (orientacao != Qt::Horizontal || papel != Qt::DisplayRole || secao < 0 || secao > 5)
            return {};
        return QString::fromUtf8(Titulos[secao]);
    }

private:
    glossario::ListaDeTermos& m_lista;
};

JanelaTermos::JanelaTermos(TSocketConnection& conexao, const QString& idioma, QWidget* parent)
    : QDialog(parent), m_lista(conexao, idioma)
{
    setObjectName(QStringLiteral("frmTermos"));
    setWindowTitle(QStringLiteral("Termos do Glossário de %1").arg(idioma));
    m_lista.le();
    auto* caixa = new QVBoxLayout(this);
    auto* linhaFiltro = new QHBoxLayout;
    auto* rotulo = new QLabel(QStringLiteral("&Filtrar:"), this);
    edtFiltro = new QLineEdit(this);
    edtFiltro->setObjectName(QStringLiteral("edtFiltro"));
    edtFiltro->setClearButtonEnabled(true);
    rotulo->setBuddy(edtFiltro);
    lblQuantos = new QLabel(this);
    lblQuantos->setObjectName(QStringLiteral("lblQuantos"));
    linhaFiltro->addWidget(rotulo);
    linhaFiltro->addWidget(edtFiltro, 1);
    linhaFiltro->addWidget(lblQuantos);
    caixa->addLayout(linhaFiltro);

    m_modelo = new ModeloTermos(m_lista, this);
    grdTermos = new QTableView(this);
    grdTermos->setObjectName(QStringLiteral("grdTermos"));
    grdTermos->setModel(m_modelo);
    grdTermos->setSelectionBehavior(QAbstractItemView::SelectRows);
    grdTermos->setSelectionMode(QAbstractItemView::SingleSelection);
    grdTermos->setEditTriggers(QAbstractItemView::NoEditTriggers);
    grdTermos->setTabKeyNavigation(false);
    grdTermos->verticalHeader()->hide();
    grdTermos->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    grdTermos->horizontalHeader()->setStretchLastSection(true);
    grdTermos->installEventFilter(this);
    caixa->addWidget(grdTermos, 1);

    auto* botoes = new QHBoxLayout;
    btnAlterar = new QPushButton(QStringLiteral("&Alterar..."), this);
    btnAlterar->setObjectName(QStringLiteral("btnAlterar"));
    btnExcluir = new QPushButton(QStringLiteral("&Excluir"), this);
    btnExcluir->setObjectName(QStringLiteral("btnExcluir"));
    auto* fechar = new QPushButton(QStringLiteral("Fechar"), this);
    for (QPushButton* b : {btnAlterar, btnExcluir, fechar})
        b->setAutoDefault(false);
    botoes->addStretch(1);
    botoes->addWidget(btnAlterar);
    botoes->addWidget(btnExcluir);
    botoes->addWidget(fechar);
    caixa->addLayout(botoes);
    resize(760, 420);

    edtFiltro->installEventFilter(this);
    connect(edtFiltro, &QLineEdit::textChanged, this, [this](const QString& texto) {
        m_lista.filtra(texto);
        mostra(0);
    });
    connect(btnAlterar, &QPushButton::clicked, this, [this] { Dispatch([this] { alteraEscolhido(); }); });
    connect(btnExcluir, &QPushButton::clicked, this, [this] { Dispatch([this] { excluiEscolhido(); }); });
    connect(fechar, &QPushButton::clicked, this, &QDialog::accept);
    connect(grdTermos, &QAbstractItemView::doubleClicked, this, [this] { Dispatch([this] { alteraEscolhido(); }); });
    mostra(0);
    edtFiltro->setFocus();
}

JanelaTermos::~JanelaTermos() = default;

int JanelaTermos::escolhido() const
{
    const QModelIndex atual = grdTermos->currentIndex();
    return atual.isValid() && atual.row() < m_lista.quantos() ? atual.row() : -1;
}

void JanelaTermos::mostra(int escolher)
{
    m_modelo->refaz();
    const int quantos = m_lista.quantos();
    lblQuantos->setText(QStringLiteral("%1 de %2 termos").arg(quantos).arg(m_lista.total()));
    if (quantos > 0)
        grdTermos->setCurrentIndex(m_modelo->index(std::clamp(escolher, 0, quantos - 1), 0));
    btnAlterar->setEnabled(quantos > 0);
    btnExcluir->setEnabled(quantos > 0);
}

void JanelaTermos::muda(const std::function<void()>& mudanca, int escolher)
{
    try {
        mudanca();
        m_mudou = true;
    } catch (const EServerError& e) {
        // The list was read again: it shows the term as the server has it now.
        m_mudou = true;
        mostra(escolher);
        MessageDlg(QStringLiteral("%1\nA lista foi lida de novo e mostra os termos como estão agora no servidor.")
                       .arg(e.Message()),
                   mtWarning, mbOK);
        return;
    }
    mostra(escolher);
}

void JanelaTermos::alteraEscolhido()
{
    const int i = escolhido();
    if (i < 0)
        return;
    const quality::GlossaryTerm antes = m_lista.visivel(i).termo;
    NovoTermoDialog dialogo(antes, this);
    if (dialogo.exec() != QDialog::Accepted)
        return;
    const quality::GlossaryTerm depois = dialogo.termo();
    quality::GlossaryTerm semNumero = antes;
    semNumero.id = 0;
    if (depois == semNumero)
        return; // nothing changed: nothing written
    muda([&] { m_lista.altera(i, depois); }, i);
    grdTermos->setFocus();
}

void JanelaTermos::excluiEscolhido()
{
    const int i = escolhido();
    if (i < 0)
        return;
    const QString termo = m_lista.visivel(i).termo.source;
    if (MessageDlg(QStringLiteral("Excluir o termo \"%1\" do glossário de %2?").arg(termo, m_lista.idioma()),
                   mtConfirmation, mbYes | mbNo)
        != mrYes)
        return;
    muda([&] { m_lista.exclui(i); }, i);
    grdTermos->setFocus();
}

bool JanelaTermos::eventFilter(QObject* objeto, QEvent* evento)
{
    if (evento->type() == QEvent::KeyPress) {
        const auto* tecla = static_cast<QKeyEvent*>(evento);
        if (objeto == edtFiltro && tecla->key() == Qt::Key_Down && m_lista.quantos() > 0) {
            grdTermos->setFocus();
            return true;
        }
        if (objeto == grdTermos && tecla->modifiers() == Qt::NoModifier) {
            if (tecla->key() == Qt::Key_Return || tecla->key() == Qt::Key_Enter) {
                Dispatch([this] { alteraEscolhido(); });
                return true;
            }
            if (tecla->key() == Qt::Key_Delete) {
                Dispatch([this] { excluiEscolhido(); });
                return true;
            }
        }
    }
    return QDialog::eventFilter(objeto, evento);
}

} // namespace trd
