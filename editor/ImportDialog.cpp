#include "ImportDialog.h"

#include "DialogSeam.h"
#include "LarguraColunas.h"
#include "ProgressoDaTroca.h"
#include "TOpenDialog.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

#include <algorithm>

namespace trd {

using namespace exchange;

namespace {

QString texto(const std::string& utf8)
{
    return QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
}

QString situacao(char s)
{
    return s == 'T' ? QStringLiteral("Traduzido")
        : s == 'D'  ? QStringLiteral("Dúvida")
                    : QStringLiteral("Não Traduzido");
}

// A cell of a text that its column may cut.
QTableWidgetItem* comDica(const QString& text)
{
    auto* item = new QTableWidgetItem(text);
    item->setToolTip(text);
    return item;
}

QString resultado(Outcome o)
{
    switch (o) {
    case Outcome::New:
        return QStringLiteral("Nova tradução");
    case Outcome::Changed:
        return QStringLiteral("Alteração");
    case Outcome::Unchanged:
        return QStringLiteral("Sem mudança");
    case Outcome::Unmatched:
        return QStringLiteral("Sem linha");
    case Outcome::Conflict:
        return QStringLiteral("Conflito");
    case Outcome::Refused:
        return QStringLiteral("Recusada");
    }
    return {};
}

} // namespace

ImportDialog::ImportDialog(const QString& language, QWidget* parent) : QDialog(parent), m_idioma(language)
{
    setObjectName(QStringLiteral("dlgImportar"));
    setWindowTitle(QStringLiteral("Importar Tradução - %1").arg(language));
    setAttribute(Qt::WA_DeleteOnClose);
    resize(900, 520);
    auto* layout = new QVBoxLayout(this);
    auto* arquivo = new QHBoxLayout;
    arquivo->addWidget(new QLabel(QStringLiteral("Arquivo:"), this));
    edtArquivo = new QLineEdit(this);
    edtArquivo->setObjectName(QStringLiteral("edtArquivo"));
    btnProcurar = new QPushButton(QStringLiteral("..."), this);
    btnProcurar->setObjectName(QStringLiteral("btnProcurar"));
    btnLer = new QPushButton(QStringLiteral("Ler arquivo"), this);
    btnLer->setObjectName(QStringLiteral("btnLer"));
    btnLer->setDefault(true);
    arquivo->addWidget(edtArquivo, 1);
    arquivo->addWidget(btnProcurar);
    arquivo->addWidget(btnLer);

    lblResumo = new QLabel(this);
    lblResumo->setObjectName(QStringLiteral("lblResumo"));
    lblResumo->setWordWrap(true);
    tblUnidades = new QTableWidget(0, colCount, this);
    tblUnidades->setObjectName(QStringLiteral("tblUnidades"));
    tblUnidades->setHorizontalHeaderLabels({QStringLiteral("Resultado"), QStringLiteral("Tela"),
                                            QStringLiteral("Componente"), QStringLiteral("Idioma Origem"),
                                            QStringLiteral("No servidor"), QStringLiteral("No arquivo"),
                                            QStringLiteral("Motivo")});
    tblUnidades->setEditTriggers(QAbstractItemView::NoEditTriggers);
    tblUnidades->setSelectionBehavior(QAbstractItemView::SelectRows);
    tblUnidades->verticalHeader()->setVisible(false);
    tblUnidades->horizontalHeader()->setStretchLastSection(true);
    const ProgressoDaTroca progresso = CriaProgresso(this, m_runner);
    lblEtapa = progresso.etapa;
    pgbProgresso = progresso.barra;

    auto* botoes = new QHBoxLayout;
    btnMarcarConflitos = new QPushButton(QStringLiteral("Sobrescrever todos os conflitos"), this);
    btnMarcarConflitos->setObjectName(QStringLiteral("btnMarcarConflitos"));
    btnAplicar = new QPushButton(QStringLiteral("Aplicar"), this);
    btnAplicar->setObjectName(QStringLiteral("btnAplicar"));
    btnCancelar = new QPushButton(QStringLiteral("Cancelar"), this);
    btnCancelar->setObjectName(QStringLiteral("btnCancelar"));
    btnMarcarConflitos->setEnabled(false);
    btnAplicar->setEnabled(false);
    botoes->addWidget(btnMarcarConflitos);
    botoes->addStretch();
    botoes->addWidget(btnAplicar);
    botoes->addWidget(btnCancelar);

    layout->addLayout(arquivo);
    layout->addWidget(lblResumo);
    layout->addWidget(tblUnidades, 1);
    layout->addWidget(lblEtapa);
    layout->addWidget(pgbProgresso);
    layout->addLayout(botoes);

    connect(btnProcurar, &QPushButton::clicked, this, [this] { procurar(); });
    connect(btnLer, &QPushButton::clicked, this, [this] { ler(); });
    connect(btnAplicar, &QPushButton::clicked, this, [this] { aplicar(); });
    connect(btnCancelar, &QPushButton::clicked, this, [this] { reject(); });
    connect(btnMarcarConflitos, &QPushButton::clicked, this, [this] {
        for (int r = 0; r < tblUnidades->rowCount(); ++r)
            if (QTableWidgetItem* item = tblUnidades->item(r, colResultado);
                item && (item->flags() & Qt::ItemIsUserCheckable))
                item->setCheckState(Qt::Checked);
    });
    connect(&m_runner, &ExchangeRunner::finished, this, &ImportDialog::terminou);
}

void ImportDialog::procurar()
{
    TOpenDialog dialogo(this);
    dialogo.Title = QStringLiteral("Importar tradução de");
    dialogo.Filter = QStringLiteral("XLIFF e PO (*.xlf;*.xliff;*.po)|*.xlf;*.xliff;*.po|Todos (*)|*");
    if (dialogo.Execute())
        edtArquivo->setText(dialogo.FileName);
}

void ImportDialog::trabalhando(bool sim)
{
    for (QWidget* w : std::initializer_list<QWidget*>{edtArquivo, btnProcurar, btnLer, tblUnidades})
        w->setEnabled(!sim);
    btnAplicar->setEnabled(!sim && m_previa && m_previa->plan.entries.size() > 0);
    btnMarcarConflitos->setEnabled(!sim && m_previa && m_previa->plan.count(Outcome::Conflict) > 0);
    if (sim)
        pgbProgresso->setRange(0, 0);
}

void ImportDialog::ler()
{
    const QString arquivo = edtArquivo->text().trimmed();
    if (arquivo.isEmpty()) {
        MessageDlg(QStringLiteral("Informe o arquivo a importar."), mtError, mbOK);
        return;
    }
    m_previa.reset();
    tblUnidades->setRowCount(0);
    lblResumo->clear();
    m_etapa = Etapa::Lendo;
    trabalhando(true);
    auto previa = std::make_shared<ImportPreview>();
    const ServerAddress address = ExchangeRunner::editorServer();
    const QString idioma = m_idioma;
    m_runner.start([address, arquivo, idioma, previa](const JobControl& control) {
        *previa = prepareImport(address, arquivo, idioma, control);
    });
    // Kept here until the job ends: the thread fills it, the dialog shows it.
    m_previa = previa;
}

void ImportDialog::mostraPrevia()
{
    const Plan& plan = m_previa->plan;
    QStringList partes;
    for (int o = 0; o < OutcomeCount; ++o)
        partes << QStringLiteral("%1 %2")
                      .arg(plan.counts[static_cast<std::size_t>(o)])
                      .arg(outcomeName(static_cast<Outcome>(o)));
    lblResumo->setText(QStringLiteral("%1 unidades para %2: %3.")
                           .arg(plan.entries.size())
                           .arg(m_previa->language, partes.join(QStringLiteral(", "))));
    // Unchanged units are counted, not listed: a whole language would bury
    // the few lines that need a look.
    m_linhasDaTabela.clear();
    for (int i = 0; i < static_cast<int>(plan.entries.size()); ++i)
        if (plan.entries[static_cast<std::size_t>(i)].outcome != Outcome::Unchanged)
            m_linhasDaTabela.push_back(i);
    tblUnidades->setUpdatesEnabled(false);
    tblUnidades->setRowCount(static_cast<int>(m_linhasDaTabela.size()));
    for (int r = 0; r < static_cast<int>(m_linhasDaTabela.size()); ++r) {
        const PlanEntry& e = plan.entries[static_cast<std::size_t>(m_linhasDaTabela[static_cast<std::size_t>(r)])];
        const Unit& u = m_previa->document.units[static_cast<std::size_t>(e.unit)];
        auto* res = new QTableWidgetItem(resultado(e.outcome));
        if (e.outcome == Outcome::Conflict) {
            // Conflicts are overwritten only where the user ticks them.
            res->setFlags(res->flags() | Qt::ItemIsUserCheckable);
            res->setCheckState(Qt::Unchecked);
        }
        tblUnidades->setItem(r, colResultado, res);
        tblUnidades->setItem(r, colTela, new QTableWidgetItem(texto(u.program.value_or(std::string()))));
        tblUnidades->setItem(r, colComponente, new QTableWidgetItem(texto(u.component.value_or(std::string()))));
        tblUnidades->setItem(r, colOrigem, comDica(texto(u.source)));
        if (e.row >= 0) {
            const Row& row = m_previa->rows[static_cast<std::size_t>(e.row)];
            tblUnidades->setItem(r, colServidor,
                                 comDica(situacao(row.status) + QStringLiteral(": ") + texto(row.destination)));
            tblUnidades->setItem(r, colArquivo,
                                 comDica(situacao(e.status) + QStringLiteral(": ") + texto(e.destination)));
        }
        tblUnidades->setItem(r, colMotivo, comDica(e.reason));
    }
    tblUnidades->resizeColumnsToContents();
    // The reason is what the user decides on: it keeps its width (up to most
    // of the view) and the other columns share the rest, the long texts
    // giving way first; the last section stretches over what is left, and
    // each text a column may cut is whole in its tip.
    const int vista = tblUnidades->viewport()->width();
    const int motivo = std::min(tblUnidades->columnWidth(colMotivo), vista * 3 / 5);
    std::vector<int> conteudo;
    for (int c = 0; c < colMotivo; ++c)
        conteudo.push_back(tblUnidades->columnWidth(c));
    const std::vector<int> larguras =
        DivideLargura(conteudo, vista - motivo, tblUnidades->fontMetrics().averageCharWidth() * 8);
    for (int c = 0; c < colMotivo; ++c)
        tblUnidades->setColumnWidth(c, larguras[static_cast<std::size_t>(c)]);
    tblUnidades->setUpdatesEnabled(true);
}

void ImportDialog::aplicar()
{
    if (!m_previa)
        return;
    const Plan& plan = m_previa->plan;
    std::vector<bool> sobrescrever(plan.entries.size(), false);
    int conflitosEscolhidos = 0;
    for (int r = 0; r < tblUnidades->rowCount(); ++r)
        if (QTableWidgetItem* item = tblUnidades->item(r, colResultado);
            item && (item->flags() & Qt::ItemIsUserCheckable) && item->checkState() == Qt::Checked) {
            sobrescrever[static_cast<std::size_t>(m_linhasDaTabela[static_cast<std::size_t>(r)])] = true;
            ++conflitosEscolhidos;
        }
    const int aGravar = plan.count(Outcome::New) + plan.count(Outcome::Changed) + conflitosEscolhidos;
    if (aGravar == 0) {
        MessageDlg(QStringLiteral("Não há nada a gravar: o arquivo não muda nenhuma linha (ou só traz conflitos não "
                                  "marcados)."),
                   mtInformation, mbOK);
        return;
    }
    const int recusadas = plan.count(Outcome::Refused);
    if (recusadas > 0
        && MessageDlg(QStringLiteral("%1 unidade(s) do arquivo foram recusadas (veja o motivo na lista) e não serão "
                                     "gravadas. Gravar as outras %2?")
                          .arg(recusadas)
                          .arg(aGravar),
                      mtConfirmation, mbYes | mbNo)
            != mrYes)
        return;
    m_etapa = Etapa::Aplicando;
    trabalhando(true);
    btnCancelar->setEnabled(false); // once sent, the server decides
    const ServerAddress address = ExchangeRunner::editorServer();
    auto previa = m_previa;
    m_runner.start([this, address, previa, sobrescrever](const JobControl& control) {
        const AppliedImport aplicada = applyImport(address, *previa, sobrescrever, true, control);
        m_gravadas = aplicada.rows;
        m_lote = aplicada.batch;
    });
}

void ImportDialog::terminou(const QString& error, bool cancelled)
{
    const Etapa etapa = m_etapa;
    m_etapa = Etapa::Nada;
    pgbProgresso->setRange(0, 1);
    pgbProgresso->setValue(error.isEmpty() ? 1 : 0);
    btnCancelar->setEnabled(true);
    if (!error.isEmpty()) {
        if (etapa == Etapa::Lendo)
            m_previa.reset();
        trabalhando(false);
        lblEtapa->setText(error);
        if (!cancelled)
            MessageDlg(error, mtError, mbOK);
        return;
    }
    if (etapa == Etapa::Lendo) {
        trabalhando(false);
        lblEtapa->setText(QStringLiteral("Nada foi gravado ainda: confira a lista e clique em Aplicar."));
        mostraPrevia();
        return;
    }
    lblEtapa->setText(QStringLiteral("%1 linha(s) gravadas.").arg(m_gravadas));
    if (OnApplied)
        OnApplied();
    QString gravadas = QStringLiteral("%1 linha(s) de %2 gravadas.").arg(m_gravadas).arg(m_idioma);
    if (m_lote != 0)
        gravadas += QStringLiteral("\nA importação é o lote %1 do histórico: em Lotes de Alterações (Ctrl+Shift+H) ela "
                                   "pode ser desfeita inteira.")
                        .arg(m_lote);
    MessageDlg(gravadas, mtInformation, mbOK);
    accept();
}

void ImportDialog::reject()
{
    if (m_runner.running()) {
        if (m_etapa == Etapa::Lendo) {
            lblEtapa->setText(QStringLiteral("Cancelando..."));
            m_runner.cancel();
        }
        return;
    }
    QDialog::reject();
}

} // namespace trd
