#pragma once
// The editor's rules that need no window: how a language is shown in the
// combo and read back from it, how a posted row's status is promoted, which
// lamp each button shows for a status, which tool-bar buttons and menu items
// a state of the row set enables, and the texts the editor composes.
#include <QDateTime>
#include <QString>
#include <QVariant>

#include <array>
#include <optional>

namespace trd::traducao {

// Translation statuses as the rows carry them.
inline const QString SitTraduzido = QStringLiteral("T");
inline const QString SitDuvida = QStringLiteral("D");
inline const QString SitNaoTraduzido = QStringLiteral("N");

// A language as one combo item: the code, a hyphen, the description, nothing
// added. Codes are three characters wide, so the description starts at the fifth.
QString ItemIdioma(const QString& idIdioma, const QString& dsIdioma);
// Characters 1 to 3 of an item's text: the language code.
QString CodigoDoItem(const QString& item);
// Characters 5 to the end: the description.
QString DescricaoDoItem(const QString& item);

// The status a row is posted with. A row whose status the user did not change
// in this edit (the before-edit value is the same) and that is "N" or "D"
// becomes "T" once its destination text differs from its source text, case
// and blanks counting, unless the destination is blank (a blank translation
// is no translation); anything else keeps the status it has.
QString SituacaoAoGravar(const QString& origem, const QString& destino, const QString& situacao,
                         const QVariant& situacaoAnterior);

// Which lamp is lit on the three status buttons (N, D, T, in that order) for
// a row's status; nullopt for a value that is no status (the buttons keep
// what they show).
std::optional<std::array<bool, 3>> LampadasAcesas(const QString& situacao);

// What a state change of the row set enables. `registros`: open and not
// empty; `editando`: in edit or insert mode.
struct Habilitacao {
    bool incluirProcurar = false; // the inherited insert and search actions
    bool excluir = false; // the delete button and its menu item
    bool situacoes = false; // the three status buttons
    bool filtro = false; // the filter button
    bool informacoes = false; // the information button
    bool substituir = false; // find/replace button and menu item
    bool imprimir = false;
};
Habilitacao HabilitacaoPorEstado(bool registros, bool editando);

// What the user reads when the server refused a save: its reason and, when a
// text was typed, that it was not saved and waits in its cell; `doColega`
// when someone else's text of the row is shown beside it.
QString MensagemNaoGravado(const QString& motivo, bool textoDigitado, bool doColega);

// What the user reads when a save was not confirmed (no answer in time, the
// connection dropped, or the server could not tell): the outcome is unknown,
// never said to be lost, and the next save of the text checks it.
QString MensagemGravacaoIncerta(const QString& motivo, bool textoDigitado, bool doColega);

// What becomes of a save that failed or went unanswered, once the row was
// read again from the server (`relida` false when it could not be): it
// stands when the server holds exactly what was posted; otherwise a typed
// text goes back into its cell, beside the colleague's text of the row when
// the server's differs from the row as it was before the edit.
struct LinhaPostada {
    QString destino, situacao;
};
struct DesfechoDaFalha {
    bool gravada = false; // the save stands: nothing is lost, nothing raised
    bool devolveTexto = false; // the typed text goes back into the cell
    bool mostraColega = false; // the server's text of the row is shown beside it
};
DesfechoDaFalha DesfechoDaGravacaoFalha(bool relida, const LinhaPostada& doServidor, const LinhaPostada& postada,
                                        const QString& destinoAntes, bool textoDigitado);
// The message of a save that does not stand: unknown outcome (no answer, or
// the server could not tell) or refused.
QString MensagemDaFalha(const QString& motivo, bool incerta, const DesfechoDaFalha& desfecho);

// The short note when a save of the row with this source text failed or went
// unanswered and turns out to be on the server all the same.
QString AvisoGravacaoConfirmada(const QString& origem);

// The caption over a colleague's text of the row, with its status by name;
// with who saved it and when, once the change feed told (docs/live.md).
QString TituloTextoDoColega(const QString& situacao);
QString TituloTextoDoColega(const QString& situacao, const QString& usuario, const QDateTime& quando,
                            const QDateTime& agora);

// A colleague as the editor names them: the login name, or "outro usuário"
// on a server without logins (where everyone is "local").
QString NomeDoColega(const QString& usuario);
// When, as a note says it: "às 14:32" today, "em 07/12/2025 às 14:32" before.
QString QuandoFoi(const QDateTime& quando, const QDateTime& agora);

// What the live-changes indicator says, and its tooltip, for a state of the
// change feed (ChangeFeedClient::State as a number: off, connecting,
// following, lost, unavailable).
struct IndicadorAoVivo {
    QString texto, dica;
    bool ligado = false;
};
IndicadorAoVivo IndicadorDoEstado(int estado, const QString& problema);

// A text as one line of the grid: each line break shown as "↵", a mark that no
// text of the code page can hold, so a typed "¶" never passes for one
// ("aplicação.↵Verifique"). The text itself, shared, when it has none.
QString TextoEmUmaLinha(const QString& texto);

// The mark of a line break in the grid.
inline constexpr char16_t MarcaQuebraDeLinha = u'\u21B5';

} // namespace trd::traducao
