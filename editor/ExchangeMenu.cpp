#include "ExchangeMenu.h"

#include "Cli_Trd09301.h"
#include "Dispatch.h"
#include "ExportDialog.h"
#include "ImportDialog.h"
#include "MensErro.h"
#include "ServicosDoEditor.h"
#include "TClientDataSet.h"

#include <QAction>
#include <QPointer>

namespace trd {

namespace {

// The language the editor works on, or a refusal the user can act on.
bool prontoParaTroca(ServicosDoEditor& editor)
{
    if (editor.idioma().trimmed().isEmpty() || editor.textoDoIdioma().isEmpty()) {
        MensErro(QStringLiteral("Escolha o idioma antes de exportar ou importar a tradução."), true);
        return false;
    }
    const TDataSetState state = editor.linhas().State();
    if (state == TDataSetState::dsEdit || state == TDataSetState::dsInsert) {
        MensErro(QStringLiteral("Termine a edição da linha antes de exportar ou importar a tradução."), true);
        return false;
    }
    return true;
}

// Shows the dialog over the editor; when it closes the editor's window takes
// the keyboard back, so its shortcuts work at once (without a window manager
// nothing else would activate it).
void abre(QDialog* dialog, ServicosDoEditor& editor)
{
    QPointer<QWidget> alvo(editor.janela());
    QObject::connect(dialog, &QDialog::finished, editor.janela(), [alvo, &editor] {
        if (alvo)
            editor.devolveTeclado();
    });
    dialog->setWindowModality(Qt::WindowModal);
    dialog->show();
    dialog->raise();
    dialog->activateWindow();
}

} // namespace

void addExchangeMenu(ServicosDoEditor& editor)
{
    editor.adicionaSeparador("N4");
    QAction* exportar = editor.adicionaItem("mnuExportar", QStringLiteral("E&xportar Tradução..."),
                                            QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_E));
    QAction* importar = editor.adicionaItem("mnuImportar", QStringLiteral("Importar Trad&ução..."),
                                            QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_I));
    QWidget* janela = editor.janela();
    QObject::connect(exportar, &QAction::triggered, janela, [&editor] {
        Dispatch([&editor] {
            if (!prontoParaTroca(editor))
                return;
            abre(new ExportDialog(editor.idioma(), boTestaFiltro, editor.janela()), editor);
        });
    });
    QObject::connect(importar, &QAction::triggered, janela, [&editor] {
        Dispatch([&editor] {
            if (!prontoParaTroca(editor))
                return;
            auto* dialog = new ImportDialog(editor.idioma(), editor.janela());
            QPointer<QWidget> alvo(editor.janela());
            dialog->OnApplied = [alvo, &editor] {
                // The grid shows what the server now holds, by the editor's own reload.
                if (alvo && editor.linhas().Active())
                    Dispatch([&editor] { editor.recarrega(); });
            };
            abre(dialog, editor);
        });
    });
}

} // namespace trd
