#include "app/slider_ctrl.h"

#include <QMouseEvent>
#include <algorithm>

namespace kinetra::app {

int ScrollCodeForAction(int action) {
    switch (action) {
        case QAbstractSlider::SliderSingleStepSub:
            return TB_LINEUP;
        case QAbstractSlider::SliderSingleStepAdd:
            return TB_LINEDOWN;
        case QAbstractSlider::SliderPageStepSub:
            return TB_PAGEUP;
        case QAbstractSlider::SliderPageStepAdd:
            return TB_PAGEDOWN;
        case QAbstractSlider::SliderMove:
            return TB_THUMBTRACK;
        case QAbstractSlider::SliderToMinimum:
            return TB_TOP;
        case QAbstractSlider::SliderToMaximum:
            return TB_BOTTOM;
        default:
            return -1;
    }
}

}  // namespace kinetra::app

CSliderCtrl::CSliderCtrl(QWidget* parent) : QSlider(Qt::Vertical, parent) {
    setInvertedAppearance(true);  // position 0 at the top
    setInvertedControls(true);    // the up keys move the thumb up, towards 0
    setSingleStep(1);
    setPageStep(20);  // a fifth of the range, as trackbars page
    setTracking(true);
    setFocusPolicy(Qt::StrongFocus);
    setTickPosition(QSlider::TicksBothSides);
    setTickInterval(1);
}

void CSliderCtrl::SetRange(int minimum, int maximum) {
    setRange(minimum, maximum);
    setPageStep(std::max(1, (maximum - minimum) / 5));
}

void CSliderCtrl::SetPos(int position) {
    setValue(std::clamp(position, minimum(), maximum()));
}

void CSliderCtrl::SetTicFreq(int frequency) {
    setTickInterval(frequency);
    setTickPosition(QSlider::TicksBothSides);
}

void CSliderCtrl::ClearTics() {
    setTickPosition(QSlider::NoTicks);
}

void CSliderCtrl::mouseReleaseEvent(QMouseEvent* event) {
    QSlider::mouseReleaseEvent(event);
    if (event->button() == Qt::LeftButton) emit ReleasedCapture();
}
