#include "TraducaoRegras.h"


namespace trd::traducao {

QString ItemIdioma(const QString& idIdioma, const QString& dsIdioma)
{
    return idIdioma + QLatin1Char('-') + dsIdioma;
}

QString CodigoDoItem(const QString& item)
{
    return item.left(3);
}

QString DescricaoDoItem(const QString& item)
{
    return item.mid(4);
}

QString SituacaoAoGravar(const QString& origem, const QString& destino, const QString& situacao,
                         const QVariant& situacaoAnterior)
{
    if (origem == destino)
        return situacao;
    const QString anterior = situacaoAnterior.isValid() ? situacaoAnterior.toString() : QString();
    if ((situacao == SitNaoTraduzido || situacao == SitDuvida) && anterior == situacao)
        return SitTraduzido;
    return situacao;
}

std::optional<std::array<bool, 3>> LampadasAcesas(const QString& situacao)
{
    if (situacao == SitNaoTraduzido)
        return std::array<bool, 3>{true, false, false};
    if (situacao == SitDuvida)
        return std::array<bool, 3>{false, true, false};
    if (situacao == SitTraduzido)
        return std::array<bool, 3>{false, false, true};
    return std::nullopt;
}

Habilitacao HabilitacaoPorEstado(bool registros, bool editando)
{
    const bool sobreRegistros = registros && !editando;
    Habilitacao h;
    h.incluirProcurar = false;
    h.excluir = sobreRegistros;
    h.situacoes = sobreRegistros;
    h.filtro = !editando;
    h.informacoes = sobreRegistros;
    h.substituir = sobreRegistros;
    h.imprimir = sobreRegistros;
    return h;
}

QString MensagemNaoGravado(const QString& motivo, const QString& textoDigitado)
{
    return motivo + QStringLiteral("\n\nO texto digitado não foi gravado: ") + textoDigitado;
}

QString TextoEmUmaLinha(const QString& texto)
{
    if (!texto.contains(u'\n') && !texto.contains(u'\r'))
        return texto;
    QString linha = texto;
    linha.replace(QStringLiteral("\r\n"), QStringLiteral("¶"));
    linha.replace(u'\n', u'¶');
    linha.replace(u'\r', u'¶');
    return linha;
}

} // namespace trd::traducao
