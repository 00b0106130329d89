#pragma once
// A shown data grid on a data source over a small translation-like data set,
// with the dialog seam recording: the common ground of the grid tests.
#include "RecordingDialogSeam.h"
#include "TClientDataSet.h"
#include "TDBSortGrid.h"
#include "TDataSource.h"

#include <QWidget>
#include <gtest/gtest.h>

#include <memory>

namespace trd::test {

// A packet with fields CODIGO (string 10), ORIGEM (string 40), DESTINO
// (string 40) and rows "C1".."Cn" whose texts are "origem i" / "destino i".
QByteArray samplePacket(int rows);

class GridTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Loads rows and shows the grid with the focus on it.
    void load(int rows);
    void key(int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier);
    void type(const QString& text);
    // The widget that has the keyboard: the in-place editor while editing.
    QWidget* keyTarget() const;
    QString value(const char* field) const;
    int currentGridRow() const;
    // Columns CODIGO (read-only), ORIGEM, DESTINO.
    void defineColumns();

    RecordingDialogSeam seam;
    std::unique_ptr<QWidget> window;
    TClientDataSet* ds = nullptr;
    TDataSource* source = nullptr;
    TDBSortGrid* grid = nullptr;
};

} // namespace trd::test
