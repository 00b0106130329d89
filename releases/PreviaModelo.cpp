#include "PreviaModelo.h"

#include <QLocale>

namespace trd::liberacao {

namespace {

QString numero(qint64 n)
{
    return QLocale(QLocale::Portuguese, QLocale::Brazil).toString(n);
}

// "ANT → NOVO" where a moved row changed it, else the value.
QString deOndeParaOnde(const QString& antes, const QString& agora)
{
    return antes.isEmpty() || antes == agora ? agora : antes + QStringLiteral(" \u2192 ") + agora;
}

QString situacao(const QString& s)
{
    return s == QStringLiteral("T") ? QStringLiteral("Traduzido")
        : s == QStringLiteral("D")  ? QStringLiteral("Dúvida")
                                    : QStringLiteral("Não Traduzido");
}

QString simples(const QString& texto)
{
    return MarcadoEmHtml({{Trecho::Tipo::Igual, texto}});
}

} // namespace

// ====================================================================== the counts

ContagensModelo::ContagensModelo(QObject* parent) : QAbstractTableModel(parent)
{
}

void ContagensModelo::mostra(std::shared_ptr<const Previa> previa, const QString& codigo)
{
    beginResetModel();
    m_previa = std::move(previa);
    m_idioma = m_previa ? m_previa->idioma(codigo) : nullptr;
    endResetModel();
}

const Contagem* ContagensModelo::contagem(int linha) const
{
    if (!m_idioma || linha < 0 || linha > m_idioma->programas.size())
        return nullptr;
    return linha == 0 ? &m_idioma->total : &m_idioma->programas[linha - 1];
}

int ContagensModelo::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() || !m_idioma ? 0 : static_cast<int>(m_idioma->programas.size()) + 1;
}

int ContagensModelo::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : colCount;
}

qint64 ContagensModelo::valor(int linha, Coluna coluna) const
{
    const Contagem* c = contagem(linha);
    if (!c)
        return 0;
    switch (coluna) {
    case colVivas:
        return c->vivas;
    case colMantidas:
        return c->mantidas;
    case colReescritas:
        return c->reescritas;
    case colMovidas:
        return c->movidas;
    case colNovas:
        return c->novas;
    case colDaMemoria:
        return c->daMemoria;
    case colRevividas:
        return c->revividas;
    case colObsoletas:
        return c->obsoletas;
    case colPrograma:
    case colCount:
        break;
    }
    return 0;
}

QVariant ContagensModelo::data(const QModelIndex& index, int role) const
{
    const Contagem* c = contagem(index.row());
    if (!c)
        return {};
    const auto coluna = static_cast<Coluna>(index.column());
    if (role == Qt::DisplayRole) {
        if (coluna == colPrograma)
            return index.row() == 0 ? QStringLiteral("Todos os programas") : c->programa;
        return numero(valor(index.row(), coluna));
    }
    if (role == Qt::TextAlignmentRole && coluna != colPrograma)
        return QVariant::fromValue(Qt::AlignRight | Qt::AlignVCenter);
    if (role == Qt::ToolTipRole && index.row() == 0 && coluna == colObsoletas && m_idioma)
        return QStringLiteral("%1 % das linhas vivas")
            .arg(QLocale(QLocale::Portuguese, QLocale::Brazil).toString(m_idioma->pcObsoletas, 'f', 2));
    return {};
}

QVariant ContagensModelo::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return {};
    static const QStringList titulos = {
        QStringLiteral("Programa"),   QStringLiteral("Vivas"),     QStringLiteral("Mantidas"),
        QStringLiteral("Reescritas"), QStringLiteral("Movidas"),   QStringLiteral("Novas"),
        QStringLiteral("Da memória"), QStringLiteral("Revividas"), QStringLiteral("Obsoletas"),
    };
    return section >= 0 && section < titulos.size() ? QVariant(titulos[section]) : QVariant();
}

// ====================================================================== the rows

LinhasModelo::LinhasModelo(QObject* parent) : QAbstractTableModel(parent)
{
}

void LinhasModelo::mostra(std::shared_ptr<const Previa> previa, const QString& codigo, const QList<Tipo>& tipos)
{
    beginResetModel();
    m_previa = std::move(previa);
    m_linhas = m_previa ? m_previa->linhasDe(codigo, tipos) : QList<int>();
    m_marcas.clear();
    endResetModel();
}

const Linha* LinhasModelo::linha(int linha) const
{
    if (!m_previa || linha < 0 || linha >= m_linhas.size())
        return nullptr;
    return &m_previa->linhas[m_linhas[linha]];
}

int LinhasModelo::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(m_linhas.size());
}

int LinhasModelo::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : colCount;
}

QVariant LinhasModelo::data(const QModelIndex& index, int role) const
{
    const Linha* l = linha(index.row());
    if (!l)
        return {};
    const auto coluna = static_cast<Coluna>(index.column());
    const bool mudou = l->tipo == Tipo::Reescrita || l->tipo == Tipo::Movida;
    // A row that leaves has only its previous source; the others their new one.
    const QString anterior = mudou ? l->origemAnterior : l->tipo == Tipo::Obsoleta ? l->origem : QString();
    const QString nova = l->tipo == Tipo::Obsoleta ? QString() : l->origem;
    if (role == Qt::DisplayRole || role == Qt::ToolTipRole) {
        switch (coluna) {
        case colTipo:
            return NomeDoTipo(l->tipo);
        case colPrograma:
            return deOndeParaOnde(l->programaAnterior, l->programa);
        case colComponente:
            return deOndeParaOnde(l->componenteAnterior, l->componente);
        case colAnterior:
            return anterior;
        case colNova:
            return nova;
        case colTexto: {
            QString t = l->texto;
            if (l->daMemoria)
                t += QStringLiteral(" (da memória)");
            return role == Qt::ToolTipRole ? situacao(l->situacao) + QStringLiteral(": ") + t : t;
        }
        case colSimilaridade:
            return l->similaridade > 0 ? QStringLiteral("%1 %").arg(l->similaridade) : QString();
        case colCount:
            break;
        }
        return {};
    }
    if (role == MarcadoRole && (coluna == colAnterior || coluna == colNova)) {
        if (!mudou)
            return simples(coluna == colAnterior ? anterior : nova);
        auto it = m_marcas.find(index.row());
        if (it == m_marcas.end())
            it = m_marcas.insert(index.row(), DiferencaPalavras(l->origemAnterior, l->origem));
        return MarcadoEmHtml(coluna == colAnterior ? it->antes : it->depois);
    }
    if (role == Qt::TextAlignmentRole && coluna == colSimilaridade)
        return QVariant::fromValue(Qt::AlignRight | Qt::AlignVCenter);
    return {};
}

QVariant LinhasModelo::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return {};
    static const QStringList titulos = {
        QStringLiteral("Tipo"),         QStringLiteral("Programa"),        QStringLiteral("Componente"),
        QStringLiteral("Similaridade"), QStringLiteral("Origem anterior"), QStringLiteral("Origem nova"),
        QStringLiteral("Tradução"),
    };
    return section >= 0 && section < titulos.size() ? QVariant(titulos[section]) : QVariant();
}

} // namespace trd::liberacao
