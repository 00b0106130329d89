#pragma once
// The find-file animation of the busy panel, drawn with QPainter: a magnifier
// circling over a sheet of text. Frames follow the clock, not a count of
// calls, so however rarely the busy loop gets to repaint, the picture shows
// where the turn has got to; while nobody repaints it costs nothing.
#include <QElapsedTimer>
#include <QWidget>

namespace trd {

class TAnimate : public QWidget {
    Q_OBJECT
public:
    explicit TAnimate(QWidget* parent = nullptr);

    static constexpr int FrameCount = 24;
    static constexpr int FrameMs = 50; // one turn in 1.2 s

    // Running: frames follow the clock. Stopped: StopFrame is shown.
    bool Active() const { return m_active; }
    void SetActive(bool active);
    int StopFrame = 23;

    // The frame the clock is at (StopFrame when stopped).
    int Frame() const;

    QSize sizeHint() const override { return {48, 40}; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    bool m_active = false;
    QElapsedTimer m_clock;
};

} // namespace trd
