#include "AlteracoesAoVivo.h"

#include "CamposTraducao.h"
#include "LinhaDoServidor.h"
#include "ServicosDoEditor.h"
#include "ShowAvi.h"
#include "TApplication.h"
#include "TClientDataSet.h"
#include "TDateTime.h"
#include "TraducaoRegras.h"
#include "TSocketConnection.h"
#include "WebSession.h"

#include <QApplication>
#include <QDateTime>
#include <QLabel>

namespace trd {

namespace {

qint64 agoraMs()
{
    return QDateTime::currentMSecsSinceEpoch();
}

// A reading of the rows that could not be done now is tried again after this.
constexpr int kNovaTentativaMs = 2000;

} // namespace

AlteracoesAoVivo::AlteracoesAoVivo(ServicosDoEditor& editor)
    : QObject(editor.janela()), m_editor(editor), m_alteracoes(&editor.linhas())
{
    m_indicador = new QLabel;
    m_indicador->setObjectName(QStringLiteral("lblAoVivo"));
    m_indicador->setTextFormat(Qt::PlainText);
    m_indicador->setAccessibleName(QStringLiteral("Alterações ao vivo"));
    m_indicador->hide();
    editor.adicionaPainel(m_indicador, ServicosDoEditor::Lugar::Navegador);

    m_fimDaMarca.setSingleShot(true);
    connect(&m_fimDaMarca, &QTimer::timeout, this, [this] {
        m_editor.repintaLinhas();
        if (m_alteracoes.algumRecente(agoraMs(), JanelaMarcaMs))
            m_fimDaMarca.start(500);
    });
    connect(&m_feed, &ChangeFeedClient::Changes, this, [this](const FeedBatch& lote) { recebe(lote); });
    connect(&m_feed, &ChangeFeedClient::StateChanged, this, [this] { mostraEstado(); });
    // A session that ended is renewed by the editor's next call; the
    // follower takes the token the login leaves.
    connect(&m_feed, &ChangeFeedClient::SessionRefused, this, [this] { m_feed.SetSessionToken(WebSessionToken); });
}

AlteracoesAoVivo::~AlteracoesAoVivo()
{
    m_feed.Stop();
}

void AlteracoesAoVivo::segue(const QString& idioma)
{
    m_alteracoes.esquece();
    m_recarregar = false;
    if (idioma.trimmed().isEmpty()) {
        m_feed.Stop();
        return;
    }
    TSocketConnection& conexao = m_editor.conexao();
    ChangeFeedClient::Endpoint onde;
    onde.host = conexao.Host;
    onde.port = conexao.Port;
    onde.objectPath = QLatin1Char('/') + conexao.ServerName;
    onde.tls = conexao.UseTls;
    onde.tlsCaFile = conexao.TlsCaFile;
    // Choosing a language never waits on the network: the follower asks for
    // its first number by itself, and rows read before that number came are
    // offered again for reading once it has.
    m_feed.Follow(onde, idioma, WebSessionToken, 0);
    mostraEstado();
}

void AlteracoesAoVivo::para()
{
    m_feed.Stop();
    m_alteracoes.esquece();
    mostraEstado();
}

void AlteracoesAoVivo::linhasLidas()
{
    m_feed.RowsRead();
    linhasMudaram();
}

void AlteracoesAoVivo::linhasMudaram()
{
    // Rows loaded now are at least as new as anything told before.
    m_alteracoes.esquece();
    m_recarregar = false;
}

bool AlteracoesAoVivo::podeMexer() const
{
    const TClientDataSet* linhas = &m_editor.linhas();
    return linhas->Active() && linhas->State() == TDataSetState::dsBrowse && linhas->ChangeCount() == 0
        && !linhas->ControlsDisabled() && !QApplication::activeModalWidget();
}

void AlteracoesAoVivo::recebe(const FeedBatch& lote)
{
    if (lote.reload) {
        m_recarregar = true;
        estadoMudou();
        return;
    }
    if (!m_editor.linhas().Active())
        return;
    mostra(m_alteracoes.recebe(m_editor.idioma(), lote.changes, agoraMs()));
}

void AlteracoesAoVivo::estadoMudou()
{
    if (m_tentativaMarcada)
        return;
    m_tentativaMarcada = true;
    // After the handler that changed the state has finished: a post's save
    // and its merge come after the state is back to browsing.
    QMetaObject::invokeMethod(
        this,
        [this] {
            m_tentativaMarcada = false;
            if (!m_editor.linhas().Active())
                return;
            if (m_recarregar) {
                if (podeMexer())
                    recarrega();
                else
                    QTimer::singleShot(kNovaTentativaMs, this, [this] { estadoMudou(); });
                return;
            }
            if (m_alteracoes.esperando())
                mostra(m_alteracoes.tenta(agoraMs()));
        },
        Qt::QueuedConnection);
}

void AlteracoesAoVivo::recarrega()
{
    TClientDataSet* linhas = &m_editor.linhas();
    const int campoTela = linhas->FieldByName(NMPROGRAMA)->Index();
    const int campoComponente = linhas->FieldByName(NMCOMPONENTE)->Index();
    const int campoOrigem = linhas->FieldByName(NMORIGEM)->Index();
    QList<ChaveLinha> chaves;
    chaves.reserve(linhas->RecordCount());
    for (int linha = 0; linha < linhas->RecordCount(); ++linha)
        chaves.append({m_editor.idioma(), linhas->ValueAt(linha, campoTela).toString(),
                       linhas->ValueAt(linha, campoComponente).toString(),
                       linhas->ValueAt(linha, campoOrigem).toString()});
    TClientDataSet doServidor;
    try {
        const ShowAviScope ocupado(aviProcessando);
        LeLinhasDoServidor(m_editor.conexao(), m_editor.idioma(), chaves, doServidor);
    } catch (const std::exception&) {
        // Not now (the server does not answer): the rows stay as they are,
        // and the reading is tried again with the next change or state.
        QTimer::singleShot(kNovaTentativaMs * 5, this, [this] { estadoMudou(); });
        return;
    }
    // The user may have started an edit while the call waited.
    if (!podeMexer()) {
        estadoMudou();
        return;
    }
    m_recarregar = false;
    mostra(m_alteracoes.confere(doServidor, agoraMs()));
}

void AlteracoesAoVivo::mostra(const AlteracoesDeColegas::Resultado& r)
{
    // The checks follow the rows changed; the history's line, asked again,
    // says who changed the current row last.
    if (!r.linhas.empty() || r.removidas > 0 || r.linhaAtual)
        m_editor.alteradasPorOutro(r.linhas, r.removidas > 0, r.linhaAtual);
    if (!r.linhas.empty())
        m_fimDaMarca.start(JanelaMarcaMs + 50);
    if (const FeedChange* c = r.daLinhaEditada) {
        const QDateTime agora = QDateTime::currentDateTime();
        m_editor.mostraTextoDoColega(
            traducao::TituloTextoDoColega(c->status, c->user, DateTimeToQDateTime(c->when), agora), c->destination);
    }
}

bool AlteracoesAoVivo::recente(int linha) const
{
    return m_alteracoes.recente(linha, agoraMs(), JanelaMarcaMs);
}

bool AlteracoesAoVivo::irParaProxima()
{
    TClientDataSet* linhas = &m_editor.linhas();
    if (!linhas->Active() || linhas->IsEmpty())
        return false;
    const int total = linhas->RecordCount();
    const int atual = std::max(0, linhas->CurrentIndex());
    for (int passo = 1; passo <= total; ++passo) {
        const int linha = (atual + passo) % total;
        if (m_alteracoes.autor(linha)) {
            linhas->CheckBrowseMode();
            linhas->SetRecNo(linha + 1);
            return true;
        }
    }
    return false;
}

void AlteracoesAoVivo::mostraEstado()
{
    const traducao::IndicadorAoVivo i =
        traducao::IndicadorDoEstado(static_cast<int>(m_feed.CurrentState()), m_feed.LastProblem());
    m_indicador->setText(i.texto);
    m_indicador->setToolTip(i.dica);
    QPalette cores = m_indicador->palette();
    cores.setColor(QPalette::WindowText, i.ligado ? QColor(0, 128, 0) : QColor(128, 128, 128));
    m_indicador->setPalette(cores);
    m_indicador->setVisible(!i.texto.isEmpty());
}

} // namespace trd
