#include "ExchangeMenu.h"

#include "Cli_Trd09300.h"
#include "Cli_Trd09301.h"
#include "Dispatch.h"
#include "ExportDialog.h"
#include "ImportDialog.h"
#include "MensErro.h"

#include <QAction>
#include <QPointer>

namespace trd {

namespace {

// The language the editor works on, or a refusal the user can act on.
bool prontoParaTroca(TfrmTraducao& editor)
{
    if (stIdioma.trimmed().isEmpty() || editor.cbbIdioma->currentText().isEmpty()) {
        MensErro(QStringLiteral("Escolha o idioma antes de exportar ou importar a tradução."), true);
        return false;
    }
    const TDataSetState state = editor.cdsDestino->State();
    if (state == TDataSetState::dsEdit || state == TDataSetState::dsInsert) {
        MensErro(QStringLiteral("Termine a edição da linha antes de exportar ou importar a tradução."), true);
        return false;
    }
    return true;
}

// Shows the dialog over the editor; when it closes the editor's window takes
// the keyboard back, so its shortcuts work at once (without a window manager
// nothing else would activate it).
template <typename Dialog>
void abre(Dialog* dialog, TfrmTraducao& editor)
{
    QPointer<TfrmTraducao> alvo(&editor);
    QObject::connect(dialog, &QDialog::finished, &editor, [alvo] {
        if (!alvo)
            return;
        alvo->window()->activateWindow();
        alvo->dbgPadrao->setFocus();
    });
    dialog->setWindowModality(Qt::WindowModal);
    dialog->show();
    dialog->raise();
    dialog->activateWindow();
}

} // namespace

void addExchangeMenu(TfrmTraducao& editor)
{
    editor.AddMaintenanceSeparator("N4");
    QAction* exportar = editor.AddMaintenanceItem("mnuExportar", QStringLiteral("E&xportar Tradução..."),
                                                  QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_E));
    QAction* importar = editor.AddMaintenanceItem("mnuImportar", QStringLiteral("Importar Trad&ução..."),
                                                  QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_I));
    QObject::connect(exportar, &QAction::triggered, &editor, [&editor] {
        Dispatch([&editor] {
            if (!prontoParaTroca(editor))
                return;
            abre(new ExportDialog(stIdioma, boTestaFiltro, &editor), editor);
        });
    });
    QObject::connect(importar, &QAction::triggered, &editor, [&editor] {
        Dispatch([&editor] {
            if (!prontoParaTroca(editor))
                return;
            auto* dialog = new ImportDialog(stIdioma, &editor);
            QPointer<TfrmTraducao> alvo(&editor);
            dialog->OnApplied = [alvo] {
                // The grid shows what the server now holds, by the editor's own reload.
                if (alvo && alvo->cdsDestino->Active())
                    Dispatch([alvo] { alvo->sbtVerificarClick(alvo); });
            };
            abre(dialog, editor);
        });
    });
}

} // namespace trd
