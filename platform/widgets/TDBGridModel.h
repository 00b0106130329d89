#pragma once
// The table model behind a data grid: rows are the data set's rows in cursor
// order, columns the grid's visible columns. data() reads the data set by row
// index without building anything per call, so a million rows stay quick.
#include <QAbstractTableModel>

#include <vector>

namespace trd {

class TDBGrid;
class TColumn;
class TClientDataSet;
class TField;

class TDBGridModel : public QAbstractTableModel {
    Q_OBJECT
public:
    explicit TDBGridModel(TDBGrid* grid);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

    // Re-reads the data set's row count and the columns' fields.
    void reset();
    // True when the data set's row count differs from what the view knows.
    bool rowCountChanged() const;
    // Same rows and columns as the view knows: values may have changed
    // anywhere (a merge, a sort), which needs no reset of the view.
    bool sameShape() const;
    // The shown columns and their fields are still what the model was built on.
    bool sameColumns() const;
    void allChanged();
    void rowChanged(int row);
    // One row left the data set: the view keeps its scroll and selection
    // (moved up with the rows after it), as a reset would not.
    void rowRemoved(int row);

    TColumn* column(int modelColumn) const;
    TField* field(int modelColumn) const;

private:
    struct Slot {
        TColumn* column = nullptr; // nullptr: a default column for fieldIndex
        int fieldIndex = -1;
    };
    TClientDataSet* dataSet() const;
    void rebuildSlots();

    TDBGrid* m_grid;
    std::vector<Slot> m_slots;
    int m_rows = 0;
};

} // namespace trd
