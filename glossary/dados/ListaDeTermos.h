#pragma once
// The terms window's work, with no display (docs/glossary.md, "The terms
// window"): a language's terms as the server has them, the filter typed over
// them, and the change or deletion of one term sent with the date it was read,
// so that a term someone else changed meanwhile is refused by the server
// rather than overwritten. Calls go through the editor's connection, as its
// other calls do.
#include "GlossaryTerm.h"

#include <QList>
#include <QString>

#include <functional>

namespace trd {

class TSocketConnection;

namespace glossario {

inline const QString AlteraTermo = QStringLiteral("AlteraTermo");
inline const QString ExcluiTermo = QStringLiteral("ExcluiTermo");

struct TermoLido {
    quality::GlossaryTerm termo;
    double alterado = 0; // DTALTERACAO as read, sent back with a change
    QString usuario; // who changed it last
};

class ListaDeTermos {
public:
    ListaDeTermos(TSocketConnection& conexao, QString idioma);

    // Reads the language's terms again (the filter stays).
    void le();
    // The terms whose words, translations, note or program hold the text,
    // case and accents aside; empty: every term.
    void filtra(const QString& texto);

    const QString& idioma() const { return m_idioma; }
    const QString& filtro() const { return m_filtro; }
    int quantos() const { return static_cast<int>(m_visiveis.size()); }
    int total() const { return static_cast<int>(m_termos.size()); }
    const TermoLido& visivel(int i) const { return m_termos[m_visiveis[i]]; }
    QList<quality::GlossaryTerm> termos() const;

    // Replace or delete the visible term `i` on the server, then read the list
    // again. A refusal (the term changed or deleted since it was read, no
    // right to change the glossary) raises the server's message; the list is
    // read again all the same, so it shows what the server has now.
    void altera(int i, const quality::GlossaryTerm& novo);
    void exclui(int i);

private:
    void depoisDe(const std::function<void()>& chamada);

    TSocketConnection& m_conexao;
    QString m_idioma;
    QString m_filtro;
    QList<TermoLido> m_termos;
    QList<int> m_visiveis;
};

// The text folded for the filter: lower case, accents and shortcut marks dropped.
QString dobrado(const QString& texto);

} // namespace glossario
} // namespace trd
