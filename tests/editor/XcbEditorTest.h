#pragma once
// The editor on a real X display (Xvfb) with the real dialogs, driven by real
// input: keys and clicks made by the X server, reaching whatever has the focus.
#include "EditorTestKit.h"

#include "Dispatch.h"
#include "MessageBoxAnswerer.h"
#include "RealInput.h"
#include "TApplication.h"

#include <QApplication>
#include <QHeaderView>
#include <QLineEdit>
#include <QTest>

namespace trd::test {

class XcbEditorTest : public EditorTest {
protected:
    RealInput input;
    MessageBoxAnswerer boxes;

    // Server on these rows, the editor open with them, real dialogs from here on.
    TfrmTraducao* open(const QList<Idioma>& idiomas, const QList<Linha>& linhas)
    {
        EXPECT_TRUE(input.ok()) << "no X display with XTEST";
        TfrmTraducao* form = openLoaded(idiomas, linhas, QStringLiteral("ENG-English"));
        Application()->SetDialogSeam(nullptr);
        activate();
        return form;
    }
    void activate()
    {
        main.activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(&main));
    }
    // The grid row that shows the row with this source text, or -1.
    int rowWith(const QString& origem) const
    {
        TClientDataSet* ds = frmTraducao->cdsDestino;
        const int campo = ds->FieldByName(QStringLiteral("STAGRVALPROP"))->Index();
        for (int row = 0; row < ds->RecordCount(); ++row)
            if (ds->ValueAt(row, campo).toString() == origem)
                return row;
        return -1;
    }
    bool naGrade(const QString& origem) const { return rowWith(origem) >= 0; }
    // The same, a failure when there is none.
    int rowOf(const QString& origem) const
    {
        const int row = rowWith(origem);
        if (row < 0)
            ADD_FAILURE() << "no row " << origem.toStdString();
        return row;
    }
    // The keys pressed where the focus is, and the editor's dialog they open,
    // once it is the active window.
    template <typename Dialog>
    Dialog* dialogOpenedBy(const QString& keys, int timeoutMs)
    {
        input.key(keys);
        Dialog* dialog = nullptr;
        EXPECT_TRUE(QTest::qWaitFor(
            [&] {
                dialog = frmTraducao->findChild<Dialog*>();
                return dialog && dialog->isActiveWindow();
            },
            timeoutMs));
        return dialog;
    }
    QRect cellRect(int row, int column) const
    {
        return frmTraducao->dbgPadrao->visualRect(frmTraducao->dbgPadrao->model()->index(row, column));
    }
    // A click on the row's cell (the destination text by default).
    void clickCell(const QString& origem, int column = 2)
    {
        input.click(frmTraducao->dbgPadrao->viewport(), cellRect(rowOf(origem), column).center());
    }
    // A click on a column's title: the grid sorts by it.
    void clickTitle(int column)
    {
        QHeaderView* header = frmTraducao->dbgPadrao->horizontalHeader();
        const int x = header->sectionViewportPosition(column) + header->sectionSize(column) / 2;
        input.click(header->viewport(), QPoint(x, header->height() / 2));
    }
    // F2 on the row's destination cell and End: its editor, open with the cursor at the end.
    QLineEdit* editCell(const QString& origem)
    {
        clickCell(origem);
        input.key(QStringLiteral("F2"));
        input.key(QStringLiteral("End"));
        QLineEdit* editor = frmTraducao->dbgPadrao->InplaceEditor();
        EXPECT_TRUE(editor) << "F2 opens the cell's editor";
        return editor;
    }
    QString current() const { return frmTraducao->cdsDestino->FieldByName(QStringLiteral("STAGRVALPROP"))->AsString(); }
    QString shownDestination(int row) const
    {
        const QAbstractItemModel* model = frmTraducao->dbgPadrao->model();
        return model->data(model->index(row, 2)).toString();
    }
};

} // namespace trd::test
