#include "LiberacaoDados.h"

#include "LeituraDoPacote.h"
#include "ServerCalls.h"
#include "TClientDataSet.h"

#include <QLocale>
#include <QStringDecoder>

#include <algorithm>
#include <cmath>

namespace trd::liberacao {

using namespace pacote;

namespace {

const QString GetPreviaLiberacao = QStringLiteral("GetPreviaLiberacao");
const QString AplicaLiberacao = QStringLiteral("AplicaLiberacao");
const QString GetOrigensAnteriores = QStringLiteral("GetOrigensAnteriores");

Tipo tipoDe(const QString& letra)
{
    const QChar c = letra.isEmpty() ? QChar() : letra.front();
    for (Tipo t : {Tipo::Reescrita, Tipo::Movida, Tipo::Nova, Tipo::Revivida, Tipo::Obsoleta})
        if (c == QLatin1Char(static_cast<char>(t)))
            return t;
    throw Exception(QStringLiteral("A resposta do servidor traz uma linha de tipo desconhecido: \"%1\".").arg(letra));
}

QString contados(qint64 n, const char* um, const char* varios)
{
    return QStringLiteral("%1 %2").arg(QLocale(QLocale::Portuguese, QLocale::Brazil).toString(n),
                                       QString::fromUtf8(n == 1 ? um : varios));
}

TRemoteArgs argumentos(const QString& arquivo, const Opcoes& o, bool confirmado)
{
    return {arquivo, o.limiar, o.limiteObsoletas, o.memoria ? QStringLiteral("S") : QStringLiteral("N"),
            confirmado ? QStringLiteral("S") : QStringLiteral("N")};
}

} // namespace

const Idioma* Previa::idioma(const QString& codigo) const
{
    for (const Idioma& i : idiomas)
        if (i.codigo == codigo)
            return &i;
    return nullptr;
}

QStringList Previa::codigos() const
{
    QStringList c;
    for (const Idioma& i : idiomas)
        c << i.codigo;
    return c;
}

bool Previa::precisaConfirmar() const
{
    return std::any_of(idiomas.begin(), idiomas.end(), [](const Idioma& i) { return i.confirmar; });
}

QList<int> Previa::linhasDe(const QString& codigo, const QList<Tipo>& tipos) const
{
    QList<int> r;
    for (int i = 0; i < linhas.size(); ++i)
        if (linhas[i].idioma == codigo && (tipos.isEmpty() || tipos.contains(linhas[i].tipo)))
            r.append(i);
    return r;
}

Previa LePrevia(const QByteArray& pacote)
{
    Previa p;
    cadaLinha(pacote, [&](TClientDataSet& d) {
        const QString tipo = texto(d, "TPLINHA");
        const QString idioma = texto(d, "IDIDIOMA");
        if (tipo == QStringLiteral("S")) {
            Contagem c;
            c.programa = texto(d, "CDPROGTRAD");
            c.vivas = numero(d, "NRVIVAS");
            c.mantidas = numero(d, "NRMANTIDAS");
            c.reescritas = numero(d, "NRREESCRITAS");
            c.movidas = numero(d, "NRMOVIDAS");
            c.novas = numero(d, "NRNOVAS");
            c.daMemoria = numero(d, "NRMEMORIA");
            c.revividas = numero(d, "NRREVIVIDAS");
            c.obsoletas = numero(d, "NROBSOLETAS");
            if (p.idiomas.isEmpty() || p.idiomas.last().codigo != idioma) {
                Idioma novo;
                novo.codigo = idioma;
                p.idiomas.append(novo);
            }
            Idioma& atual = p.idiomas.last();
            if (c.programa.isEmpty()) {
                atual.total = c;
                atual.pcObsoletas = d.FieldByName(QStringLiteral("PCOBSOLETAS"))->AsFloat();
                atual.confirmar = texto(d, "STCONFIRMAR") == QStringLiteral("S");
                atual.aviso = texto(d, "DSAVISO");
                atual.lote = numero(d, "IDLOTE");
            } else {
                atual.programas.append(c);
            }
            return;
        }
        Linha l;
        l.tipo = tipoDe(tipo);
        l.idioma = idioma;
        l.programa = texto(d, "CDPROGTRAD");
        l.componente = texto(d, "NMCOMPONENTE");
        l.origem = texto(d, "STAGRVALPROP");
        l.programaAnterior = texto(d, "CDPROGANT");
        l.componenteAnterior = texto(d, "NMCOMPANT");
        l.origemAnterior = texto(d, "STAGRVALANT");
        l.texto = texto(d, "STVALORPROP");
        l.situacao = texto(d, "IDSITTRADUCAO");
        l.similaridade = static_cast<int>(numero(d, "NRSIMILAR"));
        l.daMemoria = texto(d, "STMEMORIA") == QStringLiteral("S");
        p.linhas.append(l);
    });
    return p;
}

QString PedidoDeConfirmacao(const Previa& previa)
{
    QStringList avisos;
    for (const Idioma& i : previa.idiomas)
        if (i.confirmar)
            avisos << (i.aviso.isEmpty() ? QStringLiteral("%1: a liberação precisa de confirmação.").arg(i.codigo)
                                         : i.aviso);
    if (avisos.isEmpty())
        return {};
    avisos.removeDuplicates(); // an empty file is told once, not once per language
    return QStringLiteral("Atenção:\n\n%1\n\nAplicar a liberação mesmo assim?").arg(avisos.join(QStringLiteral("\n")));
}

QString ResumoDoResultado(const Previa& aplicada)
{
    QStringList partes;
    bool algumLote = false;
    for (const Idioma& i : aplicada.idiomas) {
        const Contagem& c = i.total;
        if (c.alteradas() == 0) {
            partes << QStringLiteral("%1: nada mudou (%2).")
                          .arg(i.codigo, contados(c.mantidas, "linha mantida", "linhas mantidas"));
            continue;
        }
        QStringList o;
        const auto conta = [&o](qint64 n, const char* um, const char* varios) {
            if (n > 0)
                o << contados(n, um, varios);
        };
        conta(c.reescritas, "reescrita", "reescritas");
        conta(c.movidas, "movida", "movidas");
        conta(c.novas, "nova", "novas");
        conta(c.revividas, "revivida", "revividas");
        conta(c.obsoletas, "obsoleta", "obsoletas");
        QString linha = QStringLiteral("%1: %2").arg(i.codigo, o.join(QStringLiteral(", ")));
        if (c.daMemoria > 0)
            linha += QStringLiteral(" (%1)").arg(
                contados(c.daMemoria, "nova com o texto da memória", "novas com o texto da memória"));
        if (i.lote != 0) {
            linha += QStringLiteral("; lote %1").arg(i.lote);
            algumLote = true;
        }
        partes << linha + QLatin1Char('.');
    }
    QString resumo = QStringLiteral("A liberação foi aplicada.\n\n") + partes.join(QLatin1Char('\n'));
    if (algumLote)
        resumo += QStringLiteral("\n\nCada idioma é um lote do histórico: em Lotes de Alterações (Ctrl+Shift+H) "
                                 "a liberação pode ser desfeita inteira.");
    return resumo;
}

QString NomeDoTipo(Tipo tipo)
{
    switch (tipo) {
    case Tipo::Reescrita:
        return QStringLiteral("Reescrita");
    case Tipo::Movida:
        return QStringLiteral("Movida");
    case Tipo::Nova:
        return QStringLiteral("Nova");
    case Tipo::Revivida:
        return QStringLiteral("Revivida");
    case Tipo::Obsoleta:
        return QStringLiteral("Obsoleta");
    }
    return {};
}

QList<Origem> LeOrigens(const QByteArray& pacote)
{
    return registros<Origem>(pacote, [](TClientDataSet& d) {
        Origem o;
        preenche<Origem>(d, o,
                         {{"CDPROGTRAD", &Origem::programa},
                          {"NMCOMPONENTE", &Origem::componente},
                          {"STAGRVALPROP", &Origem::origem},
                          {"CDPROGANT", &Origem::programaAnterior},
                          {"NMCOMPANT", &Origem::componenteAnterior},
                          {"STAGRVALANT", &Origem::origemAnterior},
                          {"IDLOTE", &Origem::lote},
                          {"DTLOTE", &Origem::data}});
        o.tipo = tipoDe(texto(d, "TPLIBERACAO"));
        o.similaridade = static_cast<int>(numero(d, "NRSIMILAR"));
        o.ultima = texto(d, "STULTIMA") == QStringLiteral("S");
        return o;
    });
}

QHash<QString, Origem> PorChave(const QList<Origem>& origens)
{
    QHash<QString, Origem> h;
    h.reserve(origens.size());
    for (const Origem& o : origens) {
        // Of two entries of one row (released twice), the newer release tells
        // what the row was just before.
        const QString chave = ChaveDaLinha(o.programa, o.componente, o.origem);
        auto it = h.find(chave);
        if (it == h.end() || it->lote < o.lote)
            h.insert(chave, o);
    }
    return h;
}

QSet<QString> ReescritasDaUltima(const QList<Origem>& origens)
{
    QSet<QString> chaves;
    for (const Origem& o : origens)
        if (o.ultima && o.mudouAOrigem())
            chaves.insert(ChaveDaLinha(o.programa, o.componente, o.origem));
    return chaves;
}

QList<ChaveLinha> LinhasEntre(TClientDataSet& linhas, const QString& idioma, const QSet<QString>& chaves)
{
    QList<ChaveLinha> r;
    if (chaves.isEmpty() || !linhas.Active())
        return r;
    const int programa = linhas.FieldByName(QStringLiteral("CDPROGTRAD"))->Index();
    const int componente = linhas.FieldByName(QStringLiteral("NMCOMPONENTE"))->Index();
    const int origem = linhas.FieldByName(QStringLiteral("STAGRVALPROP"))->Index();
    for (int i = 0; i < linhas.RecordCount(); ++i) {
        ChaveLinha c{idioma, linhas.ValueAt(i, programa).toString(), linhas.ValueAt(i, componente).toString(),
                     linhas.ValueAt(i, origem).toString()};
        if (chaves.contains(ChaveDaLinha(c.programa, c.componente, c.origem)))
            r.append(std::move(c));
    }
    return r;
}

Arquivo LeArquivo(const QByteArray& bytes)
{
    Arquivo a;
    // Stateless: a sequence cut at the end of the file is an error too.
    QStringDecoder todo(QStringDecoder::Utf8, QStringConverter::Flag::Stateless);
    a.texto = todo.decode(bytes);
    if (todo.hasError()) {
        // Found again line by line, to name it as the server names its faults.
        const QList<QByteArray> linhas = bytes.split('\n');
        for (qsizetype n = 0; n < linhas.size(); ++n) {
            QStringDecoder uma(QStringDecoder::Utf8, QStringConverter::Flag::Stateless);
            const QString decodificada = uma.decode(linhas[n]);
            if (uma.hasError()) {
                a.erro = QStringLiteral("Arquivo da liberação inválido, linha %1: o texto não está em UTF-8. "
                                        "Nada foi aplicado.")
                             .arg(n + 1);
                break;
            }
        }
        if (a.erro.isEmpty())
            a.erro = QStringLiteral("Arquivo da liberação inválido: o texto não está em UTF-8. Nada foi aplicado.");
        a.texto.clear();
        return a;
    }
    for (QStringView linha : QStringView(a.texto).split(QLatin1Char('\n'))) {
        if (linha.endsWith(QLatin1Char('\r')))
            linha.chop(1);
        if (!linha.isEmpty() && !linha.startsWith(QLatin1Char('#')))
            ++a.linhas;
    }
    return a;
}

QByteArray PedePrevia(TSocketConnection& conexao, const QString& arquivo, const Opcoes& opcoes)
{
    return chama(conexao, GetPreviaLiberacao, argumentos(arquivo, opcoes, false));
}

QByteArray Aplica(TSocketConnection& conexao, const QString& arquivo, const Opcoes& opcoes, bool confirmado,
                  const QString& ficha)
{
    TRemoteArgs args = argumentos(arquivo, opcoes, confirmado);
    if (!ficha.isEmpty())
        args.push_back(ficha);
    return chama(conexao, AplicaLiberacao, args);
}

QList<Origem> BuscaOrigens(TSocketConnection& conexao, const QString& idioma, bool ultima)
{
    return LeOrigens(
        chama(conexao, GetOrigensAnteriores, {idioma, ultima ? QStringLiteral("U") : QStringLiteral("T")}));
}

} // namespace trd::liberacao
