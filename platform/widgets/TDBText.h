#pragma once
// A label showing one field of the data set's current row. Its size does not
// follow its text (a data label keeps the place the form gives it), so a new
// row repaints the label alone: a QLabel would ask every layout up to the
// window to be worked out again each time its text changes.
#include "TDataSource.h"

#include <QPointer>
#include <QWidget>

namespace trd {

class TDBText : public QWidget {
    Q_OBJECT
public:
    explicit TDBText(QWidget* parent = nullptr);

    TDataSource* DataSource() const { return m_dataSource; }
    void SetDataSource(TDataSource* source);
    QString DataField() const { return m_dataField; }
    void SetDataField(const QString& field);

    QString text() const { return m_text; }
    void setText(const QString& text);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void refresh();

    QPointer<TDataSource> m_dataSource;
    QString m_dataField;
    QString m_text;
};

} // namespace trd
