// The canvas the painting handlers draw on, checked pixel by pixel on an image.
#include "TCanvas.h"

#include <QImage>
#include <QPainter>
#include <gtest/gtest.h>

using namespace trd;

namespace {
QImage blank(int w, int h)
{
    QImage image(w, h, QImage::Format_RGB32);
    image.fill(Qt::white);
    return image;
}
} // namespace

TEST(Canvas, FillRectUsesTheBrushColour)
{
    QImage image = blank(20, 20);
    QPainter painter(&image);
    TCanvas canvas(&painter);
    canvas.Brush.Color = clInfoBk();
    canvas.FillRect(QRect(2, 2, 5, 5));
    painter.end();
    EXPECT_EQ(image.pixelColor(4, 4), clInfoBk());
    EXPECT_EQ(image.pixelColor(8, 8), QColor(Qt::white));
}

TEST(Canvas, TextRectStaysInsideItsRectangleInTheFontColour)
{
    QImage image = blank(200, 40);
    QPainter painter(&image);
    TCanvas canvas(&painter);
    canvas.Font.Color = QColor(255, 0, 0);
    const QRect rect(10, 5, 30, 20);
    canvas.TextRect(rect, rect.left() + 2, rect.top() + 2, QStringLiteral("WWWWWWWWWWWWWWWWWWWW"));
    painter.end();
    int inside = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (image.pixelColor(x, y) != QColor(Qt::white)) {
                ASSERT_TRUE(rect.contains(x, y)) << x << "," << y;
                ++inside;
            }
    EXPECT_GT(inside, 20);
    bool red = false;
    for (int x = rect.left(); x <= rect.right() && !red; ++x)
        for (int y = rect.top(); y <= rect.bottom() && !red; ++y)
            red = image.pixelColor(x, y) == QColor(255, 0, 0);
    EXPECT_TRUE(red);
}

TEST(Canvas, BrushCopyReplacesTheTransparentColourByTheBrush)
{
    // A 4x4 icon: olive background, one green "lamp" pixel block.
    QImage icon(4, 4, QImage::Format_RGB32);
    icon.fill(clOlive);
    icon.setPixelColor(1, 1, QColor(0, 200, 0));
    icon.setPixelColor(2, 2, QColor(0, 200, 0));

    QImage image = blank(20, 20);
    QPainter painter(&image);
    TCanvas canvas(&painter);
    canvas.Brush.Color = clHighlight();
    canvas.BrushCopy(QRect(5, 5, 4, 4), icon, QRect(0, 0, 4, 4), clOlive);
    painter.end();
    EXPECT_EQ(image.pixelColor(5, 5), clHighlight());
    EXPECT_EQ(image.pixelColor(6, 6), QColor(0, 200, 0));
    EXPECT_EQ(image.pixelColor(7, 7), QColor(0, 200, 0));
    EXPECT_EQ(image.pixelColor(8, 8), clHighlight());
    EXPECT_EQ(image.pixelColor(4, 4), QColor(Qt::white)); // nothing outside dest
    EXPECT_EQ(image.pixelColor(9, 9), QColor(Qt::white));
}

TEST(Canvas, DrawFocusRectOutlinesTheRectangleOnly)
{
    QImage image = blank(20, 20);
    QPainter painter(&image);
    TCanvas canvas(&painter);
    canvas.DrawFocusRect(QRect(2, 2, 10, 10));
    painter.end();
    int border = 0;
    for (int x = 2; x < 12; ++x)
        border += image.pixelColor(x, 2) != QColor(Qt::white) ? 1 : 0;
    EXPECT_GT(border, 2);
    EXPECT_EQ(image.pixelColor(6, 6), QColor(Qt::white));
}

TEST(Canvas, SystemColoursComeFromThePalette)
{
    EXPECT_EQ(clOlive, QColor(128, 128, 0));
    EXPECT_TRUE(clInfoBk().isValid());
    EXPECT_NE(clHighlight(), clCaptionText());
}
