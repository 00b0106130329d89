#pragma once
// A table of a report bound to its data: the rows in the table's order, its
// groups with their subtotals, the grand totals, and the lines it prints
// (group headings, rows, subtotals, the grand total), in order.
#include "ReportDefinition.h"

#include <QString>
#include <QVariant>

#include <cstdint>
#include <vector>

namespace trd {

class TClientDataSet;

class ReportTableData {
public:
    enum class LineKind : std::uint8_t { GroupHeader, Row, Subtotal, GrandTotal };
    struct Line {
        LineKind kind;
        int index; // Row: position in order(); group lines: the group
    };
    struct Group {
        QVariant value; // the group field's value
        int first = 0; // first position in order()
        int count = 0;
        std::vector<double> totals; // per column (NaN where the column does not total)
    };

    // Binds the table to its data set: every column, sort and group field
    // must exist there (EReportError naming the field, the table and the
    // source otherwise). sourceLabel names the source in messages.
    ReportTableData(const ReportTable& table, const TClientDataSet& data, const QString& sourceLabel);

    const ReportTable& table() const { return m_table; }
    const std::vector<Line>& lines() const { return m_lines; }
    const std::vector<Group>& groups() const { return m_groups; }
    const std::vector<double>& grandTotals() const { return m_grand; }
    int rowCount() const { return static_cast<int>(m_order.size()); }
    bool hasTotals() const { return m_hasTotals; }

    // The text of a cell, as printed: the row at position pos of the order.
    QString cellText(int pos, int column) const;
    QVariant cellValue(int pos, int column) const;
    QString groupLabel(int group) const;
    // A total as printed (empty where the column does not total).
    QString totalText(const std::vector<double>& totals, int column) const;
    // The field index of a name in the bound data set, -1 when absent.
    int fieldIndex(const QString& field) const;
    double groupValue(int group, const QString& field) const; // a group's sum of a field
    // The group a line belongs to when it is a row or a subtotal, else -1.
    int continuedGroup(int line) const;

private:
    void sortRows();
    void buildGroups();
    void accumulate(int row, std::vector<double>& sums, std::vector<int>& counts) const;

    const ReportTable& m_table;
    const TClientDataSet& m_data;
    std::vector<int> m_columnField; // data set field index per column
    int m_groupField = -1;
    std::vector<int> m_order; // data set row indices in print order
    std::vector<Group> m_groups;
    std::vector<Line> m_lines;
    std::vector<double> m_grand;
    bool m_hasTotals = false;
};

} // namespace trd
