#include "TDBSortGrid.h"

#include "Dispatch.h"
#include "TClientDataSet.h"
#include "TDBGridModel.h"

#include <QHeaderView>

namespace trd {

TDBSortGrid::TDBSortGrid(QWidget* parent) : TDBGrid(parent)
{
    horizontalHeader()->setSortIndicatorShown(false);
}

void TDBSortGrid::TitleClick(TColumn* column)
{
    TClientDataSet* ds = DataSet();
    if (!column || column->FieldName.isEmpty() || !ds || !ds->Active() || !column->Field())
        return;
    const QString name = column->FieldName;
    Dispatch([&] {
        // A pending edit is settled first, as any move of the cursor would.
        if (ds->State() == TDataSetState::dsInsert && !ds->Modified())
            ds->Cancel();
        else
            ds->CheckBrowseMode();
        const bool again = ds->IndexFieldNames().compare(name, Qt::CaseInsensitive) == 0;
        ds->SetIndexFieldNames(again ? name + QStringLiteral(" DESC") : name);
    });
    showSortIndicator();
    if (OnTitleClick)
        Dispatch([this] { OnTitleClick(this); });
}

void TDBSortGrid::showSortIndicator()
{
    TClientDataSet* ds = DataSet();
    QString index = ds ? ds->IndexFieldNames() : QString();
    const bool descending = index.endsWith(QStringLiteral(" DESC"), Qt::CaseInsensitive);
    if (descending)
        index.chop(5);
    for (int i = 0; i < model_()->columnCount(); ++i) {
        TColumn* column = model_()->column(i);
        if (column && !index.isEmpty() && column->FieldName.compare(index, Qt::CaseInsensitive) == 0) {
            horizontalHeader()->setSortIndicatorShown(true);
            horizontalHeader()->setSortIndicator(i, descending ? Qt::DescendingOrder : Qt::AscendingOrder);
            return;
        }
    }
    horizontalHeader()->setSortIndicatorShown(false);
}

} // namespace trd
