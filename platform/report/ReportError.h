#pragma once
// The report library's error: a definition that does not read, a data source
// or field that does not exist, a parameter without a value. The message is
// the Portuguese text for the user and names what is wrong (and where).
#include "Exceptions.h"

namespace trd {

class EReportError : public Exception {
public:
    using Exception::Exception;
};

} // namespace trd
