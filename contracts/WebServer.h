#pragma once
// Where the application server is: the host name and port that every screen's
// connection takes before it connects. The host sets them at start-up from
// --server HOST:PORT or the environment variable TRD_SERVER; an address
// written https://HOST:PORT (or --tls-ca) makes every connection speak TLS.
#include <QString>
#include <QStringView>

class QCommandLineOption;

namespace trd {

extern QString WebURL; // host name or address of the application server
extern int WebPort; // its port
extern bool WebTls; // HTTPS, the server's certificate verified
extern QString WebTlsCaFile; // trust only the authorities in this PEM file (empty: the system's)

inline constexpr int DefaultWebPort = 8211;

// Parses "HOST:PORT" (or "HOST", keeping the default port; "[::1]:PORT" for an
// IPv6 address), optionally after "http://" or "https://", and, when valid,
// sets WebURL, WebPort and WebTls (true only for https://). On a bad text
// returns false with a Portuguese reason in *error and changes nothing.
bool SetWebServer(QStringView hostPort, QString* error = nullptr);

// --server HOST:PORTA, as every program that reaches the server takes it.
QCommandLineOption WebServerOption();

} // namespace trd
