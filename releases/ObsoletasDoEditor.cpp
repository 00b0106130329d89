#include "ObsoletasDoEditor.h"

#include "Cli_Trd09301.h"
#include "Dispatch.h"
#include "Papeis.h"
#include "RevisaoRegras.h"
#include "ServerCalls.h"
#include "ServicosDoEditor.h"
#include "ShowAvi.h"
#include "TCanvas.h"
#include "TClientDataSet.h"
#include "TSocketConnection.h"

#include <QAction>
#include <QGuiApplication>
#include <QPalette>
#include <QScopedValueRollback>

namespace trd::liberacao {

namespace {

const QString Sim = QStringLiteral("S");

} // namespace

void LeObsoletas(ServicosDoEditor& editor, TClientDataSet& obsoletas)
{
    // What the rows were loaded with: the filter's criteria when they are in
    // force, else the whole language (a list of rows from a file is a list of
    // live keys, and the obsolete rows of the language go with it).
    TSocketConnection& conexao = editor.conexao();
    const QString idioma = editor.idioma();
    TServerResult resposta = boTestaFiltro
        ? conexao.AppServer().Call(metodo::GetFiltroDest,
                                   {stTRAD, stDUV, stNTRAD, stPARAMSQL, idioma, dtDataIni, dtDataFin, stDataTrad, Sim})
        : conexao.AppServer().Call(metodo::GetDestino,
                                   {QStringLiteral("T"), QStringLiteral("D"), QStringLiteral("N"), idioma, dtDataIni,
                                    dtDataFin, stDataTrad, Sim});
    obsoletas.SetData(CheckResultServ(std::move(resposta), true, 0));
}

ObsoletasDoEditor::ObsoletasDoEditor(ServicosDoEditor& editor) : QObject(editor.janela()), m_editor(editor)
{
    TClientDataSet& linhas = editor.linhas();
    // No packet carries it: the live rows read it null, the obsolete ones get "S" as they come in.
    if (!linhas.FindField(revisao::STOBSOLETA))
        linhas.AddField(revisao::STOBSOLETA, TFieldType::ftString, 1)->Optional = true;

    mnuObsoletas = editor.adicionaItem("mnuObsoletas", QStringLiteral("Mostrar Linhas Obsoletas (&W)"),
                                       QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_O));
    mnuObsoletas->setCheckable(true);
    mnuObsoletas->setToolTip(QStringLiteral("Mostra na grade, em cinza e itálico, as linhas que uma liberação do "
                                            "aplicativo tirou das telas; elas só podem ser consultadas."));
    connect(mnuObsoletas, &QAction::toggled, this, [this](bool mostrar) { Dispatch([&] { alterna(mostrar); }); });

    editor.pintaLinhasCom([this](TCanvas& canvas) {
        const TClientDataSet& l = m_editor.linhas();
        if (!obsoleta(l.ActiveRecord()))
            return;
        // As the suggestions panel shows them: greyed, in italics.
        canvas.Font.Color = QGuiApplication::palette().color(QPalette::Disabled, QPalette::Text);
        canvas.Font.Italic = true;
    });
    editor.dicaDasLinhas([this](int linha) { return obsoleta(linha) ? papeis::MotivoLinhaObsoleta() : QString(); });
}

bool ObsoletasDoEditor::obsoleta(int linha) const
{
    const TClientDataSet& l = m_editor.linhas();
    if (linha < 0 || !l.Active() || linha >= l.RecordCount())
        return false;
    const TField* campo = l.FindField(revisao::STOBSOLETA);
    return campo && l.ValueAt(linha, campo->Index()).toString() == Sim;
}

int ObsoletasDoEditor::mostradas() const
{
    const TClientDataSet& l = m_editor.linhas();
    int n = 0;
    for (int linha = 0; l.Active() && linha < l.RecordCount(); ++linha)
        n += obsoleta(linha) ? 1 : 0;
    return n;
}

void ObsoletasDoEditor::alterna(bool mostrar)
{
    TClientDataSet& linhas = m_editor.linhas();
    if (!linhas.Active() || m_editor.idioma().isEmpty())
        return; // the rows of the next language loaded follow the item
    try {
        // A text being typed is posted first (a refused post raises and changes nothing).
        linhas.CheckBrowseMode();
        if (mostrar)
            acrescenta();
        else
            retira();
    } catch (...) {
        // The item tells what the grid shows.
        const QSignalBlocker quieto(mnuObsoletas);
        mnuObsoletas->setChecked(!mostrar);
        throw;
    }
}

void ObsoletasDoEditor::linhasLidas()
{
    if (!mnuObsoletas->isChecked() || m_acrescentando || m_editor.idioma().isEmpty())
        return;
    try {
        acrescenta();
    } catch (const Exception& e) {
        // The live rows are loaded whatever happened here; the load's own
        // handler must not take this for a fault of its answer.
        const QString texto = QStringLiteral("As linhas obsoletas não puderam ser lidas: ") + e.Message();
        {
            const QSignalBlocker quieto(mnuObsoletas);
            mnuObsoletas->setChecked(false);
        }
        QMetaObject::invokeMethod(
            this, [texto] { Dispatch([&] { throw Exception(texto); }); }, Qt::QueuedConnection);
    }
}

void ObsoletasDoEditor::acrescenta()
{
    const QScopedValueRollback<bool> dentro(m_acrescentando, true);
    TClientDataSet& linhas = m_editor.linhas();
    retira(); // never twice the same rows
    TClientDataSet obsoletas;
    {
        const ShowAviScope ocupado(aviProcessando);
        LeObsoletas(m_editor, obsoletas);
    }
    const TField* campo = linhas.FieldByName(revisao::STOBSOLETA);
    linhas.AddRows(obsoletas, {{campo->Index(), Sim}});
}

void ObsoletasDoEditor::retira()
{
    TClientDataSet& linhas = m_editor.linhas();
    std::vector<int> saem;
    for (int linha = 0; linha < linhas.RecordCount(); ++linha)
        if (obsoleta(linha))
            saem.push_back(linha);
    linhas.ForgetRows(saem);
}

} // namespace trd::liberacao
