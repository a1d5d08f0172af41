#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "window_shape.h"

namespace vossel {
namespace {

constexpr DibRowOrder kRowOrders[] = {DibRowOrder::kTopDown, DibRowOrder::kBottomUp};

const char* RowOrderName(DibRowOrder order) { return order == DibRowOrder::kTopDown ? "top-down" : "bottom-up"; }

struct Rgb {
    uint8_t red, green, blue;
};

constexpr Rgb kMagenta = {255, 0, 255};
constexpr Rgb kOpaque = {20, 40, 60};

// A picture held top-down, handed out as the bits of a 32-bit bitmap in
// either row order, in a heap block of exactly their size so that any read
// past them is caught.
class Picture {
public:
    Picture(int32_t width, int32_t height, Rgb fill) : width_(width), height_(height), pixels_(width * height, fill) {}

    // Rows top to bottom: '#' opaque, '.' magenta, 'g' magenta with green 16
    // (still the key), 'h' green 17 (no longer).
    static Picture FromRows(const std::vector<std::string>& rows) {
        Picture picture(static_cast<int32_t>(rows.empty() ? 0 : rows[0].size()), static_cast<int32_t>(rows.size()),
                        kOpaque);
        for (size_t y = 0; y < rows.size(); ++y) {
            for (size_t x = 0; x < rows[y].size(); ++x) {
                const char c = rows[y][x];
                const Rgb colour = c == '.' ? kMagenta : c == 'g' ? Rgb{255, 16, 255} : c == 'h' ? Rgb{255, 17, 255}
                                                                                                  : kOpaque;
                picture.Set(static_cast<int32_t>(x), static_cast<int32_t>(y), colour);
            }
        }
        return picture;
    }

    void Set(int32_t x, int32_t y, Rgb colour) { pixels_[static_cast<size_t>(y * width_ + x)] = colour; }

    void Fill(int32_t left, int32_t top, int32_t right, int32_t bottom, Rgb colour) {
        for (int32_t y = top; y < bottom; ++y) {
            for (int32_t x = left; x < right; ++x) {
                Set(x, y, colour);
            }
        }
    }

    // Blue, green, red, and an unused byte that is never zero, so that it
    // cannot pass for part of the colour.
    DibPixels Bits(DibRowOrder order) {
        const size_t size = pixels_.size() * 4;
        bits_.reset(new uint8_t[size == 0 ? 1 : size]);
        for (int32_t y = 0; y < height_; ++y) {
            const int32_t memoryRow = order == DibRowOrder::kTopDown ? y : height_ - 1 - y;
            for (int32_t x = 0; x < width_; ++x) {
                const Rgb& p = pixels_[static_cast<size_t>(y * width_ + x)];
                uint8_t* out = bits_.get() + (static_cast<size_t>(memoryRow * width_ + x)) * 4;
                out[0] = p.blue;
                out[1] = p.green;
                out[2] = p.red;
                out[3] = 0xA5;
            }
        }
        return {bits_.get(), size, width_, height_, order};
    }

private:
    int32_t width_;
    int32_t height_;
    std::vector<Rgb> pixels_;
    std::unique_ptr<uint8_t[]> bits_;
};

WindowShape ShapeOf(const DibPixels& bits) {
    WindowShape shape;
    EXPECT_TRUE(BuildWindowShape(bits, ColourKey(kSkinKeyColour, kSkinTolerance), &shape));
    return shape;
}

// The batches must cover the rectangles in order, without gaps, each bound
// the box of its own rectangles.
void ExpectConsistentBatches(const WindowShape& shape) {
    size_t next = 0;
    for (const ShapeBatch& batch : shape.batches) {
        EXPECT_EQ(next, batch.first);
        EXPECT_LE(batch.count, kShapeBatchRectangles);
        ShapeRect box = {0, 0, 0, 0};
        for (size_t i = batch.first; i < batch.first + batch.count && i < shape.rectangles.size(); ++i) {
            const ShapeRect& r = shape.rectangles[i];
            box = i == batch.first ? r
                                   : ShapeRect{std::min(box.left, r.left), std::min(box.top, r.top),
                                               std::max(box.right, r.right), std::max(box.bottom, r.bottom)};
        }
        EXPECT_EQ(box, batch.bound);
        next += batch.count;
    }
    EXPECT_EQ(shape.rectangles.size(), next);
}

std::string Describe(const ShapeRect& r) {
    return "(" + std::to_string(r.left) + ", " + std::to_string(r.top) + ", " + std::to_string(r.right) + ", " +
           std::to_string(r.bottom) + ")";
}

std::string Describe(const std::vector<ShapeRect>& rectangles) {
    std::string text;
    for (const ShapeRect& r : rectangles) {
        text += Describe(r) + " ";
    }
    return text;
}

TEST(ColourKey, TransparentWhenEachChannelIsFromTheKeyToKeyPlusTolerance) {
    struct Case {
        uint32_t key;
        uint32_t tolerance;
        Rgb pixel;
        bool transparent;
    };
    const Case cases[] = {
        {kSkinKeyColour, kSkinTolerance, {255, 0, 255}, true},
        {kSkinKeyColour, kSkinTolerance, {255, 16, 255}, true},   // the high bound is included
        {kSkinKeyColour, kSkinTolerance, {255, 17, 255}, false},
        {kSkinKeyColour, kSkinTolerance, {254, 0, 255}, false},   // the key is the low bound
        {kSkinKeyColour, kSkinTolerance, {255, 0, 254}, false},
        {kSkinKeyColour, kSkinTolerance, {255, 16, 0}, false},
        {kSkinKeyColour, kSkinTolerance, {0, 0, 0}, false},
        {kSkinKeyColour, 0, {255, 0, 255}, true},
        {kSkinKeyColour, 0, {255, 1, 255}, false},
        // Each channel is its own: red in the key's low byte, blue in its third.
        {0x0000FF, 0, {255, 0, 0}, true},
        {0x0000FF, 0, {0, 0, 255}, false},
        {0x102030, 0x030201, {0x30, 0x20, 0x10}, true},
        {0x102030, 0x030201, {0x31, 0x22, 0x13}, true},
        {0x102030, 0x030201, {0x32, 0x20, 0x10}, false},
        {0x102030, 0x030201, {0x30, 0x23, 0x10}, false},
        {0x102030, 0x030201, {0x30, 0x20, 0x14}, false},
        // The high bound is capped at 255, not wrapped round.
        {0xF0F0F0, 0x202020, {255, 255, 255}, true},
        {0xF0F0F0, 0x202020, {0xF0, 0xF0, 0xEF}, false},
        {0xF0F0F0, 0x202020, {0x0F, 0x0F, 0x0F}, false},
        // The high bytes of key and tolerance are not colour.
        {0xFFFF00FF, 0xFF101010, {255, 0, 255}, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << std::hex << "key " << c.key << " tolerance " << c.tolerance << " pixel "
                                          << +c.pixel.red << "," << +c.pixel.green << "," << +c.pixel.blue);
        const ColourKey key(c.key, c.tolerance);
        EXPECT_EQ(c.transparent, key.Transparent(c.pixel.red, c.pixel.green, c.pixel.blue));
        const uint8_t bgrx[4] = {c.pixel.blue, c.pixel.green, c.pixel.red, 0x77};
        EXPECT_EQ(c.transparent, key.TransparentPixel(bgrx));
    }
}

TEST(BuildWindowShape, OneRectanglePerRunRowByRowFromTheTop) {
    struct Case {
        const char* name;
        std::vector<std::string> rows;
        std::vector<ShapeRect> rectangles;
    };
    const Case cases[] = {
        {"no key colour: one run per row over the whole width",
         {"####", "####", "####"},
         {{0, 0, 4, 1}, {0, 1, 4, 2}, {0, 2, 4, 3}}},
        {"all key colour: no run", {"...", "...", "..."}, {}},
        {"holes",
         {"#..##", ".....", ".#.#.", "##.##"},
         {{0, 0, 1, 1}, {3, 0, 5, 1}, {1, 2, 2, 3}, {3, 2, 4, 3}, {0, 3, 2, 4}, {3, 3, 5, 4}}},
        {"top and bottom differ, so the row order shows", {"#...", "....", "...#"}, {{0, 0, 1, 1}, {3, 2, 4, 3}}},
        {"single pixel", {"#"}, {{0, 0, 1, 1}}},
        {"runs touching both edges", {"#.#", ".#."}, {{0, 0, 1, 1}, {2, 0, 3, 1}, {1, 1, 2, 2}}},
        {"green 16 is the key, green 17 is not", {"#gg#", "#hh#", "ghhg"}, {{0, 0, 1, 1}, {3, 0, 4, 1}, {0, 1, 4, 2},
                                                                              {1, 2, 3, 3}}},
    };
    for (const Case& c : cases) {
        for (DibRowOrder order : kRowOrders) {
            SCOPED_TRACE(::testing::Message() << c.name << ", " << RowOrderName(order));
            Picture picture = Picture::FromRows(c.rows);
            const WindowShape shape = ShapeOf(picture.Bits(order));
            EXPECT_EQ(Describe(c.rectangles), Describe(shape.rectangles));
            ASSERT_EQ(1u, shape.batches.size());
            EXPECT_EQ(c.rectangles.size(), shape.batches[0].count);
            ExpectConsistentBatches(shape);
            if (c.rectangles.empty()) {
                EXPECT_EQ((ShapeRect{0, 0, 0, 0}), shape.bound);
            }
        }
    }
}

TEST(BuildWindowShape, SkinOfTheMainWindowGivesItsBoundsInOneBatch) {
    // The skin's outline: a frame with cut corners over columns 24 to 558
    // and rows 20 to 238, and a notch through rows 100 to 108 that splits
    // those 9 rows in two: 219 rows and 9 more runs, 228 in all.
    Picture skin(kSkinWidth, kSkinHeight, kMagenta);
    skin.Fill(24, 20, 559, 239, kOpaque);
    for (int32_t corner = 0; corner < 4; ++corner) {
        skin.Set(24 + corner, 20, kMagenta);
        skin.Set(558 - corner, 238, kMagenta);
    }
    skin.Fill(300, 100, 302, 109, kMagenta);
    for (DibRowOrder order : kRowOrders) {
        SCOPED_TRACE(RowOrderName(order));
        const WindowShape shape = ShapeOf(skin.Bits(order));
        EXPECT_EQ(228u, shape.rectangles.size());
        ASSERT_EQ(1u, shape.batches.size());
        EXPECT_EQ((ShapeRect{24, 20, 559, 239}), shape.batches[0].bound);
        EXPECT_EQ((ShapeRect{24, 20, 559, 239}), shape.bound);
        ExpectConsistentBatches(shape);
        ASSERT_FALSE(shape.rectangles.empty());
        EXPECT_EQ((ShapeRect{28, 20, 559, 21}), shape.rectangles.front());
        EXPECT_EQ((ShapeRect{24, 238, 555, 239}), shape.rectangles.back());
        EXPECT_EQ((ShapeRect{24, 100, 300, 101}), shape.rectangles[80]);
        EXPECT_EQ((ShapeRect{302, 100, 559, 101}), shape.rectangles[81]);
    }
}

TEST(BuildWindowShape, BatchesHoldAtMost2000AndAlwaysEndWithTheRemainder) {
    struct Case {
        const char* name;
        const char* row;  // every row alike
        int32_t height;
        std::vector<size_t> batchCounts;
    };
    const Case cases[] = {
        {"one short", "#", 1999, {1999}},
        {"exactly one batch, then an empty one", "#", 2000, {2000, 0}},
        {"one over", "#", 2001, {2000, 1}},
        {"two full batches", "#", 4000, {2000, 2000, 0}},
        {"a batch ends inside a row", "#.#", 1001, {2000, 2}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Picture picture = Picture::FromRows(std::vector<std::string>(static_cast<size_t>(c.height), c.row));
        const WindowShape shape = ShapeOf(picture.Bits(DibRowOrder::kBottomUp));
        ASSERT_EQ(c.batchCounts.size(), shape.batches.size());
        for (size_t i = 0; i < c.batchCounts.size(); ++i) {
            EXPECT_EQ(c.batchCounts[i], shape.batches[i].count) << "batch " << i;
        }
        ExpectConsistentBatches(shape);
        const int32_t width = static_cast<int32_t>(std::string(c.row).size());
        EXPECT_EQ((ShapeRect{0, 0, width, c.height}), shape.bound);
        if (shape.batches.back().count == 0) {
            EXPECT_EQ((ShapeRect{0, 0, 0, 0}), shape.batches.back().bound);
        }
    }
    // Where a batch ends inside a row, the next starts with that row's
    // second run.
    Picture split = Picture::FromRows(std::vector<std::string>(1001, "#.#"));
    const WindowShape shape = ShapeOf(split.Bits(DibRowOrder::kTopDown));
    ASSERT_EQ(2u, shape.batches.size());
    EXPECT_EQ((ShapeRect{0, 0, 3, 1000}), shape.batches[0].bound);
    EXPECT_EQ((ShapeRect{0, 1000, 3, 1001}), shape.batches[1].bound);
}

TEST(BuildWindowShape, RefusesTooFewBytesAndTakesAnEmptyBitmapAsNoRuns) {
    const ColourKey key(kSkinKeyColour, kSkinTolerance);
    std::vector<uint8_t> bytes(4 * 4 * 3, 0);  // 4 x 3 black pixels
    struct Case {
        const char* name;
        DibPixels bitmap;
        bool accepted;
        size_t rectangles;
    };
    const Case cases[] = {
        {"exact size", {bytes.data(), bytes.size(), 4, 3, DibRowOrder::kBottomUp}, true, 3},
        {"one byte short", {bytes.data(), bytes.size() - 1, 4, 3, DibRowOrder::kBottomUp}, false, 0},
        {"one row short", {bytes.data(), bytes.size(), 4, 4, DibRowOrder::kTopDown}, false, 0},
        {"more bytes than pixels", {bytes.data(), bytes.size(), 4, 2, DibRowOrder::kTopDown}, true, 2},
        {"no bits", {nullptr, 0, 4, 3, DibRowOrder::kTopDown}, false, 0},
        {"width beyond any buffer", {bytes.data(), bytes.size(), 0x7FFFFFFF, 0x7FFFFFFF, DibRowOrder::kTopDown},
         false, 0},
        {"width 0", {bytes.data(), bytes.size(), 0, 3, DibRowOrder::kTopDown}, true, 0},
        {"negative height", {bytes.data(), bytes.size(), 4, -3, DibRowOrder::kTopDown}, true, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        WindowShape shape;
        shape.rectangles.push_back({1, 2, 3, 4});  // left over from an earlier shape
        EXPECT_EQ(c.accepted, BuildWindowShape(c.bitmap, key, &shape));
        EXPECT_EQ(c.rectangles, shape.rectangles.size());
        EXPECT_EQ(c.accepted ? 1u : 0u, shape.batches.size());
        if (c.accepted) {
            ExpectConsistentBatches(shape);
        }
    }
}

}  // namespace
}  // namespace vossel
