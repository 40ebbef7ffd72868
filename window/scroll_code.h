// The scroll codes a vertical slider's owner receives, as the slider rules know them.
#pragma once

namespace kinetra::window {

// Scroll codes of a vertical slider, as the window's scroll handler receives them.
enum ScrollCode : int {
    TB_LINEUP = 0,
    TB_LINEDOWN = 1,
    TB_PAGEUP = 2,
    TB_PAGEDOWN = 3,
    TB_THUMBPOSITION = 4,
    TB_THUMBTRACK = 5,
    TB_TOP = 6,
    TB_BOTTOM = 7,
    TB_ENDTRACK = 8,
};

}  // namespace kinetra::window
