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
    if (origem == destino || destino.trimmed().isEmpty())
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

namespace {

QString textoDoColega(bool doColega)
{
    return doColega ? QStringLiteral(" O texto que outro usuário gravou está no painel abaixo da grade, "
                                     "com a opção de usá-lo.")
                    : QString();
}

} // namespace

QString MensagemNaoGravado(const QString& motivo, bool textoDigitado, bool doColega)
{
    if (!textoDigitado)
        return motivo;
    return motivo + QStringLiteral("\n\nO texto digitado não foi gravado e continua na célula: corrija-o, "
                                   "grave-o de novo ou descarte-o com Esc.") +
           textoDoColega(doColega);
}

QString MensagemGravacaoIncerta(const QString& motivo, bool textoDigitado, bool doColega)
{
    QString mensagem = motivo + QStringLiteral("\n\nNão se sabe se a alteração foi gravada: o servidor não a confirmou.");
    if (textoDigitado)
        mensagem += QStringLiteral(" O texto digitado continua na célula; ao gravá-lo de novo, o editor confere "
                                   "o que o servidor tem.");
    return mensagem + textoDoColega(doColega);
}

QString AvisoGravacaoConfirmada(const QString& origem)
{
    return QStringLiteral("Gravado: o servidor confirmou a alteração de \"%1\".").arg(origem);
}

QString TituloTextoDoColega(const QString& situacao)
{
    const QString nome = situacao == SitTraduzido ? QStringLiteral("Traduzido")
        : situacao == SitDuvida                  ? QStringLiteral("Dúvida")
        : situacao == SitNaoTraduzido            ? QStringLiteral("Não Traduzido")
                                                 : situacao;
    return QStringLiteral("Texto gravado por outro usuário (%1):").arg(nome);
}

QString TextoEmUmaLinha(const QString& texto)
{
    if (!texto.contains(u'\n') && !texto.contains(u'\r'))
        return texto;
    QString linha = texto;
    linha.replace(QStringLiteral("\r\n"), QString(QChar(MarcaQuebraDeLinha)));
    linha.replace(u'\n', QChar(MarcaQuebraDeLinha));
    linha.replace(u'\r', QChar(MarcaQuebraDeLinha));
    return linha;
}

} // namespace trd::traducao
