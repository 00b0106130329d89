#pragma once
// A release of the application as the client sees it (docs/releases.md): the
// preview's (and the apply's) answer per language and program, the rows it
// lists, where a live row's translation came from, and the calls that fetch
// them. No display here: the release window, the detail panel's previous
// source and the filter build on it.
#include "CamposTraducao.h"
#include "LinhaDoServidor.h"
#include "TDateTime.h"

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QSet>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

namespace trd {

class TClientDataSet;
class TSocketConnection;

namespace liberacao {

// How the server reconciles (the arguments of GetPreviaLiberacao and AplicaLiberacao).
struct Opcoes {
    int limiar = 70; // least similarity, in percent, for a reworded text to be carried
    int limiteObsoletas = 30; // largest share of a language's live rows that may leave without confirming
    bool memoria = true; // offer a new row the memory's exact translated match
};

// What the release does to one program of a language (or, with `programa`
// empty, to the whole language).
struct Contagem {
    QString programa;
    qint64 vivas = 0, mantidas = 0, reescritas = 0, movidas = 0, novas = 0, daMemoria = 0, revividas = 0, obsoletas = 0;

    bool operator==(const Contagem&) const = default;
    // Rows written by an apply: created, revived or made obsolete.
    qint64 alteradas() const { return reescritas + movidas + novas + revividas + obsoletas; }
};

struct Idioma {
    QString codigo;
    Contagem total;
    QList<Contagem> programas; // in program order
    double pcObsoletas = 0;
    bool confirmar = false; // an apply needs the user's explicit word
    QString aviso; // why
    qint64 lote = 0; // the apply's batch (0: nothing changed, and always in a preview)
};

// A row the preview lists. The kinds as the server names them.
enum class Tipo : char { Reescrita = 'R', Movida = 'M', Nova = 'N', Revivida = 'V', Obsoleta = 'O' };

struct Linha {
    Tipo tipo = Tipo::Nova;
    QString idioma, programa, componente, origem;
    QString programaAnterior, componenteAnterior, origemAnterior; // R, M: the row whose translation is carried
    QString texto, situacao; // after the release
    int similaridade = 0;
    bool daMemoria = false;
};

struct Previa {
    QList<Idioma> idiomas; // in code order
    QList<Linha> linhas;

    const Idioma* idioma(const QString& codigo) const;
    QStringList codigos() const;
    bool precisaConfirmar() const;
    // The rows of one language, of the kinds asked (all when empty), as listed.
    QList<int> linhasDe(const QString& codigo, const QList<Tipo>& tipos = {}) const;
};

// The preview's or the apply's answer (either packet form). A packet without
// the release's fields raises Exception.
Previa LePrevia(const QByteArray& pacote);

// What an explicit confirmation must say before an apply (the guards: an
// empty file, a language with too many rows leaving); empty when none is needed.
QString PedidoDeConfirmacao(const Previa& previa);
// The outcome of an apply for the user: per language its batch and what changed.
QString ResumoDoResultado(const Previa& aplicada);
// A kind as the window names it ("Reescrita", ...).
QString NomeDoTipo(Tipo tipo);

// Where a live row's translation came from, as the last release(s) left it.
struct Origem {
    QString programa, componente, origem; // the live row
    Tipo tipo = Tipo::Reescrita; // R, M, or N with the memory's text
    QString programaAnterior, componenteAnterior, origemAnterior;
    int similaridade = 0;
    qint64 lote = 0;
    TDateTime data = 0;
    bool ultima = false; // of the language's last release that stands

    // The text before it changed: a reworded or moved row's previous source.
    bool mudouAOrigem() const { return tipo == Tipo::Reescrita || tipo == Tipo::Movida; }
};

QList<Origem> LeOrigens(const QByteArray& pacote);

// The origins by their rows' keys (ChaveDaLinha), for looking a row's origin up.
QHash<QString, Origem> PorChave(const QList<Origem>& origens);

// The rows the filter's "reworded by the last release" narrows to: those the
// last release that stands created with another row's translation (reworded
// or moved), as keys (ChaveDaLinha).
QSet<QString> ReescritasDaUltima(const QList<Origem>& origens);
// Of the rows `linhas` holds (the translation row's fields), the keys among
// `chaves`, in the rows' order: what the filter loads when it narrows its
// criteria to the rows of the last release.
QList<ChaveLinha> LinhasEntre(TClientDataSet& linhas, const QString& idioma, const QSet<QString>& chaves);

// A release file read for sending: its text, or why it cannot be sent (a text
// that is not UTF-8, named by its line, as the server names its faults).
struct Arquivo {
    QString texto;
    QString erro;
    qint64 linhas = 0; // lines that hold a key (not empty, not a comment)
};
Arquivo LeArquivo(const QByteArray& bytes);

// The calls, synchronous. A refusal raises EServerError with the server's
// message (and its code: -32005 for a guard); a connection that cannot reach
// the server raises EConnectionError.
QByteArray PedePrevia(TSocketConnection& conexao, const QString& arquivo, const Opcoes& opcoes);
// `ficha`: the apply's identification (letters, digits, '-'), by which other
// calls follow it (GetProgressoLiberacao) and cancel it (CancelaLiberacao).
QByteArray Aplica(TSocketConnection& conexao, const QString& arquivo, const Opcoes& opcoes, bool confirmado,
                  const QString& ficha = {});
// `ultima`: only the language's last release that stands; else every release that stands.
QList<Origem> BuscaOrigens(TSocketConnection& conexao, const QString& idioma, bool ultima);

// The code the apply is refused with until it is confirmed.
inline constexpr int PedeConfirmacaoCode = -32005;

} // namespace liberacao
} // namespace trd
