#include "TDBGridModel.h"

#include "TClientDataSet.h"
#include "TDBGrid.h"
#include "TDataSource.h"

namespace trd {

TDBGridModel::TDBGridModel(TDBGrid* grid) : QAbstractTableModel(grid), m_grid(grid)
{
}

TClientDataSet* TDBGridModel::dataSet() const
{
    TClientDataSet* ds = m_grid->DataSet();
    return ds && ds->Active() ? ds : nullptr;
}

int TDBGridModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : m_rows;
}

int TDBGridModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(m_slots.size());
}

void TDBGridModel::rebuildSlots()
{
    m_slots.clear();
    for (int i = 0; i < m_grid->VisibleColumnCount(); ++i) {
        TColumn* column = m_grid->VisibleColumn(i);
        TField* field = column->Field();
        m_slots.push_back({column, field ? field->Index() : -1});
    }
}

void TDBGridModel::reset()
{
    beginResetModel();
    rebuildSlots();
    TClientDataSet* ds = dataSet();
    m_rows = ds ? ds->RecordCount() : 0;
    endResetModel();
}

bool TDBGridModel::rowCountChanged() const
{
    TClientDataSet* ds = dataSet();
    return (ds ? ds->RecordCount() : 0) != m_rows;
}

bool TDBGridModel::sameShape() const
{
    return !rowCountChanged() && m_grid->VisibleColumnCount() == static_cast<int>(m_slots.size());
}

bool TDBGridModel::sameColumns() const
{
    if (m_grid->VisibleColumnCount() != static_cast<int>(m_slots.size()))
        return false;
    for (size_t i = 0; i < m_slots.size(); ++i) {
        TColumn* column = m_grid->VisibleColumn(static_cast<int>(i));
        TField* field = column->Field();
        if (column != m_slots[i].column || (field ? field->Index() : -1) != m_slots[i].fieldIndex)
            return false;
    }
    return true;
}

void TDBGridModel::allChanged()
{
    rebuildSlots();
    if (m_rows > 0 && !m_slots.empty())
        emit dataChanged(index(0, 0), index(m_rows - 1, columnCount() - 1));
}

void TDBGridModel::rowChanged(int row)
{
    if (row >= 0 && row < m_rows && !m_slots.empty())
        emit dataChanged(index(row, 0), index(row, columnCount() - 1));
}

void TDBGridModel::rowRemoved(int row)
{
    if (row < 0 || row >= m_rows)
        return;
    beginRemoveRows(QModelIndex(), row, row);
    --m_rows;
    endRemoveRows();
}

TColumn* TDBGridModel::column(int modelColumn) const
{
    if (modelColumn < 0 || modelColumn >= static_cast<int>(m_slots.size()))
        return nullptr;
    return m_slots[static_cast<size_t>(modelColumn)].column;
}

TField* TDBGridModel::field(int modelColumn) const
{
    TClientDataSet* ds = dataSet();
    if (!ds || modelColumn < 0 || modelColumn >= static_cast<int>(m_slots.size()))
        return nullptr;
    const int fieldIndex = m_slots[static_cast<size_t>(modelColumn)].fieldIndex;
    return fieldIndex >= 0 && fieldIndex < ds->FieldCount() ? ds->Fields(fieldIndex) : nullptr;
}

QVariant TDBGridModel::data(const QModelIndex& index, int role) const
{
    if (role == Qt::ToolTipRole) {
        // Nothing of the row's own: the grid's hint, if any, is shown.
        if (!m_grid->OnRowHint || !index.isValid() || index.row() >= m_rows)
            return {};
        const QString hint = m_grid->OnRowHint(index.row());
        return hint.isEmpty() ? QVariant() : QVariant(hint);
    }
    if (role != Qt::DisplayRole && role != Qt::EditRole)
        return {};
    TClientDataSet* ds = dataSet();
    if (!ds || !index.isValid() || index.row() >= m_rows || index.row() >= ds->RecordCount())
        return {};
    const int fieldIndex = m_slots[static_cast<size_t>(index.column())].fieldIndex;
    if (fieldIndex < 0)
        return {};
    return ds->ValueAt(index.row(), fieldIndex);
}

QVariant TDBGridModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation == Qt::Vertical) {
        // The indicator: the current row's mark, as the framework draws it
        // (arrow browsing, I-beam editing, asterisk inserting).
        TClientDataSet* ds = dataSet();
        if (role != Qt::DisplayRole || !ds || section != ds->CurrentIndex())
            return {};
        switch (ds->State()) {
        case TDataSetState::dsEdit:
            return QStringLiteral("I");
        case TDataSetState::dsInsert:
            return QStringLiteral("*");
        default:
            return QStringLiteral("\u25B8");
        }
    }
    if (role != Qt::DisplayRole)
        return {};
    TColumn* col = column(section);
    if (!col)
        return {};
    if (!col->Title.Caption.isEmpty())
        return col->Title.Caption;
    if (TField* f = field(section))
        return f->DisplayName();
    return col->FieldName;
}

Qt::ItemFlags TDBGridModel::flags(const QModelIndex& index) const
{
    if (!index.isValid())
        return Qt::NoItemFlags;
    Qt::ItemFlags f = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
    if (m_grid->CanEditCell(index.row(), index.column()))
        f |= Qt::ItemIsEditable;
    return f;
}

} // namespace trd
