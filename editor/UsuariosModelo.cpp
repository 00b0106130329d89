#include "UsuariosModelo.h"

#include "ServerCalls.h"
#include "TClientDataSet.h"
#include "TSocketConnection.h"

#include <QSet>

#include <algorithm>

namespace trd {

namespace {

ServerPacket chama(TSocketConnection& conexao, const QString& metodo, const TRemoteArgs& parametros = {})
{
    return CheckResultServ(conexao.AppServer().Call(metodo, parametros), true, 0);
}

} // namespace

UsuariosModelo::UsuariosModelo(TSocketConnection& conexao, QObject* parent)
    : QAbstractTableModel(parent), m_conexao(conexao)
{
}

void UsuariosModelo::carrega()
{
    TClientDataSet usuarios;
    usuarios.SetData(chama(m_conexao, metodo::GetUsuarios));
    TClientDataSet papeis;
    papeis.SetData(chama(m_conexao, metodo::GetPapeis));
    papeis::PapeisDoUsuario p;
    if (p.Le(papeis))
        m_papeis = p;
    tomaUsuarios(usuarios, true);
}

void UsuariosModelo::tomaUsuarios(TClientDataSet& resposta, bool todos)
{
    QList<Concessao> lidas;
    QSet<QString> nomes;
    for (resposta.First(); !resposta.Eof(); resposta.Next()) {
        Concessao c{resposta.FieldByName(QStringLiteral("NMUSUARIO"))->AsString(),
                    resposta.FieldByName(QStringLiteral("IDIDIOMA"))->AsString().trimmed(),
                    resposta.FieldByName(QStringLiteral("TPPAPEL"))->AsString(), false};
        if (TField* herdado = resposta.FindField(QStringLiteral("FLHERDADO")))
            c.herdado = herdado->AsString() == QLatin1String("S");
        nomes.insert(c.usuario);
        lidas.append(c);
    }
    beginResetModel();
    if (todos) {
        m_concessoes = lidas;
    } else {
        m_concessoes.erase(std::remove_if(m_concessoes.begin(), m_concessoes.end(),
                                          [&](const Concessao& c) { return nomes.contains(c.usuario); }),
                           m_concessoes.end());
        m_concessoes.append(lidas);
        // The server's order: users by name, "*" first, then languages by code.
        std::stable_sort(m_concessoes.begin(), m_concessoes.end(), [](const Concessao& a, const Concessao& b) {
            if (a.usuario != b.usuario)
                return a.usuario < b.usuario;
            if ((a.idioma == QLatin1String("*")) != (b.idioma == QLatin1String("*")))
                return a.idioma == QLatin1String("*");
            return a.idioma < b.idioma;
        });
    }
    endResetModel();
}

void UsuariosModelo::concede(const QString& usuario, papeis::Papel papel, const QString& idioma)
{
    TClientDataSet resposta;
    resposta.SetData(chama(m_conexao, metodo::ConcedePapel, {usuario, papeis::NomeDoPapel(papel), idioma}));
    tomaUsuarios(resposta, false);
}

void UsuariosModelo::retira(const QString& usuario, const QString& idioma)
{
    TClientDataSet resposta;
    resposta.SetData(chama(m_conexao, metodo::RetiraPapel, {usuario, idioma}));
    tomaUsuarios(resposta, false);
}

papeis::RegrasDeRevisao UsuariosModelo::regras(const QString& idioma) const
{
    return m_papeis.regras(idioma);
}

void UsuariosModelo::gravaRegras(const QString& idioma, const papeis::RegrasDeRevisao& regras)
{
    const auto sn = [](bool v) { return v ? QStringLiteral("S") : QStringLiteral("N"); };
    chama(m_conexao, metodo::SetRevisaoIdioma, {idioma, sn(regras.obrigatoria), sn(regras.propriaBloqueada)});
    TClientDataSet papeis;
    papeis.SetData(chama(m_conexao, metodo::GetPapeis));
    papeis::PapeisDoUsuario p;
    if (p.Le(papeis))
        m_papeis = p;
}

QStringList UsuariosModelo::usuarios() const
{
    QStringList nomes;
    for (const Concessao& c : m_concessoes)
        if (!nomes.contains(c.usuario))
            nomes.append(c.usuario);
    return nomes;
}

int UsuariosModelo::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(m_concessoes.size());
}

int UsuariosModelo::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : NColunas;
}

QVariant UsuariosModelo::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= m_concessoes.size() || role != Qt::DisplayRole)
        return {};
    const Concessao& c = m_concessoes.at(index.row());
    switch (index.column()) {
    case ColUsuario:
        return c.usuario;
    case ColIdioma:
        if (c.idioma.isEmpty())
            return QString();
        return c.idioma == QLatin1String("*") ? QStringLiteral("* (todos)") : c.idioma;
    case ColPapel:
        if (c.papel.isEmpty())
            return QStringLiteral("(sem papel)");
        return c.herdado ? c.papel + QStringLiteral(" (sem papéis gravados)") : c.papel;
    default:
        break;
    }
    return {};
}

QVariant UsuariosModelo::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return {};
    switch (section) {
    case ColUsuario:
        return QStringLiteral("Usuário");
    case ColIdioma:
        return QStringLiteral("Idioma");
    case ColPapel:
        return QStringLiteral("Papel");
    default:
        break;
    }
    return {};
}

} // namespace trd
