#include "ReportTableData.h"

#include "ReportError.h"
#include "ReportFormat.h"
#include "TClientDataSet.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <numeric>

namespace trd {

namespace {

constexpr double NoTotal = std::numeric_limits<double>::quiet_NaN();

bool isNumeric(TFieldType type)
{
    return type == TFieldType::ftInteger || type == TFieldType::ftFloat;
}

// One sort key's values, read once: numbers and dates as doubles, texts as strings.
struct SortColumn {
    bool numeric = false;
    bool descending = false;
    std::vector<double> numbers;
    std::vector<QString> texts;
    std::vector<char> nulls;

    int compare(int a, int b) const
    {
        const auto ia = static_cast<std::size_t>(a);
        const auto ib = static_cast<std::size_t>(b);
        int c = 0;
        if (nulls[ia] != nulls[ib])
            c = nulls[ia] ? -1 : 1; // nulls first, as data sets sort them
        else if (nulls[ia])
            c = 0;
        else if (numeric)
            c = numbers[ia] < numbers[ib] ? -1 : numbers[ia] > numbers[ib] ? 1 : 0;
        else
            c = texts[ia].compare(texts[ib], Qt::CaseInsensitive);
        return descending ? -c : c;
    }
};

double numberOf(const QVariant& v)
{
    if (v.typeId() == QMetaType::QDateTime)
        return static_cast<double>(v.toDateTime().toMSecsSinceEpoch());
    return v.toDouble();
}

} // namespace

ReportTableData::ReportTableData(const ReportTable& table, const TClientDataSet& data, const QString& sourceLabel)
    : m_table(table), m_data(data)
{
    auto resolve = [&](const QString& field, const char* role) {
        const TField* f = data.FindField(field);
        if (!f)
            throw EReportError(QStringLiteral("O campo '%1' (%2 da tabela '%3') não existe na fonte de dados '%4'.")
                                   .arg(field, QLatin1String(role), table.name, sourceLabel));
        return f->Index();
    };
    for (const ReportColumn& c : table.columns) {
        m_columnField.push_back(resolve(c.field, "coluna"));
        m_hasTotals = m_hasTotals || c.total != ReportTotal::None;
    }
    if (!table.groupField.isEmpty())
        m_groupField = resolve(table.groupField, "grupo");
    for (const ReportSortKey& k : table.sort)
        resolve(k.field, "ordenação");

    m_order.resize(static_cast<std::size_t>(data.RecordCount()));
    std::iota(m_order.begin(), m_order.end(), 0);
    sortRows();
    buildGroups();
}

int ReportTableData::fieldIndex(const QString& field) const
{
    const TField* f = m_data.FindField(field);
    return f ? f->Index() : -1;
}

void ReportTableData::sortRows()
{
    QList<ReportSortKey> keys = m_table.sort;
    // Groups need their rows together: the group field leads the order.
    if (m_groupField >= 0
        && (keys.isEmpty() || keys.first().field.compare(m_table.groupField, Qt::CaseInsensitive) != 0))
        keys.prepend(ReportSortKey{m_table.groupField, false});
    if (keys.isEmpty())
        return;
    const int rows = static_cast<int>(m_order.size());
    std::vector<SortColumn> columns;
    for (const ReportSortKey& k : keys) {
        const int field = fieldIndex(k.field);
        SortColumn c;
        c.descending = k.descending;
        c.numeric = m_data.Fields(field)->DataType() != TFieldType::ftString;
        c.nulls.resize(static_cast<std::size_t>(rows));
        if (c.numeric)
            c.numbers.resize(static_cast<std::size_t>(rows));
        else
            c.texts.resize(static_cast<std::size_t>(rows));
        for (int r = 0; r < rows; ++r) {
            const QVariant v = m_data.ValueAt(r, field);
            const auto i = static_cast<std::size_t>(r);
            c.nulls[i] = !v.isValid();
            if (!v.isValid())
                continue;
            if (c.numeric)
                c.numbers[i] = numberOf(v);
            else
                c.texts[i] = v.toString();
        }
        columns.push_back(std::move(c));
    }
    std::stable_sort(m_order.begin(), m_order.end(), [&](int a, int b) {
        for (const SortColumn& c : columns)
            if (const int r = c.compare(a, b); r != 0)
                return r < 0;
        return false;
    });
}

void ReportTableData::accumulate(int row, std::vector<double>& sums, std::vector<int>& counts) const
{
    for (std::size_t c = 0; c < m_columnField.size(); ++c) {
        if (m_table.columns[static_cast<qsizetype>(c)].total == ReportTotal::None)
            continue;
        const QVariant v = m_data.ValueAt(row, m_columnField[c]);
        if (!v.isValid())
            continue;
        counts[c] += 1;
        if (isNumeric(m_data.Fields(m_columnField[c])->DataType()))
            sums[c] += v.toDouble();
    }
}

void ReportTableData::buildGroups()
{
    const std::size_t ncols = m_columnField.size();
    auto finish = [&](const std::vector<double>& sums, const std::vector<int>& counts) {
        std::vector<double> totals(ncols, NoTotal);
        for (std::size_t c = 0; c < ncols; ++c) {
            switch (m_table.columns[static_cast<qsizetype>(c)].total) {
            case ReportTotal::Sum:
                totals[c] = sums[c];
                break;
            case ReportTotal::Count:
                totals[c] = counts[c];
                break;
            case ReportTotal::Average:
                totals[c] = counts[c] ? sums[c] / counts[c] : 0;
                break;
            case ReportTotal::None:
                break;
            }
        }
        return totals;
    };
    std::vector<double> grandSums(ncols, 0), sums(ncols, 0);
    std::vector<int> grandCounts(ncols, 0), counts(ncols, 0);
    const int rows = static_cast<int>(m_order.size());
    m_lines.reserve(static_cast<std::size_t>(rows) + 2);
    for (int pos = 0; pos < rows; ++pos) {
        const int row = m_order[static_cast<std::size_t>(pos)];
        if (m_groupField >= 0) {
            const QVariant value = m_data.ValueAt(row, m_groupField);
            if (m_groups.empty() || m_groups.back().value != value) {
                if (!m_groups.empty()) {
                    m_groups.back().totals = finish(sums, counts);
                    if (m_table.subtotals && m_hasTotals)
                        m_lines.push_back({LineKind::Subtotal, static_cast<int>(m_groups.size()) - 1});
                }
                std::fill(sums.begin(), sums.end(), 0);
                std::fill(counts.begin(), counts.end(), 0);
                m_groups.push_back(Group{value, pos, 0, {}});
                m_lines.push_back({LineKind::GroupHeader, static_cast<int>(m_groups.size()) - 1});
            }
            m_groups.back().count += 1;
            accumulate(row, sums, counts);
        }
        accumulate(row, grandSums, grandCounts);
        m_lines.push_back({LineKind::Row, pos});
    }
    if (!m_groups.empty()) {
        m_groups.back().totals = finish(sums, counts);
        if (m_table.subtotals && m_hasTotals)
            m_lines.push_back({LineKind::Subtotal, static_cast<int>(m_groups.size()) - 1});
    }
    m_grand = finish(grandSums, grandCounts);
    if (m_table.grandTotal && m_hasTotals)
        m_lines.push_back({LineKind::GrandTotal, -1});
}

QVariant ReportTableData::cellValue(int pos, int column) const
{
    return m_data.ValueAt(m_order[static_cast<std::size_t>(pos)], m_columnField[static_cast<std::size_t>(column)]);
}

QString ReportTableData::cellText(int pos, int column) const
{
    return FormatReportValue(cellValue(pos, column), m_table.columns[column].format);
}

QString ReportTableData::groupLabel(int group) const
{
    const QVariant& v = m_groups[static_cast<std::size_t>(group)].value;
    QString format;
    for (const ReportColumn& c : m_table.columns)
        if (c.field.compare(m_table.groupField, Qt::CaseInsensitive) == 0)
            format = c.format;
    const QString text = FormatReportValue(v, format);
    return m_table.groupTitle + (text.isEmpty() ? QStringLiteral("(vazio)") : text);
}

QString ReportTableData::totalText(const std::vector<double>& totals, int column) const
{
    const double v = totals[static_cast<std::size_t>(column)];
    if (std::isnan(v))
        return {};
    const ReportColumn& c = m_table.columns[column];
    if (c.total == ReportTotal::Count)
        return FormatReportNumber(v, QStringLiteral("#,##0"));
    const TField* f = m_data.Fields(m_columnField[static_cast<std::size_t>(column)]);
    if (!isNumeric(f->DataType()))
        return {};
    if (!c.format.isEmpty())
        return FormatReportNumber(v, c.format);
    return FormatReportNumber(v, v == std::floor(v) ? QStringLiteral("#,##0") : QStringLiteral("#,##0.00"));
}

int ReportTableData::continuedGroup(int line) const
{
    if (m_groups.empty())
        return -1;
    const Line& l = m_lines[static_cast<std::size_t>(line)];
    if (l.kind == LineKind::Subtotal)
        return l.index;
    if (l.kind != LineKind::Row)
        return -1;
    const auto after = std::upper_bound(m_groups.begin(), m_groups.end(), l.index,
                                        [](int pos, const Group& g) { return pos < g.first; });
    return static_cast<int>(after - m_groups.begin()) - 1;
}

double ReportTableData::groupValue(int group, const QString& field) const
{
    const int f = fieldIndex(field);
    if (f < 0)
        return 0;
    // The column's total when the field is a totalled column; otherwise the sum.
    for (int c = 0; c < static_cast<int>(m_columnField.size()); ++c)
        if (m_columnField[static_cast<std::size_t>(c)] == f && m_table.columns[c].total != ReportTotal::None)
            return m_groups[static_cast<std::size_t>(group)].totals[static_cast<std::size_t>(c)];
    const Group& g = m_groups[static_cast<std::size_t>(group)];
    double sum = 0;
    for (int pos = g.first; pos < g.first + g.count; ++pos) {
        const QVariant v = m_data.ValueAt(m_order[static_cast<std::size_t>(pos)], f);
        if (v.isValid())
            sum += v.toDouble();
    }
    return sum;
}

} // namespace trd
