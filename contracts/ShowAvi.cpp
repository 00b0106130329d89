#include "ShowAvi.h"

#include "TApplication.h"

#include <QElapsedTimer>
#include <QEvent>
#include <QPainter>
#include <QPixmap>
#include <QPointer>
#include <QTimer>
#include <QWidget>

#include <algorithm>
#include <array>
#include <cmath>

namespace trd {

namespace {

// A small frameless panel: a ring of dots turning, and the kind's text. Its
// timers run whenever the event loop does (between calls, or when a long loop
// processes messages); pump() does their work while a synchronous call blocks.
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
        hide();
        m_turn.setInterval(FrameMs);
        QObject::connect(&m_turn, &QTimer::timeout, this, [this] { turn(); });
        m_reveal.setSingleShot(true);
        QObject::connect(&m_reveal, &QTimer::timeout, this, [this] { reveal(); });
    }

    void start(int kind)
    {
        const bool switching = m_kind >= 0;
        m_kind = kind;
        const QString text = ShowAviText(kind);
        if (text != m_text) {
            m_text = text;
            dropFrames();
        }
        if (QWidget* host = parentWidget())
            move((host->width() - width()) / 2, (host->height() - height()) / 2);
        if (isVisible()) {
            // Already up: show the new text now.
            raise();
            repaint();
            return;
        }
        // A new kind while waiting to appear keeps the first start's clock:
        // it is the same wait as far as the user is concerned.
        if (!switching)
            m_since.start();
        m_reveal.start(std::max<qint64>(0, ShowAviDelayMs - m_since.elapsed()));
    }

    void stop()
    {
        m_reveal.stop();
        m_turn.stop();
        if (isVisible())
            hide();
        m_kind = -1;
    }

    void pump()
    {
        if (m_kind < 0)
            return;
        if (!isVisible()) {
            if (m_since.elapsed() >= ShowAviDelayMs)
                reveal();
        } else if (m_lastFrame.elapsed() >= FrameMs) {
            turn();
            repaint();
        }
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
    static constexpr int FrameMs = 80;

    void reveal()
    {
        if (m_kind < 0 || isVisible())
            return;
        m_reveal.stop();
        show();
        raise();
        m_turn.start();
        m_lastFrame.start();
        // Painted at once: the caller is usually blocked and the event loop
        // will not run until the work is over.
        repaint();
    }

    void turn()
    {
        m_step = (m_step + 1) % 12;
        m_lastFrame.start();
        update();
    }

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
    QTimer m_turn;
    QTimer m_reveal;
    QElapsedTimer m_since; // since the indicator was asked for
    QElapsedTimer m_lastFrame; // since the last turn
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
    case aviConectando:
        return QStringLiteral("Conectando...");
    case aviCarregandoIdiomas:
        return QStringLiteral("Carregando idiomas...");
    case aviProcessando:
    default:
        return QStringLiteral("Processando...");
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

ShowAviScope::ShowAviScope(int kind)
{
    ActiveShowAvi(Application()->MainForm(), kind);
}

ShowAviScope::~ShowAviScope()
{
    DeactiveShowAvi();
}

void ShowAviPump()
{
    if (g_indicator)
        g_indicator->pump();
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
