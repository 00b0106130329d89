#include "RevisaoDoEditor.h"

#include "Dispatch.h"
#include "PapeisDoEditor.h"
#include "RevisaoRegras.h"
#include "ServerCalls.h"
#include "ServicosDoEditor.h"
#include "TApplication.h"
#include "TCanvas.h"
#include "TClientDataSet.h"

#include <QAction>
#include <QCoreApplication>
#include <QMenu>
#include <QPainter>
#include <QPainterPath>
#include <QWidget>

#include <exception>

namespace trd {

namespace {

const QString NMDESTINO = QStringLiteral("STVALORPROP");
const QString NMSITUACAO = QStringLiteral("IDSITTRADUCAO");
const QString SemMarca = QStringLiteral("Este servidor não guarda a marca de revisão.");

// The lamp's colour: a blue apart from the three status colours.
QColor CorDaMarca()
{
    return QColor(0, 90, 200);
}

} // namespace

RevisaoDoEditor::RevisaoDoEditor(ServicosDoEditor& editor) : QObject(editor.janela()), m_editor(editor)
{
    revisao::DeclaraCampos(editor.linhas());
    // A submenu of their own (with the users window): the maintenance menu's
    // letters are all taken but a few.
    editor.adicionaSeparador("N6");
    QMenu* submenu = editor.adicionaSubmenu("mnuRevisaoEquipe", QStringLiteral("Revisão e E&quipe"));
    m_marcar = editor.adicionaItemEm(submenu, "mnuMarcarRevisado", QStringLiteral("&Marcar como Revisado"),
                                     QKeySequence(Qt::CTRL | Qt::Key_R));
    m_desmarcar = editor.adicionaItemEm(submenu, "mnuDesmarcarRevisado", QStringLiteral("&Desmarcar Revisão"),
                                        QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_R));
    for (QAction* item : {m_marcar, m_desmarcar})
        item->setEnabled(false);
    connect(m_marcar, &QAction::triggered, this, [this] { Dispatch([this] { marca(true); }); });
    connect(m_desmarcar, &QAction::triggered, this, [this] { Dispatch([this] { marca(false); }); });
}

void RevisaoDoEditor::segue(PapeisDoEditor& direitos)
{
    m_direitos = &direitos;
    connect(&direitos, &PapeisDoEditor::mudaram, this, &RevisaoDoEditor::habilita);
    habilita();
}

void RevisaoDoEditor::habilita()
{
    TClientDataSet& linhas = m_editor.linhas();
    const bool registros = linhas.Active() && !linhas.IsEmpty() && !m_editor.substituindo();
    QString motivo;
    if (m_direitos && !m_direitos->informado())
        motivo = SemMarca;
    else if (registros && revisao::MarcaAtual(linhas).obsoleta)
        motivo = papeis::MotivoLinhaObsoleta();
    else
        motivo = papeis::MotivoSemMarcar(m_editor.papeis(), m_editor.idioma());
    const bool marcada = registros && !revisao::MarcaAtual(linhas).revisor.isEmpty();
    const bool editando = linhas.State() == TDataSetState::dsEdit || linhas.State() == TDataSetState::dsInsert;
    // Only an author known for this very row: a text being typed (posted
    // first by the mark) or a row just reached is left to the server's check.
    QString motivoMarcar = motivo;
    if (motivoMarcar.isEmpty() && registros) {
        const auto autoria = m_autores.constFind(chaveDe(m_editor.chaveAtual()));
        if (autoria != m_autores.cend() && autoria->valores == valoresDaLinha())
            motivoMarcar = papeis::MotivoSemMarcarALinha(m_editor.papeis(), m_editor.idioma(), autoria->autor);
    }
    m_marcar->setEnabled(registros && motivoMarcar.isEmpty());
    // Nothing to take away from a row not reviewed; editing, the row's mark
    // is the one it was loaded with, and the post settles it first.
    m_desmarcar->setEnabled(registros && motivo.isEmpty() && (marcada || editando));
    for (auto [item, porque] : {std::pair{m_marcar, motivoMarcar}, {m_desmarcar, motivo}}) {
        const QString dica = porque.isEmpty() ? item->text().remove(QLatin1Char('&')) : porque;
        if (item->toolTip() != dica)
            item->setToolTip(dica);
        if (item->statusTip() != porque)
            item->setStatusTip(porque);
    }
}

void RevisaoDoEditor::ultimaAlteracao(const ChaveLinha& chave, const QString& autor)
{
    if (!(chave == m_editor.chaveAtual()))
        return;
    // Kept for the rows the user goes through; a language's worth at most.
    constexpr int Guardadas = 20000;
    if (m_autores.size() >= Guardadas)
        m_autores.clear();
    // A colleague's save arriving later changes the values: the author is then not known.
    m_autores.insert(chaveDe(chave), Autoria{autor, valoresDaLinha()});
    habilita();
}

QString RevisaoDoEditor::chaveDe(const ChaveLinha& chave)
{
    const QChar separador(0x1F);
    return chave.idioma + separador + chave.programa + separador + chave.componente + separador + chave.origem;
}

QString RevisaoDoEditor::valoresDaLinha() const
{
    TClientDataSet& linhas = m_editor.linhas();
    if (!linhas.Active() || linhas.IsEmpty())
        return QString();
    return linhas.FieldByName(NMSITUACAO)->AsString() + QLatin1Char('\n') + linhas.FieldByName(NMDESTINO)->AsString();
}

void RevisaoDoEditor::antesDeGravar()
{
    TClientDataSet& linhas = m_editor.linhas();
    TField* revisor = linhas.FindField(revisao::NMREVISOR);
    if (!revisor || revisor->AsString().isEmpty())
        return;
    const auto mudou = [&](const QString& nome) {
        TField* f = linhas.FieldByName(nome);
        const QVariant antes = f->OldValue();
        return !antes.isValid() || antes.toString() != f->AsString();
    };
    // As the server does: any change of the text or status clears the mark;
    // a post that leaves both as they were keeps it.
    if (mudou(NMDESTINO) || mudou(NMSITUACAO)) {
        revisor->SetAsString(QString());
        linhas.FieldByName(revisao::DTREVISAO)->Clear();
    }
}

void RevisaoDoEditor::pintaMarca(TCanvas& canvas, const QRect& celula) const
{
    QPainter* p = canvas.Painter();
    if (!p || revisao::MarcaAtual(m_editor.linhas()).revisor.isEmpty())
        return;
    // A small seal at the lower right of the status lamp, a white tick on blue.
    const int lado = qMin(10, celula.height() - 2);
    const QRectF selo(celula.right() - lado, celula.bottom() - lado, lado, lado);
    p->save();
    p->setRenderHint(QPainter::Antialiasing);
    p->setPen(Qt::NoPen);
    p->setBrush(CorDaMarca());
    p->drawEllipse(selo);
    QPainterPath tique;
    tique.moveTo(selo.left() + lado * 0.25, selo.top() + lado * 0.52);
    tique.lineTo(selo.left() + lado * 0.43, selo.top() + lado * 0.72);
    tique.lineTo(selo.left() + lado * 0.77, selo.top() + lado * 0.30);
    p->setPen(QPen(Qt::white, qMax(1.5, lado / 6.0), Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p->setBrush(Qt::NoBrush);
    p->drawPath(tique);
    p->restore();
}

void RevisaoDoEditor::marca(bool marcada)
{
    TClientDataSet& linhas = m_editor.linhas();
    QAction* item = marcada ? m_marcar : m_desmarcar;
    if (!item->isEnabled() || !linhas.Active() || linhas.IsEmpty())
        return;
    // A text being typed is posted first (a refused post raises and marks nothing).
    linhas.CheckBrowseMode();
    const ChaveLinha chave = m_editor.chaveAtual();
    const QString destino = linhas.FieldByName(NMDESTINO)->AsString();
    const QString situacao = linhas.FieldByName(NMSITUACAO)->AsString();
    const int linha = linhas.CurrentIndex();
    TSentCall enviada =
        m_editor.conexao().AppServer().Send(metodo::MarcaRevisao,
                                            {chave.idioma, chave.programa, chave.componente, chave.origem,
                                             marcada ? QStringLiteral("S") : QStringLiteral("N"), destino, situacao});
    // Reviewing rows one after another: the next row is current, no question
    // asked. It is made current, and painted with its companions, while the
    // server writes the mark, and before the marked row takes its mark, so
    // that the mark reaches the grid as another row's change (its lamp
    // repaints alone) and the detail panel and its companions follow one
    // row, once.
    std::exception_ptr falhaAoSeguir;
    bool seguiu = false;
    if (marcada && linha >= 0 && linha < linhas.RecordCount() - 1) {
        try {
            linhas.Next();
            seguiu = true;
            // Laid out first: the detail panel's texts take their new size
            // before they are painted, and are painted once.
            QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
            Application()->PaintPending();
        } catch (...) {
            // The server keeps the mark whatever the move does: the grid shows it all the same.
            falhaAoSeguir = std::current_exception();
        }
    }
    // A mark not made (refused, or its answer lost with the connection)
    // leaves the cursor on its row, as it was before the key.
    const auto volta = [&] {
        if (seguiu && linhas.State() == TDataSetState::dsBrowse && linhas.CurrentIndex() == linha + 1)
            linhas.Prior();
    };
    TServerResult resposta;
    try {
        resposta = enviada.Take();
    } catch (...) {
        volta();
        throw;
    }
    if (!resposta.Ok) {
        volta();
        if (resposta.ErrorCode == -32003 && m_direitos)
            m_direitos->perguntaAgora(); // the roles changed: the controls follow them
    }
    TClientDataSet marca;
    marca.SetData(CheckResultServ(std::move(resposta), true, 0));
    if (linha >= 0 && linhas.State() == TDataSetState::dsBrowse && linhas.ChangeCount() == 0) {
        marca.First();
        TField* revisor = marca.FindField(revisao::NMREVISOR);
        TField* quando = marca.FindField(revisao::DTREVISAO);
        const QString nome = revisor && !marca.IsEmpty() ? revisor->AsString() : QString();
        const double data = quando && !marca.IsEmpty() && !quando->IsNull() ? quando->AsFloat() : 0;
        linhas.RefreshRow(linha, revisao::ValoresDaMarca(linhas, nome, data));
    }
    if (falhaAoSeguir)
        std::rethrow_exception(falhaAoSeguir);
    habilita();
}

} // namespace trd
