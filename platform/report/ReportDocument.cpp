#include "ReportDocument.h"

#include "ReportCellText.h"
#include "ReportError.h"
#include "ReportFormat.h"
#include "ReportVariables.h"
#include "TClientDataSet.h"

#include <QFile>
#include <QFontMetricsF>
#include <QPainter>
#include <QPdfWriter>
#include <QSaveFile>

#include <cmath>

namespace trd {

namespace {

constexpr double PointsPerMm = 72.0 / 25.4;
constexpr double BandFontPt = 8;
constexpr double BandHeight = 14; // points, header and footer line
constexpr double BandGap = 8;
constexpr double ElementGap = 8; // between body elements
constexpr double CellPad = 2.5;

double rowHeight(const ReportTable& t)
{
    return t.fontPt * 1.55;
}
double headerHeight(const ReportTable& t)
{
    return t.fontPt * 1.9;
}

// A font of pt points on a device of the given logical resolution, drawn by a
// painter scaled to points: the point size is divided back by the scale, so
// the font's pixel size is pt and its metrics on the device are in points.
QFont reportFont(double pt, bool bold, const QPaintDevice* device, bool italic = false)
{
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setStyleHint(QFont::SansSerif);
    font.setHintingPreference(QFont::PreferNoHinting);
    font.setPointSizeF(pt * 72.0 / device->logicalDpiY());
    font.setBold(bold);
    font.setItalic(italic);
    return font;
}

// Height in points of a wrapped text.
double textHeight(const ReportText& t, const QString& text, double width)
{
    const QPaintDevice& dev = ReportMeasureDevice();
    QFont font = reportFont(t.fontPt, t.bold, &dev);
    font.setPointSizeF(t.fontPt); // measured unscaled, in device pixels
    const QFontMetricsF fm(font, &dev);
    const double scale = dev.logicalDpiY() / 72.0;
    const QRectF r = fm.boundingRect(QRectF(0, 0, width * scale, 1e9), Qt::TextWordWrap | t.align, text);
    return r.height() / scale + 2;
}

} // namespace

struct ReportDocument::TableLayout {
    std::vector<double> left, width; // each column, points from the table's left
    double tableWidth = 0;
    double rowHeight = 0; // a line of one line of text
    double headerHeight = 0; // the header row, its titles wrapped
    std::vector<float> heights; // each printed line of the table
    std::unique_ptr<ReportCellText> plain;
    std::unique_ptr<ReportCellText> bold;

    double textWidth(int column) const { return width[static_cast<std::size_t>(column)] - 2 * CellPad; }
    // A row whose tallest cell takes `lines` lines.
    double heightOf(int lines) const { return rowHeight + (lines - 1) * plain->lineHeight(); }
};

ReportDocument::ReportDocument(ReportDefinition definition, TParams params,
                               const std::map<QString, const TClientDataSet*>& dataSets, QDateTime printedAt)
    : m_def(std::move(definition)), m_params(std::move(params)), m_printedAt(std::move(printedAt))
{
    for (const ReportElement& e : m_def.body) {
        const auto* t = std::get_if<ReportTable>(&e);
        if (!t) {
            m_tables.push_back(nullptr);
            continue;
        }
        const TClientDataSet* data = nullptr;
        for (const auto& [name, ds] : dataSets)
            if (name.compare(t->source, Qt::CaseInsensitive) == 0)
                data = ds;
        if (!data)
            throw EReportError(
                QStringLiteral("A fonte de dados '%1' da tabela '%2' não foi encontrada.").arg(t->source, t->name));
        if (!data->Active())
            throw EReportError(
                QStringLiteral("A fonte de dados '%1' da tabela '%2' está fechada.").arg(t->source, t->name));
        m_tables.push_back(std::make_unique<ReportTableData>(*t, *data, t->source));
    }
    m_tableLayouts.resize(m_tables.size());
    layout();
}

ReportDocument::~ReportDocument() = default;

QPageLayout ReportDocument::pageLayout() const
{
    return QPageLayout(QPageSize(m_def.page.size), m_def.page.orientation, QMarginsF(0, 0, 0, 0), QPageLayout::Point);
}

QSizeF ReportDocument::pageSizePoints() const
{
    return pageLayout().fullRect(QPageLayout::Point).size();
}

const ReportTableData* ReportDocument::tableData(const QString& name) const
{
    for (const auto& t : m_tables)
        if (t && t->table().name.compare(name, Qt::CaseInsensitive) == 0)
            return t.get();
    return nullptr;
}

QString ReportDocument::variable(const QString& name, int page) const
{
    if (name == u"title")
        return m_def.title;
    if (name == u"code")
        return m_def.code;
    if (name == u"date")
        return m_printedAt.toString(QStringLiteral("dd/MM/yyyy"));
    if (name == u"time")
        return m_printedAt.toString(QStringLiteral("HH:mm"));
    if (name == u"page")
        return QString::number(page + 1);
    if (name == u"pages")
        return QString::number(pageCount());
    if (const TParam* p = m_params.FindParam(name))
        return p->AsString();
    return {};
}

void ReportDocument::layout()
{
    const QSizeF page = pageSizePoints();
    const QMarginsF m = m_def.page.marginsMm * PointsPerMm;
    QRectF content(m.left(), m.top(), page.width() - m.left() - m.right(), page.height() - m.top() - m.bottom());
    if (content.width() < 72 || content.height() < 144)
        throw EReportError(
            QStringLiteral("As margens do relatório '%1' não deixam espaço para o conteúdo.").arg(m_def.title));
    m_headerRect = QRectF(content.left(), content.top(), content.width(), BandHeight);
    m_footerRect = QRectF(content.left(), content.bottom() - BandHeight, content.width(), BandHeight);
    m_body = content;
    if (m_def.header.present)
        m_body.setTop(m_headerRect.bottom() + BandGap);
    if (m_def.footer.present)
        m_body.setBottom(m_footerRect.top() - BandGap);

    const double avail = m_body.height();
    m_pages.clear();
    m_pages.emplace_back();
    double y = 0;
    auto newPage = [&] {
        m_pages.emplace_back();
        y = 0;
    };
    for (int e = 0; e < static_cast<int>(m_def.body.size()); ++e) {
        if (y > 0)
            y += ElementGap;
        const ReportElement& element = m_def.body[static_cast<std::size_t>(e)];
        if (const auto* t = std::get_if<ReportText>(&element)) {
            const double h =
                std::min(avail,
                         textHeight(*t, SubstituteVariables(t->text, [&](const QString& n) { return variable(n, 0); }),
                                    m_body.width()));
            if (y + h > avail && y > 0)
                newPage();
            m_pages.back().items.push_back({e, 0, 0, y, h, -1});
            y += h;
        } else if (const auto* c = std::get_if<ReportChart>(&element)) {
            const double h = std::min(avail, c->heightMm * PointsPerMm);
            if (y + h > avail && y > 0)
                newPage();
            m_pages.back().items.push_back({e, 0, 0, y, h, -1});
            y += h;
        } else if (std::holds_alternative<ReportTable>(element)) {
            measureTable(e);
            const ReportTableData& data = *m_tables[static_cast<std::size_t>(e)];
            const TableLayout& table = *m_tableLayouts[static_cast<std::size_t>(e)];
            const auto& lines = data.lines();
            const double rh = table.rowHeight;
            const double hh = table.headerHeight;
            const int total = static_cast<int>(lines.size());
            auto height = [&](int line, double tallest) {
                return std::min<double>(table.heights[static_cast<std::size_t>(line)], tallest);
            };
            // A row taller than a whole page is cut at the page's foot, with
            // room left above it for the header row and a group heading.
            const double tallest = std::max(rh, avail - hh - 2 * rh);
            int line = 0;
            do {
                // The header row opens every part of the table, on every page,
                // with at least one line under it (a group heading, with its
                // first row).
                double first = line < total ? height(line, tallest) : 0;
                if (line + 1 < total
                    && lines[static_cast<std::size_t>(line)].kind == ReportTableData::LineKind::GroupHeader)
                    first += height(line + 1, tallest);
                if (y + hh + std::max(first, rh) > avail && y > 0)
                    newPage();
                // A group running on from the last page gets its heading again.
                const int continued = line > 0 ? data.continuedGroup(line) : -1;
                const double top = hh + (continued >= 0 ? rh : 0);
                double used = top;
                int count = 0;
                while (line + count < total) {
                    const double h = height(line + count, tallest);
                    if (count > 0 && y + used + h > avail + 1e-6)
                        break;
                    used += h;
                    ++count;
                }
                // A group heading never ends a page alone.
                if (count > 1 && line + count < total
                    && lines[static_cast<std::size_t>(line + count - 1)].kind
                        == ReportTableData::LineKind::GroupHeader) {
                    --count;
                    used -= height(line + count, tallest);
                }
                m_pages.back().items.push_back({e, line, count, y, used, continued});
                y += used;
                line += count;
                if (line < total)
                    newPage();
            } while (line < total);
        }
    }
}

void ReportDocument::measureTable(int element)
{
    const auto& t = std::get<ReportTable>(m_def.body[static_cast<std::size_t>(element)]);
    const ReportTableData& data = *m_tables[static_cast<std::size_t>(element)];
    auto table = std::make_unique<TableLayout>();
    // Columns keep their proportions and shrink to the body's width.
    double widthMm = 0;
    for (const ReportColumn& c : t.columns)
        widthMm += c.widthMm;
    const double k = std::min(PointsPerMm, m_body.width() / widthMm);
    double x = 0;
    for (const ReportColumn& c : t.columns) {
        table->left.push_back(x);
        table->width.push_back(c.widthMm * k);
        x += c.widthMm * k;
    }
    table->tableWidth = x;
    table->plain = std::make_unique<ReportCellText>(t.fontPt, false);
    table->bold = std::make_unique<ReportCellText>(t.fontPt, true);
    table->rowHeight = rowHeight(t);

    int titleLines = 1;
    for (int c = 0; c < t.columns.size(); ++c)
        titleLines = std::max(titleLines, table->bold->lineCount(t.columns[c].title, table->textWidth(c)));
    table->headerHeight = headerHeight(t) + (titleLines - 1) * table->bold->lineHeight();

    const auto& lines = data.lines();
    table->heights.assign(lines.size(), static_cast<float>(table->rowHeight));
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (lines[i].kind != ReportTableData::LineKind::Row)
            continue;
        int n = 1;
        for (int c = 0; c < t.columns.size(); ++c)
            n = std::max(n, table->plain->lineCount(data.cellText(lines[i].index, c), table->textWidth(c)));
        table->heights[i] = static_cast<float>(table->heightOf(n));
    }
    m_tableLayouts[static_cast<std::size_t>(element)] = std::move(table);
}

void ReportDocument::paintPage(QPainter& painter, int pageIndex) const
{
    if (pageIndex < 0 || pageIndex >= pageCount())
        return;
    const QPaintDevice* device = painter.device();
    const double scale = device->logicalDpiX() / 72.0;
    painter.save();
    painter.scale(scale, device->logicalDpiY() / 72.0);
    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.setRenderHint(QPainter::TextAntialiasing, true);
    const QPen thin(QColor(0, 0, 0), 0.5);
    const QPen hair(QColor(150, 150, 150), 0.3);

    auto band = [&](const ReportBand& b, const QRectF& r, bool lineBelow) {
        if (!b.present)
            return;
        painter.setFont(reportFont(BandFontPt, false, device));
        painter.setPen(Qt::black);
        auto sub = [&](const QString& t) {
            return SubstituteVariables(t, [&](const QString& n) { return variable(n, pageIndex); });
        };
        painter.drawText(r, Qt::AlignLeft | Qt::AlignVCenter, sub(b.left));
        painter.drawText(r, Qt::AlignHCenter | Qt::AlignVCenter, sub(b.center));
        painter.drawText(r, Qt::AlignRight | Qt::AlignVCenter, sub(b.right));
        painter.setPen(thin);
        const double ly = lineBelow ? r.bottom() + 1 : r.top() - 1;
        painter.drawLine(QPointF(r.left(), ly), QPointF(r.right(), ly));
    };
    band(m_def.header, m_headerRect, true);
    band(m_def.footer, m_footerRect, false);

    for (const Placement& p : m_pages[static_cast<std::size_t>(pageIndex)].items) {
        const ReportElement& element = m_def.body[static_cast<std::size_t>(p.element)];
        const QRectF area(m_body.left(), m_body.top() + p.y, m_body.width(), p.height);
        if (const auto* t = std::get_if<ReportText>(&element)) {
            painter.setFont(reportFont(t->fontPt, t->bold, device));
            painter.setPen(Qt::black);
            painter.drawText(area, Qt::TextWordWrap | t->align | Qt::AlignTop,
                             SubstituteVariables(t->text, [&](const QString& n) { return variable(n, pageIndex); }));
        } else if (std::holds_alternative<ReportTable>(element)) {
            paintTable(painter, p, area);
        } else if (const auto* c = std::get_if<ReportChart>(&element)) {
            const ReportTableData* data = tableData(c->table);
            painter.setPen(Qt::black);
            double top = area.top();
            if (!c->title.isEmpty()) {
                painter.setFont(reportFont(10, true, device));
                painter.drawText(
                    QRectF(area.left(), top, area.width(), 16), Qt::AlignLeft | Qt::AlignVCenter,
                    SubstituteVariables(c->title, [&](const QString& n) { return variable(n, pageIndex); }));
                top += 18;
            }
            if (!data || data->groups().empty())
                continue;
            const int groups = static_cast<int>(data->groups().size());
            const double barArea = area.bottom() - top;
            const double slot = std::clamp(barArea / groups, 6.0, 16.0);
            const int shown = std::min(groups, static_cast<int>(barArea / slot));
            double maxValue = 0;
            for (int g = 0; g < shown; ++g)
                maxValue = std::max(maxValue, data->groupValue(g, c->valueField));
            const double labelW = area.width() * 0.3;
            const double barMax = area.width() - labelW - 60;
            const QFont font = reportFont(std::min(8.0, slot * 0.6), false, device);
            const QFontMetricsF fm(font, device);
            painter.setFont(font);
            for (int g = 0; g < shown; ++g) {
                const double v = data->groupValue(g, c->valueField);
                const double y = top + g * slot;
                const QRectF label(area.left(), y, labelW - 4, slot);
                painter.setPen(Qt::black);
                painter.drawText(label, Qt::AlignRight | Qt::AlignVCenter,
                                 fm.elidedText(data->groupLabel(g), Qt::ElideRight, label.width()));
                const double w = maxValue > 0 ? std::max(0.0, v) / maxValue * barMax : 0;
                painter.fillRect(QRectF(area.left() + labelW, y + slot * 0.15, w, slot * 0.7), QColor(70, 110, 170));
                painter.drawText(
                    QRectF(area.left() + labelW + w + 3, y, 57, slot), Qt::AlignLeft | Qt::AlignVCenter,
                    FormatReportNumber(v, v == std::floor(v) ? QStringLiteral("#,##0") : QStringLiteral("#,##0.00")));
            }
            if (shown < groups) {
                painter.drawText(QRectF(area.left(), area.bottom() - slot, area.width(), slot),
                                 Qt::AlignRight | Qt::AlignVCenter,
                                 QStringLiteral("... e mais %1 grupos").arg(groups - shown));
            }
        }
    }
    painter.restore();
}

void ReportDocument::paintTable(QPainter& painter, const Placement& p, const QRectF& area) const
{
    const auto& t = std::get<ReportTable>(m_def.body[static_cast<std::size_t>(p.element)]);
    const ReportTableData& data = *m_tables[static_cast<std::size_t>(p.element)];
    const TableLayout& table = *m_tableLayouts[static_cast<std::size_t>(p.element)];
    const QPaintDevice* device = painter.device();
    const QPen thin(QColor(0, 0, 0), 0.5);
    const QPen hair(QColor(150, 150, 150), 0.3);
    const double x0 = area.left();
    const double right = x0 + table.tableWidth;
    const double rh = table.rowHeight;
    const double hh = table.headerHeight;
    const QFont plain = reportFont(t.fontPt, false, device);
    const QFont bold = reportFont(t.fontPt, true, device);
    const QFontMetricsF fmPlain(plain, device);
    const QFontMetricsF fmBold(bold, device);
    auto columnRect = [&](int c, double top, double h) {
        return QRectF(x0 + table.left[static_cast<std::size_t>(c)] + CellPad, top, table.textWidth(c), h);
    };
    // A cell's lines one under the other from `top`, each in the column's
    // alignment; as many as `room` holds, the last one marked cut when the
    // cell has more (a row taller than a page).
    auto cellLines = [&](int c, double top, double room, const QString& text, const ReportCellText& measure,
                         const QFontMetricsF& fm) {
        QStringList lines = measure.lines(text, table.textWidth(c));
        const double lh = measure.lineHeight();
        const int fits = std::max(1, static_cast<int>(std::floor(room / lh + 1e-6)));
        if (lines.size() > fits) {
            lines = lines.mid(0, fits);
            lines.back() = fm.elidedText(lines.back() + QStringLiteral("…"), Qt::ElideRight, table.textWidth(c));
        }
        for (int i = 0; i < lines.size(); ++i)
            painter.drawText(columnRect(c, top + i * lh, lh), t.columns[c].align | Qt::AlignVCenter | Qt::TextDontClip,
                             lines[i]);
    };
    double y = area.top();
    // Header row: the titles wrapped, centred in its height.
    painter.fillRect(QRectF(x0, y, table.tableWidth, hh), QColor(225, 225, 225));
    painter.setFont(bold);
    painter.setPen(Qt::black);
    for (int c = 0; c < t.columns.size(); ++c) {
        const int n = table.bold->lineCount(t.columns[c].title, table.textWidth(c));
        cellLines(c, y + (hh - n * table.bold->lineHeight()) / 2, hh, t.columns[c].title, *table.bold, fmBold);
    }
    painter.setPen(thin);
    painter.drawLine(QPointF(x0, y + hh), QPointF(right, y + hh));
    y += hh;
    auto groupHeading = [&](const QString& label) {
        painter.fillRect(QRectF(x0, y, table.tableWidth, rh), QColor(242, 242, 242));
        painter.setFont(bold);
        painter.setPen(Qt::black);
        const QRectF r(x0 + CellPad, y, table.tableWidth - 2 * CellPad, rh);
        painter.drawText(r, Qt::AlignLeft | Qt::AlignVCenter, fmBold.elidedText(label, Qt::ElideRight, r.width()));
    };
    if (p.continuedGroup >= 0) {
        groupHeading(data.groupLabel(p.continuedGroup) + QStringLiteral(" (continuação)"));
        y += rh;
    }
    const double tallest = std::max(rh, m_body.height() - hh - 2 * rh);
    const double padding = (rh - table.plain->lineHeight()) / 2;
    const auto& lines = data.lines();
    for (int i = p.firstLine; i < p.firstLine + p.lineCount; ++i) {
        const ReportTableData::Line& line = lines[static_cast<std::size_t>(i)];
        const double h = std::min<double>(table.heights[static_cast<std::size_t>(i)], tallest);
        painter.setPen(Qt::black);
        switch (line.kind) {
        case ReportTableData::LineKind::Row:
            painter.setFont(plain);
            for (int c = 0; c < t.columns.size(); ++c)
                cellLines(c, y + padding, h - 2 * padding, data.cellText(line.index, c), *table.plain, fmPlain);
            painter.setPen(hair);
            painter.drawLine(QPointF(x0, y + h), QPointF(right, y + h));
            break;
        case ReportTableData::LineKind::GroupHeader:
            groupHeading(data.groupLabel(line.index));
            break;
        case ReportTableData::LineKind::Subtotal:
        case ReportTableData::LineKind::GrandTotal: {
            const bool grand = line.kind == ReportTableData::LineKind::GrandTotal;
            const auto& totals =
                grand ? data.grandTotals() : data.groups()[static_cast<std::size_t>(line.index)].totals;
            painter.setPen(thin);
            painter.drawLine(QPointF(x0, y), QPointF(right, y));
            if (grand)
                painter.drawLine(QPointF(x0, y + 1.5), QPointF(right, y + 1.5));
            painter.setPen(Qt::black);
            painter.setFont(bold);
            // The label comes first, when the first column holds no total; a
            // total wider than its column takes the room of the columns to its
            // left that hold none, and is never printed cut.
            const QString label = grand ? QStringLiteral("Total geral") : QStringLiteral("Subtotal");
            double free = x0;
            if (!t.columns.isEmpty() && data.totalText(totals, 0).isEmpty()) {
                const double w = table.bold->width(label);
                painter.drawText(QRectF(x0 + CellPad, y, w, rh), Qt::AlignLeft | Qt::AlignVCenter | Qt::TextDontClip,
                                 label);
                free = x0 + CellPad + w + CellPad;
            }
            for (int c = 0; c < t.columns.size(); ++c) {
                const QString text = data.totalText(totals, c);
                if (text.isEmpty())
                    continue;
                const QRectF own = columnRect(c, y, rh);
                if (table.bold->width(text) <= own.width()) {
                    painter.drawText(own, t.columns[c].align | Qt::AlignVCenter, text);
                } else {
                    const double from = std::min(free + CellPad, own.left());
                    painter.drawText(QRectF(from, y, own.right() - from, rh),
                                     Qt::AlignRight | Qt::AlignVCenter | Qt::TextDontClip, text);
                }
                free = own.right() + CellPad;
            }
            break;
        }
        }
        y += h;
    }
}

QImage ReportDocument::renderPage(int page, double dpi) const
{
    const QSizeF size = pageSizePoints() * dpi / 72.0;
    QImage image(size.toSize(), QImage::Format_RGB32);
    image.setDotsPerMeterX(qRound(dpi / 0.0254));
    image.setDotsPerMeterY(qRound(dpi / 0.0254));
    image.fill(Qt::white);
    QPainter painter(&image);
    paintPage(painter, page);
    return image;
}

bool ReportDocument::paintAll(QPagedPaintDevice& device, const ReportProgress& progress) const
{
    QPainter painter;
    if (!painter.begin(&device))
        throw EReportError(QStringLiteral("Não foi possível iniciar a impressão do relatório '%1'.").arg(m_def.title));
    for (int i = 0; i < pageCount(); ++i) {
        if (progress && !progress(i, pageCount())) {
            painter.end();
            return false;
        }
        if (i > 0)
            device.newPage();
        paintPage(painter, i);
    }
    painter.end();
    if (progress)
        progress(pageCount(), pageCount());
    return true;
}

bool ReportDocument::exportPdf(const QString& fileName, const ReportProgress& progress) const
{
    bool done = false;
    {
        QPdfWriter writer(fileName);
        writer.setResolution(1200);
        writer.setTitle(m_def.title);
        writer.setCreator(QStringLiteral("trd-client"));
        writer.setPageLayout(pageLayout());
        done = paintAll(writer, progress);
    }
    if (!done) {
        QFile::remove(fileName);
        return false;
    }
    if (!QFile::exists(fileName) || QFile(fileName).size() == 0)
        throw EReportError(QStringLiteral("Não foi possível gravar o arquivo PDF '%1'.").arg(fileName));
    return true;
}

bool ReportDocument::exportCsv(const QString& fileName, const ReportProgress& progress) const
{
    const ReportTable* main = m_def.mainTable();
    const ReportTableData* data = main ? tableData(main->name) : nullptr;
    if (!data)
        throw EReportError(QStringLiteral("O relatório '%1' não tem tabela para exportar.").arg(m_def.title));
    // A spreadsheet evaluates a cell that starts like a formula, so a screen
    // text such as "=HIPERLINK(...)" would run when the file is opened: a
    // text cell that does is written after an apostrophe, which shows it as
    // text. Numbers and dates keep their form ("-5" stays a number).
    const auto guarded = [](const QVariant& value, QString text) {
        static const QString FormulaStarts = QStringLiteral("=+-@\t\r");
        if (value.typeId() != QMetaType::QString)
            return text;
        qsizetype at = 0;
        while (at < text.size() && text.at(at) == u'\'')
            ++at;
        if (at < text.size() && FormulaStarts.contains(text.at(at)))
            text.prepend(u'\'');
        return text;
    };
    auto quote = [](const QString& v) {
        if (!v.contains(u';') && !v.contains(u'"') && !v.contains(u'\n') && !v.contains(u'\r'))
            return v;
        QString q = v;
        q.replace(QStringLiteral("\""), QStringLiteral("\"\""));
        return u'"' + q + u'"';
    };
    QSaveFile file(fileName);
    if (!file.open(QIODevice::WriteOnly))
        throw EReportError(
            QStringLiteral("Não foi possível gravar o arquivo '%1': %2.").arg(fileName, file.errorString()));
    QByteArray out("\xEF\xBB\xBF");
    QStringList fields;
    for (const ReportColumn& c : main->columns)
        fields << quote(c.title);
    out += fields.join(u';').toUtf8() + "\r\n";
    const int rows = data->rowCount();
    for (int r = 0; r < rows; ++r) {
        if (progress && r % 5000 == 0 && !progress(r, rows)) {
            file.cancelWriting();
            return false;
        }
        fields.clear();
        for (int c = 0; c < main->columns.size(); ++c)
            fields << quote(guarded(data->cellValue(r, c), data->cellText(r, c)));
        out += fields.join(u';').toUtf8() + "\r\n";
        if (out.size() > (1 << 20)) {
            file.write(out);
            out.clear();
        }
    }
    file.write(out);
    if (!file.commit())
        throw EReportError(
            QStringLiteral("Não foi possível gravar o arquivo '%1': %2.").arg(fileName, file.errorString()));
    return true;
}

} // namespace trd
