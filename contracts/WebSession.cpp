#include "WebSession.h"

#include "TSocketConnection.h"

namespace trd {

QByteArray WebSessionToken;
std::function<bool(QString& user, QString& password, const QString& message)> WebAskLogin;
std::function<bool(const QString& message, const WebSignIn& signIn)> WebLoginPrompt;

namespace {

// One Login call; the connection's own setting for error answers is kept.
TServerResult callLogin(TSocketConnection& connection, const QString& user, const QString& password)
{
    const bool throws = connection.ThrowException;
    connection.ThrowException = false;
    TServerResult answer;
    try {
        answer = connection.AppServer().Call(QStringLiteral("Login"), {user, password});
    } catch (...) {
        connection.ThrowException = throws;
        throw;
    }
    connection.ThrowException = throws;
    return answer;
}

} // namespace

bool WebLogin(TSocketConnection& connection, const QString& message)
{
    if (WebLoginPrompt) {
        const WebSignIn signIn = [&connection](const QString& user, const QString& password) -> QString {
            // Runs from the dialog's button: a fault of the connection is
            // shown there, where the user can try again or give up.
            try {
                const TServerResult answer = callLogin(connection, user, password);
                if (!answer.Ok)
                    return answer.ErrorMessage;
                WebSessionToken = answer.Packet;
                return {};
            } catch (const Exception& e) {
                return e.Message();
            }
        };
        return WebLoginPrompt(message, signIn);
    }
    QString reason = message;
    for (;;) {
        QString user, password;
        if (!WebAskLogin || !WebAskLogin(user, password, reason))
            return false;
        const TServerResult answer = callLogin(connection, user, password);
        if (answer.Ok) {
            WebSessionToken = answer.Packet;
            return true;
        }
        reason = answer.ErrorMessage;
    }
}

} // namespace trd
