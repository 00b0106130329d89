#include "AlteracoesDeColegas.h"

#include "CamposTraducao.h"
#include "RevisaoRegras.h"
#include "TClientDataSet.h"

#include <QSet>

#include <algorithm>

namespace trd {

AlteracoesDeColegas::AlteracoesDeColegas(TClientDataSet* linhas) : m_linhas(linhas)
{
    auto campo = [linhas](const QString& nome) { return linhas->FieldByName(nome)->Index(); };
    m_campoTela = campo(NMPROGRAMA);
    m_campoComponente = campo(NMCOMPONENTE);
    m_campoOrigem = campo(NMORIGEM);
    m_campoDestino = campo(NMDESTINO);
    m_campoSituacao = campo(NMSITUACAO);
}

QString AlteracoesDeColegas::chave(int linha) const
{
    return ChaveDaLinha(m_linhas->ValueAt(linha, m_campoTela).toString(),
                        m_linhas->ValueAt(linha, m_campoComponente).toString(),
                        m_linhas->ValueAt(linha, m_campoOrigem).toString());
}

AlteracoesDeColegas::Resultado AlteracoesDeColegas::recebe(const QString& idioma,
                                                           const std::vector<FeedChange>& alteracoes, qint64 agoraMs)
{
    for (const FeedChange& c : alteracoes)
        if (c.language == idioma)
            m_espera.push_back(c);
    return processa(agoraMs);
}

AlteracoesDeColegas::Resultado AlteracoesDeColegas::tenta(qint64 agoraMs)
{
    if (m_espera.empty())
        return {};
    return processa(agoraMs);
}

AlteracoesDeColegas::Resultado AlteracoesDeColegas::confere(TClientDataSet& doServidor, qint64 agoraMs)
{
    Resultado r;
    if (!m_linhas->Active() || m_linhas->State() != TDataSetState::dsBrowse || m_linhas->ChangeCount() > 0)
        return r;
    m_espera.clear();
    struct Valores {
        QString destino, situacao, revisor;
        double quando = 0;
    };
    QHash<QString, Valores> servidor;
    TField* tela = doServidor.FieldByName(NMPROGRAMA);
    TField* componente = doServidor.FieldByName(NMCOMPONENTE);
    TField* origem = doServidor.FieldByName(NMORIGEM);
    TField* destino = doServidor.FieldByName(NMDESTINO);
    TField* situacao = doServidor.FieldByName(NMSITUACAO);
    TField* revisor = doServidor.FindField(revisao::NMREVISOR);
    TField* quando = doServidor.FindField(revisao::DTREVISAO);
    const bool marcas = revisor && quando && m_linhas->FindField(revisao::NMREVISOR);
    for (doServidor.First(); !doServidor.Eof(); doServidor.Next())
        servidor.insert(ChaveDaLinha(tela->AsString(), componente->AsString(), origem->AsString()),
                        {destino->AsString(), situacao->AsString(), marcas ? revisor->AsString() : QString(),
                         marcas && !quando->IsNull() ? quando->AsFloat() : 0});
    const int atual = m_linhas->CurrentIndex();
    std::vector<int> saem;
    for (int linha = 0; linha < m_linhas->RecordCount(); ++linha) {
        const QString k = chave(linha);
        const auto it = servidor.constFind(k);
        if (it == servidor.cend()) {
            saem.push_back(linha);
            continue;
        }
        if (m_linhas->ValueAt(linha, m_campoDestino).toString() == it->destino
            && m_linhas->ValueAt(linha, m_campoSituacao).toString() == it->situacao
            && (!marcas || revisao::MarcaDaLinha(*m_linhas, linha).revisor == it->revisor))
            continue;
        std::vector<std::pair<int, QString>> valores{{m_campoDestino, it->destino}, {m_campoSituacao, it->situacao}};
        if (marcas)
            for (auto& v : revisao::ValoresDaMarca(*m_linhas, it->revisor, it->quando))
                valores.push_back(std::move(v));
        m_linhas->RefreshRow(linha, valores);
        m_autores.insert(k, Autor{QString(), 0, agoraMs});
        r.linhas.push_back(linha);
        r.linhaAtual = r.linhaAtual || linha == atual;
    }
    for (auto it = saem.crbegin(); it != saem.crend(); ++it) {
        m_autores.remove(chave(*it));
        m_linhas->ForgetRow(*it);
        ++r.removidas;
        r.linhaAtual = r.linhaAtual || *it == atual;
        std::erase(r.linhas, *it);
        for (int& l : r.linhas)
            if (l > *it)
                --l;
    }
    return r;
}

void AlteracoesDeColegas::esquece()
{
    m_espera.clear();
    m_vistasEmEdicao.clear();
    m_autores.clear();
}

AlteracoesDeColegas::Destino AlteracoesDeColegas::decide(const FeedChange& c, int linha) const
{
    const TDataSetState estado = m_linhas->State();
    // While a save is on its way (its change logged) or a row is inserted,
    // nothing is touched: the row set is the save's until it ends.
    if (m_linhas->ChangeCount() > 0 || estado == TDataSetState::dsInsert)
        return Destino::Esperar;
    const bool editando = estado == TDataSetState::dsEdit;
    if (editando && linha == m_linhas->CurrentIndex())
        return Destino::Esperar;
    // A mark leaves the text and status as they were: it is taken over any,
    // unless the row has it already (the user's own mark, or loaded with it).
    if (c.type == 'R' || c.type == 'U') {
        const QString revisor = revisao::MarcaDaLinha(*m_linhas, linha).revisor;
        return (c.type == 'R' ? revisor == c.user : revisor.isEmpty()) ? Destino::Passar : Destino::Aplicar;
    }
    // A row leaving moves the others: never under an edit or a loop that
    // holds the controls (replace-all walks the rows by position).
    if (c.type == 'E' && (editando || m_linhas->ControlsDisabled()))
        return Destino::Esperar;
    const QString destino = m_linhas->ValueAt(linha, m_campoDestino).toString();
    const QString situacao = m_linhas->ValueAt(linha, m_campoSituacao).toString();
    if (c.type == 'E')
        return destino == c.destinationBefore && situacao == c.statusBefore ? Destino::Aplicar : Destino::Passar;
    if (destino == c.destination && situacao == c.status)
        return Destino::Passar; // already so: the user's own save, or loaded after it
    if (c.type == 'I')
        return Destino::Aplicar; // a row created again after a deletion: nothing older to compare
    return destino == c.destinationBefore && situacao == c.statusBefore ? Destino::Aplicar : Destino::Passar;
}

AlteracoesDeColegas::Resultado AlteracoesDeColegas::processa(qint64 agoraMs)
{
    Resultado r;
    if (!m_linhas->Active()) {
        m_espera.clear();
        m_vistasEmEdicao.clear();
        return r;
    }
    const std::vector<int> campos{m_campoOrigem, m_campoTela, m_campoComponente};
    auto procura = [&](std::size_t desde) {
        // The user's own saves and marks come back for the row being worked
        // on or one just left (marks move on, and a quick run of them is ahead
        // of its echoes): the rows just behind the cursor are looked at first,
        // and only what is not among them is sought through all the rows. A
        // row's key is unique among the loaded rows.
        constexpr int Atras = 16;
        const int atual = m_linhas->CurrentIndex();
        const int ultima = qMin(atual + 1, m_linhas->RecordCount() - 1);
        const auto perto = [&](const FeedChange& c) {
            for (int l = ultima; l >= 0 && l >= atual - Atras; --l)
                if (m_linhas->ValueAt(l, m_campoOrigem).toString() == c.source
                    && m_linhas->ValueAt(l, m_campoTela).toString() == c.program
                    && m_linhas->ValueAt(l, m_campoComponente).toString() == c.component)
                    return l;
            return -1;
        };
        std::vector<int> achadas(m_espera.size() - desde, -1);
        std::vector<QStringList> chaves;
        std::vector<std::size_t> buscadas;
        for (std::size_t i = desde; i < m_espera.size(); ++i) {
            const FeedChange& c = m_espera[i];
            achadas[i - desde] = perto(c);
            if (achadas[i - desde] < 0) {
                chaves.push_back({c.source, c.program, c.component});
                buscadas.push_back(i - desde);
            }
        }
        if (!chaves.empty()) {
            const std::vector<int> longe = m_linhas->FindRows(campos, chaves);
            for (std::size_t k = 0; k < buscadas.size(); ++k)
                achadas[buscadas[k]] = longe[k];
        }
        return achadas;
    };
    std::vector<int> achadas = procura(0);
    std::vector<FeedChange> ficam;
    QSet<int> linhasQueEsperam; // a later change of a row waits behind an earlier one
    const int atual = m_linhas->CurrentIndex();
    bool editadaMudou = false;
    for (std::size_t i = 0; i < m_espera.size(); ++i) {
        FeedChange& c = m_espera[i];
        const int linha = achadas[i];
        if (linha < 0)
            continue; // not among the loaded rows
        const Destino d = linhasQueEsperam.contains(linha) ? Destino::Esperar : decide(c, linha);
        if (d == Destino::Passar) {
            // A change that waited for the user's edit and is found in the
            // row now came in by the refused save's reading: a colleague's
            // all the same, named as such.
            if (m_vistasEmEdicao.remove(c.seq) && c.type != 'E'
                && m_linhas->ValueAt(linha, m_campoDestino).toString() == c.destination) {
                m_autores.insert(chave(linha), Autor{c.user, c.when, agoraMs});
                r.linhaAtual = r.linhaAtual || linha == atual;
            }
            continue;
        }
        if (d == Destino::Esperar) {
            linhasQueEsperam.insert(linha);
            if (linha == atual && m_linhas->State() == TDataSetState::dsEdit && c.type != 'E' && c.type != 'R'
                && c.type != 'U') {
                m_editada = c;
                editadaMudou = true;
                m_vistasEmEdicao.insert(c.seq);
            }
            ficam.push_back(std::move(c));
            continue;
        }
        if (c.type == 'E') {
            m_autores.remove(chave(linha));
            m_linhas->ForgetRow(linha);
            ++r.removidas;
            r.linhaAtual = r.linhaAtual || linha == atual;
            // Rows after it moved up: what was found and noted moves with them.
            for (int& l : r.linhas)
                if (l > linha)
                    --l;
            std::erase(r.linhas, linha);
            std::vector<int> resto = procura(i + 1);
            achadas.assign(i + 1, -1);
            achadas.insert(achadas.end(), resto.begin(), resto.end());
            QSet<int> movidas;
            for (int l : std::as_const(linhasQueEsperam))
                movidas.insert(l > linha ? l - 1 : l);
            linhasQueEsperam = movidas;
            continue;
        }
        if (c.type == 'R' || c.type == 'U') {
            m_linhas->RefreshRow(linha, revisao::ValoresDaMarca(*m_linhas, c.type == 'R' ? c.user : QString(), c.when));
        } else {
            // Any change of the text or status takes the row's mark away, as on the server.
            std::vector<std::pair<int, QString>> valores{{m_campoDestino, c.destination}, {m_campoSituacao, c.status}};
            for (auto& v : revisao::ValoresDaMarca(*m_linhas, QString(), 0))
                valores.push_back(std::move(v));
            m_linhas->RefreshRow(linha, valores);
        }
        m_autores.insert(chave(linha), Autor{c.user, c.when, agoraMs});
        if (std::find(r.linhas.begin(), r.linhas.end(), linha) == r.linhas.end())
            r.linhas.push_back(linha);
        r.linhaAtual = r.linhaAtual || linha == atual;
    }
    m_espera = std::move(ficam);
    if (editadaMudou)
        r.daLinhaEditada = &m_editada;
    return r;
}

const AlteracoesDeColegas::Autor* AlteracoesDeColegas::autor(int linha) const
{
    if (m_autores.isEmpty() || !m_linhas->Active() || linha < 0 || linha >= m_linhas->RecordCount())
        return nullptr;
    const auto it = m_autores.constFind(chave(linha));
    return it == m_autores.cend() ? nullptr : &it.value();
}

bool AlteracoesDeColegas::recente(int linha, qint64 agoraMs, qint64 janelaMs) const
{
    const Autor* a = autor(linha);
    return a && agoraMs - a->recebida < janelaMs;
}

bool AlteracoesDeColegas::algumRecente(qint64 agoraMs, qint64 janelaMs) const
{
    return std::any_of(m_autores.cbegin(), m_autores.cend(),
                       [&](const Autor& a) { return agoraMs - a.recebida < janelaMs; });
}

} // namespace trd
