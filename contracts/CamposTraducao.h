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

// A row's identity (program, component, source) as one text, for the sets and
// maps that look rows up. The separator is a control character no field may hold.
inline QString ChaveDaLinha(const QString& programa, const QString& componente, const QString& origem)
{
    return programa + QChar(0x1F) + componente + QChar(0x1F) + origem;
}

} // namespace trd
