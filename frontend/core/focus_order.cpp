#include "focus_order.h"

#include <algorithm>
#include <vector>

namespace vossel {

int NextFocus(const FocusCandidate* elements, size_t count, int current, bool backward) {
    std::vector<int> order(count);
    for (size_t i = 0; i < count; ++i) order[i] = int(i);
    std::stable_sort(order.begin(), order.end(), [elements](int a, int b) {
        if (elements[a].top != elements[b].top) return elements[a].top < elements[b].top;
        return elements[a].left < elements[b].left;
    });
    if (backward) std::reverse(order.begin(), order.end());
    const auto at = std::find(order.begin(), order.end(), current);
    // From none, the walk starts before the first in its direction.
    const bool from_none = at == order.end();
    const size_t start = from_none ? 0 : size_t(at - order.begin()) + 1;
    for (size_t step = 0; step < count; ++step) {
        const size_t position = (start + step) % count;
        if (elements[order[position]].enabled) return order[position];
    }
    return -1;
}

}  // namespace vossel
