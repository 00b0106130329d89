// The editor's grid: every cell painted by status (checked on the pixels of
// a rendered grid), in-place editing only in the destination column, the
// detail panel following the typing, Tab and Down stopping at the last row,
// pasted texts that cannot be stored refused at the paste, and a review mark
// or a status shown on the screen (the window's last paint) as a fresh paint
// of the grid shows it: no row is left with an old lamp or selection; a mark
// refused or whose answer is lost leaves the cursor on its row, unmarked; the
// lines between the cells are where the view itself would stroke them.
#include "EditorTestKit.h"

#include "DataPacket.h"
#include "GlossarioDoEditor.h"
#include "PainelTermos.h"
#include "RevisaoDoEditor.h"
#include "RevisaoRegras.h"
#include "Dispatch.h"
#include "StatusLamps.h"
#include "TCanvas.h"
#include "TDBGrid.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QLineEdit>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QTest>
#include <QWindow>

#include <cmath>

using namespace trd;
using namespace trd::test;

namespace {

const QList<Idioma> kIdiomas = {{"ENG", "English"}};
const QList<Linha> kLinhas = {
    {"ENG", "P1", "c1", "Salvar arquivo", "Save file", "T"},
    {"ENG", "P2", "c2", "Dúvida", "Doubt", "D"},
    {"ENG", "P3", "c3", "Nome", "Nome", "N"},
    {"ENG", "P4", "c4", "Abrir", "Open", "T"},
};

bool near(const QColor& a, const QColor& b, int tolerance = 60)
{
    return qAbs(a.red() - b.red()) + qAbs(a.green() - b.green()) + qAbs(a.blue() - b.blue()) <= tolerance;
}

class EditorGrid : public EditorTest {
protected:
    TfrmTraducao* openWithRows() { return openLoaded(kIdiomas, kLinhas, QStringLiteral("ENG-English")); }
    // Rows the server would never send (a status outside T, D, N), loaded
    // straight into the row set: painting only.
    void loadLocalRows(const QList<QStringList>& rows)
    {
        QByteArray packet;
        PacketWriter writer(packet);
        std::vector<PacketField> fields;
        for (const auto& [name, size] : {std::pair{"STAGRVALPROP", 4000},
                                         {"STVALORPROP", 4000},
                                         {"IDSITTRADUCAO", 1},
                                         {"IDIDIOMA", 3},
                                         {"NMCOMPONENTE", 50},
                                         {"CDPROGTRAD", 20}}) {
            PacketField f;
            f.name = name;
            f.size = size;
            fields.push_back(f);
        }
        writer.begin(fields);
        for (const QStringList& row : rows) {
            writer.beginRow();
            for (int i = 0; i < 6; ++i)
                writer.string(i, i < row.size() ? row[i] : QString());
            writer.endRow();
        }
        writer.end();
        frmTraducao->cdsDestino->SetData(packet);
    }
    QImage render() { return frmTraducao->dbgPadrao->viewport()->grab().toImage(); }
    // The rows where the window shows (its backing store: what was last
    // painted, stale rows included) other pixels than a fresh paint of the grid.
    std::string staleRows()
    {
        QWidget* viewport = frmTraducao->dbgPadrao->viewport();
        QWidget* window = viewport->window();
        const QImage shown = window->windowHandle()
                                 ->screen()
                                 ->grabWindow(window->winId())
                                 .toImage()
                                 .copy(QRect(viewport->mapTo(window, QPoint(0, 0)), viewport->size()))
                                 .convertToFormat(QImage::Format_RGB32);
        const QImage fresh = render().convertToFormat(QImage::Format_RGB32);
        QStringList rows;
        for (int y = 0; y < shown.height(); ++y)
            for (int x = 0; x < shown.width(); ++x)
                if (shown.pixel(x, y) != fresh.pixel(x, y)) {
                    rows << QString::number(frmTraducao->dbgPadrao->rowAt(y));
                    break;
                }
        rows.removeDuplicates();
        return rows.join(QStringLiteral(", ")).toStdString();
    }
    QRect cell(int row, int column) const
    {
        return frmTraducao->dbgPadrao->visualRect(frmTraducao->dbgPadrao->model()->index(row, column));
    }
    // Pixels of a rectangle (edges included) near a colour.
    static int count(const QImage& image, const QRect& rect, const QColor& colour, int tolerance = 60)
    {
        int n = 0;
        for (int y = rect.top(); y <= rect.bottom(); ++y)
            for (int x = rect.left(); x <= rect.right(); ++x)
                n += near(image.pixelColor(x, y), colour, tolerance) ? 1 : 0;
        return n;
    }
    static int area(const QRect& rect) { return rect.width() * rect.height(); }
    void focusCell(int row, int column)
    {
        frmTraducao->dbgPadrao->setFocus();
        frmTraducao->dbgPadrao->setCurrentIndex(frmTraducao->dbgPadrao->model()->index(row, column));
        QApplication::processEvents();
    }
};

TEST_F(EditorGrid, CellsArePaintedByTheRowsStatus)
{
    startServer(kIdiomas, {});
    TfrmTraducao* form = openEditor();
    ASSERT_TRUE(form);
    loadLocalRows({{"Salvar arquivo", "Save file", "T"},
                   {"Dúvida grande", "Big doubt", "D"},
                   {"Nome completo", "Full name", "N"},
                   {"Outro estado", "Other status", "Q"}});
    focusCell(3, 2); // the current cell: last row, destination column
    const QImage image = render();
    const QColor background = clInfoBk();

    struct Expect {
        int row;
        QColor text;
    };
    // Each status's text reads on the cream background (a doubtful row's
    // yellow is darkened for it; its lamp stays bright).
    auto luminance = [](const QColor& c) {
        auto lin = [](double v) { return v <= 0.03928 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4); };
        return 0.2126 * lin(c.redF()) + 0.7152 * lin(c.greenF()) + 0.0722 * lin(c.blueF());
    };
    auto contrast = [&](const QColor& text) { return (luminance(background) + 0.05) / (luminance(text) + 0.05); };
    EXPECT_GE(contrast(CorTextoDuvida()), contrast(clRed));
    EXPECT_GE(contrast(CorTextoDuvida()), 4.5);
    for (const Expect& e : {Expect{0, clGreen}, Expect{1, CorTextoDuvida()}, Expect{2, clRed}}) {
        SCOPED_TRACE(e.row);
        for (int column : {1, 2}) {
            const QRect r = cell(e.row, column).adjusted(1, 1, -1, -1);
            EXPECT_TRUE(near(image.pixelColor(r.right() - 2, r.bottom() - 1), background, 6))
                << "background of column " << column;
            EXPECT_GT(count(image, r, e.text, 40), 8) << "text in its status colour, column " << column;
            EXPECT_EQ(count(image, r, clHighlight(), 20), 0);
        }
        // The status cell: the lamp, no letter, no olive, no focus frame.
        const QRect s = cell(e.row, 0);
        EXPECT_EQ(count(image, s, lamps::Oliva(), 0), 0) << "olive is transparent";
        const QRect beside(s.left() + 17, s.top(), s.width() - 17, s.height());
        EXPECT_EQ(count(image, beside, background, 6), area(beside)) << "nothing but the background right of the lamp";
    }
    // Each lamp in its own hue.
    auto lampPixels = [&](int row, const QColor& hue) {
        const QRect s = cell(row, 0);
        return count(image, QRect(s.left() + 1, s.top(), 16, s.height()), hue, 120);
    };
    EXPECT_GT(lampPixels(0, QColor(20, 190, 40)), 10);
    EXPECT_GT(lampPixels(1, QColor(250, 220, 0)), 10);
    EXPECT_GT(lampPixels(2, QColor(230, 20, 20)), 10);

    // Another status: plain texts in the column's font colour, an empty status cell.
    const QRect other = cell(3, 1).adjusted(1, 1, -1, -1);
    EXPECT_GT(count(image, other, clWindowText(), 60), 8);
    for (const QColor& status : {clGreen, CorTextoDuvida(), clRed})
        EXPECT_EQ(count(image, other, status, 40), 0);
    const QRect otherStatus = cell(3, 0);
    EXPECT_EQ(count(image, otherStatus, background, 6), area(otherStatus)) << "no icon, no letter";

    // The selected cell: caption text on the highlight, no status colour.
    const QRect selected = cell(3, 2).adjusted(2, 2, -2, -2);
    EXPECT_TRUE(near(image.pixelColor(selected.right() - 2, selected.bottom() - 1), clHighlight(), 6));
    EXPECT_GT(count(image, selected, clCaptionText(), 60), 8);
}

TEST_F(EditorGrid, ASelectedStatusCellShowsTheLampOnTheHighlightWithoutAFocusFrame)
{
    TfrmTraducao* form = openWithRows();
    ASSERT_TRUE(form);
    focusCell(0, 0);
    const QImage image = render();
    const QRect s = cell(0, 0);
    EXPECT_EQ(count(image, s, lamps::Oliva(), 0), 0);
    const QRect beside(s.left() + 17, s.top(), s.width() - 17, s.height());
    EXPECT_EQ(count(image, beside, clHighlight(), 6), area(beside))
        << "the lamp stands on the highlight, and the focus frame is gone";
    EXPECT_EQ(count(image, QRect(s.left(), s.top(), 1, s.height()), clHighlight(), 6), s.height());
    EXPECT_GT(count(image, QRect(s.left() + 1, s.top(), 16, s.height()), QColor(20, 190, 40), 120), 10);
}

TEST_F(EditorGrid, OnlyTheDestinationColumnOpensAnEditor)
{
    TfrmTraducao* form = openWithRows();
    ASSERT_TRUE(form);
    EXPECT_FALSE(form->dbgPadrao->HasOption(dgEditing)) << "off at creation";
    focusCell(0, 1);
    focusCell(0, 0);
    EXPECT_FALSE(form->dbgPadrao->HasOption(dgEditing));
    QTest::keyClicks(form->dbgPadrao, "x");
    EXPECT_EQ(form->dbgPadrao->InplaceEditor(), nullptr);
    EXPECT_EQ(form->cdsDestino->State(), TDataSetState::dsBrowse);

    focusCell(0, 1); // the source column is read-only
    QTest::keyClicks(form->dbgPadrao, "x");
    EXPECT_EQ(form->dbgPadrao->InplaceEditor(), nullptr);

    focusCell(0, 2);
    EXPECT_TRUE(form->dbgPadrao->HasOption(dgEditing));
    QTest::keyClicks(form->dbgPadrao, "x");
    ASSERT_NE(form->dbgPadrao->InplaceEditor(), nullptr);
    EXPECT_EQ(form->cdsDestino->State(), TDataSetState::dsEdit);
}

TEST_F(EditorGrid, TheDetailPanelFollowsEveryKeyAndTheTypedTextIsPromotedAndSaved)
{
    TfrmTraducao* form = openWithRows();
    ASSERT_TRUE(form);
    focusCell(2, 2); // "Nome", "N", destination equal to source
    ASSERT_EQ(form->cdsDestino->FieldByName("STAGRVALPROP")->AsString(), "Nome");
    QTest::keyClick(form->dbgPadrao, Qt::Key_N);
    QLineEdit* editor = form->dbgPadrao->InplaceEditor();
    ASSERT_TRUE(editor);
    editor->selectAll();
    QString typed;
    for (const char ch : QByteArray("Name")) {
        QTest::keyClick(editor, ch);
        typed += QLatin1Char(ch);
        EXPECT_EQ(form->lblDestino->text(), editor->text());
    }
    EXPECT_EQ(editor->text(), "Name");
    QTest::keyClick(editor, Qt::Key_Return);
    EXPECT_EQ(form->cdsDestino->State(), TDataSetState::dsBrowse);
    EXPECT_EQ(dbRow("ENG", "Nome"), QStringList({"Name", "T"}));
    EXPECT_TRUE(seam.errors().isEmpty()) << seam.errors().join('|').toStdString();
}

TEST_F(EditorGrid, TabAndDownStopAtTheLastRowWhileOtherKeysStillWork)
{
    TfrmTraducao* form = openWithRows();
    ASSERT_TRUE(form);
    int insertAttempts = 0;
    auto refuse = form->cdsDestino->BeforeInsert;
    form->cdsDestino->BeforeInsert = [&](TClientDataSet* ds) {
        ++insertAttempts;
        refuse(ds);
    };
    const int last = form->cdsDestino->RecordCount() - 1;
    focusCell(last, 2);
    QTest::keyClick(form->dbgPadrao, Qt::Key_Down); // past the end: Eof
    ASSERT_TRUE(form->cdsDestino->Eof());
    const int attemptsAtEof = insertAttempts;
    QTest::keyClick(form->dbgPadrao, Qt::Key_Down);
    QTest::keyClick(form->dbgPadrao, Qt::Key_Tab);
    EXPECT_EQ(insertAttempts, attemptsAtEof) << "Tab and Down are discarded at the end";
    EXPECT_EQ(form->cdsDestino->RecordCount(), last + 1);
    EXPECT_EQ(form->dbgPadrao->currentIndex().row(), last);
    EXPECT_TRUE(seam.shown.empty());

    // Any other key still reaches the grid and its editor.
    QTest::keyClick(form->dbgPadrao, Qt::Key_Z);
    QLineEdit* editor = form->dbgPadrao->InplaceEditor();
    ASSERT_TRUE(editor);
    EXPECT_TRUE(editor->text().endsWith('z'));
    QTest::keyClick(editor, Qt::Key_Escape);
    QTest::keyClick(form->dbgPadrao, Qt::Key_Up);
    EXPECT_FALSE(form->cdsDestino->Eof());
    EXPECT_EQ(form->dbgPadrao->currentIndex().row(), last - 1);
}

TEST_F(EditorGrid, APastedTextTheFieldCannotHoldIsRefusedWholeAndTheEditorKeepsItsText)
{
    TfrmTraducao* form = openWithRows();
    ASSERT_TRUE(form);
    focusCell(3, 2); // "Abrir"
    QTest::keyClick(form->dbgPadrao, Qt::Key_Return);
    QLineEdit* editor = form->dbgPadrao->InplaceEditor();
    ASSERT_TRUE(editor);
    editor->end(false);

    editor->insert(QStringLiteral(" Ω")); // what a paste does
    QApplication::processEvents();
    ASSERT_EQ(seam.count(RecordingDialogSeam::Error), 1);
    EXPECT_TRUE(seam.errors().first().contains("'Ω' (posição 6)")) << seam.errors().first().toStdString();
    EXPECT_EQ(editor->text(), "Open");
    EXPECT_EQ(form->dbgPadrao->InplaceEditor(), editor);

    editor->insert(QString(3997, QLatin1Char('a')));
    QApplication::processEvents();
    ASSERT_EQ(seam.count(RecordingDialogSeam::Error), 2);
    EXPECT_TRUE(seam.errors().last().contains("4001")) << seam.errors().last().toStdString();
    EXPECT_EQ(editor->text(), "Open") << "never cut short without a word";

    editor->insert(QString(3996, QLatin1Char('a'))); // exactly the field's size
    EXPECT_EQ(editor->text().size(), 4000);
    editor->setText("Open it");
    QTest::keyClick(editor, Qt::Key_Return);
    EXPECT_EQ(dbRow("ENG", "Abrir"), QStringList({"Open it", "T"}));
    EXPECT_EQ(seam.count(RecordingDialogSeam::Error), 2);
}

TEST_F(EditorGrid, MultiLineAndLongTextsCanBeReadInTheGridAndInTheDetailPanel)
{
    startServer(kIdiomas, {});
    TfrmTraducao* form = openEditor();
    ASSERT_TRUE(form);
    QString longo;
    for (int i = 0; longo.size() < 3000; ++i)
        longo += QStringLiteral("palavra%1 ").arg(i);
    loadLocalRows({{"Erro na aplicação.\nVerifique", "Error.\r\nCheck", "T"},
                   {"Erro na aplicação.Verifique", "Error.Check", "T"},
                   {"Erro na aplicação.¶Verifique", "Error.¶Check", "T"},
                   {longo, "Long", "T"}});
    focusCell(3, 0);
    const QImage image = render();

    // A line break is painted as a mark, not glued to the next line, and
    // unlike a "¶" typed into the text.
    for (int column : {1, 2}) {
        const QRect quebra = cell(0, column), colado = cell(1, column), digitado = cell(2, column);
        ASSERT_EQ(quebra.size(), digitado.size());
        EXPECT_FALSE(image.copy(quebra) == image.copy(colado)) << "column " << column;
        EXPECT_FALSE(image.copy(quebra) == image.copy(digitado)) << "column " << column;
    }

    // The whole of a long text is in the panel, wrapped to its width, and
    // scrolls there.
    ASSERT_EQ(form->lblOrigem->text(), longo);
    QApplication::processEvents();
    EXPECT_TRUE(form->lblOrigem->wordWrap());
    auto* area = qobject_cast<QScrollArea*>(form->lblOrigem->parentWidget()->parentWidget());
    ASSERT_TRUE(area);
    EXPECT_LE(form->lblOrigem->width(), area->viewport()->width());
    EXPECT_GT(form->lblOrigem->height(), area->viewport()->height());
    EXPECT_GT(area->verticalScrollBar()->maximum(), 0);
    EXPECT_FALSE(area->horizontalScrollBar()->isVisible());
}

TEST_F(EditorGrid, AReviewMarkAndAStatusShowOnScreenAsAFreshPaintOfTheGridWould)
{
    TfrmTraducao* form = openWithRows();
    ASSERT_TRUE(form);
    focusCell(0, 2);
    QAction* mark = form->revisao->itemMarcar();
    ASSERT_TRUE(QTest::qWaitFor([&] { return mark->isEnabled(); }));
    QApplication::processEvents();
    ASSERT_EQ(staleRows(), "");
    // The key marks the row and moves on: the seal, the selection on the next row.
    mark->trigger();
    QApplication::processEvents();
    ASSERT_EQ(form->cdsDestino->CurrentIndex(), 1);
    ASSERT_FALSE(revisao::MarcaDaLinha(*form->cdsDestino, 0).revisor.isEmpty());
    EXPECT_GT(count(render(), cell(0, 0), QColor(0, 90, 200), 40), 4) << "the seal";
    EXPECT_EQ(staleRows(), "") << "rows left as painted before the mark";
    // A status on the current row ("D" to "T"), then the row reviewed in it.
    Dispatch([&] { form->sbtTrad->Click(); });
    QApplication::processEvents();
    ASSERT_EQ(form->cdsDestino->FieldByName("IDSITTRADUCAO")->AsString(), "T");
    EXPECT_EQ(staleRows(), "") << "rows left as painted before the status";
    mark->trigger();
    QApplication::processEvents();
    EXPECT_EQ(staleRows(), "") << "rows left as painted before the second mark";
}

TEST_F(EditorGrid, TheLinesBetweenCellsAreWhereTheViewWouldStrokeThem)
{
    TfrmTraducao* form = openWithRows();
    ASSERT_TRUE(form);
    focusCell(0, 2);
    QAction* mark = form->revisao->itemMarcar();
    ASSERT_TRUE(QTest::qWaitFor([&] { return mark->isEnabled(); }));
    TDBGrid* grid = form->dbgPadrao;
    ASSERT_EQ(grid->gridStyle(), Qt::NoPen) << "the grid fills its lines itself";
    const auto differing = [](const QImage& a, const QImage& b) {
        int n = 0;
        for (int y = 0; y < qMin(a.height(), b.height()); ++y)
            for (int x = 0; x < qMin(a.width(), b.width()); ++x)
                n += a.pixel(x, y) != b.pixel(x, y) ? 1 : 0;
        return n + qAbs(a.width() * a.height() - b.width() * b.height());
    };
    // A whole paint, beside the view's own lines.
    const QImage filled = render().convertToFormat(QImage::Format_RGB32);
    grid->setGridStyle(Qt::SolidLine);
    const QImage stroked = render().convertToFormat(QImage::Format_RGB32);
    EXPECT_EQ(differing(filled, stroked), 0);
    EXPECT_GT(differing(stroked,
                        [&] {
                            grid->setShowGrid(false);
                            const QImage none = render().convertToFormat(QImage::Format_RGB32);
                            grid->setShowGrid(true);
                            return none;
                        }()),
              0)
        << "there are lines to compare";
    // Painted in parts (the mark's rows, the moved selection), the screen
    // equals the view's own whole paint.
    grid->setGridStyle(Qt::NoPen);
    QApplication::processEvents();
    mark->trigger();
    QApplication::processEvents();
    ASSERT_EQ(form->cdsDestino->CurrentIndex(), 1);
    grid->setGridStyle(Qt::SolidLine);
    EXPECT_EQ(staleRows(), "");
    grid->setGridStyle(Qt::NoPen);
}

TEST_F(EditorGrid, TheTermsPanelsSourceLineLooksAsTheStyleItselfDrawsIt)
{
    TfrmTraducao* form = openWithRows();
    ASSERT_TRUE(form);
    PainelTermos* painel = form->glossario->painel();
    ASSERT_TRUE(painel && painel->isVisible());
    QLineEdit* linha = painel->edtOrigem;
    ASSERT_NE(linha->style(), QApplication::style()) << "its frame is copied";
    focusCell(1, 2);
    ASSERT_TRUE(QTest::qWaitFor([&] { return linha->text() == QStringLiteral("Dúvida"); }));
    QApplication::processEvents();
    QWidget* janela = linha->window();
    const QRect onde(linha->mapTo(janela, QPoint(0, 0)), linha->size());
    const auto naTela = [&] {
        return janela->windowHandle()
            ->screen()
            ->grabWindow(janela->winId())
            .toImage()
            .copy(onde)
            .convertToFormat(QImage::Format_RGB32);
    };
    const auto desenho = [&] { return janela->grab(onde).toImage().convertToFormat(QImage::Format_RGB32); };
    // Moved on: its last paint, and a fresh one, with the frame copied.
    focusCell(2, 2);
    ASSERT_EQ(linha->text(), QStringLiteral("Nome"));
    const QImage mostrada = naTela();
    const QImage copiada = desenho();
    // The same line drawn by the style itself, over what lies beneath it.
    linha->setStyle(QApplication::style());
    linha->setAttribute(Qt::WA_OpaquePaintEvent, false);
    const QImage doEstilo = desenho();
    ASSERT_EQ(doEstilo.size(), onde.size());
    int diferentes = 0, aoVivo = 0;
    for (int y = 0; y < doEstilo.height(); ++y)
        for (int x = 0; x < doEstilo.width(); ++x) {
            diferentes += copiada.pixel(x, y) != doEstilo.pixel(x, y) ? 1 : 0;
            aoVivo += mostrada.pixel(x, y) != doEstilo.pixel(x, y) ? 1 : 0;
        }
    EXPECT_EQ(diferentes, 0) << "a fresh paint";
    EXPECT_EQ(aoVivo, 0) << "what the window shows after the move";
}

TEST_F(EditorGrid, AMarkNotMadeLeavesTheCursorOnItsRowWithTheReasonAndNoSeal)
{
    TfrmTraducao* form = openWithRows();
    ASSERT_TRUE(form);
    focusCell(0, 2);
    QAction* mark = form->revisao->itemMarcar();
    ASSERT_TRUE(QTest::qWaitFor([&] { return mark->isEnabled(); }));
    const auto semMarca = [&](int row) {
        return revisao::MarcaDaLinha(*form->cdsDestino, row).revisor.isEmpty()
            && count(render(), cell(row, 0), QColor(0, 90, 200), 40) == 0;
    };
    // Changed by a colleague since it was read: the server refuses the mark.
    changeBehindTheEditor(QStringLiteral("Salvar arquivo"), QStringLiteral("Save the file"));
    seam.clear();
    mark->trigger();
    QApplication::processEvents();
    EXPECT_EQ(seam.errors().size(), 1) << seam.errors().join('|').toStdString();
    EXPECT_EQ(form->cdsDestino->CurrentIndex(), 0) << "back on the refused row";
    EXPECT_TRUE(semMarca(0));
    EXPECT_TRUE(semMarca(1));
    EXPECT_EQ(staleRows(), "") << "rows left as painted while the mark was on its way";

    // The answer lost on its way back (no JSON-RPC answer): the connection's
    // message, and the cursor on the row whose mark is not known.
    focusCell(1, 2);
    ASSERT_TRUE(QTest::qWaitFor([&] { return mark->isEnabled(); }));
    seam.clear();
    proxy->answerNextWith(R"("result":)");
    mark->trigger();
    QApplication::processEvents();
    ASSERT_EQ(seam.errors().size(), 1) << seam.errors().join('|').toStdString();
    EXPECT_TRUE(seam.errors().constFirst().startsWith(
        QStringLiteral("Resposta inválida do servidor de aplicação em %1 à chamada de MarcaRevisao")
            .arg(form->netTraducao->Address())))
        << seam.errors().constFirst().toStdString();
    EXPECT_EQ(form->cdsDestino->CurrentIndex(), 1);
    EXPECT_TRUE(semMarca(1));
    EXPECT_TRUE(semMarca(2));
    EXPECT_EQ(staleRows(), "");

    // The connection opens again by itself: the key marks the row and moves on.
    seam.clear();
    mark->trigger();
    QApplication::processEvents();
    EXPECT_TRUE(seam.shown.empty()) << seam.errors().join('|').toStdString();
    EXPECT_EQ(form->cdsDestino->CurrentIndex(), 2);
    EXPECT_FALSE(revisao::MarcaDaLinha(*form->cdsDestino, 1).revisor.isEmpty());
    EXPECT_EQ(staleRows(), "");
}

// Not a check: leaves a picture of the editor for a person to look at when
// TRD_SCREENSHOT_DIR names a folder.
TEST_F(EditorGrid, Screenshot)
{
    const QString folder = qEnvironmentVariable("TRD_SCREENSHOT_DIR");
    if (folder.isEmpty())
        GTEST_SKIP() << "TRD_SCREENSHOT_DIR not set";
    TfrmTraducao* form = openWithRows();
    ASSERT_TRUE(form);
    focusCell(1, 2);
    main.grab().save(QDir(folder).filePath("editor.png"));
}

} // namespace
