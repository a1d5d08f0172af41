// Properties of the window shape on any bitmap. The bits sit in a heap
// buffer of exactly their size, so any read past them is caught. The
// rectangles must be exactly the runs of non-transparent pixels, row by row
// from the picture's top, left to right, whatever the rows' order in memory;
// the batches must cut them in order into pieces of kShapeBatchRectangles
// with the rest last (maybe empty), each with its own bounding box. A buffer
// one byte short must be refused.
//
// Input: width (1 + byte 0 % 80), height (1 + byte 1), flags (byte 2: bit 0
// bottom-up, bit 1 raw pixels, bit 2 the skin's key and tolerance, bit 3 one
// byte short), then 6 bytes of key and tolerance unless bit 2, then the
// picture: raw blue, green, red, unused bytes, or 2 bits a pixel (0 the key,
// 1 the top of its range, 2 one channel just outside it, 3 a data byte's
// grey), the bytes used over and over.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "fuzz_check.h"
#include "window_shape.h"

namespace {

struct Range {
    int low[3];   // red, green, blue
    int high[3];
};

Range KeyRange(uint32_t key, uint32_t tolerance) {
    Range range;
    for (int i = 0; i < 3; ++i) {
        const int k = static_cast<int>((key >> (8 * i)) & 0xFF);
        const int t = static_cast<int>((tolerance >> (8 * i)) & 0xFF);
        range.low[i] = k;
        range.high[i] = k + t > 255 ? 255 : k + t;
    }
    return range;
}

bool InRange(const Range& range, const uint8_t rgb[3]) {
    for (int i = 0; i < 3; ++i) {
        if (rgb[i] < range.low[i] || rgb[i] > range.high[i]) {
            return false;
        }
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using vossel::ShapeRect;
    if (size < 3) {
        return 0;
    }
    const int32_t width = 1 + data[0] % 80;
    const int32_t height = 1 + data[1];
    const uint8_t flags = data[2];
    const bool bottomUp = (flags & 1) != 0;
    const bool raw = (flags & 2) != 0;
    const bool skinKey = (flags & 4) != 0;
    const bool oneByteShort = (flags & 8) != 0;
    size_t at = 3;
    uint32_t key = vossel::kSkinKeyColour;
    uint32_t tolerance = vossel::kSkinTolerance;
    if (!skinKey) {
        if (size < at + 6) {
            return 0;
        }
        key = data[at] | data[at + 1] << 8 | data[at + 2] << 16;
        tolerance = data[at + 3] | data[at + 4] << 8 | data[at + 5] << 16;
        at += 6;
    }
    const uint8_t* picture = data + at;
    const size_t pictureSize = size - at;
    const Range range = KeyRange(key, tolerance);

    // The picture top-down, as red, green, blue.
    const size_t pixels = static_cast<size_t>(width) * static_cast<size_t>(height);
    std::vector<uint8_t> rgb(pixels * 3, 0);
    for (size_t p = 0; p < pixels; ++p) {
        uint8_t* out = &rgb[p * 3];
        if (pictureSize == 0) {
            continue;  // all black
        }
        if (raw) {
            for (int i = 0; i < 3; ++i) {
                out[i] = picture[(p * 4 + 2 - static_cast<size_t>(i)) % pictureSize];
            }
            continue;
        }
        const uint8_t byte = picture[(p / 4) % pictureSize];
        const int kind = (byte >> (2 * (p % 4))) & 3;
        for (int i = 0; i < 3; ++i) {
            out[i] = static_cast<uint8_t>(kind == 1 ? range.high[i] : range.low[i]);
        }
        if (kind == 2) {
            const int channel = static_cast<int>(p % 3);
            if (range.high[channel] < 255) {
                out[channel] = static_cast<uint8_t>(range.high[channel] + 1);
            } else if (range.low[channel] > 0) {
                out[channel] = static_cast<uint8_t>(range.low[channel] - 1);
            }
        } else if (kind == 3) {
            std::memset(out, picture[p % pictureSize], 3);
        }
    }

    // The bits as the bitmap holds them.
    const size_t bytes = pixels * 4;
    std::unique_ptr<uint8_t[]> bits(new uint8_t[bytes]);
    for (int32_t y = 0; y < height; ++y) {
        const int32_t memoryRow = bottomUp ? height - 1 - y : y;
        for (int32_t x = 0; x < width; ++x) {
            const uint8_t* in = &rgb[(static_cast<size_t>(y) * width + x) * 3];
            uint8_t* out = bits.get() + (static_cast<size_t>(memoryRow) * width + x) * 4;
            out[0] = in[2];
            out[1] = in[1];
            out[2] = in[0];
            out[3] = static_cast<uint8_t>(x ^ y);
        }
    }
    const vossel::DibRowOrder order = bottomUp ? vossel::DibRowOrder::kBottomUp : vossel::DibRowOrder::kTopDown;
    const vossel::ColourKey colourKey(key, tolerance);
    vossel::WindowShape shape;

    if (oneByteShort) {
        const vossel::DibPixels shortBits = {bits.get(), bytes - 1, width, height, order};
        FUZZ_CHECK(!vossel::BuildWindowShape(shortBits, colourKey, &shape));
        FUZZ_CHECK(shape.rectangles.empty() && shape.batches.empty());
    }

    const vossel::DibPixels bitmap = {bits.get(), bytes, width, height, order};
    FUZZ_CHECK(vossel::BuildWindowShape(bitmap, colourKey, &shape));

    // The runs, found the plain way.
    std::vector<ShapeRect> expected;
    for (int32_t y = 0; y < height; ++y) {
        int32_t start = -1;
        for (int32_t x = 0; x <= width; ++x) {
            const bool opaque = x < width && !InRange(range, &rgb[(static_cast<size_t>(y) * width + x) * 3]);
            if (opaque && start < 0) {
                start = x;
            } else if (!opaque && start >= 0) {
                expected.push_back({start, y, x, y + 1});
                start = -1;
            }
        }
    }
    FUZZ_CHECK(shape.rectangles.size() == expected.size());
    for (size_t i = 0; i < expected.size(); ++i) {
        FUZZ_CHECK(shape.rectangles[i] == expected[i]);
    }

    const size_t batchSize = vossel::kShapeBatchRectangles;
    FUZZ_CHECK(shape.batches.size() == expected.size() / batchSize + 1);
    ShapeRect all = {0, 0, 0, 0};
    for (size_t b = 0; b < shape.batches.size(); ++b) {
        const vossel::ShapeBatch& batch = shape.batches[b];
        FUZZ_CHECK(batch.first == b * batchSize);
        const bool last = b + 1 == shape.batches.size();
        FUZZ_CHECK(batch.count == (last ? expected.size() % batchSize : batchSize));
        ShapeRect box = {0, 0, 0, 0};
        for (size_t i = batch.first; i < batch.first + batch.count; ++i) {
            const ShapeRect& r = expected[i];
            box = i == batch.first ? r
                                   : ShapeRect{std::min(box.left, r.left), std::min(box.top, r.top),
                                               std::max(box.right, r.right), std::max(box.bottom, r.bottom)};
            all = i == 0 ? r
                         : ShapeRect{std::min(all.left, r.left), std::min(all.top, r.top),
                                     std::max(all.right, r.right), std::max(all.bottom, r.bottom)};
        }
        FUZZ_CHECK(batch.bound == box);
    }
    FUZZ_CHECK(shape.bound == all);
    return 0;
}
