#include "app/status_line.h"

#include <QFontMetrics>
#include <QHBoxLayout>
#include <QLabel>
#include <QStringList>

namespace kinetra::app {

StatusLine::StatusLine(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("statusLine"));
    m_label = new QLabel(this);
    m_label->setObjectName(QStringLiteral("statusText"));
    m_label->setTextFormat(Qt::PlainText);
    m_label->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    m_label->setForegroundRole(QPalette::PlaceholderText);
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_label);
    setAccessibleName(QStringLiteral("Status"));
}

void StatusLine::SetInputText(const QString& text) {
    if (text == m_input) return;
    m_input = text;
    Refresh();
}

void StatusLine::SetDeviceText(const QString& text) {
    if (text == m_device) return;
    m_device = text;
    Refresh();
}

void StatusLine::SetHintText(const QString& text) {
    if (text == m_hint) return;
    m_hint = text;
    Refresh();
}

namespace {

const QString& Separator() {
    static const QString separator = QStringLiteral("  \u00b7  ");
    return separator;
}

QString Joined(const QString& input, const QString& device, const QString& hint) {
    QStringList parts;
    for (const QString* part : {&input, &device, &hint}) {
        if (!part->isEmpty()) parts << *part;
    }
    return parts.join(Separator());
}

}  // namespace

QString StatusLine::Text() const {
    return Joined(m_input, m_device, m_hint);
}

QString StatusLine::ShownText() const {
    return m_label->text();
}

QString StatusLine::FittedText(const QFontMetrics& metrics, int width) const {
    const QString whole = Text();
    if (metrics.horizontalAdvance(whole) <= width) return whole;
    if (m_input.isEmpty()) return metrics.elidedText(whole, Qt::ElideRight, width);
    // The input's text gives way first, so that the device's state and the hint stay in view.
    const QString rest = Joined(QString(), m_device, m_hint);
    const int restWidth = rest.isEmpty() ? 0 : metrics.horizontalAdvance(Separator() + rest);
    const int inputWidth = width - restWidth;
    if (inputWidth < metrics.horizontalAdvance(QStringLiteral("What this\u2026"))) {
        return metrics.elidedText(whole, Qt::ElideRight, width);
    }
    const QString input = metrics.elidedText(m_input, Qt::ElideRight, inputWidth);
    return rest.isEmpty() ? input : input + Separator() + rest;
}

void StatusLine::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    Refresh();
}

void StatusLine::Refresh() {
    const QString text = Text();
    m_label->setText(FittedText(m_label->fontMetrics(), m_label->width()));
    m_label->setToolTip(text);
    setAccessibleDescription(text);
    emit Changed();
}

}  // namespace kinetra::app
