#include "PapeisDoEditor.h"

#include "ConsultaPapeis.h"
#include "Dispatch.h"
#include "JanelaUsuarios.h"
#include "RevisaoRegras.h"
#include "ServerCalls.h"
#include "ServicosDoEditor.h"
#include "TClientDataSet.h"
#include "TSocketConnection.h"
#include "WebSession.h"

#include <QAction>
#include <QLabel>
#include <QMenu>
#include <QWidget>

namespace trd {

namespace {

const QString SemUsuarios =
    QStringLiteral("Este servidor não tem usuários: quem o chama da própria máquina é administrador. "
                   "Crie usuários com trd-server user add.");

} // namespace

PapeisDoEditor::PapeisDoEditor(ServicosDoEditor& editor)
    : QObject(editor.janela()), m_editor(editor), m_papeis(papeis::PapeisDoUsuario::Todos())
{
    m_rotulo = new QLabel;
    m_rotulo->setObjectName(QStringLiteral("lblPapel"));
    m_rotulo->setTextFormat(Qt::PlainText);
    editor.adicionaPainel(m_rotulo, ServicosDoEditor::Lugar::Navegador);
    m_poeRotulo.setSingleShot(true);
    m_poeRotulo.setInterval(0);
    connect(&m_poeRotulo, &QTimer::timeout, this, [this] {
        if (m_rotulo->text() != m_textoDoRotulo)
            m_rotulo->setText(m_textoDoRotulo);
    });

    // Beside the review mark's items when they are there.
    const QKeySequence tecla(Qt::CTRL | Qt::SHIFT | Qt::Key_U);
    QMenu* submenu = editor.janela()->findChild<QMenu*>(QStringLiteral("mnuRevisaoEquipeMenu"));
    m_usuarios = submenu ? editor.adicionaItemEm(submenu, "mnuUsuarios", QStringLiteral("&Usuários e Papéis..."), tecla)
                         : editor.adicionaItem("mnuUsuarios", QStringLiteral("Usuários e &Papéis..."), tecla);
    m_usuarios->setEnabled(false);
    connect(m_usuarios, &QAction::triggered, this, [this] { Dispatch([this] { abreUsuarios(); }); });

    m_consulta = new ConsultaPapeis(this);
    m_consulta->Endereco = [this] {
        const TSocketConnection& c = m_editor.conexao();
        return EnderecoDosPapeis{c.Host, c.Port, c.UseTls, c.TlsCaFile, WebSessionToken};
    };
    m_consulta->Recebe = [this](const papeis::PapeisDoUsuario& p) { recebe(p); };
}

PapeisDoEditor::~PapeisDoEditor() = default;

bool PapeisDoEditor::perguntaAgora()
{
    try {
        const TServerResult resposta = m_editor.conexao().AppServer().Call(metodo::GetPapeis);
        if (!resposta.Ok)
            return false;
        TClientDataSet linhas;
        linhas.SetData(resposta.Packet);
        papeis::PapeisDoUsuario p;
        if (!p.Le(linhas))
            return false;
        recebe(p);
        return true;
    } catch (const Exception&) {
        return false; // the editor's own calls will say what is wrong with the server
    }
}

void PapeisDoEditor::idiomaEscolhido(const QString&)
{
    // Before the rows load, so a leitor never gets a cell to type in; then
    // followed, so a change of role shows without a new log-in.
    perguntaAgora();
    aplica();
    m_consulta->Segue(IntervaloMs);
}

void PapeisDoEditor::recebe(const papeis::PapeisDoUsuario& p)
{
    if (m_informado && p == m_papeis)
        return;
    m_papeis = p;
    m_informado = true;
    aplica();
}

void PapeisDoEditor::linhaAtualMudou()
{
    aplica();
}

void PapeisDoEditor::aplica()
{
    const QString idioma = m_editor.idioma();
    const papeis::MarcaDaLinha marca = revisao::MarcaAtual(m_editor.linhas());
    papeis::Restricoes r = papeis::RestricoesDoEditor(m_papeis, idioma, marca);
    // The row being typed in stays the user's until the edit ends: a right
    // lost, or a mark arriving, meanwhile takes the grid after it, the post
    // meeting the server's check (a refused text goes back into its cell, as
    // any refused save, and is typed on there).
    const TDataSetState estado = m_editor.linhas().State();
    if (estado == TDataSetState::dsEdit || estado == TDataSetState::dsInsert)
        r.celula.clear();
    m_editor.restringe(ServicosDoEditor::Controle::Celula, r.celula);
    m_editor.restringe(ServicosDoEditor::Controle::Situacoes, r.situacoes);
    m_editor.restringe(ServicosDoEditor::Controle::Substituir, r.substituir);
    const auto dizPorque = [](QAction* item, bool ligado, const QString& motivo) {
        item->setEnabled(ligado);
        if (item->toolTip() != motivo)
            item->setToolTip(motivo);
        if (item->statusTip() != motivo)
            item->setStatusTip(motivo);
    };
    if (!m_importar)
        m_importar = m_editor.janela()->findChild<QAction*>(QStringLiteral("mnuImportar"));
    if (m_importar) {
        // Before a language is chosen the import says so itself when chosen.
        const QString motivo = idioma.isEmpty() ? QString() : r.importar;
        dizPorque(m_importar, motivo.isEmpty(), motivo);
    }
    const QString semUsuarios = !m_papeis.comLogin() ? SemUsuarios : r.usuarios;
    dizPorque(m_usuarios, m_informado && semUsuarios.isEmpty(), m_informado ? semUsuarios : QString());

    QString texto;
    if (m_informado) {
        texto = papeis::TextoDoPapel(m_papeis, idioma);
        const QString daLinha = revisao::TextoDaMarca(marca);
        if (!daLinha.isEmpty())
            texto += QStringLiteral(" · ") + daLinha;
    }
    m_textoDoRotulo = texto;
    if (!m_poeRotulo.isActive())
        m_poeRotulo.start();
    if (const QString dica = r.situacoes.isEmpty() ? r.celula : r.situacoes; m_rotulo->toolTip() != dica)
        m_rotulo->setToolTip(dica);
    m_aplicadas = r;
    emit mudaram();
}

void PapeisDoEditor::abreUsuarios()
{
    if (!m_usuarios->isEnabled())
        return;
    AbreJanelaUsuarios(m_editor.janela(), m_editor.conexao());
    m_editor.devolveTeclado();
    // The administrator may have changed their own roles, or the settings.
    perguntaAgora();
}

} // namespace trd
