#include "FiltroCriterios.h"

#include "TextFunctions.h"

namespace trd {

namespace {

const QString aspa = QStringLiteral("'");

QString pecaPalavra(const EscolhasCriterios& e)
{
    const QString coluna =
        e.textoDestino ? QStringLiteral("AND UPPER(STVALORPROP)") : QStringLiteral("AND UPPER(STAGRVALPROP)");
    const QString w = textoLiteral(e.palavra);
    switch (e.tipo) {
    case TipoPalavra::Identico:
        return coluna + QStringLiteral(" = ") + aspa + w + aspa;
    case TipoPalavra::Prefixo:
        return coluna + QStringLiteral(" LIKE ") + aspa + w + QStringLiteral("%") + aspa;
    case TipoPalavra::Parte:
        break;
    }
    return coluna + QStringLiteral(" LIKE ") + aspa + QStringLiteral("%") + w + QStringLiteral("%") + aspa;
}

QString pecaPrograma(const EscolhasCriterios& e)
{
    const QString p = textoLiteral(e.programa);
    if (e.programaIdentico)
        return QStringLiteral(" AND CDPROGTRAD = '") + p + aspa;
    return QStringLiteral(" AND CDPROGTRAD LIKE '%") + p + QStringLiteral("%") + aspa;
}

QString pecaComponente(const EscolhasCriterios& e)
{
    return QStringLiteral(" AND UPPER(NMCOMPONENTE) LIKE '") + textoLiteral(e.componente) + aspa;
}

} // namespace

QString textoLiteral(const QString& texto)
{
    QString literal = texto;
    literal.replace(aspa, QStringLiteral("''"));
    return literal;
}

QString nomeTipo(TipoPalavra tipo)
{
    switch (tipo) {
    case TipoPalavra::Identico:
        return QStringLiteral("Identico");
    case TipoPalavra::Prefixo:
        return QStringLiteral("Prefixo");
    case TipoPalavra::Parte:
        break;
    }
    return QStringLiteral("Parte");
}

QString fragmentoFiltro(const EscolhasCriterios& escolhas)
{
    QString fragmento;
    if (!EmptyString(escolhas.palavra))
        fragmento += pecaPalavra(escolhas);
    if (!EmptyString(escolhas.programa))
        fragmento += pecaPrograma(escolhas);
    if (!EmptyString(escolhas.componente))
        fragmento += pecaComponente(escolhas);
    if (escolhas.revisao != FiltroRevisao::Todas) {
        if (!fragmento.isEmpty())
            fragmento += QLatin1Char(' ');
        fragmento += escolhas.revisao == FiltroRevisao::Revisadas ? QStringLiteral("AND REVISADO = 'S'")
                                                                  : QStringLiteral("AND REVISADO = 'N'");
    }
    return fragmento;
}

FiltroCriterios montaFiltroCriterios(const EscolhasCriterios& escolhas)
{
    FiltroCriterios f;
    f.stPalavra = escolhas.palavra;
    f.stPrograma = escolhas.programa;
    f.stTipo = nomeTipo(escolhas.tipo);
    const QString nenhum = QStringLiteral("X");
    f.stTRAD = escolhas.traduzido ? QStringLiteral("T") : nenhum;
    f.stDUV = escolhas.duvida ? QStringLiteral("D") : nenhum;
    f.stNTRAD = escolhas.naoTraduzido ? QStringLiteral("N") : nenhum;
    f.stPARAMSQL = fragmentoFiltro(escolhas);
    return f;
}

} // namespace trd
