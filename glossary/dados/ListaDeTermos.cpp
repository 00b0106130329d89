#include "ListaDeTermos.h"

#include "ServerCalls.h"
#include "TClientDataSet.h"
#include "TDateTime.h"
#include "TSocketConnection.h"
#include "TermosDoServidor.h"

namespace trd::glossario {

QString dobrado(const QString& texto)
{
    QString d = texto.normalized(QString::NormalizationForm_D);
    QString out;
    out.reserve(d.size());
    for (const QChar c : d)
        if (c.category() != QChar::Mark_NonSpacing && c != u'&')
            out += c.toLower();
    return out;
}

ListaDeTermos::ListaDeTermos(TSocketConnection& conexao, QString idioma)
    : m_conexao(conexao), m_idioma(std::move(idioma))
{
}

void ListaDeTermos::le()
{
    TClientDataSet pacote;
    pacote.SetData(CheckResultServ(m_conexao.AppServer().Call(GetTermos, {m_idioma}), true, 0));
    const QList<quality::GlossaryTerm> termos = termosDoPacote(pacote);
    const TField* alterado = pacote.FieldByName(QStringLiteral("DTALTERACAO"));
    const TField* usuario = pacote.FieldByName(QStringLiteral("NMUSUARIO"));
    m_termos.clear();
    int i = 0;
    for (pacote.First(); !pacote.Eof(); pacote.Next())
        m_termos.append({termos[i++], alterado->AsFloat(), usuario->AsString()});
    filtra(m_filtro);
}

void ListaDeTermos::filtra(const QString& texto)
{
    m_filtro = texto;
    m_visiveis.clear();
    const QString procurado = dobrado(texto.trimmed());
    for (int i = 0; i < m_termos.size(); ++i) {
        const quality::GlossaryTerm& t = m_termos[i].termo;
        if (procurado.isEmpty()
            || dobrado(t.source + u'\n' + t.preferred.join(u'\n') + u'\n' + t.forbidden.join(u'\n') + u'\n' + t.note
                       + u'\n' + t.program)
                   .contains(procurado))
            m_visiveis.append(i);
    }
}

QList<quality::GlossaryTerm> ListaDeTermos::termos() const
{
    QList<quality::GlossaryTerm> out;
    out.reserve(m_termos.size());
    for (const TermoLido& t : m_termos)
        out << t.termo;
    return out;
}

void ListaDeTermos::depoisDe(const std::function<void()>& chamada)
{
    try {
        chamada();
    } catch (const EServerError&) {
        le();
        throw;
    }
    le();
}

void ListaDeTermos::altera(int i, const quality::GlossaryTerm& novo)
{
    const TermoLido lido = visivel(i);
    depoisDe([&] {
        CheckResultServ(
            m_conexao.AppServer().Call(AlteraTermo,
                                       {m_idioma, lido.termo.id, novo.source, novo.preferred.join(u'\n'),
                                        novo.forbidden.join(u'\n'), novo.doNotTranslate ? QStringLiteral("S") : QStringLiteral("N"),
                                        novo.note, novo.program, TDateTime(lido.alterado)}),
            true, 0);
    });
}

void ListaDeTermos::exclui(int i)
{
    const TermoLido lido = visivel(i);
    depoisDe([&] {
        CheckResultServ(m_conexao.AppServer().Call(ExcluiTermo, {m_idioma, lido.termo.id, TDateTime(lido.alterado)}),
                        true, 0);
    });
}

} // namespace trd::glossario
