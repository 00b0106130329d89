#pragma once
// What the checks (docs/checks.md) find in the editor's rows, without a
// window: the current row while its destination is being typed, any row the
// grid paints, and whether a post needs the user's word. The shortcut
// conflicts are with the loaded rows of the same program; the index of their
// letters is built when first asked for after a load and follows each save.
#include "Checks.h"
#include "RowChecks.h"
#include "ShortcutConflicts.h"

#include <QHash>
#include <QSet>
#include <QString>

#include <optional>

namespace trd {

class TClientDataSet;

class VerificacaoLinhas {
public:
    explicit VerificacaoLinhas(TClientDataSet* linhas);

    // The findings of row `linha` (0-based, in the grid's order), its
    // destination taken as `destino` when given (the text being typed).
    quality::Findings achados(int linha, const std::optional<QString>& destino = std::nullopt);
    // The worst severity found in the row, for the grid's mark; none when clean.
    std::optional<quality::Severity> pior(int linha);

    // The row was saved with new texts: its shortcut letter in the index.
    void linhaGravada(int linha);
    // Rows loaded, closed or deleted: the index is built again when next needed.
    void linhasMudaram();

    // The "erro" findings that posting row `linha` as it stands would bring:
    // those its text had before the edit (`destinoAnterior`) was saved with
    // already, and a text the user confirmed before is not asked about again.
    // Empty when the post needs no word from the user.
    quality::Findings errosNovos(int linha, const QString& destinoAnterior);
    // The user confirmed posting the row with its text as it stands.
    void confirmada(int linha);
    // The language's glossary, whose checks join the others (null: none).
    void usaGlossario(quality::TermCheck* glossario) { m_opcoes.terms = glossario; }

private:
    struct Textos {
        QString programa, componente, origem, destino, situacao;
    };
    Textos textos(int linha) const;
    int id(const Textos& t);
    void garanteIndice();

    TClientDataSet* m_linhas;
    quality::RowOptions m_opcoes;
    quality::ShortcutIndex m_atalhos;
    // Rows are told apart by program, component and source (a language has
    // one row of each), which sorting the grid does not change.
    QHash<QString, int> m_ids;
    bool m_indiceFeito = false;
    QSet<QString> m_confirmadas; // rows and texts the user chose to post with their errors
};

// The question before posting a text with errors: what breaks, then whether to post.
QString PerguntaGravarComErros(const quality::Findings& achados);
// The same question inside a replace-all run, which changes rows the user is
// not looking at: it names the row, and says that the answer stands for the
// run's other rows with errors and what No does.
QString PerguntaGravarComErrosNaExecucao(const quality::Findings& achados, const QString& origem,
                                         const QString& programa, const QString& componente);

} // namespace trd
