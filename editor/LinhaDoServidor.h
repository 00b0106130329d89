#pragma once
// One translation row read again from the server by its key, after a save of
// it failed or went unanswered: what the server holds then tells whether the
// save was in fact applied, and what the next save must be checked against.
// The server's listed-rows method serves it (GetCDSFilter, listing kind "2"
// with the row listed as not translated): it matches the language, program,
// component and exact source text, which name exactly one row, whatever its
// status and change date. Nothing new is asked of the server.
#include <QByteArray>
#include <QList>
#include <QString>

namespace trd {

class TClientDataSet;
class TSocketConnection;

struct ChaveLinha {
    QString idioma, programa, componente, origem;

    bool operator==(const ChaveLinha&) const = default;
    bool vazia() const { return idioma.isEmpty() && programa.isEmpty() && componente.isEmpty() && origem.isEmpty(); }
};

// The listed-rows packet that names exactly this row, or these rows.
QByteArray PacoteDaChave(const ChaveLinha& chave);
QByteArray PacoteDasChaves(const QList<ChaveLinha>& chaves);

// Loads the row into `linha` (the translation row's fields); false when the
// server has no such row any more. Waits for the answer at most `esperaMs`
// (a server that left a save unanswered is not waited for the whole read
// timeout again). Raises what the call raises.
bool LeLinhaDoServidor(TSocketConnection& conexao, const ChaveLinha& chave, TClientDataSet& linha, int esperaMs);

// The rows of `idioma` with these keys, as the server holds them now, into
// `linhas`; a row the server no longer has is not among them. Raises what the
// call raises.
void LeLinhasDoServidor(TSocketConnection& conexao, const QString& idioma, const QList<ChaveLinha>& chaves,
                        TClientDataSet& linhas);

} // namespace trd
