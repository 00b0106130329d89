#include "TfrmDadosGerRel.h"

#include "Glyphs.h"
#include "MensErro.h"
#include "ReportDefinition.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QHBoxLayout>
#include <QInputDialog>
#include <QLabel>
#include <QSettings>
#include <QShortcut>
#include <QVBoxLayout>
#include <QXmlStreamReader>

#include <algorithm>

namespace trd {

namespace {

// The report list's width in letters: room for a usual title at least, and
// never so much that one long title widens the dialog past a screen's share.
constexpr int MenorTitulo = 24;
constexpr int MaiorTitulo = 56;

// The title a definition file gives itself, read from its root element only;
// the file name when it has none or does not read (running it then names the fault).
QString reportTitle(const QString& path)
{
    QFile file(path);
    if (file.open(QIODevice::ReadOnly)) {
        QXmlStreamReader xml(&file);
        if (xml.readNextStartElement() && xml.name() == u"report") {
            const QString title = xml.attributes().value(QStringLiteral("title")).toString().trimmed();
            if (!title.isEmpty())
                return title;
        }
    }
    return QFileInfo(path).completeBaseName();
}

// A file name part from a title: letters and digits, the rest as '_'.
QString slug(const QString& title)
{
    QString s;
    for (QChar c : title.normalized(QString::NormalizationForm_D)) {
        if (c.isLetterOrNumber() && c.unicode() < 128)
            s += c.toLower();
        else if (c.category() == QChar::Mark_NonSpacing)
            continue;
        else if (!s.endsWith(u'_'))
            s += u'_';
    }
    while (s.endsWith(u'_'))
        s.chop(1);
    while (s.startsWith(u'_'))
        s.remove(0, 1);
    return s.isEmpty() ? QStringLiteral("relatorio") : s.left(60);
}

// The catalog's "%s" placeholders filled in order.
QString fillS(QString text, std::initializer_list<QString> values)
{
    for (const QString& v : values) {
        const qsizetype at = text.indexOf(QStringLiteral("%s"));
        if (at < 0)
            break;
        text.replace(at, 2, v);
    }
    return text;
}

} // namespace

TfrmDadosGerRel::TfrmDadosGerRel(QWidget* parent) : TfrmRotiGeral(parent)
{
    panRelat = make<QFrame>("panRelat", this);
    panRelat->setFrameShape(QFrame::StyledPanel);
    auto* row = new QHBoxLayout(panRelat);
    row->setContentsMargins(6, 3, 6, 3);
    row->setSpacing(2);
    auto* caption = make<QLabel>("lblRelatorio", QStringLiteral("&Relatório:"), panRelat);
    row->addWidget(caption);
    cbbReportNames = make<QComboBox>("cbbReportNames", panRelat);
    cbbReportNames->setEditable(false);
    cbbReportNames->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    cbbReportNames->setMinimumContentsLength(MenorTitulo);
    caption->setBuddy(cbbReportNames);
    row->addWidget(cbbReportNames, 1);

    auto addButton = [&](const char* name, glyphs::Kind glyph, const QString& hint, auto handler) {
        auto* b = make<TButtonFlat>(name, panRelat);
        b->setFixedSize(21, 21);
        b->SetGlyph(glyphs::TwoGlyphs(glyph));
        b->SetHint(hint);
        b->setFocusPolicy(Qt::TabFocus);
        b->OnClick = [this, handler](QObject* sender) { (this->*handler)(sender); };
        row->addWidget(b);
        return b;
    };
    sbtExecRel = addButton("sbtExecRel", glyphs::Imprimir, QStringLiteral("Visualizar o relatório (F9)"),
                           &TfrmDadosGerRel::sbtExecRelClick);
    sbtEditRel = addButton("sbtEditRel", glyphs::Alterar, QStringLiteral("Editar o relatório (Ctrl+E)"),
                           &TfrmDadosGerRel::sbtEditRelClick);
    sbtNovoRel = addButton("sbtNovoRel", glyphs::Incluir, QStringLiteral("Novo relatório (Ctrl+N)"),
                           &TfrmDadosGerRel::sbtNovoRelClick);
    sbtExclRel = addButton("sbtExclRel", glyphs::Excluir, QStringLiteral("Excluir o relatório (Ctrl+Del)"),
                           &TfrmDadosGerRel::sbtExclRelClick);
    lblCodRel = make<QLabel>("lblCodRel", panRelat);
    // The report code is read whole, never squeezed by the list beside it.
    lblCodRel->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Preferred);
    row->addWidget(lblCodRel);
    leftColumn()->addWidget(panRelat);

    auto shortcut = [this](QKeySequence keys, TButtonFlat* button) {
        auto* s = new QShortcut(keys, this);
        connect(s, &QShortcut::activated, button, &QToolButton::click);
    };
    shortcut(QKeySequence(Qt::Key_F9), sbtExecRel);
    shortcut(QKeySequence(Qt::CTRL | Qt::Key_E), sbtEditRel);
    shortcut(QKeySequence(Qt::CTRL | Qt::Key_N), sbtNovoRel);
    shortcut(QKeySequence(Qt::CTRL | Qt::Key_Delete), sbtExclRel);

    msgMensagens = make<TMessages>("msgMensagens", this);
    msgMensagens->Messages = {
        QStringLiteral(
            "Arq_Rel_Err|O arquivo contendo a definição do relatório de código '%s' não foi encontrado no diretório '%s'."),
        QStringLiteral("NovoCaption|Título do relatório"),
        QStringLiteral("NovoPrompt|Informe o título do relatório:"),
        QStringLiteral("REG_NULL|AVISO: O diretório dos arquivos de tradução não foi definido no registro."),
        QStringLiteral("Excluir_Rel|Excluir o relatório '%s'?"),
    };
    netQRDesign = make<TNetConnection>("netQRDesign", this);
    rpddPadrao = make<TReportDesignerDialog>("rpddPadrao", this);
    rpddPadrao->Connection = netQRDesign;
}

QString TfrmDadosGerRel::ReportsFolder(const QString& programFolder)
{
    const QString env = qEnvironmentVariable("TRD_REPORTS_DIR").trimmed();
    if (!env.isEmpty())
        return env;
    const QString setting = QSettings().value(ReportsFolderKey).toString().trimmed();
    if (!setting.isEmpty())
        return setting;
    // A client started directly, with nothing configured, still finds the
    // reports it ships with.
    const QString beside = QDir(programFolder).filePath(ReportsSubfolder);
    return !programFolder.isEmpty() && QFileInfo(beside).isDir() ? beside : QString();
}

QString TfrmDadosGerRel::programFolder() const
{
    return QCoreApplication::applicationDirPath();
}

QString TfrmDadosGerRel::folderNotSetMessage() const
{
    return reportMsg(QStringLiteral("REG_NULL"))
        + QStringLiteral(" Informe-o na variável de ambiente %1 ou na configuração %2 (arquivo %3), ou "
                         "instale os relatórios em %4.")
              .arg(ReportsFolderEnv, ReportsFolderKey, QDir::toNativeSeparators(QSettings().fileName()),
                   QDir::toNativeSeparators(QDir(programFolder()).filePath(ReportsSubfolder)));
}

QString TfrmDadosGerRel::reportMsg(const QString& key) const
{
    return msgPadrao->HasKey(key) ? msgPadrao->Msg(key) : msgMensagens->Msg(key);
}

QString TfrmDadosGerRel::requireFolder() const
{
    const QString folder = ReportsFolder();
    if (folder.isEmpty())
        MensErro(folderNotSetMessage());
    return folder;
}

QString TfrmDadosGerRel::requireReportFile() const
{
    const QString folder = requireFolder();
    const QString file = SelectedReportFile();
    if (file.isEmpty() || !QFileInfo(file).isFile())
        MensErro(
            fillS(reportMsg(QStringLiteral("Arq_Rel_Err")), {lblCodRel->text(), QDir::toNativeSeparators(folder)}));
    return file;
}

void TfrmDadosGerRel::LoadReportNames()
{
    const QString keep = SelectedReportFile();
    cbbReportNames->clear();
    const QString folder = ReportsFolder();
    // Opening the dialog stays quiet: the warning shows in the list itself,
    // and every action on reports refuses with it.
    // The list is narrow: it says what is wrong in a few words, and its tip
    // and every refused action give the whole message.
    if (folder.isEmpty()) {
        cbbReportNames->setPlaceholderText(QStringLiteral("(diretório dos relatórios não definido)"));
        cbbReportNames->setToolTip(folderNotSetMessage());
        return;
    }
    cbbReportNames->setPlaceholderText(QStringLiteral("(nenhum relatório %1 em %2)")
                                           .arg(lblCodRel->text().trimmed(), QDir::toNativeSeparators(folder)));
    cbbReportNames->setToolTip(QDir::toNativeSeparators(folder));
    const QString code = lblCodRel->text().trimmed();
    const QDir dir(folder);
    const QStringList files =
        dir.entryList({code + QStringLiteral("_*.xml")}, QDir::Files, QDir::Name | QDir::IgnoreCase);
    int largura = 0;
    for (const QString& name : files) {
        const QString path = dir.absoluteFilePath(name);
        const QString title = reportTitle(path);
        cbbReportNames->addItem(title, path);
        cbbReportNames->setItemData(cbbReportNames->count() - 1, title, Qt::ToolTipRole);
        largura = std::max(largura, cbbReportNames->fontMetrics().horizontalAdvance(title));
    }
    // The list is as wide as its titles, within reason: a longer one is whole
    // in the opened list and in its tip. The length counts the widest letter,
    // so it covers the title's own width.
    const int letra = std::max(1, cbbReportNames->fontMetrics().horizontalAdvance(QLatin1Char('X')));
    cbbReportNames->setMinimumContentsLength(std::clamp((largura + letra - 1) / letra, MenorTitulo, MaiorTitulo));
    cbbReportNames->view()->setMinimumWidth(largura + 2 * letra);
    const int index = cbbReportNames->findData(keep);
    cbbReportNames->setCurrentIndex(index >= 0 ? index : (cbbReportNames->count() > 0 ? 0 : -1));
}

QString TfrmDadosGerRel::SelectedReportFile() const
{
    return cbbReportNames->currentIndex() < 0 ? QString() : cbbReportNames->currentData().toString();
}

void TfrmDadosGerRel::FormCreate(QObject* sender)
{
    TfrmRotiGeral::FormCreate(sender);
    LoadReportNames();
}

void TfrmDadosGerRel::sbtConfirmaClick(QObject* sender)
{
    sbtExecRelClick(sender);
}

void TfrmDadosGerRel::sbtExecRelClick(QObject*)
{
    rpddPadrao->Preview(requireReportFile());
}

void TfrmDadosGerRel::sbtEditRelClick(QObject*)
{
    const QString file = requireReportFile();
    if (rpddPadrao->Design(file))
        LoadReportNames();
}

QString TfrmDadosGerRel::askNewTitle()
{
    bool ok = false;
    const QString title =
        QInputDialog::getText(this, reportMsg(QStringLiteral("NovoCaption")), reportMsg(QStringLiteral("NovoPrompt")),
                              QLineEdit::Normal, QString(), &ok);
    return ok ? title.trimmed() : QString();
}

void TfrmDadosGerRel::sbtNovoRelClick(QObject*)
{
    const QString folder = requireFolder();
    const QString title = askNewTitle();
    if (title.isEmpty())
        return;
    QDir dir(folder);
    if (!dir.exists() && !dir.mkpath(QStringLiteral(".")))
        MensErro(QStringLiteral("Não foi possível criar o diretório '%1'.").arg(QDir::toNativeSeparators(folder)));
    const QString base = lblCodRel->text().trimmed() + u'_' + slug(title);
    QString path = dir.absoluteFilePath(base + QStringLiteral(".xml"));
    for (int n = 2; QFileInfo::exists(path); ++n)
        path = dir.absoluteFilePath(QStringLiteral("%1_%2.xml").arg(base).arg(n));
    if (rpddPadrao->Design(path, title, lblCodRel->text().trimmed())) {
        LoadReportNames();
        cbbReportNames->setCurrentIndex(cbbReportNames->findData(path));
    }
}

void TfrmDadosGerRel::sbtExclRelClick(QObject*)
{
    const QString file = requireReportFile();
    const QString question = fillS(reportMsg(QStringLiteral("Excluir_Rel")), {cbbReportNames->currentText()});
    if (MessageDlg(question, mtConfirmation, mbYes | mbNo) != mrYes)
        return;
    if (!QFile::remove(file))
        MensErro(QStringLiteral("Não foi possível excluir o arquivo '%1'.").arg(QDir::toNativeSeparators(file)));
    LoadReportNames();
}

} // namespace trd
