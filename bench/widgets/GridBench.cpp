// Times the data grid on a large data set: what the user waits for when a
// big answer is loaded into the editor's grid and when moving through it.
#include "DataPacket.h"
#include "TClientDataSet.h"
#include "TDBGrid.h"
#include "TDataSource.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QHeaderView>
#include <QTest>

#include <algorithm>
#include <cstdio>
#include <vector>

using namespace trd;

namespace {

QByteArray packet(int rows)
{
    QByteArray out;
    PacketWriter writer(out);
    std::vector<PacketField> fields(3);
    fields[0].name = "IDSITTRADUCAO";
    fields[0].size = 1;
    fields[1].name = "STAGRVALPROP";
    fields[1].size = 4000;
    fields[2].name = "STVALORPROP";
    fields[2].size = 4000;
    writer.begin(fields);
    const char* status[] = {"T", "D", "N"};
    for (int i = 0; i < rows; ++i) {
        writer.beginRow();
        writer.string(0, std::string_view(status[i % 3]));
        writer.string(1, QStringLiteral("Texto de origem número %1 da tela").arg(i));
        writer.string(2, QStringLiteral("Translated screen text number %1").arg(i));
        writer.endRow();
    }
    writer.end();
    return out;
}

double ms(const QElapsedTimer& t)
{
    return static_cast<double>(t.nsecsElapsed()) / 1e6;
}

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int rows = argc > 1 ? std::atoi(argv[1]) : 1000000;

    TClientDataSet ds;
    QElapsedTimer t;
    t.start();
    ds.SetData(packet(rows));
    std::printf("rows: %d (packet built and loaded in %.0f ms, not the grid's)\n", rows, ms(t));

    TDataSource source;
    source.SetDataSet(&ds);
    TDBGrid grid;
    grid.resize(1000, 600);
    grid.Columns().Add(QStringLiteral("IDSITTRADUCAO"), QStringLiteral("Sit."), 23, true);
    grid.Columns().Add(QStringLiteral("STAGRVALPROP"), QStringLiteral("Idioma Origem"), 437, true);
    grid.Columns().Add(QStringLiteral("STVALORPROP"), QStringLiteral("Idioma Destino"), 532);
    int painted = 0;
    grid.OnDrawColumnCell = [&](TDBGrid* sender, const QRect& rect, int, TColumn* column, TGridDrawState) {
        ++painted;
        TCanvas* c = sender->Canvas();
        c->Brush.Color = clInfoBk();
        c->FillRect(rect);
        c->TextRect(rect, rect.left() + 2, rect.top() + 2, column->Field()->AsString());
    };
    grid.show();
    if (!QTest::qWaitForWindowExposed(&grid))
        return 1;

    t.restart();
    grid.SetDataSource(&source);
    std::printf("bind (model over every row): %.1f ms\n", ms(t));

    t.restart();
    grid.viewport()->grab();
    std::printf("first paint: %.1f ms (%d cells)\n", ms(t), painted);

    t.restart();
    ds.Last();
    grid.viewport()->grab();
    std::printf("jump to the last row and paint: %.1f ms\n", ms(t));

    t.restart();
    ds.SetData(packet(rows));
    const double reload = ms(t);
    t.restart();
    grid.viewport()->grab();
    std::printf("reload (data set %.0f ms) then paint: %.1f ms\n", reload, ms(t));

    std::vector<double> downs;
    ds.First();
    grid.setFocus();
    for (int i = 0; i < 200; ++i) {
        t.restart();
        QTest::keyClick(&grid, Qt::Key_Down);
        grid.viewport()->grab();
        downs.push_back(ms(t));
    }
    std::printf("Down key and repaint: median %.2f ms, max %.2f ms\n", median(downs),
                *std::max_element(downs.begin(), downs.end()));

    std::vector<double> pages;
    for (int i = 0; i < 100; ++i) {
        t.restart();
        QTest::keyClick(&grid, Qt::Key_PageDown);
        grid.viewport()->grab();
        pages.push_back(ms(t));
    }
    std::printf("PageDown and repaint: median %.2f ms\n", median(pages));

    // A saved edit as the editor makes it: edit, post, merge the change log,
    // and let the grid repaint what changed.
    std::vector<double> saves, dataOnly;
    for (int i = 0; i < 200; ++i) {
        t.restart();
        ds.Edit();
        ds.FieldByName(QStringLiteral("IDSITTRADUCAO"))->SetAsString(i % 2 ? QStringLiteral("T") : QStringLiteral("N"));
        ds.Post();
        ds.MergeChangeLog();
        dataOnly.push_back(ms(t));
        QApplication::processEvents();
        saves.push_back(ms(t));
    }
    std::sort(saves.begin(), saves.end());
    std::printf("edit, post, merge and repaint: median %.2f ms (data set and grid bookkeeping %.2f ms), p99 %.2f ms\n",
                saves[saves.size() / 2], median(dataOnly), saves[saves.size() * 99 / 100]);
    {
        std::vector<double> paints;
        for (int i = 0; i < 50; ++i) {
            t.restart();
            grid.viewport()->repaint();
            paints.push_back(ms(t));
        }
        std::printf("full repaint of the cells: median %.2f ms\n", median(paints));
        grid.DefaultDrawing = false;
        paints.clear();
        for (int i = 0; i < 50; ++i) {
            t.restart();
            grid.viewport()->repaint();
            paints.push_back(ms(t));
        }
        std::printf("full repaint without the default drawing under the handler: median %.2f ms\n", median(paints));
        grid.DefaultDrawing = true;
    }

    QModelIndex probe = grid.model()->index(rows / 2, 2);
    t.restart();
    const int reads = 1000000;
    qsizetype total = 0;
    for (int i = 0; i < reads; ++i)
        total += grid.model()->data(probe).toString().size();
    std::printf("model data(): %.0f ns a call (%lld)\n", ms(t) * 1e6 / reads, static_cast<long long>(total));
    return 0;
}
