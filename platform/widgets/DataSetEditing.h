#pragma once
// Whether a row set has a row in edit or insert state: what a grid or a
// navigator posts or cancels before it moves on.
#include "TClientDataSet.h"

namespace trd {

inline bool isEditing(const TClientDataSet* ds)
{
    return ds && (ds->State() == TDataSetState::dsEdit || ds->State() == TDataSetState::dsInsert);
}

} // namespace trd
