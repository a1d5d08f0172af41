#include "window_placement.h"

namespace vossel {

namespace {

int32_t CentredStart(int32_t low, int32_t high, int32_t length) {
    const int64_t room = int64_t(high) - low - length;
    if (room <= 0) return low;
    return int32_t(low + room / 2);
}

}  // namespace

WindowOrigin CentredOrigin(const EdgeRect& workArea, int32_t width, int32_t height) {
    return {CentredStart(workArea.left, workArea.right, width), CentredStart(workArea.top, workArea.bottom, height)};
}

}  // namespace vossel
