#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "image_checks.h"

namespace vossel {
namespace {

struct AwardCase {
    const char* name;
    uint32_t imageSize;
    int64_t at;          // where "Award" (or the text) starts, -1 for nowhere
    const char* text;
    int expected;
};

constexpr uint32_t kE = 0x10000;

const AwardCase kAwardCases[] = {
    {"first position of the window", kE, kE - 8192, "Award", 1},
    {"last position of the window", kE, kE - 8192 + 1023, "Award", 1},
    {"one past the window", kE, kE - 8192 + 1024, "Award", 0},
    {"one before the window", kE, kE - 8193, "Award", 0},
    {"the match is case-sensitive", kE, kE - 8000, "award", 0},
    {"no signature", kE, -1, "", 0},
    {"an image of 7169 bytes has the window's last position at 0", 7169, 0, "Award", 1},
    {"an image of 7168 bytes has no position inside the image", 7168, 0, "Award", 0},
    {"a tiny image is searched without reading outside it", 4, 0, "Awa", 0},
};

TEST(FindAwardSignature, SignatureWindow) {
    for (const AwardCase& c : kAwardCases) {
        SCOPED_TRACE(c.name);
        // Exactly the image's bytes, so any read past its end is caught.
        std::vector<uint8_t> image(c.imageSize, 0);
        if (c.at >= 0) {
            std::memcpy(image.data() + c.at, c.text, std::strlen(c.text));
        }
        EXPECT_EQ(c.expected, FindAwardSignature(image.data(), c.imageSize));
    }
}

// A 1 MiB download whose whole byte sum is 7 but whose upper half sums to 0.
std::vector<uint8_t> HalfSummedImage(uint8_t marker) {
    std::vector<uint8_t> image(0x100000, 0);
    image[0x10] = 7;
    image[0xFE059] = marker;
    image[0x80000] = static_cast<uint8_t>(0x100 - marker);
    return image;
}

TEST(CheckImageSum, UpperHalfOnlyWhenMarkedAndNotFileCheckOne) {
    struct Case {
        const char* name;
        uint8_t marker;
        double fileCheck;
        int expected;
    };
    const Case cases[] = {
        {"'[' with FileCheck 2 sums the upper half", '[', 2.0, 1},
        {"'[' with FileCheck 0.5 sums the upper half", '[', 0.5, 1},
        {"'[' with FileCheck 1 sums the whole image", '[', 1.0, 0},
        {"another marker sums the whole image", ']', 2.0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::vector<uint8_t> image = HalfSummedImage(c.marker);
        EXPECT_EQ(c.expected, CheckImageSum(image.data(), static_cast<uint32_t>(image.size()), c.fileCheck));
    }
}

TEST(CheckImageSum, OtherLengthsSumEverything) {
    std::vector<uint8_t> image(0x100001, 0);
    image[0xFE05A] = '[';  // N - 8103 for this length
    image[0x80001] = static_cast<uint8_t>(0x100 - '[');
    image[0x10] = 7;
    EXPECT_EQ(0, CheckImageSum(image.data(), static_cast<uint32_t>(image.size()), 2.0));
    image[0x10] = 0;
    EXPECT_EQ(1, CheckImageSum(image.data(), static_cast<uint32_t>(image.size()), 2.0));
}

TEST(CheckBoardProtection, BuildDateLimits) {
    struct Case {
        const char* partNumber;
        unsigned year, month, day;
        int expected;
    };
    const Case cases[] = {
        {"5R27HX9C", 2012, 1, 11, 0},  {"5R27HX9C", 2012, 1, 12, 1},  {"5R27HX9C", 2012, 2, 1, 1},
        {"5R27HX9C", 2011, 12, 31, 0}, {"5R27HX9C", 2013, 1, 1, 1},   {"5R27HX31", 2011, 12, 25, 0},
        {"5R27HX31", 2011, 11, 30, 0}, {"5R27HX31", 2011, 12, 26, 1}, {"5R27HX31", 2012, 1, 1, 1},
        {"5R27HX31", 2010, 12, 31, 0}, {"5R27HX9D", 2011, 12, 25, 0}, {"5R27HY9C", 2001, 1, 1, 1},
        {"7A19QB2D", 1990, 1, 1, 1},   {"5r27hx9c", 2000, 1, 1, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.partNumber << " " << c.year << "-" << c.month << "-" << c.day);
        EXPECT_EQ(c.expected, CheckBoardProtection(c.partNumber, c.year, c.month, c.day));
    }
}

}  // namespace
}  // namespace vossel
