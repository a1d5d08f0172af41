#include "window_shape.h"

#include <algorithm>
#include <limits>

namespace vossel {

namespace {

constexpr size_t kBytesPerPixel = 4;

// The box a batch starts from before its first rectangle widens it.
constexpr ShapeRect kResetBound = {std::numeric_limits<int32_t>::max(), std::numeric_limits<int32_t>::max(), 0, 0};
constexpr ShapeRect kNoBound = {0, 0, 0, 0};

uint8_t Channel(uint32_t colour, int index) { return static_cast<uint8_t>(colour >> (8 * index)); }

void Widen(ShapeRect* bound, const ShapeRect& r) {
    bound->left = std::min(bound->left, r.left);
    bound->top = std::min(bound->top, r.top);
    bound->right = std::max(bound->right, r.right);
    bound->bottom = std::max(bound->bottom, r.bottom);
}

// Gathers rectangles into batches of at most kShapeBatchRectangles.
class BatchWriter {
public:
    explicit BatchWriter(WindowShape* shape) : shape_(shape) {}

    void Add(const ShapeRect& r) {
        shape_->rectangles.push_back(r);
        Widen(&bound_, r);
        if (shape_->rectangles.size() - first_ == kShapeBatchRectangles) {
            Close();
        }
    }

    // The last batch, with what remains (maybe nothing).
    void Finish() {
        Close();
        ShapeRect all = kResetBound;
        for (const ShapeBatch& batch : shape_->batches) {
            if (batch.count != 0) {
                Widen(&all, batch.bound);
            }
        }
        shape_->bound = shape_->rectangles.empty() ? kNoBound : all;
    }

private:
    void Close() {
        const size_t count = shape_->rectangles.size() - first_;
        shape_->batches.push_back({first_, count, count == 0 ? kNoBound : bound_});
        first_ = shape_->rectangles.size();
        bound_ = kResetBound;
    }

    WindowShape* shape_;
    size_t first_ = 0;
    ShapeRect bound_ = kResetBound;
};

}  // namespace

ColourKey::ColourKey(uint32_t keyColour, uint32_t tolerance) {
    for (int i = 0; i < 3; ++i) {
        low_[i] = Channel(keyColour, i);
        high_[i] = static_cast<uint8_t>(std::min(Channel(keyColour, i) + Channel(tolerance, i), 255));
    }
}

bool ColourKey::Transparent(uint8_t red, uint8_t green, uint8_t blue) const {
    const uint8_t rgb[3] = {red, green, blue};
    for (int i = 0; i < 3; ++i) {
        if (rgb[i] < low_[i] || rgb[i] > high_[i]) {
            return false;
        }
    }
    return true;
}

bool BuildWindowShape(const DibPixels& bitmap, const ColourKey& key, WindowShape* shape) {
    shape->rectangles.clear();
    shape->batches.clear();
    shape->bound = kNoBound;
    BatchWriter writer(shape);
    if (bitmap.width <= 0 || bitmap.height <= 0) {
        writer.Finish();
        return true;
    }
    const size_t width = static_cast<size_t>(bitmap.width);
    const size_t height = static_cast<size_t>(bitmap.height);
    // Checked so that no product overflows, also where size_t has 32 bits.
    if (bitmap.bits == nullptr || bitmap.size / kBytesPerPixel < width ||
        bitmap.size / (width * kBytesPerPixel) < height) {
        return false;
    }
    const size_t rowBytes = width * kBytesPerPixel;
    for (size_t y = 0; y < height; ++y) {
        const size_t memoryRow = bitmap.rowOrder == DibRowOrder::kTopDown ? y : height - 1 - y;
        const uint8_t* row = bitmap.bits + memoryRow * rowBytes;
        size_t x = 0;
        while (x < width) {
            while (x < width && key.TransparentPixel(row + x * kBytesPerPixel)) {
                ++x;
            }
            if (x == width) {
                break;
            }
            const size_t x0 = x;
            while (x < width && !key.TransparentPixel(row + x * kBytesPerPixel)) {
                ++x;
            }
            const int32_t top = static_cast<int32_t>(y);
            writer.Add({static_cast<int32_t>(x0), top, static_cast<int32_t>(x), top + 1});
        }
    }
    writer.Finish();
    return true;
}

}  // namespace vossel
