#include "TClientDataSet.h"

namespace trd {

struct TClientDataSet::Impl {};

TClientDataSet::TClientDataSet(QObject* owner) : QObject(owner), d(std::make_unique<Impl>()) {}
TClientDataSet::~TClientDataSet() = default;
void TClientDataSet::attach(TDataSource*) {}
void TClientDataSet::detach(TDataSource*) {}
TDataSetState TClientDataSet::State() const { return TDataSetState::dsInactive; }

} // namespace trd
