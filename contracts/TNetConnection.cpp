#include "TNetConnection.h"

#include "ServerCalls.h"
#include "WebServer.h"

namespace trd {

TNetConnection::TNetConnection(QObject* owner) : TSocketConnection(owner)
{
    ServerName = ServerNameTraducao;
    ThrowException = false;
    Host = WebURL;
    Port = WebPort;
}

} // namespace trd
