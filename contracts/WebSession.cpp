#include "WebSession.h"

#include "TSocketConnection.h"

namespace trd {

QByteArray WebSessionToken;
std::function<bool(QString& user, QString& password, const QString& message)> WebAskLogin;

bool WebLogin(TSocketConnection& connection, const QString& message)
{
    QString reason = message;
    for (;;) {
        QString user, password;
        if (!WebAskLogin || !WebAskLogin(user, password, reason))
            return false;
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
        if (answer.Ok) {
            WebSessionToken = answer.Packet;
            return true;
        }
        reason = answer.ErrorMessage;
    }
}

} // namespace trd
