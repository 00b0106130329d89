#pragma once
// The fields of a translation row, as the server's packets, the editor's row
// set and the file of listed rows name them: one spelling for every screen.
#include <QString>

namespace trd {

inline const QString NMORIGEM = QStringLiteral("STAGRVALPROP"); // the source-language text
inline const QString NMDESTINO = QStringLiteral("STVALORPROP"); // the destination-language text
inline const QString NMSITUACAO = QStringLiteral("IDSITTRADUCAO"); // the translation status, one letter
inline const QString NMIDIOMA = QStringLiteral("IDIDIOMA"); // the language code
inline const QString NMPROGRAMA = QStringLiteral("CDPROGTRAD"); // the program, under "Tela:"
inline const QString NMCOMPONENTE = QStringLiteral("NMCOMPONENTE"); // the component, under "Tipo de Componente:"

} // namespace trd
