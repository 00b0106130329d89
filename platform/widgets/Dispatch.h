#pragma once
// Every event handler is entered through Dispatch: an abort (EAbort) ends the
// handler silently, any other exception goes to the application's general
// error display, and nothing crosses the Qt event loop.
#include <QObject>

#include <cstddef>
#include <functional>
#include <tuple>
#include <type_traits>
#include <utility>

namespace trd {

// Runs the handler; returns true when it completed, false when it raised
// (an abort or an error that was shown).
bool Dispatch(const std::function<void()>& handler);

// Shows the exception being handled once the running event is over: for
// errors raised where no dialog may open (painting). Call inside a catch block.
void HandleExceptionLater(QObject* context);

namespace detail {
// Calls f with the longest leading part of args it accepts, as Qt does for
// slots that take fewer arguments than the signal.
template <typename F, typename Tuple, std::size_t N = std::tuple_size_v<Tuple>>
void invokePrefix(F& f, Tuple& args)
{
    if constexpr (N == 0) {
        f();
    } else {
        auto call = [&]<std::size_t... I>(std::index_sequence<I...>)
        {
            if constexpr (std::is_invocable_v<F&, std::tuple_element_t<I, Tuple>&...>)
                f(std::get<I>(args)...);
            else
                invokePrefix<F, Tuple, N - 1>(f, args);
        };
        call(std::make_index_sequence<N>{});
    }
}
} // namespace detail

// Connects a Qt signal to a handler entered through Dispatch. The handler takes
// the signal's arguments, or fewer from the front; context ends the connection
// when destroyed.
template <typename Sender, typename Signal, typename Handler>
QMetaObject::Connection ConnectDispatch(Sender* sender, Signal signal, const QObject* context, Handler handler)
{
    return QObject::connect(sender, signal, context, [h = std::move(handler)](auto... args) mutable {
        auto tuple = std::make_tuple(args...);
        Dispatch([&] { detail::invokePrefix(h, tuple); });
    });
}

} // namespace trd
