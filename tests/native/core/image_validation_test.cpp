// Validation of a placed image for the two board kinds. The host stands in
// for PN.INI and the flash driver (both Windows-only) and records every call.
#include <gtest/gtest.h>

#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "firmware_test_image.h"
#include "image_validation.h"

namespace vossel {
namespace {

using testing::FirmwareImage;

constexpr char kBoard[] = "7A19QB2D";
constexpr uint32_t kImageSize = 0x20000;

class RecordingHost : public ValidationHost {
public:
    std::string seriesCode = kBoard;  // the board's PN.INI entry
    int utilityResult = 1;
    uint8_t permission = 2;
    std::vector<std::string> calls;

    int CheckSeriesNumber(const char* boardPartNumber, const char* imagePartNumber) override {
        calls.push_back("series " + std::string(boardPartNumber) + " " + std::string(imagePartNumber, 8));
        return seriesCode == std::string(imagePartNumber, 8) ? 1 : 0;
    }
    int IsUtilityActive(const uint8_t* image, uint32_t length, uint8_t* utilityPermission) override {
        calls.push_back("utility " + std::to_string(length) + (*utilityPermission == 0 ? " cleared" : " stale"));
        lastImage = image;
        *utilityPermission = permission;
        return utilityResult;
    }
    const uint8_t* lastImage = nullptr;
};

struct ImageContents {
    const char* awardPartNumber = nullptr;  // "Award" trailer with this part number
    const char* uefiPartNumber = nullptr;   // a descriptor with this part number
    uint16_t year = 2013;
    uint8_t month = 5;
    uint8_t day = 17;
};

FirmwareImage MakeImage(const ImageContents& contents) {
    FirmwareImage image(kImageSize, 0xFF);
    if (contents.uefiPartNumber != nullptr) {
        image.Volume(0, 0x10000).File(0x48, 0x100).Descriptor(0x60, contents.uefiPartNumber, 0x5AA5, contents.year,
                                                               contents.month, contents.day);
    }
    if (contents.awardPartNumber != nullptr) {
        const char award[] = "Award";
        for (int i = 0; i < 5; ++i) {
            image.Byte(kImageSize - 8192 + 700 + i, static_cast<uint8_t>(award[i]));
        }
        for (int i = 0; i < 8; ++i) {
            image.Byte(kImageSize - 24 + i, static_cast<uint8_t>(contents.awardPartNumber[i]));
        }
    }
    image.Seal();
    return image;
}

struct Expected {
    std::optional<WritePlan> plan;  // empty: refused
    const char* text = nullptr;
    const char* caption = "Error";
};

void ExpectOutcome(const Expected& expected, const ValidationOutcome& outcome) {
    if (expected.plan) {
        ASSERT_TRUE(outcome.accepted) << outcome.refusal->text;
        EXPECT_EQ(*expected.plan, outcome.plan);
        EXPECT_EQ(nullptr, outcome.refusal);
    } else {
        ASSERT_FALSE(outcome.accepted);
        ASSERT_NE(nullptr, outcome.refusal);
        EXPECT_STREQ(expected.text, outcome.refusal->text);
        EXPECT_STREQ(expected.caption, outcome.refusal->caption);
        EXPECT_EQ(kIconNone, outcome.refusal->icon);
    }
}

const char kSeriesText[] = "The series number of the new BIOS is not correct!";

struct ValidationCase {
    const char* name;
    ImageContents image;
    std::string seriesCode;
    uint8_t permission;
    int utilityResult;
    Expected expected;
    std::vector<std::string> calls;
    const char* board = kBoard;
};

TEST(ValidateAwardBoardImage, Table) {
    const std::string series = std::string("series ") + kBoard + " ";
    const ValidationCase cases[] = {
        {"Award image of this board: W_Flash_Write", {kBoard}, kBoard, 2, 1, {WritePlan::kFlashWrite}, {}},
        {"Award image of another board", {"7A19QB2E"}, kBoard, 2, 1,
         {std::nullopt, "BIOS Partnumber(AWARD) is not correct !"}, {}},
        {"Award trailer wins over a descriptor", {kBoard, "7A19QB2E"}, kBoard, 2, 1, {WritePlan::kFlashWrite}, {}},
        {"UEFI image passing the series check: W_Flash_Write_Ex kind 1", {nullptr, "9Z00UEFI"}, "9Z00UEFI", 2, 1,
         {WritePlan::kFlashWriteExUefiOnAward}, {series + "9Z00UEFI"}},
        {"UEFI image failing the series check", {nullptr, "9Z00UEFI"}, "9Z00UEFJ", 2, 1,
         {std::nullopt, kSeriesText}, {series + "9Z00UEFI"}},
        {"image of neither family", {}, kBoard, 2, 1, {std::nullopt, "The new BIOS type is not correct !"}, {}},
    };
    for (const ValidationCase& c : cases) {
        SCOPED_TRACE(c.name);
        const FirmwareImage image = MakeImage(c.image);
        RecordingHost host;
        host.seriesCode = c.seriesCode;
        const ValidationOutcome outcome = ValidateAwardBoardImage(image.data(), image.size(), kBoard, host);
        ExpectOutcome(c.expected, outcome);
        EXPECT_EQ(c.calls, host.calls);
        ASSERT_TRUE(outcome.awardFound.has_value());
        EXPECT_EQ(c.image.awardPartNumber != nullptr ? 1 : 0, *outcome.awardFound);
    }
}

TEST(ValidateUefiBoardImage, Table) {
    const std::string utility = "utility " + std::to_string(kImageSize) + " cleared";
    const std::string series = std::string("series ") + kBoard + " ";
    const char* protectedText =
        "This motherboard is protected from using this BIOS. \nPlease download the latest BIOS from Norvane website "
        "to update BIOS again.";
    const char* ruleText =
        "This motherboard is protected from using this BIOS. \nPlease download the latest BIOS from Norvane website "
        "to update BIOS again";
    const ValidationCase cases[] = {
        {"permission 1: W_Flash_Write_DualBios", {nullptr, kBoard}, kBoard, 1, 1,
         {WritePlan::kFlashWriteDualBios}, {utility}},
        {"permission 2: W_Flash_Write", {nullptr, kBoard}, kBoard, 2, 1, {WritePlan::kFlashWrite}, {utility}},
        {"permission 3: passes with no write call", {nullptr, kBoard}, kBoard, 3, 1, {WritePlan::kNoWriteCall},
         {utility}},
        {"UEFI image of another board: the driver is not asked", {nullptr, "7A19QB2E"}, kBoard, 2, 1,
         {std::nullopt, "BIOS Partnumber is not correct !"}, {}},
        {"the driver finds the program too old", {nullptr, kBoard}, kBoard, 2, 0,
         {std::nullopt, "Please update Zorvik to the latest version then start updating your system BIOS.",
          "Information "},
         {utility}},
        {"the driver refuses the image", {nullptr, kBoard}, kBoard, 0, 1, {std::nullopt, protectedText}, {utility}},
        {"the protection rule refuses an old image", {nullptr, "5R27HX9C", 2012, 1, 11}, kBoard, 2, 1,
         {std::nullopt, ruleText}, {utility}, "5R27HX9C"},
        {"the driver's refusal comes before the protection rule", {nullptr, "5R27HX9C", 2012, 1, 11}, kBoard, 0, 1,
         {std::nullopt, protectedText}, {utility}, "5R27HX9C"},
        {"the protection rule lets a new enough image pass", {nullptr, "5R27HX9C", 2012, 1, 12}, kBoard, 1, 1,
         {WritePlan::kFlashWriteDualBios}, {utility}, "5R27HX9C"},
        {"Award image passing the series check: kind 2 on both parts, no driver permission, no rule",
         {"5R27HX9C", nullptr}, "5R27HX9C", 0, 0, {WritePlan::kFlashWriteExAwardOnUefi}, {series + "5R27HX9C"}},
        {"Award image failing the series check", {"7A19QB2D", nullptr}, "", 2, 1, {std::nullopt, kSeriesText},
         {series + "7A19QB2D"}},
        {"image of neither family", {}, kBoard, 2, 1, {std::nullopt, "The BIOS vendor is not correct!"}, {}},
    };
    for (const ValidationCase& c : cases) {
        SCOPED_TRACE(c.name);
        const FirmwareImage image = MakeImage(c.image);
        RecordingHost host;
        host.seriesCode = c.seriesCode;
        host.permission = c.permission;
        host.utilityResult = c.utilityResult;
        const ValidationOutcome outcome = ValidateUefiBoardImage(image.data(), image.size(), c.board, host);
        ExpectOutcome(c.expected, outcome);
        EXPECT_EQ(c.calls, host.calls);
        EXPECT_FALSE(outcome.awardFound.has_value()) << "a UEFI board leaves AwardFound alone";
        if (!host.calls.empty() && host.calls[0].rfind("utility", 0) == 0) {
            EXPECT_EQ(image.data(), host.lastImage);
        }
    }
}

}  // namespace
}  // namespace vossel
