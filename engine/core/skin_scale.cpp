#include "skin_scale.h"

namespace vossel {

int NearestSkinPercent(uint32_t dpi) {
    if (dpi == 0) return kSkinScalePercents[0];
    // Distances in units of 1/96 percent, so that no rounding decides a tie.
    const int64_t wanted = int64_t(dpi) * 100;
    int best = kSkinScalePercents[0];
    int64_t bestDistance = -1;
    for (int percent : kSkinScalePercents) {
        int64_t distance = wanted - int64_t(percent) * kBaseDpi;
        if (distance < 0) distance = -distance;
        if (bestDistance < 0 || distance <= bestDistance) {
            best = percent;
            bestDistance = distance;
        }
    }
    return best;
}

int SkinSetIndex(int percent) {
    for (int i = 0; i < kSkinScaleCount; ++i) {
        if (kSkinScalePercents[i] == percent) return i;
    }
    return 0;
}

int SkinResource(int id, int percent) { return id + SkinSetIndex(percent) * kSkinSetResourceStep; }

int32_t ScaleEdge(int32_t value, int percent) {
    const int64_t scaled = int64_t(value) * percent + 50;
    // Floor division, so that negative edges round half up as well.
    int64_t quotient = scaled / 100;
    if (scaled % 100 != 0 && scaled < 0) --quotient;
    return int32_t(quotient);
}

EdgeRect ScaleRect(const EdgeRect& rect, int percent) {
    return {ScaleEdge(rect.left, percent), ScaleEdge(rect.top, percent), ScaleEdge(rect.right, percent),
            ScaleEdge(rect.bottom, percent)};
}

}  // namespace vossel
