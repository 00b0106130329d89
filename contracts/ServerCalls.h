#pragma once
// What the module requires of the application server: the name of its remote
// object, the names of its methods, and CheckResultServ, which every answer
// passes through before its data packet is loaded.
#include "TSocketConnection.h"

#include <QByteArray>
#include <QString>

namespace trd {

inline const QString ServerNameTraducao = QStringLiteral("Trd09300.rdmTraducao");

namespace metodo {
inline const QString GetIdiTrad = QStringLiteral("GetIdiTrad");
inline const QString GetDestino = QStringLiteral("GetDestino");
inline const QString GetFiltroDest = QStringLiteral("GetFiltroDest");
inline const QString GetCDSFilter = QStringLiteral("GetCDSFilter");
inline const QString SetDestino = QStringLiteral("SetDestino");
inline const QString GetInfoTrad = QStringLiteral("GetInfoTrad");
inline const QString GetCalcTrad = QStringLiteral("GetCalcTrad");
inline const QString GetCalcNtrad = QStringLiteral("GetCalcNtrad");
inline const QString GetCalcDuv = QStringLiteral("GetCalcDuv");
// The history of changes (docs/history.md).
inline const QString GetHistorico = QStringLiteral("GetHistorico");
inline const QString GetLotes = QStringLiteral("GetLotes");
inline const QString AbreLote = QStringLiteral("AbreLote");
inline const QString DesfazLote = QStringLiteral("DesfazLote");
inline const QString DesfazVersao = QStringLiteral("DesfazVersao");
// The translation memory (docs/memory.md).
inline const QString GetSugestoes = QStringLiteral("GetSugestoes");
inline const QString GetMesmaOrigem = QStringLiteral("GetMesmaOrigem");
inline const QString GetInconsistencias = QStringLiteral("GetInconsistencias");
// Roles and the review mark (docs/users.md).
inline const QString GetPapeis = QStringLiteral("GetPapeis");
inline const QString MarcaRevisao = QStringLiteral("MarcaRevisao");
inline const QString SetRevisaoIdioma = QStringLiteral("SetRevisaoIdioma");
inline const QString GetUsuarios = QStringLiteral("GetUsuarios");
inline const QString ConcedePapel = QStringLiteral("ConcedePapel");
inline const QString RetiraPapel = QStringLiteral("RetiraPapel");
// Machine translation (docs/machine-translation.md).
inline const QString GetParesAutomaticos = QStringLiteral("GetParesAutomaticos");
inline const QString GetTraducaoAutomatica = QStringLiteral("GetTraducaoAutomatica");
inline const QString GetTraducoesAutomaticas = QStringLiteral("GetTraducoesAutomaticas");
inline const QString GetCalcRevisadas = QStringLiteral("GetCalcRevisadas");
} // namespace metodo

// The data packet of a successful answer. An error answer raises EServerError
// with the server's message when `raise` is true (as every screen calls it);
// otherwise the message is shown as an error and an empty packet returned.
// A large packet may still be arriving: SetData reads it as it comes.
ServerPacket CheckResultServ(const TServerResult& result, bool raise = true, int helpContext = 0);
ServerPacket CheckResultServ(TServerResult&& result, bool raise = true, int helpContext = 0);

} // namespace trd
