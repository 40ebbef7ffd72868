#include "app/hyperlink.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QUrl>

#include "app/services.h"

CZCommon_HyperLink::CZCommon_HyperLink(QWidget* parent) : QLabel(parent) {
    setCursor(Qt::PointingHandCursor);
    setFocusPolicy(Qt::TabFocus);
    setTextFormat(Qt::PlainText);
    QFont underlined = font();
    underlined.setUnderline(true);
    setFont(underlined);
    QPalette linkColours = palette();
    linkColours.setColor(QPalette::WindowText, linkColours.color(QPalette::Link));
    setPalette(linkColours);
}

void CZCommon_HyperLink::SetURL(const QString& url) {
    m_url = url;
    setToolTip(url);
}

bool CZCommon_HyperLink::Follow() {
    if (m_url.isEmpty()) return false;
    return kinetra::app::OpenUrl(QUrl(m_url));
}

void CZCommon_HyperLink::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint())) {
        Follow();
        event->accept();
        return;
    }
    QLabel::mouseReleaseEvent(event);
}

void CZCommon_HyperLink::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Space) {
        Follow();
        event->accept();
        return;
    }
    QLabel::keyPressEvent(event);
}
