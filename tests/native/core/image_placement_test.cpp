#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "image_placement.h"
#include "records.h"

namespace vossel {
namespace {

// A buffer of expected size + 1 bytes whose first `filled` bytes hold a
// pattern that tells every offset apart, the rest a guard value.
std::vector<uint8_t> ReadBuffer(uint32_t expectedSize, size_t filled) {
    std::vector<uint8_t> buffer(size_t{expectedSize} + 1, 0xEE);
    for (size_t i = 0; i < filled && i < buffer.size(); ++i) {
        buffer[i] = static_cast<uint8_t>(i ^ (i >> 8) ^ (i >> 16));
    }
    return buffer;
}

TEST(AdaptLoadedImage, A384KiBFileEndsAtTheImageEndBehind128KiBOfFF) {
    std::vector<uint8_t> buffer = ReadBuffer(kFlashSize512K, kFlashSize384K);
    const std::vector<uint8_t> file(buffer.begin(), buffer.begin() + kFlashSize384K);
    ASSERT_EQ(1, AdaptLoadedImage(buffer.data(), kFlashSize512K, kFlashSize384K));
    EXPECT_EQ(std::vector<uint8_t>(0x20000, 0xFF), std::vector<uint8_t>(buffer.begin(), buffer.begin() + 0x20000));
    EXPECT_EQ(file, std::vector<uint8_t>(buffer.begin() + 0x20000, buffer.begin() + kFlashSize512K));
    EXPECT_EQ(0xEE, buffer[kFlashSize512K]);
}

TEST(AdaptLoadedImage, A256KiBFileFillsBothHalves) {
    std::vector<uint8_t> buffer = ReadBuffer(kFlashSize512K, kFlashSize256K);
    const std::vector<uint8_t> file(buffer.begin(), buffer.begin() + kFlashSize256K);
    ASSERT_EQ(1, AdaptLoadedImage(buffer.data(), kFlashSize512K, kFlashSize256K));
    EXPECT_EQ(file, std::vector<uint8_t>(buffer.begin(), buffer.begin() + kFlashSize256K));
    EXPECT_EQ(file, std::vector<uint8_t>(buffer.begin() + kFlashSize256K, buffer.begin() + kFlashSize512K));
    EXPECT_EQ(0xEE, buffer[kFlashSize512K]);
}

TEST(AdaptLoadedImage, OtherSizesAreRefusedOrTakenAsTheyAre) {
    struct Case {
        const char* name;
        uint32_t expectedSize;
        size_t bytesRead;
        int expected;
    };
    const Case cases[] = {
        {"exact size", kFlashSize1M, kFlashSize1M, 1},
        {"one byte longer than the part", kFlashSize512K, kFlashSize512K + 1, 0},
        {"one byte short", kFlashSize512K, kFlashSize512K - 1, 0},
        {"384 KiB for a 1 MiB part", kFlashSize1M, kFlashSize384K, 0},
        {"256 KiB for a 1 MiB part", kFlashSize1M, kFlashSize256K, 0},
        {"384 KiB + 1 for a 512 KiB part", kFlashSize512K, kFlashSize384K + 1, 0},
        {"an empty file", kFlashSize512K, 0, 0},
        {"more than was asked for", kFlashSize512K, kFlashSize1M, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<uint8_t> buffer = ReadBuffer(c.expectedSize, c.bytesRead);
        const std::vector<uint8_t> before = buffer;
        EXPECT_EQ(c.expected, AdaptLoadedImage(buffer.data(), c.expectedSize, c.bytesRead));
        EXPECT_TRUE(buffer == before) << "the buffer changed";
    }
}

constexpr uint64_t kBoardBuffer = 0x400001;

struct PlacementCase {
    const char* name;
    UpdatePath path;
    int32_t boardMode;
    uint32_t flashSize;
    uint32_t imageSize;  // file size or memory length
    PlacementDecision expected;
};

void ExpectDecision(const PlacementDecision& expected, const PlacementDecision& actual) {
    EXPECT_EQ(expected.action, actual.action);
    EXPECT_EQ(expected.refusal, actual.refusal);
    EXPECT_EQ(expected.boardMode, actual.boardMode);
    EXPECT_EQ(expected.flashSize, actual.flashSize);
    EXPECT_EQ(expected.newBufferSize, actual.newBufferSize);
    EXPECT_EQ(expected.offset, actual.offset);
    EXPECT_EQ(expected.expectedSize, actual.expectedSize);
}

using A = PlacementAction;
constexpr auto kAward = UpdatePath::kAward;
constexpr auto kUefi = UpdatePath::kUefi;

TEST(PlaceImageFile, BoardModeRules) {
    const PlacementCase cases[] = {
        {"2 MiB file on a 1 MiB part enlarges to mode 2", kAward, 1, kFlashSize1M, kFlashSize2M,
         {A::kEnlargeToMode2, nullptr, 2, kFlashSize2M, kFlashSize2M + 1, 0, kFlashSize2M}},
        {"1 MiB file on a 2 MiB part goes to the upper half", kAward, 1, kFlashSize2M, kFlashSize1M,
         {A::kUpperHalfMode3, nullptr, 3, kFlashSize2M, 0, 0x100000, kFlashSize1M}},
        {"an empty file in a board mode is an unexpected problem", kAward, 1, kFlashSize1M, 0,
         {A::kRefuse, &kMsgUnexpectedProblem, 1, kFlashSize1M, 0, 0, 0}},
        {"other sizes load at the start with the flash size", kAward, 1, kFlashSize1M, kFlashSize384K,
         {A::kPlaceAtStart, nullptr, 1, kFlashSize1M, 0, 0, kFlashSize1M}},
        {"a mode left in force keeps applying", kAward, 3, kFlashSize2M, kFlashSize1M,
         {A::kUpperHalfMode3, nullptr, 3, kFlashSize2M, 0, 0x100000, kFlashSize1M}},
        {"mode 2 left in force is undone: a 2 MiB file enlarges afresh", kAward, 2, kFlashSize2M, kFlashSize2M,
         {A::kEnlargeToMode2, nullptr, 2, kFlashSize2M, kFlashSize2M + 1, 0, kFlashSize2M}},
        {"mode 2 left in force is undone: a 1 MiB file loads whole on the 1 MiB part", kAward, 2, kFlashSize2M,
         kFlashSize1M, {A::kPlaceAtStart, nullptr, 1, kFlashSize1M, 0, 0, kFlashSize1M}},
        {"mode 3 left in force is undone: a 2 MiB file loads whole", kAward, 3, kFlashSize2M, kFlashSize2M,
         {A::kPlaceAtStart, nullptr, 1, kFlashSize2M, 0, 0, kFlashSize2M}},
        {"an empty file after mode 2 was left in force", kAward, 2, kFlashSize2M, 0,
         {A::kRefuse, &kMsgUnexpectedProblem, 1, kFlashSize1M, 0, 0, 0}},
        {"board mode 0: no adaptation, even for an empty file", kAward, 0, kFlashSize1M, 0,
         {A::kPlaceAtStart, nullptr, 0, kFlashSize1M, 0, 0, kFlashSize1M}},
        {"board mode 0: a 2 MiB file is loaded against the 1 MiB size", kAward, 0, kFlashSize1M, kFlashSize2M,
         {A::kPlaceAtStart, nullptr, 0, kFlashSize1M, 0, 0, kFlashSize1M}},
        {"the UEFI path ignores the board mode", kUefi, 1, kFlashSize1M, kFlashSize2M,
         {A::kPlaceAtStart, nullptr, 1, kFlashSize1M, 0, 0, kFlashSize1M}},
        {"the UEFI path does not refuse an empty file itself", kUefi, 1, kFlashSize2M, 0,
         {A::kPlaceAtStart, nullptr, 1, kFlashSize2M, 0, 0, kFlashSize2M}},
    };
    for (const PlacementCase& c : cases) {
        SCOPED_TRACE(c.name);
        ExpectDecision(c.expected, PlaceImageFile(c.path, c.boardMode, c.flashSize, c.imageSize));
    }
}

TEST(PlaceImageInMemory, BoardModeRulesAndImagesOfAnyOtherLengthThanThePart) {
    struct Case {
        PlacementCase placement;
        uint64_t bufferSize;
    };
    const Case cases[] = {
        {{"2 MiB on a 1 MiB part: mode 2 and a new buffer that holds it", kAward, 1, kFlashSize1M, kFlashSize2M,
          {A::kEnlargeToMode2, nullptr, 2, kFlashSize2M, kFlashSize2M + 1, 0, kFlashSize2M}},
         kBoardBuffer},
        {{"1 MiB on a 2 MiB part: copied to the upper half", kAward, 1, kFlashSize2M, kFlashSize1M,
          {A::kUpperHalfMode3, nullptr, 3, kFlashSize2M, 0, 0x100000, kFlashSize1M}},
         kBoardBuffer},
        {{"the upper half must fit the buffer too", kAward, 1, kFlashSize2M, kFlashSize1M,
          {A::kRefuse, &kMsgCannotLoadImage, 1, kFlashSize2M, 0, 0, 0}},
         0x1FFFFF},
        {{"an image as long as the part is copied", kUefi, 0, kFlashSize1M, kFlashSize1M,
          {A::kPlaceAtStart, nullptr, 0, kFlashSize1M, 0, 0, kFlashSize1M}},
         kFlashSize1M + 1},
        {{"an empty image is refused", kAward, 1, kFlashSize1M, 0,
          {A::kRefuse, &kMsgCannotLoadImage, 1, kFlashSize1M, 0, 0, 0}},
         kBoardBuffer},
        {{"a shorter image would be padded: refused", kUefi, 0, kFlashSize1M, kFlashSize1M - 1,
          {A::kRefuse, &kMsgCannotLoadImage, 0, kFlashSize1M, 0, 0, 0}},
         kFlashSize1M + 1},
        {{"a longer image that fits the buffer would be cut off: refused", kUefi, 0, kFlashSize1M,
          kFlashSize1M + 1, {A::kRefuse, &kMsgCannotLoadImage, 0, kFlashSize1M, 0, 0, 0}},
         kFlashSize1M + 1},
        {{"board mode buffer: 3 MiB on a 1 MiB part is refused", kAward, 1, kFlashSize1M, 0x300000,
          {A::kRefuse, &kMsgCannotLoadImage, 1, kFlashSize1M, 0, 0, 0}},
         kBoardBuffer},
        {{"a part larger than the buffer cannot take its image", kUefi, 0, kFlashSize1M, kFlashSize1M,
          {A::kRefuse, &kMsgCannotLoadImage, 0, kFlashSize1M, 0, 0, 0}},
         0x1000},
        {{"mode 2 left in force is undone: 1 MiB is copied whole to the start", kAward, 2, kFlashSize2M,
          kFlashSize1M, {A::kPlaceAtStart, nullptr, 1, kFlashSize1M, 0, 0, kFlashSize1M}},
         kBoardBuffer},
        {{"the largest length cannot wrap the check", kAward, 0, 0xFFFFFFFF, 0xFFFFFFFF,
          {A::kRefuse, &kMsgCannotLoadImage, 0, 0xFFFFFFFF, 0, 0, 0}},
         0x1000},
    };
    for (const Case& c : cases) {
        const PlacementCase& p = c.placement;
        SCOPED_TRACE(p.name);
        ExpectDecision(p.expected, PlaceImageInMemory(p.path, p.boardMode, p.flashSize, p.imageSize, c.bufferSize));
    }
}

TEST(PlacementMessages, ExactTexts) {
    EXPECT_STREQ("The unexpected problem occur during updating the BIOS!", kMsgUnexpectedProblem.text);
    EXPECT_STREQ("The memory allocate failed!", kMsgMemoryAllocateFailed.text);
    EXPECT_STREQ("Can not load ROM image from BIN file.\nMaybe BIN file size not match.", kMsgCannotLoadImage.text);
    for (const CheckMessage* m : {&kMsgUnexpectedProblem, &kMsgMemoryAllocateFailed, &kMsgCannotLoadImage}) {
        EXPECT_STREQ("Error", m->caption);
        EXPECT_EQ(kIconError, m->icon);
    }
}

TEST(ImageBufferSize, BoardModeOnTheAwardPathTakes4MiB) {
    EXPECT_EQ(0x400001u, ImageBufferSize(kAward, 1, kFlashSize1M));
    EXPECT_EQ(0x400001u, ImageBufferSize(kAward, 3, kFlashSize2M));
    EXPECT_EQ(0x400001u, ImageBufferSize(kAward, 1, kFlashSize4M));
    EXPECT_EQ(0x800001u, ImageBufferSize(kAward, 1, 0x800000)) << "a larger part must not overrun the buffer";
    EXPECT_EQ(uint64_t{kFlashSize512K} + 1, ImageBufferSize(kAward, 0, kFlashSize512K));
    EXPECT_EQ(uint64_t{kFlashSize1M} + 1, ImageBufferSize(kUefi, 1, kFlashSize1M));
    EXPECT_EQ(0x100000000u, ImageBufferSize(kUefi, 0, 0xFFFFFFFF));
}

TEST(RestoreBoardMode, ModesTwoAndThreeReturnToOne) {
    struct Case {
        BoardModeState before, after;
    };
    const Case cases[] = {
        {{2, kFlashSize2M}, {1, kFlashSize1M}},
        {{3, kFlashSize2M}, {1, kFlashSize2M}},
        {{1, kFlashSize1M}, {1, kFlashSize1M}},
        {{0, kFlashSize2M}, {0, kFlashSize2M}},
    };
    for (const Case& c : cases) {
        const BoardModeState after = RestoreBoardMode(c.before);
        EXPECT_EQ(c.after.boardMode, after.boardMode) << "from mode " << c.before.boardMode;
        EXPECT_EQ(c.after.flashSize, after.flashSize) << "from mode " << c.before.boardMode;
    }
}

}  // namespace
}  // namespace vossel
