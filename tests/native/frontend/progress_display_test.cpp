#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "progress_display.h"

namespace vossel {
namespace {

TEST(ProgressFrame, HalfThePercentageClampedToTheFrames) {
    struct Case {
        int32_t percentage;
        int frame;
    };
    const Case cases[] = {
        {57, 28}, {100, 50}, {101, 50}, {99, 49}, {1, 0}, {0, 0}, {-1, 0}, {2, 1}, {3, 1},
        // Out of range: clamped.
        {-2, 0}, {-3, 0}, {102, 50}, {103, 50}, {INT32_MIN, 0}, {INT32_MAX, 50},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.percentage);
        EXPECT_EQ(c.frame, ProgressFrame(c.percentage));
        EXPECT_EQ(130 + c.frame, ProgressFrameResource(c.percentage));
    }
    EXPECT_EQ(158, ProgressFrameResource(57));
    EXPECT_EQ(180, ProgressFrameResource(100));
}

TEST(PaintedPercentage, FullBarWhileNoStatus) {
    EXPECT_EQ(100, PaintedPercentage(0, 0));
    EXPECT_EQ(100, PaintedPercentage(0, 37));
    EXPECT_EQ(37, PaintedPercentage(3, 37));
    EXPECT_EQ(0, PaintedPercentage(5, 0));
    EXPECT_EQ(12, PaintedPercentage(-1, 12));  // any code but 0
}

TEST(PercentageText, FigureAsReadWithAPercentSign) {
    struct Case {
        int32_t percentage;
        const char* text;
    };
    const Case cases[] = {
        {57, "57%"}, {0, "0%"}, {100, "100%"}, {-5, "-5%"}, {150, "150%"},
        {INT32_MIN, "-2147483648%"}, {INT32_MAX, "2147483647%"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.text, PercentageText(c.percentage));
        // It always fits the blanks drawn over the previous one.
        EXPECT_LE(std::strlen(c.text), std::strlen(kPercentageBlank));
    }
    EXPECT_EQ(15u, std::strlen(kPercentageBlank));
}

TEST(PanelTextDrawnLength, AtMost35Characters) {
    struct Case {
        std::string text;
        size_t drawn;
    };
    const Case cases[] = {
        {"", 0}, {"SST 49LF004A", 12}, {std::string(34, 'x'), 34}, {std::string(35, 'x'), 35},
        {std::string(36, 'x'), 35}, {std::string(300, 'x'), 35},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.drawn, PanelTextDrawnLength(c.text.c_str())) << c.text.size();
    }
    // An unterminated field of 35 characters or more is not read past them.
    std::unique_ptr<char[]> field(new char[35]);
    std::memset(field.get(), 'y', 35);
    EXPECT_EQ(35u, PanelTextDrawnLength(field.get()));
}

TEST(StatusLine, TextsAndPlacesByStatusCode) {
    const std::string blank18(18, ' ');
    const std::string blank16(16, ' ');
    struct Draw {
        std::string text;
        int32_t x;
    };
    struct Case {
        int32_t code;
        std::vector<Draw> draws;
    };
    const Case cases[] = {
        {1, {{blank18, 127}, {" Saving ...", 127}}},
        {2, {{blank18, 127}, {"Reading ...", 127}}},
        {3, {{blank18, 127}, {"Writing ...", 127}}},
        {4, {{blank18, 127}, {"Erasing ...", 127}}},
        {5, {{"Downloading ...", 110}}},
        {6, {{blank18, 127}, {"Verifying ...", 127}}},
        {0, {{blank16, 110}, {blank16, 136}}},
        {7, {{blank16, 110}, {blank16, 136}}},
        {-1, {{blank16, 110}, {blank16, 136}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.code);
        const StatusLineDraws line = StatusLine(c.code);
        ASSERT_EQ(c.draws.size(), line.count);
        for (size_t i = 0; i < line.count; ++i) {
            EXPECT_EQ(c.draws[i].text, line.draws[i].text);
            EXPECT_EQ(c.draws[i].x, line.draws[i].x);
            EXPECT_EQ(186, line.draws[i].y);
        }
    }
}

}  // namespace
}  // namespace vossel
