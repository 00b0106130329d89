#include "EditorFalso.h"

#include <QMenu>

#include "ScopedBatch.h"

#include <QAction>
#include <QBoxLayout>

namespace trd::test {

EditorFalso::EditorFalso() : tela(std::make_unique<QWidget>())
{
    tela->setObjectName(QStringLiteral("editorFalso"));
    auto* coluna = new QVBoxLayout(tela.get());
    celulas = new QWidget;
    celulas->setObjectName(QStringLiteral("celulas"));
    coluna->addWidget(celulas);
    detalhe = new QFrame;
    detalhe->setObjectName(QStringLiteral("detalhe"));
    detalhe->setFixedHeight(107);
    coluna->addWidget(detalhe);
    navegador = new QFrame;
    navegador->setObjectName(QStringLiteral("navegador"));
    auto* barra = new QHBoxLayout(navegador);
    barra->addStretch();
    coluna->addWidget(navegador);
    menu = new QMenu(tela.get());

    cds = new TClientDataSet(tela.get());
    cds->AddField(QStringLiteral("STAGRVALPROP"), TFieldType::ftString, 4000);
    cds->AddField(QStringLiteral("STVALORPROP"), TFieldType::ftString, 4000);
    cds->AddField(QStringLiteral("IDSITTRADUCAO"), TFieldType::ftString, 1);
    cds->AddField(QStringLiteral("IDIDIOMA"), TFieldType::ftString, 3);
    cds->AddField(QStringLiteral("NMCOMPONENTE"), TFieldType::ftString, 50);
    cds->AddField(QStringLiteral("CDPROGTRAD"), TFieldType::ftString, 20);
    // A post the server took, as the editor's save leaves it.
    cds->AfterPost = [](TClientDataSet* ds) { ds->MergeChangeLog(); };
    rede = new TSocketConnection(tela.get());
    rede->Host = QStringLiteral("127.0.0.1");
    rede->Port = 1;
}

EditorFalso::~EditorFalso()
{
    cds->AfterPost = nullptr;
}

void EditorFalso::carrega(const QList<Linha>& dados, const QString& codigo)
{
    codigoIdioma = codigo;
    if (cds->Active())
        cds->Close();
    cds->CreateDataSet();
    for (const Linha& l : dados) {
        cds->Append();
        cds->FieldByName(QStringLiteral("IDIDIOMA"))->SetAsString(codigo);
        cds->FieldByName(QStringLiteral("CDPROGTRAD"))->SetAsString(l.programa);
        cds->FieldByName(QStringLiteral("NMCOMPONENTE"))->SetAsString(l.componente);
        cds->FieldByName(QStringLiteral("STAGRVALPROP"))->SetAsString(l.origem);
        cds->FieldByName(QStringLiteral("STVALORPROP"))->SetAsString(l.destino);
        cds->FieldByName(QStringLiteral("IDSITTRADUCAO"))->SetAsString(l.situacao);
        cds->Post();
    }
    cds->MergeChangeLog();
    cds->First();
}

QLineEdit* EditorFalso::abreCelula()
{
    if (cds->State() == TDataSetState::dsBrowse)
        cds->Edit();
    m_celula = new QLineEdit(cds->FieldByName(QStringLiteral("STVALORPROP"))->AsString(), celulas);
    return m_celula;
}

void EditorFalso::fechaCelula()
{
    delete m_celula;
}

ChaveLinha EditorFalso::chaveAtual() const
{
    if (!cds->Active() || cds->IsEmpty())
        return {};
    return {cds->FieldByName(QStringLiteral("IDIDIOMA"))->AsString(),
            cds->FieldByName(QStringLiteral("CDPROGTRAD"))->AsString(),
            cds->FieldByName(QStringLiteral("NMCOMPONENTE"))->AsString(),
            cds->FieldByName(QStringLiteral("STAGRVALPROP"))->AsString()};
}

void EditorFalso::digitaNaCelula(const QString& texto)
{
    digitados << texto;
}

void EditorFalso::mostraTextoDoColega(const QString& titulo, const QString& texto)
{
    textosDeColega << titulo + QLatin1Char('|') + texto;
}

void EditorFalso::alteradasPorOutro(const std::vector<int>& linhas, bool rem, bool atual)
{
    alteradas.insert(alteradas.end(), linhas.begin(), linhas.end());
    removidas = removidas || rem;
    atualAlterada = atualAlterada || atual;
}

void EditorFalso::adicionaPainel(QWidget* painel, Lugar lugar)
{
    auto* coluna = static_cast<QVBoxLayout*>(tela->layout());
    QWidget* bloco = m_lado ? m_lado : detalhe;
    switch (lugar) {
    case Lugar::AoLadoDoDetalhe:
        if (!m_lado) {
            const int onde = coluna->indexOf(detalhe);
            m_lado = new QWidget;
            auto* linha = new QHBoxLayout(m_lado);
            coluna->removeWidget(detalhe);
            linha->addWidget(detalhe);
            coluna->insertWidget(onde, m_lado);
        }
        m_lado->layout()->addWidget(painel);
        break;
    case Lugar::AcimaDoDetalhe:
        coluna->insertWidget(coluna->indexOf(bloco), painel);
        break;
    case Lugar::SobODetalhe:
        coluna->insertWidget(coluna->indexOf(bloco) + 1, painel);
        break;
    case Lugar::Navegador:
        static_cast<QHBoxLayout*>(navegador->layout())->insertWidget(0, painel);
        break;
    case Lugar::SobAsSugestoes:
        if (m_lado)
            m_lado->layout()->addWidget(painel);
        else
            coluna->insertWidget(coluna->indexOf(bloco) + 1, painel);
        break;
    }
}

int EditorFalso::posicao(QWidget* painel) const
{
    const int naColuna = tela->layout()->indexOf(painel);
    return naColuna >= 0 ? naColuna : (m_lado ? m_lado->layout()->indexOf(painel) : -1);
}

void EditorFalso::poeNoMenu(QAction* item)
{
    menu->addAction(item);
}

qint64 EditorFalso::emLote(const QString& idioma, const QString& tipo, const std::function<void()>& chamada,
                           const QString& origem)
{
    lotes << idioma + QLatin1Char('|') + tipo + (origem.isEmpty() ? QString() : QLatin1Char('|') + origem);
    const ScopedBatch escopo(*rede, proximoLote);
    QByteArray cabecalho;
    for (const auto& campo : rede->ExtraHeaders)
        if (campo.first == ScopedBatch::HeaderName())
            cabecalho = campo.second;
    cabecalhosNoLote << cabecalho;
    chamada();
    return proximoLote;
}

} // namespace trd::test
