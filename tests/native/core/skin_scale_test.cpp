#include <gtest/gtest.h>

#include <climits>

#include "skin_scale.h"
#include "window_placement.h"

namespace vossel {
namespace {

TEST(NearestSkinPercent, TheSetNearestToTheDpiNeverAStretch) {
    struct Case {
        uint32_t dpi;
        int percent;
    };
    const Case cases[] = {
        {96, 100},  {144, 150}, {192, 200}, {0, 100},   {72, 100},  {119, 100}, {120, 150},  // 125 %: the larger
        {121, 150}, {167, 150}, {168, 200},                                                   // 175 %: the larger
        {240, 200}, {288, 200}, {UINT32_MAX, 200},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.dpi);
        EXPECT_EQ(c.percent, NearestSkinPercent(c.dpi));
    }
}

TEST(SkinResource, EachSetHasItsOwnThousand) {
    EXPECT_EQ(129, SkinResource(129, 100));
    EXPECT_EQ(1129, SkinResource(129, 150));
    EXPECT_EQ(2233, SkinResource(233, 200));
    EXPECT_EQ(130, SkinResource(130, 125));  // no such set: the 100 % one
}

TEST(ScaleEdge, RoundsHalfUp) {
    struct Case {
        int32_t value;
        int percent;
        int32_t scaled;
    };
    const Case cases[] = {
        {580, 100, 580}, {580, 150, 870}, {580, 200, 1160}, {73, 150, 110}, {97, 150, 146},
        {1, 150, 2},     {3, 150, 5},     {0, 150, 0},      {-1, 150, -1},  {-3, 150, -4},
        {-2, 150, -3},   {INT32_MAX / 2, 200, INT32_MAX - 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.value << " at " << c.percent);
        EXPECT_EQ(c.scaled, ScaleEdge(c.value, c.percent));
    }
}

TEST(ScaleRect, ElementsThatTouchKeepTouching) {
    // Two wide buttons, one under the other: scaled edge by edge, no gap
    // opens between them at any set, though 25 * 1.5 is not a whole number.
    const EdgeRect upper = {362, 73, 543, 98};
    const EdgeRect lower = {362, 98, 543, 123};
    for (int percent : kSkinScalePercents) {
        SCOPED_TRACE(percent);
        EXPECT_EQ(ScaleRect(upper, percent).bottom, ScaleRect(lower, percent).top);
    }
    EXPECT_EQ((EdgeRect{543, 110, 815, 146}), ScaleRect({362, 73, 543, 97}, 150));
    EXPECT_EQ((EdgeRect{0, 0, 1160, 524}), ScaleRect({0, 0, 580, 262}, 200));
}

TEST(CentredOrigin, CentredOnTheWorkAreaOrFromItsCorner) {
    struct Case {
        EdgeRect work;
        int32_t width, height;
        int32_t x, y;
    };
    const Case cases[] = {
        {{0, 0, 1280, 1024}, 580, 262, 350, 381},
        {{0, 0, 1280, 994}, 870, 393, 205, 300},         // task bar at the bottom
        {{1280, 30, 3200, 1080}, 580, 262, 1950, 424},   // second monitor, bar at the top
        {{-1920, 0, 0, 1080}, 1160, 524, -1540, 278},    // monitor left of the primary
        {{0, 0, 1024, 768}, 1160, 524, 0, 122},          // wider than the work area
        {{0, 0, 800, 400}, 1160, 524, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.work.left << "," << c.work.top << " " << c.width << "x" << c.height);
        const WindowOrigin origin = CentredOrigin(c.work, c.width, c.height);
        EXPECT_EQ(c.x, origin.x);
        EXPECT_EQ(c.y, origin.y);
    }
}

}  // namespace
}  // namespace vossel
