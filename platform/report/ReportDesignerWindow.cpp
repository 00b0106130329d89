#include "ReportDesignerWindow.h"

#include "DialogSeam.h"
#include "Dispatch.h"
#include "ReportError.h"
#include "TClientDataSet.h"
#include "TReportDesignerDialog.h"
#include "WindowPlacement.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QScrollArea>
#include <QShortcut>
#include <QSplitter>
#include <QTableWidget>
#include <QTimer>
#include <QVBoxLayout>

namespace trd {

namespace {

enum Col { ColField, ColTitle, ColWidth, ColAlign, ColFormat, ColTotal, ColCount };

const QString DataSetPrefix = QStringLiteral("dataset:");
const QString QueryPrefix = QStringLiteral("query:");

QComboBox* cellCombo(QTableWidget* grid, int row, int col, const QStringList& items, int current)
{
    auto* combo = new QComboBox(grid);
    combo->addItems(items);
    combo->setCurrentIndex(current);
    grid->setCellWidget(row, col, combo);
    return combo;
}

int alignIndex(Qt::Alignment a)
{
    return (a & Qt::AlignRight) ? 2 : (a & Qt::AlignHCenter) ? 1 : 0;
}

Qt::Alignment alignOf(int index)
{
    return index == 2 ? Qt::AlignRight : index == 1 ? Qt::AlignHCenter : Qt::AlignLeft;
}

ReportTotal totalOf(int index)
{
    switch (index) {
    case 1:
        return ReportTotal::Sum;
    case 2:
        return ReportTotal::Count;
    case 3:
        return ReportTotal::Average;
    default:
        return ReportTotal::None;
    }
}

int totalIndex(ReportTotal t)
{
    switch (t) {
    case ReportTotal::Sum:
        return 1;
    case ReportTotal::Count:
        return 2;
    case ReportTotal::Average:
        return 3;
    case ReportTotal::None:
        break;
    }
    return 0;
}

// Refuses an action with a message, abandoning the handler.
[[noreturn]] void refuse(const QString& text)
{
    MessageDlg(text, mtError, mbOK);
    Abort();
}

} // namespace

ReportDesignerWindow::ReportDesignerWindow(TReportDesignerDialog& dialog, ReportDefinition definition, QString fileName,
                                           QWidget* parent)
    : TForm(parent), m_dialog(dialog), m_original(std::move(definition)), m_fileName(std::move(fileName))
{
    SetCaption(QStringLiteral("Editor de relatório - %1").arg(m_original.title));
    buildEditors();
    m_loading = true;
    loadSources();
    loadDefinition();
    m_loading = false;
    UpdatePreview();
}

ReportDesignerWindow::~ReportDesignerWindow() = default;

void ReportDesignerWindow::buildEditors()
{
    auto* split = new QSplitter(this);
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(4, 4, 4, 4);
    outer->addWidget(split, 1);

    auto* left = new QWidget(split);
    auto* form = new QFormLayout(left);
    auto label = [&](const QString& text, QWidget* w) {
        auto* l = new QLabel(text, left);
        l->setBuddy(w);
        form->addRow(l, w);
    };
    edtTitulo = new QLineEdit(left);
    label(QStringLiteral("&Título:"), edtTitulo);
    auto* page = new QHBoxLayout;
    cbbTamanho = new QComboBox(left);
    cbbTamanho->addItem(QStringLiteral("A4"), int(QPageSize::A4));
    cbbTamanho->addItem(QStringLiteral("A3"), int(QPageSize::A3));
    cbbTamanho->addItem(QStringLiteral("A5"), int(QPageSize::A5));
    cbbTamanho->addItem(QStringLiteral("Carta"), int(QPageSize::Letter));
    cbbTamanho->addItem(QStringLiteral("Ofício"), int(QPageSize::Legal));
    cbbOrientacao = new QComboBox(left);
    cbbOrientacao->addItems({QStringLiteral("Retrato"), QStringLiteral("Paisagem")});
    page->addWidget(cbbTamanho);
    page->addWidget(cbbOrientacao);
    auto* pageLabel = new QLabel(QStringLiteral("&Página:"), left);
    pageLabel->setBuddy(cbbTamanho);
    form->addRow(pageLabel, page);
    cbbFonte = new QComboBox(left);
    label(QStringLiteral("&Fonte de dados:"), cbbFonte);
    edtParametros = new QLineEdit(left);
    edtParametros->setPlaceholderText(QStringLiteral("P_IDIDIOMA:string P_DtIni:date"));
    label(QStringLiteral("Parâ&metros:"), edtParametros);
    memTexto = new QPlainTextEdit(left);
    memTexto->setTabChangesFocus(true);
    memTexto->setMaximumHeight(60);
    memTexto->setPlaceholderText(QStringLiteral("Texto no início; {P_IDIDIOMA}, {date} ..."));
    label(QStringLiteral("Te&xto:"), memTexto);

    grdColunas = new QTableWidget(0, ColCount, left);
    grdColunas->setHorizontalHeaderLabels({QStringLiteral("Campo"), QStringLiteral("Título"),
                                           QStringLiteral("Largura (mm)"), QStringLiteral("Alinhamento"),
                                           QStringLiteral("Formato"), QStringLiteral("Total")});
    grdColunas->horizontalHeader()->setSectionResizeMode(ColTitle, QHeaderView::Stretch);
    grdColunas->verticalHeader()->hide();
    grdColunas->setTabKeyNavigation(false);
    grdColunas->setSelectionBehavior(QAbstractItemView::SelectRows);
    grdColunas->setSelectionMode(QAbstractItemView::SingleSelection);
    label(QStringLiteral("&Colunas:"), grdColunas);
    auto* moves = new QHBoxLayout;
    auto* up = new QPushButton(QStringLiteral("&Subir"), left);
    auto* down = new QPushButton(QStringLiteral("&Descer"), left);
    moves->addWidget(up);
    moves->addWidget(down);
    moves->addStretch(1);
    form->addRow(QString(), moves);

    auto* sort = new QHBoxLayout;
    cbbOrdem = new QComboBox(left);
    chbDecrescente = new QCheckBox(QStringLiteral("decrescente"), left);
    sort->addWidget(cbbOrdem, 1);
    sort->addWidget(chbDecrescente);
    auto* sortLabel = new QLabel(QStringLiteral("&Ordenar por:"), left);
    sortLabel->setBuddy(cbbOrdem);
    form->addRow(sortLabel, sort);
    cbbGrupo = new QComboBox(left);
    label(QStringLiteral("&Agrupar por:"), cbbGrupo);
    edtTituloGrupo = new QLineEdit(left);
    label(QStringLiteral("Título do &grupo:"), edtTituloGrupo);
    chbSubtotais = new QCheckBox(QStringLiteral("S&ubtotais por grupo"), left);
    chbTotalGeral = new QCheckBox(QStringLiteral("Total ge&ral"), left);
    auto* totals = new QHBoxLayout;
    totals->addWidget(chbSubtotais);
    totals->addWidget(chbTotalGeral);
    form->addRow(QString(), totals);
    chbGrafico = new QCheckBox(QStringLiteral("Gráfico de &barras dos grupos, valor:"), left);
    cbbValorGrafico = new QComboBox(left);
    form->addRow(chbGrafico, cbbValorGrafico);

    auto* buttons = new QHBoxLayout;
    auto* refresh = new QPushButton(QStringLiteral("A&tualizar dados (F5)"), left);
    auto* save = new QPushButton(QStringLiteral("Sa&lvar"), left);
    auto* cancel = new QPushButton(QStringLiteral("Ca&ncelar"), left);
    refresh->setObjectName(QStringLiteral("btnAtualizar"));
    save->setObjectName(QStringLiteral("btnSalvar"));
    cancel->setObjectName(QStringLiteral("btnCancelar"));
    buttons->addWidget(refresh);
    buttons->addStretch(1);
    buttons->addWidget(save);
    buttons->addWidget(cancel);
    form->addRow(buttons);

    auto* scroll = new QScrollArea(split);
    scroll->setBackgroundRole(QPalette::Dark);
    scroll->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    lblPreview = new QLabel;
    lblPreview->setObjectName(QStringLiteral("lblPreview"));
    lblPreview->setWordWrap(true);
    lblPreview->setAlignment(Qt::AlignCenter);
    scroll->setWidget(lblPreview);
    scroll->setWidgetResizable(false);
    split->addWidget(left);
    split->addWidget(scroll);
    split->setStretchFactor(0, 1);
    split->setStretchFactor(1, 1);
    scroll->setMinimumWidth(360);
    split->setSizes({640, 520});
    m_previewArea = scroll;

    const std::pair<QWidget*, const char*> names[] = {{edtTitulo, "edtTitulo"},
                                                      {cbbTamanho, "cbbTamanho"},
                                                      {cbbOrientacao, "cbbOrientacao"},
                                                      {cbbFonte, "cbbFonte"},
                                                      {edtParametros, "edtParametros"},
                                                      {memTexto, "memTexto"},
                                                      {grdColunas, "grdColunas"},
                                                      {cbbOrdem, "cbbOrdem"},
                                                      {chbDecrescente, "chbDecrescente"},
                                                      {cbbGrupo, "cbbGrupo"},
                                                      {edtTituloGrupo, "edtTituloGrupo"},
                                                      {chbSubtotais, "chbSubtotais"},
                                                      {chbTotalGeral, "chbTotalGeral"},
                                                      {chbGrafico, "chbGrafico"},
                                                      {cbbValorGrafico, "cbbValorGrafico"}};
    for (const auto& [w, n] : names)
        w->setObjectName(QLatin1String(n));

    // Every change redraws the preview once the event is over.
    auto* timer = new QTimer(this);
    timer->setSingleShot(true);
    timer->setInterval(0);
    connect(timer, &QTimer::timeout, this, [this] { Dispatch([this] { UpdatePreview(); }); });
    auto changed = [this, timer] {
        if (!m_loading)
            timer->start();
    };
    for (QLineEdit* e : {edtTitulo, edtParametros, edtTituloGrupo})
        connect(e, &QLineEdit::textChanged, this, changed);
    connect(memTexto, &QPlainTextEdit::textChanged, this, changed);
    for (QComboBox* c : {cbbTamanho, cbbOrientacao, cbbOrdem, cbbGrupo, cbbValorGrafico})
        connect(c, &QComboBox::currentIndexChanged, this, changed);
    for (QCheckBox* c : {chbDecrescente, chbSubtotais, chbTotalGeral, chbGrafico})
        connect(c, &QCheckBox::toggled, this, changed);
    connect(grdColunas, &QTableWidget::itemChanged, this, changed);
    m_changed = changed;
    ConnectDispatch(cbbFonte, &QComboBox::currentIndexChanged, this, [this] {
        if (!m_loading)
            sourceChanged();
    });
    ConnectDispatch(up, &QPushButton::clicked, this, [this] { moveColumn(-1); });
    ConnectDispatch(down, &QPushButton::clicked, this, [this] { moveColumn(1); });
    ConnectDispatch(refresh, &QPushButton::clicked, this, [this] { RefreshData(); });
    ConnectDispatch(save, &QPushButton::clicked, this, [this] { Save(); });
    ConnectDispatch(cancel, &QPushButton::clicked, this, [this] { Close(); });
    auto* f5 = new QShortcut(QKeySequence(Qt::Key_F5), this);
    ConnectDispatch(f5, &QShortcut::activated, this, [this] { RefreshData(); });
    auto* ctrlS = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_S), this);
    ConnectDispatch(ctrlS, &QShortcut::activated, this, [this] { Save(); });
    auto* esc = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    ConnectDispatch(esc, &QShortcut::activated, this, [this] { Close(); });
    PlaceOnScreen(*this, QSize(1200, 760));
}

void ReportDesignerWindow::loadSources()
{
    for (const QString& name : m_dialog.DataSetNames())
        cbbFonte->addItem(QStringLiteral("Conjunto de dados: %1").arg(name), DataSetPrefix + name);
    // Without the server the designer still works on the dialog's data sets.
    try {
        m_catalog = m_dialog.Catalog();
    } catch (const std::exception&) {
        m_catalog.clear();
    }
    for (const ReportCatalogQuery& q : m_catalog)
        cbbFonte->addItem(QStringLiteral("Consulta: %1 - %2").arg(q.name, q.description), QueryPrefix + q.name);
}

QStringList ReportDesignerWindow::sourceFields() const
{
    const QString key = cbbFonte->currentData().toString();
    QStringList fields;
    if (key.startsWith(DataSetPrefix)) {
        if (const TClientDataSet* ds = m_dialog.FindDataSet(key.mid(DataSetPrefix.size())))
            for (int i = 0; i < ds->FieldCount(); ++i)
                fields << ds->Fields(i)->FieldName();
    } else {
        for (const ReportCatalogQuery& q : m_catalog)
            if (QueryPrefix + q.name == key)
                fields = q.fields;
    }
    return fields;
}

void ReportDesignerWindow::setColumnRow(int row, const ReportColumn& c, bool included)
{
    auto* field = new QTableWidgetItem(c.field);
    field->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable);
    field->setCheckState(included ? Qt::Checked : Qt::Unchecked);
    grdColunas->setItem(row, ColField, field);
    grdColunas->setItem(row, ColTitle, new QTableWidgetItem(c.title));
    grdColunas->setItem(row, ColWidth, new QTableWidgetItem(QString::number(c.widthMm, 'g', 6)));
    grdColunas->setItem(row, ColFormat, new QTableWidgetItem(c.format));
    QComboBox* align = cellCombo(grdColunas, row, ColAlign,
                                 {QStringLiteral("esquerda"), QStringLiteral("centro"), QStringLiteral("direita")},
                                 alignIndex(c.align));
    QComboBox* total = cellCombo(
        grdColunas, row, ColTotal,
        {QStringLiteral("nenhum"), QStringLiteral("soma"), QStringLiteral("contagem"), QStringLiteral("média")},
        totalIndex(c.total));
    connect(align, &QComboBox::currentIndexChanged, this, [this] { m_changed(); });
    connect(total, &QComboBox::currentIndexChanged, this, [this] { m_changed(); });
}

void ReportDesignerWindow::fillFields(const QStringList& fields)
{
    // Keep what the grid says about fields still there; add the new ones unticked.
    const ReportDefinition now = Definition();
    const ReportTable* table = now.mainTable();
    QList<ReportColumn> included = table ? table->columns : QList<ReportColumn>();
    const bool wasLoading = m_loading;
    m_loading = true;
    grdColunas->setRowCount(0);
    QStringList all;
    for (const ReportColumn& c : included)
        all << c.field;
    for (const QString& f : fields)
        if (!all.contains(f, Qt::CaseInsensitive))
            all << f;
    grdColunas->setRowCount(static_cast<int>(all.size()));
    for (int r = 0; r < all.size(); ++r) {
        ReportColumn c;
        c.field = all[r];
        c.title = all[r];
        bool in = false;
        for (const ReportColumn& k : included)
            if (k.field.compare(all[r], Qt::CaseInsensitive) == 0) {
                c = k;
                in = true;
            }
        setColumnRow(r, c, in);
    }
    grdColunas->resizeColumnToContents(ColField);
    for (QComboBox* combo : {cbbOrdem, cbbGrupo, cbbValorGrafico}) {
        const QString keep = combo->currentText();
        combo->clear();
        if (combo != cbbValorGrafico)
            combo->addItem(QStringLiteral("(nenhum)"), QString());
        for (const QString& f : all)
            combo->addItem(f, f);
        const int i = combo->findData(keep);
        combo->setCurrentIndex(i >= 0 ? i : 0);
    }
    m_loading = wasLoading;
}

void ReportDesignerWindow::loadDefinition()
{
    const ReportDefinition& d = m_original;
    edtTitulo->setText(d.title);
    cbbTamanho->setCurrentIndex(std::max(0, cbbTamanho->findData(int(d.page.size))));
    cbbOrientacao->setCurrentIndex(d.page.orientation == QPageLayout::Landscape ? 1 : 0);
    QStringList params;
    for (const ReportParameter& p : d.parameters)
        params << p.name + u':' + ParamTypeName(p.type);
    edtParametros->setText(params.join(u' '));
    for (const ReportElement& e : d.body)
        if (const auto* t = std::get_if<ReportText>(&e)) {
            memTexto->setPlainText(t->text);
            break;
        }
    const ReportTable* table = d.mainTable();
    const ReportSource* source = table ? d.findSource(table->source) : nullptr;
    if (source) {
        const QString key =
            (source->kind == ReportSource::Kind::DataSet ? DataSetPrefix : QueryPrefix) + source->target;
        if (cbbFonte->findData(key) < 0)
            cbbFonte->addItem(source->target, key);
        cbbFonte->setCurrentIndex(cbbFonte->findData(key));
    }
    // The grid starts from the table's columns (fillFields reads them back
    // through Definition(), which reads the grid: fill it first).
    grdColunas->setRowCount(table ? static_cast<int>(table->columns.size()) : 0);
    if (table)
        for (int r = 0; r < table->columns.size(); ++r)
            setColumnRow(r, table->columns[r], true);
    fillFields(sourceFields());
    if (table) {
        if (!table->sort.isEmpty()) {
            cbbOrdem->setCurrentIndex(std::max(0, cbbOrdem->findData(table->sort.first().field)));
            chbDecrescente->setChecked(table->sort.first().descending);
        }
        cbbGrupo->setCurrentIndex(std::max(0, cbbGrupo->findData(table->groupField)));
        edtTituloGrupo->setText(table->groupTitle);
        chbSubtotais->setChecked(table->subtotals);
        chbTotalGeral->setChecked(table->grandTotal);
    } else {
        chbSubtotais->setChecked(true);
        chbTotalGeral->setChecked(true);
    }
    for (const ReportElement& e : d.body)
        if (const auto* c = std::get_if<ReportChart>(&e); c && table && c->table == table->name) {
            chbGrafico->setChecked(true);
            cbbValorGrafico->setCurrentIndex(std::max(0, cbbValorGrafico->findData(c->valueField)));
        }
}

void ReportDesignerWindow::sourceChanged()
{
    // A new source: its declared parameters (a query's) and its fields.
    const QString key = cbbFonte->currentData().toString();
    for (const ReportCatalogQuery& q : m_catalog)
        if (QueryPrefix + q.name == key) {
            QStringList params =
                edtParametros->text().split(QRegularExpression(QStringLiteral("\\s+")), Qt::SkipEmptyParts);
            for (const ReportParameter& p : q.params) {
                bool present = false;
                for (const QString& have : params)
                    present = present || have.section(u':', 0, 0).compare(p.name, Qt::CaseInsensitive) == 0;
                if (!present)
                    params << p.name + u':' + ParamTypeName(p.type);
            }
            edtParametros->setText(params.join(u' '));
        }
    grdColunas->setRowCount(0);
    fillFields(sourceFields());
    m_changed();
}

void ReportDesignerWindow::moveColumn(int delta)
{
    const int row = grdColunas->currentRow();
    const int to = row + delta;
    if (row < 0 || to < 0 || to >= grdColunas->rowCount())
        return;
    // Swap the two rows' contents through their column descriptions.
    auto read = [&](int r) {
        ReportColumn c;
        c.field = grdColunas->item(r, ColField)->text();
        c.title = grdColunas->item(r, ColTitle)->text();
        c.widthMm = grdColunas->item(r, ColWidth)->text().replace(u',', u'.').toDouble();
        c.align = alignOf(static_cast<QComboBox*>(grdColunas->cellWidget(r, ColAlign))->currentIndex());
        c.format = grdColunas->item(r, ColFormat)->text();
        c.total = totalOf(static_cast<QComboBox*>(grdColunas->cellWidget(r, ColTotal))->currentIndex());
        return std::make_pair(c, grdColunas->item(r, ColField)->checkState() == Qt::Checked);
    };
    const auto a = read(row);
    const auto b = read(to);
    m_loading = true;
    setColumnRow(row, b.first, b.second);
    setColumnRow(to, a.first, a.second);
    m_loading = false;
    grdColunas->setCurrentCell(to, ColField);
    m_changed();
}

ReportDefinition ReportDesignerWindow::Definition() const
{
    ReportDefinition d = m_original;
    d.title = edtTitulo->text().trimmed();
    d.page.size = static_cast<QPageSize::PageSizeId>(cbbTamanho->currentData().toInt());
    d.page.orientation = cbbOrientacao->currentIndex() == 1 ? QPageLayout::Landscape : QPageLayout::Portrait;
    d.parameters.clear();
    for (const QString& item :
         edtParametros->text().split(QRegularExpression(QStringLiteral("[\\s,;]+")), Qt::SkipEmptyParts)) {
        ReportParameter p;
        p.name = item.section(u':', 0, 0);
        const QString type = item.section(u':', 1, 1);
        if (!type.isEmpty() && !ParamTypeFromName(type, p.type))
            throw EReportError(
                QStringLiteral(
                    "Tipo de parâmetro \"%1\" desconhecido em \"%2\" (string, date, datetime, float, integer).")
                    .arg(type, item));
        bool dup = false;
        for (const ReportParameter& have : d.parameters)
            dup = dup || have.name.compare(p.name, Qt::CaseInsensitive) == 0;
        if (!dup)
            d.parameters.append(p);
    }

    // The main table and its source.
    const ReportTable* old = m_original.mainTable();
    ReportTable table = old ? *old : ReportTable();
    if (table.name.isEmpty())
        table.name = QStringLiteral("principal");
    // The main table is this one either way: marked, or the only (first) one.
    table.main = old ? old->main : false;
    const QString key = cbbFonte->currentData().toString();
    ReportSource source;
    source.name = old ? old->source : QStringLiteral("dados");
    if (key.startsWith(DataSetPrefix)) {
        source.kind = ReportSource::Kind::DataSet;
        source.target = key.mid(DataSetPrefix.size());
    } else if (key.startsWith(QueryPrefix)) {
        source.kind = ReportSource::Kind::Query;
        source.target = key.mid(QueryPrefix.size());
        for (const ReportCatalogQuery& q : m_catalog)
            if (q.name == source.target)
                for (const ReportParameter& p : q.params)
                    source.params << p.name;
        if (source.params.isEmpty())
            if (const ReportSource* was = m_original.findSource(source.name); was && was->target == source.target)
                source.params = was->params;
    }
    table.source = source.name;
    bool replaced = false;
    for (ReportSource& s : d.sources)
        if (s.name.compare(source.name, Qt::CaseInsensitive) == 0) {
            s = source;
            replaced = true;
        }
    if (!replaced && !source.target.isEmpty())
        d.sources.append(source);

    table.columns.clear();
    for (int r = 0; r < grdColunas->rowCount(); ++r) {
        if (!grdColunas->item(r, ColField) || grdColunas->item(r, ColField)->checkState() != Qt::Checked)
            continue;
        ReportColumn c;
        c.field = grdColunas->item(r, ColField)->text();
        c.title = grdColunas->item(r, ColTitle)->text();
        bool ok = false;
        c.widthMm = grdColunas->item(r, ColWidth)->text().replace(u',', u'.').toDouble(&ok);
        if (!ok || c.widthMm < 1 || c.widthMm > 1000)
            c.widthMm = 30;
        c.align = alignOf(static_cast<QComboBox*>(grdColunas->cellWidget(r, ColAlign))->currentIndex());
        c.format = grdColunas->item(r, ColFormat)->text().trimmed();
        c.total = totalOf(static_cast<QComboBox*>(grdColunas->cellWidget(r, ColTotal))->currentIndex());
        table.columns.append(c);
    }
    table.sort.clear();
    if (!cbbOrdem->currentData().toString().isEmpty())
        table.sort.append(ReportSortKey{cbbOrdem->currentData().toString(), chbDecrescente->isChecked()});
    table.groupField = cbbGrupo->currentData().toString();
    table.groupTitle = edtTituloGrupo->text();
    table.subtotals = chbSubtotais->isChecked();
    table.grandTotal = chbTotalGeral->isChecked();

    // The body: the opening text, the main table and its chart from the
    // editors, each where it stood and with its other settings; the rest kept.
    ReportChart chart{table.name, cbbValorGrafico->currentData().toString(), d.title, 70, 0};
    bool hadChart = false;
    ReportText opening{memTexto->toPlainText(), 10, false, Qt::AlignLeft, 0};
    bool hadText = false;
    for (const ReportElement& e : m_original.body) {
        if (const auto* c = std::get_if<ReportChart>(&e); c && c->table == table.name && !hadChart) {
            chart.title = c->title;
            chart.heightMm = c->heightMm;
            hadChart = true;
        }
        if (const auto* t = std::get_if<ReportText>(&e); t && !hadText) {
            opening = *t;
            opening.text = memTexto->toPlainText();
            hadText = true;
        }
    }
    const bool wantText = !opening.text.trimmed().isEmpty();
    const bool wantChart = chbGrafico->isChecked() && !table.groupField.isEmpty() && !chart.valueField.isEmpty();
    std::vector<ReportElement> body;
    bool textDone = false, tableDone = false, chartDone = false;
    if (!hadText && wantText) {
        body.emplace_back(opening);
        textDone = true;
    }
    for (const ReportElement& e : m_original.body) {
        if (std::holds_alternative<ReportText>(e) && !textDone) {
            if (wantText)
                body.emplace_back(opening);
            textDone = true;
        } else if (const auto* t = std::get_if<ReportTable>(&e); t && old && t->name == old->name) {
            body.emplace_back(table);
            tableDone = true;
            if (wantChart && !hadChart) {
                body.emplace_back(chart);
                chartDone = true;
            }
        } else if (const auto* c = std::get_if<ReportChart>(&e); c && c->table == table.name) {
            if (wantChart && !chartDone)
                body.emplace_back(chart);
            chartDone = true;
        } else {
            body.push_back(e);
        }
    }
    if (!tableDone && !table.columns.isEmpty()) {
        body.emplace_back(table);
        if (wantChart && !chartDone)
            body.emplace_back(chart);
    }
    d.body = std::move(body);
    return d;
}

QString ReportDesignerWindow::PreviewMessage() const
{
    return m_previewMessage;
}

void ReportDesignerWindow::UpdatePreview()
{
    m_previewPages = 0;
    try {
        // Through the file format, so the preview refuses what Save would.
        const ReportDefinition def = ParseReportDefinition(WriteReportDefinition(Definition()), m_fileName);
        if (!def.mainTable())
            throw EReportError(QStringLiteral("Escolha a fonte de dados e marque as colunas do relatório."));
        std::map<QString, const TClientDataSet*> data;
        for (const ReportSource& s : def.sources) {
            if (s.kind == ReportSource::Kind::DataSet) {
                if (const TClientDataSet* ds = m_dialog.FindDataSet(s.target); ds && ds->Active())
                    data[s.name] = ds;
            } else if (m_prepared) {
                for (const auto& q : m_prepared->queryData)
                    if (q->objectName() == s.name && q->property("query").toString() == s.target)
                        data[s.name] = q.get();
            }
            if (!data.count(s.name))
                throw EReportError(
                    QStringLiteral("Sem dados da fonte '%1' ainda: atualize os dados (F5).").arg(s.target));
        }
        const TParams params = m_params ? *m_params : TReportDesignerDialog::DeclaredParams(def);
        TParams bound = TReportDesignerDialog::DeclaredParams(def);
        for (int i = 0; i < bound.Count(); ++i)
            if (const TParam* had = params.FindParam(bound.Items(i).Name()); had && !had->IsNull())
                bound.Items(i) = *had;
        ReportDocument doc(def, bound, data);
        m_previewPages = doc.pageCount();
        // The first page as wide as the preview pane.
        const double width = std::max(200, m_previewArea->viewport()->width() - 8);
        QImage page = doc.renderPage(0, std::clamp(width * 72.0 / doc.pageSizePoints().width(), 30.0, 150.0));
        lblPreview->setPixmap(QPixmap::fromImage(page));
        lblPreview->resize(page.size());
        m_previewMessage.clear();
    } catch (const Exception& e) {
        m_previewMessage = e.Message();
        lblPreview->setPixmap(QPixmap());
        lblPreview->setText(m_previewMessage);
        lblPreview->resize(360, 200);
    }
}

void ReportDesignerWindow::RefreshData()
{
    const ReportDefinition def = ParseReportDefinition(WriteReportDefinition(Definition()), m_fileName);
    std::unique_ptr<PreparedReport> prepared = m_dialog.PrepareData(def);
    if (!prepared)
        return;
    m_params = std::make_unique<TParams>(prepared->params);
    m_prepared = std::move(prepared);
    fillFields(sourceFields());
    UpdatePreview();
}

void ReportDesignerWindow::Save()
{
    const ReportDefinition def = Definition();
    if (def.title.isEmpty())
        refuse(QStringLiteral("Informe o título do relatório."));
    if (!def.mainTable() || def.mainTable()->columns.isEmpty())
        refuse(QStringLiteral("Escolha a fonte de dados e marque ao menos uma coluna."));
    // What is saved must read back: the reader's refusal names the fault.
    const QByteArray xml = WriteReportDefinition(def);
    ParseReportDefinition(xml, m_fileName);
    SaveReportDefinition(def, m_fileName);
    SetModalResult(mrOk);
}

} // namespace trd
