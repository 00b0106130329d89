#include "LeituraDoPacote.h"

#include "ServerCalls.h"
#include "TClientDataSet.h"

#include <cmath>

namespace trd::pacote {

void cadaLinha(const QByteArray& pacote, const std::function<void(TClientDataSet&)>& visita)
{
    TClientDataSet dados;
    dados.SetData(pacote);
    for (dados.First(); !dados.Eof(); dados.Next())
        visita(dados);
}

QString texto(TClientDataSet& d, const char* campo)
{
    return d.FieldByName(QString::fromLatin1(campo))->AsString();
}

QString textoSeHouver(TClientDataSet& d, const char* campo)
{
    TField* f = d.FindField(QString::fromLatin1(campo));
    return f ? f->AsString() : QString();
}

qint64 numero(TClientDataSet& d, const char* campo)
{
    return static_cast<qint64>(std::llround(d.FieldByName(QString::fromLatin1(campo))->AsFloat()));
}

TDateTime dataHora(TClientDataSet& d, const char* campo)
{
    return d.FieldByName(QString::fromLatin1(campo))->AsDateTime();
}

QByteArray chama(TSocketConnection& conexao, const QString& metodo, const TRemoteArgs& argumentos)
{
    return CheckResultServ(conexao.AppServer().Call(metodo, argumentos), true, 0);
}

} // namespace trd::pacote
