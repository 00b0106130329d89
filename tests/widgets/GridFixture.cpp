#include "GridFixture.h"

#include "DataPacket.h"

#include <QApplication>
#include <QTest>
#include <QVBoxLayout>

namespace trd::test {

QByteArray samplePacket(int rows)
{
    QByteArray out;
    PacketWriter writer(out);
    std::vector<PacketField> fields(3);
    fields[0].name = "CODIGO";
    fields[0].size = 10;
    fields[1].name = "ORIGEM";
    fields[1].size = 40;
    fields[2].name = "DESTINO";
    fields[2].size = 40;
    writer.begin(fields);
    for (int i = 1; i <= rows; ++i) {
        writer.beginRow();
        writer.string(0, QStringLiteral("C%1").arg(i));
        writer.string(1, QStringLiteral("origem %1").arg(i));
        writer.string(2, QStringLiteral("destino %1").arg(i));
        writer.endRow();
    }
    writer.end();
    return out;
}

void GridTest::SetUp()
{
    window = std::make_unique<QWidget>();
    window->resize(640, 400);
    auto* layout = new QVBoxLayout(window.get());
    ds = new TClientDataSet(window.get());
    source = new TDataSource(window.get());
    source->SetDataSet(ds);
    grid = new TDBSortGrid(window.get());
    grid->SetDataSource(source);
    layout->addWidget(grid);
}

void GridTest::TearDown()
{
    window.reset();
}

void GridTest::load(int rows)
{
    ds->SetData(samplePacket(rows));
    window->show();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    grid->setFocus();
    QApplication::processEvents();
}

void GridTest::defineColumns()
{
    grid->Columns().Add(QStringLiteral("CODIGO"), QStringLiteral("Código"), 60, true);
    grid->Columns().Add(QStringLiteral("ORIGEM"), QStringLiteral("Idioma Origem"), 200);
    grid->Columns().Add(QStringLiteral("DESTINO"), QStringLiteral("Idioma Destino"), 200);
}

QWidget* GridTest::keyTarget() const
{
    if (QWidget* editor = grid->InplaceEditor())
        return editor;
    return grid;
}

void GridTest::key(int key, Qt::KeyboardModifiers modifiers)
{
    QTest::keyClick(keyTarget(), static_cast<Qt::Key>(key), modifiers);
}

void GridTest::type(const QString& text)
{
    for (QChar ch : text)
        QTest::keyClicks(keyTarget(), QString(ch));
}

QString GridTest::value(const char* field) const
{
    return ds->FieldByName(QString::fromLatin1(field))->AsString();
}

int GridTest::currentGridRow() const
{
    return grid->currentIndex().row();
}

} // namespace trd::test
