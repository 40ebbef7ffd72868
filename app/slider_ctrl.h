// A vertical level slider in the manner of a trackbar: positions 0..100 with 0 at the top, the
// arrow and page keys moving towards the key's direction on screen, tick marks on both sides,
// and a notification when the mouse lets go of it.
#pragma once

#include <QAbstractSlider>
#include <QSlider>

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

signals:
    // The left mouse button was let go after the slider had taken the mouse.
    void ReleasedCapture();

protected:
    void mouseReleaseEvent(QMouseEvent* event) override;
};
