// A vertical level slider in the manner of a trackbar: positions 0..100 with 0 at the top, the
// arrow and page keys moving towards the key's direction on screen, tick marks on both sides,
// and a notification when the mouse lets go of it.
#pragma once

#include <QAbstractSlider>
#include <QSlider>

class QPainter;
class QStyleOptionSlider;

namespace kinetra::app {

// Scroll codes of a vertical slider, as its owner's scroll handler receives them.
enum ScrollCode : int {
    TB_LINEUP = 0,
    TB_LINEDOWN = 1,
    TB_PAGEUP = 2,
    TB_PAGEDOWN = 3,
    TB_THUMBPOSITION = 4,
    TB_THUMBTRACK = 5,
    TB_TOP = 6,
    TB_BOTTOM = 7,
    TB_ENDTRACK = 8,
};

// The scroll code of a slider action, or -1 for none. With 0 at the top, a step towards the
// minimum is a step up: single steps are lines, page steps pages, dragging and the wheel are
// thumb tracking, and the moves to the minimum and maximum are top and bottom. Thread: any.
int ScrollCodeForAction(int action);

// What a slider's groove shows besides the slider: a meter between two positions on the slider's
// own scale, the part past a mark (the threshold) in a stronger colour, and a lamp around the
// handle.
struct SliderMeter {
    enum class Look {
        kNone,      // a plain slider
        kLive,      // a meter: from .. to filled, the part past mark stronger
        kNoSignal,  // an empty meter with a dashed outline: no sound arrives
        kBandOff,   // a hatched groove, no meter: the band is disabled
    };
    Look look = Look::kNone;
    double from = 0.0;   // positions 0..100 on the slider's scale (0 at the top)
    double to = 0.0;     // from <= to; nothing is filled when they are equal
    double mark = -1.0;  // the meter is stronger past this position; below 0 for no mark
    bool lit = false;    // the lamp around the handle
    bool operator==(const SliderMeter&) const = default;
};

}  // namespace kinetra::app

class CSliderCtrl : public QSlider {
    Q_OBJECT

public:
    // Thread (all): user-interface thread.
    explicit CSliderCtrl(QWidget* parent = nullptr);

    void SetRange(int minimum, int maximum);
    // The position the slider shows (also while it is being dragged or moved by a key).
    int GetPos() const { return sliderPosition(); }
    // Moves the slider; the position is limited to the range.
    void SetPos(int position);
    // A tick mark every frequency positions, on both sides.
    void SetTicFreq(int frequency);
    // No tick marks.
    void ClearTics();
    bool HasTicks() const { return tickPosition() != QSlider::NoTicks; }
    // The meter in the groove; repaints only when it changes. A disabled slider keeps its meter
    // at full strength and draws its groove, ticks and handle faded, in any palette.
    void SetMeter(const kinetra::app::SliderMeter& meter);
    const kinetra::app::SliderMeter& Meter() const { return m_meter; }

signals:
    // The left mouse button was let go after the slider had taken the mouse.
    void ReleasedCapture();

protected:
    void mouseReleaseEvent(QMouseEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    // The meter's track and fill, between the slider's own parts.
    void PaintMeter(QPainter& painter, const QStyleOptionSlider& option) const;
    // The y coordinate of a position's handle centre.
    double YOfPosition(const QStyleOptionSlider& option, double position) const;

    kinetra::app::SliderMeter m_meter;
};
