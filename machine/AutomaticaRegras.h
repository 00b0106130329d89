#pragma once
// The rules of machine translation in the editor that need no window: the
// server's answer read, the label of a suggestion, the status a text from
// the engine is posted with, and the rows a pre-translation fills.
#include <QByteArray>
#include <QList>
#include <QString>
#include <QVariant>

#include <optional>

namespace trd::automatica {

struct Sugestao {
    QString motor; // "Apertium"
    QString rota; // "por>spa", "por>spa>eng"
    bool encadeada = false;
    QString texto; // empty when the engine's answer was refused
    QString aviso; // why it was refused
    bool doCache = false;
};

// The rows of a GetTraducaoAutomatica or GetTraducoesAutomaticas answer, in order.
QList<Sugestao> LeSugestoes(const QByteArray& pacote);

// "Apertium · por → spa", or "Apertium · por → spa → eng (encadeada)": a
// chained route is visibly one, since each pair on the way loses something.
QString Rotulo(const Sugestao& s);
// What the history keeps as the batch's origin: "Apertium por>spa" (at most 40 characters).
QString Origem(const Sugestao& s);

// The status a row is posted with when its text is the engine's: doubtful
// ("D") unless the user marked it in this edit (then what they marked),
// since nobody has read it yet. `marcada` is the status the row held
// before the usual promotion, `anterior` the one it had when the edit began.
QString SituacaoDoTextoDaMaquina(const QString& marcada, const QVariant& anterior, const QString& promovida);

// A row a pre-translation may fill: not translated and with no text at all.
bool PreTraduzivel(const QString& situacao, const QString& destino);

} // namespace trd::automatica
