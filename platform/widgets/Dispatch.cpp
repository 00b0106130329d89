#include "Dispatch.h"

#include "Exceptions.h"
#include "TApplication.h"

#include <QTimer>

#include <exception>

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

void HandleExceptionLater(QObject* context)
{
    std::exception_ptr error = std::current_exception();
    QTimer::singleShot(0, context, [error] {
        try {
            std::rethrow_exception(error);
        } catch (...) {
            Application()->HandleException();
        }
    });
}

} // namespace trd
