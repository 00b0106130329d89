#include "AutomaticaRegras.h"

#include "LeituraDoPacote.h"
#include "TClientDataSet.h"

namespace trd::automatica {

namespace {

using pacote::registros;
using pacote::textoSeHouver;

} // namespace

QList<Sugestao> LeSugestoes(const QByteArray& pacote)
{
    return registros<Sugestao>(pacote, [](TClientDataSet& ds) {
        Sugestao s;
        s.motor = textoSeHouver(ds, "DSMOTOR");
        s.rota = textoSeHouver(ds, "DSROTA");
        s.encadeada = textoSeHouver(ds, "STENCADEADA") == QStringLiteral("S");
        s.texto = textoSeHouver(ds, "STVALORPROP");
        s.aviso = textoSeHouver(ds, "DSAVISO");
        s.doCache = textoSeHouver(ds, "STCACHE") == QStringLiteral("S");
        return s;
    });
}

QString Rotulo(const Sugestao& s)
{
    QString rota = s.rota;
    rota.replace(u'>', QStringLiteral(" → "));
    QString texto = s.motor + QStringLiteral(" · ") + rota;
    if (s.encadeada)
        texto += QStringLiteral(" (encadeada)");
    return texto;
}

QString Origem(const Sugestao& s)
{
    return (s.motor + u' ' + s.rota).left(40);
}

QString SituacaoDoTextoDaMaquina(const QString& marcada, const QVariant& anterior, const QString& promovida)
{
    const QString antes = anterior.isValid() ? anterior.toString() : QString();
    if (marcada != antes)
        return promovida; // the user marked the row in this edit: their word stands
    return QStringLiteral("D");
}

bool PreTraduzivel(const QString& situacao, const QString& destino)
{
    return situacao == QStringLiteral("N") && destino.isEmpty();
}

} // namespace trd::automatica
