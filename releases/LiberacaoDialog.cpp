#include "LiberacaoDialog.h"

#include "AplicacaoAcompanhada.h"

#include "DialogSeam.h"
#include "PreviaModelo.h"
#include "TOpenDialog.h"
#include "TSocketConnection.h"
#include "ServerCalls.h"

#include <QAbstractTextDocumentLayout>
#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QProgressBar>
#include <QPushButton>
#include <QSpinBox>
#include <QStyledItemDelegate>
#include <QTableView>
#include <QTextDocument>
#include <QVBoxLayout>

namespace trd::liberacao {

using exchange::JobControl;
using exchange::ServerAddress;

namespace {

// A release file larger than this is no application's set of screen texts.
constexpr qint64 kMaiorArquivo = 200LL * 1024 * 1024;
// How long the apply may take on the server before the client stops waiting.

// Paints a cell's rich text (the changed words marked) instead of its plain text.
class MarcasDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override
    {
        const QVariant html = index.data(LinhasModelo::MarcadoRole);
        if (!html.isValid()) {
            QStyledItemDelegate::paint(painter, option, index);
            return;
        }
        QStyleOptionViewItem opcao = option;
        initStyleOption(&opcao, index);
        opcao.text.clear();
        opcao.widget->style()->drawControl(QStyle::CE_ItemViewItem, &opcao, painter, opcao.widget);
        QTextDocument documento;
        documento.setDefaultFont(opcao.font);
        documento.setDocumentMargin(2);
        documento.setHtml(html.toString());
        documento.setTextWidth(opcao.rect.width());
        painter->save();
        // Centred in the row as the plain cells beside it are.
        const int acima = std::max(0, (opcao.rect.height() - static_cast<int>(documento.size().height())) / 2);
        painter->translate(opcao.rect.topLeft() + QPoint(0, acima));
        painter->setClipRect(QRect(QPoint(0, -acima), opcao.rect.size()));
        QAbstractTextDocumentLayout::PaintContext contexto;
        if (opcao.state & QStyle::State_Selected)
            contexto.palette.setColor(QPalette::Text, opcao.palette.color(QPalette::HighlightedText));
        documento.documentLayout()->draw(painter, contexto);
        painter->restore();
    }
};

QString leArquivo(const QString& caminho, const JobControl& controle)
{
    controle.report(QStringLiteral("Lendo o arquivo"));
    QFile arquivo(caminho);
    if (!arquivo.open(QIODevice::ReadOnly))
        throw Exception(QStringLiteral("Não foi possível abrir o arquivo %1: %2").arg(caminho, arquivo.errorString()));
    if (arquivo.size() > kMaiorArquivo)
        throw Exception(QStringLiteral("O arquivo %1 tem %2 MiB; uma liberação tem no máximo %3 MiB.")
                            .arg(caminho)
                            .arg(arquivo.size() / (1024 * 1024))
                            .arg(kMaiorArquivo / (1024 * 1024)));
    const Arquivo lido = LeArquivo(arquivo.readAll());
    if (!lido.erro.isEmpty())
        throw Exception(lido.erro);
    controle.checkCancel();
    return lido.texto;
}

QLabel* rotulo(const QString& texto, QWidget* pai)
{
    return new QLabel(texto, pai);
}

} // namespace

LiberacaoDialog::LiberacaoDialog(const QString& idioma, const QString& motivoSemAplicar, QWidget* parent)
    : QDialog(parent), m_idiomaInicial(idioma), m_motivoSemAplicar(motivoSemAplicar),
      m_contagens(new ContagensModelo(this)), m_linhas(new LinhasModelo(this))
{
    setObjectName(QStringLiteral("dlgLiberacao"));
    setWindowTitle(QStringLiteral("Liberação do Aplicativo"));
    setAttribute(Qt::WA_DeleteOnClose);
    resize(1000, 640);
    auto* layout = new QVBoxLayout(this);

    auto* arquivo = new QHBoxLayout;
    arquivo->addWidget(rotulo(QStringLiteral("Arquivo da liberação:"), this));
    edtArquivo = new QLineEdit(this);
    edtArquivo->setObjectName(QStringLiteral("edtArquivo"));
    btnProcurar = new QPushButton(QStringLiteral("..."), this);
    btnProcurar->setObjectName(QStringLiteral("btnProcurar"));
    btnPrevia = new QPushButton(QStringLiteral("&Prévia"), this);
    btnPrevia->setObjectName(QStringLiteral("btnPrevia"));
    btnPrevia->setDefault(true);
    arquivo->addWidget(edtArquivo, 1);
    arquivo->addWidget(btnProcurar);
    arquivo->addWidget(btnPrevia);

    auto* opcoes = new QHBoxLayout;
    spnLimiar = new QSpinBox(this);
    spnLimiar->setObjectName(QStringLiteral("spnLimiar"));
    spnLimiar->setRange(50, 100);
    spnLimiar->setValue(m_opcoes.limiar);
    spnLimiar->setSuffix(QStringLiteral(" %"));
    spnLimite = new QSpinBox(this);
    spnLimite->setObjectName(QStringLiteral("spnLimite"));
    spnLimite->setRange(0, 100);
    spnLimite->setValue(m_opcoes.limiteObsoletas);
    spnLimite->setSuffix(QStringLiteral(" %"));
    chkMemoria = new QCheckBox(QStringLiteral("Oferecer às novas a tradução idêntica da &memória"), this);
    chkMemoria->setObjectName(QStringLiteral("chkMemoria"));
    chkMemoria->setChecked(m_opcoes.memoria);
    opcoes->addWidget(rotulo(QStringLiteral("Similaridade mínima:"), this));
    opcoes->addWidget(spnLimiar);
    opcoes->addSpacing(12);
    opcoes->addWidget(rotulo(QStringLiteral("Obsoletas sem confirmar até:"), this));
    opcoes->addWidget(spnLimite);
    opcoes->addSpacing(12);
    opcoes->addWidget(chkMemoria);
    opcoes->addStretch();

    lblResumo = new QLabel(this);
    lblResumo->setObjectName(QStringLiteral("lblResumo"));
    lblResumo->setWordWrap(true);
    lblResumo->setTextInteractionFlags(Qt::TextSelectableByMouse);
    lblAvisos = new QLabel(this);
    lblAvisos->setObjectName(QStringLiteral("lblAvisos"));
    lblAvisos->setWordWrap(true);
    lblAvisos->setStyleSheet(QStringLiteral("color: #a00000; font-weight: bold"));
    lblAvisos->hide();
    chkConfirmar =
        new QCheckBox(QStringLiteral("Aplicar mesmo assim: confirmo que essas linhas devem ficar obsoletas"), this);
    chkConfirmar->setObjectName(QStringLiteral("chkConfirmar"));
    chkConfirmar->hide();

    auto* idiomaLinha = new QHBoxLayout;
    cbbIdioma = new QComboBox(this);
    cbbIdioma->setObjectName(QStringLiteral("cbbIdioma"));
    cbbIdioma->setMinimumContentsLength(6);
    idiomaLinha->addWidget(rotulo(QStringLiteral("Idioma:"), this));
    idiomaLinha->addWidget(cbbIdioma);
    idiomaLinha->addStretch();

    tblContagens = new QTableView(this);
    tblContagens->setObjectName(QStringLiteral("tblContagens"));
    tblContagens->setModel(m_contagens);
    tblContagens->setSelectionBehavior(QAbstractItemView::SelectRows);
    tblContagens->setEditTriggers(QAbstractItemView::NoEditTriggers);
    tblContagens->verticalHeader()->setVisible(false);
    tblContagens->horizontalHeader()->setStretchLastSection(true);

    auto* mostrarLinha = new QHBoxLayout;
    cbbMostrar = new QComboBox(this);
    cbbMostrar->setObjectName(QStringLiteral("cbbMostrar"));
    cbbMostrar->addItems({QStringLiteral("Reescritas e movidas"), QStringLiteral("Novas"), QStringLiteral("Revividas"),
                          QStringLiteral("Obsoletas"), QStringLiteral("Todas")});
    mostrarLinha->addWidget(rotulo(QStringLiteral("Linhas:"), this));
    mostrarLinha->addWidget(cbbMostrar);
    mostrarLinha->addStretch();

    tblLinhas = new QTableView(this);
    tblLinhas->setObjectName(QStringLiteral("tblLinhas"));
    tblLinhas->setModel(m_linhas);
    tblLinhas->setItemDelegate(new MarcasDelegate(tblLinhas));
    tblLinhas->setSelectionBehavior(QAbstractItemView::SelectRows);
    tblLinhas->setEditTriggers(QAbstractItemView::NoEditTriggers);
    tblLinhas->verticalHeader()->setVisible(false);
    tblLinhas->horizontalHeader()->setStretchLastSection(true);
    tblLinhas->setWordWrap(false);

    lblEtapa = new QLabel(this);
    lblEtapa->setObjectName(QStringLiteral("lblEtapa"));
    pgbProgresso = new QProgressBar(this);
    pgbProgresso->setObjectName(QStringLiteral("pgbProgresso"));
    pgbProgresso->setRange(0, 1);
    pgbProgresso->setValue(0);

    auto* botoes = new QHBoxLayout;
    btnAplicar = new QPushButton(QStringLiteral("&Aplicar"), this);
    btnAplicar->setObjectName(QStringLiteral("btnAplicar"));
    btnCancelar = new QPushButton(QStringLiteral("Fechar"), this);
    btnCancelar->setObjectName(QStringLiteral("btnCancelar"));
    botoes->addStretch();
    botoes->addWidget(btnAplicar);
    botoes->addWidget(btnCancelar);

    layout->addLayout(arquivo);
    layout->addLayout(opcoes);
    layout->addWidget(lblResumo);
    layout->addWidget(lblAvisos);
    layout->addWidget(chkConfirmar);
    layout->addLayout(idiomaLinha);
    layout->addWidget(tblContagens, 2);
    layout->addLayout(mostrarLinha);
    layout->addWidget(tblLinhas, 3);
    layout->addWidget(lblEtapa);
    layout->addWidget(pgbProgresso);
    layout->addLayout(botoes);

    connect(btnProcurar, &QPushButton::clicked, this, [this] { procurar(); });
    connect(btnPrevia, &QPushButton::clicked, this, [this] { pedePrevia(); });
    connect(btnAplicar, &QPushButton::clicked, this, [this] { aplicar(); });
    connect(btnCancelar, &QPushButton::clicked, this, [this] { reject(); });
    connect(cbbIdioma, &QComboBox::currentIndexChanged, this, [this] { mostra(); });
    connect(cbbMostrar, &QComboBox::currentIndexChanged, this, [this] { mostraLinhas(); });
    // A preview holds for the options it was made with: changed, it must be made again.
    for (QSpinBox* s : {spnLimiar, spnLimite})
        connect(s, &QSpinBox::valueChanged, this, [this] { habilita(); });
    connect(chkMemoria, &QCheckBox::toggled, this, [this] { habilita(); });
    connect(chkConfirmar, &QCheckBox::toggled, this, [this] { habilita(); });
    connect(edtArquivo, &QLineEdit::textChanged, this, [this] { habilita(); });
    connect(&m_runner, &ExchangeRunner::progress, this, [this](const QString& passo, qint64 feitos, qint64 total) {
        m_passo = passo;
        if (m_etapa == Etapa::Aplicacao && total > 0) {
            pgbProgresso->setRange(0, static_cast<int>(total));
            pgbProgresso->setValue(static_cast<int>(feitos));
        }
        if (m_etapa == Etapa::Aplicacao && passo.startsWith(QStringLiteral("Aplicando")))
            m_enviada = true;
        // The server is committing (or took no cancel): from here it is all or nothing, its word awaited.
        if (m_etapa == Etapa::Aplicacao
            && (passo.contains(QStringLiteral("confirmando no servidor"))
                || passo.startsWith(QStringLiteral("Tarde demais")))) {
            m_semVolta = true;
            btnCancelar->setEnabled(false);
        }
        lblEtapa->setText(passo);
    });
    connect(&m_runner, &ExchangeRunner::finished, this, &LiberacaoDialog::terminou);
    m_segundos.setInterval(1000);
    connect(&m_segundos, &QTimer::timeout, this,
            [this] { lblEtapa->setText(QStringLiteral("%1... %2 s").arg(m_passo).arg(m_relogio.elapsed() / 1000)); });
    habilita();
}

void LiberacaoDialog::procurar()
{
    TOpenDialog dialogo(this);
    dialogo.Title = QStringLiteral("Arquivo da liberação");
    dialogo.Filter = QStringLiteral("Liberação (*.tsv;*.txt)|*.tsv;*.txt|Todos (*)|*");
    if (dialogo.Execute())
        edtArquivo->setText(dialogo.FileName);
}

void LiberacaoDialog::habilita()
{
    const bool trabalhando = m_runner.running();
    for (QWidget* w :
         std::initializer_list<QWidget*>{edtArquivo, btnProcurar, btnPrevia, spnLimiar, spnLimite, chkMemoria})
        w->setEnabled(!trabalhando);
    // The apply sends what was previewed, with the options of that preview.
    const bool previaValida = m_previa && !m_aplicada && m_opcoes.limiar == spnLimiar->value()
        && m_opcoes.limiteObsoletas == spnLimite->value() && m_opcoes.memoria == chkMemoria->isChecked();
    // A tripped guard (an empty file, too many rows leaving) wants the box ticked first.
    const bool confirmada = !m_previa || !m_previa->precisaConfirmar() || chkConfirmar->isChecked();
    btnAplicar->setEnabled(!trabalhando && previaValida && confirmada && m_motivoSemAplicar.isEmpty());
    btnAplicar->setToolTip(m_motivoSemAplicar);
    btnCancelar->setText(trabalhando ? QStringLiteral("Cancelar") : QStringLiteral("Fechar"));
    btnCancelar->setEnabled(!trabalhando || !m_semVolta);
}

void LiberacaoDialog::pedePrevia()
{
    const QString caminho = edtArquivo->text().trimmed();
    if (caminho.isEmpty()) {
        MessageDlg(QStringLiteral("Informe o arquivo da liberação."), mtError, mbOK);
        edtArquivo->setFocus();
        return;
    }
    m_previa.reset();
    m_aplicada = false;
    m_contagens->mostra(nullptr, {});
    m_linhas->mostra(nullptr, {});
    lblResumo->clear();
    lblAvisos->hide();
    chkConfirmar->setChecked(false);
    chkConfirmar->hide();
    m_opcoes = {spnLimiar->value(), spnLimite->value(), chkMemoria->isChecked()};
    m_etapa = Etapa::Previa;
    m_enviada = false;
    auto resultado = std::make_shared<Previa>();
    auto texto = std::make_shared<QString>();
    m_resultado = resultado;
    const ServerAddress endereco = ExchangeRunner::editorServer();
    const Opcoes opcoes = m_opcoes;
    m_runner.start([endereco, caminho, opcoes, resultado, texto](const JobControl& controle) {
        *texto = leArquivo(caminho, controle);
        auto conexao = ConexaoDaJanela(endereco, &controle);
        controle.report(QStringLiteral("Comparando a liberação com as linhas do servidor"));
        *resultado = LePrevia(PedePrevia(*conexao, *texto, opcoes));
    });
    // The text stays with the preview: the apply sends exactly what was previewed.
    connect(
        &m_runner, &ExchangeRunner::finished, this, [this, texto] { m_arquivo = *texto; }, Qt::SingleShotConnection);
    m_relogio.start();
    m_segundos.start();
    pgbProgresso->setRange(0, 0);
    habilita();
}

void LiberacaoDialog::aplicar()
{
    if (!m_previa || m_aplicada || !m_motivoSemAplicar.isEmpty())
        return;
    const QString guarda = PedidoDeConfirmacao(*m_previa);
    qint64 alteradas = 0;
    for (const Idioma& i : m_previa->idiomas)
        alteradas += i.total.alteradas();
    if (guarda.isEmpty() && alteradas == 0) {
        MessageDlg(
            QStringLiteral("A liberação não muda nenhuma linha: todas as chaves do arquivo já estão como ele diz."),
            mtInformation, mbOK);
        return;
    }
    const bool confirmado = !guarda.isEmpty();
    if (confirmado && !chkConfirmar->isChecked())
        return;
    const QString pergunta = confirmado
        ? guarda
        : QStringLiteral("Aplicar a liberação a %1 idioma(s)? As linhas que saem ficam obsoletas (nada é apagado), e a "
                         "liberação pode ser desfeita depois em Lotes de Alterações.")
              .arg(m_previa->idiomas.size());
    if (MessageDlg(pergunta, confirmado ? mtWarning : mtConfirmation, mbYes | mbNo) != mrYes)
        return;
    m_etapa = Etapa::Aplicacao;
    m_enviada = false;
    m_semVolta = false;
    auto resultado = std::make_shared<Previa>();
    m_resultado = resultado;
    const ServerAddress endereco = ExchangeRunner::editorServer();
    const Opcoes opcoes = m_opcoes;
    const QString texto = m_arquivo;
    // The call is never broken off: the server applies all of it or nothing,
    // and a cancel is the server's to take, until its commit.
    m_runner.start([endereco, opcoes, texto, confirmado, resultado](const JobControl& controle) {
        *resultado = LePrevia(AplicaAcompanhando(endereco, texto, opcoes, confirmado, controle));
    });
    m_relogio.start();
    m_segundos.start();
    pgbProgresso->setRange(0, 0);
    habilita();
}

void LiberacaoDialog::terminou(const QString& erro, bool cancelado)
{
    const Etapa etapa = m_etapa;
    const bool enviada = m_enviada;
    m_etapa = Etapa::Nada;
    m_enviada = false;
    m_semVolta = false;
    m_segundos.stop();
    pgbProgresso->setRange(0, 1);
    pgbProgresso->setValue(erro.isEmpty() ? 1 : 0);
    if (!erro.isEmpty()) {
        habilita();
        QString mensagem = erro;
        if (etapa == Etapa::Aplicacao && enviada && !cancelado)
            mensagem += QStringLiteral("\n\nSe a resposta do servidor não chegou, a liberação pode ter sido aplicada "
                                       "inteira ou não ter sido aplicada: faça a prévia de novo (aplicada, ela mostra "
                                       "todas as linhas mantidas) ou veja os Lotes de Alterações.");
        lblEtapa->setText(cancelado ? QStringLiteral("Cancelado: nada foi gravado.") : erro);
        if (!cancelado)
            MessageDlg(mensagem, mtError, mbOK);
        return;
    }
    m_previa = m_resultado;
    if (etapa == Etapa::Previa) {
        lblEtapa->setText(QStringLiteral("Prévia pronta: nada foi gravado ainda."));
        mostra();
        habilita();
        return;
    }
    m_aplicada = true;
    lblEtapa->setText(QStringLiteral("Liberação aplicada."));
    mostra();
    habilita();
    const QString resumo = ResumoDoResultado(*m_previa);
    MessageDlg(resumo, mtInformation, mbOK);
    if (OnAplicada)
        OnAplicada(*m_previa);
}

void LiberacaoDialog::mostra()
{
    if (!m_previa) {
        m_contagens->mostra(nullptr, {});
        m_linhas->mostra(nullptr, {});
        return;
    }
    const QStringList codigos = m_previa->codigos();
    QStringList nosItens;
    for (int i = 0; i < cbbIdioma->count(); ++i)
        nosItens << cbbIdioma->itemText(i);
    if (nosItens != codigos) {
        const QString antes = cbbIdioma->currentText();
        const QSignalBlocker quieto(cbbIdioma);
        cbbIdioma->clear();
        cbbIdioma->addItems(codigos);
        const QString escolhido = codigos.contains(antes) ? antes
            : codigos.contains(m_idiomaInicial)           ? m_idiomaInicial
                                                          : QString();
        cbbIdioma->setCurrentIndex(escolhido.isEmpty() ? 0 : codigos.indexOf(escolhido));
    }
    const QString codigo = cbbIdioma->currentText();
    m_contagens->mostra(m_previa, codigo);
    tblContagens->resizeColumnsToContents();

    QStringList partes;
    for (const Idioma& i : m_previa->idiomas)
        partes << QStringLiteral("%1: %2 de %3 linhas vivas mudam")
                      .arg(i.codigo)
                      .arg(i.total.alteradas())
                      .arg(i.total.vivas);
    lblResumo->setText((m_aplicada ? QStringLiteral("Aplicada. ") : QStringLiteral("Prévia (nada foi gravado). "))
                       + (partes.isEmpty() ? QStringLiteral("O servidor não tem idiomas.")
                                           : partes.join(QStringLiteral("; ")) + QLatin1Char('.')));
    QStringList avisos;
    if (!m_aplicada)
        for (const Idioma& i : m_previa->idiomas)
            if (i.confirmar && !i.aviso.isEmpty())
                avisos << i.aviso;
    avisos.removeDuplicates();
    lblAvisos->setText(avisos.join(QLatin1Char('\n')));
    lblAvisos->setVisible(!avisos.isEmpty());
    chkConfirmar->setVisible(!avisos.isEmpty() || (!m_aplicada && m_previa->precisaConfirmar()));
    mostraLinhas();
}

void LiberacaoDialog::mostraLinhas()
{
    static const QList<QList<Tipo>> tipos = {
        {Tipo::Reescrita, Tipo::Movida}, {Tipo::Nova}, {Tipo::Revivida}, {Tipo::Obsoleta}, {}};
    const int escolha = std::clamp(cbbMostrar->currentIndex(), 0, static_cast<int>(tipos.size()) - 1);
    m_linhas->mostra(m_previa, cbbIdioma->currentText(), tipos[escolha]);
    tblLinhas->resizeColumnsToContents();
    // The two sources share what the view has left after the short columns.
    const int vista = tblLinhas->viewport()->width();
    int curtas = 0;
    for (int c :
         {LinhasModelo::colTipo, LinhasModelo::colPrograma, LinhasModelo::colComponente, LinhasModelo::colSimilaridade})
        curtas += tblLinhas->columnWidth(c);
    const int fonte = std::max(160, (vista - curtas) * 3 / 8);
    tblLinhas->setColumnWidth(LinhasModelo::colAnterior, fonte);
    tblLinhas->setColumnWidth(LinhasModelo::colNova, fonte);
}

void LiberacaoDialog::reject()
{
    if (m_runner.running()) {
        if (!m_semVolta) {
            lblEtapa->setText(QStringLiteral("Cancelando..."));
            m_runner.cancel();
        }
        return;
    }
    QDialog::reject();
}

} // namespace trd::liberacao
