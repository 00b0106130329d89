#pragma once
// A field of a client data set: reads and writes the value of the data set's
// active record (the current row, or the row a grid is painting).
#include "DataPacket.h"
#include "TDateTime.h"

#include <QString>
#include <QVariant>

#include <functional>

namespace trd {

class TClientDataSet;

class TField {
public:
    TField(TClientDataSet* dataSet, QString name, TFieldType type, int size, int index);

    const QString& FieldName() const { return m_name; }
    // What the user reads for this field: in grid titles and in the messages
    // that refuse a value.
    const QString& DisplayName() const { return DisplayLabel.isEmpty() ? m_name : DisplayLabel; }
    TFieldType DataType() const { return m_type; }
    int Size() const { return m_size; } // characters, for string fields
    int Index() const { return m_index; }
    TClientDataSet* DataSet() const { return m_dataSet; }

    bool IsNull() const;
    QString AsString() const; // null -> ""
    qint64 AsInteger() const; // null -> 0; EDBClient when the text is no integer
    double AsFloat() const;
    TDateTime AsDateTime() const;
    QVariant Value() const; // null -> invalid QVariant
    QVariant OldValue() const; // as last loaded, merged or posted

    // Setters need the data set in edit or insert state (EDBClient otherwise),
    // refuse a read-only field, a string longer than Size and a text the
    // Windows-1252 code page cannot hold, and notify data sources of the change.
    void SetAsString(const QString& value);
    // Why SetAsString would refuse this text for a string field (too long, a
    // null character, a character the code page lacks); empty when it fits.
    // Controls use it to refuse a text where it enters, before it is written.
    QString TextRefusal(const QString& value) const;
    void SetAsInteger(qint64 value);
    void SetAsFloat(double value);
    void SetAsDateTime(TDateTime value);
    void SetValue(const QVariant& value);
    void Clear();

    // Display properties used by grids and data-aware controls.
    QString DisplayLabel; // empty -> FieldName
    int DisplayWidth = 0;
    bool ReadOnly = false;
    bool Visible = true;
    bool Required = false;
    // A declared field a data packet may lack (one from an older server):
    // the rows then load with it null instead of being refused.
    bool Optional = false;

    std::function<void(TField*)> OnChange;

private:
    TClientDataSet* m_dataSet;
    QString m_name;
    TFieldType m_type;
    int m_size;
    int m_index;
};

} // namespace trd
