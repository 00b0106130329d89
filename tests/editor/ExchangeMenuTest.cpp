// The exchange menu items beside the editor, against a stand-in of the
// editor (no form): their keys, and the refusals before a dialog opens (no
// language chosen, a row being edited); with a language and no edit the
// dialog opens over the editor and hands the keyboard back when it closes.
#include "EditorFalso.h"
#include "ExchangeMenu.h"
#include "RecordingDialogSeam.h"

#include <QAction>
#include <QDialog>
#include <QTest>

#include <gtest/gtest.h>

using namespace trd;
using trd::test::EditorFalso;

namespace {

QAction* item(EditorFalso& editor, const char* nome)
{
    return editor.tela->findChild<QAction*>(QString::fromLatin1(nome));
}

QDialog* dialogoAberto(EditorFalso& editor)
{
    for (QDialog* d : editor.tela->findChildren<QDialog*>())
        if (d->isVisible())
            return d;
    return nullptr;
}

} // namespace

TEST(ExchangeMenu, ItsItemsRefuseWithoutALanguageOrDuringAnEditAndOtherwiseOpenTheDialog)
{
    EditorFalso editor;
    addExchangeMenu(editor);
    QAction* exportar = item(editor, "mnuExportar");
    QAction* importar = item(editor, "mnuImportar");
    ASSERT_TRUE(exportar && importar);
    EXPECT_EQ(exportar->shortcut(), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_E));
    EXPECT_EQ(importar->shortcut(), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_I));

    RecordingDialogSeam seam;
    exportar->trigger();
    importar->trigger();
    ASSERT_EQ(seam.messages().size(), 2);
    EXPECT_TRUE(seam.messages().at(0).startsWith(QStringLiteral("Escolha o idioma")));
    EXPECT_EQ(dialogoAberto(editor), nullptr);

    editor.carrega({{QStringLiteral("CAD001"), QStringLiteral("lblArquivo"), QStringLiteral("Arquivo"),
                     QStringLiteral("File"), QStringLiteral("T")}});
    editor.textoIdioma = QStringLiteral("ENG - Inglês");
    editor.cds->Edit();
    importar->trigger();
    ASSERT_EQ(seam.messages().size(), 3);
    EXPECT_TRUE(seam.messages().last().startsWith(QStringLiteral("Termine a edição")));
    EXPECT_EQ(dialogoAberto(editor), nullptr);
    editor.cds->Cancel();

    editor.tela->show();
    exportar->trigger();
    QDialog* dialogo = dialogoAberto(editor);
    ASSERT_NE(dialogo, nullptr);
    EXPECT_EQ(seam.messages().size(), 3);
    dialogo->reject();
    EXPECT_EQ(editor.tecladoDevolvido, 1);
}
