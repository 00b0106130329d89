#include "TDBText.h"

#include <QPainter>

namespace trd {

TDBText::TDBText(QWidget* parent) : QWidget(parent)
{
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Preferred);
    // Not transparent: it fills its place with its parent's colour, so a new
    // text repaints the label only, not the panel beneath.
    setAutoFillBackground(true);
}

void TDBText::SetDataSource(TDataSource* source)
{
    TDataSource::Relink(m_dataSource, source, this, [this] { refresh(); });
    refresh();
}

void TDBText::SetDataField(const QString& field)
{
    m_dataField = field;
    refresh();
}

void TDBText::setText(const QString& text)
{
    if (text == m_text)
        return;
    m_text = text;
    update();
}

QSize TDBText::sizeHint() const
{
    const QFontMetrics metrics = fontMetrics();
    return {metrics.averageCharWidth() * 10, metrics.height() + 2};
}

QSize TDBText::minimumSizeHint() const
{
    return {0, fontMetrics().height()};
}

void TDBText::paintEvent(QPaintEvent*)
{
    if (m_text.isEmpty())
        return;
    QPainter painter(this);
    painter.setPen(palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled, QPalette::WindowText));
    const QRect area = contentsRect();
    // One line, cut with an ellipsis when the place is too narrow.
    QString shown = m_text;
    shown.replace(QLatin1Char('\r'), QLatin1Char(' ')).replace(QLatin1Char('\n'), QLatin1Char(' '));
    painter.drawText(area, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine,
                     fontMetrics().elidedText(shown, Qt::ElideRight, area.width()));
}

void TDBText::refresh()
{
    TClientDataSet* ds = m_dataSource ? m_dataSource->DataSet() : nullptr;
    TField* field = ds && ds->Active() && !m_dataField.isEmpty() ? ds->FindField(m_dataField) : nullptr;
    setText(field && !ds->IsEmpty() ? field->AsString() : QString());
}

} // namespace trd
