#include "ReportCellText.h"

#include <QImage>

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
    bool plain = true;
    for (QChar c : text)
        plain = plain && c != u'\n' && c != u'\r' && c != u'\t';
    if (plain)
        return text;
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
    : m_font(cellFont(pointSize, bold)), m_metrics(m_font, &ReportMeasureDevice()),
      m_scale(ReportMeasureDevice().logicalDpiY() / 72.0), m_lineHeight(m_metrics.lineSpacing() / m_scale)
{
    for (char16_t c = 0; c < 256; ++c)
        m_latin1[c] = m_metrics.horizontalAdvance(QChar(c));
}

double ReportCellText::advance(QChar c) const
{
    const char16_t u = c.unicode();
    if (u < 256)
        return m_latin1[u];
    auto it = m_others.find(u);
    if (it == m_others.end())
        it = m_others.emplace(u, m_metrics.horizontalAdvance(c)).first;
    return it->second;
}

double ReportCellText::width(const QString& text) const
{
    return m_metrics.horizontalAdvance(text) / m_scale;
}

template <typename Visit>
void ReportCellText::breakLines(const QString& text, double width, Visit visit) const
{
    const QString t = normalized(text);
    const double room = std::max(width, 1.0) * m_scale;
    const qsizetype n = t.size();
    const QChar* p = t.constData();
    qsizetype paragraph = 0;
    for (;;) {
        qsizetype end = t.indexOf(QChar::LineSeparator, paragraph);
        if (end < 0)
            end = n;
        qsizetype pos = paragraph;
        do {
            // Fill a line: break after the last blank that fits, or inside
            // a word that alone is wider than the line.
            const qsizetype start = pos;
            double used = 0;
            qsizetype afterBlank = -1;
            qsizetype stop = end;
            for (qsizetype i = start; i < end; ++i) {
                const double a = advance(p[i]);
                if (used + a > room && p[i] != u' ') {
                    stop = afterBlank > start ? afterBlank : std::max(i, start + 1);
                    break;
                }
                used += a;
                if (p[i] == u' ')
                    afterBlank = i + 1;
            }
            qsizetype last = stop;
            while (last > start && p[last - 1] == u' ')
                --last;
            visit(t, start, last - start);
            pos = stop;
            while (pos < end && p[pos] == u' ')
                ++pos;
        } while (pos < end);
        if (end >= n)
            break;
        paragraph = end + 1;
    }
}

int ReportCellText::lineCount(const QString& text, double width) const
{
    int count = 0;
    breakLines(text, width, [&](const QString&, qsizetype, qsizetype) { ++count; });
    return std::max(count, 1);
}

QStringList ReportCellText::lines(const QString& text, double width) const
{
    QStringList out;
    breakLines(text, width, [&](const QString& t, qsizetype start, qsizetype length) { out << t.mid(start, length); });
    if (out.isEmpty())
        out << QString();
    return out;
}

} // namespace trd
