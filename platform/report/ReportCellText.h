#pragma once
// Text set in a table cell of a report: broken into the lines that fit the
// column's width, at the text's own line breaks, between words, and inside a
// word longer than the column. Measured at print resolution by the advances
// of its characters (a report may measure hundreds of thousands of cells, and
// shaping each would cost far more), so the lines are the same on paper, in a
// PDF and on the screen; kerning only ever draws a line a little narrower.
// Sizes in points.
#include <QFont>
#include <QFontMetricsF>
#include <QString>
#include <QStringList>

#include <array>
#include <unordered_map>

class QPaintDevice;

namespace trd {

// The device texts are measured on: 1200 dots per inch.
const QPaintDevice& ReportMeasureDevice();

class ReportCellText {
public:
    ReportCellText(double pointSize, bool bold);

    // From the top of one line to the top of the next.
    double lineHeight() const { return m_lineHeight; }
    double width(const QString& text) const;
    // How many lines the text takes in that width (1 for an empty text).
    int lineCount(const QString& text, double width) const;
    // The lines themselves, without the blanks or breaks they end with.
    QStringList lines(const QString& text, double width) const;

private:
    double advance(QChar c) const; // device pixels
    template <typename Visit>
    void breakLines(const QString& text, double width, Visit visit) const;

    QFont m_font;
    QFontMetricsF m_metrics;
    double m_scale; // device pixels per point
    double m_lineHeight; // points
    std::array<double, 256> m_latin1{}; // advances of Latin-1, read at once
    mutable std::unordered_map<char16_t, double> m_others; // the rest, as they come
};

} // namespace trd
