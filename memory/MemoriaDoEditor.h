#pragma once
// The translation memory in the translation editor (docs/memory.md):
// - the suggestions panel beside the detail panel, following the current row
//   (asked in the background, an answer for another row dropped, a slow or
//   absent server said in the panel while the editor works on); Ctrl+1 to
//   Ctrl+5 or a double-click put a suggestion into the cell's editor, and
//   nothing is saved until the row is posted;
// - after a row is posted with a new translation, the question about the
//   other rows of its source (AvisoPropagacao), never taking the keyboard;
//   what the user chooses is saved in one SetDestino, one batch of the
//   history of kind "propagacao", which the note after it offers to undo;
// - the setting "always apply to untranslated rows with the same source";
// - the window of sources translated in more than one way.
//
// The editor calls it at a few points of its own handlers; it reaches the
// editor through ServicosDoEditor alone.
#include "LinhaDoServidor.h"
#include "MemoriaRegras.h"

#include <QObject>
#include <QPointer>
#include <QTimer>

#include <deque>
#include <optional>
#include <vector>

class QAction;
class QShortcut;

namespace trd {

class AvisoPropagacao;
class ConsultaMemoria;
class PainelSugestoes;
class ServicosDoEditor;
class TraducoesDivergentes;

class MemoriaDoEditor : public QObject {
    Q_OBJECT
public:
    explicit MemoriaDoEditor(ServicosDoEditor& editor);
    ~MemoriaDoEditor() override;

    PainelSugestoes* painel() const { return m_painel; }
    AvisoPropagacao* aviso() const { return m_aviso; }
    TraducoesDivergentes* divergentes() const;

    // The current row, or its values, changed (the editor's data change).
    void linhaAtualMudou();
    // Before a post, once its status is settled: what the row held.
    void antesDeGravar();
    // After a post the server took.
    void linhaGravada();
    // The row set's state changed (an edit began, was posted or cancelled).
    void estadoMudou();
    // What the user may do changed (roles, the current row's mark).
    void direitosMudaram();

    // Puts suggestion i (0 for Ctrl+1) into the cell's editor.
    void usaSugestao(int i);
    void abreDivergentes();

    // The setting "always apply to untranslated rows with the same source"
    // (QSettings "memoria/sempreAplicarNaoTraduzidas", off by default).
    static bool SempreAplicar();
    static void SetSempreAplicar(bool sempre);

    QAction *mnuDivergentes, *mnuSempreAplicar;

private:
    using Chave = ChaveLinha;
    // A post that asks about its source's other rows.
    struct Gravacao {
        Chave chave;
        QString traducao, situacao;
    };
    // A posted row's source and new translation, and its other rows.
    struct Propagacao {
        Chave chave;
        QString traducao, situacao;
        QByteArray pacote; // GetMesmaOrigem's answer
        std::vector<memoria::LinhaMesmaOrigem> linhas;
        memoria::Contagem contagem;
        int revisadas = 0; // rows left out: reviewed, and the user may not change them
    };

    std::optional<Chave> chaveAtual() const;
    void pedeSugestoes();
    void sugestoesChegaram(int numero, const QByteArray& pacote);
    void sugestoesFalharam(int numero, const QString& mensagem);
    void linhasChegaram(int numero, const QByteArray& pacote);
    void respondeMesmaOrigem(const Gravacao& g, const QByteArray& pacote);
    void linhasFalharam(int numero, const QString& mensagem);
    // Asks about the next post waiting, when no question is open or asked.
    void proximaPergunta();
    void perguntaFechada();
    void aplicaNaoTraduzidas();
    void escolheLinhas();
    void uniformiza(const QString& idioma, const QString& origem, const memoria::Variante& variante);
    // What one application saved: how many rows, its batch of the history
    // (0 when the server keeps none), and the rows as saved.
    struct Gravadas {
        int linhas = 0;
        QString idioma;
        qint64 lote = 0;
        QByteArray depois;
    };
    // Saves `traducao` in the chosen rows of a GetMesmaOrigem answer, in one
    // SetDestino that is one batch of kind "propagacao".
    Gravadas aplica(const QString& idioma, const QByteArray& pacote, const std::vector<int>& indices,
                    const QString& traducao, const QString& situacao);
    // The note after rows were saved, offering to undo them.
    void informaGravadas(const QString& texto, const Gravadas& g);
    // Undoes the batch the note offers (Desfazer).
    void desfaz();
    void atualizaCarregadas(TClientDataSet& gravadas);
    // Leaves out of a GetMesmaOrigem answer the rows the user may not change; how many.
    int deixaDeFora(const QString& idioma, QByteArray& pacote) const;
    // What the user may do with the suggestions: they go off, saying why,
    // where the current row may not be changed (a leitor, a reviewed row).
    void habilitaSugestoes();

    ServicosDoEditor& m_editor;
    PainelSugestoes* m_painel;
    std::vector<QShortcut*> m_atalhos; // Ctrl+1 to Ctrl+5
    AvisoPropagacao* m_aviso;
    QPointer<TraducoesDivergentes> m_divergentes;
    ConsultaMemoria* m_sugestoes; // each kind of question has its own thread and connection
    ConsultaMemoria* m_mesmaOrigem;
    QTimer m_espera; // a short pause after a move: only the row the user stops on is asked about
    QTimer m_demora; // the server is slow: say so
    QTimer m_repete; // a question that failed is asked again while its row stays current
    std::optional<Chave> m_perguntada;
    int m_pedidoSugestoes = 0;
    bool m_aguardando = false;
    QString m_destinoAntes; // of the row being posted
    int m_pedidoLinhas = 0;
    // Posts whose question waits for the one open to be answered: each is
    // asked in turn, so that none goes unasked and each is counted on the
    // rows as they are when it is shown.
    std::deque<Gravacao> m_fila;
    std::optional<Gravacao> m_perguntando; // asked of the server
    // An answer that would save by itself ("always apply") while the user
    // types in a row: it waits until the row is posted or left, so that the
    // typing is never posted by anyone but the user.
    std::optional<std::pair<Gravacao, QByteArray>> m_adiada;
    std::optional<Propagacao> m_aberta; // the one the prompt asks about
    std::optional<Gravadas> m_desfazivel; // what the note offers to undo
};

} // namespace trd
