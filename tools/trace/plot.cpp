#include <QFileInfo>
#include <QFont>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QString>
#include <algorithm>
#include <cmath>
#include <vector>

#include "pipeline/band_plan.h"
#include "platform/block_format.h"
#include "tools/trace/trace.h"

namespace kinetra::trace {
namespace {

constexpr int kWidth = 1600;
constexpr int kTitleHeight = 70;
constexpr int kLaneHeight = 170;
constexpr int kLaneGap = 12;
constexpr int kAxisHeight = 40;
constexpr int kLeft = 170;
constexpr int kRight = 60;
constexpr double kTopDb = 95.0;  // a full-scale bin is 2^30, about 93 dB
// In hits mode the lanes draw the onset strength (the band's rise in half nepers) against the
// sensitivity it must pass, from 0 to this; the sensitivity is 3.4 at slider position 100.
constexpr double kTopStrength = 5.0;

// Level in dB above 1 (0 for silence), the scale the lanes draw levels on.
double Decibels(double level) {
    return level > 1.0 ? 10.0 * std::log10(level) : 0.0;
}

QString SettingsText(const Trace& t) {
    const Settings& s = t.settings;
    QString levels;
    for (int b = 0; b < kBands; ++b) {
        levels += QString::number(s.level[b]);
        if (s.disabled[b]) levels += QStringLiteral(" (off)");
        if (b + 1 < kBands) levels += QStringLiteral(", ");
    }
    return QStringLiteral("levels %1   strength %2 (gain %3)   %4   device \"%5\"")
        .arg(levels)
        .arg(s.strength)
        .arg(t.gain)
        .arg(s.locked ? QStringLiteral("Locked") : QStringLiteral("free"))
        .arg(QString::fromStdString(s.product));
}

}  // namespace

bool WritePlot(const Trace& trace, const std::string& path, std::string* error) {
    const int height = kTitleHeight + kBands * (kLaneHeight + kLaneGap) + kAxisHeight;
    QImage image(kWidth, height, QImage::Format_RGB32);
    image.fill(QColor(250, 250, 247));
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing, true);

    QFont title = p.font();
    title.setPixelSize(20);
    title.setBold(true);
    p.setFont(title);
    p.setPen(QColor(30, 30, 30));
    p.drawText(QRect(kLeft, 8, kWidth - kLeft - kRight, 28), Qt::AlignLeft | Qt::AlignVCenter,
               QStringLiteral("Kinetra trace of %1 (%2 mode)")
                   .arg(QFileInfo(QString::fromStdString(trace.file)).fileName(),
                        QString::fromLatin1(MapperModeName(trace.settings.mode))));
    QFont small = p.font();
    small.setPixelSize(13);
    small.setBold(false);
    p.setFont(small);
    const bool hits = trace.settings.mode == MapperMode::kHits;
    p.drawText(QRect(kLeft, 36, kWidth - kLeft - kRight, 22), Qt::AlignLeft | Qt::AlignVCenter,
               SettingsText(trace) +
                   (hits ? QStringLiteral("     blue: magnitude sent (right axis)   black: the "
                                          "band's own rise in half nepers (left axis)   red: "
                                          "sensitivity")
                         : QStringLiteral("     blue: magnitude sent (right axis)   black: "
                                          "loudest bin (dB, left axis)   red: threshold")));

    const int plotWidth = kWidth - kLeft - kRight;
    const std::size_t n = trace.rows.size();
    const double seconds0 =
        n ? trace.rows.front().seconds -
                static_cast<double>(kinetra::kBlockFrames) / kinetra::kSampleRate
          : 0.0;
    const double seconds1 = n ? trace.rows.back().seconds : 1.0;

    for (int b = 0; b < kBands; ++b) {
        const int top = kTitleHeight + b * (kLaneHeight + kLaneGap);
        const QRect lane(kLeft, top, plotWidth, kLaneHeight);
        p.fillRect(lane, QColor(255, 255, 255));
        p.setPen(QColor(200, 200, 200));
        p.drawRect(lane);

        p.setPen(QColor(30, 30, 30));
        p.drawText(QRect(8, top, kLeft - 56, kLaneHeight), Qt::AlignLeft | Qt::AlignVCenter,
                   QStringLiteral("Band %1\n%2-%3 Hz\n%4 Hz effect")
                       .arg(b + 1)
                       .arg(kinetra::pipeline::kBandEdges[b].lowHz)
                       .arg(kinetra::pipeline::kBandEdges[b].highHz)
                       .arg(trace.effectHz[b]));
        p.setPen(QColor(110, 110, 110));
        p.drawText(QRect(kLeft - 50, top - 2, 46, 16), Qt::AlignRight,
                   hits ? QStringLiteral("%1").arg(kTopStrength, 0, 'f', 0)
                        : QStringLiteral("%1 dB").arg(kTopDb, 0, 'f', 0));
        p.drawText(QRect(kLeft - 50, top + kLaneHeight - 14, 46, 16), Qt::AlignRight,
                   QStringLiteral("0"));
        p.drawText(QRect(kLeft + plotWidth + 4, top - 2, kRight - 6, 16), Qt::AlignLeft,
                   QStringLiteral("10000"));
        p.drawText(QRect(kLeft + plotWidth + 4, top + kLaneHeight - 14, kRight - 6, 16),
                   Qt::AlignLeft, QStringLiteral("0"));

        if (trace.settings.disabled[b] || n == 0) {
            p.setPen(QColor(150, 150, 150));
            p.drawText(lane, Qt::AlignCenter,
                       n == 0 ? QStringLiteral("no blocks") : QStringLiteral("disabled"));
            continue;
        }
        // Each column of pixels shows the largest values of the blocks that fall in it; with
        // fewer blocks than columns a block spans several columns.
        std::vector<double> mag(plotWidth, 0.0), level(plotWidth, 0.0);
        for (int x = 0; x < plotWidth; ++x) {
            const std::size_t from = static_cast<std::size_t>(x) * n / plotWidth;
            const std::size_t to =
                std::max(from + 1, static_cast<std::size_t>(x + 1) * n / plotWidth);
            for (std::size_t i = from; i < to && i < n; ++i) {
                mag[x] = std::max(mag[x], static_cast<double>(trace.rows[i].band[b].magnitude));
                const BandRow& row = trace.rows[i].band[b];
                level[x] = std::max(level[x], hits ? row.peakLevel : Decibels(row.highestLevel));
            }
        }
        auto yOfMag = [&](double m) { return top + kLaneHeight - m / 10000.0 * (kLaneHeight - 2); };
        // The left axis: dB of the loudest bin, or in hits mode the onset strength.
        const double topLevel = hits ? kTopStrength : kTopDb;
        auto yOfDb = [&](double v) {
            return top + kLaneHeight - std::min(v, topLevel) / topLevel * (kLaneHeight - 2);
        };
        QPainterPath area;
        area.moveTo(kLeft, top + kLaneHeight);
        for (int x = 0; x < plotWidth; ++x) area.lineTo(kLeft + x, yOfMag(mag[x]));
        area.lineTo(kLeft + plotWidth, top + kLaneHeight);
        area.closeSubpath();
        p.fillPath(area, QColor(60, 120, 215, 200));

        QPainterPath line;
        line.moveTo(kLeft, yOfDb(level[0]));
        for (int x = 1; x < plotWidth; ++x) line.lineTo(kLeft + x, yOfDb(level[x]));
        p.setPen(QPen(QColor(30, 30, 30, 200), 1.2));
        p.drawPath(line);

        const double gate = hits ? kinetra::analysis::HitsSensitivityOf(
                                       static_cast<std::uint32_t>(trace.settings.level[b]) / 5)
                                 : Decibels(trace.threshold[b]);
        p.setPen(QPen(QColor(210, 40, 40), 1.5, Qt::DashLine));
        p.drawLine(QPointF(kLeft, yOfDb(gate)), QPointF(kLeft + plotWidth, yOfDb(gate)));
        p.drawText(QRect(kLeft + plotWidth - 170, static_cast<int>(yOfDb(gate)) - 16, 166, 14),
                   Qt::AlignRight,
                   hits ? QStringLiteral("sensitivity %1").arg(gate, 0, 'f', 2)
                        : QStringLiteral("threshold %1 dB").arg(gate, 0, 'f', 1));
    }

    // Time axis.
    const int axisTop = kTitleHeight + kBands * (kLaneHeight + kLaneGap);
    p.setPen(QColor(60, 60, 60));
    const double span = std::max(seconds1 - seconds0, 1e-3);
    const double steps[] = {0.1, 0.2, 0.5, 1, 2, 5, 10, 20, 30, 60, 120, 300, 600};
    double step = steps[0];
    for (double s : steps) {
        step = s;
        if (span / s <= 12) break;
    }
    for (double t = std::ceil(seconds0 / step) * step; t <= seconds1 + 1e-9; t += step) {
        const double x = kLeft + (t - seconds0) / span * plotWidth;
        p.drawLine(QPointF(x, axisTop - kLaneGap), QPointF(x, axisTop - 4));
        p.drawText(QRectF(x - 40, axisTop, 80, 18), Qt::AlignHCenter,
                   QStringLiteral("%1 s").arg(t, 0, 'f', step < 1 ? 1 : 0));
    }
    p.end();
    if (!image.save(QString::fromStdString(path), "PNG")) {
        *error = "cannot write '" + path + "'";
        return false;
    }
    return true;
}

}  // namespace kinetra::trace
