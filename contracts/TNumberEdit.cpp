#include "TNumberEdit.h"

#include "Dispatch.h"
#include "Exceptions.h"
#include "FloatFormat.h"
#include "TApplication.h"

#include <QKeyEvent>

namespace trd {

namespace {

bool isSeparator(QChar c)
{
    return c == u',' || c == u'.';
}

} // namespace

TNumberEdit::TNumberEdit(QWidget* parent) : QLineEdit(parent)
{
    setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    connect(this, &QLineEdit::textChanged, this, [this] {
        if (OnChange)
            Dispatch([this] { OnChange(this); });
    });
}

double TNumberEdit::GetNumber() const
{
    QString t = text().trimmed();
    if (t.isEmpty())
        return 0;
    t.replace(u',', u'.');
    double value = 0;
    return TryStrToFloat(t, u'.', value) ? value : 0;
}

void TNumberEdit::SetNumber(double value)
{
    QString t = QString::number(value, 'f', Decimals);
    if (Decimals > 0) {
        while (t.endsWith(u'0'))
            t.chop(1);
        if (t.endsWith(u'.'))
            t.chop(1);
    }
    setText(t.replace(u'.', DecimalSeparator()));
}

bool TNumberEdit::accepts(QChar ch) const
{
    const QString t = text();
    const int selStart = hasSelectedText() ? selectionStart() : cursorPosition();
    const int selLength = hasSelectedText() ? int(selectedText().size()) : 0;
    const QString outside = t.left(selStart) + t.mid(selStart + selLength);
    if (ch.isDigit()) {
        // Decimals after an existing separator are limited here too.
        const qsizetype sep = std::max(outside.indexOf(u','), outside.indexOf(u'.'));
        if (sep < 0 || selStart <= sep)
            return true;
        return outside.size() - sep - 1 < Decimals;
    }
    if (isSeparator(ch))
        return Decimals > 0 && outside.indexOf(u',') < 0 && outside.indexOf(u'.') < 0;
    if (ch == u'-')
        return selStart == 0 && !outside.startsWith(u'-');
    return false;
}

void TNumberEdit::keyPressEvent(QKeyEvent* event)
{
    const QString typed = event->text();
    if (typed.size() != 1 || !typed.at(0).isPrint() || (event->modifiers() & (Qt::ControlModifier | Qt::AltModifier))) {
        QLineEdit::keyPressEvent(event); // editing and navigation keys
        return;
    }
    QChar key = typed.at(0);
    if (OnKeyPress) {
        try {
            OnKeyPress(this, key);
        } catch (const EAbort&) {
            return; // refused by the handler: the key never reaches the field
        } catch (...) {
            Application()->HandleException();
            return;
        }
    }
    if (key.isNull() || !accepts(key))
        return;
    if (isSeparator(key))
        key = DecimalSeparator();
    insert(QString(key));
}

} // namespace trd
