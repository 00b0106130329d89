#pragma once
// A report as its definition file describes it (docs/reports.md): page setup,
// header and footer, the parameters it declares, its data sources and the
// elements of its body (texts, tables, bar charts), in order.
#include "TParams.h"

#include <QList>
#include <QMarginsF>
#include <QPageLayout>
#include <QPageSize>
#include <QString>
#include <QStringList>

#include <variant>
#include <vector>

namespace trd {

inline constexpr int ReportFormatVersion = 1;

struct ReportPageSetup {
    QPageSize::PageSizeId size = QPageSize::A4;
    QPageLayout::Orientation orientation = QPageLayout::Portrait;
    QMarginsF marginsMm{15, 15, 15, 15}; // left, top, right, bottom
};

// Three slots of a header or footer line; texts may hold {variables}.
struct ReportBand {
    QString left, center, right;
    bool present = true;
};

struct ReportParameter {
    QString name;
    TParamType type = TParamType::ftString;
};

// Where a table's rows come from: a client data set of the report's dialog,
// named by its component name, or a named query of the server's catalog with
// the report parameters it binds.
struct ReportSource {
    enum class Kind { DataSet, Query };
    QString name; // how tables refer to it
    Kind kind = Kind::DataSet;
    QString target; // the data set's component name, or the query's name
    QStringList params; // Query: the report parameters it sends, by name
    int line = 0;
};

enum class ReportTotal { None, Sum, Count, Average };

struct ReportColumn {
    QString field;
    QString title;
    double widthMm = 30;
    Qt::Alignment align = Qt::AlignLeft;
    QString format; // numbers: "0", "0.00", "#,##0.00", "0%"; dates: "dd/MM/yyyy"
    ReportTotal total = ReportTotal::None;
};

struct ReportSortKey {
    QString field;
    bool descending = false;
};

struct ReportTable {
    QString name;
    QString source;
    QList<ReportColumn> columns;
    QList<ReportSortKey> sort;
    QString groupField; // empty: no groups
    QString groupTitle; // text before the group's value, e.g. "Tela: "
    bool subtotals = true; // with groups: a subtotal line after each group
    bool grandTotal = true; // a total line at the end, when a column totals
    bool main = false; // the table CSV export writes
    double fontPt = 9;
    int line = 0;
};

struct ReportText {
    QString text; // may hold {variables}; line breaks kept
    double fontPt = 10;
    bool bold = false;
    Qt::Alignment align = Qt::AlignLeft;
    int line = 0;
};

// Bars of a table's groups: one bar per group, its length the group's total
// of the value column.
struct ReportChart {
    QString table;
    QString valueField;
    QString title;
    double heightMm = 70;
    int line = 0;
};

using ReportElement = std::variant<ReportText, ReportTable, ReportChart>;

struct ReportDefinition {
    int version = ReportFormatVersion;
    QString title;
    QString code; // the report code of the dialogs that list it
    ReportPageSetup page;
    ReportBand header{QStringLiteral("{title}"), QString(), QStringLiteral("{date}")};
    ReportBand footer{QString(), QString(), QStringLiteral("Página {page} de {pages}")};
    QList<ReportParameter> parameters;
    QList<ReportSource> sources;
    std::vector<ReportElement> body;

    const ReportSource* findSource(const QString& name) const;
    const ReportTable* findTable(const QString& name) const;
    const ReportTable* mainTable() const; // the one marked main, else the first
};

// Reads a definition. Raises EReportError naming the file and the line for
// anything malformed: bad XML, an unknown element or attribute value, a
// version this library does not read, a table naming an undeclared source, a
// query sending an undeclared parameter, a {variable} that is neither a
// built-in nor a declared parameter.
ReportDefinition ReadReportDefinition(const QString& fileName);
ReportDefinition ParseReportDefinition(const QByteArray& xml, const QString& fileName);

// Writes a definition in the same format (what the designer saves).
QByteArray WriteReportDefinition(const ReportDefinition& definition);
void SaveReportDefinition(const ReportDefinition& definition, const QString& fileName);

} // namespace trd
