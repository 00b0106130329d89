#include "RevisaoRegras.h"

#include "TClientDataSet.h"
#include "TDateTime.h"

namespace trd::revisao {

void DeclaraCampos(TClientDataSet& linhas)
{
    // Optional: a server from before the mark sends rows without them, read as not reviewed.
    if (!linhas.FindField(NMREVISOR))
        linhas.AddField(NMREVISOR, TFieldType::ftString, 64)->Optional = true;
    if (!linhas.FindField(DTREVISAO))
        linhas.AddField(DTREVISAO, TFieldType::ftDateTime)->Optional = true;
}

QString DataDaMarca(double quando)
{
    return DateTimeToQDateTime(quando).toString(QStringLiteral("dd/MM/yyyy HH:mm"));
}

papeis::MarcaDaLinha MarcaAtual(const TClientDataSet& linhas)
{
    papeis::MarcaDaLinha m;
    if (!linhas.Active() || linhas.IsEmpty())
        return m;
    if (TField* obsoleta = linhas.FindField(STOBSOLETA))
        m.obsoleta = obsoleta->AsString() == QLatin1String("S");
    TField* revisor = linhas.FindField(NMREVISOR);
    if (!revisor)
        return m;
    m.revisor = revisor->AsString();
    TField* data = linhas.FindField(DTREVISAO);
    if (!m.revisor.isEmpty() && data && !data->IsNull())
        m.quando = DataDaMarca(data->AsFloat());
    return m;
}

papeis::MarcaDaLinha MarcaDaLinha(const TClientDataSet& linhas, int linha)
{
    papeis::MarcaDaLinha m;
    if (TField* obsoleta = linhas.FindField(STOBSOLETA))
        m.obsoleta = linhas.ValueAt(linha, obsoleta->Index()).toString() == QLatin1String("S");
    TField* revisor = linhas.FindField(NMREVISOR);
    if (!revisor)
        return m;
    m.revisor = linhas.ValueAt(linha, revisor->Index()).toString();
    TField* data = linhas.FindField(DTREVISAO);
    if (!m.revisor.isEmpty() && data) {
        const QVariant v = linhas.ValueAt(linha, data->Index());
        if (v.isValid() && !v.isNull())
            m.quando = v.toDateTime().toString(QStringLiteral("dd/MM/yyyy HH:mm"));
    }
    return m;
}

QString TextoDaMarca(const papeis::MarcaDaLinha& marca)
{
    if (marca.revisor.isEmpty())
        return QString();
    // On a server without users everyone is "local": no name to tell.
    if (marca.revisor == QLatin1String("local"))
        return marca.quando.isEmpty() ? QStringLiteral("Revisada") : QStringLiteral("Revisada em %1").arg(marca.quando);
    if (marca.quando.isEmpty())
        return QStringLiteral("Revisada por %1").arg(marca.revisor);
    return QStringLiteral("Revisada por %1 em %2").arg(marca.revisor, marca.quando);
}

std::vector<std::pair<int, QString>> ValoresDaMarca(const TClientDataSet& linhas, const QString& revisor, double quando)
{
    std::vector<std::pair<int, QString>> valores;
    TField* r = linhas.FindField(NMREVISOR);
    TField* d = linhas.FindField(DTREVISAO);
    if (!r || !d)
        return valores;
    valores.emplace_back(r->Index(), revisor);
    valores.emplace_back(d->Index(), revisor.isEmpty() ? QString() : QString::number(quando, 'g', 17));
    return valores;
}

} // namespace trd::revisao
