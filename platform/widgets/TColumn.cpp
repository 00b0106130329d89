#include "TColumn.h"

#include "TClientDataSet.h"
#include "TDBGrid.h"

namespace trd {

TField* TColumn::Field() const
{
    TClientDataSet* dataSet = m_grid ? m_grid->DataSet() : nullptr;
    if (!dataSet || FieldName.isEmpty())
        return nullptr;
    return dataSet->FindField(FieldName);
}

int TColumn::Index() const
{
    if (!m_grid)
        return -1;
    const int index = m_grid->Columns().IndexOf(this);
    if (index >= 0)
        return index;
    for (int i = 0; i < m_grid->VisibleColumnCount(); ++i)
        if (m_grid->VisibleColumn(i) == this)
            return i;
    return -1;
}

TColumn* TDBGridColumns::Add()
{
    m_items.push_back(std::make_unique<TColumn>(m_grid));
    TColumn* column = m_items.back().get();
    if (m_grid && this == &m_grid->Columns())
        m_grid->ColumnsChanged();
    return column;
}

TColumn* TDBGridColumns::Add(const QString& fieldName, const QString& title, int width, bool readOnly)
{
    m_items.push_back(std::make_unique<TColumn>(m_grid));
    TColumn* column = m_items.back().get();
    column->FieldName = fieldName;
    column->Title.Caption = title;
    column->Width = width;
    column->ReadOnly = readOnly;
    if (m_grid && this == &m_grid->Columns())
        m_grid->ColumnsChanged();
    return column;
}

int TDBGridColumns::IndexOf(const TColumn* column) const
{
    for (size_t i = 0; i < m_items.size(); ++i)
        if (m_items[i].get() == column)
            return static_cast<int>(i);
    return -1;
}

void TDBGridColumns::Clear()
{
    m_items.clear();
    if (m_grid && this == &m_grid->Columns())
        m_grid->ColumnsChanged();
}

} // namespace trd
