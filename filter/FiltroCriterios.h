#pragma once
// The criteria filter without its dialog: from what the user chose, the
// statuses, the match kind and the filter fragment that a confirmed criteria
// filter publishes. The fragment is the text the server's filter parser
// reads, so its pieces, their order and their blanks are fixed.
#include <QString>

namespace trd {

// The match kind of the word text, as the radio buttons of "Tipo" offer it.
enum class TipoPalavra { Identico, Prefixo, Parte };

// The rows by their review mark (docs/users.md), as "Marca de revisão" offers them.
enum class FiltroRevisao { Todas, Revisadas, NaoRevisadas };

// The dialog's choices, as its controls hold them.
struct EscolhasCriterios {
    bool traduzido = false; // ckbTraduzido
    bool duvida = true; // ckbDuvida
    bool naoTraduzido = true; // ckbNaoTraduzido
    QString programa; // edtCdProg
    bool programaIdentico = false; // chbPrefixo: the code must match whole
    QString componente; // edtComponente
    bool textoDestino = false; // cbbCampo on "Idioma Destino" (any item but the first)
    TipoPalavra tipo = TipoPalavra::Parte;
    QString palavra; // edtTexto
    FiltroRevisao revisao = FiltroRevisao::Todas; // cbbRevisao
};

// What a confirmed criteria filter publishes besides its dates.
struct FiltroCriterios {
    QString stTRAD; // "T" or "X"
    QString stDUV; // "D" or "X"
    QString stNTRAD; // "N" or "X"
    QString stPARAMSQL; // the filter fragment
    QString stTipo; // "Identico", "Prefixo" or "Parte"
    QString stPalavra; // the word text as typed
    QString stPrograma; // the program code as typed
};

FiltroCriterios montaFiltroCriterios(const EscolhasCriterios& escolhas);

// The fragment alone: the word piece, then the program piece, then the
// component piece, each present only when its text is not empty; then the
// review piece, when only reviewed or only not reviewed rows are asked for.
QString fragmentoFiltro(const EscolhasCriterios& escolhas);

// Text as it goes between the quotes of a fragment literal: every quote
// doubled, so a typed apostrophe stays part of the text instead of ending it.
QString textoLiteral(const QString& texto);

// The name the stored match kind has ("Identico" carries no accent).
QString nomeTipo(TipoPalavra tipo);

} // namespace trd
