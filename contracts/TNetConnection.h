#pragma once
// The shared library's connection component: a TSocketConnection to the
// application server. Error answers come back in the call's result for
// CheckResultServ (ThrowException false), and the address starts as the
// configured server (WebURL, WebPort), so a connection that sets no address of
// its own before connecting reaches the same server as every other screen.
// While a call waits, the shared busy indicator is kept going (ShowAviPump).
#include "TSocketConnection.h"

namespace trd {

class TNetConnection : public TSocketConnection {
    Q_OBJECT
public:
    explicit TNetConnection(QObject* owner = nullptr);
};

} // namespace trd
