#include "TDataSource.h"

#include <utility>

namespace trd {

TDataSource::TDataSource(QObject* owner) : QObject(owner)
{
}

TDataSource::~TDataSource()
{
    if (m_dataSet)
        m_dataSet->detach(this);
}

TClientDataSet* TDataSource::DataSet() const
{
    return m_dataSet;
}

void TDataSource::SetDataSet(TClientDataSet* dataSet)
{
    if (dataSet == m_dataSet)
        return;
    const TDataSetState before = State();
    const bool hadData = m_dataSet && m_dataSet->Active();
    if (m_dataSet)
        m_dataSet->detach(this);
    m_dataSet = dataSet;
    if (m_dataSet)
        m_dataSet->attach(this);
    // Handlers hear of a real change only: linking a closed data set while a
    // form is being built must not run its state-change handler.
    if (State() != before)
        notify(TDataEvent::deUpdateState, 0);
    if (hadData || (m_dataSet && m_dataSet->Active()))
        notify(TDataEvent::deDataSetChange, 0);
    else if (Enabled)
        emit dataEvent(TDataEvent::deDataSetChange, 0); // controls still redraw (empty)
}

TDataSetState TDataSource::State() const
{
    return m_dataSet ? m_dataSet->State() : TDataSetState::dsInactive;
}

void TDataSource::notify(TDataEvent event, qintptr info)
{
    if (!Enabled)
        return;
    emit dataEvent(event, info);
    switch (event) {
    case TDataEvent::deUpdateState:
        if (OnStateChange)
            OnStateChange(this);
        break;
    case TDataEvent::deFieldChange:
        if (OnDataChange)
            OnDataChange(this, reinterpret_cast<TField*>(info));
        break;
    case TDataEvent::deRecordChange:
    case TDataEvent::deDataSetChange:
    case TDataEvent::deDataSetScroll:
    case TDataEvent::deRowRemoved:
        if (OnDataChange)
            OnDataChange(this, nullptr);
        break;
    case TDataEvent::deLayoutChange:
    case TDataEvent::deUpdateRecord:
    case TDataEvent::deRowChange: // not the current row: its controls repaint it, nothing else
        break;
    }
}

void TDataSource::updateRecord()
{
    m_updateError = nullptr;
    emit dataEvent(TDataEvent::deUpdateRecord, 0);
    if (m_updateError)
        std::rethrow_exception(std::exchange(m_updateError, nullptr));
}

} // namespace trd
