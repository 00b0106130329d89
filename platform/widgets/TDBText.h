#pragma once
// A label showing one field of the data set's current row.
#include "TDataSource.h"

#include <QLabel>
#include <QPointer>

namespace trd {

class TDBText : public QLabel {
    Q_OBJECT
public:
    explicit TDBText(QWidget* parent = nullptr);

    TDataSource* DataSource() const { return m_dataSource; }
    void SetDataSource(TDataSource* source);
    QString DataField() const { return m_dataField; }
    void SetDataField(const QString& field);

private:
    void refresh();

    QPointer<TDataSource> m_dataSource;
    QString m_dataField;
};

} // namespace trd
