#pragma once
// The session with the application server, shared by every screen's
// connection like WebURL and WebPort: the token of the last login, and how to
// ask the user for a name and password when the server wants a login (the
// host sets WebAskLogin at start-up; without it no one is asked).
#include <QByteArray>
#include <QString>

#include <functional>

namespace trd {

class TSocketConnection;

extern QByteArray WebSessionToken;
// Fills user and password and returns true, or false when the user gives up.
// `message` says why (the server's words, or "Usuário ou senha incorretos.").
extern std::function<bool(QString& user, QString& password, const QString& message)> WebAskLogin;

// Asks and logs in through `connection` until a login succeeds (true, the
// token kept in WebSessionToken) or the user gives up (false).
bool WebLogin(TSocketConnection& connection, const QString& message);

} // namespace trd
