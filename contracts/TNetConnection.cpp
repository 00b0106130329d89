#include "TNetConnection.h"

#include "ServerCalls.h"
#include "ShowAvi.h"
#include "WebServer.h"

namespace trd {

TNetConnection::TNetConnection(QObject* owner) : TSocketConnection(owner)
{
    ServerName = ServerNameTraducao;
    ThrowException = false;
    Host = WebURL;
    Port = WebPort;
    // Every screen's calls are synchronous: the busy indicator they put up
    // can only appear and turn from inside the wait.
    OnWaiting = [] { ShowAviPump(); };
}

} // namespace trd
