#include "MemoriaRegras.h"

#include "CamposTraducao.h"
#include "LeituraDoPacote.h"
#include "SubstituirRegras.h"
#include "TClientDataSet.h"
#include "TraducaoRegras.h"

#include <cmath>

namespace trd::memoria {

namespace {

using pacote::registros;
using pacote::textoSeHouver;

const QString Traduzido = QStringLiteral("T");
const QString Duvida = QStringLiteral("D");
const QString NaoTraduzido = QStringLiteral("N");

int numero(TClientDataSet& ds, const char* nome)
{
    TField* f = ds.FindField(QString::fromLatin1(nome));
    return f ? static_cast<int>(std::floor(f->AsFloat())) : 0;
}

QString semMarcas(const QString& texto)
{
    return substituir::RetiraAtalho(texto);
}

} // namespace

QList<Sugestao> LeSugestoes(const QByteArray& pacote)
{
    return registros<Sugestao>(pacote, [](TClientDataSet& ds) {
        Sugestao s;
        s.identica = textoSeHouver(ds, "TPSUGESTAO") == QStringLiteral("I");
        s.semelhanca = numero(ds, "NRSIMILAR");
        s.traducao = textoSeHouver(ds, "STVALORPROP");
        s.situacao = textoSeHouver(ds, "IDSITTRADUCAO");
        s.origem = textoSeHouver(ds, "STAGRVALPROP");
        s.programa = textoSeHouver(ds, "CDPROGTRAD");
        s.componente = textoSeHouver(ds, "NMCOMPONENTE");
        s.linhas = numero(ds, "NRLINHAS");
        s.traducoes = numero(ds, "NRTRADUCOES");
        s.programas = textoSeHouver(ds, "DSPROGRAMAS");
        s.obsoleta = textoSeHouver(ds, "STOBSOLETA") == QStringLiteral("S");
        return s;
    });
}

QString OrigemDaSugestao(const Sugestao& s)
{
    QString texto = s.programa + QStringLiteral(" · ") + s.componente;
    if (s.linhas > 1)
        texto +=
            s.linhas == 2 ? QStringLiteral(" e mais 1 linha") : QStringLiteral(" e mais %1 linhas").arg(s.linhas - 1);
    if (!s.identica && s.traducoes > 1)
        texto += QStringLiteral(", %1 traduções").arg(s.traducoes);
    if (s.obsoleta)
        texto += QStringLiteral(" (obsoleta)");
    return texto;
}

QString TextoParaCelula(const QString& origemDaLinha, const QString& traducao)
{
    return semMarcas(origemDaLinha) == origemDaLinha ? semMarcas(traducao) : traducao;
}

int DeixaDeFora(QByteArray& pacote, const std::function<bool(const QString& revisor)>& protegida)
{
    TClientDataSet ds;
    ds.SetData(pacote);
    TField* revisor = ds.FindField(QStringLiteral("NMREVISOR"));
    if (!revisor)
        return 0; // a server that tells no marks: its own check stays
    int fora = 0;
    ds.First();
    while (!ds.Eof()) {
        if (protegida(revisor->AsString())) {
            ds.Delete();
            ++fora;
        } else {
            ds.Next();
        }
    }
    if (fora > 0) {
        ds.MergeChangeLog();
        pacote = ds.Data();
    }
    return fora;
}

std::vector<LinhaMesmaOrigem> LeMesmaOrigem(const QByteArray& pacote)
{
    TClientDataSet ds;
    ds.SetData(pacote);
    std::vector<LinhaMesmaOrigem> linhas;
    for (ds.First(); !ds.Eof(); ds.Next())
        linhas.push_back({textoSeHouver(ds, "CDPROGTRAD"), textoSeHouver(ds, "NMCOMPONENTE"),
                          textoSeHouver(ds, "STAGRVALPROP"), textoSeHouver(ds, "STVALORPROP"),
                          textoSeHouver(ds, "IDSITTRADUCAO")});
    return linhas;
}

Relacao RelacaoCom(const LinhaMesmaOrigem& linha, const QString& novaTraducao)
{
    if (linha.situacao == NaoTraduzido || linha.traducao.isEmpty())
        return Relacao::NaoTraduzida;
    return semMarcas(linha.traducao) == semMarcas(novaTraducao) ? Relacao::Igual : Relacao::Diferente;
}

Contagem Conta(const std::vector<LinhaMesmaOrigem>& linhas, const QString& novaTraducao)
{
    Contagem c;
    for (const LinhaMesmaOrigem& l : linhas) {
        switch (RelacaoCom(l, novaTraducao)) {
        case Relacao::NaoTraduzida:
            ++c.naoTraduzidas;
            break;
        case Relacao::Igual:
            ++c.iguais;
            break;
        case Relacao::Diferente:
            ++c.diferentes;
            break;
        }
    }
    return c;
}

QString TextoDoAviso(const Contagem& c)
{
    const QString quantas = c.total() == 1 ? QStringLiteral("Outra linha tem a mesma origem: ")
                                           : QStringLiteral("Outras %1 linhas têm a mesma origem: ").arg(c.total());
    const QString nao = c.naoTraduzidas == 1 ? QStringLiteral("1 não traduzida")
                                             : QStringLiteral("%1 não traduzidas").arg(c.naoTraduzidas);
    const QString iguais = c.iguais == 1 ? QStringLiteral("1 igual") : QStringLiteral("%1 iguais").arg(c.iguais);
    const QString diferentes =
        c.diferentes == 1 ? QStringLiteral("1 diferente") : QStringLiteral("%1 diferentes").arg(c.diferentes);
    return quantas + nao + QStringLiteral(", ") + iguais + QStringLiteral(", ") + diferentes + QStringLiteral(".");
}

bool HaOQueAplicar(const Contagem& c)
{
    return c.naoTraduzidas + c.diferentes > 0;
}

QString Citado(const QString& texto, int maximo)
{
    const QString linha = traducao::TextoEmUmaLinha(texto);
    return linha.size() <= maximo ? linha : linha.left(maximo - 1) + QChar(0x2026);
}

bool PedePropagacao(const QString& destinoAntes, const QString& destinoDepois, const QString& situacao)
{
    return destinoAntes != destinoDepois && !destinoDepois.isEmpty() && (situacao == Traduzido || situacao == Duvida);
}

std::vector<OrigemDivergente> LeDivergencias(const QByteArray& pacote)
{
    TClientDataSet ds;
    ds.SetData(pacote);
    std::vector<OrigemDivergente> origens;
    int grupo = -1;
    for (ds.First(); !ds.Eof(); ds.Next()) {
        const int este = numero(ds, "NRGRUPO");
        if (origens.empty() || este != grupo) {
            origens.push_back({textoSeHouver(ds, "STAGRVALPROP"), numero(ds, "NRLINHASGRUPO"), {}});
            grupo = este;
        }
        origens.back().variantes.push_back({textoSeHouver(ds, "STVALORPROP"), textoSeHouver(ds, "IDSITTRADUCAO"),
                                            numero(ds, "NRLINHAS"), textoSeHouver(ds, "DSSITUACOES"),
                                            textoSeHouver(ds, "DSPROGRAMAS")});
    }
    return origens;
}

std::vector<int> LinhasParaUniformizar(const std::vector<LinhaMesmaOrigem>& linhas, const QString& traducao)
{
    std::vector<int> indices;
    for (std::size_t i = 0; i < linhas.size(); ++i)
        if (RelacaoCom(linhas[i], traducao) == Relacao::Diferente)
            indices.push_back(static_cast<int>(i));
    return indices;
}

QString SituacaoDaVariante(const Variante& v)
{
    return v.situacoes.contains(Traduzido) ? Traduzido : Duvida;
}

QByteArray DeltaDeAplicacao(TClientDataSet& linhas, const std::vector<int>& indices, const QString& traducao,
                            const QString& situacao)
{
    for (const int i : indices) {
        linhas.SetRecNo(i + 1);
        const QString texto = TextoParaCelula(linhas.FieldByName(NMORIGEM)->AsString(), traducao);
        if (linhas.FieldByName(NMDESTINO)->AsString() == texto
            && linhas.FieldByName(NMSITUACAO)->AsString() == situacao)
            continue;
        linhas.Edit();
        linhas.FieldByName(NMDESTINO)->SetAsString(texto);
        linhas.FieldByName(NMSITUACAO)->SetAsString(situacao);
        linhas.Post();
    }
    return linhas.ChangeCount() > 0 ? linhas.Delta() : QByteArray();
}

std::vector<int> NaoTraduzidas(const std::vector<LinhaMesmaOrigem>& linhas, const QString& novaTraducao)
{
    std::vector<int> indices;
    for (std::size_t i = 0; i < linhas.size(); ++i)
        if (RelacaoCom(linhas[i], novaTraducao) == Relacao::NaoTraduzida)
            indices.push_back(static_cast<int>(i));
    return indices;
}

Resposta RespostaAMesmaOrigem(bool sempreAplicar, const Contagem& c)
{
    if (!HaOQueAplicar(c))
        return Resposta::Nada;
    if (!sempreAplicar || c.naoTraduzidas == 0)
        return Resposta::Pergunta;
    return c.diferentes == 0 ? Resposta::Aplica : Resposta::AplicaEPergunta;
}

bool AdiaResposta(bool sempreAplicar, bool editando)
{
    return sempreAplicar && editando;
}

QString TextoAplicadaSozinha(int linhas)
{
    return linhas == 1
        ? QStringLiteral("A tradução foi gravada também em 1 linha não traduzida de mesma origem.")
        : QStringLiteral("A tradução foi gravada também em %1 linhas não traduzidas de mesma origem.").arg(linhas);
}

} // namespace trd::memoria
