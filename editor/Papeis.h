#pragma once
// What the user may do on the server, per language (docs/users.md), as the
// server tells it (GetPapeis), and what that leaves the editor's controls:
// which are off and the hint that says why. Rules without a window: the
// editor's companion asks and applies, the users window shows.
#include <QHash>
#include <QString>
#include <QStringList>

namespace trd {

class TClientDataSet;

namespace papeis {

// Each role includes the ones before it.
enum class Papel { Nenhum, Leitor, Tradutor, Revisor, Administrador };

// "leitor", "tradutor", "revisor", "administrador"; Nenhum for anything else.
Papel PapelDoNome(const QString& nome);
QString NomeDoPapel(Papel papel);

// The review settings of a language.
struct RegrasDeRevisao {
    bool obrigatoria = false; // FLREVOBRIG: a reviewed row changes only by a revisor or above
    bool propriaBloqueada = false; // FLREVPROPRIA: a revisor cannot mark their own last change
    bool operator==(const RegrasDeRevisao&) const = default;
};

// Who is the user and their role on each language.
class PapeisDoUsuario {
public:
    // Every right on every language: what a server without users means
    // (whoever calls it is administrador), and what the editor assumes until
    // the server has told (a server that cannot tell checks nothing either).
    static PapeisDoUsuario Todos();

    // From GetPapeis's answer; false (and `this` untouched) when it is none.
    bool Le(TClientDataSet& resposta);

    QString usuario() const { return m_usuario; }
    // The server has users (the users window makes sense).
    bool comLogin() const { return m_comLogin; }
    // The role on a language: the one told for it, else the one of every language.
    Papel papel(const QString& idioma) const;
    RegrasDeRevisao regras(const QString& idioma) const;
    // Administrador of every language: the users and their roles.
    bool administraUsuarios() const { return m_todos == Papel::Administrador; }
    // The languages told, in code order.
    QStringList idiomas() const { return m_idiomas; }

    bool podeLer() const;
    bool podeEscrever(const QString& idioma) const { return papel(idioma) >= Papel::Tradutor; }
    bool podeRevisar(const QString& idioma) const { return papel(idioma) >= Papel::Revisor; }
    bool administra(const QString& idioma) const { return papel(idioma) == Papel::Administrador; }

    bool operator==(const PapeisDoUsuario&) const = default;

private:
    QString m_usuario;
    bool m_comLogin = false;
    Papel m_todos = Papel::Nenhum;
    QHash<QString, Papel> m_porIdioma;
    QHash<QString, RegrasDeRevisao> m_regras;
    QStringList m_idiomas;
};

// What the editor's caption line says: "Papel: revisor de ESP (revisão exigida)".
QString TextoDoPapel(const PapeisDoUsuario& p, const QString& idioma);

// The hint of a control the user may not use; empty when they may. The texts
// are the server's refusals (docs/users.md), so the hint says beforehand
// what a call would have answered.
QString MotivoSemLeitura();
QString MotivoSemEscrita(const QString& idioma);
QString MotivoSemRevisao(const QString& idioma);
QString MotivoSemUsuarios();
QString MotivoSemRegras(const QString& idioma);

// A row as the review mark concerns it.
struct MarcaDaLinha {
    QString revisor; // empty: not reviewed
    QString quando; // "07/12/2026 10:40", when reviewed
    // A row a release took off the application's screens, shown on demand:
    // nobody changes it (docs/releases.md).
    bool obsoleta = false;
};

// Why nobody changes an obsolete row, nor marks it.
QString MotivoLinhaObsoleta();

// Why the user may not change this row (its text or status): empty when they
// may. An obsolete row changes by nobody; a reviewed row of a language that
// requires review only by a revisor or above.
QString MotivoSemAlterarLinha(const PapeisDoUsuario& p, const QString& idioma, const MarcaDaLinha& marca);
// Why the user may not mark or unmark rows of the language.
QString MotivoSemMarcar(const PapeisDoUsuario& p, const QString& idioma);
// Why the user may not mark the current row as reviewed: the language's
// own-change rule is on and the row's last change of text or status is the
// user's (`autorDaUltima`: who wrote it, as the history tells; empty when
// not known yet or none is kept, and then the server decides). Empty when
// they may.
QString MotivoSemMarcarALinha(const PapeisDoUsuario& p, const QString& idioma, const QString& autorDaUltima);

// The end of a run's message for the rows it left out beforehand because the
// user may not change them (reviewed, where the language requires review):
// "2 linhas revisadas não foram alteradas: ..."; empty for none.
QString TextoDasRevisadasDeixadas(int linhas, const QString& idioma);

// Why the user may not undo this batch of the language: a tradutor or a
// revisor undoes their own, an administrador anyone's; a batch of review
// marks is never undone (an unmark takes a mark away).
QString MotivoSemDesfazerLote(const PapeisDoUsuario& p, const QString& idioma, qint64 lote, const QString& autor,
                              const QString& tipo);

// What the editor's controls are left, for the chosen language and the current row.
struct Restricoes {
    QString celula; // typing in the grid, deleting, the suggestions and a colleague's text
    QString situacoes; // the three status buttons and items
    QString substituir; // find/replace
    QString importar; // the exchange's import
    QString marcar; // marking and unmarking the review mark
    QString usuarios; // the users window
    bool operator==(const Restricoes&) const = default;
};
Restricoes RestricoesDoEditor(const PapeisDoUsuario& p, const QString& idioma, const MarcaDaLinha& linhaAtual);

} // namespace papeis
} // namespace trd
