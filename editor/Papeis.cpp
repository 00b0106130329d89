#include "Papeis.h"

#include "TClientDataSet.h"

namespace trd::papeis {

namespace {

const QString Todas = QStringLiteral("*");

QString campo(TClientDataSet& ds, const char* nome)
{
    TField* f = ds.FindField(QString::fromLatin1(nome));
    return f ? f->AsString() : QString();
}

} // namespace

Papel PapelDoNome(const QString& nome)
{
    const QString n = nome.trimmed().toLower();
    if (n == QLatin1String("leitor"))
        return Papel::Leitor;
    if (n == QLatin1String("tradutor"))
        return Papel::Tradutor;
    if (n == QLatin1String("revisor"))
        return Papel::Revisor;
    if (n == QLatin1String("administrador"))
        return Papel::Administrador;
    return Papel::Nenhum;
}

QString NomeDoPapel(Papel papel)
{
    switch (papel) {
    case Papel::Leitor:
        return QStringLiteral("leitor");
    case Papel::Tradutor:
        return QStringLiteral("tradutor");
    case Papel::Revisor:
        return QStringLiteral("revisor");
    case Papel::Administrador:
        return QStringLiteral("administrador");
    case Papel::Nenhum:
        break;
    }
    return QString();
}

PapeisDoUsuario PapeisDoUsuario::Todos()
{
    PapeisDoUsuario p;
    p.m_usuario = QStringLiteral("local");
    p.m_todos = Papel::Administrador;
    return p;
}

bool PapeisDoUsuario::Le(TClientDataSet& resposta)
{
    if (!resposta.Active() || !resposta.FindField(QStringLiteral("IDIDIOMA"))
        || !resposta.FindField(QStringLiteral("TPPAPEL")))
        return false;
    PapeisDoUsuario lido;
    bool temTodas = false;
    for (resposta.First(); !resposta.Eof(); resposta.Next()) {
        const QString idioma = campo(resposta, "IDIDIOMA").trimmed();
        const Papel papel = PapelDoNome(campo(resposta, "TPPAPEL"));
        lido.m_usuario = campo(resposta, "NMUSUARIO");
        lido.m_comLogin = campo(resposta, "FLLOGIN") == QLatin1String("S");
        if (idioma == Todas) {
            lido.m_todos = papel;
            temTodas = true;
            continue;
        }
        lido.m_porIdioma.insert(idioma, papel);
        lido.m_idiomas.append(idioma);
        lido.m_regras.insert(idioma,
                             RegrasDeRevisao{campo(resposta, "FLREVOBRIG") == QLatin1String("S"),
                                             campo(resposta, "FLREVPROPRIA") == QLatin1String("S")});
    }
    if (!temTodas)
        return false;
    *this = std::move(lido);
    return true;
}

Papel PapeisDoUsuario::papel(const QString& idioma) const
{
    const auto it = m_porIdioma.constFind(idioma);
    // The server already gives a language's row the higher of the two; a
    // language it did not list (created since) has the role of every language.
    return it == m_porIdioma.cend() ? m_todos : std::max(*it, m_todos);
}

RegrasDeRevisao PapeisDoUsuario::regras(const QString& idioma) const
{
    return m_regras.value(idioma);
}

bool PapeisDoUsuario::podeLer() const
{
    if (m_todos != Papel::Nenhum)
        return true;
    for (const Papel p : m_porIdioma)
        if (p != Papel::Nenhum)
            return true;
    return false;
}

QString TextoDoPapel(const PapeisDoUsuario& p, const QString& idioma)
{
    if (!p.podeLer())
        return QStringLiteral("Sem papel neste servidor");
    if (idioma.isEmpty()) {
        const QString todos = NomeDoPapel(p.papel(QString()));
        return todos.isEmpty() ? QStringLiteral("Papel: conforme o idioma")
                               : QStringLiteral("Papel: %1 de todos os idiomas").arg(todos);
    }
    QString texto = QStringLiteral("Papel: %1 de %2").arg(NomeDoPapel(p.papel(idioma)), idioma);
    if (p.papel(idioma) == Papel::Leitor)
        texto += QStringLiteral(" (só leitura)");
    else if (p.regras(idioma).obrigatoria)
        texto += QStringLiteral(" (revisão exigida)");
    return texto;
}

QString MotivoSemLeitura()
{
    return QStringLiteral("É preciso ter um papel neste servidor (leitor ou acima) para ler as traduções. "
                          "Peça um ao administrador.");
}

QString MotivoSemEscrita(const QString& idioma)
{
    return QStringLiteral("É preciso ser tradutor do idioma %1 para alterar suas traduções.").arg(idioma);
}

QString MotivoSemRevisao(const QString& idioma)
{
    return QStringLiteral("É preciso ser revisor do idioma %1 para marcar traduções como revisadas.").arg(idioma);
}

QString MotivoSemUsuarios()
{
    return QStringLiteral("É preciso ser administrador de todos os idiomas para administrar os usuários.");
}

QString MotivoSemRegras(const QString& idioma)
{
    return QStringLiteral("É preciso ser administrador do idioma %1 para mudar as regras de revisão dele.").arg(idioma);
}

QString MotivoLinhaObsoleta()
{
    return QStringLiteral("(obsoleta) Uma liberação do aplicativo tirou este texto das telas: a linha só pode ser "
                          "consultada.");
}

QString MotivoSemAlterarLinha(const PapeisDoUsuario& p, const QString& idioma, const MarcaDaLinha& marca)
{
    if (marca.obsoleta)
        return MotivoLinhaObsoleta();
    if (!p.podeEscrever(idioma))
        return MotivoSemEscrita(idioma);
    if (!marca.revisor.isEmpty() && p.regras(idioma).obrigatoria && !p.podeRevisar(idioma))
        return QStringLiteral("Esta tradução foi revisada por %1 em %2 e o idioma %3 exige revisão: "
                              "só um revisor pode alterá-la.")
            .arg(marca.revisor, marca.quando, idioma);
    return QString();
}

QString MotivoSemMarcar(const PapeisDoUsuario& p, const QString& idioma)
{
    return p.podeRevisar(idioma) ? QString() : MotivoSemRevisao(idioma);
}

QString MotivoSemMarcarALinha(const PapeisDoUsuario& p, const QString& idioma, const QString& autorDaUltima)
{
    if (const QString motivo = MotivoSemMarcar(p, idioma); !motivo.isEmpty())
        return motivo;
    if (!p.regras(idioma).propriaBloqueada || autorDaUltima.isEmpty() || autorDaUltima != p.usuario())
        return QString();
    return QStringLiteral("O idioma %1 não permite que um revisor marque como revisada a própria alteração: "
                          "a última alteração desta linha é sua. Peça a outro revisor.")
        .arg(idioma);
}

QString TextoDasRevisadasDeixadas(int linhas, const QString& idioma)
{
    if (linhas <= 0)
        return QString();
    if (linhas == 1)
        return QStringLiteral("1 linha revisada não foi alterada: o idioma %1 exige revisão e só um revisor "
                              "pode alterá-la.")
            .arg(idioma);
    return QStringLiteral("%1 linhas revisadas não foram alteradas: o idioma %2 exige revisão e só um revisor "
                          "pode alterá-las.")
        .arg(linhas)
        .arg(idioma);
}

QString MotivoSemDesfazerLote(const PapeisDoUsuario& p, const QString& idioma, qint64 lote, const QString& autor,
                              const QString& tipo)
{
    if (tipo == QLatin1String("revisao"))
        return QStringLiteral("Marcas de revisão não são desfeitas: desmarque a linha no editor "
                              "(Desmarcar Revisão, Ctrl+Shift+R).");
    if (!p.podeEscrever(idioma))
        return MotivoSemEscrita(idioma);
    if (autor != p.usuario() && !p.administra(idioma))
        return QStringLiteral("É preciso ser administrador do idioma %1 para desfazer o lote %2, que é de %3.")
            .arg(idioma, QString::number(lote), autor);
    return QString();
}

Restricoes RestricoesDoEditor(const PapeisDoUsuario& p, const QString& idioma, const MarcaDaLinha& linhaAtual)
{
    Restricoes r;
    if (!p.podeEscrever(idioma)) {
        const QString motivo = MotivoSemEscrita(idioma);
        r.celula = r.situacoes = r.substituir = r.importar = motivo;
    } else {
        // A reviewed row the user may not change reads only, before anything
        // is typed: the cell, the status buttons and the suggestions say why.
        // (A row marked while its text is being typed keeps its cell open
        // until the post, which the server refuses, the text kept: the
        // editor's side of the roles sees to that.)
        r.celula = r.situacoes = MotivoSemAlterarLinha(p, idioma, linhaAtual);
    }
    r.marcar = MotivoSemMarcar(p, idioma);
    if (!p.administraUsuarios())
        r.usuarios = MotivoSemUsuarios();
    return r;
}

} // namespace trd::papeis
