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

QString StatusLine::Text() const {
    QStringList parts;
    for (const QString* part : {&m_input, &m_device, &m_hint}) {
        if (!part->isEmpty()) parts << *part;
    }
    return parts.join(QStringLiteral("  \u00b7  "));
}

void StatusLine::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    Refresh();
}

void StatusLine::Refresh() {
    const QString text = Text();
    m_label->setText(m_label->fontMetrics().elidedText(text, Qt::ElideRight, m_label->width()));
    m_label->setToolTip(text);
    setAccessibleDescription(text);
    emit Changed();
}

}  // namespace kinetra::app
