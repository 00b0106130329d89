#include "GlossarioDoEditor.h"

#include "CamposTraducao.h"
#include "Dispatch.h"
#include "JanelaTermos.h"
#include "NovoTermoDialog.h"
#include "PainelTermos.h"
#include "ServicosDoEditor.h"
#include "TClientDataSet.h"
#include "Exceptions.h"
#include "ServerCalls.h"
#include "TSocketConnection.h"
#include "TermosDoServidor.h"
#include "WebSession.h"

#include <QAction>
#include <QLineEdit>
#include <QMenu>
#include <QSettings>
#include <QShortcut>

namespace trd {

// What a load brings back from its thread.
struct GlossarioDoEditor::Carga {
    std::shared_ptr<quality::WordForms> origem;
    std::shared_ptr<quality::WordForms> destino;
    std::optional<QList<quality::GlossaryTerm>> termos;
    QString erro;
};

GlossarioDoEditor::GlossarioDoEditor(ServicosDoEditor& editor)
    : QObject(editor.janela()), m_editor(editor), m_painel(new PainelTermos)
{
    setObjectName(QStringLiteral("glossario"));
    editor.adicionaPainel(m_painel, ServicosDoEditor::Lugar::AoLadoDoDetalhe);
    // In a submenu of its own: the maintenance menu's letters are nearly all taken.
    QMenu* submenu = editor.adicionaSubmenu("mnuGlossario", QStringLiteral("Glossário de Termos (&K)"));
    // A key of the window, as the memory's Ctrl+1 to Ctrl+5: a menu item's
    // key would take the cell's editor down before the text goes in.
    m_inserir = editor.adicionaItemEm(submenu, "mnuInserirTermo", QStringLiteral("&Inserir Tradução do Termo\tCtrl+G"));
    QShortcut* atalho = editor.adicionaAtalho("atlInserirTermo", QKeySequence(Qt::CTRL | Qt::Key_G));
    connect(atalho, &QShortcut::activated, this, [this] { Dispatch([this] { insereTraducao(); }); });
    m_adicionar = editor.adicionaItemEm(submenu, "mnuAdicionarTermo", QStringLiteral("&Adicionar Termo..."),
                                        QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_G));
    connect(m_inserir, &QAction::triggered, this, [this] { Dispatch([this] { insereTraducao(); }); });
    connect(m_adicionar, &QAction::triggered, this, [this] { Dispatch([this] { adicionaTermo(); }); });
    m_termos = editor.adicionaItemEm(submenu, "mnuTermosGlossario", QStringLiteral("&Termos do Glossário..."));
    connect(m_termos, &QAction::triggered, this, [this] { Dispatch([this] { abreTermos(); }); });
    m_estado = QStringLiteral("Glossário: escolha um idioma.");
    m_painel->mostra(QString(), {}, m_estado);
}

// A load still running is waited for by m_abrindo.
GlossarioDoEditor::~GlossarioDoEditor() = default;

historico::Servidor GlossarioDoEditor::servidor() const
{
    const TSocketConnection& c = m_editor.conexao();
    return {c.Host, c.Port, c.UseTls, c.TlsCaFile, WebSessionToken};
}

void GlossarioDoEditor::idiomaEscolhido(const QString& codigo)
{
    if (codigo.isEmpty() || codigo == m_idioma)
        return;
    m_idioma = codigo;
    m_check.reset();
    if (Pronto)
        Pronto(nullptr);
    m_estado = QStringLiteral("Glossário de %1 sendo aberto...").arg(codigo);
    linhaAtualMudou();
    const int carga = ++m_carga;
    QSettings ajustes;
    const quality::SpellSettings dicionarios = quality::SpellSettings::read(ajustes);
    auto c = std::make_shared<Carga>();
    c->origem = m_origem;
    const historico::Servidor onde = servidor();
    // A connection of each load's own: a language chosen while the previous
    // one still loads starts a second thread, and a connection is never used
    // by two threads at once.
    m_abrindo.inicia(
        [c, dicionarios, codigo, onde] {
            historico::ConexaoDeFundo conexao;
            try {
                c->termos = glossario::leTermos(conexao.para(onde, true, 15000), codigo);
            } catch (const Exception& e) {
                c->erro = e.Message();
                return;
            }
            if (!c->termos || c->termos->isEmpty())
                return;
            if (!c->origem)
                c->origem = quality::sourceWordForms(dicionarios);
            c->destino = quality::destinationWordForms(dicionarios, codigo);
        },
        [this, carga, c] { recebe(carga, c); });
}

void GlossarioDoEditor::recebe(int carga, const std::shared_ptr<Carga>& c)
{
    if (carga != m_carga)
        return; // another language was chosen meanwhile
    if (c->origem)
        m_origem = c->origem;
    m_destino = c->destino;
    if (!c->erro.isEmpty())
        m_estado = QStringLiteral("Glossário indisponível: %1").arg(c->erro);
    else if (!c->termos)
        m_estado = QStringLiteral("Este servidor não guarda glossário.");
    refaz(c->termos.value_or(QList<quality::GlossaryTerm>{}));
    emit glossarioPronto();
}

void GlossarioDoEditor::refaz(QList<quality::GlossaryTerm> termos)
{
    const qsizetype quantos = termos.size();
    if (quantos == 0) {
        m_check.reset();
        if (m_estado.startsWith(QStringLiteral("Glossário de")))
            m_estado = QStringLiteral("Glossário de %1: nenhum termo.").arg(m_idioma);
    } else {
        if (!m_origem || !m_destino) {
            const quality::SpellSettings dicionarios = quality::SpellSettings::defaults();
            if (!m_origem)
                m_origem = quality::sourceWordForms(dicionarios);
            if (!m_destino)
                m_destino = quality::destinationWordForms(dicionarios, m_idioma);
        }
        m_check = std::make_unique<quality::GlossaryCheck>(std::move(termos), *m_origem, *m_destino);
        m_estado = QStringLiteral("Glossário de %1: %2 termos.").arg(m_idioma).arg(quantos);
    }
    if (Pronto)
        Pronto(m_check.get());
    linhaAtualMudou();
}

QList<quality::GlossaryTerm> GlossarioDoEditor::termosDaLinha()
{
    QList<quality::GlossaryTerm> achados;
    const ChaveLinha chave = m_editor.chaveAtual();
    if (!m_check || chave.vazia())
        return achados;
    quality::TermMatcher& m = m_check->matcher();
    for (int t : m.termsIn(chave.origem, chave.programa))
        achados << m.terms()[t];
    return achados;
}

void GlossarioDoEditor::linhaAtualMudou()
{
    if (!m_painel)
        return;
    const QList<quality::GlossaryTerm> termos = termosDaLinha();
    QString estado = m_estado;
    if (m_check)
        estado = termos.isEmpty() ? QStringLiteral("Glossário: nenhum termo nesta linha.")
                                  : QStringLiteral("Glossário: %1 %2 nesta linha.")
                                        .arg(termos.size())
                                        .arg(termos.size() == 1 ? QStringLiteral("termo") : QStringLiteral("termos"));
    m_painel->mostra(m_editor.chaveAtual().origem, termos, estado);
}

void GlossarioDoEditor::insereTraducao()
{
    const quality::GlossaryTerm* termo = m_painel ? m_painel->escolhido() : nullptr;
    if (!termo)
        return;
    const QString texto = TraducaoInserida(*termo);
    if (texto.isEmpty())
        return;
    QLineEdit* celula = m_editor.celulaAberta();
    if (!celula) {
        // Opens the cell on the row's text, the cursor at its end.
        m_editor.digitaNaCelula(m_editor.linhas().FieldByName(NMDESTINO)->AsString());
        celula = m_editor.celulaAberta();
    }
    if (celula)
        celula->insert(texto); // at the cursor, over a selection; Ctrl+Z takes it back
}

void GlossarioDoEditor::adicionaTermo()
{
    const ChaveLinha chave = m_editor.chaveAtual();
    if (chave.vazia() || m_idioma.isEmpty())
        return;
    QString palavras = m_painel ? m_painel->edtOrigem->selectedText().trimmed() : QString();
    if (palavras.isEmpty())
        palavras = chave.origem.simplified().remove(u'&');
    const QLineEdit* celula = m_editor.celulaAberta();
    const QString traducao = celula ? celula->selectedText().trimmed() : QString();
    NovoTermoDialog dialogo(palavras.left(200), traducao, chave.programa, m_editor.janela());
    const bool aceito = dialogo.exec() == QDialog::Accepted;
    m_editor.devolveTeclado();
    if (!aceito)
        return;
    const quality::GlossaryTerm novo = dialogo.termo();
    CheckResultServ(m_editor.conexao().AppServer().Call(
                        glossario::AddTermo,
                        {m_idioma, novo.source, novo.preferred.join(u'\n'), novo.forbidden.join(u'\n'),
                         novo.doNotTranslate ? QStringLiteral("S") : QStringLiteral("N"), novo.note, novo.program}),
                    true, 0);
    QList<quality::GlossaryTerm> termos = m_check ? m_check->matcher().terms() : QList<quality::GlossaryTerm>{};
    termos << novo;
    refaz(std::move(termos));
}

void GlossarioDoEditor::abreTermos()
{
    if (m_idioma.isEmpty())
        return;
    JanelaTermos janela(m_editor.conexao(), m_idioma, m_editor.janela());
    janela.exec();
    m_editor.devolveTeclado();
    if (janela.mudou())
        refaz(janela.lista().termos());
}

} // namespace trd
