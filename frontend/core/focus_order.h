// Where the keyboard focus of the skinned window goes: Tab and Shift+Tab walk
// the enabled elements in reading order. Portable: no Windows header.
#pragma once

#include <cstddef>
#include <cstdint>

namespace vossel {

// An element as the focus walk sees it: its top-left corner and whether it
// takes the focus now.
struct FocusCandidate {
    int32_t left;
    int32_t top;
    bool enabled;
};

// The element Tab (backward false) or Shift+Tab (backward true) moves the
// focus to from current (-1 or any index outside the list: none has it): the
// next enabled one in reading order (top to bottom, then left to right,
// ties by index), wrapping round at the ends; from none, the first (or, going
// backward, the last) enabled one. -1 when no element is enabled.
int NextFocus(const FocusCandidate* elements, size_t count, int current, bool backward);

}  // namespace vossel
