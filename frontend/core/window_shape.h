// The main window's shape, cut out of the skin by a colour key: the runs of
// non-transparent pixels, row by row, as the rectangles of a region, and the
// batches in which they are handed to the platform. The front end copies the
// skin into a 32-bit-per-pixel device-independent bitmap, builds the shape
// from its bits, then makes one region per batch (ExtCreateRegion with the
// batch's rectangles and bound) and unites them in batch order (the first
// becomes the result, CombineRgn with RGN_OR for the others). Portable: no
// Windows header.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace vossel {

// Colours are COLORREF values: red in the low byte, green in the second, blue
// in the third; the high byte is not looked at.
inline constexpr uint32_t kSkinKeyColour = 0xFF00FF;  // magenta
inline constexpr uint32_t kSkinTolerance = 0x101010;  // 16 for each of red, green and blue

// The rectangles a region is made from at once; a shape with more runs is
// built from several regions.
inline constexpr size_t kShapeBatchRectangles = 2000;

// The skin and what its shape must come to: 580 x 262 pixels whose opaque
// part spans the columns 24 to 558 and the rows 20 to 238, in 228 runs.
inline constexpr int32_t kSkinWidth = 580;
inline constexpr int32_t kSkinHeight = 262;

// Laid out as the platform's RECT (four 32-bit values, left, top, right,
// bottom), so a batch copies straight into a region-data buffer after its
// 32-byte header. right and bottom are exclusive.
struct ShapeRect {
    int32_t left;
    int32_t top;
    int32_t right;
    int32_t bottom;
};
static_assert(sizeof(ShapeRect) == 16, "ShapeRect must match RECT");
static_assert(offsetof(ShapeRect, left) == 0 && offsetof(ShapeRect, top) == 4 && offsetof(ShapeRect, right) == 8 &&
                  offsetof(ShapeRect, bottom) == 12,
              "ShapeRect must match RECT");

inline bool operator==(const ShapeRect& a, const ShapeRect& b) {
    return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}

// One region's worth of rectangles: rectangles[first, first + count) of the
// shape, and their bounding box (the region-data header's rcBound).
struct ShapeBatch {
    size_t first;
    size_t count;
    ShapeRect bound;
};

struct WindowShape {
    // One per run of non-transparent pixels: (x0, y, x1, y + 1), rows from
    // the top (y = 0) down, runs in a row from left to right.
    std::vector<ShapeRect> rectangles;
    // In order: a full batch of kShapeBatchRectangles each time that many
    // have gathered, then always one last batch with what remains, which may
    // be empty (a shape with no runs, or one whose runs fill the full batches
    // exactly). Uniting an empty region changes nothing, so every batch may
    // be made and united alike, and there is always a first region to start
    // the result with. Choice: an empty batch's bound is (0, 0, 0, 0), not
    // the inverted box the scan starts from (left and top 2147483647, right
    // and bottom 0), so the region-data header never carries an inverted
    // rectangle.
    std::vector<ShapeBatch> batches;
    // The bounding box of all runs; (0, 0, 0, 0) when there are none.
    ShapeRect bound;
};

// How the bitmap's rows lie in memory. A device-independent bitmap with a
// positive height in its header (the usual GetDIBits copy) is bottom-up: the
// first row in memory is the picture's bottom row. With a negative height it
// is top-down. Either way the scan and the rectangles go from the picture's
// top row (y = 0) down, as the window's client coordinates do.
enum class DibRowOrder { kBottomUp, kTopDown };

// The bits of a 32-bit-per-pixel device-independent bitmap: width x height
// pixels of four bytes, blue, green, red and an unused byte, in that order;
// rows of width * 4 bytes with no padding (32-bit rows are always aligned).
struct DibPixels {
    const uint8_t* bits;
    size_t size;  // bytes readable at bits
    int32_t width;
    int32_t height;
    DibRowOrder rowOrder;
};

// The colour-key test: a pixel is transparent when its red, green and blue
// each lie within [low, high] of that channel, both bounds included, where
// low is the key's component and high the key's component plus the
// tolerance's, capped at 255. The key colour is the bottom of the range, not
// its middle: with magenta and 0x101010, red 255, green 0 to 16, blue 255.
class ColourKey {
public:
    ColourKey(uint32_t keyColour, uint32_t tolerance);

    bool Transparent(uint8_t red, uint8_t green, uint8_t blue) const;
    // A pixel of a 32-bit bitmap: blue, green, red, unused.
    bool TransparentPixel(const uint8_t* bgrx) const { return Transparent(bgrx[2], bgrx[1], bgrx[0]); }

private:
    uint8_t low_[3];   // red, green, blue
    uint8_t high_[3];
};

// The shape of the bitmap under the key. False, with shape emptied, when the
// bitmap's bytes are fewer than width * height * 4; a width or height of 0 or
// less is a bitmap without pixels, whose shape has no runs (one empty batch).
// A shape with no runs is the empty region: a window given it shows nothing
// and takes no clicks, so the skin must keep at least one opaque pixel.
bool BuildWindowShape(const DibPixels& bitmap, const ColourKey& key, WindowShape* shape);

}  // namespace vossel
