#include "RelatorioRegras.h"

#include "CamposTraducao.h"
#include "ContagemRevisadas.h"

#include "TClientDataSet.h"
#include "TField.h"

#include <array>

namespace trd::relatorio {

const QStringList& ItensSituacao()
{
    static const QStringList itens = {QStringLiteral("Traduzido"), QStringLiteral("Não Traduzido"),
                                      QStringLiteral("Dúvida"), QStringLiteral("Todos")};
    return itens;
}

QString CodigoSituacao(int posicao)
{
    switch (posicao) {
    case 0:
        return QStringLiteral("T");
    case 1:
        return QStringLiteral("N");
    case 2:
        return QStringLiteral("D");
    default:
        return QString();
    }
}

QString TodasSituacoes(const QString& codigoSituacao)
{
    return codigoSituacao.trimmed().isEmpty() ? QStringLiteral("ALL") : QString();
}

TDateTime DataFinalConsulta(TDateTime dataFinal)
{
    return dataFinal + 1;
}

QString CodigoIdioma(const QString& item)
{
    return item.left(3);
}

int ItemDoIdioma(const QString& texto, const QStringList& itens)
{
    const QString procurado = texto.trimmed();
    if (procurado.isEmpty())
        return -1;
    for (int i = 0; i < itens.size(); ++i)
        if (itens[i].compare(procurado, Qt::CaseInsensitive) == 0)
            return i;
    // A code alone, or a code followed by anything: the code must be whole
    // ("EN" names nothing) and name one item only.
    if (procurado.size() > 3 && procurado[3] != u'-')
        return -1;
    const QString codigo = procurado.left(3);
    int achado = -1;
    for (int i = 0; i < itens.size(); ++i) {
        if (CodigoIdioma(itens[i]).compare(codigo, Qt::CaseInsensitive) != 0)
            continue;
        if (achado >= 0)
            return -1;
        achado = i;
    }
    return codigo.size() == 3 ? achado : -1;
}

namespace {

double numero(const TClientDataSet& cds, const QString& campo)
{
    const TField* f = cds.Active() && !cds.IsEmpty() ? cds.FindField(campo) : nullptr;
    return f && !f->IsNull() ? f->AsFloat() : 0.0;
}

TDateTime data(const TClientDataSet& cds, const QString& campo)
{
    const TField* f = cds.Active() && !cds.IsEmpty() ? cds.FindField(campo) : nullptr;
    return f && !f->IsNull() ? f->AsDateTime() : 0.0;
}

} // namespace

void MontaResumo(TClientDataSet& resumo, TClientDataSet& traduzidos, TClientDataSet& duvidas,
                 TClientDataSet& naoTraduzidos, TClientDataSet& textos, TClientDataSet* revisadas)
{
    const std::optional<info::Revisadas> contadas = revisadas ? info::LeRevisadas(*revisadas) : std::nullopt;
    struct Linha {
        QString codigo;
        QString descricao;
        TClientDataSet* origem;
        double caracteresTexto = 0;
    };
    std::array<Linha, 3> linhas = {{{QStringLiteral("T"), ItensSituacao()[0], &traduzidos},
                                    {QStringLiteral("D"), ItensSituacao()[2], &duvidas},
                                    {QStringLiteral("N"), ItensSituacao()[1], &naoTraduzidos}}};

    if (textos.Active()) {
        const TField* sit = textos.FindField(NMSITUACAO);
        const TField* texto = textos.FindField(NMDESTINO);
        if (sit && texto) {
            textos.DisableControls();
            for (textos.First(); !textos.Eof(); textos.Next())
                for (Linha& l : linhas)
                    if (sit->AsString() == l.codigo)
                        l.caracteresTexto += texto->AsString().size();
            textos.First();
            textos.EnableControls();
        }
    }

    resumo.Close();
    if (resumo.FieldCount() == 0) {
        resumo.AddField(NMSITUACAO, TFieldType::ftString, 1);
        resumo.AddField(QStringLiteral("DSSITUACAO"), TFieldType::ftString, 20);
        resumo.AddField(QStringLiteral("NRLINHAS"), TFieldType::ftFloat);
        resumo.AddField(QStringLiteral("NRCARACTER"), TFieldType::ftFloat);
        resumo.AddField(QStringLiteral("NRTEXTO"), TFieldType::ftFloat);
        resumo.AddField(QStringLiteral("PCLINHAS"), TFieldType::ftFloat);
        resumo.AddField(QStringLiteral("DTULTALT"), TFieldType::ftDateTime);
        resumo.AddField(QStringLiteral("NRREVISADAS"), TFieldType::ftFloat);
    }
    resumo.CreateDataSet();
    for (const Linha& l : linhas) {
        resumo.Append();
        resumo.FieldByName(NMSITUACAO)->SetAsString(l.codigo);
        resumo.FieldByName(QStringLiteral("DSSITUACAO"))->SetAsString(l.descricao);
        resumo.FieldByName(QStringLiteral("NRLINHAS"))->SetAsFloat(numero(*l.origem, NMDESTINO));
        resumo.FieldByName(QStringLiteral("NRCARACTER"))->SetAsFloat(numero(*l.origem, QStringLiteral("NRCARACTER")));
        resumo.FieldByName(QStringLiteral("NRTEXTO"))->SetAsFloat(l.caracteresTexto);
        resumo.FieldByName(QStringLiteral("PCLINHAS"))->SetAsFloat(numero(*l.origem, QStringLiteral("PCLINHAS")));
        if (const TDateTime ultima = data(*l.origem, QStringLiteral("DTULTALT")); ultima != 0)
            resumo.FieldByName(QStringLiteral("DTULTALT"))->SetAsDateTime(ultima);
        if (contadas)
            if (TField* campo = resumo.FindField(QStringLiteral("NRREVISADAS")))
                campo->SetAsFloat(static_cast<double>(contadas->da(l.codigo)));
        resumo.Post();
    }
    resumo.MergeChangeLog();
    resumo.First();
}

} // namespace trd::relatorio
