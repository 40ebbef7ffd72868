// Dialog units: the layout of the windows is given in units of the dialog font, a quarter of its
// average character width across and an eighth of its height down, so that it scales with the
// font.
#pragma once

class QFont;
class QFontMetrics;
class QLabel;

namespace kinetra::app {

// The font's base units in pixels: average character width and character height.
struct DialogBaseUnits {
    int cx = 0;
    int cy = 0;
};

// The smallest size of the windows' font, in points.
inline constexpr double kMinimumDialogPointSize = 8.0;
// The windows' font size for the desktop's font size (points): the same, but at least 8 points
// (a size of 0 or less, unknown, gives 8). Thread: any.
double DialogPointSize(double desktopPointSize);

// The windows' font: "MS Sans Serif", or the nearest sans-serif face the system has, at the
// desktop's font size (QApplication::font()), 8 points at least. Thread: user-interface thread.
QFont DialogFont();

// Base units of a font: the average width of the 52 Latin letters, rounded, and the font's
// line height. Thread: user-interface thread.
DialogBaseUnits BaseUnitsOf(const QFontMetrics& metrics);

// a × b ÷ c rounded to the nearest integer, halves away from zero; 0 when c is 0.
int MulDiv(int a, int b, int c);

// Horizontal dialog units to pixels: dlu × cx ÷ 4, rounded. Thread: any.
int DluToPixelsX(int dlu, const DialogBaseUnits& units);
// Vertical dialog units to pixels: dlu × cy ÷ 8, rounded. Thread: any.
int DluToPixelsY(int dlu, const DialogBaseUnits& units);

// Dialog units are a rounded average of the font's letters, so at some sizes a text needs a
// little more room than its place: a label that does not wrap widens to its text (rightwards);
// a wrapping one keeps its bottom and grows upwards as far as topLimit (pixels). Call after the
// label has its text, format and place. Thread: user-interface thread.
void FitLabel(QLabel* label, int topLimit);

}  // namespace kinetra::app
