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

// Logs in with a user and password: "" once logged in (the token kept), else
// why not, in the user's words (a wrong password, an unreachable server).
using WebSignIn = std::function<QString(const QString& user, const QString& password)>;
// A dialog that stays open until a login succeeds: it shows `message`, tries
// each user and password typed through signIn, and shows a refusal's reason
// in place. Returns true once logged in, false when the user gives up. When
// set, it is used rather than WebAskLogin.
extern std::function<bool(const QString& message, const WebSignIn& signIn)> WebLoginPrompt;

// Asks and logs in through `connection` until a login succeeds (true, the
// token kept in WebSessionToken) or the user gives up (false).
bool WebLogin(TSocketConnection& connection, const QString& message);

} // namespace trd
