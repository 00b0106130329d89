#pragma once
// A language's glossary as the client reads it from the server (GetTermos,
// docs/protocol.md), for the editor and trd-check.
#include "GlossaryTerm.h"

#include <QList>
#include <QString>

#include <optional>

namespace trd {

class TClientDataSet;
class TSocketConnection;

namespace glossario {

inline const QString GetTermos = QStringLiteral("GetTermos");
inline const QString AddTermo = QStringLiteral("AddTermo");

// The terms of a GetTermos answer (or of any packet with its fields).
QList<quality::GlossaryTerm> termosDoPacote(TClientDataSet& pacote);

// The language's terms; none (nullopt) from a server that keeps no glossary
// (an earlier version: the method is unknown to it, or its database has
// none). Any other refusal raises, as every call does.
std::optional<QList<quality::GlossaryTerm>> leTermos(TSocketConnection& conexao, const QString& idioma);

// The translations of a list field: one a line, blank lines dropped.
QStringList linhas(const QString& texto);

} // namespace glossario
} // namespace trd
