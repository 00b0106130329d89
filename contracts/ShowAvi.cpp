#include "ShowAvi.h"

#include "TApplication.h"

#include <QElapsedTimer>
#include <QEvent>
#include <QPainter>
#include <QPixmap>
#include <QPointer>
#include <QTimer>
#include <QWidget>

#include <array>
#include <cmath>

namespace trd {

namespace {

// A small frameless panel: a ring of dots turning, and the kind's text. The
// timer turns it whenever the event loop runs (between calls, or when a long
// loop processes messages); each Active paints it at once for the blocking case.
class BusyIndicator : public QWidget {
public:
    explicit BusyIndicator(QWidget* parent)
        : QWidget(parent, parent ? Qt::Widget : Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint)
    {
        setObjectName(QStringLiteral("aviShowAvi"));
        setAttribute(Qt::WA_TransparentForMouseEvents, false);
        // It paints every pixel of its rectangle, so showing it and turning it
        // never make Qt repaint the grid or panels beneath first.
        setAttribute(Qt::WA_OpaquePaintEvent);
        setFixedSize(220, 64);
        m_timer.setInterval(80);
        QObject::connect(&m_timer, &QTimer::timeout, this, [this] {
            m_step = (m_step + 1) % 12;
            update();
        });
    }

    void start(int kind)
    {
        m_kind = kind;
        const QString text = ShowAviText(kind);
        if (text != m_text) {
            m_text = text;
            dropFrames();
        }
        if (QWidget* host = parentWidget())
            move((host->width() - width()) / 2, (host->height() - height()) / 2);
        show();
        raise();
        m_timer.start();
        repaint();
    }

    void stop()
    {
        m_timer.stop();
        hide();
        m_kind = -1;
    }

    int kind() const { return m_kind; }

protected:
    // Each of the twelve turns is drawn once and kept: the indicator goes up
    // around every server call, and shaping its text and smoothing its dots
    // each time would cost more than the rest of its repaint.
    void paintEvent(QPaintEvent*) override
    {
        const qreal ratio = devicePixelRatioF();
        QPixmap& frame = m_frames[static_cast<std::size_t>(m_step)];
        if (frame.isNull() || frame.devicePixelRatio() != ratio) {
            frame = QPixmap(size() * ratio);
            frame.setDevicePixelRatio(ratio);
            QPainter painter(&frame);
            drawFrame(painter, m_step);
        }
        QPainter(this).drawPixmap(0, 0, frame);
    }

    void changeEvent(QEvent* event) override
    {
        if (event->type() == QEvent::PaletteChange || event->type() == QEvent::FontChange)
            dropFrames();
        QWidget::changeEvent(event);
    }

private:
    void dropFrames()
    {
        for (QPixmap& frame : m_frames)
            frame = QPixmap();
    }

    void drawFrame(QPainter& p, int step) const
    {
        p.setPen(QColor(90, 90, 90));
        p.setBrush(palette().color(QPalette::ToolTipBase));
        p.drawRect(rect().adjusted(0, 0, -1, -1));
        p.setRenderHint(QPainter::Antialiasing);
        const QPointF centre(32, height() / 2.0);
        for (int i = 0; i < 12; ++i) {
            const double angle = (i * 30.0) * M_PI / 180.0;
            const int age = (step - i + 12) % 12;
            QColor dot(20, 70, 160);
            dot.setAlpha(255 - age * 18);
            p.setPen(Qt::NoPen);
            p.setBrush(dot);
            p.drawEllipse(centre + QPointF(14 * std::cos(angle), 14 * std::sin(angle)), 3, 3);
        }
        p.setPen(palette().color(QPalette::ToolTipText));
        QFont f = font();
        f.setBold(true);
        p.setFont(f);
        p.drawText(rect().adjusted(58, 0, -8, 0), Qt::AlignVCenter | Qt::AlignLeft, m_text);
    }

    std::array<QPixmap, 12> m_frames;
    QTimer m_timer;
    QString m_text;
    int m_kind = -1;
    int m_step = 0;
};

// The one indicator of the process, re-created when its main form changes or dies.
QPointer<BusyIndicator> g_indicator;

} // namespace

QString ShowAviText(int kind)
{
    switch (kind) {
    case aviConectando: return QStringLiteral("Conectando...");
    case aviCarregandoIdiomas: return QStringLiteral("Carregando idiomas...");
    case aviProcessando:
    default: return QStringLiteral("Processando...");
    }
}

void ActiveShowAvi(QWidget* mainForm, int kind)
{
    QWidget* host = mainForm ? mainForm : Application()->MainForm();
    if (g_indicator && g_indicator->parentWidget() != host) {
        delete g_indicator.data();
    }
    if (!g_indicator)
        g_indicator = new BusyIndicator(host);
    g_indicator->start(kind);
}

void DeactiveShowAvi()
{
    if (!g_indicator)
        return;
    g_indicator->stop();
    // A floating indicator (no main form) belongs to nobody: do not keep it.
    if (!g_indicator->parentWidget())
        delete g_indicator.data();
}

bool ShowAviActive()
{
    return g_indicator && g_indicator->kind() >= 0;
}

int ShowAviKind()
{
    return g_indicator ? g_indicator->kind() : -1;
}

} // namespace trd
