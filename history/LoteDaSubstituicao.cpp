#include "LoteDaSubstituicao.h"

#include "HistoricoDados.h"
#include "OfertaDesfazer.h"
#include "TSocketConnection.h"

namespace trd::historico {

LoteDaSubstituicao::LoteDaSubstituicao(TSocketConnection* conexao, const QString& idioma, OfertaDesfazer* oferta)
    : m_oferta(oferta)
{
    if (m_oferta)
        m_oferta->Retira();
    if (!conexao || idioma.isEmpty())
        return;
    try {
        m_id = AbreLote(*conexao, idioma, QStringLiteral("substituicao"));
    } catch (const Exception&) {
        m_id = 0; // no history on this server: the run's saves stay one batch each
    }
    m_noLote.emplace(*conexao, m_id);
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
    m_noLote.reset();
    if (m_oferta && m_id != 0 && m_linhas > 0)
        m_oferta->Oferece(m_id, m_linhas, m_completa);
}

} // namespace trd::historico
