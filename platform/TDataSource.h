#pragma once
// Links a data set to data-aware controls: forwards the data set's events as
// the state-change and data-change events and as a signal the controls follow.
#include "TClientDataSet.h"

#include <QObject>
#include <QPointer>

#include <exception>
#include <functional>

namespace trd {

class TDataSource : public QObject {
    Q_OBJECT
public:
    explicit TDataSource(QObject* owner = nullptr);
    ~TDataSource() override;

    TClientDataSet* DataSet() const;
    void SetDataSet(TClientDataSet* dataSet);
    TDataSetState State() const; // dsInactive without a data set
    bool Enabled = true;
    bool AutoEdit = true;

    // Fired on open, close and every change of state (entering/leaving edit).
    std::function<void(TDataSource*)> OnStateChange;
    // Fired on open, load, scroll, post/cancel, and every field change while
    // editing (field = the changed field, otherwise nullptr).
    std::function<void(TDataSource*, TField*)> OnDataChange;

    // Points a data-aware control's link at another source: the control
    // leaves the events of the old one and calls onEvent on those of the new.
    template <typename Slot>
    static void Relink(QPointer<TDataSource>& link, TDataSource* source, QObject* control, Slot onEvent)
    {
        if (link)
            QObject::disconnect(link, nullptr, control, nullptr);
        link = source;
        if (source)
            QObject::connect(source, &TDataSource::dataEvent, control, std::move(onEvent));
    }

    // For a data-aware control answering deUpdateRecord: the control could
    // not write its value; the data set's UpdateRecord raises this error.
    void RefuseUpdate(std::exception_ptr error) { m_updateError = std::move(error); }

signals:
    // For data-aware controls: every event the data set sends while controls are enabled.
    void dataEvent(trd::TDataEvent event, qintptr info);

private:
    friend class TClientDataSet;
    void notify(TDataEvent event, qintptr info);
    void updateRecord();
    TClientDataSet* m_dataSet = nullptr;
    std::exception_ptr m_updateError;
};

} // namespace trd
