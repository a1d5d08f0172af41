// The skin's scale sets: the artwork is drawn at 100, 150 and 200 percent,
// and the front end shows the set nearest to its window's DPI, never a
// stretched one. Coordinates of the skin are written at 100 percent; this is
// where they land in a set, and which bitmap resource holds a set's look.
// The artwork tool (tools/artwork/make_artwork.py) scales with the same rule.
// Portable: no Windows header.
#pragma once

#include <cstdint>

namespace vossel {

// The DPI at which a scale of 100 percent applies.
inline constexpr uint32_t kBaseDpi = 96;

// The sets in the order the artwork tool numbers them.
inline constexpr int kSkinScalePercents[] = {100, 150, 200};
inline constexpr int kSkinScaleCount = int(sizeof kSkinScalePercents / sizeof kSkinScalePercents[0]);

// Set k's bitmap of a look is the 100 percent resource plus k times this.
inline constexpr int kSkinSetResourceStep = 1000;

// The set for a DPI: the one whose percentage lies nearest to dpi / 96.
// Choice: halfway between two sets (120 DPI, 168 DPI) the larger one is
// taken, so text and hit targets never shrink below the user's setting; a DPI
// of 0, which a system without per-window DPI reports, gives 100.
int NearestSkinPercent(uint32_t dpi);

// The set's index in kSkinScalePercents; 0 for a percentage of no set.
int SkinSetIndex(int percent);

// A 100 percent resource id in the set of percent.
int SkinResource(int id, int percent);

// A coordinate (an edge, not a length) at percent: value * percent / 100,
// rounded half up. Rectangles are scaled edge by edge, so two elements that
// touch at 100 percent still touch, and a length may come out one pixel
// longer or shorter than length * percent / 100.
int32_t ScaleEdge(int32_t value, int percent);

struct EdgeRect {
    int32_t left;
    int32_t top;
    int32_t right;
    int32_t bottom;
};

inline bool operator==(const EdgeRect& a, const EdgeRect& b) {
    return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}

EdgeRect ScaleRect(const EdgeRect& rect, int percent);

}  // namespace vossel
