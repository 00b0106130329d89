#pragma once
// What the users window shows and does, without a window (docs/users.md): the
// users with the roles granted to each, per language or for all ("*"), and
// the review settings of each language, read from and written to the server
// (GetUsuarios, ConcedePapel, RetiraPapel, GetPapeis, SetRevisaoIdioma). Each
// change is sent at once and its answer shown; a refusal raises the server's
// message and changes nothing here.
#include "Papeis.h"

#include <QAbstractTableModel>
#include <QList>
#include <QStringList>

namespace trd {

class TSocketConnection;
class TClientDataSet;

class UsuariosModelo : public QAbstractTableModel {
    Q_OBJECT
public:
    explicit UsuariosModelo(TSocketConnection& conexao, QObject* parent = nullptr);

    struct Concessao {
        QString usuario, idioma, papel;
        bool herdado = false; // a users file from before roles: administrador of "*" until a grant or revoke
        bool operator==(const Concessao&) const = default;
    };
    enum Coluna { ColUsuario, ColIdioma, ColPapel, NColunas };

    // Reads the users and the languages' settings again. Raises what the calls raise.
    void carrega();
    // Gives `usuario` the role on the language ("*": all), replacing the one they had there.
    void concede(const QString& usuario, papeis::Papel papel, const QString& idioma);
    // Takes away the role `usuario` has on the language.
    void retira(const QString& usuario, const QString& idioma);
    // The review settings of a language.
    papeis::RegrasDeRevisao regras(const QString& idioma) const;
    void gravaRegras(const QString& idioma, const papeis::RegrasDeRevisao& regras);

    const QList<Concessao>& concessoes() const { return m_concessoes; }
    QStringList usuarios() const;
    QStringList idiomas() const { return m_papeis.idiomas(); }

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

private:
    // Replaces the rows of the users that `resposta` lists by what it says of them.
    void tomaUsuarios(TClientDataSet& resposta, bool todos);

    TSocketConnection& m_conexao;
    QList<Concessao> m_concessoes;
    papeis::PapeisDoUsuario m_papeis;
};

} // namespace trd
