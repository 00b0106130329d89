#include "VerificacaoLinhas.h"

#include "CamposTraducao.h"
#include "TClientDataSet.h"

#include <algorithm>

namespace trd {

VerificacaoLinhas::VerificacaoLinhas(TClientDataSet* linhas) : m_linhas(linhas)
{
}

VerificacaoLinhas::Textos VerificacaoLinhas::textos(int linha) const
{
    // Read as the grid reads a row it paints: no scrolling, no events.
    ActiveRecordScope escopo(m_linhas, linha);
    auto campo = [this](const QString& nome) { return m_linhas->FieldByName(nome)->AsString(); };
    return {campo(NMPROGRAMA), campo(NMCOMPONENTE), campo(NMORIGEM), campo(NMDESTINO), campo(NMSITUACAO)};
}

int VerificacaoLinhas::id(const Textos& t)
{
    const QString k = ChaveDaLinha(t.programa, t.componente, t.origem);
    const auto existente = m_ids.constFind(k);
    if (existente != m_ids.cend())
        return *existente;
    const int novo = int(m_ids.size());
    m_ids.insert(k, novo);
    return novo;
}

void VerificacaoLinhas::garanteIndice()
{
    if (m_indiceFeito || !m_linhas->Active())
        return;
    m_indiceFeito = true;
    const int total = m_linhas->RecordCount();
    for (int linha = 0; linha < total; ++linha) {
        const Textos t = textos(linha);
        // Only rows that mark a letter can conflict: the others need no id.
        if (!t.destino.contains(u'&'))
            continue;
        m_atalhos.set(id(t), t.programa, t.componente, t.origem, t.destino);
    }
}

quality::Findings VerificacaoLinhas::achados(int linha, const std::optional<QString>& destino)
{
    quality::Findings encontrados;
    if (!m_linhas->Active() || linha < 0 || linha >= m_linhas->RecordCount())
        return encontrados;
    Textos t = textos(linha);
    if (destino)
        t.destino = *destino;
    quality::checkRow(t.origem, t.destino, t.situacao, m_opcoes, encontrados);
    if (t.destino.contains(u'&')) {
        garanteIndice();
        const auto existente = m_ids.constFind(ChaveDaLinha(t.programa, t.componente, t.origem));
        // A row the index does not hold has no id yet: -1 is nobody's.
        const int eu = existente == m_ids.cend() ? -1 : *existente;
        if (auto conflito = m_atalhos.conflictOf(eu, t.programa, t.origem, t.destino))
            encontrados.insert(
                std::find_if(encontrados.begin(), encontrados.end(),
                             [](const quality::Finding& f) { return f.check > quality::CheckId::ConflitoAtalho; }),
                std::move(*conflito));
    }
    // Last in the catalog.
    if (m_opcoes.terms && !t.destino.trimmed().isEmpty())
        m_opcoes.terms->check(t.programa, t.origem, t.destino, m_opcoes.checks, encontrados);
    return encontrados;
}

std::optional<quality::Severity> VerificacaoLinhas::pior(int linha)
{
    const quality::Findings f = achados(linha);
    if (f.isEmpty())
        return std::nullopt;
    return quality::hasErro(f) ? quality::Severity::Erro : quality::Severity::Aviso;
}

void VerificacaoLinhas::linhaGravada(int linha)
{
    if (!m_indiceFeito || !m_linhas->Active() || linha < 0 || linha >= m_linhas->RecordCount())
        return;
    const Textos t = textos(linha);
    const auto existente = m_ids.constFind(ChaveDaLinha(t.programa, t.componente, t.origem));
    if (existente == m_ids.cend() && !t.destino.contains(u'&'))
        return; // never marked a letter, still does not
    m_atalhos.set(id(t), t.programa, t.componente, t.origem, t.destino);
}

void VerificacaoLinhas::linhasMudaram()
{
    m_atalhos.clear();
    m_ids.clear();
    m_indiceFeito = false;
}

quality::Findings VerificacaoLinhas::errosNovos(int linha, const QString& destinoAnterior)
{
    quality::Findings novos;
    const quality::Findings agora = achados(linha);
    if (!quality::hasErro(agora))
        return novos;
    const Textos t = textos(linha);
    if (m_confirmadas.contains(ChaveDaLinha(t.programa, t.componente, t.origem) + QChar(0x1F) + t.destino))
        return novos;
    const quality::Findings antes = achados(linha, destinoAnterior);
    for (const quality::Finding& f : agora) {
        const bool jaTinha =
            std::any_of(antes.begin(), antes.end(), [&f](const quality::Finding& a) { return a.check == f.check; });
        if (f.severity == quality::Severity::Erro && !jaTinha)
            novos.append(f);
    }
    return novos;
}

void VerificacaoLinhas::confirmada(int linha)
{
    const Textos t = textos(linha);
    m_confirmadas.insert(ChaveDaLinha(t.programa, t.componente, t.origem) + QChar(0x1F) + t.destino);
}

QString PerguntaGravarComErros(const quality::Findings& achados)
{
    QString texto = QStringLiteral("Esta tradução tem erro que quebra a tela:\n");
    for (const quality::Finding& f : achados)
        if (f.severity == quality::Severity::Erro)
            texto += QStringLiteral("\n• ") + f.message;
    texto += QStringLiteral("\n\nGravar assim mesmo?");
    return texto;
}

QString PerguntaGravarComErrosNaExecucao(const quality::Findings& achados, const QString& origem,
                                         const QString& programa, const QString& componente)
{
    return QStringLiteral("Substituir Todos, linha de origem \u00AB%1\u00BB (tela %2, componente %3).\n\n")
               .arg(origem, programa, componente)
        + PerguntaGravarComErros(achados)
        + QStringLiteral("\n\nA resposta vale para as demais linhas desta substituição com erro. Não: a linha "
                         "fica como estava e a substituição continua.");
}

} // namespace trd
