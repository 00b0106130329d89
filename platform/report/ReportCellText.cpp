#include "ReportCellText.h"

#include <QImage>
#include <QTextLayout>

#include <algorithm>

namespace trd {

namespace {

constexpr double MeasureDpi = 1200;

QFont cellFont(double pointSize, bool bold)
{
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setStyleHint(QFont::SansSerif);
    font.setHintingPreference(QFont::PreferNoHinting);
    font.setPointSizeF(pointSize);
    font.setBold(bold);
    return font;
}

// Line breaks of any system are one break; a tab is a blank.
QString normalized(const QString& text)
{
    QString out = text;
    out.replace(QStringLiteral("\r\n"), QString(QChar::LineSeparator));
    out.replace(u'\n', QChar::LineSeparator);
    out.replace(u'\r', QChar::LineSeparator);
    out.replace(u'\t', u' ');
    return out;
}

} // namespace

const QPaintDevice& ReportMeasureDevice()
{
    static const QImage image = [] {
        QImage i(1, 1, QImage::Format_RGB32);
        i.setDotsPerMeterX(qRound(MeasureDpi / 0.0254));
        i.setDotsPerMeterY(qRound(MeasureDpi / 0.0254));
        return i;
    }();
    return image;
}

ReportCellText::ReportCellText(double pointSize, bool bold)
    : m_font(cellFont(pointSize, bold)),
      m_metrics(m_font, &ReportMeasureDevice()),
      m_scale(ReportMeasureDevice().logicalDpiY() / 72.0),
      m_lineHeight(m_metrics.lineSpacing() / m_scale),
      m_widestLatin1(0)
{
    for (char16_t c = 0x20; c <= 0xFF; ++c)
        m_widestLatin1 = std::max(m_widestLatin1, m_metrics.horizontalAdvance(QChar(c)));
}

double ReportCellText::width(const QString& text) const
{
    return m_metrics.horizontalAdvance(text) / m_scale;
}

bool ReportCellText::fitsOnOneLine(const QString& text, double width) const
{
    for (QChar c : text)
        if (c == u'\n' || c == u'\r')
            return false;
    const double room = width * m_scale;
    // Most cells are short: a bound from their length spares measuring them.
    bool latin1 = true;
    for (QChar c : text)
        latin1 = latin1 && c.unicode() <= 0xFF;
    if (latin1 && static_cast<double>(text.size()) * m_widestLatin1 <= room)
        return true;
    return m_metrics.horizontalAdvance(text) <= room;
}

template <typename Visit>
void ReportCellText::breakLines(const QString& text, double width, Visit visit) const
{
    const QString t = normalized(text);
    QTextLayout layout(t, m_font, &ReportMeasureDevice());
    QTextOption option(Qt::AlignLeft);
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    layout.setTextOption(option);
    layout.beginLayout();
    for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
        line.setLineWidth(std::max(width, 1.0) * m_scale);
        visit(t, line.textStart(), line.textLength());
    }
    layout.endLayout();
}

int ReportCellText::lineCount(const QString& text, double width) const
{
    if (text.isEmpty() || fitsOnOneLine(text, width))
        return 1;
    int count = 0;
    breakLines(text, width, [&](const QString&, int, int) { ++count; });
    return std::max(count, 1);
}

QStringList ReportCellText::lines(const QString& text, double width) const
{
    if (text.isEmpty() || fitsOnOneLine(text, width))
        return {text};
    QStringList out;
    breakLines(text, width, [&](const QString& t, int start, int length) {
        QString line = t.mid(start, length);
        while (!line.isEmpty() && (line.back() == QChar::LineSeparator || line.back() == u' '))
            line.chop(1);
        out << line;
    });
    if (out.isEmpty())
        out << QString();
    return out;
}

} // namespace trd
