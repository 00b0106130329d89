#include "AutomaticaRegras.h"

#include "TClientDataSet.h"

namespace trd::automatica {

namespace {

QString campo(TClientDataSet& ds, const char* nome)
{
    TField* f = ds.FindField(QString::fromLatin1(nome));
    return f ? f->AsString() : QString();
}

} // namespace

QList<Sugestao> LeSugestoes(const QByteArray& pacote)
{
    TClientDataSet ds;
    ds.SetData(pacote);
    QList<Sugestao> lista;
    for (ds.First(); !ds.Eof(); ds.Next()) {
        Sugestao s;
        s.motor = campo(ds, "DSMOTOR");
        s.rota = campo(ds, "DSROTA");
        s.encadeada = campo(ds, "STENCADEADA") == QStringLiteral("S");
        s.texto = campo(ds, "STVALORPROP");
        s.aviso = campo(ds, "DSAVISO");
        s.doCache = campo(ds, "STCACHE") == QStringLiteral("S");
        lista.append(s);
    }
    return lista;
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
