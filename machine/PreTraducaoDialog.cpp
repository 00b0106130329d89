#include "PreTraducaoDialog.h"

#include "AutomaticaRegras.h"
#include "CamposTraducao.h"
#include "Cli_Trd09301.h"
#include "DialogSeam.h"
#include "ProgressoDaTroca.h"
#include "ServicosDoEditor.h"
#include "TClientDataSet.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

namespace trd {

namespace {

// The rows the editor holds that the run would fill: a figure for the
// question, the server counts again when it runs.
int candidatas(TClientDataSet& linhas)
{
    if (!linhas.Active())
        return 0;
    // Read row by row without moving the cursor: no scroll reaches the editor.
    const int situacao = linhas.FieldByName(NMSITUACAO)->Index();
    const int destino = linhas.FieldByName(NMDESTINO)->Index();
    int n = 0;
    for (int i = 0; i < linhas.RecordCount(); ++i)
        if (automatica::PreTraduzivel(linhas.ValueAt(i, situacao).toString(), linhas.ValueAt(i, destino).toString()))
            ++n;
    return n;
}

} // namespace

exchange::RowSelection PreTraducaoDialog::Selecao(const QString& idioma)
{
    exchange::RowSelection s;
    s.language = idioma;
    s.filtered = true;
    s.statusT = QStringLiteral("X");
    s.statusD = QStringLiteral("X");
    s.statusN = QStringLiteral("N");
    if (boTestaFiltro) {
        // The criteria the editor's reload repeats; a filter without N rows leaves none.
        if (stNTRAD != QLatin1String("N"))
            s.statusN = QStringLiteral("X");
        s.fragment = stPARAMSQL;
        s.firstDate = dtDataIni;
        s.lastDate = dtDataFin;
        s.dateMode = stDataTrad;
    }
    return s;
}

PreTraducaoDialog::PreTraducaoDialog(ServicosDoEditor& editor, QWidget* parent)
    : QDialog(parent), m_idioma(editor.idioma())
{
    setObjectName(QStringLiteral("frmPreTraducao"));
    setWindowTitle(QStringLiteral("Pré-traduzir Não Traduzidas"));
    const int n = candidatas(editor.linhas());
    lblTexto = new QLabel(
        QStringLiteral("Preencher as %1 linhas não traduzidas e sem texto %2 do idioma %3: pela memória de tradução "
                       "(uma linha traduzida de mesma origem) ou pela tradução automática, como dúvida. Linhas com "
                       "texto não são tocadas; tudo fica num lote só do histórico, que pode ser desfeito.")
            .arg(n)
            .arg(boTestaFiltro ? QStringLiteral("do filtro atual") : QStringLiteral("listadas"), m_idioma),
        this);
    lblTexto->setObjectName(QStringLiteral("lblTexto"));
    lblTexto->setWordWrap(true);
    const ProgressoDaTroca progresso = CriaProgresso(this, m_runner);
    lblEtapa = progresso.etapa;
    pgbProgresso = progresso.barra;
    btnPreTraduzir = new QPushButton(QStringLiteral("&Pré-traduzir"), this);
    btnPreTraduzir->setObjectName(QStringLiteral("btnPreTraduzir"));
    btnPreTraduzir->setEnabled(n > 0 && editor.papeis().podeEscrever(m_idioma));
    if (!editor.papeis().podeEscrever(m_idioma))
        btnPreTraduzir->setToolTip(
            QStringLiteral("É preciso ser tradutor do idioma %1 para pré-traduzir.").arg(m_idioma));
    btnFechar = new QPushButton(QStringLiteral("&Fechar"), this);
    btnFechar->setObjectName(QStringLiteral("btnFechar"));
    auto* botoes = new QHBoxLayout;
    botoes->addStretch();
    botoes->addWidget(btnPreTraduzir);
    botoes->addWidget(btnFechar);
    auto* coluna = new QVBoxLayout(this);
    coluna->addWidget(lblTexto);
    coluna->addWidget(lblEtapa);
    coluna->addWidget(pgbProgresso);
    coluna->addLayout(botoes);
    resize(520, sizeHint().height());
    connect(btnPreTraduzir, &QPushButton::clicked, this, &PreTraducaoDialog::inicia);
    connect(btnFechar, &QPushButton::clicked, this, &PreTraducaoDialog::reject);
    connect(&m_runner, &ExchangeRunner::finished, this, &PreTraducaoDialog::terminou);
}

PreTraducaoDialog::~PreTraducaoDialog()
{
    m_runner.cancel();
    m_runner.wait();
}

void PreTraducaoDialog::inicia()
{
    btnPreTraduzir->setEnabled(false);
    btnFechar->setText(QStringLiteral("&Cancelar"));
    pgbProgresso->setRange(0, 0);
    const exchange::ServerAddress address = ExchangeRunner::editorServer();
    const exchange::RowSelection selecao = Selecao(m_idioma);
    m_runner.start([this, address, selecao](const exchange::JobControl& control) {
        exchange::ServerLink link(address, control);
        m_resultado = exchange::preTranslate(link, selecao, control);
    });
}

void PreTraducaoDialog::terminou(const QString& erro, bool)
{
    btnFechar->setText(QStringLiteral("&Fechar"));
    pgbProgresso->setRange(0, 1);
    const QString texto = erro.isEmpty() ? exchange::preTranslationSummary(m_resultado) : erro;
    lblEtapa->setText(texto);
    pgbProgresso->setValue(erro.isEmpty() ? 1 : 0);
    const bool interrompida = !erro.isEmpty() || m_resultado.cancelled || !m_resultado.stoppedBy.isEmpty();
    MessageDlg(texto, interrompida ? mtWarning : mtInformation, mbOK);
}

void PreTraducaoDialog::reject()
{
    // While it runs, Cancel stops it after the piece being written; what was written stays.
    if (!CancelaSeRodando(m_runner, lblEtapa))
        QDialog::reject();
}

} // namespace trd
