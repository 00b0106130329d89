#pragma once
// Where the application server is: the host name and port that every screen's
// connection takes before it connects. The host sets them at start-up from
// --server HOST:PORT or the environment variable TRD_SERVER.
#include <QString>
#include <QStringView>

namespace trd {

extern QString WebURL;     // host name or address of the application server
extern int WebPort;        // its port

inline constexpr int DefaultWebPort = 8211;

// Parses "HOST:PORT" (or "HOST", keeping the default port; "[::1]:PORT" for an
// IPv6 address) and, when valid, sets WebURL and WebPort. On a bad text returns
// false with a Portuguese reason in *error and changes nothing.
bool SetWebServer(QStringView hostPort, QString* error = nullptr);

} // namespace trd
