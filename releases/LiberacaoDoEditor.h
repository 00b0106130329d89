#pragma once
// What releases of the application add to the translation editor: the menu
// item "Liberação do Aplicativo..." (Ctrl+Shift+L), which opens the release
// window and, once a release is applied, offers to load the editor's rows
// again; and, under the detail panel, the previous source of a row that a
// release reworded or moved, beside its current one with the changed words
// marked. Where each loaded row came from is asked of the server in the
// background (GetOrigensAnteriores) whenever the rows of a language are
// loaded, so the grid never waits for it. It reaches the editor through
// ServicosDoEditor alone and follows the rows through a data source of its
// own, so the editor calls no hook of it.
#include "LiberacaoDados.h"

#include <QObject>
#include <QPointer>
#include <QThread>
#include <QTimer>

class QAction;

namespace trd {

class ServicosDoEditor;
class TDataSource;

namespace liberacao {

class PainelOrigemAnterior;

class LiberacaoDoEditor : public QObject {
    Q_OBJECT
public:
    explicit LiberacaoDoEditor(ServicosDoEditor& editor);
    ~LiberacaoDoEditor() override;

    QAction* mnuLiberacao;
    PainelOrigemAnterior* painel() const { return m_painel; }

    // Opens the release window (the menu item's handler).
    void abreJanela();
    // Where the loaded rows came from is asked again (after a release was applied).
    void buscaOrigens();
    // The origins known for the rows of the editor's language; the panel reads them.
    const QHash<QString, Origem>& origens() const { return m_origens; }

signals:
    // The origins of the language's rows arrived (tests wait for it).
    void origensChegaram();

private:
    class Trabalhador;
    void evento(int evento);
    void mostraAtual();
    void recebe(const QString& idioma, quint64 pedido, const QList<Origem>& origens, bool ok);
    void ofereceRecarga(const Previa& aplicada);

    ServicosDoEditor& m_editor;
    TDataSource* m_fonte;
    PainelOrigemAnterior* m_painel;
    QTimer m_espera; // rows loaded: their origins are asked once the loading settles
    QThread m_thread;
    Trabalhador* m_trabalhador = nullptr;
    quint64 m_pedido = 0; // the newest request; older answers are dropped
    QString m_idiomaDasOrigens;
    int m_linhasDasOrigens = -1;
    QHash<QString, Origem> m_origens;
};

} // namespace liberacao
} // namespace trd
