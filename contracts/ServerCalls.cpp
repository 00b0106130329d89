#include "ServerCalls.h"

#include "DialogSeam.h"

namespace trd {

namespace {

void refuse(const TServerResult& result, bool raise, int helpContext)
{
    const QString message = result.ErrorMessage.isEmpty()
        ? QStringLiteral("O servidor de aplicação recusou a requisição sem informar o motivo.")
        : result.ErrorMessage;
    if (raise)
        throw EServerError(message, result.ErrorCode);
    MessageDlg(message, mtError, mbOK, helpContext);
}

} // namespace

ServerPacket CheckResultServ(const TServerResult& result, bool raise, int helpContext)
{
    if (!result.Ok) {
        refuse(result, raise, helpContext);
        return {};
    }
    return result.Packet;
}

ServerPacket CheckResultServ(TServerResult&& result, bool raise, int helpContext)
{
    if (!result.Ok) {
        refuse(result, raise, helpContext);
        return {};
    }
    return std::move(result.Packet);
}

} // namespace trd
