#pragma once
// A report ready to print: its definition, the parameter values, its tables
// bound to their data, and the pages they fill. Table cells wrap within their
// column (at their line breaks, between words, and inside a word longer than
// the column), so a row is as tall as its tallest cell; the heights are
// measured once, when the pages are counted, and the pages are painted one at
// a time on demand, so memory does not grow with the pages.
#include "ReportDefinition.h"
#include "ReportTableData.h"
#include "TParams.h"

#include <QDateTime>
#include <QImage>
#include <QPageLayout>
#include <QRectF>

#include <functional>
#include <map>
#include <memory>
#include <vector>

class QPainter;
class QPagedPaintDevice;

namespace trd {

class TClientDataSet;

// Called as long work goes on: pages done and the total; false cancels.
using ReportProgress = std::function<bool(int done, int total)>;

class ReportDocument {
public:
    // dataSets: the bound data of every source the definition declares, by
    // source name (the document does not own them). Raises EReportError when a
    // table's source is missing or a field does not exist.
    ReportDocument(ReportDefinition definition, TParams params,
                   const std::map<QString, const TClientDataSet*>& dataSets,
                   QDateTime printedAt = QDateTime::currentDateTime());
    ~ReportDocument();
    ReportDocument(const ReportDocument&) = delete;
    ReportDocument& operator=(const ReportDocument&) = delete;

    const ReportDefinition& definition() const { return m_def; }
    const TParams& params() const { return m_params; }
    int pageCount() const { return static_cast<int>(m_pages.size()); }
    QPageLayout pageLayout() const;
    QSizeF pageSizePoints() const;

    // Paints page (0-based) on a painter over a whole page at the device's
    // logical resolution, from the device's top left corner.
    void paintPage(QPainter& painter, int page) const;
    // A page as an image at a resolution (96 dpi = 100 %).
    QImage renderPage(int page, double dpi) const;

    // Writes every page to the device (a QPdfWriter or a QPrinter), which must
    // be set to the page layout already; returns false when cancelled.
    bool paintAll(QPagedPaintDevice& device, const ReportProgress& progress = {}) const;
    // A PDF file; raises EReportError when it cannot be written. Returns false
    // when cancelled (the partial file is removed).
    bool exportPdf(const QString& fileName, const ReportProgress& progress = {}) const;
    // The main table's rows as CSV (UTF-8, ';' between fields, titles first).
    bool exportCsv(const QString& fileName, const ReportProgress& progress = {}) const;

    // A {variable}'s value in this run (page variables need the page).
    QString variable(const QString& name, int page = -1) const;

    // What a page holds: parts of body elements (for tables, a run of lines
    // under a repeated header row), each at its offset from the body's top.
    struct Placement {
        int element; // index in the body
        int firstLine; // tables: first line on this page
        int lineCount; // tables: lines on this page
        double y; // points from the body's top
        double height;
        int continuedGroup; // tables: the group running on from the last page, else -1
    };
    struct Page {
        std::vector<Placement> items;
    };

    // How a table is set on the page: its columns' places and, per printed
    // line, its height in points.
    struct TableLayout;

private:
    void layout();
    void measureTable(int element);
    const ReportTableData* tableData(const QString& name) const;
    void paintTable(QPainter& painter, const Placement& p, const QRectF& area) const;

    ReportDefinition m_def;
    TParams m_params;
    QDateTime m_printedAt;
    std::vector<std::unique_ptr<ReportTableData>> m_tables; // per body element (null for non-tables)
    std::vector<std::unique_ptr<TableLayout>> m_tableLayouts; // the same
    std::vector<Page> m_pages;
    QRectF m_body; // where the body goes, in points from the page's top left
    QRectF m_headerRect, m_footerRect;
};

} // namespace trd
