#include "app/status_line.h"

#include <QFontMetrics>
#include <QHBoxLayout>
#include <QLabel>
#include <QStringList>
#include <QStyle>
#include <QToolButton>
#include <QVBoxLayout>
#include <algorithm>

#include "app/services.h"
#include "window/toolkit.h"

namespace kinetra::app {

StatusLine::StatusLine(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("statusLine"));
    m_label = new QLabel(this);
    m_label->setObjectName(QStringLiteral("statusText"));
    m_label->setTextFormat(Qt::PlainText);
    m_label->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    m_label->setForegroundRole(QPalette::WindowText);
    m_second = new QLabel(this);
    m_second->setObjectName(QStringLiteral("statusDetail"));
    m_second->setTextFormat(Qt::PlainText);
    m_second->setForegroundRole(QPalette::WindowText);
    m_warning = new QToolButton(this);
    m_warning->setObjectName(QStringLiteral("statusProblem"));
    m_warning->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    m_warning->setAutoRaise(true);
    m_warning->setIcon(style()->standardIcon(QStyle::SP_MessageBoxWarning));
    m_warning->setIconSize(QSize(14, 14));
    m_warning->setCursor(Qt::PointingHandCursor);
    QPalette warningColours = m_warning->palette();
    warningColours.setColor(QPalette::ButtonText, QColor(0xC0, 0x30, 0x10));
    m_warning->setPalette(warningColours);
    m_warning->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
    m_warning->hide();
    connect(m_warning, &QToolButton::clicked, this, [this] {
        ShowMessageBox(window(), m_problem, QString::fromLatin1(window::kErrorCaption),
                       MessageIcon::Exclamation, m_problemDetail);
    });
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(m_label);
    layout->addWidget(m_second);
    layout->addWidget(m_warning);
    layout->addStretch(1);
    setAccessibleName(QStringLiteral("Status"));
}

void StatusLine::SetProblem(const QString& text, const QString& detail) {
    if (text == m_problem && detail == m_problemDetail) return;
    m_problem = text;
    m_problemDetail = detail;
    m_warning->setVisible(!text.isEmpty());
    m_warning->setToolTip(QStringLiteral("Click for the details"));
    m_warning->setAccessibleName(text);
    Refresh();
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
    return Joined(m_label->text(), m_second->text(), QString());
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
    const QFontMetrics metrics = m_label->fontMetrics();
    const int width = std::max(1, this->width());
    m_label->setText(metrics.elidedText(m_input, Qt::ElideMiddle, width));
    m_second->setText(
        metrics.elidedText(Joined(QString(), m_device, m_hint), Qt::ElideMiddle, width));
    m_warning->setText(metrics.elidedText(m_problem, Qt::ElideMiddle, width - 24));
    m_label->setToolTip(text);
    setAccessibleDescription(text);
    emit Changed();
}

}  // namespace kinetra::app
