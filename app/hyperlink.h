// A static text that opens a web address when clicked: blue, underlined, with a pointing-hand
// cursor, reachable with the keyboard (Space while focused opens it too).
#pragma once

#include <QLabel>
#include <QString>

class CZCommon_HyperLink : public QLabel {
    Q_OBJECT

public:
    // Thread (all): user-interface thread.
    explicit CZCommon_HyperLink(QWidget* parent = nullptr);

    // The address opened on a click. The text shown stays what it is.
    void SetURL(const QString& url);
    QString URL() const { return m_url; }

    // Opens the address through kinetra::app::OpenUrl; false without an address or when the
    // desktop could not open it.
    bool Follow();

protected:
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    QString m_url;
};
