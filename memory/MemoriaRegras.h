#pragma once
// The translation memory's rules in the editor that need no window
// (docs/memory.md): reading the server's suggestions, the text a suggestion
// puts into the cell, how the rows that share a posted row's source stand
// against its new translation, and the one delta that applies a translation
// to chosen rows.
#include <QByteArray>
#include <QList>
#include <QString>

#include <functional>
#include <vector>

namespace trd {
class TClientDataSet;
}

namespace trd::memoria {

// One line of the suggestions panel (GetSugestoes, docs/protocol.md).
struct Sugestao {
    bool identica = false; // the same source (shortcut marks aside); else a similar one
    int semelhanca = 0; // percent, rounded down
    QString traducao;
    QString situacao; // of the row it is shown by: "T", or "D" (doubtful)
    QString origem, programa, componente;
    int linhas = 0; // rows behind it
    int traducoes = 0; // their distinct translations (similar sources)
    QString programas; // the programs of its rows (same source)
    // The row it is shown by was left behind by a release of the application
    // (STOBSOLETA): a text the application no longer shows.
    bool obsoleta = false;
};

// Reads GetSugestoes' answer; raises EDBClient for a packet that is not one.
QList<Sugestao> LeSugestoes(const QByteArray& pacote);

// Where a suggestion came from, as the panel shows it: "TELA02 · sbtSalvar",
// with how many rows stand behind it when more than one, and "(obsoleta)"
// when that row left with a release.
QString OrigemDaSugestao(const Sugestao& s);

// The text a suggestion puts into the cell of a row with this source: its
// shortcut mark ("&") goes when the row's source has none, so that a caption
// without a shortcut does not get one from another screen.
QString TextoParaCelula(const QString& origemDaLinha, const QString& traducao);

// Takes out of GetMesmaOrigem's answer, before anything is counted or
// offered, the rows `protegida` says the user may not change (given the
// row's reviewer, empty when not reviewed); returns how many it took out.
// The answer is left as the server's with those rows missing, no change logged.
int DeixaDeFora(QByteArray& pacote, const std::function<bool(const QString& revisor)>& protegida);

// A row of the same source (GetMesmaOrigem's answer).
struct LinhaMesmaOrigem {
    QString programa, componente, origem, traducao, situacao;
};
std::vector<LinhaMesmaOrigem> LeMesmaOrigem(const QByteArray& pacote);

enum class Relacao { NaoTraduzida, Igual, Diferente };
// Not translated: status N or no translation; else equal to the new one
// (shortcut marks aside) or different.
Relacao RelacaoCom(const LinhaMesmaOrigem& linha, const QString& novaTraducao);

struct Contagem {
    int naoTraduzidas = 0, iguais = 0, diferentes = 0;
    int total() const { return naoTraduzidas + iguais + diferentes; }
};
Contagem Conta(const std::vector<LinhaMesmaOrigem>& linhas, const QString& novaTraducao);
// The prompt's sentence: "Outras 4 linhas têm a mesma origem: 2 não
// traduzidas, 1 igual, 1 diferente."
QString TextoDoAviso(const Contagem& c);
// Whether there is anything to offer: a row not translated, or one that differs.
bool HaOQueAplicar(const Contagem& c);

// A text as the bar and the window quote it: one line, at most `maximo`
// characters, "…" where it was cut (a source may hold 4,000).
QString Citado(const QString& texto, int maximo = 60);

// A posted row's change asks about its source's other rows when its text
// changed and it now holds a translation in T or D.
bool PedePropagacao(const QString& destinoAntes, const QString& destinoDepois, const QString& situacao);

// The rows (indexes into GetMesmaOrigem's answer) not translated yet, which
// "apply to the untranslated rows" saves.
std::vector<int> NaoTraduzidas(const std::vector<LinhaMesmaOrigem>& linhas, const QString& novaTraducao);

// What the editor does with the answer about a posted row's other rows.
enum class Resposta {
    Nada, // nothing to offer: no question, no save
    Pergunta, // the question, the user decides
    Aplica, // "always apply": saved in the untranslated rows by itself, then said
    AplicaEPergunta, // saved in the untranslated rows, and the rows that differ still asked about
};
Resposta RespostaAMesmaOrigem(bool sempreAplicar, const Contagem& c);
// An answer that would save by itself waits while the user types in a row,
// so that the typing is never posted by anyone but the user.
bool AdiaResposta(bool sempreAplicar, bool editando);
// The note after "always apply" saved the translation in `linhas` rows by itself.
QString TextoAplicadaSozinha(int linhas);

// A source translated in more than one way (GetInconsistencias).
struct Variante {
    QString traducao; // as its best row holds it
    QString situacao; // of its best row
    int linhas = 0;
    QString situacoes; // among its rows: "T", "D" or "TD"
    QString programas;
};
struct OrigemDivergente {
    QString origem;
    int linhas = 0;
    std::vector<Variante> variantes; // the one most rows agree on first
};
std::vector<OrigemDivergente> LeDivergencias(const QByteArray& pacote);

// The rows (indexes into GetMesmaOrigem's answer) that choosing `traducao`
// for their source changes: the translated ones (T or D) that hold another
// translation, shortcut marks aside. Untranslated rows are propagation's.
std::vector<int> LinhasParaUniformizar(const std::vector<LinhaMesmaOrigem>& linhas, const QString& traducao);
// The status the rows get when a variant is chosen: T when any of its rows is T.
QString SituacaoDaVariante(const Variante& v);

// The delta of one save that gives `traducao` (as TextoParaCelula makes it
// for each row) and `situacao` to the rows of `linhas` at the given indexes;
// `linhas` holds GetMesmaOrigem's answer (the translation row packet) and is
// left with the change logged. Empty when no row would change.
QByteArray DeltaDeAplicacao(TClientDataSet& linhas, const std::vector<int>& indices, const QString& traducao,
                            const QString& situacao);

} // namespace trd::memoria
