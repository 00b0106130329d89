#pragma once
// A data grid whose titles sort: a click on a column's title orders the data
// set by that column's field, a second click on the same title orders it
// descending. The current row stays current. A row posted afterwards keeps
// its place on the screen until the next title click (the data set's rule).
#include "TDBGrid.h"

namespace trd {

class TDBSortGrid : public TDBGrid {
    Q_OBJECT
public:
    explicit TDBSortGrid(QWidget* parent = nullptr);

    TNotifyEvent OnTitleClick; // after the sort

protected:
    void TitleClick(TColumn* column) override;

private:
    void showSortIndicator();
};

} // namespace trd
