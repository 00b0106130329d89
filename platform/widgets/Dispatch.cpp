#include "Dispatch.h"

#include "Exceptions.h"
#include "TApplication.h"

namespace trd {

bool Dispatch(const std::function<void()>& handler)
{
    try {
        handler();
        return true;
    } catch (const EAbort&) {
        return false;
    } catch (...) {
        Application()->HandleException();
        return false;
    }
}

} // namespace trd
