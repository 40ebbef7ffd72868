// The program's icon: five band bars under a sine wave on a dark rounded square. Drawn in code
// so that the window needs no image plug-in; data/kinetra.svg is the same picture for the
// desktop entry.
#pragma once

#include <QIcon>
#include <QImage>

namespace kinetra::app {

// The icon drawn at size × size pixels. Thread: any (paints into an image only).
QImage DrawAppIcon(int size);
// The icon at 16, 24, 32, 48, 64, 128 and 256 pixels. Thread: user-interface thread.
QIcon MakeAppIcon();

}  // namespace kinetra::app
