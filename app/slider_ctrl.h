// A vertical level slider in the manner of a trackbar: positions 0..100 with 0 at the top, the
// arrow and page keys moving towards the key's direction on screen, tick marks on both sides,
// and a notification when the mouse lets go of it.
#pragma once

#include <QAbstractSlider>
#include <QPixmap>
#include <QSlider>
#include <array>

#include "window/scroll_code.h"
#include "window/slider_meter.h"

class QPainter;
class QStyleOptionSlider;

namespace kinetra::app {

using enum kinetra::window::ScrollCode;

// The scroll code of a slider action, or -1 for none. With 0 at the top, a step towards the
// minimum is a step up: single steps are lines, page steps pages, dragging and the wheel are
// thumb tracking, and the moves to the minimum and maximum are top and bottom. Thread: any.
int ScrollCodeForAction(int action);

using kinetra::window::SliderMeter;

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
    bool event(QEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    // Where the style puts the groove and the handle, and the handle centre's y at the range's
    // ends; found again only when the size, range, position, ticks or style change.
    struct Parts {
        QRect groove;
        QRect handle;
        double top = 0.0;
        double bottom = 0.0;
    };
    const Parts& Layout() const;
    // The meter's empty track as look draws it, and the live meter's fill over it.
    void PaintTrack(QPainter& painter, kinetra::app::SliderMeter::Look look) const;
    void PaintFill(QPainter& painter) const;
    // The pictures that change only with the slider's own state (m_chromeKey).
    void DrawPictures(const QStyleOptionSlider& option);
    // The y coordinate of a position's handle centre.
    double YOfPosition(double position) const;
    // The meter's track, and the lamp around the handle.
    QRectF TrackRect() const;
    QRect LampRect() const;

    kinetra::app::SliderMeter m_meter;
    // The meter as the screen shows it: m_meter but for changes within a half row.
    kinetra::app::SliderMeter m_drawn;
    mutable Parts m_parts;
    mutable std::array<qint64, 7> m_partsKey{};
    // The background with the style's groove and ticks; that with each look's empty track (by
    // Look, drawn when first needed); the lamp and the handle alone, over the meter; and what
    // they were drawn for.
    QPixmap m_chrome;
    std::array<QPixmap, 4> m_backgrounds;
    QPixmap m_lamp;
    QPixmap m_handle;
    std::array<qint64, 7> m_chromeKey{};
};
