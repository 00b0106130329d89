#pragma once
// A stand-in for the translation editor, as its companions see it
// (ServicosDoEditor): a window with a detail panel, a navigator bar, an area
// where a cell's editor opens and a menu; the rows in a real TClientDataSet
// whose posts "save" by merging the change log; a connection that is never
// opened. It records what the companion asked of it, so a test drives the
// companion alone and reads what it did.
#include "ServicosComMenu.h"
#include "TClientDataSet.h"
#include "TSocketConnection.h"

#include <QFrame>
#include <QLineEdit>
#include <QMenu>
#include <QPointer>
#include <QStringList>
#include <QWidget>

#include <memory>
#include <vector>

namespace trd::test {

class EditorFalso : public ServicosComMenu {
public:
    struct Linha {
        QString programa, componente, origem, destino, situacao;
    };

    EditorFalso();
    ~EditorFalso() override;

    // Loads these rows of language `codigo` (posted and merged, the first current).
    void carrega(const QList<Linha>& dados, const QString& codigo = QStringLiteral("ENG"));
    // Opens the cell's editor in the cell area with the current row's text, as the grid does.
    QLineEdit* abreCelula();
    void fechaCelula();

    // ---- what the test sets
    QString codigoIdioma;
    QString textoIdioma;
    bool naLista = false;
    bool emSubstituicao = false;
    qint64 proximoLote = 0; // the number emLote's batch gets; 0: a server with no history

    // ---- what the companion did
    QStringList digitados; // digitaNaCelula's texts
    QStringList textosDeColega; // mostraTextoDoColega: "título|texto"
    std::vector<int> alteradas; // alteradasPorOutro's rows
    bool removidas = false, atualAlterada = false;
    int recargas = 0, tecladoDevolvido = 0, repinturas = 0;
    QStringList lotes; // emLote: "idioma|tipo"
    QList<QByteArray> cabecalhosNoLote; // X-Trd-Lote while each emLote call ran
    papeis::PapeisDoUsuario direitos = papeis::PapeisDoUsuario::Todos(); // what papeis() answers
    QString restricoes[3]; // restringe's reasons, by Controle

    // ---- its parts
    std::unique_ptr<QWidget> tela;
    QFrame* detalhe;
    QFrame* navegador;
    QWidget* celulas;
    QMenu* menu;
    TClientDataSet* cds;
    TSocketConnection* rede;

    // ServicosDoEditor (the menu's items and keys as the editor makes them, in `menu`)
    QWidget* janela() override { return tela.get(); }
    TClientDataSet& linhas() override { return *cds; }
    TSocketConnection& conexao() override { return *rede; }
    QString idioma() const override { return codigoIdioma; }
    QString textoDoIdioma() const override { return textoIdioma; }
    bool idiomaDaLista() const override { return naLista; }
    bool substituindo() const override { return emSubstituicao; }
    ChaveLinha chaveAtual() const override;
    void digitaNaCelula(const QString& texto) override;
    QLineEdit* celulaAberta() const override { return m_celula; }
    QWidget* areaDasCelulas() const override { return celulas; }
    void repintaLinhas() override { ++repinturas; }
    void devolveTeclado() override { ++tecladoDevolvido; }
    void recarrega() override { ++recargas; }
    void mostraTextoDoColega(const QString& titulo, const QString& texto) override;
    void alteradasPorOutro(const std::vector<int>& linhas, bool removidas, bool atual) override;
    void adicionaPainel(QWidget* painel, Lugar lugar) override;
    qint64 emLote(const QString& idioma, const QString& tipo, const std::function<void()>& chamada,
                  const QString& origem = QString()) override;
    const papeis::PapeisDoUsuario& papeis() const override { return direitos; }
    void restringe(Controle controle, const QString& motivo) override
    {
        restricoes[static_cast<int>(controle)] = motivo;
    }
    void pintaLinhasCom(std::function<void(TCanvas&)> pintura) override { pinturas.push_back(std::move(pintura)); }
    void dicaDasLinhas(std::function<QString(int)> dica) override { dicas.push_back(std::move(dica)); }
    std::vector<std::function<void(TCanvas&)>> pinturas;
    std::vector<std::function<QString(int)>> dicas;

    // Where a panel went: its place in the window's column, or in the row beside the detail.
    int posicao(QWidget* painel) const;
    QWidget* ladoDoDetalhe() const { return m_lado; }

protected:
    void poeNoMenu(QAction* item) override;

private:
    QPointer<QLineEdit> m_celula;
    QWidget* m_lado = nullptr;
};

} // namespace trd::test
