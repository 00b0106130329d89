#include "ExportDialog.h"

#include "Cli_Trd09301.h"
#include "DialogSeam.h"
#include "ProgressoDaTroca.h"

#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

namespace trd {

using namespace exchange;

namespace {

constexpr Format Formats[] = {Format::Xliff12, Format::Xliff21, Format::Po};

} // namespace

ExportDialog::ExportDialog(const QString& language, bool filtered, QWidget* parent)
    : QDialog(parent), m_idioma(language)
{
    setObjectName(QStringLiteral("dlgExportar"));
    setWindowTitle(QStringLiteral("Exportar Tradução"));
    setAttribute(Qt::WA_DeleteOnClose);
    auto* layout = new QVBoxLayout(this);
    auto* form = new QFormLayout;
    cbbFormato = new QComboBox(this);
    cbbFormato->setObjectName(QStringLiteral("cbbFormato"));
    for (Format f : Formats)
        cbbFormato->addItem(QString::fromLatin1(formatName(f)));
    form->addRow(QStringLiteral("Formato:"), cbbFormato);

    auto* linhas = new QGroupBox(QStringLiteral("Linhas"), this);
    auto* linhasLayout = new QVBoxLayout(linhas);
    rbtIdioma = new QRadioButton(QStringLiteral("Todo o idioma %1").arg(language), linhas);
    rbtIdioma->setObjectName(QStringLiteral("rbtIdioma"));
    rbtFiltro = new QRadioButton(QStringLiteral("As linhas do filtro atual"), linhas);
    rbtFiltro->setObjectName(QStringLiteral("rbtFiltro"));
    rbtFiltro->setEnabled(filtered);
    (filtered ? rbtFiltro : rbtIdioma)->setChecked(true);
    linhasLayout->addWidget(rbtIdioma);
    linhasLayout->addWidget(rbtFiltro);

    auto* arquivo = new QHBoxLayout;
    edtArquivo = new QLineEdit(this);
    edtArquivo->setObjectName(QStringLiteral("edtArquivo"));
    edtArquivo->setMinimumWidth(320);
    btnProcurar = new QPushButton(QStringLiteral("..."), this);
    btnProcurar->setObjectName(QStringLiteral("btnProcurar"));
    arquivo->addWidget(edtArquivo);
    arquivo->addWidget(btnProcurar);
    form->addRow(QStringLiteral("Arquivo:"), arquivo);

    const ProgressoDaTroca progresso = CriaProgresso(this, m_runner);
    lblEtapa = progresso.etapa;
    pgbProgresso = progresso.barra;

    auto* botoes = new QHBoxLayout;
    btnExportar = new QPushButton(QStringLiteral("Exportar"), this);
    btnExportar->setObjectName(QStringLiteral("btnExportar"));
    btnExportar->setDefault(true);
    btnCancelar = new QPushButton(QStringLiteral("Cancelar"), this);
    btnCancelar->setObjectName(QStringLiteral("btnCancelar"));
    botoes->addStretch();
    botoes->addWidget(btnExportar);
    botoes->addWidget(btnCancelar);

    layout->addLayout(form);
    layout->addWidget(linhas);
    layout->addWidget(lblEtapa);
    layout->addWidget(pgbProgresso);
    layout->addLayout(botoes);

    edtArquivo->setText(QDir::current().filePath(defaultFileName(language, Format::Xliff12)));
    connect(cbbFormato, &QComboBox::currentIndexChanged, this, [this] { formatoMudou(); });
    connect(btnProcurar, &QPushButton::clicked, this, [this] { procurar(); });
    connect(btnExportar, &QPushButton::clicked, this, [this] { exportar(); });
    connect(btnCancelar, &QPushButton::clicked, this, [this] { reject(); });
    connect(&m_runner, &ExchangeRunner::finished, this, &ExportDialog::terminou);
}

QString defaultFileName(const QString& language, Format format)
{
    return language + u'.' + QLatin1String(formatExtension(format));
}

void ExportDialog::formatoMudou()
{
    // The proposed name follows the format while the user keeps its folder.
    const Format format = Formats[cbbFormato->currentIndex()];
    const QFileInfo atual(edtArquivo->text());
    if (atual.completeBaseName() == m_idioma)
        edtArquivo->setText(atual.dir().filePath(defaultFileName(m_idioma, format)));
}

void ExportDialog::procurar()
{
    const QString nome = QFileDialog::getSaveFileName(this, QStringLiteral("Exportar para"), edtArquivo->text(),
                                                      QStringLiteral("XLIFF (*.xlf *.xliff);;PO (*.po);;Todos (*)"));
    if (!nome.isEmpty())
        edtArquivo->setText(nome);
}

void ExportDialog::exportar()
{
    const QString arquivo = edtArquivo->text().trimmed();
    if (arquivo.isEmpty()) {
        MessageDlg(QStringLiteral("Informe o arquivo para onde exportar."), mtError, mbOK);
        return;
    }
    if (QFileInfo::exists(arquivo)
        && MessageDlg(QStringLiteral("O arquivo %1 já existe. Substituir?").arg(arquivo), mtConfirmation, mbYes | mbNo)
            != mrYes)
        return;
    ExportRequest request;
    request.format = Formats[cbbFormato->currentIndex()];
    request.path = arquivo;
    request.selection.language = m_idioma;
    if (rbtFiltro->isChecked()) {
        // The criteria the editor's reload repeats.
        request.selection.filtered = true;
        request.selection.statusT = stTRAD;
        request.selection.statusD = stDUV;
        request.selection.statusN = stNTRAD;
        request.selection.fragment = stPARAMSQL;
        request.selection.firstDate = dtDataIni;
        request.selection.lastDate = dtDataFin;
        request.selection.dateMode = stDataTrad;
    }
    for (QWidget* w :
         std::initializer_list<QWidget*>{cbbFormato, rbtIdioma, rbtFiltro, edtArquivo, btnProcurar, btnExportar})
        w->setEnabled(false);
    pgbProgresso->setRange(0, 0);
    const ServerAddress address = ExchangeRunner::editorServer();
    m_runner.start([this, address, request](const JobControl& control) {
        const ExportSummary s = runExport(address, request, control);
        m_resumo = QStringLiteral("%1 linhas de %2 exportadas para %3.").arg(s.rows).arg(s.language, s.path);
    });
}

void ExportDialog::terminou(const QString& error, bool cancelled)
{
    pgbProgresso->setRange(0, 1);
    pgbProgresso->setValue(error.isEmpty() ? 1 : 0);
    if (error.isEmpty()) {
        lblEtapa->setText(m_resumo);
        MessageDlg(m_resumo, mtInformation, mbOK);
        accept();
        return;
    }
    lblEtapa->setText(error);
    for (QWidget* w : std::initializer_list<QWidget*>{cbbFormato, rbtIdioma, edtArquivo, btnProcurar, btnExportar})
        w->setEnabled(true);
    rbtFiltro->setEnabled(boTestaFiltro);
    if (!cancelled)
        MessageDlg(error, mtError, mbOK);
}

void ExportDialog::reject()
{
    if (!CancelaSeRodando(m_runner, lblEtapa))
        QDialog::reject();
}

} // namespace trd
