#include "TDateEditPlus.h"

#include "Dispatch.h"
#include "MensErro.h"
#include "TCanvas.h"

#include <QAction>
#include <QCalendarWidget>
#include <QDate>
#include <QFocusEvent>
#include <QGridLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPainter>
#include <QRegularExpressionValidator>
#include <QTimer>
#include <QVBoxLayout>

#include <cmath>

namespace trd {

namespace {

QIcon calendarIcon()
{
    QPixmap pixmap(16, 16);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setPen(QColor(60, 60, 60));
    p.setBrush(Qt::white);
    p.drawRect(1, 2, 13, 12);
    p.fillRect(2, 3, 12, 3, QColor(180, 30, 30));
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 4; ++c)
            p.fillRect(3 + c * 3, 7 + r * 2, 2, 1, QColor(60, 60, 60));
    return QIcon(pixmap);
}

// The short forms a masked date field takes: "1/1/27" is 01/01/2027. A year of
// two digits falls in the hundred years around today's. Other texts as typed.
QString dataCompleta(const QString& text)
{
    static const QRegularExpression curta(QStringLiteral("^\\s*(\\d{1,2})/(\\d{1,2})/(\\d{2})\\s*$"));
    const QRegularExpressionMatch m = curta.match(text);
    if (!m.hasMatch())
        return text;
    const int hoje = QDate::currentDate().year();
    int ano = hoje / 100 * 100 + m.captured(3).toInt();
    if (ano > hoje + 50)
        ano -= 100;
    else if (ano <= hoje - 50)
        ano += 100;
    return QStringLiteral("%1/%2/%3").arg(m.captured(1), m.captured(2)).arg(ano);
}

} // namespace

const QStringList& TDateEditPlus::WeekdayNames()
{
    static const QStringList names = {
        QStringLiteral("Domingo"), QStringLiteral("Segunda"), QStringLiteral("Terça"),  QStringLiteral("Quarta"),
        QStringLiteral("Quinta"),  QStringLiteral("Sexta"),   QStringLiteral("Sábado"),
    };
    return names;
}

TDateEditPlus::TDateEditPlus(QWidget* parent) : QLineEdit(parent)
{
    setMaxLength(10);
    setValidator(new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9/]{0,10}")), this));
    setPlaceholderText(QStringLiteral("dd/mm/aaaa"));
    QAction* open = addAction(calendarIcon(), QLineEdit::TrailingPosition);
    open->setObjectName(QStringLiteral("actCalendario"));
    open->setToolTip(QStringLiteral("Calendário"));
    connect(open, &QAction::triggered, this, &TDateEditPlus::ShowCalendar);
    // Users type dates as digits, as into the framework's masked date edit:
    // a third digit in the day or month part starts the next part.
    connect(this, &QLineEdit::textEdited, this, [this](const QString& typed) {
        const qsizetype lastSlash = typed.lastIndexOf(u'/');
        if (cursorPosition() != typed.size() || typed.count(u'/') >= 2 || typed.size() - lastSlash - 1 != 3)
            return;
        setText(typed.left(typed.size() - 1) + u'/' + typed.back());
    });
    connect(this, &QLineEdit::textChanged, this, [this] {
        updateLook();
        if (OnChange)
            Dispatch([this] { OnChange(this); });
    });
    updateLook();
}

TDateEditPlus::~TDateEditPlus()
{
    delete m_popup.data();
}

TDateTime TDateEditPlus::GetDate() const
{
    TDateTime value = 0;
    if (!StrToDate(dataCompleta(text()), value))
        return 0;
    return std::floor(value);
}

void TDateEditPlus::SetDate(TDateTime date)
{
    setText(date == 0 ? QString() : DateToStr(std::floor(date)));
}

bool TDateEditPlus::HasValidDate() const
{
    TDateTime value = 0;
    return StrToDate(dataCompleta(text()), value);
}

void TDateEditPlus::CheckValidDate()
{
    if (text().trimmed().isEmpty() || HasValidDate())
        return;
    setFocus(Qt::OtherFocusReason);
    selectAll();
    MensErro(QStringLiteral("'%1' não é uma data válida.").arg(text().trimmed()));
}

void TDateEditPlus::updateLook()
{
    QPalette pal = palette();
    const QPalette standard = QPalette();
    if (HasValidDate()) {
        pal.setColor(QPalette::Base, clInfoBk());
        pal.setColor(QPalette::Text, QColor(0, 0, 255));
    } else {
        pal.setColor(QPalette::Base, standard.color(QPalette::Base));
        pal.setColor(QPalette::Text, standard.color(QPalette::Text));
    }
    setPalette(pal);
}

void TDateEditPlus::focusInEvent(QFocusEvent* event)
{
    QLineEdit::focusInEvent(event);
    // A filled date is typed over, as in a masked field, however the focus
    // came (a click would otherwise leave the cursor in a full field).
    if (event->reason() == Qt::MouseFocusReason || event->reason() == Qt::OtherFocusReason)
        QTimer::singleShot(0, this, [this] {
            if (hasFocus())
                selectAll();
        });
}

void TDateEditPlus::focusOutEvent(QFocusEvent* event)
{
    QLineEdit::focusOutEvent(event);
    const Qt::FocusReason reason = event->reason();
    if (reason == Qt::PopupFocusReason || reason == Qt::ActiveWindowFocusReason)
        return;
    // A short form is shown whole once the field is left.
    if (const QString completa = dataCompleta(text()); completa != text() && HasValidDate())
        SetDate(GetDate());
    if (m_popup && m_popup->isVisible())
        return;
    if (OnExit)
        Dispatch([this] { OnExit(this); });
}

void TDateEditPlus::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Down && (event->modifiers() & Qt::AltModifier)) {
        ShowCalendar();
        return;
    }
    QLineEdit::keyPressEvent(event);
}

void TDateEditPlus::ShowCalendar()
{
    if (!m_popup) {
        // Qt takes weekday names from the locale, which abbreviates them; the
        // calendar's own header is off and ours sits above its seven columns.
        m_popup = new QWidget(this, Qt::Popup);
        m_popup->setObjectName(QStringLiteral("popCalendario"));
        auto* layout = new QVBoxLayout(m_popup);
        layout->setContentsMargins(2, 2, 2, 2);
        layout->setSpacing(0);
        m_calendar = new QCalendarWidget(m_popup);
        m_calendar->setObjectName(QStringLiteral("calDatas"));
        m_calendar->setLocale(QLocale(QLocale::Portuguese, QLocale::Brazil));
        m_calendar->setFirstDayOfWeek(Qt::Sunday);
        m_calendar->setHorizontalHeaderFormat(QCalendarWidget::NoHorizontalHeader);
        m_calendar->setVerticalHeaderFormat(QCalendarWidget::NoVerticalHeader);
        m_calendar->setGridVisible(true);
        auto* header = new QWidget(m_popup);
        auto* names = new QGridLayout(header);
        names->setContentsMargins(0, 2, 0, 2);
        names->setSpacing(0);
        for (int i = 0; i < 7; ++i) {
            auto* label = new QLabel(WeekdayNames().at(i), header);
            label->setAlignment(Qt::AlignCenter);
            label->setObjectName(QStringLiteral("lblDia%1").arg(i));
            names->addWidget(label, 0, i);
            names->setColumnStretch(i, 1);
        }
        layout->addWidget(m_calendar);
        // Between the month bar and the days, where the calendar's own header was.
        if (auto* box = qobject_cast<QVBoxLayout*>(m_calendar->layout()))
            box->insertWidget(1, header);
        else
            layout->insertWidget(0, header);
        m_popup->setMinimumWidth(7 * 64);
        connect(m_calendar, &QCalendarWidget::clicked, this, &TDateEditPlus::pickDate);
        connect(m_calendar, &QCalendarWidget::activated, this, &TDateEditPlus::pickDate);
    }
    const TDateTime current = GetDate();
    m_calendar->setSelectedDate(current != 0 ? DateTimeToDate(current) : QDate::currentDate());
    m_popup->adjustSize();
    m_popup->move(mapToGlobal(QPoint(0, height())));
    m_popup->show();
    m_calendar->setFocus(Qt::PopupFocusReason);
}

QWidget* TDateEditPlus::CalendarPopup() const
{
    return m_popup;
}

QCalendarWidget* TDateEditPlus::Calendar() const
{
    return m_calendar;
}

void TDateEditPlus::pickDate(const QDate& date)
{
    SetDate(DateToDateTime(date));
    if (m_popup)
        m_popup->hide();
    setFocus(Qt::PopupFocusReason);
}

} // namespace trd
