#include "app/slider_ctrl.h"

#include <QMouseEvent>
#include <QPainter>
#include <QPixmap>
#include <QStyle>
#include <QStyleOptionSlider>
#include <algorithm>
#include <array>
#include <cmath>

namespace {

// A disabled slider's groove, ticks and handle are drawn at this opacity over the window, so that
// it looks disabled also in palettes whose disabled colours equal the enabled ones.
constexpr double kDisabledOpacity = 0.4;
// The meter past its mark and the lamp: amber, clear on light and dark windows alike.
const QColor kStrongColour(255, 160, 0);
// Width of the meter's track in pixels, and the lamp's margin around the handle.
constexpr int kTrackWidth = 8;
constexpr int kLampMargin = 3;

}  // namespace

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
    setAttribute(Qt::WA_OpaquePaintEvent);  // paintEvent fills the background (see event)
    setInvertedAppearance(true);            // position 0 at the top
    setInvertedControls(true);              // the up keys move the thumb up, towards 0
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

bool CSliderCtrl::event(QEvent* event) {
    const bool handled = QSlider::event(event);
    // Styles clear the attribute when they polish a widget (Fusion does). Without it the window
    // beneath would be painted again under every meter change, and every control that overlaps
    // the slider with it.
    if (event->type() == QEvent::Polish) setAttribute(Qt::WA_OpaquePaintEvent);
    return handled;
}

void CSliderCtrl::mouseReleaseEvent(QMouseEvent* event) {
    QSlider::mouseReleaseEvent(event);
    if (event->button() == Qt::LeftButton) emit ReleasedCapture();
}

void CSliderCtrl::SetMeter(const kinetra::app::SliderMeter& meter) {
    if (meter == m_meter) return;
    m_meter = meter;
    if (!isVisible()) {
        m_drawn = meter;  // drawn whole when shown
        return;
    }
    // Only what the change moves on screen is drawn again: the rows of the track between where
    // its ends and mark were and are (a row more each way for rounding), and the lamp. Ends that
    // stay within a half row of the screen are not drawn again.
    const kinetra::window::MeterRedraw redraw = kinetra::window::MeterChangeOnRows(
        &m_drawn, meter, [this](double p) { return std::floor(2.0 * YOfPosition(p)); });
    if (redraw.track) {
        const QRectF track = TrackRect();
        const int top = static_cast<int>(std::floor(YOfPosition(redraw.top))) - 1;
        const int bottom = static_cast<int>(std::ceil(YOfPosition(redraw.bottom))) + 1;
        update(QRect(static_cast<int>(std::floor(track.left())) - 1, top,
                     static_cast<int>(std::ceil(track.width())) + 3, bottom - top + 1));
    }
    if (redraw.lamp) update(LampRect());
}

const CSliderCtrl::Parts& CSliderCtrl::Layout() const {
    const std::array<qint64, 7> key = {width(),
                                       height(),
                                       minimum(),
                                       maximum(),
                                       sliderPosition(),
                                       static_cast<qint64>(tickPosition()),
                                       static_cast<qint64>(reinterpret_cast<quintptr>(style()))};
    if (key == m_partsKey) return m_parts;
    m_partsKey = key;
    QStyleOptionSlider option;
    initStyleOption(&option);
    QStyle* const looks = style();
    m_parts.groove =
        looks->subControlRect(QStyle::CC_Slider, &option, QStyle::SC_SliderGroove, this);
    m_parts.handle =
        looks->subControlRect(QStyle::CC_Slider, &option, QStyle::SC_SliderHandle, this);
    option.sliderPosition = minimum();
    m_parts.top = looks->subControlRect(QStyle::CC_Slider, &option, QStyle::SC_SliderHandle, this)
                      .center()
                      .y();
    option.sliderPosition = maximum();
    m_parts.bottom =
        looks->subControlRect(QStyle::CC_Slider, &option, QStyle::SC_SliderHandle, this)
            .center()
            .y();
    return m_parts;
}

double CSliderCtrl::YOfPosition(double position) const {
    const Parts& parts = Layout();
    const double span = maximum() > minimum() ? maximum() - minimum() : 1;
    return parts.top +
           (parts.bottom - parts.top) *
               (std::clamp(position, double(minimum()), double(maximum())) - minimum()) / span;
}

QRectF CSliderCtrl::TrackRect() const {
    const Parts& parts = Layout();
    const double x = parts.groove.center().x() + 0.5 - kTrackWidth / 2.0;
    return QRectF(x, parts.top, kTrackWidth, parts.bottom - parts.top);
}

QRect CSliderCtrl::LampRect() const {
    // A pixel more than the lamp for its antialiased edge.
    const int margin = kLampMargin + 1;
    return Layout().handle.adjusted(-margin, -margin, margin, margin);
}

void CSliderCtrl::PaintTrack(QPainter& painter, kinetra::app::SliderMeter::Look look) const {
    using Look = kinetra::app::SliderMeter::Look;
    const QRectF track = TrackRect();
    const QPalette& pal = palette();
    painter.setRenderHint(QPainter::Antialiasing, false);
    switch (look) {
        case Look::kBandOff:
            painter.setPen(QPen(pal.color(QPalette::Active, QPalette::Mid), 1));
            painter.setBrush(
                QBrush(pal.color(QPalette::Active, QPalette::WindowText), Qt::BDiagPattern));
            painter.drawRect(track);
            break;
        case Look::kNoSignal: {
            QColor dashes = pal.color(QPalette::Active, QPalette::WindowText);
            dashes.setAlpha(150);
            painter.setPen(QPen(dashes, 1, Qt::DashLine));
            painter.setBrush(Qt::NoBrush);
            painter.drawRect(track);
            break;
        }
        case Look::kLive:
            painter.setPen(QPen(pal.color(QPalette::Active, QPalette::Mid), 1));
            painter.setBrush(pal.color(QPalette::Active, QPalette::Base));
            painter.drawRect(track);
            break;
        case Look::kNone:
            break;
    }
}

void CSliderCtrl::PaintFill(QPainter& painter) const {
    const double from = YOfPosition(m_meter.from);
    const double to = YOfPosition(m_meter.to);
    const double mark = m_meter.mark < 0 ? to : YOfPosition(m_meter.mark);
    const QRectF inner = TrackRect().adjusted(1, 0, 0, 0);
    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.setPen(Qt::NoPen);
    if (std::min(to, mark) > from) {
        painter.setBrush(palette().color(QPalette::Active, QPalette::Highlight));
        painter.drawRect(QRectF(inner.left(), from, inner.width(), std::min(to, mark) - from));
    }
    if (to > mark) {
        const double start = std::max(from, mark);
        painter.setBrush(kStrongColour);
        painter.drawRect(QRectF(inner.left(), start, inner.width(), to - start));
    }
}

void CSliderCtrl::paintEvent(QPaintEvent* event) {
    using Look = kinetra::app::SliderMeter::Look;
    QPainter painter(this);
    QStyleOptionSlider option;
    initStyleOption(&option);
    // A locked or disabled slider is drawn as an enabled one, faded: the style's own disabled
    // colours are too faint to read in some palettes.
    option.state |= QStyle::State_Enabled;

    // Everything but the meter's fill changes only with the slider's own state: drawn once into
    // pictures kept until then, so that the meter's many repaints mostly copy them.
    const std::array<qint64, 7> key = {width(),
                                       height(),
                                       static_cast<qint64>(option.state),
                                       option.sliderPosition,
                                       static_cast<qint64>(option.tickPosition),
                                       static_cast<qint64>(palette().cacheKey()),
                                       isEnabled() ? 1 : 0};
    if (key != m_chromeKey || m_chrome.devicePixelRatioF() != devicePixelRatioF()) {
        m_chromeKey = key;
        DrawPictures(option);
    }
    QPixmap& background = m_backgrounds[static_cast<std::size_t>(m_meter.look)];
    if (background.isNull()) {
        background = m_chrome.copy();
        QPainter track(&background);
        PaintTrack(track, m_meter.look);
    }
    // Only the parts asked for are drawn, one rectangle at a time, and the lamp and handle only
    // where they lie: a meter change repaints a few rows. Under a clip of one rectangle Qt copies
    // just that part of a picture; under a clip of several it blends span by span, and hands tall
    // blends to worker threads, whose wake-ups cost more than the copy.
    const QRect lamp = LampRect();
    for (const QRect& dirty : event->region()) {
        painter.setClipRect(dirty);
        painter.drawPixmap(0, 0, background);
        if (m_meter.look == Look::kLive) {
            PaintFill(painter);
            if (m_meter.lit && lamp.intersects(dirty)) painter.drawPixmap(0, 0, m_lamp);
        }
        if (lamp.intersects(dirty)) painter.drawPixmap(0, 0, m_handle);
    }
}

void CSliderCtrl::DrawPictures(const QStyleOptionSlider& option) {
    const qreal ratio = devicePixelRatioF();
    const double chrome = isEnabled() ? 1.0 : kDisabledOpacity;
    auto picture = [&](const QColor& fill) {
        QPixmap pixmap(size() * ratio);
        pixmap.setDevicePixelRatio(ratio);
        pixmap.fill(fill);
        return pixmap;
    };
    // The window's background too: the slider paints every pixel (no repaint of the window
    // beneath it).
    m_chrome = picture(palette().color(backgroundRole()));
    {
        QPainter painter(&m_chrome);
        QStyleOptionSlider under = option;
        under.subControls = QStyle::SC_SliderGroove | QStyle::SC_SliderTickmarks;
        painter.setOpacity(chrome);
        style()->drawComplexControl(QStyle::CC_Slider, &under, &painter, this);
    }
    for (QPixmap& background : m_backgrounds) background = QPixmap();  // drawn when first needed

    const QRect handle = Layout().handle;
    m_lamp = picture(Qt::transparent);
    {
        QPainter painter(&m_lamp);
        painter.setRenderHint(QPainter::Antialiasing, true);
        painter.setPen(Qt::NoPen);
        painter.setBrush(kStrongColour);
        painter.drawRoundedRect(
            QRectF(handle.adjusted(-kLampMargin, -kLampMargin, kLampMargin, kLampMargin)), 3, 3);
    }

    m_handle = picture(Qt::transparent);
    QPainter painter(&m_handle);
    QStyleOptionSlider over = option;
    over.subControls = QStyle::SC_SliderHandle;
    painter.setOpacity(chrome);
    style()->drawComplexControl(QStyle::CC_Slider, &over, &painter, this);
    if (!isEnabled()) {
        // A faded handle keeps a clear outline in the text colour, readable on light and dark
        // windows alike.
        QColor outline = palette().color(QPalette::Active, QPalette::WindowText);
        outline.setAlpha(170);
        painter.setOpacity(1.0);
        painter.setRenderHint(QPainter::Antialiasing, true);
        painter.setPen(QPen(outline, 1.2));
        painter.setBrush(Qt::NoBrush);
        painter.drawRoundedRect(QRectF(handle).adjusted(1.5, 1.5, -1.5, -1.5), 2, 2);
    }
}
