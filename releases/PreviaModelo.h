#pragma once
// The release window's tables over a preview (or an apply's answer), with no
// window of their own: the counts per program of one language, with its total
// first, and the rows of one language of the kinds chosen, a reworded or
// moved row's previous and new source side by side with the changed words
// marked (DiferencaPalavras).
#include "DiferencaPalavras.h"
#include "LiberacaoDados.h"

#include <QAbstractTableModel>

#include <memory>

namespace trd::liberacao {

class ContagensModelo : public QAbstractTableModel {
    Q_OBJECT
public:
    enum Coluna {
        colPrograma,
        colVivas,
        colMantidas,
        colReescritas,
        colMovidas,
        colNovas,
        colDaMemoria,
        colRevividas,
        colObsoletas,
        colCount
    };
    explicit ContagensModelo(QObject* parent = nullptr);

    // Shows `codigo`'s counts (none when the preview has no such language).
    void mostra(std::shared_ptr<const Previa> previa, const QString& codigo);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

    // The count of a cell as a number (the tests and the window read the same).
    qint64 valor(int linha, Coluna coluna) const;

private:
    const Contagem* contagem(int linha) const;

    std::shared_ptr<const Previa> m_previa;
    const Idioma* m_idioma = nullptr;
};

class LinhasModelo : public QAbstractTableModel {
    Q_OBJECT
public:
    enum Coluna { colTipo, colPrograma, colComponente, colSimilaridade, colAnterior, colNova, colTexto, colCount };
    // The rich text of the source columns, changed words marked.
    static constexpr int MarcadoRole = Qt::UserRole + 1;
    explicit LinhasModelo(QObject* parent = nullptr);

    // The rows of `codigo` of the kinds asked (every kind when empty).
    void mostra(std::shared_ptr<const Previa> previa, const QString& codigo, const QList<Tipo>& tipos = {});
    const Linha* linha(int linha) const;

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

private:
    std::shared_ptr<const Previa> m_previa;
    QList<int> m_linhas;
    // The marks of a row, made the first time it is shown.
    mutable QHash<int, Diferenca> m_marcas;
};

} // namespace trd::liberacao
