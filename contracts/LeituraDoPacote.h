#pragma once
// Reading an answer's rows field by field, for the data modules that turn a
// server's packets into plain records (the history, the releases, the
// suggestions): no screen
// and no grid, just the rows and the call that brings them.
#include "TDateTime.h"
#include "TSocketConnection.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <functional>
#include <initializer_list>
#include <type_traits>
#include <variant>

namespace trd {
class TClientDataSet;
}

namespace trd::pacote {

// Visits the rows of a packet (either form) through a client data set.
void cadaLinha(const QByteArray& pacote, const std::function<void(TClientDataSet&)>& visita);

// The packet's rows as records, one a row in their order, each made by `le`
// from the row it is given.
template <typename Registro, typename Leitor>
QList<Registro> registros(const QByteArray& pacote, Leitor le)
{
    QList<Registro> lidos;
    cadaLinha(pacote, [&](TClientDataSet& d) { lidos.append(le(d)); });
    return lidos;
}

QString texto(TClientDataSet& d, const char* campo);
// A field an answer may lack (a server of an earlier version): empty then.
QString textoSeHouver(TClientDataSet& d, const char* campo);
// A numeric field as a whole number (an id, a count), rounded to the nearest.
qint64 numero(TClientDataSet& d, const char* campo);

// A date and time field.
TDateTime dataHora(TClientDataSet& d, const char* campo);

// A record's member read from the field of that name, by the member's type:
// texto, numero or dataHora. The readers of records that mostly copy fields
// name them in a table and read by hand only what the fields do not hold
// as they stand (a kind, a flag).
template <typename Registro>
struct Campo {
    const char* nome;
    std::variant<QString Registro::*, qint64 Registro::*, TDateTime Registro::*> membro;
};

template <typename Registro>
void preenche(TClientDataSet& d, Registro& r, std::initializer_list<Campo<Registro>> campos)
{
    for (const Campo<Registro>& c : campos)
        std::visit(
            [&](auto membro) {
                using Tipo = std::decay_t<decltype(r.*membro)>;
                if constexpr (std::is_same_v<Tipo, QString>)
                    r.*membro = texto(d, c.nome);
                else if constexpr (std::is_same_v<Tipo, qint64>)
                    r.*membro = numero(d, c.nome);
                else
                    r.*membro = dataHora(d, c.nome);
            },
            c.membro);
}

// The answer's packet; an error answer raises EServerError, as every screen has it.
QByteArray chama(TSocketConnection& conexao, const QString& metodo, const TRemoteArgs& argumentos);

} // namespace trd::pacote
