#include "HistoricoRegras.h"

#include <QDateTime>

namespace trd::historico {

namespace {

QString linhas(int n)
{
    return n == 1 ? QStringLiteral("1 linha") : QStringLiteral("%1 linhas").arg(n);
}

} // namespace

QString NomeDoTipo(const QString& tipo)
{
    if (tipo == QLatin1String("edicao"))
        return QStringLiteral("Edição");
    if (tipo == QLatin1String("substituicao"))
        return QStringLiteral("Substituição");
    if (tipo == QLatin1String("importacao"))
        return QStringLiteral("Importação");
    if (tipo == QLatin1String("propagacao"))
        return QStringLiteral("Propagação");
    if (tipo == QLatin1String("desfazer"))
        return QStringLiteral("Desfazimento");
    if (tipo == QLatin1String("liberacao"))
        return QStringLiteral("Liberação");
    if (tipo == QLatin1String("revisao"))
        return QStringLiteral("Revisão");
    if (tipo == QLatin1String("automatica"))
        return QStringLiteral("Tradução automática");
    return tipo;
}

QString DataHora(TDateTime data)
{
    return DateTimeToQDateTime(data).toString(QStringLiteral("dd/MM/yyyy HH:mm"));
}

QString AutorDaUltimaAlteracao(const QList<Versao>& versoes)
{
    for (const Versao& v : versoes)
        if (v.alteracao != QLatin1String("R") && v.alteracao != QLatin1String("U"))
            return v.usuario;
    return QString();
}

QString UltimaAlteracao(const std::optional<Versao>& versao)
{
    if (!versao)
        return QStringLiteral("Sem alterações registradas");
    return QStringLiteral("Última alteração: %1 em %2 (%3)")
        .arg(versao->usuario, DataHora(versao->data), NomeDoTipo(versao->tipoLote));
}

QString SituacaoDoLote(const Lote& lote)
{
    if (lote.desfeitoPor != 0)
        return QStringLiteral("desfeito pelo lote %1").arg(lote.desfeitoPor);
    if (lote.desfaz != 0)
        return QStringLiteral("desfaz o lote %1").arg(lote.desfaz);
    return {};
}

QString ResumoDesfazimento(const Desfazimento& desfazimento)
{
    const int desfeitas = desfazimento.desfeitas();
    const int mantidas = desfazimento.mantidas();
    QString texto = desfeitas == 1 ? QStringLiteral("1 linha voltou ao que era antes do lote")
                                   : QStringLiteral("%1 linhas voltaram ao que eram antes do lote").arg(desfeitas);
    if (mantidas == 1)
        texto += QStringLiteral("; 1 linha alterada depois foi mantida");
    else if (mantidas > 1)
        texto += QStringLiteral("; %1 linhas alteradas depois foram mantidas").arg(mantidas);
    return texto + u'.';
}

QString TextoDaOferta(int n, bool completa)
{
    return completa ? QStringLiteral("Substituição em %1.").arg(linhas(n))
                    : QStringLiteral("Substituição interrompida: %1.").arg(linhas(n));
}

bool PodeRestaurar(const Versao& versao, const QString& textoAtual, const QString& situacaoAtual)
{
    return versao.alteracao != QLatin1String("E")
        && (versao.textoDepois != textoAtual || versao.situacaoDepois != situacaoAtual);
}

} // namespace trd::historico
