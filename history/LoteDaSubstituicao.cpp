#include "LoteDaSubstituicao.h"

#include "HistoricoDados.h"
#include "OfertaDesfazer.h"
#include "TSocketConnection.h"

#include <algorithm>

namespace trd::historico {

namespace {
const QByteArray Cabecalho = QByteArrayLiteral("X-Trd-Lote");

void retiraCabecalho(TSocketConnection& conexao)
{
    auto& campos = conexao.ExtraHeaders;
    campos.erase(std::remove_if(campos.begin(), campos.end(), [](const auto& c) { return c.first == Cabecalho; }),
                 campos.end());
}
} // namespace

LoteDaSubstituicao::LoteDaSubstituicao(TSocketConnection* conexao, const QString& idioma, OfertaDesfazer* oferta)
    : m_conexao(conexao), m_oferta(oferta)
{
    if (m_oferta)
        m_oferta->Retira();
    if (!m_conexao || idioma.isEmpty())
        return;
    try {
        m_id = AbreLote(*m_conexao, idioma, QStringLiteral("substituicao"));
    } catch (const Exception&) {
        m_id = 0;   // no history on this server: the run's saves stay one batch each
    }
    if (m_id != 0) {
        retiraCabecalho(*m_conexao);
        m_conexao->ExtraHeaders.append({Cabecalho, QByteArray::number(m_id)});
    }
}

LoteDaSubstituicao::~LoteDaSubstituicao()
{
    Termina();
}

void LoteDaSubstituicao::Termina()
{
    if (m_terminado)
        return;
    m_terminado = true;
    if (m_conexao)
        retiraCabecalho(*m_conexao);
    if (m_oferta && m_id != 0 && m_linhas > 0)
        m_oferta->Oferece(m_id, m_linhas, m_completa);
}

} // namespace trd::historico
