// Where the main window opens: centred on the work area (the monitor less
// its task bar) of the monitor that holds the cursor. Portable: no Windows
// header; rectangles are the platform's, right and bottom exclusive.
#pragma once

#include <cstdint>

#include "skin_scale.h"

namespace vossel {

// The top-left corner of a width x height window centred on workArea.
// Choice: a window larger than the work area keeps its top-left corner on
// the work area's, so its header, by which it is dragged, and its buttons at
// the top stay on screen.
struct WindowOrigin {
    int32_t x;
    int32_t y;
};
WindowOrigin CentredOrigin(const EdgeRect& workArea, int32_t width, int32_t height);

}  // namespace vossel
