// The About box: the program's name and version, a short notice and an OK button.
#pragma once

#include <QDialog>

class CAboutDlg : public QDialog {
    Q_OBJECT

public:
    // Builds the box with the font's dialog units. Thread: user-interface thread.
    explicit CAboutDlg(QWidget* parent = nullptr);

    // OK, Enter, Escape and the close box end it through the standard dialog handling.
    // DoModal shows it modally and returns the dialog's result. Thread: user-interface thread.
    int DoModal() { return exec(); }
};
