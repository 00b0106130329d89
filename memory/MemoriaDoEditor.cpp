#include "MemoriaDoEditor.h"

#include "AvisoPropagacao.h"
#include "CamposTraducao.h"
#include "ConsultaMemoria.h"
#include "Dispatch.h"
#include "EscolhaLinhas.h"
#include "HistoricoDados.h"
#include "HistoricoDoEditor.h"
#include "HistoricoRegras.h"
#include "PainelSugestoes.h"
#include "Papeis.h"
#include "RevisaoRegras.h"
#include "ServerCalls.h"
#include "ServicosDoEditor.h"
#include "ShowAvi.h"
#include "TApplication.h"
#include "TClientDataSet.h"
#include "TraducoesDivergentes.h"
#include "TSocketConnection.h"

#include <QAction>
#include <QLabel>
#include <QLineEdit>
#include <QSettings>
#include <QShortcut>
#include <QTreeWidget>

#include <algorithm>

namespace trd {

namespace {

const QString ChaveSempreAplicar = QStringLiteral("memoria/sempreAplicarNaoTraduzidas");

// A pause after a move before asking: arrows held down ask once, at the end.
constexpr int EsperaMs = 120;
// How long an answer may take before the panel says the server is slow.
constexpr int DemoraMs = 1000;
// A question the server did not answer (unreachable, its memory still being
// built at start) is asked again after this, while the row stays current.
constexpr int RepeteMs = 3000;

// A run's message, and the rows it left out because the user may not change them.
QString comRevisadas(const QString& texto, int revisadas, const QString& idioma)
{
    const QString deixadas = papeis::TextoDasRevisadasDeixadas(revisadas, idioma);
    return deixadas.isEmpty() ? texto : texto + QLatin1Char(' ') + deixadas;
}

} // namespace

MemoriaDoEditor::MemoriaDoEditor(ServicosDoEditor& editor)
    : QObject(editor.janela()), m_editor(editor), m_painel(new PainelSugestoes), m_aviso(new AvisoPropagacao),
      m_sugestoes(new ConsultaMemoria(this)), m_mesmaOrigem(new ConsultaMemoria(this))
{
    setObjectName(QStringLiteral("memoria"));
    // The detail panel and the suggestions side by side, the question above them.
    editor.adicionaPainel(m_painel, ServicosDoEditor::Lugar::AoLadoDoDetalhe);
    editor.adicionaPainel(m_aviso, ServicosDoEditor::Lugar::AcimaDoDetalhe);

    for (int i = 0; i < PainelSugestoes::Numeradas; ++i) {
        const QByteArray nome = "atalhoSugestao" + QByteArray::number(i + 1);
        QShortcut* atalho = editor.adicionaAtalho(nome.constData(), QKeySequence(Qt::CTRL | (Qt::Key_1 + i)));
        connect(atalho, &QShortcut::activated, this, [this, i] { Dispatch([&] { usaSugestao(i); }); });
        m_atalhos.push_back(atalho);
    }
    connect(m_painel, &PainelSugestoes::usar, this, [this](int i) { Dispatch([&] { usaSugestao(i); }); });

    m_espera.setSingleShot(true);
    m_espera.setInterval(EsperaMs);
    connect(&m_espera, &QTimer::timeout, this, &MemoriaDoEditor::pedeSugestoes);
    m_demora.setSingleShot(true);
    m_demora.setInterval(DemoraMs);
    connect(&m_demora, &QTimer::timeout, this, [this] {
        if (m_aguardando)
            m_painel->mostraAviso(QStringLiteral("O servidor está demorando a responder; as sugestões aparecem assim "
                                                 "que ele responder. O editor continua livre."));
    });
    m_repete.setSingleShot(true);
    m_repete.setInterval(RepeteMs);
    connect(&m_repete, &QTimer::timeout, this, &MemoriaDoEditor::pedeSugestoes);
    connect(m_sugestoes, &ConsultaMemoria::respondeu, this, &MemoriaDoEditor::sugestoesChegaram);
    connect(m_sugestoes, &ConsultaMemoria::falhou, this, &MemoriaDoEditor::sugestoesFalharam);
    connect(m_mesmaOrigem, &ConsultaMemoria::respondeu, this, &MemoriaDoEditor::linhasChegaram);
    connect(m_mesmaOrigem, &ConsultaMemoria::falhou, this, &MemoriaDoEditor::linhasFalharam);

    connect(m_aviso, &AvisoPropagacao::aplicarNaoTraduzidas, this,
            [this] { Dispatch([this] { aplicaNaoTraduzidas(); }); });
    connect(m_aviso, &AvisoPropagacao::escolher, this, [this] { Dispatch([this] { escolheLinhas(); }); });
    connect(m_aviso, &AvisoPropagacao::dispensar, this, [this] {
        m_desfazivel.reset();
        m_aviso->esconde();
        perguntaFechada();
    });
    connect(m_aviso, &AvisoPropagacao::desfazer, this, [this] { Dispatch([this] { desfaz(); }); });

    editor.adicionaSeparador("N4");
    mnuDivergentes = editor.adicionaItem("mnuDivergentes", QStringLiteral("&Traduções Divergentes..."));
    mnuSempreAplicar =
        editor.adicionaItem("mnuSempreAplicar", QStringLiteral("Aplicar &Sempre às Não Traduzidas de Mesma Origem"));
    mnuSempreAplicar->setCheckable(true);
    mnuSempreAplicar->setChecked(SempreAplicar());
    connect(mnuDivergentes, &QAction::triggered, this, [this] { Dispatch([this] { abreDivergentes(); }); });
    connect(mnuSempreAplicar, &QAction::toggled, this, [](bool sempre) { SetSempreAplicar(sempre); });
}

MemoriaDoEditor::~MemoriaDoEditor() = default;

TraducoesDivergentes* MemoriaDoEditor::divergentes() const
{
    return m_divergentes;
}

bool MemoriaDoEditor::SempreAplicar()
{
    return QSettings().value(ChaveSempreAplicar, false).toBool();
}

void MemoriaDoEditor::SetSempreAplicar(bool sempre)
{
    QSettings().setValue(ChaveSempreAplicar, sempre);
}

// ====================================================================== suggestions

std::optional<MemoriaDoEditor::Chave> MemoriaDoEditor::chaveAtual() const
{
    const Chave chave = m_editor.chaveAtual();
    if (chave.vazia())
        return std::nullopt;
    return chave;
}

void MemoriaDoEditor::direitosMudaram()
{
    habilitaSugestoes();
    // Sources translated another way are made one from the window: a writer's.
    const QString idioma = m_editor.idioma();
    const QString motivo =
        idioma.isEmpty() || m_editor.papeis().podeEscrever(idioma) ? QString() : papeis::MotivoSemEscrita(idioma);
    mnuDivergentes->setEnabled(motivo.isEmpty());
    const QString dica = motivo.isEmpty() ? mnuDivergentes->text().remove(QLatin1Char('&')) : motivo;
    if (mnuDivergentes->toolTip() != dica)
        mnuDivergentes->setToolTip(dica);
    if (mnuDivergentes->statusTip() != motivo)
        mnuDivergentes->setStatusTip(motivo);
    if (!motivo.isEmpty() && m_divergentes)
        m_divergentes->close();
}

void MemoriaDoEditor::habilitaSugestoes()
{
    TClientDataSet& linhas = m_editor.linhas();
    const QString idioma = m_editor.idioma();
    // The suggestions are read by anyone; putting one into the cell is a change of the row.
    const QString motivo = idioma.isEmpty() || !linhas.Active() || linhas.IsEmpty()
        ? QString()
        : papeis::MotivoSemAlterarLinha(m_editor.papeis(), idioma, revisao::MarcaAtual(linhas));
    // While a text is typed the cell is the user's (a mark arriving then waits for the post).
    const TDataSetState estado = linhas.State();
    const bool editando = estado == TDataSetState::dsEdit || estado == TDataSetState::dsInsert;
    const QString efetivo = editando ? QString() : motivo;
    m_painel->lstSugestoes->setEnabled(efetivo.isEmpty());
    if (m_painel->toolTip() != efetivo)
        m_painel->setToolTip(efetivo);
    if (m_painel->lstSugestoes->toolTip() != efetivo)
        m_painel->lstSugestoes->setToolTip(efetivo);
    for (QShortcut* atalho : m_atalhos)
        atalho->setEnabled(efetivo.isEmpty());
}

void MemoriaDoEditor::linhaAtualMudou()
{
    habilitaSugestoes();
    const std::optional<Chave> chave = chaveAtual();
    if (chave == m_perguntada)
        return; // the same row: typing in it changes nothing the memory is asked
    m_perguntada = chave;
    m_aguardando = false;
    m_demora.stop();
    m_repete.stop();
    if (!chave) {
        m_espera.stop();
        m_painel->mostraEstado(QStringLiteral("Sugestões da memória de tradução"));
        return;
    }
    m_painel->mostraEstado(QStringLiteral("Procurando sugestões..."));
    m_espera.start();
}

void MemoriaDoEditor::pedeSugestoes()
{
    if (!m_perguntada)
        return;
    const Chave& c = *m_perguntada;
    m_pedidoSugestoes = m_sugestoes->pergunta(metodo::GetSugestoes, {c.idioma, c.origem, c.programa, c.componente});
    m_aguardando = true;
    m_demora.start();
}

void MemoriaDoEditor::sugestoesChegaram(int numero, const QByteArray& pacote)
{
    if (numero != m_pedidoSugestoes || !m_aguardando)
        return; // for a row the user has left
    m_aguardando = false;
    m_demora.stop();
    try {
        m_painel->mostra(memoria::LeSugestoes(pacote));
    } catch (const Exception& e) {
        m_painel->mostraEstado(QStringLiteral("Resposta inválida do servidor: ") + e.Message());
    }
}

void MemoriaDoEditor::sugestoesFalharam(int numero, const QString& mensagem)
{
    if (numero != m_pedidoSugestoes || !m_aguardando)
        return;
    m_aguardando = false;
    m_demora.stop();
    m_painel->mostraEstado(QStringLiteral("Sem sugestões: ") + mensagem
                           + QStringLiteral(" (nova tentativa em instantes)"));
    m_repete.start();
}

void MemoriaDoEditor::usaSugestao(int i)
{
    TClientDataSet& linhas = m_editor.linhas();
    if (i < 0 || i >= m_painel->quantas() || !linhas.Active() || linhas.IsEmpty())
        return;
    // Suggestions are for the row they were asked about; while another row's
    // are on their way the panel holds none.
    m_editor.digitaNaCelula(
        memoria::TextoParaCelula(linhas.FieldByName(NMORIGEM)->AsString(), m_painel->sugestao(i).traducao));
}

// ====================================================================== propagation

void MemoriaDoEditor::antesDeGravar()
{
    const QVariant antes = m_editor.linhas().FieldByName(NMDESTINO)->OldValue();
    m_destinoAntes = antes.isValid() ? antes.toString() : QString();
}

void MemoriaDoEditor::linhaGravada()
{
    TClientDataSet& linhas = m_editor.linhas();
    const QString depois = linhas.FieldByName(NMDESTINO)->AsString();
    const QString situacao = linhas.FieldByName(NMSITUACAO)->AsString();
    // A replace-all run posts row after row: no question for each of them.
    if (m_editor.substituindo() || !memoria::PedePropagacao(m_destinoAntes, depois, situacao))
        return;
    const std::optional<Chave> chave = chaveAtual();
    if (!chave)
        return;
    // A row posted again before its question came: only its newest text is asked about.
    std::erase_if(m_fila, [&](const Gravacao& g) { return g.chave == *chave; });
    m_fila.push_back({*chave, depois, situacao});
    proximaPergunta();
}

void MemoriaDoEditor::proximaPergunta()
{
    if (m_perguntando || m_aberta || m_adiada || m_fila.empty())
        return;
    m_perguntando = m_fila.front();
    m_fila.pop_front();
    const Chave& c = m_perguntando->chave;
    m_pedidoLinhas = m_mesmaOrigem->pergunta(metodo::GetMesmaOrigem, {c.idioma, c.origem, c.programa, c.componente});
}

void MemoriaDoEditor::perguntaFechada()
{
    m_aberta.reset();
    proximaPergunta();
}

void MemoriaDoEditor::linhasFalharam(int numero, const QString& mensagem)
{
    if (numero != m_pedidoLinhas || !m_perguntando)
        return;
    // Never silent: the user learns that the rows of this source were not
    // looked at, and may look for them with the filter.
    const Gravacao g = *m_perguntando;
    m_perguntando.reset();
    m_aviso->informa(QStringLiteral("Não foi possível saber se outras linhas têm a mesma origem de \u00AB")
                     + memoria::Citado(g.chave.origem) + QStringLiteral("\u00BB: ") + mensagem);
    proximaPergunta();
}

void MemoriaDoEditor::linhasChegaram(int numero, const QByteArray& pacote)
{
    if (numero != m_pedidoLinhas || !m_perguntando)
        return;
    const Gravacao g = *m_perguntando;
    m_perguntando.reset();
    const TDataSetState estado = m_editor.linhas().State();
    if (memoria::AdiaResposta(SempreAplicar(), estado == TDataSetState::dsEdit || estado == TDataSetState::dsInsert)) {
        m_adiada = {g, pacote};
        return;
    }
    respondeMesmaOrigem(g, pacote);
}

void MemoriaDoEditor::estadoMudou()
{
    habilitaSugestoes();
    if (!m_adiada)
        return;
    const TDataSetState estado = m_editor.linhas().State();
    if (estado == TDataSetState::dsEdit || estado == TDataSetState::dsInsert)
        return;
    // Answered after the event that ended the edit, not inside its handlers.
    QMetaObject::invokeMethod(
        this,
        [this] {
            const TDataSetState agora = m_editor.linhas().State();
            if (!m_adiada || agora == TDataSetState::dsEdit || agora == TDataSetState::dsInsert)
                return;
            const auto [g, pacote] = *std::exchange(m_adiada, std::nullopt);
            respondeMesmaOrigem(g, pacote);
        },
        Qt::QueuedConnection);
}

void MemoriaDoEditor::respondeMesmaOrigem(const Gravacao& g, const QByteArray& pacoteDoServidor)
{
    bool aberta = false;
    Dispatch([&] {
        // Rows the user may not change are never offered: counted, and said at the end.
        QByteArray pacote = pacoteDoServidor;
        const int revisadas = deixaDeFora(g.chave.idioma, pacote);
        const auto comDeixadas = [&](const QString& texto) { return comRevisadas(texto, revisadas, g.chave.idioma); };
        Propagacao p{g.chave, g.traducao, g.situacao, pacote, memoria::LeMesmaOrigem(pacote), {}, revisadas};
        p.contagem = memoria::Conta(p.linhas, p.traducao);
        const memoria::Resposta resposta = memoria::RespostaAMesmaOrigem(SempreAplicar(), p.contagem);
        if (resposta == memoria::Resposta::Nada) {
            if (revisadas > 0)
                m_aviso->informa(papeis::TextoDasRevisadasDeixadas(revisadas, g.chave.idioma));
            return;
        }
        QString texto;
        if (resposta == memoria::Resposta::Pergunta) {
            texto = comDeixadas(memoria::TextoDoAviso(p.contagem) + QStringLiteral(" Origem: \u00AB")
                                + memoria::Citado(p.chave.origem) + QStringLiteral("\u00BB, tradução nova: \u00AB")
                                + memoria::Citado(p.traducao) + QStringLiteral("\u00BB."));
        } else {
            const Gravadas feitas =
                aplica(p.chave.idioma, p.pacote, memoria::NaoTraduzidas(p.linhas, p.traducao), p.traducao, p.situacao);
            const QString feito = comDeixadas(memoria::TextoAplicadaSozinha(feitas.linhas));
            if (resposta == memoria::Resposta::Aplica) {
                informaGravadas(feito, feitas);
                return;
            }
            // The rows that differ are still the user's to decide, from
            // their state after this save (its undo is in the batches window).
            p.pacote = feitas.depois;
            p.linhas = memoria::LeMesmaOrigem(feitas.depois);
            p.contagem = memoria::Conta(p.linhas, p.traducao);
            texto = feito + QLatin1Char(' ') + memoria::TextoDoAviso(p.contagem);
        }
        m_aberta = p;
        aberta = true;
        m_desfazivel.reset();
        m_aviso->pergunta(texto, p.contagem.naoTraduzidas);
    });
    if (!aberta)
        proximaPergunta();
}

void MemoriaDoEditor::aplicaNaoTraduzidas()
{
    if (!m_aberta)
        return;
    const Propagacao p = *m_aberta;
    // A save the server refuses leaves the question open, to be answered again or dismissed.
    const Gravadas g =
        aplica(p.chave.idioma, p.pacote, memoria::NaoTraduzidas(p.linhas, p.traducao), p.traducao, p.situacao);
    informaGravadas(comRevisadas(g.linhas == 1 ? QStringLiteral("A tradução foi gravada em 1 linha não traduzida.")
                                               : QStringLiteral("A tradução foi gravada em %1 linhas não traduzidas, "
                                                                "de uma vez.")
                                                     .arg(g.linhas),
                                 p.revisadas, p.chave.idioma),
                    g);
    perguntaFechada();
}

void MemoriaDoEditor::escolheLinhas()
{
    if (!m_aberta)
        return;
    const Propagacao p = *m_aberta;
    EscolhaLinhas escolha(p.chave.origem, p.traducao, p.linhas, m_editor.janela());
    const bool gravar = escolha.exec() == QDialog::Accepted;
    m_editor.devolveTeclado();
    if (!gravar)
        return;
    const Gravadas g = aplica(p.chave.idioma, p.pacote, escolha.escolhidas(), p.traducao, p.situacao);
    informaGravadas(comRevisadas(g.linhas == 1
                                     ? QStringLiteral("A tradução foi gravada em 1 linha.")
                                     : QStringLiteral("A tradução foi gravada em %1 linhas, de uma vez.").arg(g.linhas),
                                 p.revisadas, p.chave.idioma),
                    g);
    perguntaFechada();
}

MemoriaDoEditor::Gravadas MemoriaDoEditor::aplica(const QString& idioma, const QByteArray& pacote,
                                                  const std::vector<int>& indices, const QString& traducao,
                                                  const QString& situacao)
{
    TClientDataSet* carregadas = &m_editor.linhas();
    // A text being typed in another row is posted first, as moving off it
    // would: the rows shown must agree with what is saved here.
    if (carregadas->Active())
        carregadas->CheckBrowseMode();
    TClientDataSet linhas;
    linhas.SetData(pacote);
    Gravadas g;
    g.idioma = idioma;
    const QByteArray delta = memoria::DeltaDeAplicacao(linhas, indices, traducao, situacao);
    if (delta.isEmpty()) {
        g.depois = pacote;
        return g;
    }
    g.linhas = linhas.ChangeCount();
    {
        const ShowAviScope ocupado(aviProcessando);
        // The rows go as one batch of the history of their own kind, so the
        // batches window names it and undoes it whole. A server that keeps
        // no history opens none: the save is still one batch of its own.
        g.lote = m_editor.emLote(idioma, QStringLiteral("propagacao"), [&] {
            CheckResultServ(m_editor.conexao().AppServer().Call(metodo::SetDestino, {delta}), true, 0);
        });
    }
    atualizaCarregadas(linhas);
    g.depois = linhas.Data();
    return g;
}

void MemoriaDoEditor::informaGravadas(const QString& texto, const Gravadas& g)
{
    if (g.lote != 0 && g.linhas > 0)
        m_desfazivel = g;
    else
        m_desfazivel.reset();
    m_aviso->informa(texto, m_desfazivel.has_value());
}

void MemoriaDoEditor::desfaz()
{
    if (!m_desfazivel)
        return;
    const Gravadas g = *m_desfazivel;
    // Offered once: refused or done, the offer goes (the batches window can still undo it).
    m_desfazivel.reset();
    m_aviso->informa(m_aviso->lblAviso->text(), false);
    TClientDataSet* carregadas = &m_editor.linhas();
    if (carregadas->Active())
        carregadas->CheckBrowseMode();
    historico::Desfazimento feito;
    {
        const ShowAviScope ocupado(aviProcessando);
        feito = historico::DesfazLote(m_editor.conexao(), g.idioma, g.lote, false);
    }
    if (feito.lote != 0 && carregadas->Active() && g.idioma == m_editor.idioma())
        historico::RecarregaLinhas(m_editor);
    m_aviso->informa(QStringLiteral("Desfeito: ") + historico::ResumoDesfazimento(feito));
    if (m_divergentes)
        m_divergentes->atualiza();
}

int MemoriaDoEditor::deixaDeFora(const QString& idioma, QByteArray& pacote) const
{
    const papeis::PapeisDoUsuario& direitos = m_editor.papeis();
    return memoria::DeixaDeFora(pacote, [&](const QString& revisor) {
        return !papeis::MotivoSemAlterarLinha(direitos, idioma, papeis::MarcaDaLinha{revisor, {}}).isEmpty();
    });
}

void MemoriaDoEditor::atualizaCarregadas(TClientDataSet& gravadas)
{
    // The rows saved that the editor holds show their new values; nothing is
    // logged or saved again, and the user's row stays the current one.
    TClientDataSet* carregadas = &m_editor.linhas();
    std::vector<int> mudadas;
    for (gravadas.First(); !gravadas.Eof(); gravadas.Next())
        if (gravadas.FieldByName(NMDESTINO)->OldValue().toString() != gravadas.FieldByName(NMDESTINO)->AsString()
            || gravadas.FieldByName(NMSITUACAO)->OldValue().toString() != gravadas.FieldByName(NMSITUACAO)->AsString())
            mudadas.push_back(gravadas.RecNo());
    gravadas.MergeChangeLog();
    if (!carregadas->Active() || carregadas->IsEmpty() || carregadas->State() != TDataSetState::dsBrowse
        || carregadas->ChangeCount() > 0)
        return;
    const int atual = carregadas->RecNo();
    carregadas->DisableControls();
    for (const int n : mudadas) {
        gravadas.SetRecNo(n);
        if (carregadas->Locate(
                QStringLiteral("IDIDIOMA;CDPROGTRAD;NMCOMPONENTE;STAGRVALPROP"),
                {gravadas.FieldByName(NMIDIOMA)->AsString(), gravadas.FieldByName(NMPROGRAMA)->AsString(),
                 gravadas.FieldByName(NMCOMPONENTE)->AsString(), gravadas.FieldByName(NMORIGEM)->AsString()}))
            carregadas->RefreshRecord(gravadas);
    }
    carregadas->SetRecNo(atual);
    carregadas->EnableControls();
}

// ====================================================================== sources translated in more than one way

void MemoriaDoEditor::abreDivergentes()
{
    if (!m_divergentes) {
        m_divergentes = new TraducoesDivergentes(m_editor.janela());
        connect(m_divergentes, &TraducoesDivergentes::usarVariante, this,
                [this](const QString& idioma, const QString& origem, const memoria::Variante& v) {
                    Dispatch([&] { uniformiza(idioma, origem, v); });
                });
    }
    m_divergentes->mostraIdioma(m_editor.idioma());
    m_divergentes->show();
    m_divergentes->raise();
    // The window opens with the keyboard, on its list: the keys pressed
    // next are for it, not for the editor's rows behind it.
    m_divergentes->activateWindow();
    m_divergentes->lstOrigens->setFocus(Qt::ActiveWindowFocusReason);
}

void MemoriaDoEditor::uniformiza(const QString& idioma, const QString& origem, const memoria::Variante& variante)
{
    // The source's rows as the server has them now; the chosen translation
    // goes to those translated another way, in one save.
    QByteArray pacote;
    {
        const ShowAviScope ocupado(aviProcessando);
        pacote = CheckResultServ(
            m_editor.conexao().AppServer().Call(metodo::GetMesmaOrigem, {idioma, origem, QString(), QString()}), true,
            0);
    }
    const int revisadas = deixaDeFora(idioma, pacote);
    const std::vector<memoria::LinhaMesmaOrigem> linhas = memoria::LeMesmaOrigem(pacote);
    const Gravadas g = aplica(idioma, pacote, memoria::LinhasParaUniformizar(linhas, variante.traducao),
                              variante.traducao, memoria::SituacaoDaVariante(variante));
    const QString feito =
        comRevisadas(QStringLiteral("\u00AB%1\u00BB foi gravada em %2 de \u00AB%3\u00BB.")
                         .arg(memoria::Citado(variante.traducao),
                              g.linhas == 1 ? QStringLiteral("1 linha") : QStringLiteral("%1 linhas").arg(g.linhas),
                              memoria::Citado(origem)),
                     revisadas, idioma);
    if (m_divergentes)
        m_divergentes->atualiza(feito);
    // The editor's bar offers to undo it, unless it is asking about a post.
    if (!m_aberta)
        informaGravadas(feito, g);
}

} // namespace trd
