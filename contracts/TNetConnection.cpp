#include "TNetConnection.h"

#include "ServerCalls.h"
#include "ShowAvi.h"
#include "TApplication.h"
#include "WebServer.h"
#include "WebSession.h"

namespace trd {

TNetConnection::TNetConnection(QObject* owner) : TSocketConnection(owner)
{
    ServerName = ServerNameTraducao;
    ThrowException = false;
    Host = WebURL;
    Port = WebPort;
    UseTls = WebTls;
    TlsCaFile = WebTlsCaFile;
    // One login serves every screen; a screen whose call meets an ended
    // session asks again and carries on.
    SessionToken = [] { return WebSessionToken; };
    Login = [this](const QString& message) { return WebLogin(*this, message); };
    // Every screen's calls are synchronous. What the caller changed just
    // before (a saved row, its status lamps) is painted while the server
    // works rather than after; the busy indicator can only appear and turn
    // from inside the wait.
    OnWaiting = [] {
        Application()->PaintPending();
        ShowAviPump();
    };
    // While a large answer loads, its data set is closed: the busy indicator
    // turns, and nothing paints the empty grid before the rows are in.
    OnLoading = [] { ShowAviPump(); };
}

} // namespace trd
