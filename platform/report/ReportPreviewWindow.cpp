#include "ReportPreviewWindow.h"

#include "Dispatch.h"
#include "ReportProgress.h"
#include "TClientDataSet.h"
#include "TReportDesignerDialog.h"
#include "WindowPlacement.h"

#include <QComboBox>
#include <QEvent>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPrintDialog>
#include <QPrinter>
#include <QScrollArea>
#include <QScrollBar>
#include <QShortcut>
#include <QSpinBox>
#include <QToolButton>
#include <QVBoxLayout>

#include <cmath>

namespace trd {

namespace {

QToolButton* button(QWidget* parent, const QString& text, const QString& tip, const char* name)
{
    auto* b = new QToolButton(parent);
    b->setObjectName(QLatin1String(name));
    b->setText(text);
    b->setToolTip(tip);
    b->setAutoRaise(true);
    b->setFocusPolicy(Qt::TabFocus);
    return b;
}

} // namespace

ReportPreviewWindow::ReportPreviewWindow(std::unique_ptr<PreparedReport> report, QWidget* parent)
    : TForm(parent), m_report(std::move(report))
{
    SetCaption(QStringLiteral("Visualização - %1").arg(Document().definition().title));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(4, 4, 4, 4);
    auto* bar = new QHBoxLayout;
    layout->addLayout(bar);

    auto* first = button(this, QStringLiteral("|<"), QStringLiteral("Primeira página (Home)"), "btnPrimeira");
    auto* prior = button(this, QStringLiteral("<"), QStringLiteral("Página anterior (Page Up)"), "btnAnterior");
    m_pageBox = new QSpinBox(this);
    m_pageBox->setObjectName(QStringLiteral("spnPagina"));
    m_pageBox->setRange(1, std::max(1, Document().pageCount()));
    m_pageCount = new QLabel(QStringLiteral("de %1").arg(Document().pageCount()), this);
    auto* next = button(this, QStringLiteral(">"), QStringLiteral("Próxima página (Page Down)"), "btnProxima");
    auto* last = button(this, QStringLiteral(">|"), QStringLiteral("Última página (End)"), "btnUltima");
    m_zoomBox = new QComboBox(this);
    m_zoomBox->setObjectName(QStringLiteral("cbbZoom"));
    m_zoomBox->addItem(QStringLiteral("Largura da página"), 0);
    m_zoomBox->addItem(QStringLiteral("Página inteira"), -1);
    for (int z : {50, 75, 100, 125, 150, 200, 300})
        m_zoomBox->addItem(QStringLiteral("%1%").arg(z), z);
    auto* print = button(this, QStringLiteral("&Imprimir..."), QStringLiteral("Imprimir (Ctrl+P)"), "btnImprimir");
    auto* pdf = button(this, QStringLiteral("&PDF..."), QStringLiteral("Salvar como PDF"), "btnPdf");
    auto* csv =
        button(this, QStringLiteral("&CSV..."), QStringLiteral("Exportar a tabela principal como CSV"), "btnCsv");
    auto* close = button(this, QStringLiteral("&Fechar"), QStringLiteral("Fechar (Esc)"), "btnFechar");
    for (QWidget* w : std::initializer_list<QWidget*>{first, prior, m_pageBox, m_pageCount, next, last, m_zoomBox})
        bar->addWidget(w);
    bar->addStretch(1);
    for (QWidget* w : std::initializer_list<QWidget*>{print, pdf, csv, close})
        bar->addWidget(w);

    m_scroll = new QScrollArea(this);
    m_scroll->setObjectName(QStringLiteral("scrPagina"));
    m_scroll->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    m_scroll->setBackgroundRole(QPalette::Dark);
    m_image = new QLabel;
    m_image->setObjectName(QStringLiteral("lblPagina"));
    m_scroll->setWidget(m_image);
    layout->addWidget(m_scroll, 1);
    m_scroll->setFocusPolicy(Qt::StrongFocus);
    // "Largura da página" and "Página inteira" follow the pane, whose size is
    // known only once the window is laid out and shown, and changes with it.
    m_scroll->viewport()->installEventFilter(this);

    ConnectDispatch(first, &QToolButton::clicked, this, [this] { ShowPage(0); });
    ConnectDispatch(prior, &QToolButton::clicked, this, [this] { ShowPage(m_page - 1); });
    ConnectDispatch(next, &QToolButton::clicked, this, [this] { ShowPage(m_page + 1); });
    ConnectDispatch(last, &QToolButton::clicked, this, [this] { ShowPage(Document().pageCount() - 1); });
    ConnectDispatch(m_pageBox, &QSpinBox::valueChanged, this, [this](int v) { ShowPage(v - 1); });
    ConnectDispatch(m_zoomBox, &QComboBox::currentIndexChanged, this,
                    [this](int i) { SetZoom(m_zoomBox->itemData(i).toInt()); });
    ConnectDispatch(print, &QToolButton::clicked, this, [this] { Print(); });
    ConnectDispatch(pdf, &QToolButton::clicked, this, [this] { askPdf(); });
    ConnectDispatch(csv, &QToolButton::clicked, this, [this] { askCsv(); });
    ConnectDispatch(close, &QToolButton::clicked, this, [this] { Close(); });

    auto key = [this](QKeySequence seq, std::function<void()> action) {
        auto* s = new QShortcut(seq, this);
        ConnectDispatch(s, &QShortcut::activated, this, [a = std::move(action)] { a(); });
    };
    key(QKeySequence(Qt::Key_PageDown), [this] { ShowPage(m_page + 1); });
    key(QKeySequence(Qt::Key_PageUp), [this] { ShowPage(m_page - 1); });
    key(QKeySequence(Qt::CTRL | Qt::Key_Home), [this] { ShowPage(0); });
    key(QKeySequence(Qt::CTRL | Qt::Key_End), [this] { ShowPage(Document().pageCount() - 1); });
    key(QKeySequence(Qt::Key_Home), [this] { ShowPage(0); });
    key(QKeySequence(Qt::Key_End), [this] { ShowPage(Document().pageCount() - 1); });
    key(QKeySequence(Qt::CTRL | Qt::Key_Plus), [this] {
        m_zoomBox->setCurrentIndex(std::min(m_zoomBox->count() - 1, std::max(2, m_zoomBox->currentIndex() + 1)));
    });
    key(QKeySequence(Qt::CTRL | Qt::Key_Minus),
        [this] { m_zoomBox->setCurrentIndex(std::max(2, m_zoomBox->currentIndex() - 1)); });
    key(QKeySequence(Qt::CTRL | Qt::Key_P), [this] { Print(); });
    key(QKeySequence(Qt::Key_Escape), [this] { Close(); });

    PlaceOnScreen(*this, QSize(900, 1000));
    render();
}

ReportPreviewWindow::~ReportPreviewWindow() = default;

const ReportDocument& ReportPreviewWindow::Document() const
{
    return *m_report->document;
}

void ReportPreviewWindow::ShowPage(int page)
{
    page = std::clamp(page, 0, std::max(0, Document().pageCount() - 1));
    if (page == m_page && !m_image->pixmap().isNull())
        return;
    m_page = page;
    {
        const QSignalBlocker block(m_pageBox);
        m_pageBox->setValue(page + 1);
    }
    render();
    m_scroll->verticalScrollBar()->setValue(0);
}

void ReportPreviewWindow::SetZoom(int percent)
{
    m_zoom = percent;
    render();
}

double ReportPreviewWindow::EffectiveDpi() const
{
    const QSizeF page = Document().pageSizePoints();
    const QSize view = m_scroll->viewport()->size() - QSize(24, 24);
    if (m_zoom > 0)
        return 96.0 * m_zoom / 100.0;
    const double byWidth = view.width() * 72.0 / page.width();
    if (m_zoom == 0)
        return std::clamp(byWidth, 24.0, 400.0);
    return std::clamp(std::min(byWidth, view.height() * 72.0 / page.height()), 24.0, 400.0);
}

void ReportPreviewWindow::render()
{
    const qreal ratio = devicePixelRatioF();
    m_renderedDpi = EffectiveDpi();
    QImage page = Document().renderPage(m_page, m_renderedDpi * ratio);
    page.setDevicePixelRatio(ratio);
    m_image->setPixmap(QPixmap::fromImage(page));
    m_image->resize(m_image->sizeHint());
}

bool ReportPreviewWindow::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_scroll->viewport() && event->type() == QEvent::Resize && m_zoom <= 0) {
        // The page fills the pane's width; rendering again only when that
        // width really changes keeps a scroll bar coming and going from
        // rendering without end.
        if (std::abs(EffectiveDpi() - m_renderedDpi) > 0.01)
            render();
    }
    return TForm::eventFilter(watched, event);
}

bool ReportPreviewWindow::SavePdf(const QString& fileName)
{
    ReportProgressDialog progress(this, QStringLiteral("Gravando o PDF..."));
    return Document().exportPdf(fileName, progress.callback());
}

bool ReportPreviewWindow::SaveCsv(const QString& fileName)
{
    ReportProgressDialog progress(this, QStringLiteral("Exportando a tabela..."));
    return Document().exportCsv(fileName, progress.callback());
}

void ReportPreviewWindow::Print()
{
    QPrinter printer(QPrinter::HighResolution);
    printer.setFullPage(true);
    printer.setPageLayout(Document().pageLayout());
    printer.setDocName(Document().definition().title);
    printer.setFromTo(1, Document().pageCount());
    QPrintDialog dialog(&printer, this);
    if (dialog.exec() != QDialog::Accepted)
        return;
    ReportProgressDialog progress(this, QStringLiteral("Imprimindo..."));
    Document().paintAll(printer, progress.callback());
}

void ReportPreviewWindow::askPdf()
{
    const QString name = QFileDialog::getSaveFileName(this, QStringLiteral("Salvar como PDF"),
                                                      Document().definition().title + QStringLiteral(".pdf"),
                                                      QStringLiteral("PDF (*.pdf)"));
    if (!name.isEmpty())
        SavePdf(name.endsWith(QStringLiteral(".pdf"), Qt::CaseInsensitive) ? name : name + QStringLiteral(".pdf"));
}

void ReportPreviewWindow::askCsv()
{
    const QString name = QFileDialog::getSaveFileName(this, QStringLiteral("Exportar como CSV"),
                                                      Document().definition().title + QStringLiteral(".csv"),
                                                      QStringLiteral("CSV (*.csv)"));
    if (!name.isEmpty())
        SaveCsv(name.endsWith(QStringLiteral(".csv"), Qt::CaseInsensitive) ? name : name + QStringLiteral(".csv"));
}

} // namespace trd
