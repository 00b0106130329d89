#include "TDBText.h"

namespace trd {

TDBText::TDBText(QWidget* parent) : QLabel(parent) {}

void TDBText::SetDataSource(TDataSource* source)
{
    TDataSource::Relink(m_dataSource, source, this, [this] { refresh(); });
    refresh();
}

void TDBText::SetDataField(const QString& field)
{
    m_dataField = field;
    refresh();
}

void TDBText::refresh()
{
    TClientDataSet* ds = m_dataSource ? m_dataSource->DataSet() : nullptr;
    TField* field = ds && ds->Active() && !m_dataField.isEmpty() ? ds->FindField(m_dataField) : nullptr;
    setText(field && !ds->IsEmpty() ? field->AsString() : QString());
}

} // namespace trd
