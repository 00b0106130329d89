#pragma once
// The date field of the shared library: a date without time of day typed as
// dd/mm/yyyy or picked from a calendar whose weekdays read Domingo to Sábado.
// A valid date shows in blue on the info-tip colour.
#include "FormEvents.h"
#include "TDateTime.h"

#include <QLineEdit>
#include <QPointer>

class QCalendarWidget;

namespace trd {

class TDateEditPlus : public QLineEdit {
    Q_OBJECT
public:
    explicit TDateEditPlus(QWidget* parent = nullptr);
    ~TDateEditPlus() override;

    // The date, or 0 when the text is empty or no valid date.
    TDateTime GetDate() const;
    // Shows the date (its day only); 0 empties the field.
    void SetDate(TDateTime date);
    bool HasValidDate() const;

    // When the text is neither empty nor a valid date: puts the focus back here
    // and shows the reason through MensErro, which does not return.
    void CheckValidDate();

    // Dates are kept without time of day; the property is there because forms
    // set it, and only false is meaningful for this field.
    bool SaveTime = false;

    // Runs when the focus moves from this field to another control of the
    // window (not when a popup such as its calendar opens).
    TNotifyEvent OnExit;
    TNotifyEvent OnChange;

    // The calendar: opened by the button at the right or by Alt+Down.
    void ShowCalendar();
    QWidget* CalendarPopup() const;
    QCalendarWidget* Calendar() const;

    static const QStringList& WeekdayNames(); // Domingo ... Sábado

protected:
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void updateLook();
    void pickDate(const QDate& date);

    QPointer<QWidget> m_popup;
    QCalendarWidget* m_calendar = nullptr;
};

} // namespace trd
