#pragma once
// The host as `trd-client` opens the translation module, for end-to-end tests
// that reach the screens only as a user does: the main window active, the
// editor opened in it, and a language picked from its list with the keyboard.
// Header only: the tests that use it link the host (trdhost) themselves.
#include "ClientOptions.h"
#include "MainWindow.h"
#include "RecordingDialogSeam.h"

#include <QApplication>
#include <QComboBox>
#include <QString>
#include <QTest>
#include <QWidget>

#include <gtest/gtest.h>

namespace trd::test {

// The child of `raiz` named `nome`, of type T; a failed expectation when none.
template <typename T>
T* achar(QWidget* raiz, const char* nome)
{
    T* w = raiz->findChild<T*>(QString::fromLatin1(nome));
    EXPECT_NE(w, nullptr) << nome;
    return w;
}

// The visible top-level window named `nome`, or null.
inline QWidget* janelaDeNome(const char* nome)
{
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w->objectName() == QLatin1String(nome) && w->isVisible())
            return w;
    return nullptr;
}

// The command line `trd-client --open --server HOST:PORTA`, taken as the host
// takes it at start-up. Wrap the call in ASSERT_NO_FATAL_FAILURE.
inline void abreComoOCliente(const QString& hostPort)
{
    const ClientOptions linha = ParseClientOptions(
        {QStringLiteral("trd-client"), QStringLiteral("--open"), QStringLiteral("--server"), hostPort});
    ASSERT_TRUE(linha.error.isEmpty()) << linha.error.toStdString();
    ASSERT_TRUE(linha.open);
}

// Waits until the shown `janela` is active and opens the editor in it, as the
// host's menu does; `editor` is the editor's form, once visible. Wrap the call
// in ASSERT_NO_FATAL_FAILURE.
inline void abreEditor(MainWindow& janela, const RecordingDialogSeam& seam, QWidget*& editor)
{
    editor = nullptr;
    ASSERT_TRUE(QTest::qWaitForWindowActive(&janela));
    janela.OpenTraducao();
    ASSERT_TRUE(seam.errors().isEmpty()) << seam.errors().join(u'\n').toStdString();
    editor = janela.findChild<QWidget*>(QStringLiteral("frmTraducao"));
    ASSERT_NE(editor, nullptr);
    QWidget* const aberto = editor;
    ASSERT_TRUE(QTest::qWaitFor([aberto] { return aberto->isVisible(); }));
}

// Takes the language list with the window active and moves to the next
// language with the arrow key (typing is not accepted there); `esperado` is the
// item it must land on. Wrap the call in ASSERT_NO_FATAL_FAILURE.
inline void escolheIdiomaPelaSeta(MainWindow& janela, QComboBox* cbbIdioma, const QString& esperado)
{
    janela.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&janela));
    cbbIdioma->setFocus();
    ASSERT_TRUE(QTest::qWaitFor([cbbIdioma] { return cbbIdioma->hasFocus(); }));
    QTest::keyClick(cbbIdioma, Qt::Key_Down);
    ASSERT_EQ(cbbIdioma->currentText(), esperado);
}

} // namespace trd::test
