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
    return motivo
        + QStringLiteral("\n\nO texto digitado não foi gravado e continua na célula: corrija-o, "
                         "grave-o de novo ou descarte-o com Esc.")
        + textoDoColega(doColega);
}

QString MensagemGravacaoIncerta(const QString& motivo, bool textoDigitado, bool doColega)
{
    QString mensagem =
        motivo + QStringLiteral("\n\nNão se sabe se a alteração foi gravada: o servidor não a confirmou.");
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
        : situacao == SitDuvida                   ? QStringLiteral("Dúvida")
        : situacao == SitNaoTraduzido             ? QStringLiteral("Não Traduzido")
                                                  : situacao;
    return QStringLiteral("Texto gravado por outro usuário (%1):").arg(nome);
}

QString TituloTextoDoColega(const QString& situacao, const QString& usuario, const QDateTime& quando,
                            const QDateTime& agora)
{
    QString titulo = TituloTextoDoColega(situacao);
    return titulo.replace(QStringLiteral("outro usuário"),
                          NomeDoColega(usuario) + QLatin1Char(' ') + QuandoFoi(quando, agora));
}

QString NomeDoColega(const QString& usuario)
{
    return usuario.isEmpty() || usuario == QLatin1String("local") ? QStringLiteral("outro usuário") : usuario;
}

QString QuandoFoi(const QDateTime& quando, const QDateTime& agora)
{
    const QString hora = quando.toString(QStringLiteral("HH:mm"));
    if (quando.date() == agora.date())
        return QStringLiteral("às ") + hora;
    return QStringLiteral("em %1 às %2").arg(quando.toString(QStringLiteral("dd/MM/yyyy")), hora);
}

IndicadorAoVivo IndicadorDoEstado(int estado, const QString& problema)
{
    const QString continua = QStringLiteral(" A edição e a gravação continuam normalmente.");
    switch (estado) {
    case 1:
        return {QStringLiteral("○ Ao vivo: conectando..."),
                QStringLiteral("Conectando às alterações ao vivo do servidor.") + continua, false};
    case 2:
        return {QStringLiteral("● Ao vivo"),
                QStringLiteral("As gravações de outros usuários aparecem na grade assim que são feitas."), true};
    case 3:
        return {QStringLiteral("○ Ao vivo: sem conexão"),
                QStringLiteral("Sem conexão com as alterações ao vivo (%1); tentando de novo.").arg(problema)
                    + continua,
                false};
    case 4:
        return {QStringLiteral("Ao vivo: indisponível"),
                QStringLiteral("Este servidor não oferece alterações ao vivo: as gravações de outros usuários "
                               "aparecem ao recarregar as linhas."),
                false};
    default:
        return {};
    }
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

DesfechoDaFalha DesfechoDaGravacaoFalha(bool relida, const LinhaPostada& doServidor, const LinhaPostada& postada,
                                        const QString& destinoAntes, bool textoDigitado)
{
    DesfechoDaFalha d;
    if (relida && doServidor.destino == postada.destino && doServidor.situacao == postada.situacao) {
        d.gravada = true;
        return d;
    }
    d.devolveTexto = textoDigitado;
    // Only a text someone else saved meanwhile: the row's own text is the
    // one the user typed over, no news.
    d.mostraColega = textoDigitado && relida && doServidor.destino != destinoAntes;
    return d;
}

QString MensagemDaFalha(const QString& motivo, bool incerta, const DesfechoDaFalha& desfecho)
{
    return incerta ? MensagemGravacaoIncerta(motivo, desfecho.devolveTexto, desfecho.mostraColega)
                   : MensagemNaoGravado(motivo, desfecho.devolveTexto, desfecho.mostraColega);
}

} // namespace trd::traducao
