// The status line under the main window's controls: what the program listens to, which force
// device it drives and in what state, and a hint about the sound that arrives ("listening", "no
// sound for 10 s"). Each part is a text of its own; the line shows them in that order, separated
// by wide gaps; when the line is too long, the input's text is cut short first. Shown on two
// lines: the input (its middle elided when too long), then the device and the hint; below them a
// problem, when there is one, as a warning with an icon that shows its details when clicked.
#pragma once

#include <QFontMetrics>
#include <QString>
#include <QWidget>

class QLabel;
class QToolButton;

namespace kinetra::app {

class StatusLine : public QWidget {
    Q_OBJECT

public:
    // Thread (all): user-interface thread.
    explicit StatusLine(QWidget* parent = nullptr);

    // The input: "What this computer plays — Built-in Audio", "Microphone — …", a file name.
    void SetInputText(const QString& text);
    // The device: "Xbox 360 Controller · rumble · connected".
    void SetDeviceText(const QString& text);
    // The hint about the sound: "listening", "no sound for 10 s", or empty.
    void SetHintText(const QString& text);
    // A problem (empty: none) and its details, shown when the warning is clicked.
    void SetProblem(const QString& text, const QString& detail);
    QString ProblemText() const { return m_problem; }
    // Lines the status needs: 2, or 3 with a problem.
    int LineCount() const { return m_problem.isEmpty() ? 2 : 3; }

    QString InputText() const { return m_input; }
    QString DeviceText() const { return m_device; }
    QString HintText() const { return m_hint; }
    // The whole line (before eliding): the non-empty parts joined by "  ·  ".
    QString Text() const;
    // The line as shown: where the whole line does not fit, the input's text is cut short
    // ("…") first, so that the device and the hint stay whole.
    QString ShownText() const;
    // That line for a width in pixels in the font of metrics.
    QString FittedText(const QFontMetrics& metrics, int width) const;

signals:
    // Any part changed.
    void Changed();

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void Refresh();

    QLabel* m_label = nullptr;   // the input
    QLabel* m_second = nullptr;  // the device and the hint
    QToolButton* m_warning = nullptr;
    QString m_problem;
    QString m_problemDetail;
    QString m_input;
    QString m_device;
    QString m_hint;
};

}  // namespace kinetra::app
